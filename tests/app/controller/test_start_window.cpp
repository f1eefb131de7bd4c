// The application with no document open: the start window a plain launch shows (with
// "SkipOpenDialog", or after the Open panel was cancelled), its Open button and recent designs,
// the menus it carries, files dropped onto it, and its going when a document opens.
#include "DocumentTestSupport.h"
#include "ModalTestSupport.h"
#include "VDLAppController.h"
#include "VDLRecentDocuments.h"
#include "VDLStartWindow.h"

#include <QAction>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMimeData>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

namespace {

template <typename Pred>
bool waitUntil(Pred pred, int ms = 5000) {
    QElapsedTimer t;
    t.start();
    while (!pred() && t.elapsed() < ms) QTest::qWait(10);
    return pred();
}

bool anyOpenPanel() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<QFileDialog*>(w) && w->isVisible()) return true;
    return false;
}

class StartWindowTest : public DocumentTest {
protected:
    void SetUp() override {
        DocumentTest::SetUp();
        VDLDefaults::standard().setValue(QStringLiteral("CheckForUpdates"), false);
        controller();  // the documents take part in the launch
    }
    void TearDown() override {
        if (VDLStartWindow* w = VDLAppController::instance()->startWindow()) delete w;
        VDLDefaults::standard().removeValue(QStringLiteral("CheckForUpdates"));
        VDLDefaults::standard().removeValue(QStringLiteral("SkipOpenDialog"));
        VDLRecentDocuments::clear();
        DocumentTest::TearDown();
    }
    static VDLAppController* app() { return VDLAppController::instance(); }
};

}  // namespace

// "SkipOpenDialog" and nothing to restore: the launch shows the start window and no panel. The
// window says what to do, lists the recent designs, carries the menus with only the application
// commands enabled; a recent design opens in its own window, which replaces the start window.
TEST_F(StartWindowTest, SkipOpenDialogLaunchShowsTheStartWindowAndARecentDesignReplacesIt) {
    const QString recent = sample("flower.jef");
    VDLRecentDocuments::note(recent);
    VDLRecentDocuments::note(QString::fromStdString(dir.file("gone.dst")));  // never existed: left out
    VDLDefaults::standard().setValue(QStringLiteral("SkipOpenDialog"), true);

    app()->finishStartup({}, false);
    QPointer<VDLStartWindow> start = app()->startWindow();
    ASSERT_TRUE(start);
    EXPECT_TRUE(start->isVisible());
    EXPECT_FALSE(anyOpenPanel());
    EXPECT_EQ(start->findChild<QLabel*>(QStringLiteral("startHint"))->text(), QStringLiteral("Open a design or drop one here"));
    EXPECT_EQ(start->menuBar()->actions().size(), app()->menus().size());
    for (const char* command : {"saveDocument:", "zoomIn:", "delete:", "printDocument:", "selectAll:"})
        EXPECT_FALSE(app()->action(QString::fromLatin1(command))->isEnabled()) << command;
    for (const char* command : {"openDocument:", "terminate:", "showPreferences:"})
        EXPECT_TRUE(app()->action(QString::fromLatin1(command))->isEnabled()) << command;
    ASSERT_EQ(start->recentList()->count(), 1);
    EXPECT_EQ(start->recentList()->item(0)->text(), QStringLiteral("flower.jef"));

    emit start->recentList()->itemActivated(start->recentList()->item(0));
    ASSERT_TRUE(waitUntil([] { return controller()->documents().size() == 1; }));
    EXPECT_EQ(controller()->documents()[0]->fileName(), QFileInfo(recent).absoluteFilePath());
    EXPECT_TRUE(waitUntil([&start] { return start.isNull(); })) << "the start window stays beside the document";
    EXPECT_TRUE(controller()->documents()[0]->window()->isVisible());
    EXPECT_TRUE(app()->action(QStringLiteral("zoomIn:"))->isEnabled());
}

// Without the setting the Open panel shows; cancelling it leaves the start window (the user did
// not ask to quit), whose Open button runs the same panel and opens the chosen design.
TEST_F(StartWindowTest, CancelledOpenPanelLeavesTheStartWindowWhoseOpenButtonOpens) {
    const QString path = sample("flower.dst");
    bool panelAtLaunch = false;
    modal::whenModal([&panelAtLaunch](QWidget* w) {
        panelAtLaunch = qobject_cast<QFileDialog*>(w) != nullptr;
        modal::rejectAll();
    });
    app()->finishStartup({}, false);
    EXPECT_TRUE(panelAtLaunch);
    QPointer<VDLStartWindow> start = app()->startWindow();
    ASSERT_TRUE(start);
    EXPECT_TRUE(start->isVisible());
    EXPECT_TRUE(controller()->documents().isEmpty());

    modal::whenModal([&path](QWidget* w) {
        auto* panel = qobject_cast<QFileDialog*>(w);
        if (!panel) return modal::rejectAll();
        modal::chooseFile(panel, path);
        QMetaObject::invokeMethod(panel, "accept");
    });
    QTimer::singleShot(0, start->openButton(), &QPushButton::click);
    ASSERT_TRUE(waitUntil([] { return controller()->documents().size() == 1; }, 20000));
    EXPECT_EQ(controller()->documents()[0]->fileName(), QFileInfo(path).absoluteFilePath());
    EXPECT_TRUE(waitUntil([&start] { return start.isNull(); }));
}

// Design files dropped onto the start window open as on a document window; a drag of other
// files only is refused there as it is there.
TEST_F(StartWindowTest, DroppedDesignsOpenFromTheStartWindow) {
    app()->showStartWindow();
    QPointer<VDLStartWindow> start = app()->startWindow();
    ASSERT_TRUE(start);
    const QString jef = sample("flower.jef");
    const QString text = QString::fromStdString(dir.file("notes.txt"));
    writeBytes(text.toStdString(), std::vector<unsigned char>{'h', 'i'});

    QMimeData refused;
    refused.setUrls({QUrl::fromLocalFile(text)});
    QDragEnterEvent enterRefused(QPoint(40, 40), Qt::CopyAction, &refused, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(start, &enterRefused);
    EXPECT_FALSE(enterRefused.isAccepted());
    QDropEvent dropRefused(QPointF(40, 40), Qt::CopyAction, &refused, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(start, &dropRefused);
    QApplication::processEvents();
    EXPECT_TRUE(controller()->documents().isEmpty());
    EXPECT_TRUE(start);

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(text), QUrl::fromLocalFile(jef)});
    QDragEnterEvent enter(QPoint(40, 40), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(start, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(40, 40), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(start, &drop);
    EXPECT_TRUE(drop.isAccepted());
    ASSERT_TRUE(waitUntil([] { return controller()->documents().size() == 1; }));
    EXPECT_EQ(controller()->documents()[0]->fileName(), QFileInfo(jef).absoluteFilePath());
    EXPECT_TRUE(waitUntil([&start] { return start.isNull(); }));
}

// Closing the start window with no document open ends the application, as closing the last
// document window does: the application's own event loop returns.
TEST(StartWindow, ClosingItWithNoDocumentEndsTheApplication) {
    VDLAppController::instance()->showStartWindow();
    QPointer<VDLStartWindow> start = VDLAppController::instance()->startWindow();
    ASSERT_TRUE(start);
    QTimer::singleShot(100, start, [start] { start->close(); });
    QTimer watchdog;  // the loop still running after 5 s: the window did not end it
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(2); });
    watchdog.start(5000);
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_TRUE(start.isNull());
}
