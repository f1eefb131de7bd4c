#pragma once
// The main window of one document. It reports the window events the document follows
// (closing with unsaved changes, resizing, becoming the active window) and keeps the window at
// least 700 × 451.
#include <QMainWindow>
#include <QPointer>

class VDLDocument;

class VDLDocumentWindow : public QMainWindow {
    Q_OBJECT
public:
    static constexpr int kMinimumWidth = 700;
    static constexpr int kMinimumHeight = 451;

    explicit VDLDocumentWindow(VDLDocument* document);
    VDLDocument* document() const { return document_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QPointer<VDLDocument> document_;
};
