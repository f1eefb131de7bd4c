#pragma once
// The design on the clipboard. Copy offers up to three representations:
//   application/x-vardelle-design  a keyed archive (XML property list) of a design holding only
//                                  the selected stitches (offered only with a selection);
//   image/png (QMimeData image)     the whole design, full size, opaque;
//   text/plain                      the design's description.
// Paste reads only our own type; anything else, or an archive that does not decode, pastes
// nothing.
#include "VDLDesign.h"

#include <QImage>
#include <QString>

#include <optional>

class QMimeData;

class VDLDesignClipboard {
public:
    static constexpr const char* kMimeType = "application/x-vardelle-design";

    // The design of the selected stitches only, deselected (nothing when there is no selection).
    static std::optional<VDLDesign> selectedPart(const VDLDesign& design);
    // The clipboard contents for copying DESIGN, with IMAGE as the picture.
    static QMimeData* mimeDataForCopy(const VDLDesign& design, const QImage& image);
    static bool canPaste(const QMimeData* data);
    // The design on the clipboard; nothing when the type is absent (CORRUPT false) or the
    // archive does not decode or is refused by VDLDesign::isSoundArchive (CORRUPT true, PROBLEM
    // the reason).
    static std::optional<VDLDesign> designFromMimeData(const QMimeData* data, bool* corrupt = nullptr,
                                                       std::string* problem = nullptr);
};
