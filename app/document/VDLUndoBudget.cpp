#include "VDLUndoBudget.h"

#include "VDLUndoCommand.h"

#include <QUndoStack>

#include <algorithm>
#include <unistd.h>
#include <vector>

namespace {
size_t gBudget = 0;  // 0: not set, use the default

constexpr size_t kGiB = size_t(1) << 30;
}  // namespace

size_t VDLUndoBudget::defaultBudget() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    if (pages <= 0 || pageSize <= 0) return 256 * (size_t(1) << 20);
    const size_t ram = size_t(pages) * size_t(pageSize);
    return std::min(ram / 8, 2 * kGiB);
}

size_t VDLUndoBudget::budget() { return gBudget ? gBudget : defaultBudget(); }
void VDLUndoBudget::setBudget(size_t bytes) { gBudget = bytes; }

size_t VDLUndoBudget::bytesOf(const QUndoStack& stack) {
    size_t total = 0;
    for (int i = 0; i < stack.count(); ++i)
        if (auto* c = dynamic_cast<const VDLUndoCommand*>(stack.command(i))) total += c->bytes();
    return total;
}

int VDLUndoBudget::enforce(QUndoStack& stack, size_t limit) {
    const int n = stack.count();
    if (n <= 1) return 0;
    std::vector<size_t> bytes(size_t(n), 0);
    size_t total = 0;
    for (int i = 0; i < n; ++i) {
        if (auto* c = dynamic_cast<const VDLUndoCommand*>(stack.command(i))) bytes[size_t(i)] = c->bytes();
        total += bytes[size_t(i)];
    }
    if (total <= limit) return 0;
    // Oldest first, but the newest step always stays, and only steps that are done go: an
    // undone step carries the design after it and must stay chained to the steps before it.
    const int index = stack.index();
    const int droppable = std::min(index, n - 1);
    int drop = 0;
    while (drop < droppable && total > limit) total -= bytes[size_t(drop++)];
    if (drop == 0) return 0;
    // Every kept step must be one of ours to be carried over; otherwise leave the stack alone.
    for (int i = drop; i < n; ++i)
        if (!dynamic_cast<const VDLUndoCommand*>(stack.command(i))) return 0;

    const int clean = stack.cleanIndex();
    std::vector<VDLUndoCommand*> kept;
    kept.reserve(size_t(n - drop));
    for (int i = drop; i < n; ++i)
        kept.push_back(const_cast<VDLUndoCommand*>(static_cast<const VDLUndoCommand*>(stack.command(i)))->takeOver());

    VDLUndoCommand::setReplaying(true);
    stack.clear();
    for (VDLUndoCommand* c : kept) stack.push(c);
    const int newIndex = std::max(0, index - drop);
    if (clean >= drop) {
        stack.setIndex(clean - drop);
        stack.setClean();
    } else {
        stack.resetClean();
    }
    stack.setIndex(newIndex);
    VDLUndoCommand::setReplaying(false);
    return drop;
}
