// EXP bytes: reading must never crash, read outside the input or loop; whatever reads must
// survive a write and read back with the same threads.
#include "VDLDesign.h"

#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    VDLDesign d;
    if (!d.importExpDesignFromData(std::span<const uint8_t>(data, size))) return 0;
    const std::vector<uint8_t> written = d.exportExpDesignToData();
    VDLDesign again;
    if (!again.importExpDesignFromData(written)) std::abort();
    if (again.threads().size() != d.threads().size()) std::abort();
    return 0;
}
