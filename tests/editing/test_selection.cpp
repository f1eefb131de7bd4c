// Selection and hit testing: the hit test's distance rule, rectangle containment, block
// selection around jumps, thread lookup and the selection rectangle.
#include "EditingTestHelpers.h"

#include <gtest/gtest.h>

using namespace edittest;

namespace {
std::string mask(const VDLDesign& d) {
    std::string out;
    for (const auto& s : d.stitches()) out += s.isSelected ? '1' : '0';
    return out;
}
}  // namespace

TEST(Selection, EmptyDesignAndInverse) {
    VDLDesign empty = makeDesign({});
    EXPECT_EQ(empty.indexOfStitchAt({0, 0}, 10), -1);
    EXPECT_EQ(empty.indexOfThreadAt({0, 0}, 10), -1);
    empty.selectAll();
    EXPECT_TRUE(empty.selectionActive());
    EXPECT_EQ(empty.selectionRect(), VDLMakeRect(65536, 65536, -131072, -131072));

    VDLDesign d = makeDesign({st(1, 0), st(1, 0, true)});
    d.invertAll();
    EXPECT_EQ(mask(d), "10");
    d.selectAll();
    d.invertAll();
    EXPECT_FALSE(d.selectionActive());
}

TEST(Selection, HitTestUsesSquaredDistanceAndTheLastStitchWins) {
    VDLDesign one = makeDesign({st(10, 0)});
    EXPECT_EQ(one.indexOfStitchAt({5, 2}, 4), -1);  // squared distance 4 is not below 4
    EXPECT_EQ(one.indexOfStitchAt({5, 2}, 4.01f), 0);
    EXPECT_EQ(one.indexOfStitchAt({13, 0}, 9), -1);  // past the end: measured to the end point
    EXPECT_EQ(one.indexOfStitchAt({13, 0}, 9.5f), 0);
    EXPECT_EQ(one.indexOfStitchAt({-2, 0}, 4.5f), 0);

    // 0: (0,0)-(10,0); 1: colour change; 2: (10,0)-(10,10); 3: jump back; 4: back over stitch 0.
    VDLDesign d = makeDesign({st(10, 0, true), change(), st(0, 10), jump(0, -10, true), st(-10, 0)});
    EXPECT_EQ(d.indexOfStitchAt({10, 0}, 0.7f), 4);
    EXPECT_EQ(d.indexOfStitchAt({10, 5}, 0.7f), 3);
    EXPECT_EQ(d.indexOfThreadAt({10, 5}, 0.7f), 1);
    EXPECT_TRUE(d.isSelectedAt({10, 5}, 0.7f));
    EXPECT_FALSE(d.isSelectedAt({5, 0}, 0.7f));  // stitch 4 covers the selected stitch 0
    // The zero-length colour change is never hit, not even alone.
    EXPECT_EQ(makeDesign({st(10, 0), change(), jump(0, 0)}).indexOfStitchAt({10, 0}, 0.7f), 0);

    d.selectStitchAt({5, 0}, 0.7f, false);
    EXPECT_EQ(mask(d), "10011");
}

TEST(Selection, RectangleIsHalfOpen) {
    VDLDesign d = makeDesign({st(10, 0), st(0, 10)});  // ends (10,0) and (10,10)
    d.selectInRect(VDLMakeRect(0, 0, 10, 20), false);  // x = 10 on the maximum edge
    EXPECT_EQ(mask(d), "00");
    EXPECT_FALSE(d.selectionActive());
    d.selectInRect(VDLMakeRect(0, 0, 11, 10), false);  // y = 10 on the maximum edge
    EXPECT_EQ(mask(d), "10");
    d.selectInRect(VDLMakeRect(10, 0, 5, 11), false);  // x = 10 on the minimum edge
    EXPECT_EQ(mask(d), "11");
    EXPECT_TRUE(d.selectionActive());
    d.selectInRect(VDLMakeRect(11, 5, -11, -6), true);  // standardised; only stitch 0 inside
    EXPECT_EQ(mask(d), "01");
}

TEST(Selection, BlockIsTheRunOfOrdinaryStitchesAroundTheHit) {
    // 0,1 ordinary; 2 jump to (20,50); 3,4 ordinary; 5 colour change; 6 ordinary.
    VDLDesign d = makeDesign({st(10, 0), st(10, 0), jump(0, 50), st(10, 0), st(10, 0), change(), st(0, 10)});
    d.selectBlockAt({25, 50}, 0.7f, false);  // the first stitch after the jump
    EXPECT_EQ(mask(d), "0001100");
    d.deselectAll();
    d.selectBlockAt({20, 25}, 0.7f, false);  // the jump itself: the run after it
    EXPECT_EQ(mask(d), "0001100");
    d.selectBlockAt({5, 0}, 0.7f, false);
    d.selectBlockAt({40, 55}, 0.7f, false);  // after the colour change
    EXPECT_EQ(mask(d), "1101101");
    d.selectBlockAt({25, 50}, 0.7f, true);
    EXPECT_EQ(mask(d), "1100001");
    EXPECT_TRUE(d.selectionActive());
}

TEST(Selection, RectangleOfTheSelection) {
    VDLDesign d = makeDesign({st(10, 0), st(5, 20), st(-30, 0), st(0, -40)});
    EXPECT_EQ(d.selectionRect(), VDLMakeRect(-15, -20, 30, 40));  // nothing active: the bounds
    d.stitches()[1].isSelected = true;  // runs (10,0)-(15,20)
    d.setSelectionActive(true);
    EXPECT_EQ(d.selectionRect(), VDLMakeRect(10, 0, 5, 20));
    d.stitches()[1].isSelected = false;  // a stale flag: the inverted rectangle around (0,0)
    EXPECT_EQ(d.selectionRect(), VDLMakeRect(65536, 65536, -131072, -131072));
}
