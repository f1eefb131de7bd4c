#pragma once
// What the thread list asks of its document. VDLDocument implements it; tests may use a fake.
#include "VDLDesign.h"

class VDLThreadListDelegate {
public:
    virtual ~VDLThreadListDelegate() = default;
    virtual VDLDesign& myDesign() = 0;
    virtual void showThread(int index) = 0;
    virtual void showAllThreads() = 0;
    // The undoable thread-block commands (one undo step each).
    virtual void moveThreadFromIndex(int from, int to) = 0;
    virtual void deleteThreadWithIndex(int index) = 0;
};
