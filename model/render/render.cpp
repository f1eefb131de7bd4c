// Drawing a design into a graphics context: the canvas, the thread-list swatches, printing,
// the stitch player, PEC thumbnails and previews all come through here.
//
// Design coordinates (0.1 mm, Y up); the caller sets up the transform. One linear walk over the
// stitch list (VDLRenderWalk.h): colours and gradients are derived when a colour block starts,
// never per stitch, and stitches with both ends outside the visible rectangle (plus a margin)
// are skipped.
//
// When the context is an image whose transform is only scale and translation and nothing clips
// it, the stitches are drawn straight into its pixels (VDLRasterRenderer.h): the same walk, the
// same rules, a fraction of the cost of one stroked path per segment. Everything else (PDF, SVG,
// printing, rotated or clipped contexts) is drawn through the context.
#include "VDLDesign.h"
#include "VDLGraphicsContext.h"
#include "VDLRasterRenderer.h"
#include "VDLRenderWalk.h"

#include <vector>

using namespace vdlrender;

namespace {

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
    const float a = tubeAngle(px, py, qx, qy);
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

// Draws each stitch as stroked paths through the context.
class ContextPainter {
public:
    ContextPainter(VDLGraphicsContext& ctx, bool show3D, bool showStructure)
        : ctx_(ctx), show3D_(show3D), showStructure_(showStructure), widths_(showStructure) {}

    void block(const BlockColors& colors) { colors_ = &colors; }

    void draw(Segment kind, float px, float py, float qx, float qy, bool dimmed, bool selected) {
        const BlockColors& colors = *colors_;
        if (kind == Segment::Thread) {
            ctx_.setLineDash(0, noDash_);
            ctx_.setLineWidth(widths_.line);
            ctx_.setStrokeColor(dimmed ? colors.dimmedDark : colors.dark);
            strokeSegment(ctx_, px, py, qx, qy);
            if (show3D_) {
                drawTube(ctx_, px, py, qx, qy, widths_.tubeRadius, dimmed ? colors.dimmedGradient : colors.gradient);
            } else {
                ctx_.setLineWidth(widths_.inner);
                ctx_.setStrokeColor(dimmed ? colors.dimmed : colors.flat);
                strokeSegment(ctx_, px, py, qx, qy);
            }
            if (selected) {
                ctx_.setLineWidth(widths_.line);
                ctx_.setStrokeColor(kSelectionColor);
                strokeSegment(ctx_, px, py, qx, qy);
            }
        } else {
            ctx_.setLineDash(0, jumpDash_);
            ctx_.setLineWidth(widths_.jump);
            ctx_.setStrokeColor(dimmed ? colors.dimmed : show3D_ ? colors.dark : colors.flat);
            strokeSegment(ctx_, px, py, qx, qy);
            if (selected) {
                ctx_.setStrokeColor(kSelectionColor);
                strokeSegment(ctx_, px, py, qx, qy);
            }
        }
        if (showStructure_) markNeedlePoint(ctx_, qx, qy);
    }

private:
    VDLGraphicsContext& ctx_;
    bool show3D_, showStructure_;
    Widths widths_;
    const BlockColors* colors_ = nullptr;
    const std::vector<double> noDash_;
    const std::vector<double> jumpDash_{kJumpDashOn, kJumpDashOff};
};

}  // namespace

void VDLDesign::drawDesignInRect(VDLRect rect, VDLGraphicsContext& ctx, bool show3D, bool showJumps,
                                 bool showStructure, int32_t thread) const {
    if (stitches_.empty() || threads_.empty()) return;

    VDLPixelTarget target;
    if (VDLRasterRenderingEnabled() && ctx.beginPixelAccess(target)) {
        VDLRasterOptions options;
        options.show3D = show3D;
        options.showJumps = showJumps;
        options.showStructure = showStructure;
        options.thread = thread;
        options.cancelled = target.cancelled;
        VDLDrawDesignIntoImage(*this, rect, target.image, target.transform, options);
        ctx.endPixelAccess();
        return;
    }

    ctx.saveGState();
    ctx.setLineCap(VDLLineCap::Round);
    ContextPainter painter(ctx, show3D, showStructure);
    walkDesign(*this, rect, showJumps, thread, painter);
    ctx.restoreGState();
}
