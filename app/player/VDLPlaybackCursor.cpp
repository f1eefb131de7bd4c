#include "VDLPlaybackCursor.h"

#include <algorithm>

std::optional<VDLDesign> VDLPlaybackCursor::segment(const std::shared_ptr<const VDLDesign>& design, VDLRange drawRange) {
    if (!design || design->threads().empty() || drawRange.location < 2) return std::nullopt;
    const auto& stitches = design->stitches();
    const uint64_t first = drawRange.location - 1;  // the first record drawn
    if (first >= stitches.size()) return std::nullopt;

    if (design_ != design || index_ > first) {
        design_ = design;
        index_ = 0;
        x_ = y_ = 0;
        block_ = -1;
        previousWasNormal_ = false;
    }
    // The renderer's own walk, in the same float order, up to the record before FIRST.
    for (; index_ < first; ++index_) {
        const VDLStitch& s = stitches[size_t(index_)];
        if (index_ == 0 || s.isColorChange) ++block_;
        x_ += s.deltaX;
        y_ += s.deltaY;
        previousWasNormal_ = !s.isJumpStitch && !s.isColorChange;
    }

    const uint64_t last = std::min<uint64_t>(stitches.size() - 1, drawRange.location + drawRange.length);
    std::vector<VDLStitch> part;
    part.reserve(size_t(last - first + 2));
    // The leading record: from the origin to the needle's position, never drawn (the range
    // starts after it); a plain stitch when the record before FIRST was one, else a jump, so
    // the first drawn record is drawn as a segment or as a jump just as in the whole design.
    part.emplace_back(x_, y_, !previousWasNormal_, false);
    part.insert(part.end(), stitches.begin() + std::ptrdiff_t(first), stitches.begin() + std::ptrdiff_t(last) + 1);

    // The leading record opens the block in force before FIRST.
    const int64_t threadCount = int64_t(design->threads().size());
    const int64_t from = std::clamp<int64_t>(block_, 0, threadCount - 1);
    std::vector<VDLThread> threads(design->threads().begin() + std::ptrdiff_t(from), design->threads().end());

    VDLDesign out;
    out.setStitches(std::move(part));
    out.setThreads(std::move(threads));
    out.setSelectionActive(design->selectionActive());
    out.setDisplayRange(VDLRange{2, drawRange.length});
    return out;
}
