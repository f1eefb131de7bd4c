#pragma once
// The application's window while no document is open: a line saying what to do, an Open…
// button, the recently opened designs and the application's menus (the document commands
// disabled). Design files dropped onto it open as they do on a document window. It goes as soon
// as a document window opens; closing it with no document open ends the application, as
// closing the last document window does.
#include <QMainWindow>

class QLabel;
class QListWidget;
class QPushButton;

class VDLStartWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit VDLStartWindow(QWidget* parent = nullptr);

    // Rebuilds the list of recent designs (the files of File ▸ Open Recent that still exist).
    void refreshRecentFiles();
    QListWidget* recentList() const { return recentList_; }
    QPushButton* openButton() const { return openButton_; }

protected:
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QLabel* recentTitle_ = nullptr;
    QListWidget* recentList_ = nullptr;
    QPushButton* openButton_ = nullptr;
};
