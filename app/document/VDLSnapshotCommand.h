#pragma once
// One undo step that holds a whole-design snapshot. The snapshot is taken when the command is
// made (before the change). The first redo() (QUndoStack::push) runs the fresh operation on the
// live design; later undo() and redo() swap the live design with the snapshot, so undo and
// redo alternate between the same two designs without copying them again.
#include "VDLDesign.h"
#include "VDLUndoCommand.h"
#include "VDLUndoTarget.h"

#include <functional>

class VDLUndoTarget;

class VDLSnapshotCommand : public VDLUndoCommand {
public:
    // FRESH performs the command on the live design (model operation, alert on failure,
    // refresh); it runs exactly once, at the first redo.
    VDLSnapshotCommand(VDLUndoTarget& target, const QString& actionName, std::function<void()> fresh);
    // The same with a snapshot the caller took earlier (the first event of a mouse drag).
    VDLSnapshotCommand(VDLUndoTarget& target, const QString& actionName, VDLDesign snapshot,
                       std::function<void()> fresh);

    void undo() override;
    void redo() override;
    size_t bytes() const override;
    VDLUndoCommand* takeOver() override;

    const VDLDesign& snapshot() const { return snapshot_; }

private:
    void swap();

    VDLUndoTarget* target_;
    VDLDesign snapshot_;
    std::function<void()> fresh_;
    VDLViewState view_;  // the view the step was made in
};
