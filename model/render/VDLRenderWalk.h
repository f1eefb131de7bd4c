#pragma once
// The walk over a design that decides what is drawn, shared by the two ways of drawing it:
// through a graphics context (any surface) and straight into ARGB32 pixels (image targets).
// Both paths call the same walk, so hidden threads, dimming, the cull rule, the thread filter
// and the display range select exactly the same stitches, in the same order.
#include "VDLDesign.h"
#include "VDLGraphicsContext.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

namespace vdlrender {

constexpr double kLineWidth = 3.5;           // base width W
constexpr double kStructureLineWidth = 0.5;  // W when needle points are shown
constexpr double kInnerWidthFactor = 0.7;    // flat inner line: 0.7 W
constexpr double kTubeRadiusFactor = 0.35;   // 3D tube radius: 0.5 x 0.7 W
constexpr double kJumpWidthFactor = 0.5;     // jumps: 0.5 W ...
constexpr double kMinJumpWidth = 0.5;        // ... but at least 0.5
constexpr double kJumpDashOn = 2.0;
constexpr double kJumpDashOff = 3.0;
constexpr VDLRGBA kSelectionColor{0.8, 0.0, 0.0, 0.6};
constexpr VDLRGBA kNeedlePointColor{0.0, 0.0, 0.0, 1.0};
constexpr double kNeedlePointSize = 1.0;
constexpr double kCullMargin = 50.0;
constexpr double kQuarterTurn = 1.571;  // tube caps
constexpr double kShade = 0.2;          // dark = colour - 0.2, light = colour + 0.2
constexpr double kDimmedAlpha = 0.1;
constexpr double kGradientLightLocation = 0.4;

// The widths of one drawing, from the needle-point switch.
struct Widths {
    double line, inner, tubeRadius, jump;
    explicit Widths(bool showStructure)
        : line(showStructure ? kStructureLineWidth : kLineWidth),
          inner(kInnerWidthFactor * line),
          tubeRadius(kTubeRadiusFactor * line),
          jump(std::max(kMinJumpWidth, kJumpWidthFactor * line)) {}
};

// Everything drawn for one colour block, derived once when the block starts. Components are
// not clamped: the context gets them as computed.
struct BlockColors {
    VDLRGBA flat, dark, dimmed, dimmedDark;
    std::vector<VDLGradientStop> gradient, dimmedGradient;
    bool hidden = false;
};

inline std::vector<VDLGradientStop> tubeGradient(double r, double g, double b, double alpha) {
    const VDLRGBA dark{r - kShade, g - kShade, b - kShade, alpha};
    const VDLRGBA light{r + kShade, g + kShade, b + kShade, alpha};
    return {{0.0, dark}, {kGradientLightLocation, light}, {1.0, dark}};
}

inline void deriveColors(const VDLThread& thread, BlockColors& out) {
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

// Direction of a segment for the tube (single precision, as the tube path is built); a
// vertical one points a quarter turn up or down.
inline float tubeAngle(float px, float py, float qx, float qy) {
    const float dx = qx - px;
    const float dy = qy - py;
    if (dx == 0.0f)
        return dy > 0.0f ? std::atan(std::numeric_limits<float>::infinity())
                         : std::atan(-std::numeric_limits<float>::infinity());
    return std::atan(dy / dx);
}

// What the walk hands a painter for every stitch it draws.
enum class Segment { Thread, Jump };

// Walks the stitches in order, deciding for each one whether and how it is drawn. The painter
// gets block(colors) when a colour block starts, and draw(kind, px, py, qx, qy, dimmed,
// selected) for every drawn stitch; jumps (and the first stitch after a jump or a colour
// change) only when showJumps is set.
template <class Painter>
void walkDesign(const VDLDesign& design, VDLRect rect, bool showJumps, int32_t thread, Painter& painter) {
    const std::vector<VDLStitch>& stitches = design.stitches();
    const std::vector<VDLThread>& threads = design.threads();
    if (stitches.empty() || threads.empty()) return;

    const double cullMinX = std::min(rect.minX(), rect.maxX()) - kCullMargin;
    const double cullMaxX = std::max(rect.minX(), rect.maxX()) + kCullMargin;
    const double cullMinY = std::min(rect.minY(), rect.maxY()) - kCullMargin;
    const double cullMaxY = std::max(rect.minY(), rect.maxY()) + kCullMargin;
    auto visible = [&](double x, double y) { return x >= cullMinX && x < cullMaxX && y >= cullMinY && y < cullMaxY; };

    // Stitches up to location + length are drawn, from location - 1 on (the player shows the
    // stitch that leads to the first one of its range).
    const VDLRange range = design.displayRange();
    const uint64_t last = range.length > std::numeric_limits<uint64_t>::max() - range.location
                              ? std::numeric_limits<uint64_t>::max()
                              : range.location + range.length;
    const bool selectionActive = design.selectionActive();

    BlockColors colors;
    int64_t block = -1;
    const int64_t threadCount = int64_t(threads.size());
    float px = 0.0f, py = 0.0f;
    bool previousWasNormal = false;

    const size_t count = stitches.size();
    for (size_t i = 0; i < count; ++i) {
        const VDLStitch& st = stitches[i];
        if (i == 0 || st.isColorChange) {
            ++block;
            // Files can hold more colour blocks than threads: the surplus blocks keep the last
            // thread's colour and shown flag.
            deriveColors(threads[size_t(std::min(block, threadCount - 1))], colors);
            painter.block(colors);
        }
        if (uint64_t(i) > last) break;

        const float qx = px + st.deltaX;
        const float qy = py + st.deltaY;
        const bool drawn = range.location <= uint64_t(i) + 1 && (thread == -1 || block == int64_t(thread)) &&
                           (st.isJumpStitch || visible(px, py) || visible(qx, qy)) && !st.isNullStitch();

        if (drawn) {
            const bool dimmed = selectionActive || colors.hidden;
            if (previousWasNormal && !st.isJumpStitch)
                painter.draw(Segment::Thread, px, py, qx, qy, dimmed, st.isSelected);
            else if (showJumps)
                painter.draw(Segment::Jump, px, py, qx, qy, dimmed, st.isSelected);
        }

        px = qx;
        py = qy;
        previousWasNormal = !st.isJumpStitch && !st.isColorChange;
    }
}

}  // namespace vdlrender
