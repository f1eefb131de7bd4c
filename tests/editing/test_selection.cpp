// Selection and hit testing: rectangle containment, the hit test, block selection, thread
// lookup and the selection rectangle.
#include "EditingTestHelpers.h"

#include <gtest/gtest.h>

using namespace edittest;

namespace {

std::string selectedMask(const VDLDesign& d) {
    std::string out;
    for (const auto& s : d.stitches()) out += s.isSelected ? '1' : '0';
    return out;
}

}  // namespace

TEST(Selection, EmptyDesign) {
    VDLDesign d = makeDesign({});
    EXPECT_EQ(d.indexOfStitchAt({0, 0}, 10), -1);
    EXPECT_FALSE(d.isSelectedAt({0, 0}, 10));
    EXPECT_EQ(d.indexOfThreadAt({0, 0}, 10), -1);
    d.selectAll();
    EXPECT_TRUE(d.selectionActive());
    EXPECT_EQ(d.selectionRect(), VDLMakeRect(65536, 65536, -131072, -131072));
    d.deselectAll();
    EXPECT_FALSE(d.selectionActive());
    EXPECT_EQ(d.selectionRect(), VDLMakeRect(d.xMin(), d.yMin(), d.xMax() - d.xMin(), d.yMax() - d.yMin()));
}

TEST(Selection, AllNoneAndInverse) {
    VDLDesign d = makeDesign({st(1, 0), st(1, 0), st(1, 0)});
    d.stitches()[1].isSelected = true;
    d.invertAll();
    EXPECT_EQ(selectedMask(d), "101");
    EXPECT_TRUE(d.selectionActive());
    d.selectAll();
    EXPECT_EQ(selectedMask(d), "111");
    d.invertAll();  // everything was selected: nothing is now
    EXPECT_EQ(selectedMask(d), "000");
    EXPECT_FALSE(d.selectionActive());
}

TEST(Selection, HitTestComparesSquaredDistanceStrictly) {
    VDLDesign d = makeDesign({st(10, 0)});
    // Perpendicular distance 2, squared 4: a tolerance of 3 is not enough.
    EXPECT_EQ(d.indexOfStitchAt({5, 2}, 3), -1);
    EXPECT_EQ(d.indexOfStitchAt({5, 2}, 4), -1);
    EXPECT_EQ(d.indexOfStitchAt({5, 2}, 4.01f), 0);
    // Beyond the end the distance is taken to the end point, before the start to the start.
    EXPECT_EQ(d.indexOfStitchAt({13, 0}, 9), -1);
    EXPECT_EQ(d.indexOfStitchAt({13, 0}, 9.5f), 0);
    EXPECT_EQ(d.indexOfStitchAt({-2, 0}, 4), -1);
    EXPECT_EQ(d.indexOfStitchAt({-2, 0}, 4.5f), 0);
}

TEST(Selection, HitTestLastStitchWinsAndZeroLengthNeverHits) {
    // 0: (0,0)-(10,0); 1: colour change at (10,0); 2: (10,0)-(10,10); 3: back over stitch 0.
    VDLDesign d = makeDesign({st(10, 0), change(), st(0, 10), jump(0, -10), st(-10, 0)});
    EXPECT_EQ(d.indexOfStitchAt({10, 0}, 0.7f), 4);  // stitches 0, 2, 3 and 4 all touch it
    EXPECT_EQ(d.indexOfStitchAt({10, 5}, 0.7f), 3);  // the jump retraces stitch 2
    EXPECT_EQ(d.indexOfStitchAt({2, 0}, 0.7f), 4);

    VDLDesign lone = makeDesign({st(10, 0), change(), jump(0, 0)});
    EXPECT_EQ(lone.indexOfStitchAt({10, 0}, 0.7f), 0);  // not the colour change nor the null jump
    EXPECT_EQ(lone.indexOfThreadAt({10, 0}, 0.7f), 0);

    // Thread lookup counts the colour changes up to the hit stitch.
    EXPECT_EQ(d.indexOfThreadAt({10, 5}, 0.7f), 1);
    EXPECT_EQ(d.indexOfThreadAt({50, 50}, 0.7f), -1);
    d.stitches()[3].isSelected = true;
    d.stitches()[0].isSelected = true;
    EXPECT_TRUE(d.isSelectedAt({10, 5}, 0.7f));
    EXPECT_FALSE(d.isSelectedAt({5, 0}, 0.7f));  // stitch 4 retraces stitch 0 and wins
}

TEST(Selection, RectangleIsHalfOpen) {
    // Stitch 0 ends at (10,0), stitch 1 at (10,10).
    VDLDesign d = makeDesign({st(10, 0), st(0, 10)});
    d.selectInRect(VDLMakeRect(0, 0, 10, 20), false);  // x = 10 lies on the maximum edge
    EXPECT_EQ(selectedMask(d), "00");
    EXPECT_FALSE(d.selectionActive());
    d.selectInRect(VDLMakeRect(0, 0, 11, 10), false);  // y = 10 lies on the maximum edge
    EXPECT_EQ(selectedMask(d), "10");
    EXPECT_TRUE(d.selectionActive());
    d.deselectAll();
    d.selectInRect(VDLMakeRect(10, 0, 5, 11), false);  // start (0,0) of stitch 0 is outside
    EXPECT_EQ(selectedMask(d), "01");
    d.deselectAll();
    // A rectangle with negative size is standardised first.
    d.selectInRect(VDLMakeRect(11, 11, -11, -11), false);
    EXPECT_EQ(selectedMask(d), "11");
}

TEST(Selection, RectangleUnselectModeThinsAndKeepsTheRest) {
    VDLDesign d = makeDesign({st(10, 0), st(0, 10), st(10, 0)});
    d.selectAll();
    d.selectInRect(VDLMakeRect(0, 0, 11, 5), true);  // only stitch 0 lies inside
    EXPECT_EQ(selectedMask(d), "011");
    EXPECT_TRUE(d.selectionActive());  // stitches outside stay selected and count
    d.selectInRect(VDLMakeRect(-1, -1, 30, 30), true);
    EXPECT_EQ(selectedMask(d), "000");
    EXPECT_FALSE(d.selectionActive());
}

TEST(Selection, ClickSelectsOneStitchAndRecomputesActive) {
    VDLDesign d = makeDesign({st(10, 0), st(0, 10)});
    d.selectStitchAt({10, 5}, 0.7f, false);
    EXPECT_EQ(selectedMask(d), "01");
    EXPECT_TRUE(d.selectionActive());
    d.selectStitchAt({50, 50}, 0.7f, false);  // a miss changes nothing
    EXPECT_EQ(selectedMask(d), "01");
    d.selectStitchAt({10, 5}, 0.7f, true);
    EXPECT_FALSE(d.selectionActive());
}

TEST(Selection, BlockIsTheRunOfOrdinaryStitchesAroundTheHit) {
    // 0,1 ordinary; 2 jump; 3,4 ordinary; 5 colour change; 6 ordinary.
    VDLDesign d = makeDesign({st(10, 0), st(10, 0), jump(0, 50), st(10, 0), st(10, 0), change(), st(0, 10)});
    d.selectBlockAt({25, 50}, 0.7f, false);  // on stitch 3, the first after the jump
    EXPECT_EQ(selectedMask(d), "0001100");
    EXPECT_TRUE(d.selectionActive());

    d.deselectAll();
    d.selectBlockAt({20, 25}, 0.7f, false);  // on the jump itself: the run after it
    EXPECT_EQ(selectedMask(d), "0001100");

    d.deselectAll();
    d.selectBlockAt({40, 55}, 0.7f, false);  // on stitch 6, after the colour change
    EXPECT_EQ(selectedMask(d), "0000001");
    d.selectBlockAt({5, 0}, 0.7f, false);    // adds the first run
    EXPECT_EQ(selectedMask(d), "1100001");
    d.selectBlockAt({40, 55}, 0.7f, true);   // thins again
    EXPECT_EQ(selectedMask(d), "1100000");
    EXPECT_TRUE(d.selectionActive());
}

TEST(Selection, RectangleOfTheSelection) {
    VDLDesign d = makeDesign({st(10, 0), st(5, 20), st(-30, 0), st(0, -40)});
    // Nothing active: the design bounds.
    EXPECT_EQ(d.selectionRect(), VDLMakeRect(-15, -20, 30, 40));
    // Start and end points of the selected stitches count; stitch 1 runs (10,0)-(15,20).
    d.stitches()[1].isSelected = true;
    d.setSelectionActive(true);
    EXPECT_EQ(d.selectionRect(), VDLMakeRect(10, 0, 5, 20));
    // A stale flag with nothing selected gives the inverted rectangle centred on (0, 0).
    d.stitches()[1].isSelected = false;
    EXPECT_EQ(d.selectionRect(), VDLMakeRect(65536, 65536, -131072, -131072));
}
