// Thread-block operations: combine a block with the one before it, start a new block at the
// selection, move a block to another place in the sewing order, append another design and
// recolour one thread.
//
// The stitch list and the thread list stay in step: a colour-change record opens every block
// after the first, thread k colours block k, so a consistent design has one thread more than
// it has colour changes. Each operation below keeps that count; where an input could make it
// break (combining block 0, a selection that already starts a block, a design that begins
// with an empty block) the operation is shaped so that it cannot.
//
// Every operation changes the list with a bounded number of whole-range edits (one erase, a
// few inserts) around linear walks, never record by record, so each runs in time linear in
// the design.
#include "VDLDesign.h"

#include <algorithm>
#include <vector>

namespace {

VDLStitch colorChangeRecord() { return VDLStitch(0.0f, 0.0f, false, true); }

}  // namespace

// Block k's colour change becomes an ordinary record (it keeps its move), so block k is sewn
// with thread k - 1, and thread k goes. Block 0 has no predecessor: combining it is refused,
// since clearing no colour change while dropping thread 0 would break the thread count.
bool VDLDesign::deleteThreadAtIndex(int32_t k, VDLError*) {
    if (k <= 0 || k >= numberOfThreads()) return true;
    int64_t changes = 0;
    for (VDLStitch& s : stitches_) {
        if (s.isColorChange) ++changes;
        if (changes == k) {
            s.isColorChange = false;
            threads_.erase(threads_.begin() + k);
            break;
        }
    }
    optimizeJumpsFor(designType_);
    return true;
}

// The block the first selected stitch s belongs to is split behind s: s stays an ordinary
// stitch of the old block, sewn with the old thread, and a zero-length colour change right
// after it opens the new block with a copy of that thread.
//
// The colour change goes on a record of its own rather than on s itself. Flagging s would give
// the same list whenever s stands between ordinary stitches (the pass splits s into its move
// and a colour change), but next to a jump or a colour change the pass would merge s into
// that run: its sewn move would turn into part of a jump (or slip into the previous block)
// and the stitch would be lost. A stitch without a move, or a jump, has nothing to lose and
// is flagged in place.
//
// When s is already a colour change the selection already starts a block: nothing is added
// (adding a thread without a colour change would break the thread count).
bool VDLDesign::insertThreadBeforeSelection(VDLError*) {
    if (!selectionActive_) return true;
    size_t s = 0;
    int64_t block = 0;
    for (; s < stitches_.size(); ++s) {
        if (stitches_[s].isColorChange) ++block;
        if (stitches_[s].isSelected) break;
    }
    const bool found = s < stitches_.size();
    if (found && !stitches_[s].isColorChange && block < numberOfThreads()) {
        VDLStitch& first = stitches_[s];
        if (!first.isJumpStitch && !first.isNullStitch())
            stitches_.insert(stitches_.begin() + std::ptrdiff_t(s + 1), colorChangeRecord());
        else
            first.isColorChange = true;
        const VDLThread copy = threads_[size_t(block)];
        threads_.insert(threads_.begin() + block, copy);
    }
    optimizeJumpsFor(designType_);
    return true;
}

// Block `from` is cut out of the list and sewn again in front of block `to` (after the last
// block when `to` is the last index), at its unchanged absolute position:
//   - a jump where the block was covers the distance the block used to cover, and takes over
//     the colour change of the block that followed;
//   - the block goes in at the insertion point between a jump from there to where the block
//     begins and a jump from where it ends back to the insertion point;
//   - the first record of the list and of the block swap their colour-change flags as block 0
//     changes hands;
//   - thread `from` moves to index `to`, so both lists keep the same order.
//
// A design that begins with a colour change has an empty block 0, which holds no record that
// could carry or give up a colour change. For the walk it is given one: a null stitch at the
// head, which the result keeps only when it carries a colour change (the empty block then
// sits at its new place as a lone colour change).
bool VDLDesign::moveThreadFromIndex(int32_t from, int32_t to, VDLError*) {
    const int64_t threadCount = numberOfThreads();
    if (from < 0 || to < 0 || from >= threadCount || to >= threadCount || from == to) return true;

    std::vector<VDLStitch>& list = stitches_;
    const bool emptyFirstBlock = !list.empty() && list.front().isColorChange;
    if (emptyFirstBlock) list.insert(list.begin(), VDLStitch(0.0f, 0.0f, false, false));

    // Where block `from` begins (A) and ends (B), and its records [begin, end).
    double ax = 0, ay = 0, bx = 0, by = 0;
    size_t begin = list.size(), end = list.size();
    int64_t changes = 0;
    for (size_t i = 0; i < list.size(); ++i) {
        const VDLStitch& s = list[i];
        if (s.isColorChange) ++changes;
        if (changes > from) {
            end = i;
            break;
        }
        if (changes < from) {
            ax += double(s.deltaX);
            ay += double(s.deltaY);
            bx += double(s.deltaX);
            by += double(s.deltaY);
        } else {
            if (begin == list.size()) begin = i;
            bx += double(s.deltaX);
            by += double(s.deltaY);
        }
    }
    if (begin >= end) {
        // The design holds fewer blocks than threads: there is nothing to move.
        if (emptyFirstBlock) list.erase(list.begin());
        return true;
    }

    // The block, with room for its entry jump in front and its return jump behind.
    std::vector<VDLStitch> moved;
    moved.reserve(end - begin + 2);
    moved.emplace_back(0.0f, 0.0f, true, false);
    moved.insert(moved.end(), list.begin() + std::ptrdiff_t(begin), list.begin() + std::ptrdiff_t(end));
    moved.emplace_back(0.0f, 0.0f, true, false);
    for (VDLStitch& s : moved) s.isColorChange = false;

    const bool followed = end < list.size();
    list.erase(list.begin() + std::ptrdiff_t(begin), list.begin() + std::ptrdiff_t(end));
    if (followed) {
        VDLStitch bridge(float(bx - ax), float(by - ay), true, list[begin].isColorChange);
        list[begin].isColorChange = false;
        list.insert(list.begin() + std::ptrdiff_t(begin), bridge);
    }

    // Insertion point: the record that opens block `to` of the remaining list (its first
    // record counts as opening block 0), or the end; C is where that record starts.
    if (!list.empty()) list.front().isColorChange = true;
    size_t at = 0;
    double cx = 0, cy = 0;
    int64_t count = -1;
    for (; at < list.size(); ++at) {
        if (list[at].isColorChange) ++count;
        if (count == to) break;
        cx += double(list[at].deltaX);
        cy += double(list[at].deltaY);
    }

    if (to != 0) {
        if (!list.empty()) list.front().isColorChange = false;
        moved[1].isColorChange = true;
    }
    moved.front().deltaX = float(ax - cx);
    moved.front().deltaY = float(ay - cy);
    moved.back().deltaX = float(cx - bx);
    moved.back().deltaY = float(cy - by);
    list.insert(list.begin() + std::ptrdiff_t(at), moved.begin(), moved.end());

    // The stand-in for an empty block 0 stayed at the head without a colour change: the empty
    // block is still block 0 and the design's own first record opens block 1 as before.
    if (emptyFirstBlock && from != 0 && to != 0) list.erase(list.begin());

    if (from < to)
        std::rotate(threads_.begin() + from, threads_.begin() + from + 1, threads_.begin() + to + 1);
    else
        std::rotate(threads_.begin() + to, threads_.begin() + from, threads_.begin() + from + 1);

    optimizeJumpsFor(designType_);
    return true;
}

// The other design goes behind this one as further blocks: a colour change (unless this
// design is empty), a jump that takes the needle to (10, -10), so the other design lands 1 mm
// right of and 1 mm below its own start point, then its records and its threads, matched to
// this design's palette. An other design without records adds nothing: its colour change
// would open a block without a thread.
bool VDLDesign::appendDesign(const VDLDesign& other, VDLError*) {
    if (other.stitches_.empty()) return true;
    // Appending a design to itself reads what it writes: work from copies.
    const std::vector<VDLStitch> otherStitches = other.stitches_;
    const std::vector<VDLThread> otherThreads = other.threads_;

    float ex = 0.0f, ey = 0.0f;
    for (const VDLStitch& s : stitches_) {
        ex += s.deltaX;
        ey += s.deltaY;
    }
    stitches_.reserve(stitches_.size() + otherStitches.size() + 2);
    if (!stitches_.empty()) stitches_.push_back(colorChangeRecord());
    stitches_.emplace_back(10.0f - ex, -10.0f - ey, true, false);
    bool anySelected = false;
    for (const VDLStitch& s : otherStitches) {
        stitches_.push_back(s);
        anySelected = anySelected || s.isSelected;
    }
    if (anySelected) selectionActive_ = true;

    // A design without threads has no palette in use: the appended threads keep theirs
    // instead of all turning into individual colours.
    const bool matchPalette = !threads_.empty();
    const std::string palette = designPalette();
    threads_.reserve(threads_.size() + otherThreads.size());
    for (VDLThread t : otherThreads) {
        if (matchPalette) t.changeToColor(t.color(), palette);
        threads_.push_back(std::move(t));
    }
    optimizeJumpsFor(designType_);
    return true;
}

// Recolours one thread; the stitch list is not touched. An index out of range changes nothing.
void VDLDesign::changeThread(int32_t index, const VDLColor& color, const std::string& palette) {
    if (index < 0 || index >= numberOfThreads()) return;
    threads_[size_t(index)].changeToColor(color, palette);
}
