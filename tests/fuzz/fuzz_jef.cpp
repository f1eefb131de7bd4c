// JEF bytes: reading must never crash, read outside the input or loop; whatever reads must
// survive a write and re-read with the same threads and the same end point.
#include "VDLDesign.h"

#include <cstdint>
#include <cstdlib>
#include <span>

namespace {

VDLPoint endPoint(const VDLDesign& d) {
    float x = 0, y = 0;
    for (const VDLStitch& s : d.stitches()) {
        x += s.deltaX;
        y += s.deltaY;
    }
    return {x, y};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::span<const uint8_t> bytes(data, size);
    VDLDesign plus;
    plus.importJefDesignFromData(bytes, true);

    VDLDesign d;
    // A design without stitches is never exported (the export refuses it first).
    if (!d.importJefDesignFromData(bytes, false) || d.stitches().empty()) return 0;
    const std::vector<uint8_t> written = d.exportJefDesignToData();
    VDLDesign again;
    if (!again.importJefDesignFromData(written, false)) std::abort();
    if (again.threads().size() != d.threads().size()) std::abort();
    if (!(endPoint(again) == endPoint(d))) std::abort();
    return 0;
}
