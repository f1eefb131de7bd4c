// PEC bytes: reading must never crash, read outside the input or loop. A design that reads is
// written to memory; the written file must read back with the same record kinds (plus the start
// jump of the PEC block), and with the same moves wherever the read moves fit the written forms.
#include "VDLDesign.h"

#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    VDLDesign d;
    if (!d.importPecDesignFromData(std::span<const uint8_t>(data, size))) return 0;
    if (d.stitches().empty()) return 0;  // a blank design: the dispatch refuses it (no stitches)
    const std::vector<uint8_t> written = d.exportPecDesignToData();
    VDLDesign again;
    if (!again.importPecDesignFromData(written)) std::abort();
    if (again.stitches().size() != d.stitches().size() + 1) std::abort();
    if (again.threads().size() != d.threads().size()) std::abort();
    for (size_t i = 1; i < d.stitches().size(); ++i) {
        const VDLStitch &a = d.stitches()[i], &b = again.stitches()[i + 1];
        if (a.isColorChange != b.isColorChange || (!a.isColorChange && a.isJumpStitch != b.isJumpStitch))
            std::abort();
        const float limit = a.isJumpStitch ? 2047.0f : 63.0f;
        if (!a.isColorChange && a.deltaX >= -limit && a.deltaX <= limit && a.deltaY >= -limit &&
            a.deltaY <= limit && (a.deltaX != b.deltaX || a.deltaY != b.deltaY))
            std::abort();
    }
    return 0;
}
