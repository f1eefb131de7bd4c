// vardelle-cli info FILE [--json]: the design's summary text, or its numbers as one JSON object.
// Over several files or folders (or with --csv) it is the collection form of cmd_batch.cpp.
#include "Commands.h"
#include "VDLDesign.h"
#include "model/batch/VDLDesignInfo.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <string>

namespace {

const char* kUsage = "info FILE [--json]";
}  // namespace

int cmdInfo(const CLIArgs& args) {
    // Several paths, a folder or the options of the collection form: one result per design.
    size_t paths = 0;
    std::string only;
    for (const auto& a : args) {
        if (a == "--csv" || a == "--recursive" || a == "-r" || a == "--jobs" || a == "-j") return cmdInfoMany(args);
        if (a.empty() || a[0] != '-' || a == "-") ++paths, only = a;
    }
    struct stat st;
    if (paths > 1 || (paths == 1 && ::stat(only.c_str(), &st) == 0 && S_ISDIR(st.st_mode))) return cmdInfoMany(args);

    std::string file;
    bool json = false;
    for (const auto& a : args) {
        if (a == "--json") json = true;
        else if (!a.empty() && a[0] == '-' && a != "-") return cliUsage(kUsage);
        else if (file.empty()) file = a;
        else return cliUsage(kUsage);
    }
    if (file.empty()) return cliUsage(kUsage);

    VDLDesign design;
    if (!cliImport(file, design)) return 1;

    if (!json) {
        std::printf("%s\n", design.description().c_str());
        return 0;
    }

    std::printf("%s\n", VDLDesignInfoJSON(design, file).c_str());
    return 0;
}
