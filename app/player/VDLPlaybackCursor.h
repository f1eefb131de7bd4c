#pragma once
// Playback ticks at a constant cost. A tick draws the stitches added since the last frame on
// top of the cached image; the library's renderer finds absolute positions by walking the
// stitch list from the start, so drawing stitches 499,901 to 500,000 would still walk half a
// million records. The cursor remembers where the previous tick's walk ended (position, colour
// block, whether the last record was a plain stitch) and answers a small design: one leading
// record that carries the needle to that position, then only the stitches to draw, with the
// threads from the current block on. Drawn with the same transform, it gives exactly the
// calls the whole design gives for that display range. The walk advances by the tick's step;
// a jump backwards (the user moved the position) walks from the start once.
#include "VDLDesign.h"

#include <memory>
#include <optional>

class VDLPlaybackCursor {
public:
    // The design to draw for DRAWRANGE of DESIGN (as the renderer reads a display range:
    // stitches location - 1 to location + length); nothing when the range starts too early
    // to need one (the whole design is then drawn as it is).
    std::optional<VDLDesign> segment(const std::shared_ptr<const VDLDesign>& design, VDLRange drawRange);

    // Records walked so far (tests, benchmarks).
    uint64_t walked() const { return index_; }

private:
    std::shared_ptr<const VDLDesign> design_;
    uint64_t index_ = 0;  // records walked: the state below is after record index_ - 1
    float x_ = 0, y_ = 0;
    int64_t block_ = -1;
    bool previousWasNormal_ = false;
};
