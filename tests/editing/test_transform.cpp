// Geometric transforms: the bridging jumps around each selected run, the exact deltas of flip,
// resize and move, round trips, centring and the refused inputs.
#include "EditingTestHelpers.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace edittest;

namespace {

void expectSamePositions(const std::vector<Sewn>& a, const std::vector<Sewn>& b, double tol) {
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_NEAR(a[i].end.x, b[i].end.x, tol) << "stitch " << i;
        EXPECT_NEAR(a[i].end.y, b[i].end.y, tol) << "stitch " << i;
    }
}

// A small design of two blocks with a jump; the middle part is selected.
VDLDesign sample() {
    VDLDesign d = makeDesign({st(10, 0), st(12.5f, 3), st(-4, 11), jump(60, -20), st(7, 7), change(), st(3, -9),
                              st(-15, 2), st(6, 6)});
    setSelection(d, {false, true, true, true, true, true, true, false, false});
    return d;
}

}  // namespace

TEST(Transform, FlipRejectsAnythingButVAndH) {
    for (const char* bad : {"v", "h", "X", "", "VH"}) {
        VDLDesign d = sample();
        const std::string before = describe(d.stitches());
        VDLError error;
        EXPECT_FALSE(d.flipSelection(bad, &error)) << bad;
        EXPECT_EQ(error.domain, VDLDesignErrorDomain);
        EXPECT_EQ(error.code, 70);
        EXPECT_EQ(error.localizedRecoverySuggestion(), "Unable to flip the design (invalid orientation).");
        EXPECT_EQ(describe(d.stitches()), before);
        EXPECT_FALSE(d.flipSelection(bad));  // no out-parameter
    }
}

TEST(Transform, MoveBridgesEachRunWithoutRewritingDeltas) {
    // A run at the head: the entry jump goes first, with a null stitch before the moving stitch.
    VDLDesign head = makeDesign({st(10, 0), st(0, 10)});
    head.selectAll();
    EXPECT_TRUE(head.moveSelectionByVector({5, 5}));
    EXPECT_EQ(describe(head.stitches()), "J(5,5) S(0,0)* S(10,0)* S(0,10)*");

    // A run in the middle gets a closing jump; the stitch after it is back where it was.
    VDLDesign mid = makeDesign({st(10, 0), st(10, 0, true), st(10, 0)});
    mid.setSelectionActive(true);
    EXPECT_TRUE(mid.moveSelectionByVector({0, 5}));
    EXPECT_EQ(describe(mid.stitches()), "S(10,0) J(0,5) S(0,0)* S(10,0)* J(0,-5) S(0,0) S(10,0)");
}

TEST(Transform, MoveThereAndBackRestoresEveryPosition) {
    VDLDesign d = sample();
    const auto before = sewnStitches(d);
    d.moveSelectionByVector({10, 0});
    d.moveSelectionByVector({-10, 0});
    expectSamePositions(sewnStitches(d), before, 1e-4);
}

TEST(Transform, FlipMirrorsAboutTheSelectionCentre) {
    // Selection (0,0)-(20,10): centre (10,5).
    VDLDesign v = makeDesign({st(10, 0, true), st(10, 10, true)});
    v.setSelectionActive(true);
    EXPECT_TRUE(v.flipSelection("V"));
    EXPECT_EQ(describe(v.stitches()), "J(20,0) S(0,0)* S(-10,0)* S(-10,10)*");

    // Stitch 1 runs (10,0)-(10,10); the stitch after it must still end at (20,10).
    VDLDesign h = makeDesign({st(10, 0), st(0, 10, true), st(10, 0)});
    h.setSelectionActive(true);
    EXPECT_TRUE(h.flipSelection("H"));
    EXPECT_EQ(describe(h.stitches()), "S(10,0) J(0,10) S(0,0)* S(0,-10)* J(0,10) S(0,0) S(10,0)");
}

TEST(Transform, FlipTwiceRestoresEveryPosition) {
    for (const char* o : {"V", "H"}) {
        VDLDesign d = sample();
        d.selectAll();
        const auto before = sewnStitches(d);
        d.flipSelection(o);
        d.flipSelection(o);
        expectSamePositions(sewnStitches(d), before, 1e-3);
    }
}

TEST(Transform, RotateTurnsCounterClockwiseAboutTheCentre) {
    // Stitch 1 runs (10,0)-(20,0), centre (15,0): a quarter turn stands it on end.
    VDLDesign d = makeDesign({st(10, 0), st(10, 0, true), st(10, 0)});
    d.setSelectionActive(true);
    EXPECT_TRUE(d.rotateSelectionByDegrees(90));
    const auto sewn = sewnStitches(d);
    ASSERT_EQ(sewn.size(), 3u);
    EXPECT_NEAR(sewn[1].end.x, 15, 1e-4);
    EXPECT_NEAR(sewn[1].end.y, 5, 1e-4);
    EXPECT_NEAR(sewn[2].end.x, 30, 1e-4);  // back on the unedited path
    EXPECT_NEAR(sewn[2].end.y, 0, 1e-4);
    // The entry jump takes the needle to the turned start point (15,-5).
    const auto ends = endPoints(d.stitches());
    EXPECT_NEAR(ends[1].x, 15, 1e-4);
    EXPECT_NEAR(ends[1].y, -5, 1e-4);
}

TEST(Transform, FullTurnsRestorePositions) {
    VDLDesign full = sample();
    const auto before = sewnStitches(full);
    full.rotateSelectionByDegrees(360);
    expectSamePositions(sewnStitches(full), before, 1e-3);

    // The second turn pivots about the centre of the turned selection's rectangle, which is the
    // first pivot only for a point-symmetric selection such as this square.
    VDLDesign leftRight = makeDesign({st(5, 5), st(10, 0, true), st(0, 10, true), st(-10, 0, true),
                                      st(0, -10, true), st(7, -3)});
    leftRight.setSelectionActive(true);
    const auto square = sewnStitches(leftRight);
    leftRight.rotateSelectionByDegrees(45);
    EXPECT_NEAR(sewnStitches(leftRight)[1].end.x, 10 + 5 * std::sqrt(2.0), 1e-4);  // corner (15,5) about (10,10)
    EXPECT_NEAR(sewnStitches(leftRight)[1].end.y, 10, 1e-4);
    leftRight.rotateSelectionByDegrees(315);
    expectSamePositions(sewnStitches(leftRight), square, 1e-3);
}

TEST(Transform, ResizeScalesAboutTheCentre) {
    // Selected stitches run (10,0)-(30,0), centre (20,0).
    VDLDesign d = makeDesign({st(10, 0), st(10, 0, true), st(10, 0, true), st(10, 0)});
    d.setSelectionActive(true);
    EXPECT_TRUE(d.resizeSelectionByPercent(2.0f));
    EXPECT_EQ(describe(d.stitches()), "S(10,0) J(-10,0) S(0,0)* S(20,0)* S(20,0)* J(-10,0) S(0,0) S(10,0)");

    VDLDesign same = sample();
    const auto before = sewnStitches(same);
    EXPECT_TRUE(same.resizeSelectionByPercent(1.0f));
    expectSamePositions(sewnStitches(same), before, 1e-4);
}

TEST(Transform, ResizeRefusesAFactorThatCannotBeUndone) {
    for (float f : {0.0f, -0.0f, NAN, INFINITY}) {
        VDLDesign d = sample();
        const std::string before = describe(d.stitches());
        VDLError error;
        EXPECT_FALSE(d.resizeSelectionByPercent(f, &error)) << f;
        EXPECT_EQ(error.code, 71);
        EXPECT_EQ(error.localizedRecoverySuggestion(), "Unable to resize the design (invalid factor).");
        EXPECT_EQ(describe(d.stitches()), before);
    }
}

TEST(Transform, NothingSelectedMovesNothing) {
    VDLDesign d = sample();
    d.deselectAll();
    const auto before = sewnStitches(d);
    d.moveSelectionByVector({50, 50});
    d.flipSelection("V");
    d.rotateSelectionByDegrees(30);
    d.resizeSelectionByPercent(3);
    expectSamePositions(sewnStitches(d), before, 0);
}

TEST(Transform, CenterDesignPutsTheBoundsCentreOnTheStartPoint) {
    VDLDesign d = makeDesign({st(100, 0), st(0, 50), st(20, 20)});
    const auto before = sewnStitches(d);
    EXPECT_TRUE(d.centerDesign());
    EXPECT_EQ(d.centerOfDesign(), (VDLPoint{0, 0}));
    // Every stitch moved by the same vector.
    const auto after = sewnStitches(d);
    ASSERT_EQ(after.size(), before.size());
    const double sx = after[0].end.x - before[0].end.x, sy = after[0].end.y - before[0].end.y;
    EXPECT_NE(sx, 0);
    for (size_t i = 1; i < after.size(); ++i) {
        EXPECT_NEAR(after[i].end.x - before[i].end.x, sx, 1e-4);
        EXPECT_NEAR(after[i].end.y - before[i].end.y, sy, 1e-4);
    }

    // Already centred: not even a normalisation pass (the long jump is not cut).
    VDLDesign centred = makeDesign({jump(-300, -10), st(600, 20)});
    ASSERT_EQ(centred.centerOfDesign(), (VDLPoint{0, 0}));
    centred.centerDesign();
    EXPECT_EQ(describe(centred.stitches()), "J(-300,-10) S(600,20)");

    VDLDesign empty = makeDesign({});
    EXPECT_TRUE(empty.centerDesign());
    EXPECT_TRUE(empty.stitches().empty());
}
