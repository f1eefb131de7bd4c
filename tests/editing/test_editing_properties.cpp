// Properties of every selection edit on random designs: stitches that were not edited stay
// where they were (and in their thread block), edited stitches land where the point map sends
// them, the thread count follows the colour changes, and the list is normalised afterwards.
#include "EditingTestHelpers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <random>

using namespace edittest;

namespace {

constexpr float kDstLimit = 120;

// A normalised "DST" design of up to 20 blocks. Ordinary stitches stay well under the stitch
// limit even when rotated or enlarged by half, so the pass never cuts a sewn stitch and they
// can be matched one to one before and after an edit.
VDLDesign randomDesign(std::mt19937& rng) {
    std::uniform_real_distribution<float> small(-60, 60), far(-400, 400);
    std::uniform_int_distribution<int> kind(0, 99), length(1, 400);
    std::vector<VDLStitch> list;
    int changes = 0;
    const int n = length(rng);
    for (int i = 0; i < n; ++i) {
        const int k = kind(rng);
        if (k < 5 && changes < 19) {
            list.push_back(change());
            ++changes;
        } else if (k < 15) {
            list.push_back(jump(far(rng), far(rng)));
        } else if (k < 18) {
            list.push_back(st(0, 0));
        } else {
            float x = std::round(small(rng) * 10) / 10, y = std::round(small(rng) * 10) / 10;
            if (x == 0 && y == 0) x = 1;
            list.push_back(st(x, y));
        }
    }
    VDLDesign d = makeDesign(list, "DST");
    d.optimizeJumpsFor("DST");
    // Selection in runs: each record keeps the previous record's state with probability 0.8.
    std::bernoulli_distribution flip(0.2), start(0.5);
    std::vector<bool> sel;
    bool on = start(rng);
    for (size_t i = 0; i < d.stitches().size(); ++i) {
        if (flip(rng)) on = !on;
        sel.push_back(on);
    }
    setSelection(d, sel);
    return d;
}

size_t colorChanges(const VDLDesign& d) {
    size_t n = 0;
    for (const auto& s : d.stitches()) n += s.isColorChange ? 1 : 0;
    return n;
}

// What holds after the normalisation pass for a "DST" design.
void expectNormalised(const VDLDesign& d) {
    const auto& list = d.stitches();
    float x = 0, y = 0;
    float xMin = 3.4028235e38f, yMin = 3.4028235e38f, xMax = -3.4028235e38f, yMax = -3.4028235e38f;
    for (size_t i = 0; i < list.size(); ++i) {
        const VDLStitch& s = list[i];
        if (s.isColorChange) {
            EXPECT_TRUE(s.isNullStitch() && !s.isJumpStitch) << "colour change " << i;
        }
        if (s.isJumpStitch) {
            EXPECT_FALSE(s.isNullStitch()) << "zero jump " << i;
            EXPECT_FALSE(i > 0 && list[i - 1].isColorChange) << "jump after a colour change " << i;
        }
        EXPECT_LE(std::fabs(s.deltaX), kDstLimit + 1e-3f) << i;
        EXPECT_LE(std::fabs(s.deltaY), kDstLimit + 1e-3f) << i;
        x += s.deltaX;
        y += s.deltaY;
        xMin = std::min(xMin, x);
        xMax = std::max(xMax, x);
        yMin = std::min(yMin, y);
        yMax = std::max(yMax, y);
    }
    if (!list.empty()) {
        EXPECT_FALSE(list.back().isJumpStitch) << "trailing jump";
        EXPECT_EQ(d.xMin(), xMin);
        EXPECT_EQ(d.xMax(), xMax);
        EXPECT_EQ(d.yMin(), yMin);
        EXPECT_EQ(d.yMax(), yMax);
    }
    EXPECT_EQ(d.displayRange(), (VDLRange{0, list.size()}));
}

using PointMap = std::function<VDLPoint(VDLPoint)>;

VDLPoint centreOf(const VDLRect& r) { return {r.origin.x + r.size.width / 2, r.origin.y + r.size.height / 2}; }

// Applies EDIT and checks the sewn stitches against MAP (selected) and identity (the rest).
void checkTransform(const VDLDesign& original, const std::function<void(VDLDesign&)>& edit, const PointMap& map,
                    double tol, const std::string& what) {
    SCOPED_TRACE(what);
    VDLDesign d = original;
    edit(d);
    EXPECT_EQ(d.threads().size(), colorChanges(d) + 1);
    EXPECT_EQ(colorChanges(d), colorChanges(original));
    expectNormalised(d);

    const auto before = sewnStitches(original), after = sewnStitches(d);
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < before.size(); ++i) {
        const VDLPoint want = before[i].selected ? map(before[i].end) : before[i].end;
        EXPECT_NEAR(after[i].end.x, want.x, tol) << "sewn stitch " << i;
        EXPECT_NEAR(after[i].end.y, want.y, tol) << "sewn stitch " << i;
        EXPECT_EQ(after[i].selected, before[i].selected) << "sewn stitch " << i;
        EXPECT_EQ(after[i].threadKey, before[i].threadKey) << "sewn stitch " << i;
        if (::testing::Test::HasFailure()) return;
    }
}

}  // namespace

TEST(EditingProperties, TransformsKeepUneditedStitchesAndMapTheSelection) {
    std::mt19937 rng(20240611);
    std::uniform_real_distribution<double> offset(-300, 300), factor(0.5, 1.5);
    std::uniform_int_distribution<int> angle(-720, 720);
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const VDLDesign d = randomDesign(rng);
        const VDLPoint C = centreOf(d.selectionRect());

        const VDLPoint v{offset(rng), offset(rng)};
        checkTransform(d, [&](VDLDesign& e) { e.moveSelectionByVector(v); },
                       [&](VDLPoint p) { return VDLPoint{p.x + v.x, p.y + v.y}; }, 1e-3, "move");
        checkTransform(d, [](VDLDesign& e) { e.flipSelection("V"); },
                       [&](VDLPoint p) { return VDLPoint{2 * C.x - p.x, p.y}; }, 5e-3, "flip V");
        checkTransform(d, [](VDLDesign& e) { e.flipSelection("H"); },
                       [&](VDLPoint p) { return VDLPoint{p.x, 2 * C.y - p.y}; }, 5e-3, "flip H");
        const int deg = angle(rng);
        const double a = deg * 0.017453292519943295, c = std::cos(a), s = std::sin(a);
        checkTransform(d, [&](VDLDesign& e) { e.rotateSelectionByDegrees(deg); },
                       [&](VDLPoint p) {
                           return VDLPoint{c * (p.x - C.x) - s * (p.y - C.y) + C.x,
                                           s * (p.x - C.x) + c * (p.y - C.y) + C.y};
                       },
                       0.05, "rotate " + std::to_string(deg));
        const double f = float(factor(rng));
        checkTransform(d, [&](VDLDesign& e) { e.resizeSelectionByPercent(float(f)); },
                       [&](VDLPoint p) { return VDLPoint{(p.x - C.x) * f + C.x, (p.y - C.y) * f + C.y}; }, 0.01,
                       "resize " + std::to_string(f));
        if (HasFailure()) return;
    }
}

TEST(EditingProperties, DeleteKeepsUnselectedStitchesInTheirBlocks) {
    std::mt19937 rng(77);
    for (int round = 0; round < 60; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const VDLDesign original = randomDesign(rng);
        VDLDesign d = original;
        EXPECT_TRUE(d.deleteSelection());
        if (d.stitches().empty()) {
            EXPECT_TRUE(d.threads().empty());
        } else {
            EXPECT_EQ(d.threads().size(), colorChanges(d) + 1);
            expectNormalised(d);
        }

        std::vector<Sewn> kept;
        for (const Sewn& s : sewnStitches(original))
            if (!s.selected) kept.push_back(s);
        const auto after = sewnStitches(d);
        ASSERT_EQ(after.size(), kept.size());
        for (size_t i = 0; i < kept.size(); ++i) {
            EXPECT_NEAR(after[i].end.x, kept[i].end.x, 1e-3) << i;
            EXPECT_NEAR(after[i].end.y, kept[i].end.y, 1e-3) << i;
            EXPECT_EQ(after[i].threadKey, kept[i].threadKey) << i;
        }
        // When colour changes are left, every block sews something (block 0 as well).
        size_t sewing = 0, blocks = 1;
        bool sews = false;
        for (const auto& s : d.stitches()) {
            if (s.isColorChange) {
                sewing += sews;
                ++blocks;
                sews = false;
            } else if (!s.isJumpStitch && !s.isNullStitch()) {
                sews = true;
            }
        }
        sewing += sews;
        if (blocks > 1) {
            EXPECT_EQ(sewing, blocks);
        }
        if (HasFailure()) return;
    }
}
