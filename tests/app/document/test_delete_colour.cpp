// Deleting every stitch of one colour as a user does it: the design read from a DST file, the
// block tool clicked on each run of that colour (Ctrl adds the next run), Delete. The colour's
// block and its thread go, the other threads stay in order, and the info line counts one colour
// less; at the start, in the middle and at the end, for short blocks and blocks split by jumps.
#include "DocumentTestSupport.h"
#include "VDLDesignView.h"
#include "VDLThreadListView.h"

#include <QTest>

namespace {

struct Run {
    bool jump;   // a jump of (dx, dy), or N stitches of (dx, dy) each
    int n;
    float dx, dy;
};
using Block = std::vector<Run>;

// The blocks one after the other, a colour change (moving by CHANGEMOVE) between them.
VDLDesign blocksDesign(const std::vector<Block>& blocks, VDLPoint changeMove = {0, 0}) {
    std::vector<VDLStitch> stitches;
    for (size_t b = 0; b < blocks.size(); ++b) {
        if (b > 0) stitches.emplace_back(float(changeMove.x), float(changeMove.y), false, true);
        for (const Run& r : blocks[b])
            for (int i = 0; i < (r.jump ? 1 : r.n); ++i) stitches.emplace_back(r.dx, r.dy, r.jump, false);
    }
    return makeDesign(stitches);
}

// The block index of every record (a colour change belongs to the block it opens).
std::vector<int> blockOf(const VDLDesign& d) {
    std::vector<int> out;
    int block = 0;
    for (const VDLStitch& s : d.stitches()) {
        block += s.isColorChange ? 1 : 0;
        out.push_back(block);
    }
    return out;
}

// Where the needle goes down for every sewing stitch outside block SKIP.
std::vector<VDLPoint> sewnPoints(const VDLDesign& d, int skip) {
    std::vector<VDLPoint> out;
    const std::vector<int> blocks = blockOf(d);
    double x = 0, y = 0;
    for (size_t i = 0; i < d.stitches().size(); ++i) {
        const VDLStitch& s = d.stitches()[i];
        x += s.deltaX;
        y += s.deltaY;
        if (blocks[i] != skip && !s.isJumpStitch && !s.isColorChange && !s.isNullStitch()) out.push_back(VDLPoint{x, y});
    }
    return out;
}

// Clicks with the block tool on the first sewing stitch of every run of block K, as a user
// zoomed in on it would; the first click replaces the selection, the others add with Ctrl.
void clickRunsOfBlock(VDLDocument* doc, int k) {
    VDLDesignView* canvas = doc->patternView();
    const VDLDesign& d = doc->myDesign();
    const std::vector<int> blocks = blockOf(d);
    std::vector<VDLPoint> clicks;
    double x = 0, y = 0;
    bool inRun = false;
    for (size_t i = 0; i < d.stitches().size(); ++i) {
        const VDLStitch& s = d.stitches()[i];
        const bool sews = !s.isJumpStitch && !s.isColorChange;
        if (blocks[i] == k && sews && !inRun && (s.deltaX != 0 || s.deltaY != 0))
            clicks.push_back(VDLPoint{x + s.deltaX / 2.0, y + s.deltaY / 2.0});
        inRun = blocks[i] == k && sews && (inRun || s.deltaX != 0 || s.deltaY != 0);
        x += s.deltaX;
        y += s.deltaY;
    }
    ASSERT_FALSE(clicks.empty());
    doc->setViewScaling(1500);
    bool first = true;
    for (const VDLPoint& p : clicks) {
        canvas->scrollPointToCentre(p);
        QTest::mouseClick(canvas, Qt::LeftButton, first ? Qt::NoModifier : Qt::ControlModifier,
                          canvas->widgetPointAt(p).toPoint());
        first = false;
    }
}

}  // namespace

TEST_F(DocumentTest, DeletingEveryStitchOfAColourDropsItsBlockAndThread) {
    const Block green{{true, 1, -300, -300}, {false, 10, 20, 0}};
    // Apart from each other, and around the origin (a DST design spans it).
    const Block red{{true, 1, 0, 350}, {false, 8, 0, 20}};
    const Block firstRed{{true, 1, -300, -100}, {false, 8, 0, 20}};
    const Block shortRed{{true, 1, 0, 350}, {false, 1, 0, 20}};
    const Block splitRed{{true, 1, 0, 350}, {false, 3, 0, 20}, {true, 1, 80, 0}, {false, 3, 0, 20}};
    const Block farSplitRed{{true, 1, 400, 350}, {false, 3, 0, 20}, {true, 1, 80, 0}, {false, 3, 0, 20}};
    const Block blue{{true, 1, 400, 0}, {false, 10, -20, 0}};
    struct Case {
        const char* name;
        std::vector<Block> blocks;
        int deleted;
        VDLPoint changeMove;
        int defaultThreads = 0;  // the thread-menu palette applied when the file opens
    };
    const std::vector<Case> cases = {
        {"middle block", {green, red, blue}, 1, {0, 0}},
        {"short block", {green, shortRed, blue}, 1, {0, 0}},
        {"block of jumps and two runs", {green, splitRed, blue}, 1, {0, 0}},
        {"first block", {green, red, blue}, 0, {0, 0}},
        {"last block", {green, red, blue}, 2, {0, 0}},
        {"colour changes that move", {green, splitRed, blue}, 1, {30, 30}},
        {"first of two", {firstRed, blue}, 0, {0, 0}},
        {"last of two", {green, farSplitRed}, 1, {0, 0}},
        {"named colours from a default palette", {green, red, blue}, 1, {0, 0}, 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        VDLDefaults::standard().setValue(QStringLiteral("DefaultThreads"), c.defaultThreads);
        VDLDocument* doc = open(write(blocksDesign(c.blocks, c.changeMove), "colours.dst"));
        ASSERT_NE(doc, nullptr);
        const std::vector<VDLThread> before = doc->myDesign().threads();
        ASSERT_EQ(before.size(), c.blocks.size());
        const std::vector<VDLPoint> positionsBefore = absolutePositions(doc->myDesign());
        const std::vector<VDLPoint> sewnBefore = sewnPoints(doc->myDesign(), c.deleted);
        doc->selectSection(nullptr);
        clickRunsOfBlock(doc, c.deleted);
        // The block tool took every sewing stitch of that colour and nothing of the others.
        const std::vector<int> blocks = blockOf(doc->myDesign());
        for (size_t i = 0; i < blocks.size(); ++i) {
            const VDLStitch& s = doc->myDesign().stitches()[i];
            if (blocks[i] != c.deleted) {
                EXPECT_FALSE(s.isSelected) << "record " << i;
            } else if (!s.isJumpStitch && !s.isColorChange && !s.isNullStitch()) {
                EXPECT_TRUE(s.isSelected) << "record " << i;
            }
        }

        doc->deleteSelected(nullptr);
        const VDLDesign& after = doc->myDesign();
        ASSERT_EQ(after.threads().size(), before.size() - 1);
        size_t changes = 0;
        for (const VDLStitch& s : after.stitches()) changes += s.isColorChange ? 1 : 0;
        EXPECT_EQ(changes + 1, after.threads().size());
        for (size_t t = 0, u = 0; t < before.size(); ++t) {
            if (int(t) == c.deleted) continue;
            EXPECT_EQ(after.threads()[u++].key(), before[t].key());
        }
        EXPECT_TRUE(doc->patternColorsText().startsWith(QStringLiteral("Colors: %1,").arg(before.size() - 1)))
            << doc->patternColorsText().toStdString();
        EXPECT_EQ(doc->threadList()->rowCount(), int(before.size() - 1));
        // The other colours still sew where they did.
        const std::vector<VDLPoint> sewnAfter = sewnPoints(after, -1);
        ASSERT_EQ(sewnAfter.size(), sewnBefore.size());
        for (size_t i = 0; i < sewnAfter.size(); ++i) {
            EXPECT_NEAR(sewnAfter[i].x, sewnBefore[i].x, 0.01) << i;
            EXPECT_NEAR(sewnAfter[i].y, sewnBefore[i].y, 0.01) << i;
        }
        doc->undoStack()->undo();
        EXPECT_EQ(doc->myDesign().threads().size(), before.size());
        EXPECT_EQ(absolutePositions(doc->myDesign()), positionsBefore);
        controller()->closeAllDocumentsForTesting();
    }
}

// The bundled samples, each colour in turn: every sewing stitch of the block selected (what the
// block tool leaves after a click on each of its runs), Delete. The colour goes with its thread.
TEST_F(DocumentTest, DeletingEachColourOfTheSamples) {
    for (const char* name : {"flower.dst", "flower.pes", "flower.jef", "flower.exp"}) {
        VDLDocument* doc = open(sample(name));
        ASSERT_NE(doc, nullptr);
        const size_t threads = doc->myDesign().threads().size();
        for (size_t k = 0; k < threads; ++k) {
            SCOPED_TRACE(std::string(name) + " colour " + std::to_string(k));
            std::vector<VDLStitch> stitches = doc->myDesign().stitches();
            const std::vector<int> blocks = blockOf(doc->myDesign());
            for (size_t i = 0; i < stitches.size(); ++i)
                stitches[i].isSelected = blocks[i] == int(k) && !stitches[i].isJumpStitch && !stitches[i].isColorChange;
            VDLDesign selected = doc->myDesign();
            selected.setStitches(stitches);
            selected.setSelectionActive(true);
            doc->setDesign(selected);
            doc->deleteSelected(nullptr);
            EXPECT_EQ(doc->myDesign().threads().size(), threads - 1);
            EXPECT_TRUE(doc->patternColorsText().startsWith(QStringLiteral("Colors: %1,").arg(threads - 1)))
                << doc->patternColorsText().toStdString();
            EXPECT_EQ(doc->threadList()->rowCount(), int(threads - 1));
            doc->undoStack()->undo();
            ASSERT_EQ(doc->myDesign().threads().size(), threads);
        }
        controller()->closeAllDocumentsForTesting();
    }
}
