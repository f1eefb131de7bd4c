#pragma once
// Helpers shared by the test suites.
#include "VDLDesign.h"

#include <filesystem>
#include <string>
#include <vector>

// A fresh empty folder under the system temporary folder, removed by the destructor.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::string file(const std::string& name) const { return (path_ / name).string(); }
    VDLURL url(const std::string& name) const { return VDLURL::fileURLWithPath(file(name)); }

private:
    std::filesystem::path path_;
};

std::vector<uint8_t> readBytes(const std::string& path);
void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes);

// vardelle-cli from the build tree, run as a separate process; stdout and stderr are
// collected through files in DIR.
struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};
CliRun runCli(const TempDir& dir, const std::vector<std::string>& args);
std::string shellQuoted(const std::string& s);
std::string slurp(const std::string& path);

// A consistent design from records; threads are "Undefined" keys 1.. (one per block).
VDLDesign makeDesign(const std::vector<VDLStitch>& stitches, const std::string& type = "DST");

// How many of the design's records are selected.
size_t selectedStitchCount(const VDLDesign& d);

// Absolute needle positions after each record, walked from (0,0) in float.
std::vector<VDLPoint> absolutePositions(const VDLDesign& d);
