// The canvas driven through real mouse and key events: mouse modes, the one-step selection drag,
// thread picking, the contextual menu, measuring, playback and the drag file name.
#include "TestSupport.h"
#include "VDLDesignView.h"
#include "VDLDesignViewDelegate.h"
#include "VDLMeasurementView.h"
#include "VDLNotificationCenter.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QFile>
#include <QImageReader>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// The document side of the canvas: records what the view asks for; the move is undoable the
// way the document's is (a snapshot per call), so the undo stack can be counted.
struct FakeDocument : VDLDesignViewDelegate {
    VDLDesign* design = nullptr;
    int movesWithSnapshot = 0;
    int movesWithoutSnapshot = 0;
    std::vector<VDLDesign> undoStack;
    std::vector<int> shownThreads;  // -1 = showAllThreads
    std::vector<std::string> actions;
    int toolbarUpdates = 0;

    void showThread(int index) override { shownThreads.push_back(index); }
    void showAllThreads() override { shownThreads.push_back(-1); }
    void updateView() override {}
    void updateToolbar() override { ++toolbarUpdates; }
    void moveByVector(double dx, double dy, std::optional<VDLDesign> oldDesign) override {
        if (oldDesign) {
            ++movesWithSnapshot;
            undoStack.push_back(std::move(*oldDesign));
        } else {
            ++movesWithoutSnapshot;
            undoStack.push_back(design->copy());
        }
        design->moveSelectionByVector(VDLPoint{dx, dy});
    }
    void performAction(const char* name, QObject*) override { actions.emplace_back(name); }
};

// Two blocks of ten stitches: y = 0 for x = 10..100, then a colour change and y = 50 back from
// x = 100 to 10.
VDLDesign twoRows() {
    std::vector<VDLStitch> s;
    for (int i = 0; i < 10; ++i) s.emplace_back(10.0f, 0.0f, false, false);
    s.emplace_back(0.0f, 50.0f, false, true);
    for (int i = 0; i < 9; ++i) s.emplace_back(-10.0f, 0.0f, false, false);
    return makeDesign(s);
}

// A canvas outside a scroll view: one pixel per design unit, so design points are exact.
struct Canvas {
    VDLDesign design = twoRows();
    FakeDocument doc;
    VDLDesignView view;
    Canvas() {
        doc.design = &design;
        view.setDesign(&design);
        view.setDelegate(&doc);
    }
    void send(QEvent::Type type, VDLPoint p, Qt::MouseButton button, Qt::KeyboardModifiers mods = {}) {
        const QPointF w = view.widgetPointAt(p);
        const Qt::MouseButtons buttons = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::MouseButtons(button);
        QMouseEvent e(type, w, view.mapToGlobal(w), button, buttons, mods);
        QApplication::sendEvent(&view, &e);
    }
    void drag(std::initializer_list<VDLPoint> path, Qt::KeyboardModifiers mods = {}) {
        const VDLPoint* p = path.begin();
        send(QEvent::MouseButtonPress, *p, Qt::LeftButton, mods);
        for (++p; p != path.end(); ++p) send(QEvent::MouseMove, *p, Qt::LeftButton, mods);
        send(QEvent::MouseButtonRelease, *(path.end() - 1), Qt::LeftButton, mods);
    }
    void click(VDLPoint p, Qt::KeyboardModifiers mods = {}) { drag({p}, mods); }
    std::vector<bool> selected() const {
        std::vector<bool> out;
        for (const auto& s : design.stitches()) out.push_back(s.isSelected);
        return out;
    }
};

}  // namespace

TEST(DesignView, CanvasIsASquareOfAtLeast300mmAroundTheOrigin) {
    VDLDesignView view;
    VDLDesign small = twoRows();  // 100 x 50 units
    view.setDesign(&small);
    EXPECT_EQ(view.bounds(), VDLMakeRect(-1500, -1500, 3000, 3000));
    VDLDesign big = makeDesign({VDLStitch(-1000, -500, false, false), VDLStitch(2000, 1000, false, false)});
    view.setDesign(&big);
    EXPECT_EQ(view.bounds(), VDLMakeRect(-4000, -4000, 8000, 8000));  // 4 x the larger side
    EXPECT_EQ(view.width(), 8000);
}

// Rubber band selects what it encloses; a plain click elsewhere clears it; Shift-click in stitch
// mode unselects one stitch and keeps the rest; Ctrl keeps the selection while adding.
TEST(DesignView, SelectionModes) {
    Canvas c;
    c.view.setSelectionMode(VDLDesignView::RectangleMode);
    c.drag({{-5, -5}, {40, 20}, {55, 20}});
    auto sel = c.selected();
    EXPECT_EQ(std::count(sel.begin(), sel.end(), true), 5);  // x = 10..50 on the first row
    EXPECT_TRUE(sel[0] && sel[4] && !sel[5]);
    EXPECT_EQ(c.view.selectionRect(), VDLRect{});  // the band is gone after mouse-up

    c.click({500, 500});
    EXPECT_FALSE(c.design.selectionActive());

    c.view.setSelectionMode(VDLDesignView::BlockMode);
    c.click({40, 50});  // the second block
    sel = c.selected();
    EXPECT_FALSE(sel[3]);
    EXPECT_TRUE(sel[12] && sel[19]);

    c.design.selectAll();
    c.view.setSelectionMode(VDLDesignView::StitchMode);
    c.click({45, 0}, Qt::ShiftModifier);  // on stitch 4 (from 40 to 50)
    sel = c.selected();
    EXPECT_FALSE(sel[4]);
    EXPECT_EQ(std::count(sel.begin(), sel.end(), true), int(sel.size()) - 1);
    c.click({75, 0}, Qt::ControlModifier);  // adds to the selection without clearing it
    sel = c.selected();
    EXPECT_EQ(std::count(sel.begin(), sel.end(), true), int(sel.size()) - 1);
    EXPECT_GE(c.doc.toolbarUpdates, 4);
}

// A selection drag is one undo step whatever the number of mouse events; a click that moves
// less than 3 units moves nothing; Shift keeps the move on the axis it started on.
TEST(DesignView, SelectionDragIsOneUndoStep) {
    Canvas c;
    c.view.setSelectionMode(VDLDesignView::StitchMode);
    c.design.selectAll();
    const auto before = absolutePositions(c.design);

    c.drag({{45, 0}, {46, 1}, {47, 0}}, Qt::ControlModifier);  // 2 units: a click
    EXPECT_EQ(c.doc.movesWithSnapshot + c.doc.movesWithoutSnapshot, 0);
    EXPECT_EQ(absolutePositions(c.design).back().x, before.back().x);

    c.drag({{45, 0}, {55, 0}, {65, 10}, {75, 20}});
    EXPECT_EQ(c.doc.movesWithSnapshot, 1);
    EXPECT_EQ(c.doc.movesWithoutSnapshot, 0);
    ASSERT_EQ(c.doc.undoStack.size(), 1u);
    EXPECT_EQ(absolutePositions(c.doc.undoStack[0]), before);  // undo restores the state before the drag
    const auto after = absolutePositions(c.design);
    EXPECT_DOUBLE_EQ(after.back().x, before.back().x + 30);
    EXPECT_DOUBLE_EQ(after.back().y, before.back().y + 20);
    EXPECT_FALSE(c.view.isDragging());
    EXPECT_EQ(c.view.cursor().shape(), c.view.currentCursor());

    // Shift: the first events run mostly along X, so Y stays put for the whole drag.
    const auto start = absolutePositions(c.design);
    c.drag({{85, 20}, {91, 21}, {101, 35}, {111, 60}}, Qt::ShiftModifier);
    const auto moved = absolutePositions(c.design);
    EXPECT_DOUBLE_EQ(moved.back().x, start.back().x + 26);
    EXPECT_DOUBLE_EQ(moved.back().y, start.back().y);
    EXPECT_EQ(c.doc.movesWithSnapshot, 2);

    // Arrow keys move the selection through the undoable move, one unit per press.
    QKeyEvent right(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier);
    QApplication::sendEvent(&c.view, &right);
    EXPECT_EQ(c.doc.movesWithoutSnapshot, 1);
    EXPECT_DOUBLE_EQ(absolutePositions(c.design).back().x, moved.back().x + 1);
}

TEST(DesignView, ThreadPickingAndContextualMenu) {
    Canvas c;  // selection mode -1: thread picking
    c.design.selectAll();
    c.click({40, 50});
    c.click({700, 700});
    EXPECT_EQ(c.doc.shownThreads, (std::vector<int>{1, -1}));
    EXPECT_FALSE(c.design.selectionActive());

    // Secondary click: selects the stitch under the point alone and offers the menu.
    c.view.setSelectionMode(VDLDesignView::RectangleMode);
    c.send(QEvent::MouseButtonPress, {25, 0}, Qt::RightButton);
    auto sel = c.selected();
    EXPECT_EQ(std::count(sel.begin(), sel.end(), true), 1);
    EXPECT_TRUE(sel[2]);
    QMenu* menu = c.view.contextMenu();
    ASSERT_NE(menu, nullptr);
    QStringList titles;
    for (QAction* a : menu->actions()) titles << (a->isSeparator() ? "-" : a->text());
    EXPECT_EQ(titles, (QStringList{"Convert to Stitches", "Convert to Jumps", "-", "Center Design", "Add Basting", "-",
                                   "Insert Color Change"}));
    EXPECT_TRUE(menu->actions()[0]->isEnabled());
    EXPECT_TRUE(menu->actions()[3]->isEnabled());  // the design's centre is at (55, 25)
    EXPECT_EQ(menu->actions()[0]->data().toString(), "{25, 0}");
    menu->actions()[1]->trigger();
    EXPECT_EQ(c.doc.actions, (std::vector<std::string>{"convertSelectionToJumps"}));
    EXPECT_FALSE(c.design.selectionActive());
    menu->close();

    // The left mouse-up that follows does nothing (no rubber-band selection, no deselection).
    c.design.selectAll();
    c.send(QEvent::MouseButtonRelease, {25, 0}, Qt::LeftButton);
    EXPECT_TRUE(c.design.selectionActive());

    // Without a selection the conversions are disabled.
    c.send(QEvent::MouseButtonPress, {900, 900}, Qt::RightButton);
    EXPECT_FALSE(c.view.contextMenu()->actions()[0]->isEnabled());
    EXPECT_FALSE(c.view.contextMenu()->actions()[6]->isEnabled());
    EXPECT_TRUE(c.view.contextMenu()->actions()[4]->isEnabled());
    c.view.contextMenu()->close();
}

TEST(DesignView, MeasuringShowsDistancesInMillimetres) {
    Canvas c;
    c.view.setSelectionMode(VDLDesignView::MeasureMode);
    c.send(QEvent::MouseButtonPress, {0, 0}, Qt::LeftButton);
    ASSERT_NE(c.view.measureView(), nullptr);
    c.send(QEvent::MouseMove, {100, 0}, Qt::LeftButton);
    VDLMeasurementView* m = c.view.measureView();
    EXPECT_EQ(m->firstLine(), "dx: 10.0 mm dy: 0.0 mm");
    EXPECT_EQ(m->lastLine(), "Distance: 10.0 mm");
    EXPECT_TRUE(m->geometry().contains(c.view.widgetPointAt({0, 0}).toPoint()));
    EXPECT_TRUE(m->geometry().contains(c.view.widgetPointAt({100, 0}).toPoint()));
    c.send(QEvent::MouseMove, {30, -40}, Qt::LeftButton);
    EXPECT_EQ(m->firstLine(), "dx: 3.0 mm dy: -4.0 mm");
    EXPECT_EQ(m->lastLine(), "Distance: 5.0 mm");
    c.send(QEvent::MouseButtonRelease, {30, -40}, Qt::LeftButton);
    EXPECT_EQ(c.view.measureView(), nullptr);
    EXPECT_FALSE(c.design.selectionActive());
}

TEST(DesignView, JpegFileNameForDrops) {
    QSet<QString> taken;
    auto exists = [&](const QString& n) { return taken.contains(n); };
    EXPECT_EQ(VDLDesignView::promisedFileName("rose.dst", exists), "rose.jpg");
    taken = {"rose.jpg", "rose-1.jpg"};
    EXPECT_EQ(VDLDesignView::promisedFileName("rose.dst", exists), "rose-2.jpg");
    EXPECT_EQ(VDLDesignView::promisedFileName("my.rose.pes", exists), "my.rose.jpg");
    taken = {"rose.jpg"};
    for (int i = 1; i <= 99; ++i) taken.insert(QString("rose-%1.jpg").arg(i));
    EXPECT_EQ(VDLDesignView::promisedFileName("rose", exists), "");  // all taken: no file

    // Into a real folder that holds the plain name and -1: the JPEG is written as -2.
    QTemporaryDir dir;
    for (const char* n : {"rose.jpg", "rose-1.jpg"}) {
        QFile f(dir.filePath(n));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    }
    Canvas c;
    c.design.setDesignName("rose.dst");
    const QString path = c.view.writePromisedFile(dir.path());
    EXPECT_EQ(path, dir.filePath("rose-2.jpg"));
    QImageReader reader(path);
    EXPECT_EQ(reader.format(), "jpeg");
    const int w = c.design.designWidth() + 20, h = c.design.designHeight() + 20;  // 10 units around
    EXPECT_EQ(reader.size(), QSize(w, h));
    EXPECT_EQ(QFileInfo(dir.filePath("rose.jpg")).size(), 0);  // existing files untouched

    // The drag image: fitted into 100 x 100 with the given transparency.
    const QImage icon = c.view.imageWithTransparency(0.5, QSizeF(100, 100));
    EXPECT_EQ(icon.size(), QSize(100, int(std::lround(h * 100.0 / w))));
    EXPECT_NEAR(icon.pixelColor(2, 2).alphaF(), 0.5, 0.01);
}

// Playback grows the display range by the step per tick and posts its notifications; it stops
// just short of the end; stopping shows the whole design again.
// Every drag offers "name.jpg", in a folder of its own; the folder of a drag goes when the next
// one starts, so a hundred drags leave one file and still offer one.
TEST(DesignView, EachDragOffersThePlainNameInAFreshFolder) {
    Canvas c;
    c.design.setDesignName("rose.dst");
    QString previous;
    for (int i = 0; i < 120; ++i) {
        const QString path = c.view.writeDragFile();
        ASSERT_EQ(QFileInfo(path).fileName(), "rose.jpg") << "drag " << i;
        ASSERT_TRUE(QFileInfo(path).isFile());
        if (!previous.isEmpty()) {
            EXPECT_NE(QFileInfo(previous).path(), QFileInfo(path).path());
            EXPECT_FALSE(QFileInfo::exists(QFileInfo(previous).path()));
        }
        previous = path;
    }
    // All drag folders of the run live in one folder, which holds only the last drag's now.
    const QDir run = QFileInfo(QFileInfo(previous).path()).dir();
    EXPECT_EQ(run.entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 1);
}

TEST(DesignView, PlaybackSteps) {
    Canvas c;
    int updates = 0, ends = 0;
    auto& nc = VDLNotificationCenter::defaultCenter();
    auto u = QObject::connect(&nc, &VDLNotificationCenter::updateAnimation, [&](QObject* o) {
        EXPECT_EQ(o, &c.view);
        ++updates;
    });
    auto e = QObject::connect(&nc, &VDLNotificationCenter::endAnimation, [&](QObject*) { ++ends; });
    EXPECT_EQ(c.view.animationStep(), 5);
    EXPECT_DOUBLE_EQ(c.view.animationDelay(), 0.1);
    c.view.setAnimationProgress(0.0);
    EXPECT_EQ(c.design.displayRange(), (VDLRange{0, 0}));
    EXPECT_DOUBLE_EQ(c.view.animationProgress(), 0.0);
    c.view.startAnimation();
    EXPECT_TRUE(c.view.isAnimating());
    for (int i = 0; i < 5; ++i) c.view.nextAnimationStep();
    EXPECT_EQ(updates, 3);  // 5, 10, 15; 20 would reach the end
    EXPECT_EQ(ends, 2);
    EXPECT_EQ(c.design.displayRange(), (VDLRange{0, 15}));
    EXPECT_DOUBLE_EQ(c.view.animationProgress(), 0.75);
    c.view.pauseAnimation();
    EXPECT_FALSE(c.view.isAnimating());
    c.view.setAnimationProgress(0.5);
    EXPECT_EQ(c.design.displayRange(), (VDLRange{0, 10}));
    c.view.stopAnimation();
    EXPECT_EQ(c.design.displayRange(), (VDLRange{0, 20}));
    QObject::disconnect(u);
    QObject::disconnect(e);
}

TEST(DesignView, ArchivedBackgroundColour) {
    const QByteArray plist =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict>"
        "<key>r</key><real>1</real><key>g</key><real>0.5</real><key>b</key><real>0</real></dict></plist>";
    const QColor c = VDLDecodeArchivedColor(plist, Qt::black);
    EXPECT_NEAR(c.redF(), 1.0, 1e-3);
    EXPECT_NEAR(c.greenF(), 0.5, 1e-3);
    EXPECT_NEAR(c.blueF(), 0.0, 1e-3);
    EXPECT_EQ(VDLDecodeArchivedColor("not a plist", Qt::blue), QColor(Qt::blue));
    EXPECT_EQ(VDLDecodeArchivedColor(QByteArray(), Qt::blue), QColor(Qt::blue));
}
