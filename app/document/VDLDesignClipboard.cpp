#include "VDLDesignClipboard.h"

#include <QMimeData>

std::optional<VDLDesign> VDLDesignClipboard::selectedPart(const VDLDesign& design) {
    if (!design.selectionActive()) return std::nullopt;
    VDLDesign part = design.copy();
    part.invertAll();
    if (part.selectionActive()) part.deleteSelection();
    part.deselectAll();
    return part;
}

QMimeData* VDLDesignClipboard::mimeDataForCopy(const VDLDesign& design, const QImage& image) {
    auto* data = new QMimeData;
    if (auto part = selectedPart(design)) {
        const std::string xml = part->archivedXML();
        data->setData(kMimeType, QByteArray(xml.data(), qsizetype(xml.size())));
    }
    if (!image.isNull()) data->setImageData(image);
    data->setText(QString::fromStdString(design.description()));
    return data;
}

bool VDLDesignClipboard::canPaste(const QMimeData* data) { return data && data->hasFormat(kMimeType); }

std::optional<VDLDesign> VDLDesignClipboard::designFromMimeData(const QMimeData* data, bool* corrupt,
                                                                std::string* problem) {
    if (corrupt) *corrupt = false;
    if (!canPaste(data)) return std::nullopt;
    const QByteArray bytes = data->data(kMimeType);
    std::string why;
    auto design = VDLDesign::unarchiveFromXML(std::string(bytes.constData(), size_t(bytes.size())), &why);
    // A decoded archive must hold stitches and threads to be pasted.
    if (design && (design->stitches().empty() || design->threads().empty())) {
        design.reset();
        why = "The design on the clipboard holds no stitches.";
    }
    if (!design) {
        if (corrupt) *corrupt = true;
        if (problem) *problem = why;
        return std::nullopt;
    }
    return design;
}
