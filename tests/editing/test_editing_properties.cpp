// Every selection edit on random designs: unedited stitches stay where they were and in their
// thread block, edited stitches land where the point map sends them, the thread count follows
// the colour changes, and the list is normalised afterwards.
#include "EditingTestHelpers.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

using namespace edittest;

namespace {

// A normalised "DST" design. Sewn stitches stay under the limit of 120 even when turned or
// enlarged by half, so none is cut and they match one to one before and after an edit.
VDLDesign randomDesign(std::mt19937& rng) {
    std::uniform_real_distribution<float> small(-60, 60), far(-400, 400);
    std::vector<VDLStitch> list;
    int changes = 0;
    for (int i = 0, n = int(rng() % 400); i < n; ++i) {
        const unsigned k = rng() % 100;
        if (k < 5 && changes < 19) list.push_back(change()), ++changes;
        else if (k < 15) list.push_back(jump(far(rng), far(rng)));
        else if (k < 18) list.push_back(st(0, 0));
        else list.push_back(st(std::round(small(rng)) + 0.5f, std::round(small(rng) * 10) / 10));
    }
    VDLDesign d = makeDesign(list, "DST");
    d.optimizeJumpsFor("DST");
    bool on = rng() % 2, any = false;  // selected runs: the state flips with probability 0.2
    for (auto& s : d.stitches()) {
        on = (rng() % 5 == 0) ? !on : on;
        any = any || on;
        s.isSelected = on;
    }
    d.setSelectionActive(any);
    return d;
}

void expectConsistentAndNormalised(const VDLDesign& d) {
    const auto& list = d.stitches();
    size_t changes = 0;
    float x = 0, y = 0, xMin = 3.4028235e38f, yMin = xMin, xMax = -xMin, yMax = -xMin;
    for (size_t i = 0; i < list.size(); ++i) {
        const VDLStitch& s = list[i];
        changes += s.isColorChange;
        EXPECT_FALSE(s.isColorChange && (!s.isNullStitch() || s.isJumpStitch)) << i;
        EXPECT_FALSE(s.isJumpStitch && (s.isNullStitch() || (i > 0 && list[i - 1].isColorChange))) << i;
        EXPECT_TRUE(std::fabs(s.deltaX) <= 120 && std::fabs(s.deltaY) <= 120) << i;
        x += s.deltaX, y += s.deltaY;
        xMin = std::min(xMin, x), xMax = std::max(xMax, x), yMin = std::min(yMin, y), yMax = std::max(yMax, y);
    }
    if (!list.empty()) {
        EXPECT_EQ(d.threads().size(), changes + 1);
        EXPECT_FALSE(list.back().isJumpStitch);
        EXPECT_EQ(VDLMakeRect(d.xMin(), d.yMin(), d.xMax(), d.yMax()), VDLMakeRect(xMin, yMin, xMax, yMax));
    }
    EXPECT_EQ(d.displayRange(), (VDLRange{0, list.size()}));
}

// The sewn stitches after an edit against those before: selected ones mapped (or gone when
// map is empty), the others where they were, each in the same thread.
void expectSewn(const VDLDesign& before, const VDLDesign& after, const std::function<VDLPoint(VDLPoint)>& map,
                double tol) {
    std::vector<Sewn> want;
    for (Sewn s : sewnStitches(before)) {
        if (s.selected && !map) continue;
        if (s.selected) s.end = map(s.end);
        want.push_back(s);
    }
    const auto got = sewnStitches(after);
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < got.size(); ++i) {
        ASSERT_NEAR(got[i].end.x, want[i].end.x, tol) << i;
        ASSERT_NEAR(got[i].end.y, want[i].end.y, tol) << i;
        ASSERT_EQ(got[i].selected, want[i].selected) << i;
        ASSERT_EQ(got[i].threadKey, want[i].threadKey) << i;
    }
}

}  // namespace

TEST(EditingProperties, EditsKeepUneditedStitchesAndMapTheSelection) {
    std::mt19937 rng(20240611);
    for (int round = 0; round < 40 && !HasFailure(); ++round) {
        const VDLDesign d = randomDesign(rng);
        const VDLRect r = d.selectionRect();
        const double cx = r.origin.x + r.size.width / 2, cy = r.origin.y + r.size.height / 2;
        const double vx = double(rng() % 600) - 300, vy = double(rng() % 600) - 300;
        const int deg = int(rng() % 1440) - 720;
        const double a = deg * 0.017453292519943295, c = std::cos(a), s = std::sin(a);
        const double f = float(0.5 + (rng() % 1000) / 1000.0);
        struct Case {
            std::string name;
            std::function<void(VDLDesign&)> edit;
            std::function<VDLPoint(VDLPoint)> map;  // empty: the selection is deleted
            double tol;
        } cases[] = {
            {"move", [&](VDLDesign& e) { e.moveSelectionByVector({vx, vy}); },
             [&](VDLPoint p) { return VDLPoint{p.x + vx, p.y + vy}; }, 1e-3},
            {"flip V", [](VDLDesign& e) { e.flipSelection("V"); },
             [&](VDLPoint p) { return VDLPoint{2 * cx - p.x, p.y}; }, 5e-3},
            {"flip H", [](VDLDesign& e) { e.flipSelection("H"); },
             [&](VDLPoint p) { return VDLPoint{p.x, 2 * cy - p.y}; }, 5e-3},
            {"rotate " + std::to_string(deg), [&](VDLDesign& e) { e.rotateSelectionByDegrees(deg); },
             [&](VDLPoint p) {
                 return VDLPoint{c * (p.x - cx) - s * (p.y - cy) + cx, s * (p.x - cx) + c * (p.y - cy) + cy};
             },
             0.05},
            {"resize " + std::to_string(f), [&](VDLDesign& e) { e.resizeSelectionByPercent(float(f)); },
             [&](VDLPoint p) { return VDLPoint{(p.x - cx) * f + cx, (p.y - cy) * f + cy}; }, 0.01},
            {"delete", [](VDLDesign& e) { e.deleteSelection(); }, nullptr, 1e-3},
        };
        for (const Case& k : cases) {
            SCOPED_TRACE("round " + std::to_string(round) + ", " + k.name);
            VDLDesign e = d;
            k.edit(e);
            expectConsistentAndNormalised(e);
            expectSewn(d, e, k.map, k.tol);
        }
    }
}
