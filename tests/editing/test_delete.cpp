// Deleting stitches: bridging jumps, empty blocks dropped with their threads, the empty design.
#include "EditingTestHelpers.h"

#include <gtest/gtest.h>

using namespace edittest;

namespace {

std::string keys(const VDLDesign& d) {
    std::string out;
    for (const auto& t : d.threads()) out += (out.empty() ? "" : ",") + t.key();
    return out;
}

// Three blocks of two stitches, threads "1", "2", "3"; colour changes at 2 and 5.
std::string deleted(const std::vector<int>& selected, std::string* threadKeys) {
    VDLDesign d = makeDesign({st(10, 0), st(10, 0), change(), st(0, 10), st(0, 10), change(), st(-10, 0), st(-10, 0)});
    for (int i : selected) d.stitches()[size_t(i)].isSelected = true;
    EXPECT_TRUE(d.deleteSelection());
    *threadKeys = keys(d);
    return describe(d.stitches());
}

}  // namespace

TEST(Delete, GapsAreBridgedAndEmptiedBlocksGoWithTheirThreads) {
    VDLDesign mid = makeDesign({st(10, 0), st(10, 0, true), st(10, 0, true), st(10, 0)});
    mid.deleteSelection();
    EXPECT_EQ(describe(mid.stitches()), "S(10,0) J(20,0) S(0,0) S(10,0)");

    std::string k;
    // Block 1, with or without its colour change.
    EXPECT_EQ(deleted({3, 4}, &k), "S(10,0) S(10,0) J(0,20) C(0,0) S(-10,0) S(-10,0)");
    EXPECT_EQ(k, "1,3");
    EXPECT_EQ(deleted({2, 3, 4}, &k), "S(10,0) S(10,0) J(0,20) C(0,0) S(-10,0) S(-10,0)");
    EXPECT_EQ(k, "1,3");
    // Block 0: the first colour change and thread 0 go.
    EXPECT_EQ(deleted({0, 1}, &k), "J(20,0) S(0,10) S(0,10) C(0,0) S(-10,0) S(-10,0)");
    EXPECT_EQ(k, "2,3");
    // The last block: no jump at the end.
    EXPECT_EQ(deleted({5, 6, 7}, &k), "S(10,0) S(10,0) C(0,0) S(0,10) S(0,10)");
    EXPECT_EQ(k, "1,2");
    EXPECT_EQ(deleted({}, &k), "S(10,0) S(10,0) C(0,0) S(0,10) S(0,10) C(0,0) S(-10,0) S(-10,0)");
    EXPECT_EQ(k, "1,2,3");
}

TEST(Delete, BlockLeftWithOnlyJumpsIsEmpty) {
    VDLDesign d = makeDesign({st(10, 0), change(), st(5, 0, true), jump(5, 0), change(), st(0, 10)});
    d.deleteSelection();
    EXPECT_EQ(describe(d.stitches()), "S(10,0) J(10,0) C(0,0) S(0,10)");
    EXPECT_EQ(keys(d), "1,3");

    // A colour change that still moves stays as a plain movement of its emptied block.
    VDLDesign moving = makeDesign({st(10, 0), VDLStitch(5, 0, false, true), st(1, 1, true), change(), st(0, 10)});
    moving.deleteSelection();
    EXPECT_EQ(describe(moving.stitches()), "S(10,0) S(5,0) J(1,1) C(0,0) S(0,10)");
    EXPECT_EQ(keys(moving), "1,3");
}

TEST(Delete, EverythingLeavesAnEmptyDesign) {
    VDLDesign d = makeDesign({st(10, 0), change(), st(0, 10), jump(50, 0)});
    d.selectAll();
    d.deleteSelection();
    EXPECT_TRUE(d.stitches().empty());
    EXPECT_TRUE(d.threads().empty());
    EXPECT_EQ(VDLMakeRect(d.xMin(), d.yMin(), d.xMax(), d.yMax()), VDLMakeRect(-100, -100, 100, 100));
}
