// SEW bytes: reading must never crash, read outside the input or loop.
#include "VDLDesign.h"

#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    VDLDesign d;
    d.importSewDesignFromData(std::span<const uint8_t>(data, size));
    return 0;
}
