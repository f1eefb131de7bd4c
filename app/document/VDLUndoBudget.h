#pragma once
// Bounds a document's undo stack by the memory its steps hold. Every editing step keeps a
// whole-design snapshot, so a count limit alone does not bound memory: a 1,000,000-stitch design
// costs about 12 MB per step. After each push the budget drops the oldest steps until the
// steps left fit, keeping at least the newest one. QUndoStack can only take a count limit on an
// empty stack, so the stack is rebuilt from the steps that remain (their state moves over,
// nothing is copied and no undo or redo runs).
#include <cstddef>

class QUndoStack;

class VDLUndoBudget {
public:
    // min(physical memory / 8, 2 GiB); 256 MiB when the memory size is unknown.
    static size_t defaultBudget();
    // The budget used by documents; defaultBudget() unless set (tests).
    static size_t budget();
    static void setBudget(size_t bytes);

    // Bytes held by the stack's steps (foreign commands count 0).
    static size_t bytesOf(const QUndoStack& stack);
    // Drops the oldest steps while the stack holds more than BYTES; answers how many went.
    // The clean state is kept when its step stays, otherwise the stack can no longer be clean.
    static int enforce(QUndoStack& stack, size_t bytes);
    static int enforce(QUndoStack& stack) { return enforce(stack, budget()); }
};
