// The undo machinery without a window: snapshot and property commands on a QUndoStack, and the
// memory budget that drops the oldest steps.
#include "EditingTestSupport.h"
#include "VDLPropertiesCommand.h"
#include "VDLSnapshotCommand.h"
#include "VDLUndoBudget.h"
#include "VDLUndoTarget.h"

#include <QUndoStack>

#include <gtest/gtest.h>

namespace {
struct Target : VDLUndoTarget {
    VDLDesign design;
    int restores = 0;
    int refreshes = 0;
    VDLDesign& myDesign() override { return design; }
    void swapDesign(VDLDesign& other) override {
        std::swap(design, other);
        ++restores;
    }
    void designPropertiesChanged() override { ++refreshes; }
};

void pushMove(QUndoStack& stack, Target& t, double dx) {
    stack.push(new VDLSnapshotCommand(t, "move", [&t, dx] { t.design.moveSelectionByVector({dx, 0}); }));
}
}  // namespace

// A snapshot step runs its operation once; undo and redo then alternate between the same two
// designs, selection included, and each swap installs the design through restoreDesign.
TEST(EditingCommands, SnapshotUndoRedoAlternates) {
    Target t;
    t.design = makeBlockDesign(3, 40);
    for (size_t i = 5; i < 20; ++i) t.design.stitches()[i].isSelected = true;
    t.design.setSelectionActive(true);
    const VDLDesign before = t.design;
    QUndoStack stack;
    int runs = 0;
    stack.push(new VDLSnapshotCommand(t, "move", [&] {
        ++runs;
        ASSERT_TRUE(t.design.moveSelectionByVector({25, -10}));
    }));
    const VDLDesign after = t.design;
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(t.restores, 0);
    EXPECT_FALSE(sameDesign(before, after));
    EXPECT_EQ(stack.undoText(), "move");

    stack.undo();
    EXPECT_TRUE(sameDesign(t.design, before));
    stack.redo();
    EXPECT_TRUE(sameDesign(t.design, after));
    stack.undo();
    stack.redo();
    EXPECT_TRUE(sameDesign(t.design, after));
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(t.restores, 4);
}

// Property steps (palette, colour, hoop) keep threads, thread-file flag and hoop instead of
// stitches; undo puts all three back as one step and keeps which threads are shown.
TEST(EditingCommands, PropertiesStepRestoresThreadsAndHoop) {
    Target t;
    t.design = makeBlockDesign(3, 10, "JEF");
    t.design.setHoopFromVendor("Janome", 2);
    const VDLDesign before = t.design;
    QUndoStack stack;
    stack.push(new VDLPropertiesCommand(t, "palette change", [&] {
        for (int i = 0; i < 3; ++i) t.design.changeThread(i, t.design.colorOfThread(i), "Janome");
        t.design.setUseThreadFile(true);
        t.design.setHoopFromVendor("Janome", 1);
    }));
    const VDLDesign after = t.design;
    ASSERT_EQ(after.designPalette(), "Janome");
    ASSERT_NE(after.hoopCode(), before.hoopCode());
    t.design.setIsShown(false, 0);
    stack.undo();
    EXPECT_TRUE(sameDesign(t.design, before));
    EXPECT_FALSE(t.design.isShownOfThread(0));
    EXPECT_EQ(t.design.threads()[1].name(), before.threads()[1].name());
    stack.redo();
    EXPECT_TRUE(sameDesign(t.design, after));
    EXPECT_EQ(t.refreshes, 2);
}

// The budget drops the oldest steps first, keeps the newest one even when it alone is over
// budget, carries the kept steps over unchanged (undo still reaches their designs) and keeps
// the clean state only while its step stays.
TEST(EditingCommands, BudgetDropsOldestSteps) {
    Target t;
    t.design = makeBlockDesign(2, 5000);
    t.design.selectAll();
    const size_t step = VDLUndoCommand::bytesOfDesign(t.design);
    QUndoStack stack;
    std::vector<VDLDesign> states{t.design};
    for (int i = 0; i < 6; ++i) {
        pushMove(stack, t, 1.0 + i);
        states.push_back(t.design);
        if (i == 3) stack.setClean();
        EXPECT_EQ(VDLUndoBudget::enforce(stack, step * 4 + step / 2), i < 4 ? 0 : 1);
    }
    ASSERT_EQ(stack.count(), 4);
    EXPECT_EQ(stack.index(), 4);
    EXPECT_LE(VDLUndoBudget::bytesOf(stack), step * 4 + step / 2);
    EXPECT_EQ(stack.cleanIndex(), 2);  // the step pushed fourth is now the second kept
    for (int back = 1; back <= 4; ++back) {
        stack.undo();
        EXPECT_TRUE(sameDesign(t.design, states[size_t(6 - back)])) << back;
    }
    EXPECT_FALSE(stack.canUndo());
    stack.redo();
    stack.redo();
    EXPECT_TRUE(stack.isClean());
    stack.redo();
    stack.redo();
    EXPECT_TRUE(sameDesign(t.design, states.back()));

    // Dropping the clean step: the stack can no longer become clean.
    EXPECT_EQ(VDLUndoBudget::enforce(stack, step), 3);
    EXPECT_EQ(stack.count(), 1);
    EXPECT_EQ(stack.cleanIndex(), -1);
    stack.undo();
    EXPECT_TRUE(sameDesign(t.design, states[5]));
    // Undone steps are never dropped (they stay chained to the steps before them).
    EXPECT_EQ(VDLUndoBudget::enforce(stack, 0), 0);
    EXPECT_EQ(stack.count(), 1);

    EXPECT_GT(VDLUndoBudget::defaultBudget(), size_t(0));
    EXPECT_LE(VDLUndoBudget::defaultBudget(), size_t(2) << 30);
}
