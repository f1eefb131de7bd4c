// PCS, PCD and PCQ bytes: reading must never crash, read outside the input or loop; a read
// design is consistent (one thread more than colour changes), and a PCS design written back
// reads as every one of its records again.
#include "VDLDesign.h"

#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    VDLDesign d;
    if (!d.importPcxDesignFromData(std::span<const uint8_t>(data, size))) return 0;
    size_t changes = 0;
    for (const VDLStitch& s : d.stitches()) changes += s.isColorChange;
    if (d.threads().size() != changes + 1) std::abort();
    if (d.designType() != "PCS" || d.threads().size() > 16 || d.stitches().size() > 0xFFFF) return 0;

    const std::vector<uint8_t> written = d.exportPcsDesignToData();
    VDLDesign again;
    // Positions beyond the hoop corner are refused on reading; the hoop check keeps such
    // designs from being written by the application.
    if (!again.importPcxDesignFromData(written)) return 0;
    size_t records = 0;
    for (const VDLStitch& s : again.stitches()) records += !s.isColorChange;
    if (records != d.stitches().size()) std::abort();
    if (again.threads().size() != d.threads().size()) std::abort();
    return 0;
}
