// KSM bytes: reading must never crash or read outside the input, and whatever it returns keeps
// one thread more than it has colour changes.
#include "VDLDesign.h"

#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    VDLDesign d;
    d.importKsmDesignFromData(std::span<const uint8_t>(data, size));
    if (d.threads().empty()) return 0;  // too small: nothing was made
    size_t changes = 0;
    for (const VDLStitch& s : d.stitches()) changes += s.isColorChange;
    if (d.threads().size() != changes + 1) std::abort();
    return 0;
}
