// Jumps and the stitch-list normalisation pass.
//
// Editors keep every untouched stitch where it is by bridging gaps with inserted jumps; the
// normalisation pass then merges runs of jumps and colour changes, drops empty moves, cuts
// moves the target format cannot encode, recomputes the bounds and trims the selection.
//
// The pass is one linear sweep that rewrites the list in place (after a counting sweep that
// tells how much room it needs). It gives record for record and bit for bit what the in-place
// walk (merge by removing followers, insert colour changes, cut by inserting remainders)
// gives: every float operation happens on the same operands in the same order.
#include "VDLDesign.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>

namespace {

// Largest move component the cutter accepts (2^24 units, 1.68 km, far beyond any machine
// field). Up to this size every float subtraction of a limit makes progress, so a cut always
// ends; larger or non-finite moves (only from corrupt archives or runaway transforms) would
// make it loop without end or emit billions of pieces.
constexpr float kLargestMove = 16777216.0f;

struct MoveLimits {
    float stitch;
    float jump;
};

// Largest move per axis that each format can encode, ordinary stitches and jumps.
MoveLimits limitsForType(const std::string& type) {
    if (type == "JEF" || type == "EXP") return {126.0f, 126.0f};
    if (type == "PES" || type == "PEC") return {62.0f, 2046.0f};
    if (type == "DST") return {120.0f, 120.0f};
    if (type == "PCS") return {1150.0f, 1150.0f};
    return {999999.0f, 999999.0f};
}

bool isJumpOrChange(const VDLStitch& s) { return s.isJumpStitch || s.isColorChange; }

float saneDelta(float v) {
    if (!std::isfinite(v)) return 0.0f;
    return std::fmax(-kLargestMove, std::fmin(kLargestMove, v));
}

struct Bounds {
    float xMin = FLT_MAX, yMin = FLT_MAX, xMax = -FLT_MAX, yMax = -FLT_MAX;
    float x = 0.0f, y = 0.0f;

    void advance(const VDLStitch& s) {
        x += s.deltaX;
        y += s.deltaY;
        if (x < xMin) xMin = x;
        if (x > xMax) xMax = x;
        if (y < yMin) yMin = y;
        if (y > yMax) yMax = y;
    }
};

// Where the pass puts its records. The counting sink only counts them (and finds how far the
// output ever runs ahead of the input); the writing sink stores them into the same buffer the
// input is read from, behind the reading position.
struct CountingSink {
    size_t written = 0;
    size_t ahead = 0;  // largest (records written - records read) after any input record
    bool lastIsJump = false;
    void put(const VDLStitch& s) {
        ++written;
        lastIsJump = s.isJumpStitch;
    }
    void consumed(size_t read) {
        if (written > read) ahead = std::max(ahead, written - read);
    }
};

struct WritingSink {
    VDLStitch* out;
    size_t written = 0;
    bool lastIsJump = false;
    Bounds bounds;
    void put(const VDLStitch& s) {
        out[written++] = s;
        lastIsJump = s.isJumpStitch;
        bounds.advance(s);
    }
    void consumed(size_t) {}
};

// Cuts a move longer than its limit on either axis into full-length pieces along the same
// direction followed by one shorter piece. A piece cut off a move that follows a jump becomes
// a jump itself.
template <class Sink>
void cutMove(VDLStitch s, MoveLimits limits, Sink& sink) {
    // Most records fit as they are (finite, within the limit, no move on a colour change): the
    // loop below would put them unchanged.
    const float first = s.isJumpStitch ? limits.jump : limits.stitch;
    if (std::fabs(s.deltaX) <= first && std::fabs(s.deltaY) <= first && first <= kLargestMove &&
        !(s.isColorChange && !(s.deltaX == 0.0f && s.deltaY == 0.0f))) {
        sink.put(s);
        return;
    }
    for (;;) {
        const float dx = saneDelta(s.deltaX);
        const float dy = saneDelta(s.deltaY);
        const float limit = s.isJumpStitch ? limits.jump : limits.stitch;
        bool cut = false;
        float nx = dx, ny = dy;
        if (std::fabs(dx) > limit) {
            nx = dx < 0.0f ? -limit : limit;
            ny = (dy / dx) * nx;
            cut = true;
        }
        if (std::fabs(ny) > limit) {
            const float clampedY = ny < 0.0f ? -limit : limit;
            nx = (dx / dy) * clampedY;
            ny = clampedY;
            cut = true;
        }
        if (s.isColorChange && !(dx == 0.0f && dy == 0.0f)) {
            nx = ny = 0.0f;
            cut = true;
        }
        VDLStitch rest = s;
        if (cut) {
            rest.deltaX = dx - nx;
            rest.deltaY = dy - ny;
            rest.isColorChange = false;
            if (sink.written > 0 && sink.lastIsJump) rest.isJumpStitch = true;
        }
        s.deltaX = nx;
        s.deltaY = ny;
        sink.put(s);
        if (!cut) break;
        s = rest;
    }
}

// The whole pass over IN (COUNT records). Each run of consecutive jumps and colour changes
// becomes one move carrying the float sum of the run's deltas (a jump when any member was one,
// selected like the run's first member; dropped when the sum is exactly zero), followed by one
// zero-length colour change per colour change of the run; a jump left at the very end is
// dropped. Every resulting move is then cut to the limits. Each input record (or run) is read
// completely before anything is written for it.
template <class Sink>
void normalise(const VDLStitch* in, size_t count, MoveLimits limits, Sink& sink) {
    size_t i = 0;
    while (i < count) {
        if (!isJumpOrChange(in[i])) {
            const VDLStitch s = in[i++];
            cutMove(s, limits, sink);
            sink.consumed(i);
            continue;
        }
        VDLStitch move = in[i];
        size_t changes = move.isColorChange ? 1 : 0;
        move.isColorChange = false;
        size_t j = i + 1;
        for (; j < count && isJumpOrChange(in[j]); ++j) {
            move.deltaX += in[j].deltaX;
            move.deltaY += in[j].deltaY;
            move.isJumpStitch = move.isJumpStitch || in[j].isJumpStitch;
            if (in[j].isColorChange) ++changes;
        }
        const bool trailingJump = j == count && changes == 0 && move.isJumpStitch;
        if (!move.isNullStitch() && !trailingJump) cutMove(move, limits, sink);
        for (size_t c = 0; c < changes; ++c) cutMove(VDLStitch(0.0f, 0.0f, false, true), limits, sink);
        i = j;
        sink.consumed(i);
    }
}

}  // namespace

int32_t VDLDesign::insertJump(VDLPoint vector, int32_t index) {
    if (index < 0 || size_t(index) >= stitches_.size()) return index;
    const size_t i = size_t(index);
    const VDLStitch cur = stitches_[i];
    const bool prevIsJump = i >= 1 && stitches_[i - 1].isJumpStitch;
    const VDLStitch jump(float(vector.x), float(vector.y), true, false);
    if (!prevIsJump && !cur.isJumpStitch && !cur.isNullStitch()) {
        // The needle comes down where the jump lands before the stitch that follows sews.
        VDLStitch anchor(0.0f, 0.0f, false, false);
        anchor.isSelected = cur.isSelected;
        const VDLStitch pair[2] = {jump, anchor};
        stitches_.insert(stitches_.begin() + std::ptrdiff_t(i), pair, pair + 2);
        return index + 2;
    }
    stitches_.insert(stitches_.begin() + std::ptrdiff_t(i), jump);
    return index + 1;
}

bool VDLDesign::optimizeJumpsFor(const std::string& formatType) {
    // In place, without a second list: a counting run finds the output's length and how far
    // it ever runs ahead of the input (merged colour changes that carried a move, cut moves);
    // the input is moved up by that much, inside the vector's spare capacity where there is
    // some, and the records are written from the front behind the reading position.
    const MoveLimits limits = limitsForType(formatType);
    const size_t count = stitches_.size();
    CountingSink counted;
    normalise(stitches_.data(), count, limits, counted);
    const size_t ahead = counted.ahead;
    if (ahead > 0) {
        stitches_.resize(count + ahead);
        std::memmove(static_cast<void*>(stitches_.data() + ahead), stitches_.data(), count * sizeof(VDLStitch));
    }
    WritingSink sink{stitches_.data(), 0, false, Bounds{}};
    normalise(stitches_.data() + ahead, count, limits, sink);
    stitches_.resize(sink.written);
    // An empty list leaves the bounds at their reset values; the deleting operation replaces them.
    xMin_ = sink.bounds.xMin;
    yMin_ = sink.bounds.yMin;
    xMax_ = sink.bounds.xMax;
    yMax_ = sink.bounds.yMax;
    trimSelectedJumps();
    displayRange_ = VDLRange{0, stitches_.size()};
    return true;
}

bool VDLDesign::switchSelectionToJumps(bool toJumps, VDLError*) {
    for (VDLStitch& s : stitches_)
        if (s.isSelected) s.isJumpStitch = toJumps;
    optimizeJumpsFor(designType_);
    return true;
}

bool VDLDesign::trimSelectedJumps() {
    const auto trimmable = [](const VDLStitch& s) { return s.isSelected && isJumpOrChange(s); };
    bool cleared = false;
    const size_t count = stitches_.size();

    size_t first = 0;
    while (first < count && !stitches_[first].isSelected) ++first;
    for (size_t i = first; i < count && trimmable(stitches_[i]); ++i) {
        stitches_[i].isSelected = false;
        cleared = true;
    }

    size_t last = count;
    while (last > 0 && !stitches_[last - 1].isSelected) --last;
    for (size_t i = last; i > 0 && trimmable(stitches_[i - 1]); --i) {
        stitches_[i - 1].isSelected = false;
        cleared = true;
    }
    return cleared;
}
