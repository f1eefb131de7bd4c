#include "VDLCanvasRenderer.h"

#include "VDLCairoContext.h"

#include <cairo.h>

VDLCanvasRenderer::VDLCanvasRenderer() : thread_([this] { run(); }) {}

VDLCanvasRenderer::~VDLCanvasRenderer() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        pending_.reset();
    }
    wake_.notify_all();
    thread_.join();
}

void VDLCanvasRenderer::request(VDLCanvasJob job) {
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
        if (job.design && !image.isNull()) {
            job.design->setDisplayRange(job.drawRange.value_or(job.range));
            render(*job.design, image, job.rect, job.ppu, job.show3D, job.showJumps, job.showStructure);
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

void VDLCanvasRenderer::render(const VDLDesign& design, QImage& target, VDLRect rect, double ppu, bool show3D,
                               bool showJumps, bool showStructure) {
    if (target.isNull() || !(ppu > 0)) return;
    if (target.format() != QImage::Format_ARGB32_Premultiplied)
        target = target.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    cairo_surface_t* surface = cairo_image_surface_create_for_data(target.bits(), CAIRO_FORMAT_ARGB32, target.width(),
                                                                   target.height(), int(target.bytesPerLine()));
    cairo_t* cr = cairo_create(surface);
    {
        VDLCairoContext context(cr);
        // Design units, Y up, the rectangle's top-left corner at pixel (0, 0).
        context.translate(0, rect.maxY() * ppu);
        context.scale(ppu, -ppu);
        context.translate(-rect.minX(), 0);
        design.drawDesignInRect(rect, context, show3D, showJumps, showStructure);
    }
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    cairo_surface_destroy(surface);
}
