// Thread-block operations. Block moves are checked record for record on small designs and, on
// random designs, for what the sewing order must keep: every block sewn at its own positions,
// in the new order, with its own thread, and one thread per block. (The benchmark checks the
// one-pass move against the record-by-record walk on a large design.)
#include "EditingTestHelpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace edittest;

namespace {

std::string keys(const VDLDesign& d) {
    std::string out;
    for (const auto& t : d.threads()) out += (out.empty() ? "" : ",") + t.key();
    return out;
}

size_t colorChanges(const VDLDesign& d) {
    return size_t(std::count_if(d.stitches().begin(), d.stitches().end(), [](auto& s) { return s.isColorChange; }));
}

// Per block: its thread's name and the end points of its sewn (ordinary, moving) stitches.
using Blocks = std::vector<std::pair<std::string, std::vector<VDLPoint>>>;

Blocks blocks(const VDLDesign& d) {
    Blocks out(1);
    double x = 0, y = 0;
    for (const auto& s : d.stitches()) {
        x += s.deltaX, y += s.deltaY;
        if (s.isColorChange) out.emplace_back();
        if (!s.isJumpStitch && !s.isColorChange && (std::fabs(s.deltaX) >= 1e-3f || std::fabs(s.deltaY) >= 1e-3f))
            out.back().second.push_back({x, y});
    }
    for (size_t k = 0; k < out.size() && k < d.threads().size(); ++k) out[k].first = d.threads()[k].name();
    return out;
}

Blocks reordered(const Blocks& b, int from, int to) {
    Blocks out = b;
    out.erase(out.begin() + from);
    out.insert(out.begin() + to, b[size_t(from)]);
    return out;
}

void expectSameBlocks(const Blocks& want, const Blocks& got) {
    ASSERT_EQ(want.size(), got.size());
    for (size_t k = 0; k < want.size(); ++k) {
        EXPECT_EQ(want[k].first, got[k].first) << "block " << k;
        ASSERT_EQ(want[k].second.size(), got[k].second.size()) << "block " << k;
        for (size_t i = 0; i < want[k].second.size(); ++i) {
            EXPECT_NEAR(want[k].second[i].x, got[k].second[i].x, 1e-2) << "block " << k << " stitch " << i;
            EXPECT_NEAR(want[k].second[i].y, got[k].second[i].y, 1e-2) << "block " << k << " stitch " << i;
        }
    }
}

// One thread per block, and what the pass leaves (ordinary stitches stay under 120 units).
void expectConsistentAndNormalised(const VDLDesign& d) {
    EXPECT_EQ(d.threads().size(), colorChanges(d) + 1);
    const auto& list = d.stitches();
    for (size_t i = 0; i < list.size(); ++i) {
        const VDLStitch& s = list[i];
        EXPECT_TRUE(!s.isColorChange || (s.isNullStitch() && !s.isJumpStitch)) << i;
        EXPECT_TRUE(!s.isJumpStitch || (!s.isNullStitch() && !(i > 0 && list[i - 1].isColorChange))) << i;
        EXPECT_TRUE(std::fabs(s.deltaX) <= 120 && std::fabs(s.deltaY) <= 120) << i;
    }
    EXPECT_FALSE(!list.empty() && list.back().isJumpStitch);
    EXPECT_EQ(d.displayRange().length, list.size());
}

void nameThreads(VDLDesign& d) {
    for (size_t k = 0; k < d.threads().size(); ++k) d.threads()[k].setName("T" + std::to_string(k));
}

// A normalised "DST" design of 1 to 8 blocks, some empty, that starts with a jump or (with
// emptyFirst) with a colour change followed by a stitch.
VDLDesign randomDesign(std::mt19937& rng, bool emptyFirst) {
    std::uniform_real_distribution<float> small(-50, 50), far(-300, 300);
    std::vector<VDLStitch> list = emptyFirst ? std::vector{change(), st(5, 5)} : std::vector{jump(far(rng), far(rng))};
    const int changes = int(rng() % 8);
    for (int b = 0; b <= changes; ++b) {
        if (b > 0) list.push_back(change());
        const int n = rng() % 7 == 0 ? 0 : int(1 + rng() % 120);
        for (int i = 0; i < n; ++i) {
            const unsigned k = rng() % 100;
            list.push_back(k < 8 ? jump(far(rng), far(rng)) : k < 10 ? st(0, 0)
                                                                       : st(std::round(small(rng)) + 0.5f, small(rng)));
        }
    }
    list.push_back(st(1, 1));
    VDLDesign d = makeDesign(list, "DST");
    d.optimizeJumpsFor("DST");
    nameThreads(d);
    return d;
}

// Four blocks, threads "1" to "4" named "T0" to "T3"; the list starts with a jump.
VDLDesign fourBlocks() {
    VDLDesign d = makeDesign({jump(100, 0), st(10, 0), st(10, 0), change(), st(0, 10), st(0, 10), change(),
                              st(-10, 0), change(), st(0, -10), st(0, -10)});
    nameThreads(d);
    return d;
}

}  // namespace

TEST(ThreadBlocks, MovesKeepEveryBlockWhereItWasInTheNewOrder) {
    const VDLDesign d = fourBlocks();
    for (auto [f, t] : {std::pair{1, 3}, {3, 1}, {3, 0}, {0, 2}, {2, 3}, {1, 0}}) {
        VDLDesign e = d;
        EXPECT_TRUE(e.moveThreadFromIndex(f, t));
        SCOPED_TRACE(std::to_string(f) + " -> " + std::to_string(t));
        expectConsistentAndNormalised(e);
        expectSameBlocks(reordered(blocks(d), f, t), blocks(e));
    }
    // 1 to 3: a jump over block 1's place opens block 2; block 1 comes last, entered by a jump
    // from the end of block 3; its former colour change stays as a needle drop.
    VDLDesign late = d;
    late.moveThreadFromIndex(1, 3);
    EXPECT_EQ(describe(late.stitches()), "J(100,0) S(10,0) S(10,0) J(0,20) C(0,0) S(0,0) S(-10,0) C(0,0) S(0,-10) "
                                         "S(0,-10) J(10,0) C(0,0) S(0,10) S(0,10)");
    EXPECT_EQ(keys(late), "1,3,4,2");
    // The last block to 0: entered by a jump from the start point, left by one back to it,
    // which the pass merges with the first jump of the former block 0 (now opened by a
    // colour change).
    VDLDesign first = d;
    first.moveThreadFromIndex(3, 0);
    EXPECT_EQ(describe(first.stitches()), "J(110,20) S(0,0) S(0,-10) S(0,-10) J(-10,0) C(0,0) S(10,0) S(10,0) C(0,0) "
                                          "S(0,10) S(0,10) C(0,0) S(-10,0)");
    EXPECT_EQ(keys(first), "4,1,2,3");
    // Block 0 elsewhere: the former block 1 loses its colour change and becomes block 0.
    VDLDesign zero = d;
    zero.moveThreadFromIndex(0, 1);
    EXPECT_EQ(describe(zero.stitches()), "J(120,0) S(0,0) S(0,10) S(0,10) J(-20,-20) C(0,0) S(10,0) S(10,0) J(0,20) "
                                         "C(0,0) S(-10,0) C(0,0) S(0,-10) S(0,-10)");
    EXPECT_EQ(keys(zero), "2,1,3,4");
    // A first record that moves and now opens a block behind a jump is merged into the jump.
    VDLDesign moving = makeDesign({st(10, 0), st(10, 0), change(), st(0, 10)});
    moving.moveThreadFromIndex(1, 0);
    EXPECT_EQ(describe(moving.stitches()), "J(20,0) S(0,0) S(0,10) J(-10,-10) C(0,0) S(10,0)");

    // Equal indexes or one out of range: nothing at all, not even the pass. More threads than
    // blocks: the missing block is not moved.
    for (auto [f, t] : {std::pair{1, 1}, {0, 2}, {2, 0}, {-1, 0}}) {
        VDLDesign e = makeDesign({st(10, 0), change(), st(0, 10), jump(5, 5)});
        e.moveThreadFromIndex(f, t);
        EXPECT_EQ(describe(e.stitches()), "S(10,0) C(0,0) S(0,10) J(5,5)");
    }
    VDLDesign missing = makeDesign({st(10, 0), change(), st(0, 10)});
    missing.threads().emplace_back("3", "Undefined");
    missing.moveThreadFromIndex(2, 0);
    EXPECT_EQ(describe(missing.stitches()), "S(10,0) C(0,0) S(0,10)");
    EXPECT_EQ(keys(missing), "1,2,3");
}

TEST(ThreadBlocks, AnEmptyFirstBlockMovesAsALoneColourChange) {
    VDLDesign d = makeDesign({change(), st(10, 0), st(10, 0), change(), st(0, 10)});
    nameThreads(d);
    for (auto [f, t] : {std::pair{0, 2}, {2, 0}, {1, 2}, {0, 1}, {1, 0}}) {
        VDLDesign e = d;
        e.moveThreadFromIndex(f, t);
        SCOPED_TRACE(std::to_string(f) + " -> " + std::to_string(t));
        expectConsistentAndNormalised(e);
        expectSameBlocks(reordered(blocks(d), f, t), blocks(e));
    }
}

TEST(ThreadBlocks, RandomMovesKeepEveryBlockAndOneThreadPerBlock) {
    std::mt19937 rng(7351);
    for (int round = 0; round < 150 && !HasFailure(); ++round) {
        const VDLDesign d = randomDesign(rng, round % 4 == 3);
        const int n = int(d.threads().size()), f = int(rng() % unsigned(n)), t = int(rng() % unsigned(n));
        if (f == t) continue;
        SCOPED_TRACE("round " + std::to_string(round) + ": " + std::to_string(f) + " -> " + std::to_string(t));
        VDLDesign e = d;
        e.moveThreadFromIndex(f, t);
        expectConsistentAndNormalised(e);
        expectSameBlocks(reordered(blocks(d), f, t), blocks(e));
        e.moveThreadFromIndex(t, f);
        expectSameBlocks(blocks(d), blocks(e));
    }
}

TEST(ThreadBlocks, CombiningABlockWithItsPredecessor) {
    const std::vector<VDLStitch> list = {st(10, 0), change(), st(0, 10), change(), st(-10, 0), st(-5, 0)};
    VDLDesign last = makeDesign(list);
    EXPECT_TRUE(last.deleteThreadAtIndex(2));
    EXPECT_EQ(describe(last.stitches()), "S(10,0) C(0,0) S(0,10) S(0,0) S(-10,0) S(-5,0)");
    EXPECT_EQ(keys(last), "1,2");
    VDLDesign middle = makeDesign(list);
    middle.deleteThreadAtIndex(1);
    EXPECT_EQ(describe(middle.stitches()), "S(10,0) S(0,0) S(0,10) C(0,0) S(-10,0) S(-5,0)");
    EXPECT_EQ(keys(middle), "1,3");

    // Block 0 has no predecessor; out of range does nothing (no pass either).
    for (int k : {0, -1, 3}) {
        VDLDesign e = makeDesign({st(10, 0), change(), st(0, 10), jump(1, 1)});
        e.deleteThreadAtIndex(k);
        EXPECT_EQ(describe(e.stitches()) + " " + keys(e), "S(10,0) C(0,0) S(0,10) J(1,1) 1,2") << k;
    }
}

TEST(ThreadBlocks, StartingABlockAtTheSelection) {
    auto started = [](std::vector<VDLStitch> list) {
        VDLDesign d = makeDesign(list);
        d.setSelectionActive(true);
        EXPECT_TRUE(d.insertThreadBeforeSelection());
        EXPECT_EQ(d.threads().size(), colorChanges(d) + 1);
        return describe(d.stitches()) + " | " + keys(d);
    };
    // At the first stitch: thread 0 is duplicated at index 0, the colour change follows it.
    EXPECT_EQ(started({st(10, 0, true), st(10, 0, true), change(), st(0, 10)}),
              "S(10,0)* C(0,0) S(10,0)* C(0,0) S(0,10) | 1,1,2");
    // Next to a jump or behind a colour change, the stitch stays sewn in its own block.
    EXPECT_EQ(started({st(10, 0), jump(50, 0), st(5, 0, true), st(5, 0, true)}),
              "S(10,0) J(50,0) S(5,0)* C(0,0) S(5,0)* | 1,1");
    EXPECT_EQ(started({st(10, 0), st(5, 0, true), jump(50, 0), st(5, 0, true)}),
              "S(10,0) S(5,0)* J(50,0) C(0,0) S(5,0)* | 1,1");
    EXPECT_EQ(started({st(10, 0), change(), st(5, 0, true), st(5, 0, true)}),
              "S(10,0) C(0,0) S(5,0)* C(0,0) S(5,0)* | 1,2,2");
    // A selection that starts with a colour change already starts a block: nothing is added.
    EXPECT_EQ(started({st(10, 0), change(true), st(5, 0, true)}), "S(10,0) C(0,0) S(5,0)* | 1,2");
    // Active without a selected stitch: only the pass; not active: nothing at all.
    EXPECT_EQ(started({st(10, 0), jump(5, 0)}), "S(10,0) | 1");
    VDLDesign inactive = makeDesign({st(10, 0, true), jump(5, 0)});
    inactive.insertThreadBeforeSelection();
    EXPECT_EQ(describe(inactive.stitches()), "S(10,0)* J(5,0)");
}

TEST(ThreadBlocks, AppendingKeepsBothDesignsWhereTheyAre) {
    VDLDesign a = makeDesign({st(30, 0), st(0, 20)});
    a.appendDesign(makeDesign({st(5, 5, true), change(), st(-5, 0)}));
    // The appended design is sewn from (10, -10): its own positions, 1 mm right and down.
    EXPECT_EQ(describe(a.stitches()), "S(30,0) S(0,20) J(-20,-30) C(0,0) S(5,5)* C(0,0) S(-5,0)");
    EXPECT_EQ(keys(a), "1,1,2");
    EXPECT_TRUE(a.selectionActive());

    // To an empty design: no colour change, but the jump; the threads keep their palette, as
    // an empty design has none to match them to. Into a design with one, they take its colours.
    VDLDesign brother = makeDesign({st(5, 0)});
    brother.threads()[0] = VDLThread("405", "Brother");
    VDLDesign empty;
    empty.appendDesign(brother);
    EXPECT_EQ(describe(empty.stitches()) + " " + empty.threads()[0].palette() + " " + keys(empty),
              "J(10,-10) S(5,0) Brother 405");
    VDLDesign undefined = makeDesign({st(5, 0)});
    undefined.appendDesign(brother);
    EXPECT_EQ(undefined.threads()[1].palette(), "Undefined");

    // Itself; and a design without records adds nothing (its colour change would lack a thread).
    VDLDesign self = makeDesign({st(10, 0), change(), st(0, 10)});
    self.appendDesign(self);
    EXPECT_EQ(describe(self.stitches()), "S(10,0) C(0,0) S(0,10) J(0,-20) C(0,0) S(10,0) C(0,0) S(0,10)");
    self.appendDesign(VDLDesign());
    EXPECT_EQ(self.threads().size(), 4u);
    EXPECT_EQ(colorChanges(self), 3u);

    // Recolouring touches one thread only; an index out of range nothing.
    self.changeThread(1, VDLColor(0.2, 0.4, 0.6), "");
    self.changeThread(4, VDLColor(0, 0, 0), "");
    EXPECT_EQ(self.colorOfThread(1), VDLColor(0.2, 0.4, 0.6));
    EXPECT_EQ(keys(self), "1,,1,2");
}
