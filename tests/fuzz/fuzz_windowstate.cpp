// A window-state archive as the application reads it back at launch (one per window left
// open): a dictionary holding the document's file path and modification date, whether it was
// edited, its design (an archive like the clipboard's), the shown thread, the selection mode
// and the view's scale and centre. The application's decoder is Qt code around these library
// calls; this target drives the same calls in the same order. Decoding must never crash; a
// restored design (one that passes the archive check) must survive what a restored window
// does with it: measure it, describe it and archive it again at the next quit.
#include "VDLDesign.h"
#include "VDLPropertyList.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    VDLPlist root = VDLPlistFromXML(std::string(reinterpret_cast<const char*>(data), size));
    if (!root || plist_get_node_type(static_cast<plist_t>(root.get())) != PLIST_DICT) return 0;
    VDLCoder coder(static_cast<plist_t>(root.get()));

    (void)coder.decodeString("VDLFilePath");
    if (plist_t date = plist_dict_get_item(static_cast<plist_t>(root.get()), "VDLModificationDate");
        date && plist_get_node_type(date) == PLIST_DATE) {
        int32_t sec = 0, usec = 0;
        plist_get_date_val(date, &sec, &usec);
    }
    if (plist_t designNode = coder.decodeDictionary("VDLDesign")) {
        (void)coder.decodeBool("VDLIsEdited");
        VDLDesign archived{VDLCoder(designNode)};
        // The application keeps a restored design only when it passes the archive check every
        // decoded design goes through (threads matching the colour blocks, moves and bounds
        // within every format's reach, a bounded normalised size).
        std::string problem;
        if (!archived.threads().empty() && archived.isSoundArchive(&problem)) {
            (void)archived.description();
            (void)archived.designWidth();
            (void)archived.designHeight();
            (void)archived.centerOfDesign();
            (void)archived.numberOfStitches();
            (void)archived.numberOfJumps();
            (void)archived.isShownOfAllThreads();
            const int64_t thread = coder.decodeInt("VDLSelectedThread");
            if (thread >= 0 && thread < archived.numberOfThreads()) (void)archived.isShownOfThread(int32_t(thread));
            auto again = VDLDesign::unarchiveFromXML(archived.archivedXML());
            if (!again || again->stitches().size() != archived.stitches().size() ||
                again->threads().size() != archived.threads().size())
                std::abort();
        }
    }
    (void)coder.decodeInt("VDLSelectionMode");
    (void)coder.decodeFloat("VDLViewScaling");
    (void)coder.decodeFloat("VDLViewCenterX");
    (void)coder.decodeFloat("VDLViewCenterY");
    return 0;
}
