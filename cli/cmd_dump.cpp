// vardelle-cli dump FILE: one line per thread, then one line per stitch record, for comparing
// designs with ordinary text tools.
#include "Commands.h"
#include "VDLDesign.h"

#include <cstdio>
#include <string>

namespace {

// One whitespace-free word: "-" for an empty text, spaces replaced by '_'.
std::string word(const std::string& s) {
    if (s.empty()) return "-";
    std::string out = s;
    for (char& c : out)
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r') c = '_';
    return out;
}

}  // namespace

int cmdDump(const CLIArgs& args) {
    if (args.size() != 1 || (args[0].size() > 1 && args[0][0] == '-')) return cliUsage("dump FILE");
    const std::string& file = args[0];
    VDLDesign design;
    if (!cliImport(file, design)) return 1;

    const auto& threads = design.threads();
    for (size_t i = 0; i < threads.size(); ++i) {
        const VDLThread& t = threads[i];
        std::printf("thread %zu %s %s %d %d %d\n", i, word(t.key()).c_str(), word(t.palette()).c_str(),
                    cliColorByte(t.color().red()), cliColorByte(t.color().green()), cliColorByte(t.color().blue()));
    }
    const auto& stitches = design.stitches();
    for (size_t i = 0; i < stitches.size(); ++i) {
        const VDLStitch& s = stitches[i];
        const char* flags = s.isJumpStitch ? (s.isColorChange ? "JC" : "J") : (s.isColorChange ? "C" : "-");
        std::printf("stitch %zu %.9g %.9g %s\n", i, double(s.deltaX), double(s.deltaY), flags);
    }
    return std::fflush(stdout) == 0 ? 0 : cliFail("dump: cannot write the output");
}
