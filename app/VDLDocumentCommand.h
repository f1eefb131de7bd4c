#pragma once
// Base of the undoable commands of a document. A command is pushed on the document's
// QUndoStack after (or while) it changes the design; undo and redo then move the document
// between the states before and after. Subclasses keep only what they need to go back and
// forth: a whole-design snapshot (VDLSnapshotCommand) or the inverse arguments of a small
// change (VDLPaletteChangeCommand).
#include <QString>
#include <QUndoCommand>

#include <string>

class VDLDocument;

class VDLDocumentCommand : public QUndoCommand {
public:
    // The action name is the localized UNDOKEY of the default table ("UNDO_MOVE", "move").
    VDLDocumentCommand(VDLDocument* document, const char* undoKey, const char* englishDefault);

    VDLDocument* document() const { return document_; }
    // The action name as the localization gives it.
    static QString actionName(const char* undoKey, const char* englishDefault);

    void redo() final;
    void undo() final;

protected:
    // Applies the change. FIRSTTIME is true for the push that records the command (the
    // change may already have been made by the caller), false for a redo.
    virtual void applyChange(bool firstTime) = 0;
    // Goes back to the state before the change.
    virtual void revertChange() = 0;
    // After either direction: by default the document's info lines and the toolbar.
    virtual void refresh();

private:
    VDLDocument* document_;
    bool firstTime_ = true;
};
