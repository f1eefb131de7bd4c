#pragma once
// What sewing a design takes: the time at a given speed and the thread it uses.
//
// Time: every record the machine runs (stitches and jumps; a jump costs a machine cycle too)
// divided by the speed in stitches per minute. Two speeds are told: the stitch player's (its
// StitchSpeed × 600 per minute, a tick every 0.1 s) and kMachineSpeed, a speed typical of home
// embroidery machines. Colour changes and trims add machine time that is not counted.
//
// Thread: the top thread of a stitch is its length plus kAllowanceMM for the thread's way down
// through the fabric and back; jumps and zero-length records use none. The bobbin thread is
// kBobbinShare of the top thread (the usual balance of satin and fill stitching).
#include "VDLDesign.h"

#include <string>
#include <vector>

struct VDLSewingFacts {
    static constexpr double kMachineSpeed = 600.0;  // stitches per minute
    static constexpr double kAllowanceMM = 0.5;
    static constexpr double kBobbinShare = 1.0 / 3.0;

    int64_t records = 0;                // stitches and jumps
    std::vector<double> threadMM;       // top thread per thread block
    double topMM = 0;
    double bobbinMM = 0;

    static VDLSewingFacts of(const VDLDesign& design);  // one pass over the stitches
    double minutesAt(double stitchesPerMinute) const {
        return stitchesPerMinute > 0 ? double(records) / stitchesPerMinute : 0.0;
    }
    // "45 s", "12 min", "1 h 05 min".
    static std::string durationText(double minutes);
    // Thread lengths: metres (one decimal) in millimetre mode, yards for the inch units.
    static std::string lengthText(double mm, int64_t unit);
    // The info line: time at the machine speed and at the player's, top and bobbin thread.
    std::string summary(double playerStitchesPerMinute, int64_t unit) const;
};
