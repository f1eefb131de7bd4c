#include "VDLSnapshotCommand.h"

#include "VDLDocument.h"

VDLSnapshotCommand::VDLSnapshotCommand(VDLDocument* document, VDLDesign before, const char* undoKey,
                                       const char* englishDefault)
    : VDLDocumentCommand(document, undoKey, englishDefault), other_(std::move(before)) {}

void VDLSnapshotCommand::applyChange(bool firstTime) {
    if (!firstTime) swapWithDocument();
}

void VDLSnapshotCommand::revertChange() { swapWithDocument(); }

void VDLSnapshotCommand::swapWithDocument() {
    VDLDesign current = std::move(document()->myDesign());
    document()->setDesign(std::move(other_));
    other_ = std::move(current);
}
