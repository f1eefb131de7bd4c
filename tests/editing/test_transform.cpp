// Geometric transforms: the exact bridging jumps and deltas, round trips, centring and the
// refused inputs. The property tests cover random designs.
#include "EditingTestHelpers.h"

#include <gtest/gtest.h>

using namespace edittest;

namespace {

void expectSamePositions(const std::vector<Sewn>& a, const std::vector<Sewn>& b, double tol) {
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        EXPECT_NEAR(a[i].end.x, b[i].end.x, tol) << i;
        EXPECT_NEAR(a[i].end.y, b[i].end.y, tol) << i;
    }
}

VDLDesign selected(std::vector<VDLStitch> list) {
    VDLDesign d = makeDesign(list);
    d.setSelectionActive(true);
    return d;
}

// The middle part of two blocks selected, a jump and a colour change inside it.
VDLDesign sample() {
    return selected({st(10, 0), st(12.5f, 3, true), st(-4, 11, true), jump(60, -20, true), st(7, 7, true),
                     change(true), st(3, -9, true), st(-15, 2), st(6, 6)});
}

}  // namespace

TEST(Transform, RunsAreBridgedWithExactJumps) {
    // A run at the head: entry jump first, then a null stitch in front of the moving stitch.
    VDLDesign head = selected({st(10, 0, true), st(0, 10, true)});
    head.moveSelectionByVector({5, 5});
    EXPECT_EQ(describe(head.stitches()), "J(5,5) S(0,0)* S(10,0)* S(0,10)*");

    VDLDesign move = selected({st(10, 0), st(10, 0, true), st(10, 0)});
    move.moveSelectionByVector({0, 5});
    EXPECT_EQ(describe(move.stitches()), "S(10,0) J(0,5) S(0,0)* S(10,0)* J(0,-5) S(0,0) S(10,0)");

    VDLDesign v = selected({st(10, 0, true), st(10, 10, true)});  // centre (10,5)
    v.flipSelection("V");
    EXPECT_EQ(describe(v.stitches()), "J(20,0) S(0,0)* S(-10,0)* S(-10,10)*");

    VDLDesign h = selected({st(10, 0), st(0, 10, true), st(10, 0)});  // centre (10,5)
    h.flipSelection("H");
    EXPECT_EQ(describe(h.stitches()), "S(10,0) J(0,10) S(0,0)* S(0,-10)* J(0,10) S(0,0) S(10,0)");

    VDLDesign big = selected({st(10, 0), st(10, 0, true), st(10, 0, true), st(10, 0)});  // centre (20,0)
    big.resizeSelectionByPercent(2.0f);
    EXPECT_EQ(describe(big.stitches()), "S(10,0) J(-10,0) S(0,0)* S(20,0)* S(20,0)* J(-10,0) S(0,0) S(10,0)");
}

TEST(Transform, RoundTripsRestorePositions) {
    const auto before = sewnStitches(sample());
    VDLDesign moved = sample();
    moved.moveSelectionByVector({10, 0});
    moved.moveSelectionByVector({-10, 0});
    expectSamePositions(sewnStitches(moved), before, 1e-4);

    VDLDesign flipped = sample();
    flipped.selectAll();
    flipped.flipSelection("V");
    flipped.flipSelection("V");
    expectSamePositions(sewnStitches(flipped), before, 1e-3);

    VDLDesign turned = sample();
    turned.rotateSelectionByDegrees(360);
    expectSamePositions(sewnStitches(turned), before, 1e-3);

    VDLDesign same = sample();
    same.resizeSelectionByPercent(1.0f);
    expectSamePositions(sewnStitches(same), before, 1e-4);

    // 45 then 315 pivots twice about the centre of the selection's rectangle; for a square
    // that centre stays put.
    VDLDesign square = selected({st(5, 5), st(10, 0, true), st(0, 10, true), st(-10, 0, true), st(0, -10, true),
                                 st(7, -3)});
    const auto squareBefore = sewnStitches(square);
    square.rotateSelectionByDegrees(45);
    EXPECT_NEAR(sewnStitches(square)[1].end.x, 10 + 5 * std::sqrt(2.0), 1e-4);  // (15,5) about (10,10)
    EXPECT_NEAR(sewnStitches(square)[1].end.y, 10, 1e-4);
    square.rotateSelectionByDegrees(315);
    expectSamePositions(sewnStitches(square), squareBefore, 1e-3);
}

TEST(Transform, RefusedInputsLeaveTheDesignAlone) {
    const std::string before = describe(sample().stitches());
    for (const char* bad : {"v", "X", ""}) {
        VDLDesign d = sample();
        VDLError error;
        EXPECT_FALSE(d.flipSelection(bad, &error));
        EXPECT_EQ(error.domain, VDLDesignErrorDomain);
        EXPECT_EQ(error.code, 70);
        EXPECT_EQ(error.localizedRecoverySuggestion(), "Unable to flip the design (invalid orientation).");
        EXPECT_EQ(describe(d.stitches()), before);
    }
    for (float f : {0.0f, -0.0f, NAN, INFINITY}) {
        VDLDesign d = sample();
        VDLError error;
        EXPECT_FALSE(d.resizeSelectionByPercent(f, &error));
        EXPECT_EQ(error.code, 71);
        EXPECT_EQ(error.localizedRecoverySuggestion(), "Unable to resize the design (invalid factor).");
        EXPECT_EQ(describe(d.stitches()), before);
    }
}

TEST(Transform, CenterDesign) {
    // Bounds (100..120, 0..70): two rounds, since the head jump's end point counts as well.
    VDLDesign d = makeDesign({st(100, 0), st(0, 50), st(20, 20)});
    EXPECT_TRUE(d.centerDesign());
    EXPECT_EQ(d.centerOfDesign(), (VDLPoint{0, 0}));
    EXPECT_EQ(describe(d.stitches()), "J(-60,-35) S(0,0) S(100,0) S(0,50) S(20,20)");

    // Already centred: no pass at all, so the long jump is not even cut.
    VDLDesign centred = makeDesign({jump(-300, -10), st(600, 20)});
    centred.centerDesign();
    EXPECT_EQ(describe(centred.stitches()), "J(-300,-10) S(600,20)");

    VDLDesign empty = makeDesign({});
    EXPECT_TRUE(empty.centerDesign());
    EXPECT_TRUE(empty.stitches().empty());
}
