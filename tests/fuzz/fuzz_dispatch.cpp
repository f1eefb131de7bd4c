// The import dispatch: the first byte of the input chooses the file's extension, the rest is the
// file. Reading must never crash, whichever reader the extension or the content leads to; a
// design that reads has stitches and threads and the type of one of the readers.
#include "VDLDesign.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>

namespace {

const char* const kExtensions[] = {"pes", "pec", "dst", "vp3", "jef", "jpx", "sew", "ksm", "pcs", "exp"};

// One folder per process for the file the dispatch reads, removed at exit (the path is never
// destroyed, so the exit handler can still use it).
const std::filesystem::path& folder() {
    static const std::filesystem::path* path = [] {
        std::string pattern = (std::filesystem::temp_directory_path() / "vardelle-fuzz-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) std::abort();
        auto* made = new std::filesystem::path(pattern);
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(folder(), ec);
        });
        return made;
    }();
    return *path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const char* extension = kExtensions[size ? data[0] % std::size(kExtensions) : 2];
    const std::string path = (folder() / (std::string("design.") + extension)).string();
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (size > 1 && std::fwrite(data + 1, 1, size - 1, f) != size - 1) std::abort();
    std::fclose(f);

    VDLDesign d;
    if (!d.importDesignFromURL(VDLURL::fileURLWithPath(path))) return 0;
    static const std::set<std::string> types = {"PES", "PEC", "DST", "VP3", "JEF", "JPX", "SEW", "KSM",
                                                "PCS", "PCD", "PCQ", "EXP"};
    if (d.stitches().empty() || d.threads().empty() || !types.count(d.designType())) std::abort();
    return 0;
}
