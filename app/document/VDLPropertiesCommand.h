#pragma once
// One undo step without a stitch snapshot: the threads, the thread-file flag and the hoop of the
// design before and after the change. Palette changes, colour changes and hoop choices use it;
// a palette change recolours every thread and undoes as one step.
#include "VDLDesign.h"
#include "VDLUndoCommand.h"

#include <functional>
#include <optional>

class VDLUndoTarget;

class VDLPropertiesCommand : public VDLUndoCommand {
public:
    struct State {
        std::vector<VDLThread> threads;
        bool useThreadFile = false;
        std::optional<VDLHoop> hoop;
    };

    // The state before is read when the command is made; FRESH changes the live design at the
    // first redo, and the state after is read once it returned.
    VDLPropertiesCommand(VDLUndoTarget& target, const QString& actionName, std::function<void()> fresh);

    void undo() override;
    void redo() override;
    size_t bytes() const override;
    VDLUndoCommand* takeOver() override;

    static State stateOf(const VDLDesign& d);
    // Puts S on D; the threads' shown flags stay as they are when the thread count agrees.
    static void apply(const State& s, VDLDesign& d);

private:
    VDLPropertiesCommand(VDLUndoTarget& target, const QString& actionName) : VDLUndoCommand(actionName), target_(&target) {}
    VDLUndoTarget* target_;
    State before_;
    State after_;
    std::function<void()> fresh_;
};
