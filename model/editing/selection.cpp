// Selection and hit testing. The selection lives in the stitches' isSelected flags; positions
// are derived by walking the list from the start point (0, 0), accumulating in double.
#include "VDLDesign.h"

#include <utility>
#include <vector>

namespace {

// Half-open containment of a standardised rectangle: minX <= x < maxX, minY <= y < maxY.
bool rectContainsPoint(const VDLRect& r, double x, double y) {
    double x0 = r.origin.x, x1 = r.origin.x + r.size.width;
    double y0 = r.origin.y, y1 = r.origin.y + r.size.height;
    if (x1 < x0) std::swap(x0, x1);
    if (y1 < y0) std::swap(y0, y1);
    return x >= x0 && x < x1 && y >= y0 && y < y1;
}

bool anySelected(const std::vector<VDLStitch>& stitches) {
    for (const VDLStitch& s : stitches)
        if (s.isSelected) return true;
    return false;
}

bool endsBlock(const VDLStitch& s) { return s.isJumpStitch || s.isColorChange; }

}  // namespace

void VDLDesign::selectAll() {
    for (VDLStitch& s : stitches_) s.isSelected = true;
    selectionActive_ = true;
}

void VDLDesign::deselectAll() {
    for (VDLStitch& s : stitches_) s.isSelected = false;
    selectionActive_ = false;
}

void VDLDesign::invertAll() {
    selectionActive_ = false;
    for (VDLStitch& s : stitches_) {
        s.isSelected = !s.isSelected;
        if (s.isSelected) selectionActive_ = true;
    }
}

void VDLDesign::selectInRect(VDLRect r, bool unselectMode) {
    selectionActive_ = false;
    double x = 0, y = 0;
    for (VDLStitch& s : stitches_) {
        double ex = x + double(s.deltaX), ey = y + double(s.deltaY);
        if (rectContainsPoint(r, x, y) && rectContainsPoint(r, ex, ey)) s.isSelected = !unselectMode;
        if (s.isSelected) selectionActive_ = true;
        x = ex;
        y = ey;
    }
}

// The last stitch (highest index) whose segment passes closer than sqrt(tolerance) to P;
// zero-length stitches are never hit.
int32_t VDLDesign::indexOfStitchAt(VDLPoint p, float tolerance) const {
    int32_t result = -1;
    double sx = 0, sy = 0;
    const size_t count = stitches_.size();
    for (size_t i = 0; i < count; ++i) {
        const VDLStitch& s = stitches_[i];
        const double ex = sx + double(s.deltaX), ey = sy + double(s.deltaY);
        const double dx = ex - sx, dy = ey - sy;
        const float l2 = float(dx * dx + dy * dy);
        if (l2 != 0.0f) {
            const float t = float(((p.x - sx) * dx + (p.y - sy) * dy) / double(l2));
            double qx, qy;
            if (t < 0) {
                qx = sx;
                qy = sy;
            } else if (t > 1) {
                qx = ex;
                qy = ey;
            } else {
                qx = sx + double(t) * dx;
                qy = sy + double(t) * dy;
            }
            const float dist2 = float((p.x - qx) * (p.x - qx) + (p.y - qy) * (p.y - qy));
            if (dist2 < tolerance) result = int32_t(i);
        }
        sx = ex;
        sy = ey;
    }
    return result;
}

bool VDLDesign::isSelectedAt(VDLPoint p, float tolerance) const {
    int32_t h = indexOfStitchAt(p, tolerance);
    return h >= 0 && stitches_[size_t(h)].isSelected;
}

void VDLDesign::selectStitchAt(VDLPoint p, float tolerance, bool unselectMode) {
    int32_t h = indexOfStitchAt(p, tolerance);
    if (h >= 0) stitches_[size_t(h)].isSelected = !unselectMode;
    selectionActive_ = anySelected(stitches_);
}

// The maximal run of ordinary stitches around the hit stitch; the jumps and colour changes
// that bound it are left alone.
void VDLDesign::selectBlockAt(VDLPoint p, float tolerance, bool unselectMode) {
    int32_t h = indexOfStitchAt(p, tolerance);
    if (h >= 0) {
        for (int64_t i = h; i >= 0; --i) {
            VDLStitch& s = stitches_[size_t(i)];
            if (endsBlock(s)) break;
            s.isSelected = !unselectMode;
        }
        for (size_t i = size_t(h) + 1; i < stitches_.size(); ++i) {
            VDLStitch& s = stitches_[i];
            if (endsBlock(s)) break;
            s.isSelected = !unselectMode;
        }
    }
    selectionActive_ = anySelected(stitches_);
}

int32_t VDLDesign::indexOfThreadAt(VDLPoint p, float tolerance) const {
    int32_t h = indexOfStitchAt(p, tolerance);
    if (h < 0) return -1;
    int32_t thread = 0;
    for (int32_t i = 0; i <= h; ++i)
        if (stitches_[size_t(i)].isColorChange) ++thread;
    return thread;
}

// The frame of the selection transforms: the design bounds when nothing is selected, else the
// extremes of the start and end points of the selected stitches. A stale selectionActive
// with no stitch selected gives the inverted rectangle around (0, 0).
VDLRect VDLDesign::selectionRect() const {
    if (!selectionActive_) return VDLMakeRect(xMin_, yMin_, xMax_ - xMin_, yMax_ - yMin_);
    float minX = 65536, minY = 65536, maxX = -65536, maxY = -65536;
    auto fold = [&](double x, double y) {
        if (x < minX) minX = float(x);
        if (x > maxX) maxX = float(x);
        if (y < minY) minY = float(y);
        if (y > maxY) maxY = float(y);
    };
    double x = 0, y = 0;
    for (const VDLStitch& s : stitches_) {
        double ex = x + double(s.deltaX), ey = y + double(s.deltaY);
        if (s.isSelected) {
            fold(x, y);
            fold(ex, ey);
        }
        x = ex;
        y = ey;
    }
    return VDLMakeRect(minX, minY, maxX - minX, maxY - minY);
}
