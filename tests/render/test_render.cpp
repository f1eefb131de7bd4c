// The renderer, checked through the recording context: what is stroked, filled and clipped,
// with which width, dash and colour.
#include "TestSupport.h"
#include "VDLDesign.h"
#include "VDLRecordingContext.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>

namespace {

using Kind = VDLRecordedOp::Kind;

const VDLRect kEverything = VDLMakeRect(-100000, -100000, 200000, 200000);

VDLStitch normal(float dx, float dy) { return VDLStitch(dx, dy, false, false); }
VDLStitch jump(float dx, float dy) { return VDLStitch(dx, dy, true, false); }
VDLStitch change(float dx, float dy) { return VDLStitch(dx, dy, false, true); }

VDLThread threadOf(double r, double g, double b) { return VDLThread(VDLColor(r, g, b), "t", "", "", ""); }

void expectColor(const VDLRGBA& c, double r, double g, double b, double a) {
    EXPECT_NEAR(c.r, r, 1e-9);
    EXPECT_NEAR(c.g, g, 1e-9);
    EXPECT_NEAR(c.b, b, 1e-9);
    EXPECT_NEAR(c.a, a, 1e-9);
}

void expectSegment(const VDLRecordedOp& op, double x0, double y0, double x1, double y1) {
    ASSERT_TRUE(op.isSegment());
    EXPECT_DOUBLE_EQ(op.segX0(), x0);
    EXPECT_DOUBLE_EQ(op.segY0(), y0);
    EXPECT_DOUBLE_EQ(op.segX1(), x1);
    EXPECT_DOUBLE_EQ(op.segY1(), y1);
}

std::vector<VDLRecordedOp> draw(const VDLDesign& d, bool show3D, bool showJumps, bool showStructure,
                                int32_t thread = -1, VDLRect rect = kEverything) {
    VDLRecordingContext ctx;
    d.drawDesignInRect(rect, ctx, show3D, showJumps, showStructure, thread);
    return ctx.ops();
}

std::vector<VDLRecordedOp> strokes(const std::vector<VDLRecordedOp>& ops) {
    std::vector<VDLRecordedOp> out;
    for (const auto& op : ops)
        if (op.kind == Kind::Stroke) out.push_back(op);
    return out;
}

// Straight run along X, 10 units per stitch: stitch i goes from x = 10 i to 10 (i + 1), so
// a stroke's start tells which stitch it drew.
std::set<int> drawnStitchIndexes(const std::vector<VDLRecordedOp>& ops) {
    std::set<int> out;
    for (const auto& op : strokes(ops)) out.insert(int(std::lround(op.segX0() / 10)));
    return out;
}

std::set<int> indexRange(int from, int to) {
    std::set<int> s;
    for (int i = from; i <= to; ++i) s.insert(i);
    return s;
}

}  // namespace

TEST(Render, FlatThreadSegmentIsDarkOutlineThenFlatInnerLine) {
    VDLDesign d = makeDesign({normal(10, 0), normal(10, 5)});
    d.setThreads({threadOf(0.1, 0.5, 1.0)});
    const auto ops = draw(d, false, false, false);

    // The whole drawing is inside one saved state with round caps.
    ASSERT_GE(ops.size(), 2u);
    EXPECT_EQ(ops.front().kind, Kind::SaveGState);
    EXPECT_EQ(ops.back().kind, Kind::RestoreGState);

    // The first stitch follows no normal stitch: with jumps hidden it is not drawn.
    const auto s = strokes(ops);
    ASSERT_EQ(s.size(), 2u);
    expectSegment(s[0], 10, 0, 20, 5);
    EXPECT_DOUBLE_EQ(s[0].state.lineWidth, 3.5);
    EXPECT_TRUE(s[0].state.dash.empty());
    EXPECT_EQ(s[0].state.lineCap, VDLLineCap::Round);
    expectColor(s[0].state.strokeColor, -0.1, 0.3, 0.8, 1);  // dark, not clamped
    expectSegment(s[1], 10, 0, 20, 5);
    EXPECT_DOUBLE_EQ(s[1].state.lineWidth, 0.7 * 3.5);
    expectColor(s[1].state.strokeColor, 0.1, 0.5, 1.0, 1);
    EXPECT_EQ(ops.size(), 4u);  // nothing else: no clip, no gradient, no fills
}

TEST(Render, ShadedTubeIsAClippedCapsuleFilledAcrossWithTheGradient) {
    // Three segments: to the right, to the left (clockwise caps), straight up (vertical).
    VDLDesign d = makeDesign({normal(10, 0), normal(10, 0), normal(-10, 0), normal(0, 10)});
    d.setThreads({threadOf(0.5, 0.9, 0.1)});
    const auto ops = draw(d, true, false, false);

    const double rr = 0.35 * 3.5;
    std::vector<size_t> clips;
    for (size_t i = 0; i < ops.size(); ++i)
        if (ops[i].kind == Kind::Clip) clips.push_back(i);
    ASSERT_EQ(clips.size(), 3u);
    for (size_t c : clips) {
        // save, clip, gradient, restore, after the dark outline; no flat inner line in 3D.
        ASSERT_LT(c + 2, ops.size());
        EXPECT_EQ(ops[c - 2].kind, Kind::Stroke);
        EXPECT_DOUBLE_EQ(ops[c - 2].state.lineWidth, 3.5);
        expectColor(ops[c - 2].state.strokeColor, 0.3, 0.7, -0.1, 1);
        EXPECT_EQ(ops[c - 1].kind, Kind::SaveGState);
        EXPECT_EQ(ops[c + 1].kind, Kind::LinearGradient);
        EXPECT_EQ(ops[c + 1].state.clipDepth, 1);
        EXPECT_EQ(ops[c + 2].kind, Kind::RestoreGState);
        const auto& stops = ops[c + 1].stops;
        ASSERT_EQ(stops.size(), 3u);
        EXPECT_DOUBLE_EQ(stops[0].location, 0.0);
        EXPECT_DOUBLE_EQ(stops[1].location, 0.4);
        EXPECT_DOUBLE_EQ(stops[2].location, 1.0);
        expectColor(stops[0].color, 0.3, 0.7, -0.1, 1);
        expectColor(stops[1].color, 0.7, 1.1, 0.3, 1);
        expectColor(stops[2].color, 0.3, 0.7, -0.1, 1);
    }
    EXPECT_EQ(strokes(ops).size(), 3u);

    using PK = VDLPathElement::Kind;
    auto checkCapsule = [&](const VDLRecordedOp& clip, double px, double py, double qx, double qy, double a,
                            bool clockwise) {
        const auto& p = clip.path;
        ASSERT_EQ(p.size(), 4u);
        EXPECT_EQ(p[0].kind, PK::MoveTo);
        EXPECT_NEAR(p[0].x, px + rr * std::sin(a), 1e-6);
        EXPECT_NEAR(p[0].y, py - rr * std::cos(a), 1e-6);
        EXPECT_EQ(p[1].kind, PK::Arc);
        EXPECT_DOUBLE_EQ(p[1].x, qx);
        EXPECT_DOUBLE_EQ(p[1].y, qy);
        EXPECT_DOUBLE_EQ(p[1].radius, rr);
        EXPECT_NEAR(p[1].startAngle, a - 1.571, 1e-6);
        EXPECT_NEAR(p[1].endAngle, a + 1.571, 1e-6);
        EXPECT_EQ(p[1].clockwise, clockwise);
        EXPECT_EQ(p[2].kind, PK::Arc);
        EXPECT_DOUBLE_EQ(p[2].x, px);
        EXPECT_DOUBLE_EQ(p[2].y, py);
        EXPECT_NEAR(p[2].startAngle, a + 1.571, 1e-6);
        EXPECT_NEAR(p[2].endAngle, a - 1.571, 1e-6);
        EXPECT_EQ(p[2].clockwise, clockwise);
        EXPECT_EQ(p[3].kind, PK::Close);
    };
    checkCapsule(ops[clips[0]], 10, 0, 20, 0, 0.0, false);
    checkCapsule(ops[clips[1]], 20, 0, 10, 0, 0.0, true);
    checkCapsule(ops[clips[2]], 10, 0, 10, 10, M_PI / 2, false);

    // The gradient runs across the tube, from one side of P to the other.
    const auto& g = ops[clips[0] + 1];
    EXPECT_NEAR(g.x0, 10, 1e-9);
    EXPECT_NEAR(g.y0, rr, 1e-9);
    EXPECT_NEAR(g.x1, 10, 1e-9);
    EXPECT_NEAR(g.y1, -rr, 1e-9);
    const auto& gv = ops[clips[2] + 1];  // vertical: across is along X
    EXPECT_NEAR(gv.x0, 10 - rr, 1e-6);
    EXPECT_NEAR(gv.x1, 10 + rr, 1e-6);

    // Downward vertical: the angle is minus a quarter turn.
    VDLDesign down = makeDesign({normal(10, 0), normal(0, -10)});
    const auto downOps = draw(down, true, false, false);
    for (const auto& op : downOps)
        if (op.kind == Kind::Clip) checkCapsule(op, 10, 0, 10, -10, -M_PI / 2, false);
}

TEST(Render, SelectionAndHiddenThreadsDrawDimmed) {
    std::vector<VDLStitch> st{normal(10, 0), normal(10, 0), normal(10, 0), change(10, 0), normal(10, 0)};
    st[2].isSelected = true;
    VDLDesign d = makeDesign(st);
    d.setThreads({threadOf(1.0, 0.0, 0.0), threadOf(0.0, 0.0, 1.0)});
    const double L0 = 0.21 + 0.22, L1 = 0.08 + 0.22;

    // Selection active: every block grey at alpha 0.1; the selected stitch red on top at width W.
    d.setSelectionActive(true);
    auto s = strokes(draw(d, false, false, false));
    // Stitch 4 follows the change record, so it starts a new thread and is not a segment.
    ASSERT_EQ(s.size(), 2u * 3 + 1);
    expectColor(s[0].state.strokeColor, L0 - 0.2, L0 - 0.2, L0 - 0.2, 0.1);
    expectColor(s[1].state.strokeColor, L0, L0, L0, 0.1);
    expectSegment(s[4], 20, 0, 30, 0);
    expectColor(s[4].state.strokeColor, 0.8, 0, 0, 0.6);
    EXPECT_DOUBLE_EQ(s[4].state.lineWidth, 3.5);
    expectColor(s[5].state.strokeColor, L1 - 0.2, L1 - 0.2, L1 - 0.2, 0.1);  // the colour change is the blue block

    // In 3D the dimmed gradient is grey at alpha 0.1.
    {
        VDLRecordingContext ctx;
        d.drawDesignInRect(kEverything, ctx, true, false, false);
        const auto g = ctx.opsOfKind(Kind::LinearGradient);
        ASSERT_EQ(g.size(), 3u);
        expectColor(g[0].stops[1].color, L0 + 0.2, L0 + 0.2, L0 + 0.2, 0.1);
        expectColor(g[2].stops[0].color, L1 - 0.2, L1 - 0.2, L1 - 0.2, 0.1);
    }

    // Selection off, second thread hidden: only that block is dimmed; it is still drawn. The
    // selected stitch is outlined in red whether or not the selection is active.
    d.setSelectionActive(false);
    d.setIsShown(false, 1);
    s = strokes(draw(d, false, false, false));
    ASSERT_EQ(s.size(), 7u);
    expectColor(s[1].state.strokeColor, 1, 0, 0, 1);
    expectColor(s[4].state.strokeColor, 0.8, 0, 0, 0.6);
    expectColor(s[5].state.strokeColor, L1 - 0.2, L1 - 0.2, L1 - 0.2, 0.1);
    expectColor(s[6].state.strokeColor, L1, L1, L1, 0.1);
}

TEST(Render, JumpsAreDashedOnlyWhenShownAndBreakTheThread) {
    // normal, normal, jump, normal (first after the jump), normal
    VDLDesign d = makeDesign({normal(10, 0), normal(10, 0), jump(10, 0), normal(10, 0), normal(10, 0)});
    d.setThreads({threadOf(0.2, 0.4, 0.6)});

    auto hidden = strokes(draw(d, false, false, false));
    EXPECT_EQ(drawnStitchIndexes(hidden), (std::set<int>{1, 4}));
    for (const auto& op : hidden) EXPECT_TRUE(op.state.dash.empty());

    auto shown = strokes(draw(d, false, true, false));
    EXPECT_EQ(drawnStitchIndexes(shown), (std::set<int>{0, 1, 2, 3, 4}));
    int dashed = 0;
    for (const auto& op : shown) {
        if (op.state.dash.empty()) continue;
        ++dashed;
        EXPECT_EQ(op.state.dash, (std::vector<double>{2.0, 3.0}));
        EXPECT_DOUBLE_EQ(op.state.dashPhase, 0);
        EXPECT_DOUBLE_EQ(op.state.lineWidth, 1.75);
        expectColor(op.state.strokeColor, 0.2, 0.4, 0.6, 1);  // flat colour in flat mode
    }
    EXPECT_EQ(dashed, 3);  // the first stitch, the jump and the stitch after it

    // In 3D jumps take the dark colour; dimmed, the dimmed colour.
    for (const auto& op : strokes(draw(d, true, true, false)))
        if (!op.state.dash.empty()) expectColor(op.state.strokeColor, 0.0, 0.2, 0.4, 1);
    d.setSelectionActive(true);
    const double L = 0.21 * 0.2 + 0.71 * 0.4 + 0.08 * 0.6 + 0.22;
    for (const auto& op : strokes(draw(d, true, true, false)))
        if (!op.state.dash.empty()) expectColor(op.state.strokeColor, L, L, L, 0.1);

    // A selected jump is stroked again in the selection colour, still dashed.
    d.setSelectionActive(false);
    d.stitches()[2].isSelected = true;
    auto sel = strokes(draw(d, false, true, false));
    ASSERT_EQ(sel.size(), 3u + 2 * 2 + 1);
    int red = 0;
    for (const auto& op : sel)
        if (op.state.strokeColor == VDLRGBA{0.8, 0, 0, 0.6}) {
            ++red;
            expectSegment(op, 20, 0, 30, 0);
            EXPECT_FALSE(op.state.dash.empty());
        }
    EXPECT_EQ(red, 1);
}

TEST(Render, NeedlePointsThinTheLinesAndMarkEveryDrawnEnd) {
    VDLDesign d = makeDesign({normal(10, 0), normal(10, 10), jump(10, 0), normal(0, 0), normal(-5, 3)});
    VDLRecordingContext ctx;
    d.drawDesignInRect(kEverything, ctx, false, true, true);

    for (const auto& op : ctx.opsOfKind(Kind::Stroke)) {
        if (op.state.dash.empty())
            EXPECT_TRUE(op.state.lineWidth == 0.5 || op.state.lineWidth == 0.7 * 0.5) << op.state.lineWidth;
        else
            EXPECT_DOUBLE_EQ(op.state.lineWidth, 0.5);  // 0.5 W is below the minimum 0.5
    }
    // Marks at the ends of stitches 0, 1, 2 and 4; the zero-length stitch 3 gets none.
    const auto marks = ctx.opsOfKind(Kind::FillRect);
    ASSERT_EQ(marks.size(), 4u);
    const double ends[4][2] = {{10, 0}, {20, 10}, {30, 10}, {25, 13}};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_DOUBLE_EQ(marks[i].x, ends[i][0] - 0.5);
        EXPECT_DOUBLE_EQ(marks[i].y, ends[i][1] - 0.5);
        EXPECT_DOUBLE_EQ(marks[i].w, 1);
        EXPECT_DOUBLE_EQ(marks[i].h, 1);
        expectColor(marks[i].state.fillColor, 0, 0, 0, 1);
    }
    // Stitch 4 follows a null stitch (a normal one), so it is a thread segment in both passes.
    const auto s = ctx.opsOfKind(Kind::Stroke);
    expectSegment(s.back(), 30, 10, 25, 13);
    EXPECT_TRUE(s.back().state.dash.empty());
}

TEST(Render, ZeroLengthStitchesAreNeverDrawn) {
    std::vector<VDLStitch> st{normal(0, 0), normal(10, 0), normal(0, 0), jump(0, 0), change(0, 0), normal(-0.0f, 0)};
    for (auto& s : st) s.isSelected = true;
    VDLDesign d = makeDesign(st);
    for (bool show3D : {false, true}) {
        VDLRecordingContext ctx;
        d.drawDesignInRect(kEverything, ctx, show3D, true, true);
        const auto s = ctx.opsOfKind(Kind::Stroke);
        ASSERT_FALSE(s.empty());
        for (const auto& op : s) expectSegment(op, 0, 0, 10, 0);  // only stitch 1
        EXPECT_EQ(ctx.count(Kind::FillRect), 1u);
        EXPECT_LE(ctx.count(Kind::Clip), 1u);
    }
}

TEST(Render, DisplayRangeDrawsFromOneBeforeItsStartToLocationPlusLength) {
    std::vector<VDLStitch> st(30, normal(10, 0));
    VDLDesign d = makeDesign(st);

    d.setDisplayRange({0, 10});
    EXPECT_EQ(drawnStitchIndexes(draw(d, false, true, false)), indexRange(0, 10));
    d.setDisplayRange({5, 10});
    EXPECT_EQ(drawnStitchIndexes(draw(d, false, true, false)), indexRange(4, 15));
    // Past the end or overflowing: no crash, the tail or nothing.
    d.setDisplayRange({25, UINT64_MAX});
    EXPECT_EQ(drawnStitchIndexes(draw(d, false, true, false)), indexRange(24, 29));
    d.setDisplayRange({UINT64_MAX, UINT64_MAX});
    EXPECT_TRUE(drawnStitchIndexes(draw(d, false, true, false)).empty());
}

TEST(Render, OneThreadDrawsOnlyItsBlockAndChangesBelongToTheNewBlock) {
    // Blocks: 0 = stitches 0-2, 1 = 3-5, 2 = 6-8 (the change records 3 and 6 start them).
    std::vector<VDLStitch> st(9, normal(10, 0));
    st[3].isColorChange = true;
    st[6].isColorChange = true;
    VDLDesign d = makeDesign(st);
    d.setThreads({threadOf(1, 0, 0), threadOf(0, 1, 0), threadOf(0, 0, 1)});

    auto ops = draw(d, false, false, false, 2);
    // A change record after a normal stitch is itself a thread segment, in its new colour;
    // the stitch after it starts the thread anew and is drawn only with the jumps.
    EXPECT_EQ(drawnStitchIndexes(ops), (std::set<int>{6, 8}));
    const auto blue = strokes(ops);
    ASSERT_EQ(blue.size(), 4u);
    expectColor(blue[0].state.strokeColor, -0.2, -0.2, 0.8, 1);
    expectColor(blue[1].state.strokeColor, 0, 0, 1, 1);
    EXPECT_EQ(drawnStitchIndexes(draw(d, false, true, false, 2)), (std::set<int>{6, 7, 8}));
    EXPECT_EQ(drawnStitchIndexes(draw(d, false, true, false, 1)), (std::set<int>{3, 4, 5}));
    EXPECT_EQ(drawnStitchIndexes(draw(d, false, true, false, -1)), indexRange(0, 8));
    EXPECT_TRUE(drawnStitchIndexes(draw(d, false, true, false, 3)).empty());
}

TEST(Render, CullSkipsStitchesWithBothEndsOutsideTheEnlargedRectangle) {
    // A run along X from 0 to 300; the visible rect covers x 100..120, so with the margin of
    // 50 on each side the cull area is x 50..170 (y covers everything).
    std::vector<VDLStitch> st(30, normal(10, 0));
    st[20].isJumpStitch = true;  // x 200 -> 210, far outside
    VDLDesign d = makeDesign(st);
    const VDLRect rect = VDLMakeRect(100, -10, 20, 20);
    const auto idx = drawnStitchIndexes(draw(d, false, true, false, -1, rect));
    // Stitch i spans 10 i .. 10 i + 10: drawn when an end lies in [50, 170), plus the jump.
    EXPECT_EQ(idx, (std::set<int>{4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 20}));

    // Y is culled the same way.
    const auto none = drawnStitchIndexes(draw(d, false, false, false, -1, VDLMakeRect(100, 100, 20, 20)));
    EXPECT_TRUE(none.empty());
    // Without culling: 27 thread segments (two strokes each) and three dashed lines (the
    // first stitch, the jump, the stitch after it).
    EXPECT_EQ(strokes(draw(d, false, true, false)).size(), 2u * 27 + 3);
}

TEST(Render, SurplusBlocksAndEmptyDesignsAreSafe) {
    // Three blocks, one thread: the extra blocks draw in the last thread's colour.
    std::vector<VDLStitch> st(6, normal(10, 0));
    st[2].isColorChange = true;
    st[4].isColorChange = true;
    VDLDesign d = makeDesign(st);
    d.setThreads({threadOf(0.3, 0.6, 0.9)});
    const auto s = strokes(draw(d, false, false, false));
    ASSERT_EQ(s.size(), 2u * 3);  // stitches 1, 2 and 4
    for (size_t i = 1; i < s.size(); i += 2) expectColor(s[i].state.strokeColor, 0.3, 0.6, 0.9, 1);
    EXPECT_EQ(drawnStitchIndexes(draw(d, false, true, false, 2)), (std::set<int>{4, 5}));

    VDLDesign noThreads = makeDesign(st);
    noThreads.setThreads({});
    EXPECT_TRUE(draw(noThreads, true, true, true).empty());
    EXPECT_TRUE(draw(VDLDesign(), true, true, true).empty());
}
