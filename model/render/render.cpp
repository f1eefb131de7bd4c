// Drawing a design into a graphics context: the canvas, the thread-list swatches, printing,
// the stitch player, PEC thumbnails and previews all come through here.
//
// Design coordinates (0.1 mm, Y up); the caller sets up the transform. One linear walk over the
// stitch list: colours and gradients are derived when a colour block starts, never per stitch,
// and stitches with both ends outside the visible rectangle (plus a margin) are skipped.
#include "VDLDesign.h"
#include "VDLGraphicsContext.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {

constexpr double kLineWidth = 3.5;            // base width W
constexpr double kStructureLineWidth = 0.5;   // W when needle points are shown
constexpr double kInnerWidthFactor = 0.7;     // flat inner line: 0.7 W
constexpr double kTubeRadiusFactor = 0.35;    // 3D tube radius: 0.5 x 0.7 W
constexpr double kJumpWidthFactor = 0.5;      // jumps: 0.5 W ...
constexpr double kMinJumpWidth = 0.5;         // ... but at least 0.5
constexpr double kJumpDashOn = 2.0;
constexpr double kJumpDashOff = 3.0;
constexpr VDLRGBA kSelectionColor{0.8, 0.0, 0.0, 0.6};
constexpr VDLRGBA kNeedlePointColor{0.0, 0.0, 0.0, 1.0};
constexpr double kNeedlePointSize = 1.0;
constexpr double kCullMargin = 50.0;
constexpr double kQuarterTurn = 1.571;        // tube caps
constexpr double kShade = 0.2;                // dark = colour - 0.2, light = colour + 0.2
constexpr double kDimmedAlpha = 0.1;
constexpr double kGradientLightLocation = 0.4;

// Everything drawn for one colour block, derived once when the block starts. Components are
// not clamped: the context gets them as computed.
struct BlockColors {
    VDLRGBA flat, dark, dimmed, dimmedDark;
    std::vector<VDLGradientStop> gradient, dimmedGradient;
    bool hidden = false;
};

std::vector<VDLGradientStop> tubeGradient(double r, double g, double b, double alpha) {
    const VDLRGBA dark{r - kShade, g - kShade, b - kShade, alpha};
    const VDLRGBA light{r + kShade, g + kShade, b + kShade, alpha};
    return {{0.0, dark}, {kGradientLightLocation, light}, {1.0, dark}};
}

void deriveColors(const VDLThread& thread, BlockColors& out) {
    const VDLColor& c = thread.color();
    const double r = c.red(), g = c.green(), b = c.blue();
    out.flat = VDLRGBA{r, g, b, 1.0};
    out.dark = VDLRGBA{r - kShade, g - kShade, b - kShade, 1.0};
    out.gradient = tubeGradient(r, g, b, 1.0);
    const double level = 0.21 * r + 0.71 * g + 0.08 * b + 0.22;
    out.dimmed = VDLRGBA{level, level, level, kDimmedAlpha};
    out.dimmedDark = VDLRGBA{level - kShade, level - kShade, level - kShade, kDimmedAlpha};
    out.dimmedGradient = tubeGradient(level, level, level, kDimmedAlpha);
    out.hidden = !thread.isShown();
}

void strokeSegment(VDLGraphicsContext& ctx, double px, double py, double qx, double qy) {
    ctx.beginPath();
    ctx.moveTo(px, py);
    ctx.lineTo(qx, qy);
    ctx.strokePath();
}

void markNeedlePoint(VDLGraphicsContext& ctx, double qx, double qy) {
    ctx.setFillColor(kNeedlePointColor);
    ctx.fillRect(qx - kNeedlePointSize / 2, qy - kNeedlePointSize / 2, kNeedlePointSize, kNeedlePointSize);
}

// The shaded tube from P to Q: a capsule of radius rr, filled across its width with the
// gradient dark - light - dark.
void drawTube(VDLGraphicsContext& ctx, float px, float py, float qx, float qy, double rr,
              const std::vector<VDLGradientStop>& gradient) {
    const float dx = qx - px;
    const float dy = qy - py;
    // Direction of the segment (single precision); a vertical one points a quarter turn up or down.
    float a;
    if (dx == 0.0f)
        a = dy > 0.0f ? std::atan(std::numeric_limits<float>::infinity())
                      : std::atan(-std::numeric_limits<float>::infinity());
    else
        a = std::atan(dy / dx);
    const double s = std::sin(a);
    const double c = std::cos(a);
    const bool clockwise = px > qx;
    const double angle = a;

    ctx.saveGState();
    ctx.beginPath();
    ctx.moveTo(px + rr * s, py - rr * c);
    ctx.addArc(qx, qy, rr, angle - kQuarterTurn, angle + kQuarterTurn, clockwise);
    ctx.addArc(px, py, rr, angle + kQuarterTurn, angle - kQuarterTurn, clockwise);
    ctx.closePath();
    ctx.clip();
    ctx.drawLinearGradient(gradient, px - rr * s, py + rr * c, px + rr * s, py - rr * c);
    ctx.restoreGState();
}

}  // namespace

void VDLDesign::drawDesignInRect(VDLRect rect, VDLGraphicsContext& ctx, bool show3D, bool showJumps,
                                 bool showStructure, int32_t thread) const {
    if (stitches_.empty() || threads_.empty()) return;

    ctx.saveGState();
    ctx.setLineCap(VDLLineCap::Round);

    const double cullMinX = std::min(rect.minX(), rect.maxX()) - kCullMargin;
    const double cullMaxX = std::max(rect.minX(), rect.maxX()) + kCullMargin;
    const double cullMinY = std::min(rect.minY(), rect.maxY()) - kCullMargin;
    const double cullMaxY = std::max(rect.minY(), rect.maxY()) + kCullMargin;
    auto visible = [&](double x, double y) { return x >= cullMinX && x < cullMaxX && y >= cullMinY && y < cullMaxY; };

    const double width = showStructure ? kStructureLineWidth : kLineWidth;
    const double innerWidth = kInnerWidthFactor * width;
    const double tubeRadius = kTubeRadiusFactor * width;
    const double jumpWidth = std::max(kMinJumpWidth, kJumpWidthFactor * width);
    const std::vector<double> noDash;
    const std::vector<double> jumpDash{kJumpDashOn, kJumpDashOff};

    // Stitches up to location + length are drawn, from location - 1 on (the player shows the
    // stitch that leads to the first one of its range).
    const VDLRange range = displayRange_;
    const uint64_t last = range.length > std::numeric_limits<uint64_t>::max() - range.location
                              ? std::numeric_limits<uint64_t>::max()
                              : range.location + range.length;

    BlockColors colors;
    int64_t block = -1;
    const int64_t threadCount = int64_t(threads_.size());
    float px = 0.0f, py = 0.0f;
    bool previousWasNormal = false;

    const size_t count = stitches_.size();
    for (size_t i = 0; i < count; ++i) {
        const VDLStitch& st = stitches_[i];
        if (i == 0 || st.isColorChange) {
            ++block;
            // Files can hold more colour blocks than threads: the surplus blocks keep the last
            // thread's colour and shown flag.
            deriveColors(threads_[size_t(std::min(block, threadCount - 1))], colors);
        }
        if (uint64_t(i) > last) break;

        const float qx = px + st.deltaX;
        const float qy = py + st.deltaY;
        const bool drawn = range.location <= uint64_t(i) + 1 && (thread == -1 || block == int64_t(thread)) &&
                           (st.isJumpStitch || visible(px, py) || visible(qx, qy)) && !st.isNullStitch();

        if (drawn) {
            const bool dimmed = selectionActive_ || colors.hidden;
            if (previousWasNormal && !st.isJumpStitch) {
                ctx.setLineDash(0, noDash);
                ctx.setLineWidth(width);
                ctx.setStrokeColor(dimmed ? colors.dimmedDark : colors.dark);
                strokeSegment(ctx, px, py, qx, qy);
                if (show3D) {
                    drawTube(ctx, px, py, qx, qy, tubeRadius, dimmed ? colors.dimmedGradient : colors.gradient);
                } else {
                    ctx.setLineWidth(innerWidth);
                    ctx.setStrokeColor(dimmed ? colors.dimmed : colors.flat);
                    strokeSegment(ctx, px, py, qx, qy);
                }
                if (st.isSelected) {
                    ctx.setLineWidth(width);
                    ctx.setStrokeColor(kSelectionColor);
                    strokeSegment(ctx, px, py, qx, qy);
                }
                if (showStructure) markNeedlePoint(ctx, qx, qy);
            } else if (showJumps) {
                ctx.setLineDash(0, jumpDash);
                ctx.setLineWidth(jumpWidth);
                ctx.setStrokeColor(dimmed ? colors.dimmed : show3D ? colors.dark : colors.flat);
                strokeSegment(ctx, px, py, qx, qy);
                if (st.isSelected) {
                    ctx.setStrokeColor(kSelectionColor);
                    strokeSegment(ctx, px, py, qx, qy);
                }
                if (showStructure) markNeedlePoint(ctx, qx, qy);
            }
        }

        px = qx;
        py = qy;
        previousWasNormal = !st.isJumpStitch && !st.isColorChange;
    }

    ctx.restoreGState();
}
