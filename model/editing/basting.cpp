// The basting frame: a rectangle of long running stitches sewn around the design before the
// design itself, as a black thread block of its own in front of the design's blocks.
#include "VDLDesign.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

// More stitches than this on one edge means a stitch length far below anything a machine
// sews (0.01 mm around a 10 m frame); such a request is refused rather than filling memory.
constexpr double kMostStitchesPerEdge = 1000000.0;

// Stitches on an edge of length EDGE (design units) with stitches of at most STEP units: the
// quotient is taken in double, rounded to float and then rounded up. An edge of no length
// (a design of zero width or height with distance 0) gets no stitches at all, so no stitch
// length is ever derived from a division by zero.
double stitchesOnEdge(float edge, double step) {
    if (!(edge > 0.0f)) return 0.0;
    return std::ceil(double(float(double(edge) / step)));
}

}  // namespace

// The frame lies D mm outside the design's bounds on every side. From a jump to its top-left
// corner and a needle drop there it runs clockwise (+x, -y, -x, +y), sews the first stitches
// of the first edge once more so the thread is locked, and jumps back to the start point; a
// colour change then opens the design's former block 0. Every edge is cut into stitches of
// equal length, at most L mm long.
//
// L must be above 0 and D at least 0 (code 72 otherwise, and for a length so small that an
// edge would need more than a million stitches); the design needs stitches and a thread to
// copy (code 73). A frame of zero width or height skips the edges that have no length: it
// becomes a line sewn there and back (or a single needle drop).
bool VDLDesign::addBastingWithLength(float lengthMM, float distanceMM, VDLError* error) {
    if (!(lengthMM > 0.0f) || !std::isfinite(lengthMM) || !(distanceMM >= 0.0f) || !std::isfinite(distanceMM))
        return VDLDesignError(error, 72, "Unable to add basting (invalid stitch length or distance).");
    if (stitches_.empty() || threads_.empty())
        return VDLDesignError(error, 73, "Unable to add basting (design holds no stitches).");

    const double distance = 10.0 * double(distanceMM);
    const float width = float(double(designWidth()) + 2.0 * distance);
    const float height = float(double(designHeight()) + 2.0 * distance);
    const float left = xMin_ - 10.0f * distanceMM;
    const float top = yMax_ + 10.0f * distanceMM;
    const double step = 10.0 * double(lengthMM);
    const double nxReal = stitchesOnEdge(width, step);
    const double nyReal = stitchesOnEdge(height, step);
    if (!(nxReal <= kMostStitchesPerEdge) || !(nyReal <= kMostStitchesPerEdge) || !std::isfinite(left) ||
        !std::isfinite(top))
        return VDLDesignError(error, 72, "Unable to add basting (invalid stitch length or distance).");
    const int nx = int(nxReal);
    const int ny = int(nyReal);
    const float sx = nx > 0 ? width / float(nx) : 0.0f;
    const float sy = ny > 0 ? height / float(ny) : 0.0f;
    const int overlap = std::min(nx, 3);

    VDLThread black = threads_.front();
    black.changeToColor(VDLColor(0, 0, 0), designPalette());

    std::vector<VDLStitch> list;
    list.reserve(size_t(2 * nx + 2 * ny + overlap + 4) + stitches_.size());
    list.emplace_back(left, top, true, false);
    list.emplace_back(0.0f, 0.0f, false, false);
    list.insert(list.end(), size_t(nx), VDLStitch(sx, 0.0f, false, false));
    list.insert(list.end(), size_t(ny), VDLStitch(0.0f, -sy, false, false));
    list.insert(list.end(), size_t(nx), VDLStitch(-sx, 0.0f, false, false));
    list.insert(list.end(), size_t(ny), VDLStitch(0.0f, sy, false, false));
    list.insert(list.end(), size_t(overlap), VDLStitch(sx, 0.0f, false, false));
    list.emplace_back(-(float(overlap) * sx + left), -top, true, false);
    list.emplace_back(0.0f, 0.0f, false, true);
    list.insert(list.end(), stitches_.begin(), stitches_.end());
    stitches_ = std::move(list);
    threads_.insert(threads_.begin(), std::move(black));

    optimizeJumpsFor(designType_);
    return true;
}
