#pragma once
// An undoable change recorded as a copy of the whole design before it. The change itself is
// made by the caller before the command is pushed; undo swaps the snapshot in (keeping the
// design it replaces), redo swaps back, so one copy serves both directions.
#include "VDLDesign.h"
#include "VDLDocumentCommand.h"

class VDLSnapshotCommand : public VDLDocumentCommand {
public:
    VDLSnapshotCommand(VDLDocument* document, VDLDesign before, const char* undoKey, const char* englishDefault);

protected:
    void applyChange(bool firstTime) override;
    void revertChange() override;

private:
    void swapWithDocument();
    VDLDesign other_;  // the design that is not the document's at the moment
};
