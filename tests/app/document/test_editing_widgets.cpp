// The editing dialogs' rules, the colour panel and the thread list, driven as widgets on the
// offscreen platform with a small stand-in for the document.
#include "EditingTestSupport.h"
#include "VDLColorPanel.h"
#include "VDLEditDialog.h"
#include "VDLThreadListDelegate.h"
#include "VDLThreadListView.h"

#include <QAction>
#include <QElapsedTimer>
#include <QMenu>

#include <cstdio>
#include <cstring>

#include <gtest/gtest.h>

namespace {
struct FakeDocument : VDLThreadListDelegate {
    VDLDesign design;
    VDLThreadListView* list = nullptr;
    std::vector<std::pair<int, int>> moves;
    std::vector<int> combines;
    VDLDesign& myDesign() override { return design; }
    void showThread(int i) override {
        for (int j = 0; j < int(design.threads().size()); ++j) design.setIsShown(j == i, j);
        list->selectThreadRow(i);
    }
    void showAllThreads() override {
        for (int j = 0; j < int(design.threads().size()); ++j) design.setIsShown(true, j);
        list->deselectThreadRows();
    }
    void moveThreadFromIndex(int from, int to) override { moves.emplace_back(from, to); }
    void deleteThreadWithIndex(int i) override { combines.push_back(i); }
};

std::vector<bool> enabledItems(QMenu* menu) {
    std::vector<bool> out;
    for (QAction* a : menu->actions())
        if (!a->isSeparator()) out.push_back(a->isEnabled());
    return out;
}
}  // namespace

// Values that change nothing are refused by the rules; the dialog's clockwise rotation becomes
// the model's counter-clockwise one; the steppers follow the measurement unit.
TEST(EditingDialogs, NothingToDoRulesAndSteppers) {
    EXPECT_FALSE(VDLEditDialog::moveVector(0.0, 0.0));
    EXPECT_EQ(*VDLEditDialog::moveVector(1.5, -2.0), std::make_pair(15.0, -20.0));

    EXPECT_FALSE(VDLEditDialog::resizeFactor(0.996));
    EXPECT_FALSE(VDLEditDialog::resizeFactor(1.004));
    ASSERT_TRUE(VDLEditDialog::resizeFactor(0.994));
    EXPECT_FLOAT_EQ(*VDLEditDialog::resizeFactor(0.994), 0.994f);

    EXPECT_EQ(VDLEditDialog::modelDegrees(90), 270);
    EXPECT_EQ(VDLEditDialog::modelDegrees(-90), 90);
    EXPECT_EQ(VDLEditDialog::modelDegrees(450), 270);
    EXPECT_FALSE(VDLEditDialog::modelDegrees(360));
    EXPECT_FALSE(VDLEditDialog::modelDegrees(-720));
    EXPECT_FALSE(VDLEditDialog::modelDegrees(0));

    EXPECT_TRUE(VDLEditDialog::bastingAccepted(5.0, 0.0));
    EXPECT_FALSE(VDLEditDialog::bastingAccepted(0.0, 1.0));
    EXPECT_FALSE(VDLEditDialog::bastingAccepted(5.0, -0.1));

    EXPECT_DOUBLE_EQ(VDLEditDialog::stepIncrement(0), 1.0);
    EXPECT_DOUBLE_EQ(VDLEditDialog::stepIncrement(1), 1.016);
    EXPECT_DOUBLE_EQ(VDLEditDialog::stepIncrement(2), 1.5875);

    QWidget parent;
    VDLEditDialog resize(VDLEditDialog::Kind::Resize, &parent);
    EXPECT_EQ(resize.windowModality(), Qt::WindowModal);
    resize.setResizePercent(0.994);
    EXPECT_NEAR(resize.resizePercent(), 0.994, 1e-9);
    VDLEditDialog rotate(VDLEditDialog::Kind::Rotate, &parent);
    rotate.setRotateDegree(-90);
    EXPECT_EQ(rotate.rotateDegree(), -90);
}

// The colour panel offers the fifteen thread charts in order, lists swatch, code and name,
// finds entries by code or by name, and sends a pick to its delegate.
TEST(ColorPanel, ListsSearchAndPick) {
    VDLColorPanel* panel = VDLColorPanel::sharedColorPanel();
    EXPECT_EQ(panel, VDLColorPanel::sharedColorPanel());
    ASSERT_EQ(VDLColorPanel::paletteNames().size(), 15);
    EXPECT_EQ(VDLColorPanel::paletteNames().front(), "WonderFil Splendor");
    EXPECT_EQ(VDLColorPanel::paletteNames().back(), "Ackermann Isacord");

    panel->selectPalette("Janome");
    EXPECT_EQ(panel->currentPalette(), "Janome");
    panel->setSearchText("");
    const int all = panel->entryCount();
    ASSERT_GT(all, 10);
    panel->setSearchText("002");
    ASSERT_GE(panel->entryCount(), 1);
    EXPECT_TRUE(panel->entryCode(0).contains("002"));
    panel->setSearchText("black");
    ASSERT_GE(panel->entryCount(), 1);
    EXPECT_LT(panel->entryCount(), all);
    for (int i = 0; i < panel->entryCount(); ++i) EXPECT_TRUE(panel->entryName(i).contains("Black", Qt::CaseInsensitive));

    QColor received;
    auto c = QObject::connect(panel, &VDLColorPanel::colorPicked, [&](const QColor& q) { received = q; });
    panel->pickEntry(0);
    EXPECT_TRUE(received.isValid());
    EXPECT_LT(received.lightnessF(), 0.3);
    panel->pickColor(QColor(10, 200, 30, 40));
    EXPECT_EQ(received.alpha(), 255);  // no alpha
    EXPECT_EQ(received.green(), 200);
    QObject::disconnect(c);
    panel->setSearchText("");
}

// Rows, swatches and pictures follow the design; clicking shows one thread and clicking the
// shown row shows all again; drops translate into block moves by the above-the-row rule;
// the contextual menu's items follow the row.
TEST(ThreadList, RowsClicksDropsAndMenu) {
    FakeDocument doc;
    doc.design = makeBlockDesign(6, 30);
    VDLThreadListView list;
    doc.list = &list;
    list.setParentDocument(&doc);
    list.resize(240, 400);
    list.show();
    list.updateThreadList();
    ASSERT_EQ(list.rowCount(), 6);
    EXPECT_EQ(list.rowHeight(3), 64);
    ASSERT_TRUE(list.waitForIcons());
    const QImage icon = list.threadIcon(2);
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon.width(), VDLThreadListView::iconPixels(list.devicePixelRatioF()));
    int painted = 0;
    for (int y = 0; y < icon.height(); ++y)
        for (int x = 0; x < icon.width(); ++x) painted += qAlpha(icon.pixel(x, y)) > 0;
    EXPECT_GT(painted, 10);

    list.clickRow(2);
    EXPECT_EQ(list.selectedThreadRow(), 2);
    EXPECT_EQ(doc.design.indexOfShownThread(), 2);
    list.clickRow(4);
    EXPECT_EQ(doc.design.indexOfShownThread(), 4);
    list.clickRow(4);
    EXPECT_EQ(list.selectedThreadRow(), -1);
    EXPECT_TRUE(doc.design.isShownOfAllThreads());

    EXPECT_EQ(VDLThreadListView::dropTargetIndex(2, 5), 4);
    EXPECT_EQ(VDLThreadListView::dropTargetIndex(5, 2), 2);
    EXPECT_EQ(VDLThreadListView::dropTargetIndex(3, 3), -1);
    EXPECT_EQ(VDLThreadListView::dropTargetIndex(3, 4), -1);  // just below itself
    list.dropRow(2, 5);
    list.dropRow(5, 2);
    list.dropRow(1, 1);
    list.dropRow(0, 6);  // below the last row
    EXPECT_EQ(doc.moves, (std::vector<std::pair<int, int>>{{2, 4}, {5, 2}, {0, 5}}));

    std::unique_ptr<QMenu> menu(list.contextMenuForRow(0));
    EXPECT_EQ(list.rightClickedRow(), 0);
    EXPECT_EQ(enabledItems(menu.get()), (std::vector<bool>{false, false, true, true, false}));
    menu.reset(list.contextMenuForRow(5));
    EXPECT_EQ(enabledItems(menu.get()), (std::vector<bool>{true, true, false, false, true}));
    menu.reset(list.contextMenuForRow(-1));
    EXPECT_EQ(enabledItems(menu.get()), (std::vector<bool>(5, false)));
    menu.reset(list.contextMenuForRow(3));
    doc.moves.clear();
    for (QAction* a : menu->actions())
        if (!a->isSeparator()) a->trigger();
    EXPECT_EQ(doc.moves, (std::vector<std::pair<int, int>>{{3, 0}, {3, 2}, {3, 4}, {3, 5}}));
    EXPECT_EQ(doc.combines, std::vector<int>{3});

    doc.design = makeBlockDesign(1, 30);
    list.updateThreadList();
    menu.reset(list.contextMenuForRow(0));
    EXPECT_EQ(enabledItems(menu.get()), (std::vector<bool>(5, false)));
}

// A design of 200 thread blocks (with jumps inside them): every picture is drawn from the part
// of the design where its block starts, and is exactly the picture the whole design gives for
// that thread; all of them arrive while the window goes on.
TEST(ThreadList, TwoHundredBlocksDrawnFromTheirOwnPartsExactly) {
    FakeDocument doc;
    doc.design = makeBlockDesign(200, 400);
    std::vector<VDLStitch> stitches = doc.design.stitches();
    for (size_t k = 0; k < stitches.size(); ++k)
        if (k % 400 == 1 || k % 97 == 0) stitches[k].isJumpStitch = true;
    doc.design.setStitches(std::move(stitches));
    doc.design.recomputeBounds();
    VDLThreadListView list;
    doc.list = &list;
    list.setParentDocument(&doc);
    list.resize(240, 400);
    list.show();
    QElapsedTimer t;
    t.start();
    list.updateThreadList();
    EXPECT_LT(t.elapsed(), 1000) << "the list's rows are there at once; the pictures follow";
    ASSERT_TRUE(list.waitForIcons(60000));
    std::printf("200 pictures in %lld ms\n", static_cast<long long>(t.elapsed()));
    const int side = VDLThreadListView::iconPixels(list.devicePixelRatioF());
    VDLDesign whole = doc.design.copy();
    for (int i = 0; i < 200; ++i) {
        const QImage direct = VDLThreadListView::renderThreadIcon(whole, i, side);
        const QImage shown = list.threadIcon(i).convertToFormat(QImage::Format_ARGB32_Premultiplied);
        ASSERT_EQ(shown.size(), direct.size());
        bool same = true;
        for (int y = 0; y < side && same; ++y)
            same = std::memcmp(shown.constScanLine(y), direct.constScanLine(y), size_t(side) * 4) == 0;
        EXPECT_TRUE(same) << "thread " << i;
    }
}
