#pragma once
// What the design view asks of the document that owns it. VDLDocument implements this; tests use
// a small fake. The view never owns its delegate.
#include "VDLDesign.h"

#include <QMetaObject>
#include <QObject>

#include <optional>

class VDLDesignViewDelegate {
public:
    virtual ~VDLDesignViewDelegate() = default;

    // Thread picking: show only thread INDEX, or every thread again.
    virtual void showThread(int index) = 0;
    virtual void showAllThreads() = 0;
    // Refresh canvas, rulers, info texts and thread list; refresh the toolbar state.
    virtual void updateView() = 0;
    virtual void updateToolbar() = 0;

    // The undoable move of the selection by (dx, dy) design units. OLDDESIGN is the design as it
    // was before this move, taken by the caller (the first event of a mouse drag: the later events
    // of the same drag move the design directly, so the whole drag is one undo step); without it
    // the document takes its own copy (arrow keys).
    virtual void moveByVector(double dx, double dy, std::optional<VDLDesign> oldDesign) = 0;

    // A document action by its slot name ("convertSelectionToStitches", "convertSelectionToJumps",
    // "center", "bastingDialog", "insertThreadBeforeSelection"), called from the contextual menu
    // with the menu item as sender. The default invokes the slot `void name(QObject*)` of the
    // delegate when the delegate is a QObject.
    virtual void performAction(const char* name, QObject* sender) {
        if (auto* object = dynamic_cast<QObject*>(this))
            QMetaObject::invokeMethod(object, name, Qt::DirectConnection, Q_ARG(QObject*, sender));
    }
};
