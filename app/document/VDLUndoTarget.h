#pragma once
// What an undoable editing command needs of its document: the live design, and a way to put a
// whole design back (swapDesign keeps the canvas's zoom and centre point and refreshes the
// window). VDLDocument provides it; tests may implement it without a window.
#include "VDLDesign.h"

class VDLUndoTarget {
public:
    virtual ~VDLUndoTarget() = default;
    virtual VDLDesign& myDesign() = 0;
    // Installs OTHER as the document's design and hands back the design it replaced in OTHER
    // (undo and redo of snapshot commands; nothing is copied).
    virtual void swapDesign(VDLDesign& other) = 0;
    // Threads, thread-file flag or hoop changed in place (undo and redo of property commands).
    virtual void designPropertiesChanged() = 0;
};
