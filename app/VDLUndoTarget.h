#pragma once
// What an undoable editing command needs of its document: the live design, and a way to put a
// whole design back (restoreDesign keeps the canvas's zoom and centre point and refreshes the
// window). VDLDocument implements it; tests may implement it without a window.
#include "VDLDesign.h"

class VDLUndoTarget {
public:
    virtual ~VDLUndoTarget() = default;
    virtual VDLDesign& myDesign() = 0;
    // Installs DESIGN as the document's design (undo and redo of snapshot commands).
    virtual void restoreDesign(VDLDesign design) = 0;
    // Threads, thread-file flag or hoop changed in place (undo and redo of property commands).
    virtual void designPropertiesChanged() = 0;
};
