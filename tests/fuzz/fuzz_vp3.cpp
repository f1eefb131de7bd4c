// VP3 bytes: reading must never crash, read outside the input, loop or allocate beyond what
// the input can hold; a successful read leaves one thread per block and one colour change
// fewer.
#include "VDLDesign.h"

#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    VDLDesign d;
    if (!d.importVp3DesignFromData(std::span<const uint8_t>(data, size))) return 0;
    size_t changes = 0;
    for (const VDLStitch& s : d.stitches()) changes += s.isColorChange;
    if (d.threads().size() != changes + 1) std::abort();
    if (d.stitches().size() > size) std::abort();  // at least two bytes per stitch record
    return 0;
}
