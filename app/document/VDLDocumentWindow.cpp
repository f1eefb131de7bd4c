#include "VDLDocumentWindow.h"

#include "VDLDocument.h"
#include "VDLDocumentController.h"

#include <QCloseEvent>

VDLDocumentWindow::VDLDocumentWindow(VDLDocument* document) : document_(document) {
    setMinimumSize(kMinimumWidth, kMinimumHeight);
    setAttribute(Qt::WA_DeleteOnClose, false);  // the document deletes its window
}

void VDLDocumentWindow::closeEvent(QCloseEvent* event) {
    if (document_ && !document_->windowShouldClose()) {
        event->ignore();
        return;
    }
    event->accept();
    QMainWindow::closeEvent(event);
    if (document_) document_->windowDidClose();
}

void VDLDocumentWindow::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    if (document_) document_->windowDidResize();
}

void VDLDocumentWindow::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && document_) {
        document_->updateToolbar();
        emit document_->windowBecameKey(document_);
    }
}
