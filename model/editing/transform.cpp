// Geometric transforms of the selection: flip, rotate, resize and move, and centring the whole
// design. All four selection transforms share one walk that rewrites the deltas of every run
// of selected stitches and bridges into and out of the run with jumps, so that every
// unselected stitch keeps its absolute position. The list is rebuilt in one pass.
#include "VDLDesign.h"
#include "jumpbridge.h"

#include <cmath>
#include <vector>

namespace {

struct Vec {
    double x, y;
};

// Room for the bridging records of every selected run: at most a jump and a null stitch in
// front of the run and behind it.
size_t bridgedCapacity(const std::vector<VDLStitch>& stitches) {
    size_t runs = 0;
    bool prev = false;
    for (const VDLStitch& s : stitches) {
        if (s.isSelected && !prev) ++runs;
        prev = s.isSelected;
    }
    return stitches.size() + 4 * runs;
}

// The walk. O is the start of the current stitch before the edit, N the pen position in the
// edited list. entry(O) gives the jump in front of a run, closing(N) the jump behind it;
// map(E) is the transformed end point. With Rewrite false the deltas are kept (a move).
template <bool Rewrite, class Entry, class Map, class Closing>
std::vector<VDLStitch> transformWalk(const std::vector<VDLStitch>& in, Entry entry, Map map, Closing closing) {
    std::vector<VDLStitch> out;
    out.reserve(bridgedCapacity(in));
    Vec O{0, 0}, N{0, 0};
    bool prevSelected = false;
    for (VDLStitch s : in) {
        const Vec E{O.x + double(s.deltaX), O.y + double(s.deltaY)};
        if (s.isSelected) {
            if (!prevSelected) {
                const Vec J = entry(O);
                appendBridgingJump(out, J.x, J.y, s);
                N = Vec{N.x + J.x, N.y + J.y};
            }
            if constexpr (Rewrite) {
                const Vec FE = map(E);
                s.deltaX = float(FE.x - N.x);
                s.deltaY = float(FE.y - N.y);
                N = FE;
            }
        } else {
            if (prevSelected && !out.empty()) {
                const Vec J = closing(N);
                appendBridgingJump(out, J.x, J.y, s);
            }
            N = E;
        }
        prevSelected = s.isSelected;
        O = E;
        out.push_back(s);
    }
    return out;
}

Vec centerOf(const VDLRect& r) { return Vec{r.origin.x + r.size.width / 2, r.origin.y + r.size.height / 2}; }

}  // namespace

bool VDLDesign::flipSelection(const std::string& orientation, VDLError* error) {
    const bool vertical = orientation == "V";
    if (!vertical && orientation != "H")
        return VDLDesignError(error, 70, "Unable to flip the design (invalid orientation).");

    const Vec C = centerOf(selectionRect());
    if (vertical) {
        stitches_ = transformWalk<true>(
            stitches_, [&](Vec O) { return Vec{2 * C.x - 2 * O.x, 0}; },
            [&](Vec E) { return Vec{2 * C.x - E.x, E.y}; }, [&](Vec N) { return Vec{2 * C.x - 2 * N.x, 0}; });
    } else {
        stitches_ = transformWalk<true>(
            stitches_, [&](Vec O) { return Vec{0, 2 * C.y - 2 * O.y}; },
            [&](Vec E) { return Vec{E.x, 2 * C.y - E.y}; }, [&](Vec N) { return Vec{0, 2 * C.y - 2 * N.y}; });
    }
    optimizeJumpsFor(designType_);
    return true;
}

bool VDLDesign::rotateSelectionByDegrees(int32_t degrees, VDLError*) {
    const Vec C = centerOf(selectionRect());
    const double a = double(degrees) * 0.017453292519943295;
    // The sines and cosines are used at float precision, so the closing jump returns to the
    // unedited path only within float rounding.
    const double c = float(std::cos(a)), s = float(std::sin(a));
    const double ci = float(std::cos(-a)), si = float(std::sin(-a));
    auto rotate = [&C](Vec p, double cs, double sn) {
        return Vec{cs * (p.x - C.x) - sn * (p.y - C.y) + C.x, sn * (p.x - C.x) + cs * (p.y - C.y) + C.y};
    };
    stitches_ = transformWalk<true>(
        stitches_,
        [&](Vec O) {
            const Vec F = rotate(O, c, s);
            return Vec{F.x - O.x, F.y - O.y};
        },
        [&](Vec E) { return rotate(E, c, s); },
        [&](Vec N) {
            const Vec B = rotate(N, ci, si);
            return Vec{B.x - N.x, B.y - N.y};
        });
    optimizeJumpsFor(designType_);
    return true;
}

bool VDLDesign::moveSelectionByVector(VDLPoint vector, VDLError*) {
    // A move keeps every delta: only the entry and closing jumps change.
    stitches_ = transformWalk<false>(
        stitches_, [&](Vec) { return Vec{vector.x, vector.y}; }, [](Vec E) { return E; },
        [&](Vec) { return Vec{0.0 - vector.x, 0.0 - vector.y}; });
    optimizeJumpsFor(designType_);
    return true;
}

// A factor of 0 (or one that is not finite) would collapse the selection and leave no way
// back to the unedited path; it is refused with code 71 and the design is left as it was.
bool VDLDesign::resizeSelectionByPercent(float factor, VDLError* error) {
    if (factor == 0.0f || !std::isfinite(factor))
        return VDLDesignError(error, 71, "Unable to resize the design (invalid factor).");

    const Vec C = centerOf(selectionRect());
    const double f = factor;
    stitches_ = transformWalk<true>(
        stitches_,
        [&](Vec O) { return Vec{((O.x - C.x) * f + C.x) - O.x, ((O.y - C.y) * f + C.y) - O.y}; },
        [&](Vec E) { return Vec{(E.x - C.x) * f + C.x, (E.y - C.y) * f + C.y}; },
        [&](Vec N) { return Vec{((N.x - C.x) / f + C.x) - N.x, ((N.y - C.y) / f + C.y) - N.y}; });
    optimizeJumpsFor(designType_);
    return true;
}

// Shifts the whole design so that the centre of its bounds lands on the start point: a jump
// at the head of the list moves every stitch. Merging and cutting that jump can leave the
// centre a little off, so it repeats, at most ten rounds.
bool VDLDesign::centerDesign() {
    for (int round = 0; round < 10; ++round) {
        const VDLPoint c = centerOfDesign();
        if (c.x == 0.0 && c.y == 0.0) break;
        insertJump(VDLPoint{-c.x, -c.y}, 0);
        optimizeJumpsFor(designType_);
    }
    return true;
}
