// JPX bytes: reading must never crash, read outside the input, loop or over-allocate.
#include "VDLDesign.h"

#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    VDLDesign d;
    d.importJpxDesignFromData(std::span<const uint8_t>(data, size));
    return 0;
}
