#include "VDLCanvasRenderer.h"

#include "VDLCairoContext.h"

#include <cairo.h>

namespace {

// Forwards to the real context until the job is superseded; from then on every call is a no-op,
// so the renderer's walk finishes in moments and the worker takes the newer job.
class CancellableContext final : public VDLGraphicsContext {
public:
    CancellableContext(VDLGraphicsContext& inner, const std::function<bool()>& cancelled)
        : inner_(inner), cancelled_(cancelled) {}
    bool stopped() const { return stopped_; }
    bool cancelled() {
        // Asked every 256 calls: cheap enough for per-segment calls, quick enough to stop.
        if (!stopped_ && (++calls_ & 255) == 0 && cancelled_ && cancelled_()) stopped_ = true;
        return stopped_;
    }
    void saveGState() override { if (!cancelled()) inner_.saveGState(); }
    void restoreGState() override { if (!cancelled()) inner_.restoreGState(); }
    void setLineCap(VDLLineCap cap) override { if (!cancelled()) inner_.setLineCap(cap); }
    void setLineWidth(double w) override { if (!cancelled()) inner_.setLineWidth(w); }
    void setLineDash(double phase, const std::vector<double>& l) override { if (!cancelled()) inner_.setLineDash(phase, l); }
    void setStrokeColor(const VDLRGBA& c) override { if (!cancelled()) inner_.setStrokeColor(c); }
    void setFillColor(const VDLRGBA& c) override { if (!cancelled()) inner_.setFillColor(c); }
    void beginPath() override { if (!cancelled()) inner_.beginPath(); }
    void moveTo(double x, double y) override { if (!cancelled()) inner_.moveTo(x, y); }
    void lineTo(double x, double y) override { if (!cancelled()) inner_.lineTo(x, y); }
    void addArc(double cx, double cy, double r, double a0, double a1, bool cw) override {
        if (!cancelled()) inner_.addArc(cx, cy, r, a0, a1, cw);
    }
    void closePath() override { if (!cancelled()) inner_.closePath(); }
    void addRect(double x, double y, double w, double h) override { if (!cancelled()) inner_.addRect(x, y, w, h); }
    void strokePath() override { if (!cancelled()) inner_.strokePath(); }
    void fillPath() override { if (!cancelled()) inner_.fillPath(); }
    void eoFillPath() override { if (!cancelled()) inner_.eoFillPath(); }
    void clip() override { if (!cancelled()) inner_.clip(); }
    void fillRect(double x, double y, double w, double h) override { if (!cancelled()) inner_.fillRect(x, y, w, h); }
    void strokeRect(double x, double y, double w, double h) override { if (!cancelled()) inner_.strokeRect(x, y, w, h); }
    void drawLinearGradient(const std::vector<VDLGradientStop>& stops, double x0, double y0, double x1,
                            double y1) override {
        if (!cancelled()) inner_.drawLinearGradient(stops, x0, y0, x1, y1);
    }
    void translate(double tx, double ty) override { if (!cancelled()) inner_.translate(tx, ty); }
    void scale(double sx, double sy) override { if (!cancelled()) inner_.scale(sx, sy); }
    void selectFont(const std::string& f, double size, bool bold) override { if (!cancelled()) inner_.selectFont(f, size, bold); }
    void showText(double x, double y, const std::string& t) override { if (!cancelled()) inner_.showText(x, y, t); }
    double textWidth(const std::string& t) override { return cancelled() ? 0 : inner_.textWidth(t); }
    // The pixel path draws the whole design in one call; it asks the same question now and then
    // and stops when the drawing is no longer wanted.
    bool beginPixelAccess(VDLPixelTarget& target) override {
        if (stopped_ || (cancelled_ && cancelled_())) {
            stopped_ = true;
            return false;
        }
        if (!inner_.beginPixelAccess(target)) return false;
        target.cancelled = cancelled_;
        return true;
    }
    void endPixelAccess() override {
        inner_.endPixelAccess();
        if (cancelled_ && cancelled_()) stopped_ = true;
    }

private:
    VDLGraphicsContext& inner_;
    const std::function<bool()>& cancelled_;
    unsigned calls_ = 0;
    bool stopped_ = false;
};

}  // namespace

VDLCanvasRenderer::VDLCanvasRenderer() : thread_([this] { run(); }) {}

VDLCanvasRenderer::~VDLCanvasRenderer() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        pending_.reset();
    }
    stopping_.store(true);
    wake_.notify_all();
    thread_.join();
}

void VDLCanvasRenderer::request(VDLCanvasJob job) {
    latest_.store(job.serial, std::memory_order_relaxed);
    {
        std::lock_guard lock(mutex_);
        pending_ = std::move(job);  // a job that has not started yet is superseded
    }
    wake_.notify_one();
}

bool VDLCanvasRenderer::busy() const {
    std::lock_guard lock(mutex_);
    return inFlight_ > 0 || pending_.has_value();
}

void VDLCanvasRenderer::run() {
    for (;;) {
        VDLCanvasJob job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stop_ || pending_.has_value(); });
            if (stop_) return;
            job = std::move(*pending_);
            pending_.reset();
            ++inFlight_;
        }
        QImage image = job.base;
        if (image.isNull() || image.size() != job.size) {
            image = QImage(job.size, QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
        }
        const quint64 serial = job.serial;
        const std::function<bool()> superseded = [this, serial] {
            return stopping_.load(std::memory_order_relaxed) || latest_.load(std::memory_order_relaxed) > serial;
        };
        bool complete = true;
        if (job.design && !image.isNull()) {
            // Playback: only the new stitches, without walking the list from the start.
            std::optional<VDLDesign> segment;
            if (job.drawRange && !job.base.isNull()) segment = playbackCursor_.segment(job.design, *job.drawRange);
            if (segment) {
                complete = render(*segment, image, job.rect, job.ppu, job.show3D, job.showJumps, job.showStructure,
                                  superseded);
            } else {
                job.design->setDisplayRange(job.drawRange.value_or(job.range));
                complete = render(*job.design, image, job.rect, job.ppu, job.show3D, job.showJumps, job.showStructure,
                                  superseded);
            }
        }
        if (!complete) {
            // Stopped for a newer job (or the view is going): this image is never shown.
            std::lock_guard lock(mutex_);
            --inFlight_;
            continue;
        }
        job.design.reset();
        job.base = QImage();
        // Delivered on the UI thread; dropped by Qt when the renderer is gone by then.
        QMetaObject::invokeMethod(
            this,
            [this, serial = job.serial, image = std::move(image), rect = job.rect, ppu = job.ppu, key = job.key,
             range = job.range] {
                {
                    std::lock_guard lock(mutex_);
                    --inFlight_;
                }
                emit finished(serial, image, rect, ppu, key, range);
            },
            Qt::QueuedConnection);
    }
}

bool VDLCanvasRenderer::render(const VDLDesign& design, QImage& target, VDLRect rect, double ppu, bool show3D,
                               bool showJumps, bool showStructure, const std::function<bool()>& cancelled) {
    if (target.isNull() || !(ppu > 0)) return true;
    if (target.format() != QImage::Format_ARGB32_Premultiplied)
        target = target.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    bool complete = true;
    cairo_surface_t* surface = cairo_image_surface_create_for_data(target.bits(), CAIRO_FORMAT_ARGB32, target.width(),
                                                                   target.height(), int(target.bytesPerLine()));
    cairo_t* cr = cairo_create(surface);
    {
        VDLCairoContext cairoContext(cr);
        CancellableContext context(cairoContext, cancelled);
        // Design units, Y up, the rectangle's top-left corner at pixel (0, 0).
        context.translate(0, rect.maxY() * ppu);
        context.scale(ppu, -ppu);
        context.translate(-rect.minX(), 0);
        design.drawDesignInRect(rect, context, show3D, showJumps, showStructure);
        complete = !context.stopped();
    }
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    cairo_surface_destroy(surface);
    return complete;
}
