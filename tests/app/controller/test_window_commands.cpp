// The commands of a document window as the user drives them: keys sent to the window right
// after a selection made with the mouse, two windows closed one after the other with the
// keyboard, edits that must not touch the zoom, and the colour-block commands.
#include "DocumentTestSupport.h"
#include "TestSupport.h"
#include "VDLAppController.h"
#include "VDLDesignView.h"
#include "VDLEditDialog.h"
#include "VDLMeasurementView.h"
#include "VDLPrintView.h"
#include "VDLRecentDocuments.h"
#include "VDLRecordingContext.h"
#include "VDLSewingFacts.h"
#include "VDLValueTransformer.h"
#include "VDLThreadListView.h"

#include <QAction>
#include <QClipboard>
#include <QDropEvent>
#include <QFile>
#include <QMenu>
#include <QMimeData>
#include <QUrl>
#include <QToolBar>
#include <QToolButton>
#include <QWheelEvent>
#include <QPointingDevice>
#include <cmath>
#include <QDoubleSpinBox>
#include <QFontMetricsF>
#include <QLineEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QElapsedTimer>

namespace {

// Activates the document's window and waits until the platform reports it active.
void activate(VDLDocument* doc) {
    doc->window()->show();
    QApplication::setActiveWindow(doc->window());
    doc->window()->activateWindow();
    QApplication::processEvents();
    EXPECT_EQ(QApplication::activeWindow(), doc->window());
}

// A rubber band with the mouse over the middle of the design, in the rectangle tool: the
// press, a few moves and the release all go to the canvas.
void dragRectangleOverDesign(VDLDesignView* canvas, const VDLDesign& d, double fraction = 0.3) {
    const double cx = (d.xMin() + d.xMax()) / 2, cy = (d.yMin() + d.yMax()) / 2;
    const double hw = (d.xMax() - d.xMin()) * fraction, hh = (d.yMax() - d.yMin()) * fraction;
    const QPoint from = canvas->widgetPointAt(VDLPoint{cx - hw, cy + hh}).toPoint();
    const QPoint to = canvas->widgetPointAt(VDLPoint{cx + hw, cy - hh}).toPoint();
    QTest::mousePress(canvas, Qt::LeftButton, Qt::NoModifier, from);
    for (int k = 1; k <= 4; ++k) QTest::mouseMove(canvas, from + (to - from) * k / 4);
    QTest::mouseRelease(canvas, Qt::LeftButton, Qt::NoModifier, to);
}

// Lets the event loop run until PRED holds or MS milliseconds passed.
template <typename Pred>
bool waitUntil(Pred pred, int ms = 3000) {
    QElapsedTimer t;
    t.start();
    while (!pred() && t.elapsed() < ms) QTest::qWait(10);
    return pred();
}

}  // namespace

// After a rectangle selection the Design and Edit shortcuts act at once, without a menu having
// been opened: Ctrl+L rotates, Delete deletes, and Ctrl+X after a new selection cuts.
TEST_F(DocumentTest, ShortcutsActRightAfterAMouseSelection) {
    VDLDocument* doc = open(sample("flower.dst"));
    ASSERT_NE(doc, nullptr);
    activate(doc);
    VDLDesignView* canvas = doc->patternView();
    ASSERT_NE(canvas, nullptr);
    VDLAppController* app = VDLAppController::instance();
    EXPECT_FALSE(app->action("delete:")->isEnabled());  // nothing selected yet

    doc->selectRect(nullptr);
    dragRectangleOverDesign(canvas, doc->myDesign());
    ASSERT_TRUE(doc->myDesign().selectionActive());
    const size_t selected = selectedStitchCount(doc->myDesign());
    ASSERT_GT(selected, 0u);
    // The menu items are right before any menu is shown.
    EXPECT_TRUE(app->action("delete:")->isEnabled());
    EXPECT_TRUE(app->action("rotateL:")->isEnabled());

    QTest::keyClick(canvas, Qt::Key_L, Qt::ControlModifier);
    EXPECT_EQ(doc->undoStack()->index(), 1);
    EXPECT_EQ(doc->undoStack()->undoText(), "rotate");

    const size_t before = doc->myDesign().stitches().size();
    QTest::keyClick(canvas, Qt::Key_Delete);
    EXPECT_EQ(doc->undoStack()->index(), 2);
    EXPECT_LT(doc->myDesign().stitches().size(), before);
    EXPECT_FALSE(doc->myDesign().selectionActive());
    EXPECT_FALSE(app->action("delete:")->isEnabled());
    EXPECT_FALSE(app->action("cut:")->isEnabled());

    // Undo from the keyboard, then cut a new selection.
    QTest::keyClick(canvas, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(doc->undoStack()->index(), 1);
    EXPECT_EQ(doc->myDesign().stitches().size(), before);
    doc->deselectAll(nullptr);
    dragRectangleOverDesign(canvas, doc->myDesign(), 0.2);
    ASSERT_TRUE(doc->myDesign().selectionActive());
    QTest::keyClick(canvas, Qt::Key_X, Qt::ControlModifier);
    EXPECT_EQ(doc->undoStack()->index(), 2);
    EXPECT_EQ(doc->undoStack()->undoText(), "cut");
    // What was cut can be pasted at once: Paste follows the clipboard.
    EXPECT_TRUE(app->action("paste:")->isEnabled());
    QApplication::clipboard()->clear();
    QApplication::processEvents();
    EXPECT_FALSE(app->action("paste:")->isEnabled());
}

// Two windows: Ctrl+W closes the first, and then the second as soon as it is the active one.
TEST_F(DocumentTest, CloseShortcutClosesOneWindowAfterTheOther) {
    VDLDocument* first = open(sample("flower.dst"));
    VDLDocument* second = open(sample("flower.jef"));
    ASSERT_TRUE(first && second);
    QPointer<QMainWindow> a = first->window(), b = second->window();

    activate(first);
    QTest::keyClick(a.data(), Qt::Key_W, Qt::ControlModifier);
    ASSERT_TRUE(waitUntil([&] { return !a || !a->isVisible(); }));
    ASSERT_TRUE(b && b->isVisible());

    activate(second);
    QTest::keyClick(b.data(), Qt::Key_W, Qt::ControlModifier);
    ASSERT_TRUE(waitUntil([&] { return !b || !b->isVisible(); }));
}

// Move, rotate and resize keep the zoom (title, percentage and pixels per unit), and undoing
// every edit brings back the design drawn exactly as large as at first. Undo and redo show the
// view the step was made in, even after the user scrolled away.
TEST_F(DocumentTest, EditingNeverChangesTheZoom) {
    VDLDocument* doc = open(sample("flower.jef"));
    ASSERT_NE(doc, nullptr);
    activate(doc);
    VDLDesignView* canvas = doc->patternView();
    doc->zoomIn(nullptr);
    const float scaling = doc->viewScaling();
    const double ppu = canvas->pixelsPerUnit();
    const QString title = doc->title();
    ASSERT_TRUE(title.contains("(125%)")) << title.toStdString();

    doc->selectAll(nullptr);
    doc->moveByVector(400, -250);
    EXPECT_EQ(doc->title(), title);
    doc->rotateByDegrees(30);
    EXPECT_EQ(doc->title(), title);
    doc->resizeByPercent(1.4f);
    EXPECT_EQ(doc->title(), title);
    EXPECT_FLOAT_EQ(doc->viewScaling(), scaling);
    EXPECT_DOUBLE_EQ(canvas->pixelsPerUnit(), ppu);
    const VDLPoint editedAt = canvas->centredPointInDocView();

    // Scroll away, then undo the resize: the view comes back to where the step was made.
    canvas->scrollPointToCentre(VDLPoint{editedAt.x + 600, editedAt.y - 600});
    doc->undoStack()->undo();
    EXPECT_NEAR(canvas->centredPointInDocView().x, editedAt.x, 2.0 / ppu + 1);
    EXPECT_NEAR(canvas->centredPointInDocView().y, editedAt.y, 2.0 / ppu + 1);
    doc->undoStack()->undo();
    doc->undoStack()->undo();
    EXPECT_EQ(doc->title(), title);
    EXPECT_FLOAT_EQ(doc->viewScaling(), scaling);
    EXPECT_DOUBLE_EQ(canvas->pixelsPerUnit(), ppu);
    doc->undoStack()->redo();
    EXPECT_DOUBLE_EQ(canvas->pixelsPerUnit(), ppu);

    // Zoom to Fit measures 100 % against the design as it is now.
    doc->undoStack()->redo();
    doc->undoStack()->redo();
    doc->zoomToFit(nullptr);
    EXPECT_FLOAT_EQ(doc->viewScaling(), 100.0f);
    EXPECT_EQ(doc->title(), doc->displayName());
}

// Insert Color Change at the first stitch of a block does nothing (the block already starts
// there); one stitch further in it splits the block.
TEST_F(DocumentTest, InsertColorChangeAtTheFirstStitchOfABlockDoesNothing) {
    VDLDocument* doc = open(sample("flower.dst"));
    ASSERT_NE(doc, nullptr);
    VDLDesign& d = doc->myDesign();
    const auto& list = d.stitches();
    size_t change = 0;
    while (change < list.size() && !list[change].isColorChange) ++change;
    ASSERT_LT(change, list.size());
    size_t first = change + 1;
    while (first < list.size() && (list[first].isJumpStitch || list[first].isNullStitch())) ++first;
    ASSERT_LT(first + 20, list.size());
    const size_t stitches = list.size();
    const int64_t threads = d.numberOfThreads();

    auto selectFrom = [&](size_t from) {
        d.deselectAll();
        for (size_t i = from; i < from + 10; ++i) d.stitches()[i].isSelected = true;
        d.setSelectionActive(true);
        doc->updateToolbar();
    };
    VDLAppController* app = VDLAppController::instance();
    for (size_t from : {change, change + 1, first}) {
        selectFrom(from);
        EXPECT_FALSE(app->action("insertThreadBeforeSelection:")->isEnabled()) << from;
        doc->insertThreadBeforeSelection(nullptr);  // as the context menu sends it
        EXPECT_EQ(d.stitches().size(), stitches) << from;
        EXPECT_EQ(d.numberOfThreads(), threads) << from;
        EXPECT_EQ(doc->undoStack()->index(), 0) << from;
    }
    selectFrom(first + 5);
    EXPECT_TRUE(app->action("insertThreadBeforeSelection:")->isEnabled());
    app->action("insertThreadBeforeSelection:")->trigger();
    EXPECT_EQ(d.numberOfThreads(), threads + 1);
    EXPECT_EQ(doc->undoStack()->index(), 1);
}

// Deleting every stitch of one colour, run by run as the block tool selects them, removes the
// colour: the thread list, the info line and the design agree.
TEST_F(DocumentTest, DeletingEveryStitchOfAColorRemovesItsThread) {
    VDLDocument* doc = open(sample("flower.dst"));
    ASSERT_NE(doc, nullptr);
    activate(doc);
    VDLDesign& d = doc->myDesign();
    const int64_t threads = d.numberOfThreads();
    ASSERT_GE(threads, 3);

    // Block 1 run by run with the block tool: a click on one stitch of each run (zoomed in so a
    // pixel is finer than the tool's tolerance), Ctrl held to add to the selection.
    VDLDesignView* canvas = doc->patternView();
    doc->setViewScaling(1500);
    doc->selectSection(nullptr);
    struct Run { size_t from, to; };
    std::vector<Run> runs;
    int64_t block = 0;
    for (size_t i = 0; i < d.stitches().size(); ++i) {
        const VDLStitch& s = d.stitches()[i];
        if (s.isColorChange) ++block;
        if (s.isJumpStitch || s.isColorChange || block != 1) continue;
        if (runs.empty() || runs.back().to != i) runs.push_back(Run{i, i + 1});
        else runs.back().to = i + 1;
    }
    ASSERT_FALSE(runs.empty());
    int unclickable = 0;
    for (const Run& r : runs) {
        double x = 0, y = 0;
        for (size_t i = 0; i < r.from; ++i) {
            x += d.stitches()[i].deltaX;
            y += d.stitches()[i].deltaY;
        }
        bool clicked = false;
        for (size_t i = r.from; i < r.to && !clicked; ++i) {
            x += d.stitches()[i].deltaX;
            y += d.stitches()[i].deltaY;
            const QPoint w = canvas->widgetPointAt(VDLPoint{x, y}).toPoint();
            const int32_t hit = d.indexOfStitchAt(canvas->designPointAt(QPointF(w)), 0.7f);
            if (hit < int32_t(r.from) || hit >= int32_t(r.to)) continue;
            QTest::mouseClick(canvas, Qt::LeftButton, Qt::ControlModifier, w);
            clicked = true;
        }
        unclickable += clicked ? 0 : 1;
    }
    ASSERT_EQ(unclickable, 0);
    ASSERT_TRUE(d.selectionActive());
    QTest::keyClick(canvas, Qt::Key_Delete);
    EXPECT_EQ(d.numberOfThreads(), threads - 1);
    EXPECT_EQ(doc->threadList()->rowCount(), int(threads - 1));
    EXPECT_TRUE(doc->patternColorsText().startsWith(QStringLiteral("Colors: %1,").arg(threads - 1)))
        << doc->patternColorsText().toStdString();
}

// A measurement dragged to the right edge of the view keeps its whole label inside the view,
// wide and high enough for both lines.
TEST_F(DocumentTest, MeasuringLabelStaysInsideTheView) {
    VDLDocument* doc = open(sample("flower.dst"));
    ASSERT_NE(doc, nullptr);
    activate(doc);
    VDLDesignView* canvas = doc->patternView();
    doc->measureDistance(nullptr);
    const QRect visible(-canvas->pos(), canvas->parentWidget()->size());
    const QPoint from = visible.center();
    const QPoint to(visible.right() - 3, visible.top() + 4);  // up against the top right corner
    QTest::mousePress(canvas, Qt::LeftButton, Qt::NoModifier, from);
    for (int k = 1; k <= 4; ++k) QTest::mouseMove(canvas, from + (to - from) * k / 4);
    VDLMeasurementView* m = canvas->measureView();
    ASSERT_NE(m, nullptr);
    const QRectF label = m->labelRect();
    EXPECT_TRUE(QRectF(visible).contains(label)) << label.x() << "," << label.y() << " " << label.width();
    const QFontMetricsF fm(m->font());
    EXPECT_GE(label.width(), fm.horizontalAdvance(m->firstLine()));
    QTest::mouseRelease(canvas, Qt::LeftButton, Qt::NoModifier, to);
}

// In inch mode the move and basting dialogs show and read inches: 1/16 in steps for fractional
// inches, 0.04 in for decimal inches; "1/2" moves the selection by 12.7 mm.
TEST_F(DocumentTest, MoveAndBastingDialogsUseTheLaunchUnit) {
    VDLDocument* doc = open(sample("flower.dst"));
    ASSERT_NE(doc, nullptr);
    VDLAppController* app = VDLAppController::instance();
    const int unit = app->measurementUnit();
    app->setMeasurementUnit(2);
    doc->selectAll(nullptr);
    const VDLDesign before = doc->myDesign();
    doc->moveStitches(nullptr);
    VDLEditDialog* dialog = doc->activeEditDialog();
    ASSERT_NE(dialog, nullptr);
    auto fields = dialog->findChildren<QDoubleSpinBox*>();
    ASSERT_EQ(fields.size(), 2);
    // The title fits beside the window manager's buttons.
    EXPECT_GE(dialog->minimumWidth(), QFontMetrics(dialog->font()).horizontalAdvance(dialog->windowTitle()));
    fields[0]->setValue(0);
    EXPECT_EQ(fields[0]->text(), "0\"");
    fields[0]->stepUp();
    EXPECT_EQ(fields[0]->text(), "1/16\"");
    EXPECT_DOUBLE_EQ(fields[0]->value(), 1.5875);
    // Typed as the user types it: the old text selected and replaced.
    fields[0]->setFocus();
    fields[0]->selectAll();
    QTest::keyClicks(fields[0], "1/2");
    fields[0]->interpretText();
    fields[1]->setValue(0);
    EXPECT_NEAR(dialog->moveX(), 12.7, 1e-9);
    dialog->accept();
    VDLDesign expected = before;
    ASSERT_TRUE(expected.moveSelectionByVector(VDLPoint{127, 0}));
    EXPECT_NEAR(doc->myDesign().xMin(), expected.xMin(), 0.01);

    app->setMeasurementUnit(1);
    doc->bastingDialog(nullptr);
    dialog = doc->activeEditDialog();
    ASSERT_NE(dialog, nullptr);
    fields = dialog->findChildren<QDoubleSpinBox*>();
    ASSERT_EQ(fields.size(), 2);
    fields[1]->setValue(0);
    fields[1]->stepUp();
    EXPECT_EQ(fields[1]->text(), "0.04\"");
    EXPECT_DOUBLE_EQ(dialog->bastingDistance(), 1.016);
    dialog->reject();
    app->setMeasurementUnit(unit);
}

// File ▸ Open Recent lists the files opened last, newest first, leaves out files that are gone,
// opens the one chosen, and Clear Menu empties it.
TEST_F(DocumentTest, OpenRecentListsTheLastFiles) {
    VDLRecentDocuments::clear();
    const QString a = sample("flower.dst"), b = sample("flower.jef"), c = sample("flower.pes");
    for (const QString& path : {a, b, c}) ASSERT_NE(open(path), nullptr);
    controller()->closeAllDocumentsForTesting();
    QApplication::processEvents();
    ASSERT_TRUE(QFile::remove(b));

    VDLAppController* app = VDLAppController::instance();
    QMenu* recent = app->recentMenu();
    emit recent->aboutToShow();
    QStringList shown;
    QAction* first = nullptr;
    for (QAction* item : recent->actions())
        if (item->data().isValid()) {
            shown << item->data().toString();
            if (!first) first = item;
        }
    EXPECT_EQ(shown, (QStringList{QFileInfo(c).absoluteFilePath(), QFileInfo(a).absoluteFilePath()}));
    ASSERT_NE(first, nullptr);
    first->trigger();
    ASSERT_EQ(controller()->documents().size(), 1);
    EXPECT_EQ(controller()->documents().first()->fileName(), QFileInfo(c).absoluteFilePath());

    // Eleven files: the oldest goes.
    for (int i = 0; i < 11; ++i) {
        const QString copy = QString::fromStdString(dir.file("copy" + std::to_string(i) + ".dst"));
        QFile::copy(a, copy);
        VDLRecentDocuments::note(copy);
    }
    EXPECT_EQ(VDLRecentDocuments::list().size(), VDLRecentDocuments::kLimit);
    EXPECT_TRUE(VDLRecentDocuments::list().first().endsWith("copy10.dst"));

    emit recent->aboutToShow();
    QAction* clear = recent->findChild<QAction*>(QStringLiteral("clearRecentDocuments:"));
    ASSERT_TRUE(clear && clear->isEnabled());
    clear->trigger();
    EXPECT_TRUE(VDLRecentDocuments::list().isEmpty());
}

// Design files dropped onto a window open in windows of their own; other files are refused.
TEST_F(DocumentTest, DroppedFilesOpen) {
    VDLDocument* doc = open(sample("flower.dst"));
    ASSERT_NE(doc, nullptr);
    const QString jef = sample("flower.jef");
    const QString text = QString::fromStdString(dir.file("notes.txt"));
    writeBytes(text.toStdString(), std::vector<unsigned char>{'h', 'i'});

    QMimeData refused;
    refused.setUrls({QUrl::fromLocalFile(text)});
    QDragEnterEvent enterRefused(QPoint(50, 50), Qt::CopyAction, &refused, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(doc->window(), &enterRefused);
    EXPECT_FALSE(enterRefused.isAccepted());

    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(jef), QUrl::fromLocalFile(text)});
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(doc->window(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(doc->window(), &drop);
    EXPECT_TRUE(drop.isAccepted());
    ASSERT_TRUE(waitUntil([&] { return controller()->documents().size() == 2; }));
    EXPECT_EQ(controller()->documents().last()->fileName(), QFileInfo(jef).absoluteFilePath());
}

// Ctrl + wheel zooms in steps of 25 % around the pointer (the design point under it stays under
// it), within the limits; the plain wheel scrolls and leaves the zoom.
TEST_F(DocumentTest, ControlWheelZoomsAroundThePointer) {
    VDLDocument* doc = open(sample("flower.dst"));
    ASSERT_NE(doc, nullptr);
    activate(doc);
    VDLDesignView* canvas = doc->patternView();
    QWidget* viewport = canvas->parentWidget();
    const QPointF at(viewport->width() * 0.7, viewport->height() * 0.3);
    // The canvas leaves the wheel to the visible area around it, where it arrives.
    auto wheel = [&](int delta, Qt::KeyboardModifiers mods) {
        QWheelEvent e(at, viewport->mapToGlobal(at), QPoint(), QPoint(0, delta), Qt::NoButton, mods,
                      Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewport, &e);
    };
    const VDLPoint under = canvas->designPointAt(canvas->mapFrom(viewport, at));
    wheel(120, Qt::ControlModifier);
    EXPECT_FLOAT_EQ(doc->viewScaling(), 125.0f);
    const VDLPoint after = canvas->designPointAt(canvas->mapFrom(viewport, at));
    EXPECT_NEAR(after.x, under.x, 2 * canvas->drawUnit());
    EXPECT_NEAR(after.y, under.y, 2 * canvas->drawUnit());
    wheel(-240, Qt::ControlModifier);
    EXPECT_FLOAT_EQ(doc->viewScaling(), 75.0f);
    for (int i = 0; i < 10; ++i) wheel(-120, Qt::ControlModifier);
    EXPECT_FLOAT_EQ(doc->viewScaling(), 10.0f);  // the lower limit
    wheel(-120, Qt::NoModifier);
    EXPECT_FLOAT_EQ(doc->viewScaling(), 10.0f);
}

// A touchpad pinch zooms in the same 25 % steps around the point between the fingers (the design
// point there stays there): a quarter of spread per step, summed over the gesture, within the
// zoom limits; the remainder of one gesture does not carry over into the next.
TEST_F(DocumentTest, PinchZoomsInStepsAroundThePointer) {
    VDLDocument* doc = open(sample("flower.dst"));
    ASSERT_NE(doc, nullptr);
    activate(doc);
    VDLDesignView* canvas = doc->patternView();
    QWidget* viewport = canvas->parentWidget();
    const QPointF at(viewport->width() * 0.3, viewport->height() * 0.6);
    auto gesture = [&](Qt::NativeGestureType type, double value) {
        QNativeGestureEvent e(type, QPointingDevice::primaryPointingDevice(), 2, at, at, viewport->mapToGlobal(at), value,
                              QPointF());
        QApplication::sendEvent(viewport, &e);
        return e.isAccepted();
    };
    const VDLPoint under = canvas->designPointAt(canvas->mapFrom(viewport, at));
    ASSERT_FLOAT_EQ(doc->viewScaling(), 100.0f);
    gesture(Qt::BeginNativeGesture, 0);
    EXPECT_TRUE(gesture(Qt::ZoomNativeGesture, 0.1));
    EXPECT_FLOAT_EQ(doc->viewScaling(), 100.0f);  // not yet a step
    gesture(Qt::ZoomNativeGesture, 0.1);
    gesture(Qt::ZoomNativeGesture, 0.1);          // 0.3 spread: one step
    EXPECT_FLOAT_EQ(doc->viewScaling(), 125.0f);
    const VDLPoint after = canvas->designPointAt(canvas->mapFrom(viewport, at));
    EXPECT_NEAR(after.x, under.x, 2 * canvas->drawUnit());
    EXPECT_NEAR(after.y, under.y, 2 * canvas->drawUnit());
    gesture(Qt::ZoomNativeGesture, 0.45);         // 0.05 left over + 0.45: two more
    EXPECT_FLOAT_EQ(doc->viewScaling(), 175.0f);
    gesture(Qt::EndNativeGesture, 0);

    // Closing the fingers zooms out, down to the lower limit and no further.
    gesture(Qt::BeginNativeGesture, 0);
    gesture(Qt::ZoomNativeGesture, -0.5);
    EXPECT_FLOAT_EQ(doc->viewScaling(), 125.0f);
    for (int i = 0; i < 20; ++i) gesture(Qt::ZoomNativeGesture, -0.25);
    EXPECT_FLOAT_EQ(doc->viewScaling(), 10.0f);
    gesture(Qt::EndNativeGesture, 0);
    // A new gesture starts from nothing; a wild value zooms to the upper limit and no further.
    gesture(Qt::BeginNativeGesture, 0);
    gesture(Qt::ZoomNativeGesture, 0.2);
    EXPECT_FLOAT_EQ(doc->viewScaling(), 10.0f);
    gesture(Qt::ZoomNativeGesture, 1e12);
    EXPECT_FLOAT_EQ(doc->viewScaling(), 1500.0f);
    gesture(Qt::ZoomNativeGesture, std::nan(""));
    EXPECT_FLOAT_EQ(doc->viewScaling(), 1500.0f);
    gesture(Qt::EndNativeGesture, 0);

    // Over the design itself the canvas gets the pinch first: the same zoom.
    const QPointF onCanvas = canvas->mapFrom(viewport, at);
    QNativeGestureEvent pinch(Qt::ZoomNativeGesture, QPointingDevice::primaryPointingDevice(), 2, onCanvas, onCanvas,
                              canvas->mapToGlobal(onCanvas), -0.5, QPointF());
    QApplication::sendEvent(canvas, &pinch);
    EXPECT_TRUE(pinch.isAccepted());
    EXPECT_FLOAT_EQ(doc->viewScaling(), 1450.0f);
}

// The status bar shows the pointer's place in design coordinates (the rulers' zero) in the
// launch unit, and in stitch mode the stitch under the pointer with its thread.
TEST_F(DocumentTest, StatusBarShowsThePointer) {
    VDLDocument* doc = open(sample("flower.dst"));
    ASSERT_NE(doc, nullptr);
    activate(doc);
    VDLDesignView* canvas = doc->patternView();
    auto moveTo = [canvas](QPointF pos) {
        QMouseEvent e(QEvent::MouseMove, pos, canvas->mapToGlobal(pos), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(canvas, &e);
    };
    moveTo(canvas->widgetPointAt(VDLPoint{0, 0}));
    EXPECT_TRUE(doc->pointerText().startsWith("x: 0.0 mm")) << doc->pointerText().toStdString();
    moveTo(canvas->widgetPointAt(VDLPoint{250, -100}));
    const VDLPoint p = canvas->designPointAt(canvas->widgetPointAt(VDLPoint{250, -100}));
    const VDLValueTransformer t;
    EXPECT_EQ(doc->pointerText(), QStringLiteral("x: %1   y: %2")
                                      .arg(QString::fromStdString(t.transformedValue(p.x / 10)),
                                           QString::fromStdString(t.transformedValue(p.y / 10))));
    EXPECT_TRUE(doc->pointerStitchText().isEmpty());

    // Stitch mode, the pointer on the end of stitch 100 (zoomed in so a pixel is fine enough).
    doc->setViewScaling(1500);
    doc->selectStitch(nullptr);
    double x = 0, y = 0;
    for (size_t i = 0; i < 100; ++i) {
        x += doc->myDesign().stitches()[i].deltaX;
        y += doc->myDesign().stitches()[i].deltaY;
    }
    canvas->scrollPointToCentre(VDLPoint{x, y});
    moveTo(canvas->widgetPointAt(VDLPoint{x, y}));
    EXPECT_TRUE(doc->pointerStitchText().startsWith("Stitch ")) << doc->pointerStitchText().toStdString();
    EXPECT_TRUE(doc->pointerStitchText().contains("of 8,841")) << doc->pointerStitchText().toStdString();
}

// Sewing facts: the time counts every record at the speed, the top thread each stitch's length
// plus the allowance, the bobbin a third of the top thread; the info line and the printed sheet
// tell them.
TEST_F(DocumentTest, SewingTimeAndThreadLength) {
    VDLDesign d;
    d.setStitches({VDLStitch(100, 0, false, false), VDLStitch(100, 0, false, false), VDLStitch(0, 100, false, false),
                   VDLStitch(0, 0, false, true), VDLStitch(500, 0, true, false), VDLStitch(30, 40, false, false),
                   VDLStitch(-30, -40, false, false)});
    d.threads() = {VDLThread("1", "Undefined"), VDLThread("2", "Undefined")};
    const VDLSewingFacts f = VDLSewingFacts::of(d);
    EXPECT_EQ(f.records, 7);
    ASSERT_EQ(f.threadMM.size(), 2u);
    EXPECT_DOUBLE_EQ(f.threadMM[0], 3 * (10 + VDLSewingFacts::kAllowanceMM));
    EXPECT_DOUBLE_EQ(f.threadMM[1], 2 * (5 + VDLSewingFacts::kAllowanceMM));
    EXPECT_DOUBLE_EQ(f.topMM, f.threadMM[0] + f.threadMM[1]);
    EXPECT_DOUBLE_EQ(f.bobbinMM, f.topMM / 3);
    EXPECT_DOUBLE_EQ(f.minutesAt(600), 7.0 / 600);
    EXPECT_EQ(VDLSewingFacts::durationText(0.5), "30 s");
    EXPECT_EQ(VDLSewingFacts::durationText(14.4), "14 min");
    EXPECT_EQ(VDLSewingFacts::durationText(125), "2 h 05 min");
    EXPECT_EQ(VDLSewingFacts::lengthText(45300, 0), "45.3 m");
    EXPECT_EQ(VDLSewingFacts::lengthText(914.4 * 2, 1), "2.0 yd");

    VDLDocument* doc = open(sample("flower.dst"));
    ASSERT_NE(doc, nullptr);
    const VDLSewingFacts flower = VDLSewingFacts::of(doc->myDesign());
    const QString line = doc->patternSewingText();
    EXPECT_TRUE(line.startsWith("Sewing: about " + QString::fromStdString(VDLSewingFacts::durationText(flower.minutesAt(600))) +
                                " at 600 stitches/min"))
        << line.toStdString();
    EXPECT_TRUE(line.contains(QString::fromStdString(VDLSewingFacts::lengthText(flower.topMM, 0)) + " top"));

    VDLPrintView view(doc->printableDesign());
    VDLRecordingContext page;
    view.drawPage(page, VDLPrintSettings{});
    bool printed = false;
    const std::string time = line.left(line.indexOf("; ")).toStdString();
    for (const auto& op : page.opsOfKind(VDLRecordedOp::Kind::Text)) printed |= op.text == time;
    EXPECT_TRUE(printed);
}

// The thread list shows a thread's code beside its name when its chart has codes, and a tooltip
// with name, code, chart, stitches and thread; numbered colours of a design without a chart
// show their name alone.
TEST_F(DocumentTest, ThreadListShowsCodesAndTooltips) {
    VDLDocument* jef = open(sample("flower.jef"));
    ASSERT_NE(jef, nullptr);
    VDLThreadListView* list = jef->threadList();
    ASSERT_NE(list, nullptr);
    const VDLThread& t = jef->myDesign().threads()[0];
    ASSERT_FALSE(t.key().empty());
    EXPECT_EQ(list->rowText(0), QString::fromStdString(t.key() + "  " + t.name()));
    const QString tip = list->rowToolTip(0);
    EXPECT_TRUE(tip.contains("Code: " + QString::fromStdString(t.key()))) << tip.toStdString();
    EXPECT_TRUE(tip.contains("Chart: ")) << tip.toStdString();
    int64_t sewn = 0;
    for (const VDLStitch& s : jef->myDesign().stitches()) {
        if (s.isColorChange) break;
        sewn += s.isJumpStitch ? 0 : 1;
    }
    EXPECT_TRUE(tip.contains(QStringLiteral("Stitches: %L1").arg(sewn))) << tip.toStdString();

    VDLDocument* dst = open(sample("flower.dst"));
    ASSERT_NE(dst, nullptr);
    EXPECT_EQ(dst->threadList()->rowText(0), QString::fromStdString(dst->myDesign().threads()[0].name()));
    EXPECT_FALSE(dst->threadList()->rowToolTip(0).contains("Code:"));
}

// Every toolbar button has an icon, its text under it and its key in the tooltip, and at the
// default window size nothing is hidden behind the toolbar's overflow button.
TEST_F(DocumentTest, ToolbarShowsEveryCommand) {
    VDLDocument* doc = open(sample("flower.dst"));
    ASSERT_NE(doc, nullptr);
    activate(doc);
    auto* toolbar = doc->window()->findChild<QToolBar*>(QStringLiteral("documentToolbar"));
    ASSERT_NE(toolbar, nullptr);
    EXPECT_EQ(toolbar->toolButtonStyle(), Qt::ToolButtonTextUnderIcon);
    int buttons = 0;
    for (QAction* a : toolbar->actions()) {
        if (a->isSeparator()) continue;
        ++buttons;
        EXPECT_FALSE(a->icon().isNull()) << a->text().toStdString();
        EXPECT_FALSE(a->icon().pixmap(24).isNull()) << a->text().toStdString();
    }
    EXPECT_EQ(buttons, 15);
    EXPECT_TRUE(doc->toolbarAction("delete")->toolTip().contains(
        VDLAppController::instance()->action("delete:")->shortcut().toString(QKeySequence::NativeText)));
    QApplication::processEvents();
    for (QToolButton* b : toolbar->findChildren<QToolButton*>(QStringLiteral("qt_toolbar_ext_button")))
        EXPECT_FALSE(b->isVisible()) << "toolbar " << toolbar->sizeHint().width() << " in " << doc->window()->width();
}
