// Deleting the selected stitches. Every remaining stitch keeps its absolute position (the gap
// left by each deleted run is bridged with a jump), and the thread list stays in step with the
// colour changes: blocks left with nothing to sew are dropped together with their threads.
// Each pass rebuilds the list in one walk.
#include "VDLDesign.h"
#include "jumpbridge.h"

#include <vector>

namespace {

bool isEmptyMove(const VDLStitch& s) { return s.isJumpStitch || s.isNullStitch(); }

// Removes the selected stitches except colour changes, which stay with zero length so the
// block structure survives until the next pass; one jump in front of the first unselected
// stitch after each run covers the distance the run used to sew.
std::vector<VDLStitch> removeSelectedRuns(const std::vector<VDLStitch>& in) {
    std::vector<VDLStitch> out;
    out.reserve(in.size());
    double px = 0, py = 0, runX = 0, runY = 0;
    bool inRun = false;
    for (VDLStitch s : in) {
        const double ex = px + double(s.deltaX), ey = py + double(s.deltaY);
        if (!s.isSelected) {
            if (inRun) appendBridgingJump(out, px - runX, py - runY, s);
            inRun = false;
            out.push_back(s);
        } else {
            if (!inRun) {
                runX = px;
                runY = py;
            }
            if (s.isColorChange) {
                s.deltaX = 0;
                s.deltaY = 0;
                out.push_back(s);
            }
            inRun = true;
        }
        px = ex;
        py = ey;
    }
    return out;
}

// Whether the block opened by the colour change at index cc holds only jumps and null stitches.
// The scan stops at the next colour change, so all scans together visit each record once.
bool blockIsEmpty(const std::vector<VDLStitch>& list, size_t cc) {
    for (size_t j = cc + 1; j < list.size(); ++j) {
        const VDLStitch& t = list[j];
        if (t.isColorChange) return true;
        if (!isEmptyMove(t)) return false;
    }
    return true;
}

// Drops the colour change of every block after the first that became empty (a null colour
// change is removed, one that still moves stays as a plain movement) and its thread.
void dropEmptyBlocks(std::vector<VDLStitch>& list, std::vector<VDLThread>& threads) {
    std::vector<VDLStitch> out;
    out.reserve(list.size());
    std::vector<bool> keepThread(threads.size(), true);
    size_t changeIndex = 0;  // the colour change's position among all colour changes
    for (size_t i = 0; i < list.size(); ++i) {
        VDLStitch s = list[i];
        if (s.isColorChange) {
            const size_t thread = ++changeIndex;  // the thread this colour change opens
            if (blockIsEmpty(list, i)) {
                if (thread < keepThread.size()) keepThread[thread] = false;
                if (s.isNullStitch()) continue;
                s.isColorChange = false;
            }
        }
        out.push_back(s);
    }
    list = std::move(out);

    std::vector<VDLThread> kept;
    kept.reserve(threads.size());
    for (size_t t = 0; t < threads.size(); ++t)
        if (keepThread[t]) kept.push_back(std::move(threads[t]));
    threads = std::move(kept);
}

// Drops block 0 when nothing but jumps and null stitches precede the first colour change.
void dropEmptyFirstBlock(std::vector<VDLStitch>& list, std::vector<VDLThread>& threads) {
    size_t f = 0;
    while (f < list.size() && !list[f].isColorChange) {
        if (!isEmptyMove(list[f])) return;
        ++f;
    }
    if (f == list.size()) return;  // no colour change at all
    if (list[f].isNullStitch())
        list.erase(list.begin() + std::ptrdiff_t(f));
    else
        list[f].isColorChange = false;
    if (!threads.empty()) threads.erase(threads.begin());
}

}  // namespace

bool VDLDesign::deleteSelection(VDLError*) {
    stitches_ = removeSelectedRuns(stitches_);
    dropEmptyBlocks(stitches_, threads_);
    dropEmptyFirstBlock(stitches_, threads_);
    optimizeJumpsFor(designType_);

    if (stitches_.empty()) {
        // Nothing left: no threads, and a 20 mm square around the start point as bounds.
        threads_.clear();
        xMin_ = -100;
        xMax_ = 100;
        yMin_ = -100;
        yMax_ = 100;
    }
    return true;
}
