// DST bytes: reading must never crash, read outside the input or loop; whatever reads and can
// be written must read back as the same records and threads (read moves are whole units that
// one record encodes exactly).
#include "VDLDesign.h"

#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    VDLDesign d;
    if (!d.importDstDesignFromData(std::span<const uint8_t>(data, size))) return 0;
    const std::vector<uint8_t> written = d.exportDstDesignToData();
    if (written.empty()) return 0;  // refused, e.g. bounds that do not hold the start point
    VDLDesign again;
    if (!again.importDstDesignFromData(written)) std::abort();
    if (again.threads().size() != d.threads().size()) std::abort();
    if (again.stitches().size() != d.stitches().size()) std::abort();
    for (size_t i = 0; i < d.stitches().size(); ++i) {
        const VDLStitch &a = d.stitches()[i], &b = again.stitches()[i];
        if (a.deltaX != b.deltaX || a.deltaY != b.deltaY || a.isJumpStitch != b.isJumpStitch ||
            a.isColorChange != b.isColorChange)
            std::abort();
    }
    return 0;
}
