#pragma once
// Base of the document's undo commands. Each command knows how many bytes it keeps alive (its
// design snapshot, if any), so the undo stack can be bounded by memory, and can hand its state
// over to a fresh command object, so the stack can be rebuilt without its oldest steps.
#include <QUndoCommand>

#include <cstddef>

class VDLDesign;

class VDLUndoCommand : public QUndoCommand {
public:
    explicit VDLUndoCommand(const QString& text) : QUndoCommand(text) {}

    // Memory held by this step beyond the command object itself.
    virtual size_t bytes() const = 0;
    // A new command that takes over this one's state (this one is left empty and must only be
    // deleted). The new command is in the same done/undone state.
    virtual VDLUndoCommand* takeOver() = 0;

    // While set, undo() and redo() do nothing: the stack is being rebuilt.
    static bool replaying();

    // Approximate heap bytes of a design copy: its stitch and thread arrays and their strings.
    static size_t bytesOfDesign(const VDLDesign& design);

protected:
    friend class VDLUndoBudget;
    static void setReplaying(bool on);
};
