// Thread-block operations: combining, starting a block at the selection, moving blocks,
// appending a design and recolouring. Block moves are checked record for record against the
// step-by-step walk and, on random designs, for what the sewing order must keep: every block
// sewn at its own positions, in the new order, with its own thread.
#include "EditingTestHelpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

using namespace edittest;

namespace {

std::string keys(const VDLDesign& d) {
    std::string out;
    for (const auto& t : d.threads()) out += (out.empty() ? "" : ",") + t.key();
    return out;
}

// End point of every record, accumulated in double.
std::vector<VDLPoint> endPoints(const std::vector<VDLStitch>& list) {
    std::vector<VDLPoint> out;
    double x = 0, y = 0;
    for (const auto& s : list) {
        x += s.deltaX;
        y += s.deltaY;
        out.push_back({x, y});
    }
    return out;
}

size_t colorChanges(const VDLDesign& d) {
    return size_t(std::count_if(d.stitches().begin(), d.stitches().end(),
                                [](const VDLStitch& s) { return s.isColorChange; }));
}

// The sewn stitches (ordinary records that move) of each block, as end points, with the
// name of the block's thread.
struct Block {
    std::string thread;
    std::vector<VDLPoint> sewn;
};

std::vector<Block> blocks(const VDLDesign& d) {
    std::vector<Block> out(1);
    double x = 0, y = 0;
    for (const auto& s : d.stitches()) {
        x += s.deltaX;
        y += s.deltaY;
        if (s.isColorChange) out.emplace_back();
        if (!s.isJumpStitch && !s.isColorChange && !(std::fabs(s.deltaX) < 1e-3f && std::fabs(s.deltaY) < 1e-3f))
            out.back().sewn.push_back({x, y});
    }
    for (size_t k = 0; k < out.size() && k < d.threads().size(); ++k) out[k].thread = d.threads()[k].name();
    return out;
}

void expectSameBlocks(const std::vector<Block>& want, const std::vector<Block>& got) {
    ASSERT_EQ(want.size(), got.size());
    for (size_t k = 0; k < want.size(); ++k) {
        SCOPED_TRACE("block " + std::to_string(k));
        EXPECT_EQ(want[k].thread, got[k].thread);
        ASSERT_EQ(want[k].sewn.size(), got[k].sewn.size());
        for (size_t i = 0; i < want[k].sewn.size(); ++i) {
            EXPECT_NEAR(want[k].sewn[i].x, got[k].sewn[i].x, 1e-2) << "stitch " << i;
            EXPECT_NEAR(want[k].sewn[i].y, got[k].sewn[i].y, 1e-2) << "stitch " << i;
        }
    }
}

// What the normalisation pass leaves, for a design whose ordinary stitches stay under the
// "DST" stitch limit.
void expectConsistentAndNormalised(const VDLDesign& d) {
    EXPECT_EQ(d.threads().size(), colorChanges(d) + 1);
    const auto& list = d.stitches();
    float x = 0, y = 0;
    float xMin = 3.4028235e38f, yMin = 3.4028235e38f, xMax = -3.4028235e38f, yMax = -3.4028235e38f;
    for (size_t i = 0; i < list.size(); ++i) {
        const VDLStitch& s = list[i];
        if (s.isColorChange) {
            EXPECT_TRUE(s.isNullStitch() && !s.isJumpStitch) << i;
        }
        if (s.isJumpStitch) {
            EXPECT_FALSE(s.isNullStitch()) << i;
            EXPECT_FALSE(i > 0 && list[i - 1].isColorChange) << "jump behind a colour change " << i;
        }
        EXPECT_LE(std::fabs(s.deltaX), 120.0f) << i;
        EXPECT_LE(std::fabs(s.deltaY), 120.0f) << i;
        x += s.deltaX;
        y += s.deltaY;
        xMin = std::min(xMin, x), xMax = std::max(xMax, x), yMin = std::min(yMin, y), yMax = std::max(yMax, y);
    }
    EXPECT_FALSE(!list.empty() && list.back().isJumpStitch);
    EXPECT_EQ(d.xMin(), xMin);
    EXPECT_EQ(d.xMax(), xMax);
    EXPECT_EQ(d.yMin(), yMin);
    EXPECT_EQ(d.yMax(), yMax);
    EXPECT_EQ(d.displayRange().length, list.size());
}

void nameThreads(VDLDesign& d) {
    for (size_t k = 0; k < d.threads().size(); ++k) d.threads()[k].setName("T" + std::to_string(k));
}

// A normalised "DST" design of 1 to 8 blocks that starts with a jump, or (leadingChange) with
// an empty block 0: a colour change followed by a stitch.
VDLDesign randomDesign(std::mt19937& rng, bool leadingChange) {
    std::uniform_real_distribution<float> small(-50, 50), far(-300, 300);
    std::uniform_int_distribution<int> kind(0, 99), length(1, 120), blockCount(0, 7);
    std::vector<VDLStitch> list;
    if (leadingChange) {
        list.push_back(change());
        list.push_back(st(5, 5));
    } else {
        list.push_back(jump(far(rng), far(rng)));
    }
    const int changes = blockCount(rng);
    for (int b = 0; b <= changes; ++b) {
        if (b > 0) list.push_back(change());
        const int n = kind(rng) < 15 ? 0 : length(rng);  // some blocks stay empty
        for (int i = 0; i < n; ++i) {
            const int k = kind(rng);
            if (k < 8)
                list.push_back(jump(far(rng), far(rng)));
            else if (k < 10)
                list.push_back(st(0, 0));
            else
                list.push_back(st(std::round(small(rng)) + 0.5f, std::round(small(rng))));
        }
    }
    list.push_back(st(1, 1));  // never an empty list
    VDLDesign d = makeDesign(list, "DST");
    d.optimizeJumpsFor("DST");
    nameThreads(d);
    return d;
}

// The block move as written step by step: cut the block out record by record, bridge the gap,
// find the insertion point, swap the colour-change flags, insert with the two jumps.
void stepwiseMove(VDLDesign& d, int f, int t) {
    const int n = int(d.threads().size());
    if (f < 0 || t < 0 || f >= n || t >= n || f == t) return;
    auto& list = d.stitches();
    int c = 0;
    double ax = 0, ay = 0, bx = 0, by = 0;
    std::vector<VDLStitch> block;
    size_t i = 0;
    while (i < list.size()) {
        VDLStitch& s = list[i];
        const int cc = c + (s.isColorChange ? 1 : 0);
        if (cc > f) break;
        c = cc;
        if (cc < f) {
            ax += s.deltaX, ay += s.deltaY, bx += s.deltaX, by += s.deltaY;
            ++i;
        } else {
            bx += s.deltaX, by += s.deltaY;
            s.isColorChange = false;
            block.push_back(s);
            list.erase(list.begin() + long(i));
        }
    }
    if (i < list.size()) {
        VDLStitch bridge(float(bx - ax), float(by - ay), true, list[i].isColorChange);
        list[i].isColorChange = false;
        list.insert(list.begin() + long(i), bridge);
    }
    list[0].isColorChange = true;
    int count = -1;
    size_t j = 0;
    double cx = 0, cy = 0;
    for (; j < list.size(); ++j) {
        if (list[j].isColorChange) ++count;
        if (count == t) break;
        cx += list[j].deltaX, cy += list[j].deltaY;
    }
    if (t != 0) {
        list[0].isColorChange = false;
        block[0].isColorChange = true;
    }
    block.insert(block.begin(), VDLStitch(float(ax - cx), float(ay - cy), true, false));
    block.push_back(VDLStitch(float(cx - bx), float(cy - by), true, false));
    list.insert(list.begin() + long(j), block.begin(), block.end());
    VDLThread moved = d.threads()[size_t(f)];
    d.threads().erase(d.threads().begin() + f);
    d.threads().insert(d.threads().begin() + t, moved);
    d.optimizeJumpsFor(d.designType());
}

// Four blocks: block k has thread key "k+1" and name "Tk"; stitch 0 is a jump.
VDLDesign fourBlocks() {
    VDLDesign d = makeDesign({jump(100, 0), st(10, 0), st(10, 0), change(), st(0, 10), st(0, 10), change(),
                              st(-10, 0), change(), st(0, -10), st(0, -10)},
                             "DST");
    nameThreads(d);
    return d;
}

std::vector<Block> reordered(const std::vector<Block>& b, std::vector<int> order) {
    std::vector<Block> out;
    for (int k : order) out.push_back(b[size_t(k)]);
    return out;
}

}  // namespace

TEST(ThreadBlocks, MovesFollowTheThreadOrderAndKeepEveryPosition) {
    const VDLDesign d = fourBlocks();
    const auto before = blocks(d);
    struct {
        int from, to;
        std::vector<int> order;
    } cases[] = {{1, 3, {0, 2, 3, 1}}, {3, 1, {0, 3, 1, 2}}, {3, 0, {3, 0, 1, 2}},
                 {0, 2, {1, 2, 0, 3}}, {2, 3, {0, 1, 3, 2}}, {1, 0, {1, 0, 2, 3}}};
    for (const auto& k : cases) {
        SCOPED_TRACE(std::to_string(k.from) + " -> " + std::to_string(k.to));
        VDLDesign e = d;
        EXPECT_TRUE(e.moveThreadFromIndex(k.from, k.to));
        expectConsistentAndNormalised(e);
        expectSameBlocks(reordered(before, k.order), blocks(e));
    }

    // Moving 1 to 3 sews block 1 last: a jump over its old place (carrying the colour change
    // of block 2), the blocks 2 and 3, then a jump back to where block 1 began.
    VDLDesign e = d;
    e.moveThreadFromIndex(1, 3);
    EXPECT_EQ(describe(e.stitches()), "J(100,0) S(10,0) S(10,0) J(0,20) C(0,0) S(0,0) S(-10,0) C(0,0) S(0,-10) "
                                      "S(0,-10) J(10,0) C(0,0) S(0,10) S(0,10)");
    EXPECT_EQ(keys(e), "1,3,4,2");
}

TEST(ThreadBlocks, MovingToAndFromTheFirstBlockHandsOverItsColourChange) {
    // The last block to position 0: sewn first, entered by a jump from the start point to
    // where it began and left by a jump back; the former block 0 now opens with a colour
    // change, which the pass puts behind that return jump merged with its first jump. The
    // block's former colour change stays as a needle drop where the entry jump lands.
    VDLDesign d = fourBlocks();
    d.moveThreadFromIndex(3, 0);
    EXPECT_EQ(describe(d.stitches()), "J(110,20) S(0,0) S(0,-10) S(0,-10) J(-10,0) C(0,0) S(10,0) S(10,0) C(0,0) "
                                      "S(0,10) S(0,10) C(0,0) S(-10,0)");
    EXPECT_EQ(keys(d), "4,1,2,3");

    // A first record that moves and opens a block behind a jump is merged into that jump (the
    // documented cost of handing block 0's opening over): the needle lands where it ended.
    VDLDesign moving = makeDesign({st(10, 0), st(10, 0), change(), st(0, 10)}, "DST");
    moving.moveThreadFromIndex(1, 0);
    EXPECT_EQ(describe(moving.stitches()), "J(20,0) S(0,0) S(0,10) J(-10,-10) C(0,0) S(10,0)");
    EXPECT_EQ(keys(moving), "2,1");

    // Block 0 elsewhere: the former block 1 loses its colour change and becomes block 0.
    VDLDesign first = fourBlocks();
    first.moveThreadFromIndex(0, 1);
    EXPECT_EQ(describe(first.stitches()), "J(120,0) S(0,0) S(0,10) S(0,10) J(-20,-20) C(0,0) S(10,0) S(10,0) J(0,20) "
                                          "C(0,0) S(-10,0) C(0,0) S(0,-10) S(0,-10)");
    EXPECT_EQ(keys(first), "2,1,3,4");
}

TEST(ThreadBlocks, MovesThatChangeNothing) {
    // Not even the pass runs: the un-normalised trailing jump stays.
    const VDLDesign d = makeDesign({st(10, 0), change(), st(0, 10), jump(5, 5)}, "DST");
    for (auto [f, t] : {std::pair{1, 1}, {0, 2}, {2, 0}, {-1, 0}, {0, -1}}) {
        VDLDesign e = d;
        EXPECT_TRUE(e.moveThreadFromIndex(f, t));
        EXPECT_EQ(describe(e.stitches()), describe(d.stitches()));
        EXPECT_EQ(keys(e), "1,2");
    }
    // More threads than blocks: the missing block cannot be moved.
    VDLDesign missing = makeDesign({st(10, 0), change(), st(0, 10)}, "DST");
    missing.threads().emplace_back("3", "Undefined");
    missing.moveThreadFromIndex(2, 0);
    EXPECT_EQ(describe(missing.stitches()), "S(10,0) C(0,0) S(0,10)");
    EXPECT_EQ(keys(missing), "1,2,3");
}

TEST(ThreadBlocks, AnEmptyFirstBlockMovesAsALoneColourChange) {
    // Block 0 holds nothing: the design starts with a colour change.
    VDLDesign d = makeDesign({change(), st(10, 0), st(10, 0), change(), st(0, 10)}, "DST");
    nameThreads(d);
    const auto before = blocks(d);
    for (auto [f, t, order] : {std::tuple{0, 2, std::vector<int>{1, 2, 0}}, {2, 0, {2, 0, 1}}, {1, 2, {0, 2, 1}},
                               {0, 1, {1, 0, 2}}, {1, 0, {1, 0, 2}}}) {
        SCOPED_TRACE(std::to_string(f) + " -> " + std::to_string(t));
        VDLDesign e = d;
        e.moveThreadFromIndex(f, t);
        expectConsistentAndNormalised(e);
        expectSameBlocks(reordered(before, order), blocks(e));
    }
    VDLDesign e = d;
    e.moveThreadFromIndex(1, 2);
    EXPECT_EQ(describe(e.stitches()), "J(20,0) C(0,0) S(0,0) S(0,10) J(-20,-10) C(0,0) S(10,0) S(10,0)");
}

TEST(ThreadBlocks, RandomMovesMatchTheStepwiseWalkAndKeepTheSewingOfEveryBlock) {
    std::mt19937 rng(7351);
    for (int round = 0; round < 150 && !HasFailure(); ++round) {
        const bool leadingChange = round % 4 == 3;
        const VDLDesign d = randomDesign(rng, leadingChange);
        const int n = int(d.threads().size());
        const int f = int(rng() % unsigned(n)), t = int(rng() % unsigned(n));
        SCOPED_TRACE("round " + std::to_string(round) + ": " + std::to_string(f) + " -> " + std::to_string(t) +
                     " of " + std::to_string(n));
        VDLDesign e = d;
        e.moveThreadFromIndex(f, t);
        if (f == t) {
            EXPECT_EQ(describe(e.stitches()), describe(d.stitches()));
            continue;
        }
        expectConsistentAndNormalised(e);
        std::vector<int> order(static_cast<size_t>(n));
        for (int k = 0; k < n; ++k) order[size_t(k)] = k;
        order.erase(order.begin() + f);
        order.insert(order.begin() + t, f);
        expectSameBlocks(reordered(blocks(d), order), blocks(e));

        if (!leadingChange) {
            VDLDesign stepwise = d;
            stepwiseMove(stepwise, f, t);
            EXPECT_EQ(describe(e.stitches()), describe(stepwise.stitches()));
            EXPECT_EQ(keys(e), keys(stepwise));
        }
        // Moving it back restores the block order.
        e.moveThreadFromIndex(t, f);
        expectConsistentAndNormalised(e);
        expectSameBlocks(blocks(d), blocks(e));
    }
}

TEST(ThreadBlocks, CombiningABlockWithItsPredecessor) {
    const VDLDesign d = makeDesign({st(10, 0), change(), st(0, 10), change(), st(-10, 0), st(-5, 0)}, "DST");
    const auto positions = endPoints(d.stitches());

    VDLDesign last = d;
    EXPECT_TRUE(last.deleteThreadAtIndex(2));
    EXPECT_EQ(describe(last.stitches()), "S(10,0) C(0,0) S(0,10) S(0,0) S(-10,0) S(-5,0)");
    EXPECT_EQ(keys(last), "1,2");
    EXPECT_EQ(endPoints(last.stitches()).back().x, positions.back().x);

    VDLDesign middle = d;
    middle.deleteThreadAtIndex(1);
    EXPECT_EQ(describe(middle.stitches()), "S(10,0) S(0,0) S(0,10) C(0,0) S(-10,0) S(-5,0)");
    EXPECT_EQ(keys(middle), "1,3");

    // Block 0 has no predecessor, and indexes out of range do nothing (no pass either).
    for (int k : {0, -1, 3}) {
        VDLDesign e = makeDesign({st(10, 0), change(), st(0, 10), jump(1, 1)}, "DST");
        e.deleteThreadAtIndex(k);
        EXPECT_EQ(describe(e.stitches()), "S(10,0) C(0,0) S(0,10) J(1,1)") << k;
        EXPECT_EQ(keys(e), "1,2") << k;
    }

    // A colour change that still moves keeps its move as an ordinary stitch.
    VDLDesign moving = makeDesign({st(10, 0), VDLStitch(5, 5, false, true), st(0, 10)}, "DST");
    moving.deleteThreadAtIndex(1);
    EXPECT_EQ(describe(moving.stitches()), "S(10,0) S(5,5) S(0,10)");
    EXPECT_EQ(keys(moving), "1");
}

TEST(ThreadBlocks, StartingABlockAtTheSelection) {
    // At the design's first stitch: thread 0 is duplicated at index 0, and the new colour
    // change follows stitch 0.
    VDLDesign d = makeDesign({st(10, 0, true), st(10, 0, true), change(), st(0, 10)}, "DST");
    d.setSelectionActive(true);
    d.threads()[0].setName("first");
    EXPECT_TRUE(d.insertThreadBeforeSelection());
    EXPECT_EQ(describe(d.stitches()), "S(10,0)* C(0,0) S(10,0)* C(0,0) S(0,10)");
    EXPECT_EQ(keys(d), "1,1,2");
    EXPECT_EQ(d.threads()[1].name(), "first");

    // Behind a jump (where a block selection starts) or in front of one, the first selected
    // stitch stays a sewn stitch of the old block: it is not merged into the jump.
    VDLDesign afterJump = makeDesign({st(10, 0), jump(50, 0), st(5, 0, true), st(5, 0, true), jump(0, 50), st(1, 1)});
    afterJump.setSelectionActive(true);
    afterJump.insertThreadBeforeSelection();
    EXPECT_EQ(describe(afterJump.stitches()), "S(10,0) J(50,0) S(5,0)* C(0,0) S(5,0)* J(0,50) S(1,1)");
    VDLDesign beforeJump = makeDesign({st(10, 0), st(5, 0, true), jump(50, 0), st(5, 0, true)});
    beforeJump.setSelectionActive(true);
    beforeJump.insertThreadBeforeSelection();
    EXPECT_EQ(describe(beforeJump.stitches()), "S(10,0) S(5,0)* J(50,0) C(0,0) S(5,0)*");
    // Right behind a colour change it stays in its own block rather than the one before.
    VDLDesign afterChange = makeDesign({st(10, 0), change(), st(5, 0, true), st(5, 0, true)});
    afterChange.setSelectionActive(true);
    afterChange.insertThreadBeforeSelection();
    EXPECT_EQ(describe(afterChange.stitches()), "S(10,0) C(0,0) S(5,0)* C(0,0) S(5,0)*");
    EXPECT_EQ(keys(afterChange), "1,2,2");

    // A selection that starts with a colour change already starts a block: nothing is added.
    VDLDesign onChange = makeDesign({st(10, 0), change(true), st(5, 0, true)});
    onChange.setSelectionActive(true);
    onChange.insertThreadBeforeSelection();
    EXPECT_EQ(describe(onChange.stitches()), "S(10,0) C(0,0) S(5,0)*");
    EXPECT_EQ(keys(onChange), "1,2");

    // No selection: nothing happens, not even the pass; no selected stitch: only the pass.
    VDLDesign none = makeDesign({st(10, 0), jump(5, 0)});
    none.insertThreadBeforeSelection();
    EXPECT_EQ(describe(none.stitches()), "S(10,0) J(5,0)");
    none.setSelectionActive(true);
    none.insertThreadBeforeSelection();
    EXPECT_EQ(describe(none.stitches()), "S(10,0)");
    EXPECT_EQ(keys(none), "1");
}

TEST(ThreadBlocks, StartingBlocksOnRandomSelectionsKeepsEveryStitch) {
    std::mt19937 rng(99);
    for (int round = 0; round < 60 && !HasFailure(); ++round) {
        VDLDesign d = randomDesign(rng, round % 3 == 0);
        const size_t first = rng() % d.stitches().size();
        for (size_t i = first; i < d.stitches().size(); ++i) d.stitches()[i].isSelected = true;
        d.setSelectionActive(true);
        VDLDesign e = d;
        e.insertThreadBeforeSelection();
        SCOPED_TRACE("round " + std::to_string(round) + ", selection from " + std::to_string(first));
        expectConsistentAndNormalised(e);
        std::vector<VDLPoint> was, is;
        for (const auto& b : blocks(d)) was.insert(was.end(), b.sewn.begin(), b.sewn.end());
        for (const auto& b : blocks(e)) is.insert(is.end(), b.sewn.begin(), b.sewn.end());
        ASSERT_EQ(was.size(), is.size());
        for (size_t i = 0; i < was.size(); ++i) {
            // The pass merges and re-cuts long jumps, which can move positions by float rounding.
            EXPECT_NEAR(was[i].x, is[i].x, 1e-3);
            EXPECT_NEAR(was[i].y, is[i].y, 1e-3);
        }
    }
}

TEST(ThreadBlocks, AppendingKeepsBothDesignsWhereTheyAre) {
    VDLDesign a = makeDesign({st(30, 0), st(0, 20)}, "DST");
    VDLDesign b = makeDesign({st(5, 5, true), change(), st(-5, 0)}, "DST");
    const auto endsOfA = endPoints(a.stitches());
    EXPECT_TRUE(a.appendDesign(b));
    // b is sewn from (10, -10) on: its own positions shifted by 1 mm right and 1 mm down.
    EXPECT_EQ(describe(a.stitches()), "S(30,0) S(0,20) J(-20,-30) C(0,0) S(5,5)* C(0,0) S(-5,0)");
    const auto ends = endPoints(a.stitches());
    EXPECT_EQ(ends[1].x, endsOfA[1].x);
    EXPECT_EQ(ends[1].y, endsOfA[1].y);
    EXPECT_EQ(ends[4].x, 15);
    EXPECT_EQ(ends[4].y, -5);
    EXPECT_EQ(ends[6].x, 10);
    EXPECT_EQ(ends[6].y, -5);
    EXPECT_EQ(keys(a), "1,1,2");
    EXPECT_EQ(a.threads().size(), colorChanges(a) + 1);
    EXPECT_TRUE(a.selectionActive());

    // To an empty design: no colour change, but the jump to (10, -10). Threads keep their
    // palette entry, as an empty design has no palette to match them to.
    VDLDesign empty;
    empty.setDesignType("DST");
    VDLDesign brother = makeDesign({st(5, 0)}, "DST");
    brother.threads()[0] = VDLThread("405", "Brother");
    empty.appendDesign(brother);
    EXPECT_EQ(describe(empty.stitches()), "J(10,-10) S(5,0)");
    EXPECT_EQ(empty.threads()[0].palette(), "Brother");
    EXPECT_EQ(empty.threads()[0].key(), "405");
    EXPECT_FALSE(empty.selectionActive());

    // Into a design with a palette, the appended threads take its nearest colours.
    VDLDesign undefined = makeDesign({st(5, 0)}, "DST");
    undefined.appendDesign(brother);
    EXPECT_EQ(keys(undefined).substr(0, 2), "1,");
    EXPECT_EQ(undefined.threads()[1].palette(), "Undefined");

    // A design appended to itself; a design without records adds nothing.
    VDLDesign self = makeDesign({st(10, 0), change(), st(0, 10)}, "DST");
    self.appendDesign(self);
    EXPECT_EQ(describe(self.stitches()), "S(10,0) C(0,0) S(0,10) J(0,-20) C(0,0) S(10,0) C(0,0) S(0,10)");
    EXPECT_EQ(self.threads().size(), 4u);
    self.appendDesign(VDLDesign());
    EXPECT_EQ(self.threads().size(), 4u);
    EXPECT_EQ(colorChanges(self), 3u);
}

TEST(ThreadBlocks, RecolouringOneThread) {
    VDLDesign d = makeDesign({st(10, 0), change(), st(0, 10), jump(3, 3)}, "DST");
    d.changeThread(1, VDLColor(0.2, 0.4, 0.6), "");
    EXPECT_EQ(d.colorOfThread(1), VDLColor(0.2, 0.4, 0.6));
    EXPECT_EQ(d.threads()[1].palette(), "");
    EXPECT_EQ(d.threads()[0].key(), "1");
    EXPECT_EQ(describe(d.stitches()), "S(10,0) C(0,0) S(0,10) J(3,3)");  // no pass
    d.changeThread(2, VDLColor(0, 0, 0), "");
    d.changeThread(-1, VDLColor(0, 0, 0), "");
    EXPECT_EQ(d.threads().size(), 2u);
}
