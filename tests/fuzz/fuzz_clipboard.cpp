// The design archive on the clipboard (application/x-vardelle-design), read as paste reads it:
// decoding must never crash; a design that decodes with stitches and threads (what paste
// accepts) must archive again and decode to the same records and threads, and pasting it into
// a stitched design, as the Edit menu does, must not crash.
#include "VDLDesign.h"

#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    auto pasted = VDLDesign::unarchiveFromXML(std::string(reinterpret_cast<const char*>(data), size));
    if (!pasted || pasted->stitches().empty() || pasted->threads().empty()) return 0;

    auto again = VDLDesign::unarchiveFromXML(pasted->archivedXML());
    if (!again || again->stitches().size() != pasted->stitches().size() ||
        again->threads().size() != pasted->threads().size())
        std::abort();
    for (size_t i = 0; i < pasted->stitches().size(); ++i)
        if (again->stitches()[i].isColorChange != pasted->stitches()[i].isColorChange ||
            again->stitches()[i].isJumpStitch != pasted->stitches()[i].isJumpStitch)
            std::abort();
    (void)pasted->description();

    // Paste: the clipboard design selected, appended to a document's design.
    VDLDesign document;
    document.setDesignType("DST");  // a DST document: moves split to 12.0 mm
    document.setStitches({VDLStitch(0, 0, true, false), VDLStitch(20, 10, false, false), VDLStitch(-5, 30, false, false)});
    document.setThreads({VDLThread()});
    document.recomputeBounds();
    pasted->selectAll();
    document.deselectAll();
    document.appendDesign(*pasted);
    (void)document.selectionRect();
    return 0;
}
