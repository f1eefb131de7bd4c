// A design carried through every writable format in turn keeps its needle drops.
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <random>

namespace {

// Positions of the sewn records that move (neither jump, colour change nor null stitch), in
// sewing order. EXP writes a colour change as its own record, which reads back with a null
// stitch after it; such stitches add no needle position. PCS positions carry the residue of
// its 1.6666666667 step factor, so "moves" below 0.01 units count as none.
std::vector<VDLPoint> sewnPositions(const VDLDesign& d) {
    std::vector<VDLPoint> out;
    float x = 0, y = 0;
    for (const auto& s : d.stitches()) {
        x += s.deltaX;
        y += s.deltaY;
        const bool moves = std::fabs(s.deltaX) >= 0.01f || std::fabs(s.deltaY) >= 0.01f;
        if (!s.isJumpStitch && !s.isColorChange && moves) out.push_back({double(x), double(y)});
    }
    return out;
}

// Whole-unit moves below every format's limit, a few jumps and colour changes, starting at
// the origin so every writer (DST needs the start point inside the bounds) accepts it.
VDLDesign randomDesign(unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> step(-40, 40), jumpStep(-300, 300), roll(0, 99);
    std::vector<VDLStitch> list{VDLStitch(0, 0, false, false)};
    int x = 0, y = 0, changes = 0;
    // Moves that would leave a 90 × 90 mm box are turned back, so the design fits every
    // writer's size limit and hoop (PCS "L" is the smallest: 120 × 115 mm).
    auto bounded = [](int pos, int d) { return std::abs(pos + d) > 450 ? -d : d; };
    for (int i = 0; i < 600; ++i) {
        const int r = roll(rng);
        if (r < 3 && i > 10 && changes < 12) {  // PCS holds at most 16 threads
            ++changes;
            list.emplace_back(0.0f, 0.0f, false, true);
            continue;
        }
        const bool isJump = r < 8;
        int dx = bounded(x, isJump ? jumpStep(rng) : step(rng));
        const int dy = bounded(y, isJump ? jumpStep(rng) : step(rng));
        // PCS keeps 1/6 mm steps and reads two drops on one step as a jump: every move is at
        // least 0.4 mm along one axis.
        if (std::abs(dx) < 4 && std::abs(dy) < 4) dx = bounded(x, dx < 0 ? -4 : 4);
        x += dx;
        y += dy;
        list.emplace_back(float(dx), float(dy), isJump, false);
    }
    list.emplace_back(1.0f, 1.0f, false, false);
    return makeDesign(list, "DST");
}

}  // namespace

TEST(CrossFormat, DstPesJefPecExpPcsDstKeepsTheNeedleDrops) {
    TempDir dir;
    for (unsigned seed : {1u, 2u, 3u}) {
        VDLDesign d = randomDesign(seed);
        VDLError e;
        ASSERT_TRUE(d.exportDesignToURL(dir.url("start.dst"), &e)) << e.message();
        VDLDesign current;
        ASSERT_TRUE(current.importDesignFromURL(dir.url("start.dst"), &e)) << e.message();
        const auto expected = sewnPositions(current);
        const size_t threads = current.threads().size();
        ASSERT_GT(expected.size(), 400u);

        // Each leg keeps every needle drop within its own rounding of the leg before: one unit
        // for the 0.1 mm formats (PEC blocks also re-centre odd sizes by half a unit), half a
        // 1/6 mm step for PCS.
        for (const char* ext : {"pes", "jef", "pec", "exp", "pcs", "dst"}) {
            const std::string name = std::string("leg.") + ext;
            const auto before = sewnPositions(current);
            ASSERT_TRUE(current.exportDesignToURL(dir.url(name), &e)) << ext << ": " << e.message();
            VDLDesign next;
            ASSERT_TRUE(next.importDesignFromURL(dir.url(name), &e)) << ext << ": " << e.message();
            EXPECT_EQ(next.threads().size(), threads) << ext;
            const auto got = sewnPositions(next);
            ASSERT_EQ(got.size(), before.size()) << ext;
            const double tolerance = std::string(ext) == "pcs" ? 0.85 : 1.001;  // plus float noise
            for (size_t i = 0; i < got.size(); ++i) {
                ASSERT_NEAR(got[i].x, before[i].x, tolerance) << ext << " " << i;
                ASSERT_NEAR(got[i].y, before[i].y, tolerance) << ext << " " << i;
            }
            current = next;
        }
        // Over all six legs the design has not wandered by more than the legs' rounding.
        const auto last = sewnPositions(current);
        for (size_t i = 0; i < last.size(); ++i) {
            ASSERT_NEAR(last[i].x, expected[i].x, 4.0) << i;
            ASSERT_NEAR(last[i].y, expected[i].y, 4.0) << i;
        }
    }
}

TEST(CrossFormat, BrotherAndJanomeIndicesSurviveTheirOwnFormat) {
    TempDir dir;
    VDLDesign d = randomDesign(7);
    // Chart threads of the machine's own palette keep their keys through their format.
    for (size_t i = 0; i < d.threads().size(); ++i) d.threads()[i] = VDLThread(i % 2 ? "007" : "405", "Brother");
    VDLError e;
    ASSERT_TRUE(d.exportDesignToURL(dir.url("a.pes"), &e)) << e.message();
    VDLDesign pes;
    ASSERT_TRUE(pes.importDesignFromURL(dir.url("a.pes"), &e)) << e.message();
    for (size_t i = 0; i < pes.threads().size(); ++i) EXPECT_EQ(pes.threads()[i].key(), i % 2 ? "007" : "405");

    for (size_t i = 0; i < d.threads().size(); ++i) d.threads()[i] = VDLThread(i % 2 ? "220" : "002", "Janome");
    ASSERT_TRUE(d.exportDesignToURL(dir.url("a.jef"), &e)) << e.message();
    VDLDesign jef;
    ASSERT_TRUE(jef.importDesignFromURL(dir.url("a.jef"), &e)) << e.message();
    for (size_t i = 0; i < jef.threads().size(); ++i) EXPECT_EQ(jef.threads()[i].key(), i % 2 ? "220" : "002");
}
