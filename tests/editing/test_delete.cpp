// Deleting stitches: bridging jumps, empty blocks dropped together with their threads, and the
// empty design.
#include "EditingTestHelpers.h"

#include <gtest/gtest.h>

using namespace edittest;

namespace {

std::string threadKeys(const VDLDesign& d) {
    std::string out;
    for (const auto& t : d.threads()) out += (out.empty() ? "" : ",") + t.key();
    return out;
}

// Three blocks of two stitches: threads "1", "2", "3"; colour changes at 2 and 5.
VDLDesign threeBlocks(const std::vector<int>& selected) {
    VDLDesign d =
        makeDesign({st(10, 0), st(10, 0), change(), st(0, 10), st(0, 10), change(), st(-10, 0), st(-10, 0)});
    for (int i : selected) d.stitches()[size_t(i)].isSelected = true;
    d.setSelectionActive(!selected.empty());
    return d;
}

}  // namespace

TEST(Delete, MiddleOfABlockIsBridgedByOneJump) {
    VDLDesign d = makeDesign({st(10, 0), st(10, 0, true), st(10, 0, true), st(10, 0)});
    EXPECT_TRUE(d.deleteSelection());
    EXPECT_EQ(describe(d.stitches()), "S(10,0) J(20,0) S(0,0) S(10,0)");
    EXPECT_EQ(d.threads().size(), 1u);
    EXPECT_EQ(d.xMax(), 40);
}

TEST(Delete, WholeMiddleBlockGoesWithItsThread) {
    // With or without the colour change that opens it.
    for (const auto& sel : {std::vector<int>{3, 4}, std::vector<int>{2, 3, 4}}) {
        VDLDesign d = threeBlocks(sel);
        EXPECT_TRUE(d.deleteSelection());
        EXPECT_EQ(describe(d.stitches()), "S(10,0) S(10,0) J(0,20) C(0,0) S(-10,0) S(-10,0)");
        EXPECT_EQ(threadKeys(d), "1,3");
    }
}

TEST(Delete, FirstBlockGoesWithThreadZero) {
    VDLDesign d = threeBlocks({0, 1});
    d.deleteSelection();
    EXPECT_EQ(describe(d.stitches()), "J(20,0) S(0,10) S(0,10) C(0,0) S(-10,0) S(-10,0)");
    EXPECT_EQ(threadKeys(d), "2,3");
}

TEST(Delete, LastBlockGoesWithoutATrailingJump) {
    for (const auto& sel : {std::vector<int>{6, 7}, std::vector<int>{5, 6, 7}}) {
        VDLDesign d = threeBlocks(sel);
        d.deleteSelection();
        EXPECT_EQ(describe(d.stitches()), "S(10,0) S(10,0) C(0,0) S(0,10) S(0,10)");
        EXPECT_EQ(threadKeys(d), "1,2");
    }
}

TEST(Delete, EverythingLeavesAnEmptyDesign) {
    VDLDesign d = threeBlocks({});
    d.selectAll();
    EXPECT_TRUE(d.deleteSelection());
    EXPECT_TRUE(d.stitches().empty());
    EXPECT_TRUE(d.threads().empty());
    EXPECT_EQ(d.xMin(), -100);
    EXPECT_EQ(d.xMax(), 100);
    EXPECT_EQ(d.yMin(), -100);
    EXPECT_EQ(d.yMax(), 100);
}

TEST(Delete, BlockLeftWithOnlyJumpsIsEmpty) {
    VDLDesign d = makeDesign({st(10, 0), change(), st(5, 0, true), jump(5, 0), change(), st(0, 10)});
    d.deleteSelection();
    EXPECT_EQ(describe(d.stitches()), "S(10,0) J(10,0) C(0,0) S(0,10)");
    EXPECT_EQ(threadKeys(d), "1,3");

    // A colour change that still moves is kept as a plain movement of its emptied block.
    VDLDesign moving = makeDesign({st(10, 0), VDLStitch(5, 0, false, true), st(1, 1, true), change(), st(0, 10)});
    moving.deleteSelection();
    EXPECT_EQ(describe(moving.stitches()), "S(10,0) S(5,0) J(1,1) C(0,0) S(0,10)");
    EXPECT_EQ(threadKeys(moving), "1,3");
}

TEST(Delete, NothingSelectedKeepsTheDesign) {
    VDLDesign d = threeBlocks({});
    const std::string before = describe(d.stitches());
    EXPECT_TRUE(d.deleteSelection());
    EXPECT_EQ(describe(d.stitches()), before);
    EXPECT_EQ(threadKeys(d), "1,2,3");
}
