#include "VDLDocumentCommand.h"

#include "VDLDocument.h"
#include "VDLLocalization.h"

VDLDocumentCommand::VDLDocumentCommand(VDLDocument* document, const char* undoKey, const char* englishDefault)
    : document_(document) {
    setText(actionName(undoKey, englishDefault));
}

QString VDLDocumentCommand::actionName(const char* undoKey, const char* englishDefault) {
    return QString::fromStdString(VDLLocalizedString(undoKey, "Localizable", englishDefault));
}

void VDLDocumentCommand::redo() {
    const bool first = firstTime_;
    firstTime_ = false;
    applyChange(first);
    refresh();
}

void VDLDocumentCommand::undo() {
    revertChange();
    refresh();
}

void VDLDocumentCommand::refresh() {
    document_->updateView();
    document_->updateToolbar();
}
