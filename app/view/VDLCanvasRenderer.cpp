#include "VDLCanvasRenderer.h"

#include "VDLCairoContext.h"

#include <cairo.h>

#include <algorithm>
#include <deque>

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

// The threads every renderer draws on, and the queue of renderers with a job waiting. It lives
// as long as the process: its threads wait for work until the end.
class VDLCanvasPool {
public:
    static VDLCanvasPool& shared() {
        static VDLCanvasPool* pool = new VDLCanvasPool;
        return *pool;
    }
    std::mutex mutex;
    std::condition_variable work;  // a renderer was queued
    std::condition_variable idle;  // a renderer's job ended
    std::deque<VDLCanvasRenderer*> queue;
    int threads = 0;

    // Under MUTEX: queues R when it has a job and none of its jobs is queued or running.
    void schedule(VDLCanvasRenderer* r) {
        if (r->pending_ && !r->queued_ && !r->running_ && !r->stop_) {
            queue.push_back(r);
            r->queued_ = true;
            work.notify_one();
        }
    }

private:
    VDLCanvasPool() {
        threads = int(std::max(1u, std::thread::hardware_concurrency()));
        for (int i = 0; i < threads; ++i) std::thread([this] { run(); }).detach();
    }

    void run() {
        for (;;) {
            VDLCanvasRenderer* r = nullptr;
            VDLCanvasJob job;
            {
                std::unique_lock lock(mutex);
                work.wait(lock, [this] { return !queue.empty(); });
                r = queue.front();
                queue.pop_front();
                r->queued_ = false;
                if (r->stop_ || !r->pending_) continue;
                job = std::move(*r->pending_);
                r->pending_.reset();
                ++r->inFlight_;
                r->running_ = true;
            }
            const bool complete = r->runJob(job);
            std::lock_guard lock(mutex);
            if (!complete) --r->inFlight_;  // this image is never shown
            r->running_ = false;
            idle.notify_all();
            schedule(r);
        }
    }
};

VDLCanvasRenderer::VDLCanvasRenderer() { VDLCanvasPool::shared(); }

VDLCanvasRenderer::~VDLCanvasRenderer() {
    VDLCanvasPool& pool = VDLCanvasPool::shared();
    stopping_.store(true);
    std::unique_lock lock(pool.mutex);
    stop_ = true;
    pending_.reset();
    if (queued_) {
        pool.queue.erase(std::remove(pool.queue.begin(), pool.queue.end(), this), pool.queue.end());
        queued_ = false;
    }
    // A job already drawing stops at its next question (stopping_) and is waited for.
    pool.idle.wait(lock, [this] { return !running_; });
}

int VDLCanvasRenderer::poolThreadCount() { return VDLCanvasPool::shared().threads; }

void VDLCanvasRenderer::request(VDLCanvasJob job) {
    latest_.store(job.serial, std::memory_order_relaxed);
    VDLCanvasPool& pool = VDLCanvasPool::shared();
    std::lock_guard lock(pool.mutex);
    pending_ = std::move(job);  // a job that has not started yet is superseded
    pool.schedule(this);
}

void VDLCanvasRenderer::cancel() {
    cancelledTo_.store(latest_.load(std::memory_order_relaxed), std::memory_order_relaxed);
    std::lock_guard lock(VDLCanvasPool::shared().mutex);
    pending_.reset();
}

bool VDLCanvasRenderer::busy() const {
    std::lock_guard lock(VDLCanvasPool::shared().mutex);
    return inFlight_ > 0 || pending_.has_value();
}

bool VDLCanvasRenderer::runJob(VDLCanvasJob& job) {
    QImage image = job.base;
    if (image.isNull() || image.size() != job.size) {
        image = QImage(job.size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
    }
    const quint64 serial = job.serial;
    const std::function<bool()> superseded = [this, serial] {
        return stopping_.load(std::memory_order_relaxed) || latest_.load(std::memory_order_relaxed) > serial ||
               cancelledTo_.load(std::memory_order_relaxed) >= serial;
    };
    bool complete = true;
    if (job.design && !image.isNull()) {
        const quint64 end = job.range.location + job.range.length;
        if (job.checkpointEvery > 0 && job.range.location == 0 && (!job.drawRange || !job.base.isNull())) {
            // The drawing goes on in spans; each span boundary hands a copy of the picture over.
            quint64 first = job.drawRange ? job.drawRange->location - 1 : 0;
            const quint64 every = job.checkpointEvery;
            for (quint64 b = (first / every + 1) * every; complete && b >= first + 1 && b + 2 <= end; b += every) {
                complete = drawStitches(job, image, first, b, superseded);
                if (!complete) break;
                QMetaObject::invokeMethod(
                    this,
                    [this, copy = image.copy(), b, rect = job.rect, ppu = job.ppu, key = job.key] {
                        emit checkpoint(copy, b, rect, ppu, key);
                    },
                    Qt::QueuedConnection);
                first = b + 1;
            }
            if (complete) complete = drawStitches(job, image, first, end, superseded);
        } else if (job.drawRange && !job.base.isNull()) {
            // Playback: only the new stitches, without walking the list from the start.
            complete = drawStitches(job, image, job.drawRange->location - 1,
                                    job.drawRange->location + job.drawRange->length, superseded);
        } else {
            job.design->setDisplayRange(job.drawRange.value_or(job.range));
            complete = render(*job.design, image, job.rect, job.ppu, job.show3D, job.showJumps, job.showStructure,
                              superseded);
        }
    }
    // Stopped for a newer job (or the view is going): this image is never shown.
    if (!complete) return false;
    job.design.reset();
    job.base = QImage();
    // Delivered on the UI thread; dropped by Qt when the renderer is gone by then.
    QMetaObject::invokeMethod(
        this,
        [this, serial = job.serial, image = std::move(image), rect = job.rect, ppu = job.ppu, key = job.key,
         range = job.range] {
            {
                std::lock_guard lock(VDLCanvasPool::shared().mutex);
                --inFlight_;
            }
            emit finished(serial, image, rect, ppu, key, range);
        },
        Qt::QueuedConnection);
    return true;
}

bool VDLCanvasRenderer::drawStitches(VDLCanvasJob& job, QImage& image, quint64 first, quint64 last,
                                     const std::function<bool()>& superseded) {
    // Stitch i is drawn when location <= i + 1 and i <= location + length.
    const VDLRange range = first == 0 ? VDLRange{0, last} : VDLRange{first + 1, last > first ? last - first - 1 : 0};
    if (first > 0) {
        if (std::optional<VDLDesign> segment = playbackCursor_.segment(job.design, range))
            return render(*segment, image, job.rect, job.ppu, job.show3D, job.showJumps, job.showStructure, superseded);
    }
    job.design->setDisplayRange(range);
    return render(*job.design, image, job.rect, job.ppu, job.show3D, job.showJumps, job.showStructure, superseded);
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
