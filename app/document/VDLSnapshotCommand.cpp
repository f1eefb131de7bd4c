#include "VDLSnapshotCommand.h"

#include "VDLUndoTarget.h"

VDLSnapshotCommand::VDLSnapshotCommand(VDLUndoTarget& target, const QString& actionName, std::function<void()> fresh)
    : VDLUndoCommand(actionName), target_(&target), snapshot_(target.myDesign().copy()), fresh_(std::move(fresh)),
      view_(target.viewState()) {}

VDLSnapshotCommand::VDLSnapshotCommand(VDLUndoTarget& target, const QString& actionName, VDLDesign snapshot,
                                       std::function<void()> fresh)
    : VDLUndoCommand(actionName), target_(&target), snapshot_(std::move(snapshot)), fresh_(std::move(fresh)),
      view_(target.viewState()) {}

void VDLSnapshotCommand::swap() {
    target_->swapDesign(snapshot_);
    // Undo and redo show the change where it was made, at the zoom it was made at.
    if (view_.valid) target_->restoreViewState(view_);
}

void VDLSnapshotCommand::undo() {
    if (replaying()) return;
    swap();
}

void VDLSnapshotCommand::redo() {
    if (replaying()) return;
    if (fresh_) {
        auto fresh = std::move(fresh_);
        fresh_ = nullptr;
        fresh();
        return;
    }
    swap();
}

size_t VDLSnapshotCommand::bytes() const { return bytesOfDesign(snapshot_); }

VDLUndoCommand* VDLSnapshotCommand::takeOver() {
    auto* c = new VDLSnapshotCommand(*target_, text(), std::move(snapshot_), nullptr);
    c->view_ = view_;
    c->setObsolete(isObsolete());
    snapshot_ = VDLDesign();
    return c;
}
