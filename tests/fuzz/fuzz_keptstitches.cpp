// The stitches file a window state keeps beside its archive for a design with unsaved changes
// (window-N.stitches), as the application reads it back at launch. Decoding must never crash;
// a list it accepts must encode back to the very same bytes, and the design the restored window
// builds from it (one thread per colour block, the archive check, its measures and a new archive
// at the next quit) must survive whatever the list holds.
#include "VDLDesign.h"
#include "VDLKeptStitches.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    std::optional<std::vector<VDLStitch>> stitches = VDLDecodeKeptStitches(bytes);
    if (!stitches) return 0;
    if (VDLEncodeKeptStitches(*stitches) != bytes) std::abort();
    if (stitches->empty()) return 0;

    size_t blocks = 1;
    for (const VDLStitch& st : *stitches) blocks += st.isColorChange ? 1 : 0;
    VDLDesign design;
    design.setDesignName("Kept");
    design.setDesignType("dst");
    design.setThreads(std::vector<VDLThread>(blocks));
    const size_t count = stitches->size();
    design.setStitches(std::move(*stitches));
    design.setDisplayRange(VDLRange{0, uint64_t(count)});
    std::string problem;
    if (!design.isSoundArchive(&problem)) return 0;
    design.recomputeBounds();
    (void)design.description();
    (void)design.designWidth();
    (void)design.designHeight();
    (void)design.numberOfJumps();
    auto again = VDLDesign::unarchiveFromXML(design.archivedXML());
    if (!again || again->stitches().size() != count) std::abort();
    return 0;
}
