// Jumps and the normalisation pass: merging, cutting, bounds, selection trimming.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <random>

namespace {

VDLStitch st(float x, float y, bool selected = false) {
    VDLStitch s(x, y, false, false);
    s.isSelected = selected;
    return s;
}
VDLStitch jump(float x, float y, bool selected = false) {
    VDLStitch s(x, y, true, false);
    s.isSelected = selected;
    return s;
}
VDLStitch change(float x = 0, float y = 0, bool selected = false) {
    VDLStitch s(x, y, false, true);
    s.isSelected = selected;
    return s;
}

// "J(120,0)" / "S(62,0)" / "C(0,0)" with a trailing "*" when selected.
std::string describe(const std::vector<VDLStitch>& list) {
    std::string out;
    for (const auto& s : list) {
        char buf[64];
        std::snprintf(buf, sizeof buf, "%s(%g,%g)%s ", s.isColorChange ? "C" : s.isJumpStitch ? "J" : "S",
                      double(s.deltaX), double(s.deltaY), s.isSelected ? "*" : "");
        out += buf;
    }
    if (!out.empty()) out.pop_back();
    return out;
}

std::string normalised(const std::vector<VDLStitch>& list, const std::string& type) {
    VDLDesign d = makeDesign(list, type);
    EXPECT_TRUE(d.optimizeJumpsFor(type));
    return describe(d.stitches());
}

size_t colorChanges(const VDLDesign& d) {
    size_t n = 0;
    for (const auto& s : d.stitches()) n += s.isColorChange ? 1 : 0;
    return n;
}

}  // namespace

TEST(Normalise, CutsLongMovesIntoFullPiecesAndARemainder) {
    EXPECT_EQ(normalised({st(10, 0), jump(300, 0), st(5, 0)}, "DST"), "S(10,0) J(120,0) J(120,0) J(60,0) S(5,0)");
    EXPECT_EQ(normalised({st(10, 0), jump(300, 0), st(5, 0)}, "PES"), "S(10,0) J(300,0) S(5,0)");
    // An ordinary stitch is cut to the stitch limit; after a jump its remainder becomes a jump.
    EXPECT_EQ(normalised({st(1, 0), st(100, 0)}, "PES"), "S(1,0) S(62,0) S(38,0)");
    EXPECT_EQ(normalised({jump(1, 0), st(100, 0)}, "PES"), "J(1,0) S(62,0) J(38,0)");
    // Cut along the same direction; the longer axis decides.
    EXPECT_EQ(normalised({st(250, 125)}, "EXP"), "S(126,63) S(124,62)");
    EXPECT_EQ(normalised({st(-125, -250)}, "EXP"), "S(-63,-126) S(-62,-124)");
    // Remainders keep the selection mark of the move they come from.
    EXPECT_EQ(normalised({st(0, 130, true)}, "JEF"), "S(0,126)* S(0,4)*");
}

TEST(Normalise, LimitsFollowTheFormatType) {
    struct Case {
        const char* type;
        float stitch, jump;
    };
    for (const Case& c : {Case{"JEF", 126, 126}, Case{"PES", 62, 2046}, Case{"PEC", 62, 2046},
                          Case{"EXP", 126, 126}, Case{"DST", 120, 120}, Case{"PCS", 1150, 1150},
                          Case{"KSM", 999999, 999999}, Case{"VP3", 999999, 999999}, Case{"", 999999, 999999}}) {
        SCOPED_TRACE(c.type);
        VDLDesign d = makeDesign({st(1, 0), jump(c.jump, 0), st(0, c.stitch), jump(0, -(c.jump + 1)), st(1, 1),
                                  st(-(c.stitch + 1), 0)},
                                 c.type);
        d.optimizeJumpsFor(c.type);
        const std::vector<VDLStitch> expected = {st(1, 0), jump(c.jump, 0), st(0, c.stitch), jump(0, -c.jump),
                                                 jump(0, -1), st(1, 1), st(-c.stitch, 0), st(-1, 0)};
        EXPECT_EQ(describe(d.stitches()), describe(expected));
    }
}

TEST(Normalise, MergesRunsOfJumpsAndColourChanges) {
    // Jumps around a colour change become one jump followed by the colour change.
    EXPECT_EQ(normalised({st(1, 0), jump(10, 0), change(), jump(5, 5), st(1, 1)}, "DST"),
              "S(1,0) J(15,5) C(0,0) S(1,1)");
    // Moves that cancel out vanish, colour changes stay, in their number.
    EXPECT_EQ(normalised({st(1, 0), jump(10, 0), jump(-10, 0), st(2, 0)}, "DST"), "S(1,0) S(2,0)");
    EXPECT_EQ(normalised({st(1, 0), change(), jump(3, 0), change(), jump(-3, 0), st(2, 0)}, "DST"),
              "S(1,0) C(0,0) C(0,0) S(2,0)");
    // A colour change that moves keeps its move as an ordinary stitch in front of it; one that is
    // also flagged as a jump keeps it as a jump.
    EXPECT_EQ(normalised({st(1, 0), change(4, 0), st(2, 0)}, "DST"), "S(1,0) S(4,0) C(0,0) S(2,0)");
    VDLStitch both(4, 0, true, true);
    EXPECT_EQ(normalised({st(1, 0), both, st(2, 0)}, "DST"), "S(1,0) J(4,0) C(0,0) S(2,0)");
    // A trailing jump goes; two trailing jumps are merged first, then removed; a list that ends
    // in a colour change keeps the jump in front of it.
    EXPECT_EQ(normalised({st(1, 0), jump(5, 0)}, "DST"), "S(1,0)");
    EXPECT_EQ(normalised({st(1, 0), jump(5, 0), jump(7, 0)}, "DST"), "S(1,0)");
    EXPECT_EQ(normalised({st(1, 0), jump(5, 0), change()}, "DST"), "S(1,0) J(5,0) C(0,0)");
    // A merged jump too long for the format is cut after merging.
    EXPECT_EQ(normalised({st(1, 0), jump(100, 0), change(), jump(100, 0), st(1, 0)}, "DST"),
              "S(1,0) J(120,0) J(80,0) C(0,0) S(1,0)");
}

TEST(Normalise, BoundsCoverEndPointsOnlyAndDisplayRangeTheList) {
    VDLDesign d = makeDesign({st(10, 20), st(5, -5), jump(-30, 0), st(0, 1)}, "DST");
    d.setDisplayRange({2, 1});
    d.optimizeJumpsFor("DST");
    EXPECT_EQ(d.xMin(), -15.0f);
    EXPECT_EQ(d.xMax(), 15.0f);
    EXPECT_EQ(d.yMin(), 15.0f);  // the start point (0,0) is not an end point
    EXPECT_EQ(d.yMax(), 20.0f);
    EXPECT_EQ(d.displayRange(), (VDLRange{0, 4}));

    VDLDesign empty = makeDesign({jump(5, 5)}, "DST");
    empty.optimizeJumpsFor("DST");
    EXPECT_TRUE(empty.stitches().empty());
    EXPECT_EQ(empty.xMin(), FLT_MAX);
    EXPECT_EQ(empty.yMax(), -FLT_MAX);
    EXPECT_EQ(empty.displayRange(), (VDLRange{0, 0}));
}

TEST(Normalise, CorruptMovesEndInBoundedFinitePieces) {
    // Moves no machine field holds (corrupt archive, runaway transform) must not hang the pass.
    VDLDesign d = makeDesign({st(1, 0), jump(INFINITY, 5), st(NAN, 1), jump(1e30f, -1e30f), st(1, 1)}, "DST");
    d.optimizeJumpsFor("DST");
    EXPECT_LT(d.stitches().size(), 200000u);
    for (const auto& s : d.stitches()) {
        ASSERT_TRUE(std::isfinite(s.deltaX) && std::isfinite(s.deltaY));
        ASSERT_LE(std::fabs(s.deltaX), 120.0f);
        ASSERT_LE(std::fabs(s.deltaY), 120.0f);
    }
}

TEST(Normalise, InsertJumpBridgesAndAnchors) {
    VDLDesign d = makeDesign({st(1, 0, true), st(2, 0), jump(3, 0), st(4, 0, true), st(0, 0)}, "DST");
    // Out of range: no change; in particular nothing is appended behind the last stitch.
    EXPECT_EQ(d.insertJump({9, 9}, 5), 5);
    EXPECT_EQ(d.insertJump({9, 9}, -1), -1);
    EXPECT_EQ(d.stitches().size(), 5u);
    // Before an ordinary stitch that follows an ordinary one: jump plus an anchoring null stitch
    // that takes over the stitch's selection.
    EXPECT_EQ(d.insertJump({7.5, -2}, 0), 2);
    EXPECT_EQ(describe(d.stitches()), "J(7.5,-2) S(0,0)* S(1,0)* S(2,0) J(3,0) S(4,0)* S(0,0)");
    // After a jump, before a null stitch or before a jump: the jump alone.
    EXPECT_EQ(d.insertJump({1, 1}, 5), 6);
    EXPECT_EQ(d.insertJump({2, 2}, 7), 8);
    EXPECT_EQ(d.insertJump({3, 3}, 4), 5);
    EXPECT_EQ(describe(d.stitches()),
              "J(7.5,-2) S(0,0)* S(1,0)* S(2,0) J(3,3) J(3,0) J(1,1) S(4,0)* J(2,2) S(0,0)");
}

TEST(Normalise, SelectionIsTrimmedOfJumpsAndColourChanges) {
    // The selection [jump, stitch, stitch, colour change] keeps only its two stitches.
    VDLDesign d = makeDesign({st(1, 0), jump(50, 0, true), st(5, 0, true), st(5, 0, true), change(0, 0, true),
                              st(3, 0)},
                             "DST");
    d.optimizeJumpsFor("DST");
    EXPECT_EQ(describe(d.stitches()), "S(1,0) J(50,0) S(5,0)* S(5,0)* C(0,0) S(3,0)");

    VDLDesign t = makeDesign({jump(1, 0, true), change(0, 0, true), st(1, 0, true), jump(2, 0, true),
                              st(1, 0, true), jump(2, 0, true), change(0, 0, true)},
                             "DST");
    EXPECT_TRUE(t.trimSelectedJumps());
    EXPECT_EQ(describe(t.stitches()), "J(1,0) C(0,0) S(1,0)* J(2,0)* S(1,0)* J(2,0) C(0,0)");
    EXPECT_FALSE(t.trimSelectedJumps());
    VDLDesign onlyJumps = makeDesign({st(1, 0), jump(2, 0, true), jump(3, 0, true), st(1, 0)}, "DST");
    EXPECT_TRUE(onlyJumps.trimSelectedJumps());
    EXPECT_EQ(describe(onlyJumps.stitches()), "S(1,0) J(2,0) J(3,0) S(1,0)");
}

TEST(Normalise, SwitchSelectionToJumpsAndBack) {
    VDLDesign d = makeDesign({st(1, 0), st(2, 0, true), st(3, 0, true), st(4, 0, true), st(5, 0)}, "DST");
    EXPECT_TRUE(d.switchSelectionToJumps(true));
    // The selected run collapses into one jump, which the trim then deselects.
    EXPECT_EQ(describe(d.stitches()), "S(1,0) J(9,0) S(5,0)");

    VDLDesign e = makeDesign({jump(2, 0, true), st(3, 0, true), jump(4, 0, true), st(5, 0)}, "PES");
    EXPECT_TRUE(e.switchSelectionToJumps(false));
    EXPECT_EQ(describe(e.stitches()), "S(2,0)* S(3,0)* S(4,0)* S(5,0)");
}

// Random designs of every kind of record, normalised for each format: the thread count stays
// consistent, every ordinary stitch still ends where it did, no move exceeds its limit, the
// run and colour-change invariants hold, and the bounds are the end-point bounds.
TEST(Normalise, RandomDesignsKeepPositionsAndLimits) {
    std::mt19937 rng(20240611);
    const std::pair<const char*, std::pair<float, float>> types[] = {
        {"DST", {120, 120}}, {"PES", {62, 2046}}, {"JEF", {126, 126}}, {"PCS", {1150, 1150}}, {"KSM", {999999, 999999}}};
    for (int round = 0; round < 60; ++round) {
        const auto& [type, limits] = types[round % 5];
        SCOPED_TRACE(std::string(type) + " round " + std::to_string(round));
        std::vector<VDLStitch> list;
        const int count = 1 + int(rng() % 400);
        float x = 0, y = 0;  // kept within a hoop-sized field by steering back towards the origin
        for (int i = 0; i < count; ++i) {
            const unsigned kind = rng() % 20;
            const float range = kind < 2 ? 3000.0f : (kind < 8 ? 300.0f : 80.0f);
            const auto value = [&] { return std::round((float(rng() % 20001) / 10000.0f - 1.0f) * range * 2) / 2; };
            VDLStitch s(value(), value(), kind >= 8 && kind < 13, kind >= 17);
            if (kind == 13) s.deltaX = s.deltaY = 0;  // an empty ordinary stitch
            if (kind == 14) s = jump(0, 0);           // an empty jump
            if (kind == 18) s.deltaX = s.deltaY = 0;  // a plain colour change
            if (kind == 19) s.isJumpStitch = true;    // flagged both ways: a colour change
            s.isSelected = rng() % 3 == 0;
            if ((x > 4000 && s.deltaX > 0) || (x < -4000 && s.deltaX < 0)) s.deltaX = -s.deltaX;
            if ((y > 4000 && s.deltaY > 0) || (y < -4000 && s.deltaY < 0)) s.deltaY = -s.deltaY;
            x += s.deltaX;
            y += s.deltaY;
            list.push_back(s);
        }
        VDLDesign before = makeDesign(list, type);
        VDLDesign d = before;
        ASSERT_EQ(d.numberOfThreads(), int64_t(colorChanges(d) + 1));
        d.optimizeJumpsFor(type);
        ASSERT_EQ(d.numberOfThreads(), int64_t(colorChanges(d) + 1));
        ASSERT_EQ(colorChanges(d), colorChanges(before));

        const auto& out = d.stitches();
        for (size_t i = 0; i < out.size(); ++i) {
            const VDLStitch& s = out[i];
            const float limit = s.isJumpStitch ? limits.second : limits.first;
            ASSERT_LE(std::fabs(s.deltaX), limit) << i;
            ASSERT_LE(std::fabs(s.deltaY), limit) << i;
            if (s.isColorChange) {
                ASSERT_TRUE(s.isNullStitch() && !s.isJumpStitch) << i;
            }
            if (s.isJumpStitch) {
                ASSERT_FALSE(s.isNullStitch()) << i;
            }
            // In a run of jumps and colour changes the colour changes come last.
            if (i > 0 && out[i - 1].isColorChange && s.isJumpStitch) FAIL() << "jump after colour change at " << i;
        }

        // Every ordinary stitch of the original still ends at its position, in order (within the
        // float rounding of pieces cut along a slope: 0.2 units, 0.02 mm).
        const auto oldPositions = absolutePositions(before);
        const auto newPositions = absolutePositions(d);
        size_t k = 0;
        for (size_t i = 0; i < list.size(); ++i) {
            if (list[i].isJumpStitch || list[i].isColorChange) continue;
            const VDLPoint p = oldPositions[i];
            while (k < newPositions.size() &&
                   (std::fabs(newPositions[k].x - p.x) > 0.2 || std::fabs(newPositions[k].y - p.y) > 0.2))
                ++k;
            ASSERT_LT(k, newPositions.size()) << "ordinary stitch " << i << " lost its position";
            ++k;
        }

        VDLDesign walked = d;
        walked.recomputeBounds();
        if (!out.empty()) {
            EXPECT_EQ(d.xMin(), walked.xMin());
            EXPECT_EQ(d.xMax(), walked.xMax());
            EXPECT_EQ(d.yMin(), walked.yMin());
            EXPECT_EQ(d.yMax(), walked.yMax());
        }
        EXPECT_EQ(d.displayRange(), (VDLRange{0, out.size()}));
    }
}
