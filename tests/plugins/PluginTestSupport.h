#pragma once
// Shared by the plug-in tests: where the built plug-ins and hosts are, design files made by
// our own writers, and running a host as a separate process.
#include "TestSupport.h"

#include <string>
#include <vector>

inline const std::string kQuickLookPath = VARDELLE_BINARY_DIR "/quicklook/VardelleQuickLook.so";
inline const std::string kSpotlightPath = VARDELLE_BINARY_DIR "/spotlight/VardelleSpotlight.so";
inline const std::string kThumbnailerPath = VARDELLE_BINARY_DIR "/quicklook/vardelle-thumbnailer";
inline const std::string kCliPath = VARDELLE_BINARY_DIR "/vardelle-cli";
inline const std::string kSamplesDir = VARDELLE_SOURCE_DIR "/resources/samples";

// A design 100 mm wide and 50 mm high, centred on the origin, in two colour blocks, with over
// a thousand stitches (a back-and-forth run inside the outline), written as FILE by our own
// writer (DST keeps no hoop, JEF records one). "" when the writer fails.
std::string writeRectangleDesign(const TempDir& dir, const std::string& file);

struct ProcessRun {
    int status = -1;
    std::string out;
    std::string err;
};
// Runs PROGRAM with ARGS; ENV entries ("NAME=value", or "NAME=" to unset) are applied first.
ProcessRun runProcess(const TempDir& dir, const std::string& program, const std::vector<std::string>& args,
                      const std::vector<std::string>& env = {});


// Width and height from a PNG file's header; {0, 0} when it is not a PNG.
std::pair<int, int> pngSize(const std::string& path);
