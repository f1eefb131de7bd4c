#include "VDLSewingFacts.h"

#include <cmath>
#include <cstdio>

VDLSewingFacts VDLSewingFacts::of(const VDLDesign& design) {
    VDLSewingFacts f;
    f.threadMM.assign(design.threads().size(), 0.0);
    size_t block = 0;
    for (const VDLStitch& s : design.stitches()) {
        if (s.isColorChange && block + 1 < f.threadMM.size()) ++block;
        ++f.records;
        if (s.isJumpStitch || s.isNullStitch()) continue;
        const double mm = std::hypot(double(s.deltaX), double(s.deltaY)) / 10.0 + kAllowanceMM;
        if (!f.threadMM.empty()) f.threadMM[block] += mm;
        f.topMM += mm;
    }
    f.bobbinMM = f.topMM * kBobbinShare;
    return f;
}

std::string VDLSewingFacts::durationText(double minutes) {
    char buf[64];
    if (!(minutes >= 0) || !std::isfinite(minutes)) return "–";
    if (minutes < 1.0) {
        std::snprintf(buf, sizeof buf, "%d s", int(std::lround(minutes * 60.0)));
    } else if (minutes < 60.0) {
        std::snprintf(buf, sizeof buf, "%d min", int(std::lround(minutes)));
    } else {
        const long total = std::lround(minutes);
        std::snprintf(buf, sizeof buf, "%ld h %02ld min", total / 60, total % 60);
    }
    return buf;
}

std::string VDLSewingFacts::lengthText(double mm, int64_t unit) {
    char buf[64];
    if (unit == 1 || unit == 2) std::snprintf(buf, sizeof buf, "%.1f yd", mm / 914.4);
    else std::snprintf(buf, sizeof buf, "%.1f m", mm / 1000.0);
    return buf;
}

std::string VDLSewingFacts::summary(double playerStitchesPerMinute, int64_t unit) const {
    char buf[256];
    std::snprintf(buf, sizeof buf,
                  "Sewing: about %s at %d stitches/min (typical machine), %s at the player's %d/min; "
                  "thread: %s top, %s bobbin",
                  durationText(minutesAt(kMachineSpeed)).c_str(), int(kMachineSpeed),
                  durationText(minutesAt(playerStitchesPerMinute)).c_str(), int(std::lround(playerStitchesPerMinute)),
                  lengthText(topMM, unit).c_str(), lengthText(bobbinMM, unit).c_str());
    return buf;
}
