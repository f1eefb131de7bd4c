// The basting frame: its records, its black thread block in front, the bounds, the frames
// that degenerate to a line or a point, and the arguments that are refused.
#include "EditingTestHelpers.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace edittest;

namespace {

size_t colorChanges(const VDLDesign& d) {
    size_t n = 0;
    for (const auto& s : d.stitches()) n += s.isColorChange ? 1 : 0;
    return n;
}

// 50 x 30 mm: bounds x 10..510, y 10..310; the first record is an ordinary stitch, so the pass
// of a type without limits leaves the frame's records as they were added.
VDLDesign rectangle(const std::string& type = "") {
    return makeDesign({st(10, 10), st(500, 0), st(0, 300)}, type);
}

}  // namespace

TEST(Basting, FrameAroundA50By30Design) {
    VDLDesign d = rectangle();
    ASSERT_EQ(d.designWidth(), 500);
    ASSERT_EQ(d.designHeight(), 300);
    EXPECT_TRUE(d.addBastingWithLength(5, 2));

    // W = 540, H = 340: 11 stitches of 49.09 across, 7 of 48.57 down, 3 sewn again.
    const auto& list = d.stitches();
    ASSERT_EQ(list.size(), 43u + 3u);
    const float sx = 540.0f / 11.0f, sy = 340.0f / 7.0f;
    std::vector<VDLStitch> want = {jump(-10, 330), st(0, 0)};
    want.insert(want.end(), 11, st(sx, 0));
    want.insert(want.end(), 7, st(0, -sy));
    want.insert(want.end(), 11, st(-sx, 0));
    want.insert(want.end(), 7, st(0, sy));
    want.insert(want.end(), 3, st(sx, 0));
    want.push_back(jump(-(3.0f * sx + -10.0f), -330));
    want.push_back(change());
    EXPECT_EQ(describe({list.begin(), list.begin() + 43}), describe(want));
    EXPECT_EQ(list[2].deltaX, sx);
    EXPECT_EQ(list[13].deltaY, -sy);

    // The design's own stitches are where they were; the bounds take in the frame.
    const auto ends = absolutePositions(d);
    EXPECT_NEAR(ends[42].x, 0, 1e-3);
    EXPECT_NEAR(ends[42].y, 0, 1e-3);
    EXPECT_NEAR(ends[45].x, 510, 1e-3);
    EXPECT_NEAR(ends[45].y, 310, 1e-3);
    EXPECT_NEAR(ends[12].x, 530, 1e-3);  // the end of the first edge
    EXPECT_NEAR(d.xMin(), -10, 1e-3);
    EXPECT_EQ(d.yMax(), 330);
    EXPECT_NEAR(d.xMax(), 530, 1e-3);
    EXPECT_NEAR(d.yMin(), -10, 1e-3);

    // A black thread in the design's palette opens the list; the others move up by one.
    ASSERT_EQ(d.threads().size(), 2u);
    EXPECT_EQ(d.colorOfThread(0), VDLColor(0, 0, 0));
    EXPECT_EQ(d.threads()[0].palette(), "Undefined");
    EXPECT_EQ(d.threads()[1].key(), "1");
    EXPECT_EQ(colorChanges(d), 1u);
}

TEST(Basting, LongStitchesTwoFramesAndFormatLimits) {
    // A stitch longer than the frame: one stitch per edge, one sewn again.
    VDLDesign longStitches = rectangle();
    longStitches.addBastingWithLength(100, 2);
    EXPECT_EQ(describe({longStitches.stitches().begin(), longStitches.stitches().begin() + 9}),
              "J(-10,330) S(0,0) S(540,0) S(0,-340) S(-540,0) S(0,340) S(540,0) J(-530,-330) C(0,0)");

    // A second frame lies D mm outside the first, in front of it.
    VDLDesign twice = rectangle();
    twice.addBastingWithLength(5, 2);
    twice.addBastingWithLength(5, 2);
    EXPECT_NEAR(twice.stitches()[0].deltaX, -30, 1e-3);
    EXPECT_EQ(twice.stitches()[0].deltaY, 350);
    EXPECT_EQ(twice.threads().size(), 3u);
    EXPECT_EQ(colorChanges(twice), 2u);
    EXPECT_NEAR(twice.xMin(), -30, 1e-3);
    EXPECT_EQ(twice.yMax(), 350);

    // In a "DST" design the jumps are cut to 120 and the jump back merges with the design's
    // leading jump; the design stays where it was.
    VDLDesign dst = makeDesign({jump(50, 50), st(10, 0), st(0, 10)}, "DST");
    dst.addBastingWithLength(3, 1);
    const auto& list = dst.stitches();
    EXPECT_EQ(describe({list.end() - 4, list.end()}), "J(-20,-20) C(0,0) S(10,0) S(0,10)");
    EXPECT_EQ(absolutePositions(dst).back().x, 60);
    EXPECT_EQ(absolutePositions(dst).back().y, 60);
}

TEST(Basting, FramesWithoutWidthOrHeightSkipTheirEmptyEdges) {
    // A vertical line with distance 0: no horizontal stitches, a line sewn down and back.
    VDLDesign line = makeDesign({st(0, 100), st(0, 100)}, "");
    EXPECT_TRUE(line.addBastingWithLength(5, 0));
    EXPECT_EQ(describe(line.stitches()), "J(0,200) S(0,0) S(0,-50) S(0,-50) S(0,50) S(0,50) J(0,-200) C(0,0) "
                                         "S(0,100) S(0,100)");
    EXPECT_EQ(line.threads().size(), colorChanges(line) + 1);

    // A single point: the frame is one needle drop on it. Nothing is NaN or infinite.
    VDLDesign point = makeDesign({st(10, 10)}, "DST");
    EXPECT_TRUE(point.addBastingWithLength(5, 0));
    EXPECT_EQ(describe(point.stitches()), "J(10,10) S(0,0) J(-10,-10) C(0,0) S(10,10)");
    for (const auto& s : point.stitches()) EXPECT_TRUE(std::isfinite(s.deltaX) && std::isfinite(s.deltaY));
    EXPECT_EQ(point.threads().size(), 2u);
}

TEST(Basting, RefusedArgumentsLeaveTheDesignAlone) {
    const float nan = std::nanf(""), inf = INFINITY;
    for (auto [length, distance] :
         {std::pair{0.0f, 2.0f}, {-1.0f, 2.0f}, {nan, 2.0f}, {inf, 2.0f}, {5.0f, -1.0f}, {5.0f, nan}, {5.0f, inf},
          {1e-6f, 2.0f}}) {
        VDLDesign d = rectangle();
        VDLError error;
        EXPECT_FALSE(d.addBastingWithLength(length, distance, &error)) << length << " " << distance;
        EXPECT_EQ(error.code, 72);
        EXPECT_EQ(error.localizedRecoverySuggestion(), "Unable to add basting (invalid stitch length or distance).");
        EXPECT_EQ(d.stitches().size(), 3u);
        EXPECT_EQ(d.threads().size(), 1u);
    }
    VDLDesign empty;
    VDLError error;
    EXPECT_FALSE(empty.addBastingWithLength(5, 2, &error));
    EXPECT_EQ(error.code, 73);
    EXPECT_TRUE(empty.stitches().empty() && empty.threads().empty());
}
