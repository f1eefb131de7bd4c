#include "VDLPropertiesCommand.h"

#include "VDLUndoTarget.h"

VDLPropertiesCommand::VDLPropertiesCommand(VDLUndoTarget& target, const QString& actionName, std::function<void()> fresh)
    : VDLUndoCommand(actionName), target_(&target), before_(stateOf(target.myDesign())), fresh_(std::move(fresh)) {}

VDLPropertiesCommand::State VDLPropertiesCommand::stateOf(const VDLDesign& d) {
    return State{d.threads(), d.useThreadFile(), d.designHoop()};
}

void VDLPropertiesCommand::apply(const State& s, VDLDesign& d) {
    std::vector<VDLThread> threads = s.threads;
    if (threads.size() == d.threads().size())
        for (size_t i = 0; i < threads.size(); ++i) threads[i].setIsShown(d.threads()[i].isShown());
    d.setThreads(std::move(threads));
    d.setUseThreadFile(s.useThreadFile);
    d.setDesignHoop(s.hoop);
}

void VDLPropertiesCommand::undo() {
    if (replaying()) return;
    apply(before_, target_->myDesign());
    target_->designPropertiesChanged();
}

void VDLPropertiesCommand::redo() {
    if (replaying()) return;
    if (fresh_) {
        auto fresh = std::move(fresh_);
        fresh_ = nullptr;
        fresh();
        after_ = stateOf(target_->myDesign());
        return;
    }
    apply(after_, target_->myDesign());
    target_->designPropertiesChanged();
}

size_t VDLPropertiesCommand::bytes() const {
    return (before_.threads.capacity() + after_.threads.capacity()) * (sizeof(VDLThread) + 64);
}

VDLUndoCommand* VDLPropertiesCommand::takeOver() {
    auto* c = new VDLPropertiesCommand(*target_, text());
    c->before_ = std::move(before_);
    c->after_ = std::move(after_);
    c->setObsolete(isObsolete());
    return c;
}
