#pragma once
// What an undoable editing command needs of its document: the live design, and a way to put a
// whole design back (swapDesign keeps the canvas's zoom and centre point and refreshes the
// window). VDLDocument provides it; tests may implement it without a window.
#include "VDLDesign.h"
#include "VDLGeometry.h"

// Where the user was looking: the zoom, the rectangle it is measured against and the design
// point in the middle of the view. An undo step keeps the view it was made in.
struct VDLViewState {
    bool valid = false;
    float scale = 1.0f;
    VDLRect fitRect;
    VDLPoint centre{0, 0};
};

class VDLUndoTarget {
public:
    virtual ~VDLUndoTarget() = default;
    virtual VDLDesign& myDesign() = 0;
    // Installs OTHER as the document's design and hands back the design it replaced in OTHER
    // (undo and redo of snapshot commands; nothing is copied).
    virtual void swapDesign(VDLDesign& other) = 0;
    // Threads, thread-file flag or hoop changed in place (undo and redo of property commands).
    virtual void designPropertiesChanged() = 0;
    // The view now, and putting a view back (no view without a window).
    virtual VDLViewState viewState() const { return {}; }
    virtual void restoreViewState(const VDLViewState&) {}
};
