// PES bytes: reading must never crash, read outside the input or loop. A design that reads and
// stays within the limits of the version-1 writer is written to memory and must read back with
// the same records (plus the start jump of the PEC block) and threads.
#include "VDLDesign.h"

#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    VDLDesign d;
    if (!d.importPesDesignFromData(std::span<const uint8_t>(data, size))) return 0;
    if (d.stitches().empty()) return 0;  // a blank design: the dispatch refuses it (no stitches)
    if (d.designWidth() > 1300 || d.designHeight() > 1800 || d.numberOfThreads() > 64 ||
        d.numberOfStitches() > 30000)
        return 0;
    const std::vector<uint8_t> written = d.exportPesDesignToData();
    VDLDesign again;
    if (!again.importPesDesignFromData(written)) std::abort();
    if (again.stitches().size() != d.stitches().size() + 1) std::abort();
    if (again.threads().size() != d.threads().size()) std::abort();
    for (size_t i = 0; i < d.stitches().size(); ++i)
        if (again.stitches()[i + 1].isColorChange != d.stitches()[i].isColorChange) std::abort();
    return 0;
}
