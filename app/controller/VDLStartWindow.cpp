#include "VDLStartWindow.h"

#include "VDLAppController.h"
#include "VDLDocument.h"
#include "VDLRecentDocuments.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

VDLStartWindow::VDLStartWindow(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("startWindow"));
    setWindowTitle(QStringLiteral("Vardelle"));
    setAttribute(Qt::WA_DeleteOnClose);
    setAcceptDrops(true);
    resize(520, 420);
    VDLAppController* app = VDLAppController::instance();
    app->populateMenuBar(menuBar());

    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(32, 28, 32, 24);
    column->setSpacing(12);
    column->addStretch(1);
    auto* hint = new QLabel(tr("Open a design or drop one here"), central);
    hint->setObjectName(QStringLiteral("startHint"));
    hint->setAlignment(Qt::AlignCenter);
    QFont big = hint->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    hint->setFont(big);
    column->addWidget(hint);

    openButton_ = new QPushButton(tr("Open…"), central);
    openButton_->setObjectName(QStringLiteral("startOpenButton"));
    openButton_->setDefault(true);
    if (QAction* open = app->action(QStringLiteral("openDocument:"))) openButton_->setToolTip(open->toolTip());
    connect(openButton_, &QPushButton::clicked, this, [] {
        // The menu command itself, so the button does exactly what File ▸ Open does.
        if (QAction* open = VDLAppController::instance()->action(QStringLiteral("openDocument:"))) open->trigger();
    });
    auto* buttonRow = new QHBoxLayout();
    buttonRow->addStretch(1);
    buttonRow->addWidget(openButton_);
    buttonRow->addStretch(1);
    column->addLayout(buttonRow);
    column->addStretch(1);

    recentTitle_ = new QLabel(tr("Recent designs:"), central);
    recentTitle_->setObjectName(QStringLiteral("startRecentTitle"));
    column->addWidget(recentTitle_);
    recentList_ = new QListWidget(central);
    recentList_->setObjectName(QStringLiteral("startRecentList"));
    recentList_->setAcceptDrops(false);  // a drop anywhere in the window opens the files
    connect(recentList_, &QListWidget::itemActivated, this, [](QListWidgetItem* item) {
        const QString path = item->data(Qt::UserRole).toString();
        // From the event loop: the list is rebuilt (or the window goes) while the file opens.
        QTimer::singleShot(0, VDLAppController::instance(), [path] { VDLAppController::instance()->openFile(path); });
    });
    column->addWidget(recentList_, 2);
    setCentralWidget(central);
    refreshRecentFiles();
}

void VDLStartWindow::refreshRecentFiles() {
    recentList_->clear();
    const QStringList files = VDLRecentDocuments::list();
    for (const QString& path : files) {
        auto* item = new QListWidgetItem(QFileInfo(path).fileName(), recentList_);
        item->setData(Qt::UserRole, path);
        item->setToolTip(path);
    }
    recentTitle_->setVisible(!files.isEmpty());
    recentList_->setVisible(!files.isEmpty());
}

void VDLStartWindow::showEvent(QShowEvent* event) {
    refreshRecentFiles();
    QMainWindow::showEvent(event);
    VDLAppController::instance()->validateActions();
}

void VDLStartWindow::dragEnterEvent(QDragEnterEvent* event) {
    if (!VDLDocument::handleFileDrop(event)) QMainWindow::dragEnterEvent(event);
}

void VDLStartWindow::dragMoveEvent(QDragMoveEvent* event) {
    if (!VDLDocument::handleFileDrop(event)) QMainWindow::dragMoveEvent(event);
}

void VDLStartWindow::dropEvent(QDropEvent* event) {
    if (!VDLDocument::handleFileDrop(event)) QMainWindow::dropEvent(event);
}
