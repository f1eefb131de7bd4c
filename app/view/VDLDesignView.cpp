#include "VDLDesignView.h"

#include "VDLCanvasRenderer.h"
#include "VDLDefaults.h"
#include "VDLDesignViewDelegate.h"
#include "VDLLocalization.h"
#include "VDLMeasurementView.h"
#include "VDLNotificationCenter.h"
#include "VDLPropertyList.h"
#include "VDLScrollView.h"
#include "VDLValueTransformer.h"

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QDrag>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QSaveFile>
#include <QScrollBar>
#include <QStandardPaths>
#include <QStyle>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <cfloat>
#include <cmath>

namespace {

// Values of the user defaults, with the registered value when the store has none yet.
bool flag(const char* key, bool fallback) {
    const QVariant v = VDLDefaults::standard().value(QString::fromLatin1(key));
    return v.isValid() ? v.toBool() : fallback;
}

QColor windowColor() {
    return QApplication::palette().color(QPalette::Window);
}

double distance(VDLPoint a, VDLPoint b) {
    return std::hypot(b.x - a.x, b.y - a.y);
}

VDLRect makeRectFromPoint(VDLPoint a, VDLPoint b) {
    return VDLMakeRect(std::min(a.x, b.x), std::min(a.y, b.y), std::fabs(b.x - a.x), std::fabs(b.y - a.y));
}

bool rectContains(VDLRect outer, VDLRect inner) {
    const double eps = 1e-6;
    return inner.minX() >= outer.minX() - eps && inner.minY() >= outer.minY() - eps &&
           inner.maxX() <= outer.maxX() + eps && inner.maxY() <= outer.maxY() + eps;
}

// Design units (Y up) to pixels of an image or widget whose top-left corner shows AREA's top-left.
QTransform designTransform(VDLRect area, double ppu) {
    return QTransform(ppu, 0, 0, -ppu, -area.minX() * ppu, area.maxY() * ppu);
}

QPen cosmeticPen(const QColor& color, double width) {
    QPen pen(color, width);
    pen.setCosmetic(true);
    pen.setCapStyle(Qt::FlatCap);
    return pen;
}

// Background and grid, in design coordinates; UNIT is one pixel in design units.
void drawUnder(QPainter& p, VDLRect dirty, VDLRect bounds, const VDLCanvasSettings& s, double unit) {
    p.fillRect(QRectF(dirty.minX(), dirty.minY(), dirty.size.width, dirty.size.height), s.background);
    if (!s.showGrid) return;
    const int64_t mu = VDLValueTransformer::measurementUnit();
    const double step = (mu == 1 || mu == 2) ? 127.0 : 100.0;  // half an inch or one centimetre
    const QColor gray = QColor::fromRgbF(0.5, 0.5, 0.5);
    p.setPen(cosmeticPen(gray, 0.4));
    const double x0 = std::max(dirty.minX(), bounds.minX()), x1 = std::min(dirty.maxX(), bounds.maxX());
    const double y0 = std::max(dirty.minY(), bounds.minY()), y1 = std::min(dirty.maxY(), bounds.maxY());
    if (x0 <= x1 && y0 <= y1) {
        for (double k = std::ceil(x0 / step); k * step <= x1; ++k) {
            const double x = std::trunc(k * step);
            p.drawLine(QLineF(x, y0, x, y1));
        }
        for (double k = std::ceil(y0 / step); k * step <= y1; ++k) {
            const double y = std::trunc(k * step);
            p.drawLine(QLineF(x0, y, x1, y));
        }
    }
    p.setPen(cosmeticPen(gray, 0.8));
    p.drawLine(QLineF(0, bounds.minY(), 0, bounds.maxY()));
    p.drawLine(QLineF(bounds.minX(), 0, bounds.maxX(), 0));
    (void)unit;
}

// Centre, hoop shading, first/last-stitch lines and the rubber band, in design coordinates.
void drawOver(QPainter& p, const VDLDesign& d, VDLRect bounds, const VDLCanvasSettings& s, double unit,
              VDLRect rubberBand) {
    p.setBrush(Qt::NoBrush);
    if (s.showCenter) {
        const VDLPoint c = d.centerOfDesign();
        p.setPen(cosmeticPen(Qt::red, 1.0));
        p.drawLine(QLineF(c.x - 30 * unit, c.y, c.x + 30 * unit, c.y));
        p.drawLine(QLineF(c.x, c.y - 30 * unit, c.x, c.y + 30 * unit));
        p.drawEllipse(QPointF(c.x, c.y), 15 * unit, 15 * unit);
    }
    if (s.showHoop && d.hoopWidth() > 0) {
        const double w = d.hoopWidth() * 10.0, h = d.hoopHeight() * 10.0;
        QPainterPath path;
        path.setFillRule(Qt::OddEvenFill);
        path.addRect(QRectF(bounds.minX(), bounds.minY(), bounds.size.width, bounds.size.height));
        const QRectF hoop(-w / 2, -h / 2, w, h);
        if (d.hoopIsRound()) path.addEllipse(hoop);
        else path.addRoundedRect(hoop, 20, 20);
        p.fillPath(path, QColor::fromRgbF(0.35, 0.35, 0.35, 0.15));
    }
    if (s.showFirst) {
        const VDLPoint f = d.firstStitch();
        p.setPen(cosmeticPen(Qt::black, 0.5));
        p.drawLine(QLineF(bounds.minX(), f.y, bounds.maxX(), f.y));
        p.drawLine(QLineF(f.x, bounds.minY(), f.x, bounds.maxY()));
    }
    if (s.showLast) {
        const VDLPoint l = d.lastStitch();
        QPen pen = cosmeticPen(Qt::black, 0.8);
        pen.setDashPattern({4 / 0.8, 3 / 0.8});  // 4 pixels on, 3 off (in pen widths)
        p.setPen(pen);
        p.drawLine(QLineF(bounds.minX(), l.y, bounds.maxX(), l.y));
        p.drawLine(QLineF(l.x, bounds.minY(), l.x, bounds.maxY()));
    }
    if (rubberBand.size.width > 0 || rubberBand.size.height > 0) {
        p.setPen(cosmeticPen(QColor::fromRgbF(0, 0, 0, 0.5), 0.7));
        p.drawRect(QRectF(rubberBand.minX(), rubberBand.minY(), rubberBand.size.width, rubberBand.size.height));
    }
}

// The whole canvas into IMAGE (covering AREA at PPU): background, grid, design, markers.
void drawStatic(QImage& image, const VDLDesign& d, VDLRect area, double ppu, const VDLCanvasSettings& s) {
    {
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.setTransform(designTransform(area, ppu));
        drawUnder(p, area, area, s, 1.0 / ppu);
    }
    VDLCanvasRenderer::render(d, image, area, ppu, !s.fastMode, s.showJumps, s.showStructure);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.setTransform(designTransform(area, ppu));
    drawOver(p, d, area, s, 1.0 / ppu, VDLRect{});
}

constexpr int kCacheMargin = 256;  // pixels rendered beyond the visible area on every side

}  // namespace

// ---- Settings ------------------------------------------------------------------------------

QColor VDLDecodeArchivedColor(const QByteArray& bytes, const QColor& fallback) {
    if (bytes.isEmpty()) return fallback;
    VDLPlist plist = VDLPlistFromXML(std::string(bytes.constData(), size_t(bytes.size())));
    plist_t dict = static_cast<plist_t>(plist.get());
    if (!dict || plist_get_node_type(dict) != PLIST_DICT) return fallback;
    auto component = [&](std::initializer_list<const char*> keys) -> std::optional<double> {
        for (const char* key : keys)
            if (plist_t node = plist_dict_get_item(dict, key))
                if (auto v = VDLPlistReal(node)) return v;
        return std::nullopt;
    };
    const auto r = component({"r", "red", "VDLColorRed"});
    const auto g = component({"g", "green", "VDLColorGreen"});
    const auto b = component({"b", "blue", "VDLColorBlue"});
    if (!r || !g || !b) return fallback;
    const auto a = component({"a", "alpha"});
    auto clamp = [](double v) { return std::isfinite(v) ? std::clamp(v, 0.0, 1.0) : 0.0; };
    return QColor::fromRgbF(float(clamp(*r)), float(clamp(*g)), float(clamp(*b)), float(a ? clamp(*a) : 1.0));
}

VDLCanvasSettings VDLCanvasSettings::screen() {
    VDLCanvasSettings s;
    s.fastMode = flag("DrawFastMode", false);
    s.showJumps = flag("ShowJumps", true);
    s.showGrid = flag("ShowGrid", true);
    s.showCenter = flag("ShowCenter", false);
    s.showHoop = flag("ShowHoop", true);
    s.showStructure = flag("ShowStructure", false);
    s.showFirst = flag("ShowFirst", false);
    s.showLast = flag("ShowLast", false);
    // Decoding is cached: the same bytes come back on every paint.
    static QByteArray lastBytes;
    static QColor lastColor;
    static bool decoded = false;
    const QByteArray bytes = VDLDefaults::standard().dataForKey(QStringLiteral("BackgroundColor"));
    if (!decoded || bytes != lastBytes) {
        lastBytes = bytes;
        lastColor = VDLDecodeArchivedColor(bytes, QColor());
        decoded = true;
    }
    s.background = lastColor.isValid() ? lastColor : windowColor();
    return s;
}

VDLCanvasSettings VDLCanvasSettings::print() {
    VDLCanvasSettings s;
    s.fastMode = flag("PrintFastMode", true);
    s.showGrid = flag("PrintGrid", true);
    s.showJumps = flag("PrintJumps", true);
    s.showCenter = flag("PrintCenter", false);
    s.showHoop = flag("PrintHoop", false);
    s.showStructure = flag("PrintStructure", false);
    s.showFirst = flag("PrintFirst", false);
    s.showLast = flag("PrintLast", false);
    s.background = Qt::white;
    return s;
}

// ---- Life cycle and geometry ---------------------------------------------------------------

VDLDesignView::VDLDesignView(QWidget* parent) : QWidget(parent), renderer_(std::make_unique<VDLCanvasRenderer>()) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(currentCursor_);
    connect(renderer_.get(), &VDLCanvasRenderer::finished, this, &VDLDesignView::renderDone);
    connect(renderer_.get(), &VDLCanvasRenderer::checkpoint, this, &VDLDesignView::keepCheckpoint);
    overviewRenderer_ = std::make_unique<VDLCanvasRenderer>();
    connect(overviewRenderer_.get(), &VDLCanvasRenderer::finished, this, &VDLDesignView::overviewDone);
    connect(&VDLDefaults::standard(), &VDLDefaults::valueChanged, this, [this] { update(); });
    liveResizeTimer_ = new QTimer(this);
    liveResizeTimer_->setSingleShot(true);
    liveResizeTimer_->setInterval(250);
    connect(liveResizeTimer_, &QTimer::timeout, this, [this] {
        liveResize_ = false;
        update();  // back to the 3D look once the size settles
    });
}

VDLDesignView::~VDLDesignView() {
    pauseAnimation();
}

VDLScrollView* VDLDesignView::scrollView() const {
    QWidget* viewport = parentWidget();
    auto* sv = viewport ? qobject_cast<VDLScrollView*>(viewport->parentWidget()) : nullptr;
    return sv && sv->widget() == this ? sv : nullptr;
}

void VDLDesignView::setDesign(VDLDesign* design) {
    design_ = design;
    double w = 0, h = 0;
    if (design_ && !design_->stitches().empty()) {
        w = design_->designWidth();
        h = design_->designHeight();
    }
    double s = 4 * std::max(w, h);
    if (!(s >= 3000)) s = 3000;  // also catches a NaN
    bounds_ = VDLMakeRect(-s / 2, -s / 2, s, s);
    selectionRect_ = VDLRect{};
    refit();
    // The last image stays on screen (scaled where needed) until the new design's arrives.
    redraw();
    if (VDLScrollView* sv = scrollView()) {
        sv->setup();
        setScale(1.0f);
        centerDesign();
    } else {
        setPixelsPerUnit(1.0);
    }
}

void VDLDesignView::setPixelsPerUnit(double ppu) {
    // A widget cannot be larger than 2^24 - 1 pixels on a side.
    const double limit = 16000000.0 / bounds_.size.width;
    if (!(ppu > 0)) ppu = 1;
    ppu_ = std::min(ppu, limit);
    resize(int(std::ceil(bounds_.size.width * ppu_)), int(std::ceil(bounds_.size.height * ppu_)));
    if (measureView_) measureView_->relayout();
    update();
}

VDLRect VDLDesignView::designRect() const {
    const double m = style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 5;
    double x = 0, y = 0, w = 0, h = 0;
    if (design_ && !design_->stitches().empty()) {
        x = design_->xMin();
        y = design_->yMin();
        w = design_->designWidth();
        h = design_->designHeight();
    }
    return VDLMakeRect(x - m, y - m, w + 2 * m, h + 2 * m);
}

float VDLDesignView::scale() const {
    VDLScrollView* sv = scrollView();
    if (!sv) return scale_;
    const VDLRect dr = fitRect_.size.width > 0 && fitRect_.size.height > 0 ? fitRect_ : designRect();
    const QSize vp = sv->viewport()->size();
    if (vp.isEmpty()) return scale_;
    return float(std::max(dr.size.width * ppu_ / vp.width(), dr.size.height * ppu_ / vp.height()));
}

void VDLDesignView::setScale(float scale) {
    const VDLPoint centre = centredPointInDocView();
    if (!(scale >= minimumScale())) scale = minimumScale();  // NaN too
    if (scale > maximumScale()) scale = maximumScale();
    scale_ = scale;
    VDLScrollView* sv = scrollView();
    if (!sv) return;
    const VDLRect dr = fitRect_.size.width > 0 && fitRect_.size.height > 0 ? fitRect_ : designRect();
    const QSize vp = sv->viewport()->size();
    const double f = std::min(vp.width() / dr.size.width, vp.height() / dr.size.height) * scale;
    setPixelsPerUnit(f);
    scrollPointToCentre(centre);
    sv->adjustRulers();
}

QRectF VDLDesignView::visibleWidgetRect() const {
    if (VDLScrollView* sv = scrollView()) return QRectF(QPointF(-pos()), QSizeF(sv->viewport()->size()));
    return QRectF(rect());
}

VDLPoint VDLDesignView::centredPointInDocView() const {
    if (!scrollView()) return VDLPoint{};
    return designPointAt(visibleWidgetRect().center());
}

void VDLDesignView::scrollPointToCentre(VDLPoint p) {
    VDLScrollView* sv = scrollView();
    if (!sv) return;
    const QPointF w = widgetPointAt(p);
    const QSize vp = sv->viewport()->size();
    sv->horizontalScrollBar()->setValue(int(std::lround(w.x() - vp.width() / 2.0)));
    sv->verticalScrollBar()->setValue(int(std::lround(w.y() - vp.height() / 2.0)));
    sv->noteCentre();
}

void VDLDesignView::centerDesign() {
    const VDLRect dr = designRect();
    scrollPointToCentre(VDLPoint{dr.minX() + dr.size.width / 2, dr.minY() + dr.size.height / 2});
}

VDLPoint VDLDesignView::designPointAt(QPointF w) const {
    return VDLPoint{bounds_.minX() + w.x() / ppu_, bounds_.maxY() - w.y() / ppu_};
}

QPointF VDLDesignView::widgetPointAt(VDLPoint p) const {
    return QPointF((p.x - bounds_.minX()) * ppu_, (bounds_.maxY() - p.y) * ppu_);
}

void VDLDesignView::prepareForPrinting() {
    if (!design_) return;
    const double dw = design_->designWidth(), dh = design_->designHeight();
    const double f = std::min(bounds_.size.width / (dw + 10), bounds_.size.height / (dh + 10));
    if (!(f > 0) || !std::isfinite(f)) return;
    const double nw = bounds_.size.width / f, nh = bounds_.size.height / f;
    bounds_ = VDLMakeRect(design_->xMin() + (dw - nw) / 2, design_->yMin() + (dh - nh) / 2, nw, nh);
    ppu_ = width() > 0 ? width() / nw : 1.0;
    cache_ = Cache{};
    update();
}

QImage VDLDesignView::imageWithTransparency(double alpha, QSizeF maxSize) const {
    if (!design_ || design_->stitches().empty()) return QImage();
    const double dw = design_->designWidth(), dh = design_->designHeight();
    const VDLRect area = VDLMakeRect(design_->xMin() - 10, design_->yMin() - 10, dw + 20, dh + 20);
    // One pixel per design unit, smaller only for designs that would need a giant image.
    double ppu = 1.0;
    const double maxPixels = 40e6;
    if (area.size.width * area.size.height > maxPixels)
        ppu = std::sqrt(maxPixels / (area.size.width * area.size.height));
    const int w = std::max(1, int(std::lround(area.size.width * ppu)));
    const int h = std::max(1, int(std::lround(area.size.height * ppu)));
    QImage full(w, h, QImage::Format_ARGB32_Premultiplied);
    if (full.isNull()) return QImage();
    full.fill(Qt::white);
    drawStatic(full, *design_, area, ppu, VDLCanvasSettings::print());

    double fw = w, fh = h;
    if (maxSize.width() > 0 && maxSize.width() < fw) {
        const double f = maxSize.width() / fw;
        fw *= f;
        fh *= f;
    }
    if (maxSize.height() > 0 && maxSize.height() < fh) {
        const double f = maxSize.height() / fh;
        fw *= f;
        fh *= f;
    }
    QImage out(std::max(1, int(std::lround(fw))), std::max(1, int(std::lround(fh))),
               QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    QPainter p(&out);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.setOpacity(alpha);
    p.drawImage(QRectF(0, 0, out.width(), out.height()), full);
    return out;
}

// ---- Cursor and modes ----------------------------------------------------------------------

void VDLDesignView::setSelectionMode(int mode) {
    if (measureView_ && mode != MeasureMode) delete measureView_;
    selectionMode_ = mode;
    selectionRect_ = VDLRect{};
    update();
}

void VDLDesignView::switchCursorTo(Qt::CursorShape shape) {
    currentCursor_ = shape;
    setCursor(shape);
}

// ---- Rendering -----------------------------------------------------------------------------

bool VDLDesignView::show3D() const {
    return !VDLCanvasSettings::screen().fastMode && !liveResize_ && !clickedSelection_;
}

quint64 VDLDesignView::renderKey() const {
    const VDLCanvasSettings s = VDLCanvasSettings::screen();
    quint64 k = generation_ << 3;
    k |= (show3D() ? 1u : 0u) | (s.showJumps ? 2u : 0u) | (s.showStructure ? 4u : 0u);
    return k;
}

void VDLDesignView::redraw() {
    ++generation_;
    update();
}

bool VDLDesignView::cacheCurrent() const {
    if (!design_) return true;
    const QRectF visible = visibleWidgetRect().intersected(QRectF(rect()));
    if (visible.isEmpty()) return true;
    if (cache_.image.isNull() || cache_.key != renderKey() || cache_.ppu != ppu_ ||
        cache_.range != design_->displayRange())
        return false;
    const VDLPoint a = designPointAt(visible.topLeft()), b = designPointAt(visible.bottomRight());
    return rectContains(cache_.rect, makeRectFromPoint(a, b));
}

namespace {

// The overview's longest side, in pixels: enough for a sharp picture at 100 % in a large window
// and a usable one while a deeper zoom is drawn; 16 MB at most.
constexpr int kOverviewSide = 2048;
// The player's checkpoints: at most this many, and this many bytes in all.
constexpr int kMaxCheckpoints = 16;
constexpr qint64 kCheckpointBytes = 64ll << 20;
// How long the view stays put before the canvas draws what it draws when idle.
constexpr qint64 kIdleDelayMs = 150;

qint64 imageBytes(const QImage& image) { return image.isNull() ? 0 : qint64(image.sizeInBytes()); }

}  // namespace

VDLRect VDLDesignView::areaOfWidgetRect(QRect r) const {
    return VDLMakeRect(bounds_.minX() + r.left() / ppu_, bounds_.maxY() - (r.top() + r.height()) / ppu_,
                       r.width() / ppu_, r.height() / ppu_);
}

VDLCanvasJob VDLDesignView::newJob(quint64 key, VDLRange range) const {
    VDLCanvasJob job;
    job.key = key;
    job.ppu = ppu_;
    job.range = range;
    const VDLCanvasSettings s = VDLCanvasSettings::screen();
    job.show3D = show3D();
    job.showJumps = s.showJumps;
    job.showStructure = s.showStructure;
    return job;
}

bool VDLDesignView::fullRange() const {
    const VDLRange r = design_->displayRange();
    return r.location == 0 && r.length >= design_->stitches().size();
}

bool VDLDesignView::overviewUsable() const {
    return design_ && !overview_.image.isNull() && overview_.key == renderKey() &&
           overview_.range == design_->displayRange();
}

void VDLDesignView::adoptAsOverview() {
    // An exact picture of the whole design serves as the overview when it is sharper than the
    // one at hand and not too large to keep.
    if (!design_ || design_->stitches().empty() || !fullRange()) return;
    const VDLRect whole = VDLMakeRect(design_->xMin() - 10, design_->yMin() - 10, design_->xMax() - design_->xMin() + 20,
                                      design_->yMax() - design_->yMin() + 20);
    if (!rectContains(cache_.rect, whole)) return;
    if (qint64(cache_.image.width()) * cache_.image.height() > qint64(kOverviewSide) * kOverviewSide) return;
    if (overviewUsable() && overview_.ppu >= cache_.ppu) return;
    if (overviewKey_) {
        overviewRenderer_->cancel();
        overviewKey_ = 0;
    }
    overview_ = cache_;
}

void VDLDesignView::requestOverview() {
    if (!design_ || design_->stitches().empty() || overviewKey_ == renderKey()) return;
    const double w = design_->xMax() - design_->xMin() + 20, h = design_->yMax() - design_->yMin() + 20;
    if (!(w > 0 && h > 0)) return;
    const double ppu = std::min(kOverviewSide / w, kOverviewSide / h);
    VDLCanvasJob job = newJob(renderKey(), design_->displayRange());
    job.serial = ++overviewRequested_;
    job.ppu = ppu;
    job.rect = VDLMakeRect(design_->xMin() - 10, design_->yMin() - 10, w, h);
    job.size = QSize(std::max(1, int(std::ceil(w * ppu))), std::max(1, int(std::ceil(h * ppu))));
    // A copy of its own: the exact picture's worker changes its copy's display range.
    job.design = std::make_shared<VDLDesign>(design_->copy());
    overviewKey_ = job.key;
    overviewRenderer_->request(std::move(job));
}

void VDLDesignView::overviewDone(quint64 serial, QImage image, VDLRect rect, double ppu, quint64 key, VDLRange range) {
    // Cancelled after it had finished drawing: an exact picture was asked for since.
    if (serial != overviewRequested_ || overviewKey_ == 0) return;
    overviewKey_ = 0;
    if (key != renderKey()) return;
    overview_ = Cache{std::move(image), rect, ppu, key, 0, range, serial, false};
    update();
}

const VDLDesignView::Checkpoint* VDLDesignView::checkpointFor(quint64 end) const {
    const Checkpoint* best = nullptr;
    for (const Checkpoint& c : checkpoints_)
        if (c.end + 2 <= end && (!best || c.end > best->end)) best = &c;
    return best;
}

void VDLDesignView::ensureRender() {
    if (!design_) return;
    const QRectF visible = visibleWidgetRect().intersected(QRectF(rect()));
    if (visible.isEmpty()) return;
    const quint64 key = renderKey();
    const VDLRange range = design_->displayRange();
    if (!checkpoints_.empty() && (checkpointKey_ != key || checkpointPpu_ != ppu_)) checkpoints_.clear();
    if (cacheCurrent()) {
        adoptAsOverview();
        // Idle work, while nothing else is drawing and the whole design is shown: the overview,
        // then the margin around the visible area (scrolling then only moves the picture).
        if (!renderer_->busy() && fullRange()) {
            // Not between the steps of a quick run of zooms or scrolls: only once the view has
            // stayed put a moment.
            if (sinceExactRequest_.isValid() && sinceExactRequest_.elapsed() < kIdleDelayMs) {
                if (!idleTimer_) {
                    idleTimer_ = new QTimer(this);
                    idleTimer_->setSingleShot(true);
                    connect(idleTimer_, &QTimer::timeout, this, [this] { update(); });
                }
                if (!idleTimer_->isActive()) idleTimer_->start(int(kIdleDelayMs - sinceExactRequest_.elapsed()) + 1);
                return;
            }
            if (!overviewUsable()) {
                requestOverview();
            } else if (!cache_.margin) {
                if (!snapshot_ || snapshotGeneration_ != generation_) return;
                VDLCanvasJob job = newJob(key, range);
                const QRect r = visible.toAlignedRect()
                                    .adjusted(-kCacheMargin, -kCacheMargin, kCacheMargin, kCacheMargin)
                                    .intersected(rect());
                job.serial = ++requested_;
                job.design = snapshot_;
                job.size = r.size();
                job.rect = areaOfWidgetRect(r);
                lastJob_ = Job{key, ppu_, range, job.rect, true};
                renderer_->request(std::move(job));
            }
        }
        return;
    }
    const VDLPoint a = designPointAt(visible.topLeft()), b = designPointAt(visible.bottomRight());
    const VDLRect wanted = makeRectFromPoint(a, b);
    if (requested_ > cache_.serial && lastJob_.key == key && lastJob_.ppu == ppu_ && lastJob_.range == range &&
        rectContains(lastJob_.rect, wanted))
        return;  // already on its way
    // The exact picture comes first: an overview on its way is drawn again when all is idle.
    if (overviewKey_) {
        overviewRenderer_->cancel();
        overviewKey_ = 0;
    }

    if (!snapshot_ || snapshotGeneration_ != generation_) {
        // The worker's copy. When the worker is done with the last one, its buffers are reused
        // (a drag redraws on every mouse event; fresh allocations of a big design cost more
        // than the copy itself).
        if (snapshot_ && snapshot_.use_count() == 1) *snapshot_ = *design_;
        else snapshot_ = std::make_shared<VDLDesign>(design_->copy());
        snapshotGeneration_ = generation_;
    }
    VDLCanvasJob job = newJob(key, range);
    job.serial = ++requested_;
    job.design = snapshot_;
    bool margin = false;
    sinceExactRequest_.start();

    // Playback adds stitches at the end: draw only those on top of the cached image, or on top
    // of the nearest checkpoint before a position the player went back to.
    const quint64 cachedEnd = cache_.range.location + cache_.range.length;
    const quint64 end = range.location + range.length;
    const bool incremental = !cache_.image.isNull() && cache_.key == key && cache_.ppu == ppu_ &&
                             cache_.range.location == range.location && end >= cachedEnd + 2 &&
                             rectContains(cache_.rect, wanted);
    const Checkpoint* checkpoint = nullptr;
    if (range.location == 0 && checkpointKey_ == key && checkpointPpu_ == ppu_ && rectContains(checkpointRect_, wanted))
        checkpoint = checkpointFor(end);
    if (incremental && checkpoint && checkpoint->end <= cachedEnd) checkpoint = nullptr;  // the picture is nearer
    if (checkpoint || incremental) {
        // Stitches up to FROM are in the picture drawn on.
        const quint64 from = checkpoint ? checkpoint->end : cachedEnd;
        job.base = checkpoint ? checkpoint->image : cache_.image;
        job.rect = checkpoint ? checkpointRect_ : cache_.rect;
        margin = !checkpoint && cache_.margin;
        job.size = job.base.size();
        job.drawRange = VDLRange{from + 2, end - from - 2};
        ++incrementalRenders_;
    } else {
        // The visible area only: its margin follows when the canvas is idle.
        const QRect r = visible.toAlignedRect().intersected(rect());
        job.size = r.size();
        job.rect = areaOfWidgetRect(r);
        ++fullRenders_;
    }
    // The player's positions keep checkpoints on the way, so that a jump backwards draws only
    // from the nearest one on.
    if (range.location == 0 && !fullRange() && design_->stitches().size() > 20000) {
        const qint64 bytes = qint64(job.size.width()) * job.size.height() * 4;
        const int count = int(std::clamp<qint64>(kCheckpointBytes / std::max<qint64>(bytes, 1), 0, kMaxCheckpoints));
        if (count >= 2) job.checkpointEvery = std::max<quint64>(design_->stitches().size() / quint64(count), 2000);
    }
    lastJob_ = Job{key, ppu_, range, job.rect, margin};
    renderer_->request(std::move(job));
}

void VDLDesignView::keepCheckpoint(QImage image, quint64 end, VDLRect rect, double ppu, quint64 key) {
    if (key != renderKey() || ppu != ppu_) return;
    if (key != checkpointKey_ || ppu != checkpointPpu_ || !(rect == checkpointRect_)) {
        checkpoints_.clear();
        checkpointKey_ = key;
        checkpointPpu_ = ppu;
        checkpointRect_ = rect;
    }
    for (Checkpoint& c : checkpoints_)
        if (c.end == end) {
            c.image = std::move(image);
            return;
        }
    if (int(checkpoints_.size()) >= kMaxCheckpoints) return;
    checkpoints_.push_back(Checkpoint{std::move(image), end});
}

qint64 VDLDesignView::cacheBytes() const {
    qint64 bytes = imageBytes(cache_.image) + imageBytes(overview_.image);
    for (const Checkpoint& c : checkpoints_) bytes += imageBytes(c.image);
    return bytes;
}

qint64 VDLDesignView::cacheByteLimit(QSize viewport) {
    // The exact picture with its margin, the overview and the checkpoints' budget.
    const qint64 exact = qint64(viewport.width() + 2 * kCacheMargin) * (viewport.height() + 2 * kCacheMargin) * 4;
    return exact + qint64(kOverviewSide) * kOverviewSide * 4 + kCheckpointBytes;
}

void VDLDesignView::renderDone(quint64 serial, QImage image, VDLRect rect, double ppu, quint64 key, VDLRange range) {
    if (serial <= cache_.serial) return;  // an older image than the one shown
    cache_ = Cache{std::move(image), rect, ppu, key, 0, range, serial, serial == requested_ && lastJob_.margin};
    update();
    emit renderFinished();
}

bool VDLDesignView::coversVisibleAreaAtScale() const {
    if (!design_) return true;
    const QRectF visible = visibleWidgetRect().intersected(QRectF(rect()));
    if (visible.isEmpty()) return true;
    if (overviewUsable()) return true;
    if (cache_.image.isNull() || cache_.key != renderKey() || cache_.range != design_->displayRange()) return false;
    const VDLPoint a = designPointAt(visible.topLeft()), b = designPointAt(visible.bottomRight());
    return rectContains(cache_.rect, makeRectFromPoint(a, b));
}

bool VDLDesignView::isRenderPending() const {
    return renderer_->busy() || !cacheCurrent();
}

bool VDLDesignView::waitForRender(int timeoutMs) {
    QElapsedTimer t;
    t.start();
    for (;;) {
        ensureRender();
        // The exact picture is here; the margin drawn after it is idle work, not waited for.
        const bool idleWork = lastJob_.margin && requested_ > cache_.serial;
        if (cacheCurrent() && (!renderer_->busy() || idleWork)) return true;
        if (t.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (renderer_->busy()) QThread::msleep(2);
    }
}

bool VDLDesignView::waitForIdle(int timeoutMs) {
    QElapsedTimer t;
    t.start();
    for (;;) {
        ensureRender();
        const bool whole = design_ && fullRange();
        if (!renderer_->busy() && !overviewRenderer_->busy() && cacheCurrent() &&
            (!whole || (overviewUsable() && cache_.margin)))
            return true;
        if (t.elapsed() > timeoutMs) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
}

void VDLDesignView::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    const VDLCanvasSettings s = VDLCanvasSettings::screen();
    const QRect dirty = event->rect();
    if (!design_) {
        p.fillRect(dirty, s.background);
        return;
    }
    ensureRender();
    const double unit = 1.0 / ppu_;
    const VDLPoint a = designPointAt(dirty.topLeft()), b = designPointAt(QPointF(dirty.right() + 1, dirty.bottom() + 1));
    const VDLRect dirtyDesign = makeRectFromPoint(a, b);
    const QTransform toWidget(ppu_, 0, 0, -ppu_, -bounds_.minX() * ppu_, bounds_.maxY() * ppu_);

    p.setTransform(toWidget);
    drawUnder(p, dirtyDesign, bounds_, s, unit);
    p.resetTransform();
    auto placed = [this](const Cache& c) {
        const QPointF topLeft = widgetPointAt(VDLPoint{c.rect.minX(), c.rect.maxY()});
        return QRectF(topLeft, QSizeF(c.rect.size.width * ppu_, c.rect.size.height * ppu_));
    };
    // The exact picture 1:1; or, after a zoom, the last one scaled where it is sharper than the
    // overview; the overview, scaled, everywhere else (so a view change never shows a gap).
    const bool exact = !cache_.image.isNull() && cache_.ppu == ppu_;
    const bool usable = overviewUsable();
    const bool scaledCache = !cache_.image.isNull() && !exact && (!usable || cache_.ppu > overview_.ppu);
    if (usable) {
        QRegion area(dirty);
        if (exact) area -= QRegion(placed(cache_).toRect());
        else if (scaledCache) area -= QRegion(placed(cache_).toAlignedRect().adjusted(1, 1, -1, -1));
        if (!area.isEmpty()) {
            p.save();
            p.setClipRegion(area);
            p.setRenderHint(QPainter::SmoothPixmapTransform, overview_.ppu > ppu_);
            p.drawImage(placed(overview_), overview_.image);
            p.restore();
        }
    }
    if (scaledCache) p.drawImage(placed(cache_), cache_.image);
    if (exact) {
        const QPointF topLeft = placed(cache_).topLeft();
        p.drawImage(QPoint(int(std::lround(topLeft.x())), int(std::lround(topLeft.y()))), cache_.image);
    }
    p.setRenderHint(QPainter::Antialiasing);
    p.setTransform(toWidget);
    drawOver(p, *design_, bounds_, s, unit, selectionRect_);
}

void VDLDesignView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    update();
}

void VDLDesignView::noteLiveResize() {
    // The design is drawn flat while the window is being resized, in 3D again when it settles.
    liveResize_ = true;
    liveResizeTimer_->start();
}

// ---- Mouse ---------------------------------------------------------------------------------

void VDLDesignView::mousePressEvent(QMouseEvent* event) {
    setFocus(Qt::MouseFocusReason);
    const VDLPoint p = designPointAt(event->position());
    if (event->button() == Qt::RightButton) {
        secondaryClick(p, event->globalPosition().toPoint());
        return;
    }
    if (event->button() != Qt::LeftButton) return;
    animationPausedWhileDragging_ = isAnimating();
    pauseAnimation();
    mouseDownPosition_ = p;
    mouseOldPosition_ = p;
    dragStarted_ = true;
    isDragging_ = true;
    movedSelection_ = false;
    clickedSelection_ = design_ && design_->isSelectedAt(p, 5);
    if (selectionMode_ == MeasureMode) {
        delete measureView_;
        measureView_ = new VDLMeasurementView(this, drawUnit());  // shown by the first measurement
        clickedSelection_ = false;
    }
}

void VDLDesignView::mouseMoveEvent(QMouseEvent* event) {
    if (VDLScrollView* sv = scrollView()) sv->mouseMoved(mapTo(sv, event->position()));
    if (!(event->buttons() & Qt::LeftButton) || !isDragging_ || !design_) return;
    if (mouseDownPosition_.x == DBL_MAX) return;
    const VDLPoint p = designPointAt(event->position());
    if (distance(mouseDownPosition_, p) < 3) return;

    if (selectionMode_ == MeasureMode) {
        if (measureView_) measureView_->measureFromPoint(mouseDownPosition_, p);
    } else if (!clickedSelection_) {
        if (selectionMode_ == RectangleMode) {
            selectionRect_ = makeRectFromPoint(mouseDownPosition_, p);
            update();
        } else if (dragStarted_) {
            dragStarted_ = false;
            startDesignDrag(mouseDownPosition_);
            return;
        }
    } else {
        double dx = p.x - mouseOldPosition_.x, dy = p.y - mouseOldPosition_.y;
        if (event->modifiers() & Qt::ShiftModifier) {
            const double tx = p.x - mouseDownPosition_.x, ty = p.y - mouseDownPosition_.y;
            if (std::hypot(tx, ty) < 4 || dragStarted_) draggingX_ = std::fabs(ty) <= std::fabs(tx);
            if (draggingX_) dy = 0;
            else dx = 0;
        }
        if (dragStarted_) {
            // The first event is the undo step; the rest of the drag moves the same design on.
            if (delegate_) delegate_->moveByVector(dx, dy, design_->copy());
            else design_->moveSelectionByVector(VDLPoint{dx, dy});
            setCursor(Qt::ClosedHandCursor);
        } else {
            design_->moveSelectionByVector(VDLPoint{dx, dy});
        }
        movedSelection_ = true;
        redraw();
        if (delegate_) delegate_->updateView();
    }
    dragStarted_ = false;
    mouseOldPosition_ = p;
    if (VDLScrollView* sv = scrollView()) {
        const QPoint w = event->position().toPoint();
        sv->ensureVisible(w.x(), w.y(), 0, 0);
    }
}

void VDLDesignView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    if (mouseDownPosition_.x == DBL_MAX) return;  // follows a secondary click
    if (!isDragging_) return;
    isDragging_ = false;
    const VDLPoint p = designPointAt(event->position());
    mouseUpPosition_ = p;
    if (distance(mouseDownPosition_, p) < 3) clickedSelection_ = false;
    if (clickedSelection_) {
        clickedSelection_ = false;
        setCursor(currentCursor_);
        if (delegate_) {
            delegate_->updateToolbar();
            delegate_->updateView();
        }
        redraw();
        return;
    }
    mouseUpAt(p, event->modifiers());
}

void VDLDesignView::mouseUpAt(VDLPoint p, Qt::KeyboardModifiers modifiers) {
    if (!design_) return;
    const bool shift = modifiers & Qt::ShiftModifier;
    const bool command = modifiers & Qt::ControlModifier;
    switch (selectionMode_) {
    case RectangleMode:
    case BlockMode:
    case StitchMode:
        if (!shift && !command) design_->deselectAll();
        if (selectionMode_ == RectangleMode) {
            design_->selectInRect(selectionRect_, shift);
            selectionRect_ = VDLRect{};
        } else if (selectionMode_ == BlockMode) {
            design_->selectBlockAt(p, 0.7f, shift);
        } else {
            design_->selectStitchAt(p, 0.7f, shift);
        }
        break;
    case MeasureMode:
        delete measureView_;
        break;
    default: {
        design_->deselectAll();
        const int thread = design_->indexOfThreadAt(p, 10);
        if (delegate_) {
            if (thread == -1) delegate_->showAllThreads();
            else delegate_->showThread(thread);
        }
        break;
    }
    }
    if (delegate_) delegate_->updateToolbar();
    if (animationPausedWhileDragging_) startAnimation();
    animationPausedWhileDragging_ = false;
    redraw();
}

// ---- Contextual menu -----------------------------------------------------------------------

void VDLDesignView::secondaryClick(VDLPoint p, QPoint globalPos) {
    mouseDownPosition_ = VDLPoint{DBL_MAX, DBL_MAX};
    isDragging_ = false;
    if (!design_) return;
    design_->deselectAll();
    design_->selectStitchAt(p, 0.7f, false);
    if (delegate_) {
        delegate_->updateToolbar();
        delegate_->updateView();
    }
    redraw();

    delete contextMenu_;
    contextMenu_ = new QMenu(QStringLiteral("Contextual Menu"), this);
    const bool selection = design_->selectionActive();
    const VDLPoint c = design_->centerOfDesign();
    const bool centred = c.x >= -5 && c.x < 5 && c.y >= -5 && c.y < 5;
    const QString point = QStringLiteral("{%1, %2}").arg(p.x).arg(p.y);
    auto add = [&](const char* key, const char* english, const char* slot, bool enabled, bool withPoint) {
        QAction* a = contextMenu_->addAction(QString::fromStdString(VDLLocalizedString(key, "VDLDocument", english)));
        a->setEnabled(enabled);
        if (withPoint) a->setData(point);
        connect(a, &QAction::triggered, this, [this, a, slot] {
            if (delegate_) delegate_->performAction(slot, a);
            if (design_) design_->deselectAll();
            redraw();
        });
    };
    add("CONTEXT_MENU_CONVERT_STITCH", "Convert to Stitches", "convertSelectionToStitches", selection, true);
    add("CONTEXT_MENU_CONVERT_JUMP", "Convert to Jumps", "convertSelectionToJumps", selection, true);
    contextMenu_->addSeparator();
    add("CONTEXT_MENU_CENTER_DESIGN", "Center Design", "center", !centred, false);
    add("CONTEXT_MENU_ADD_BASTING", "Add Basting", "bastingDialog", true, false);
    contextMenu_->addSeparator();
    add("CONTEXT_MENU_INSERT_CHANGE", "Insert Color Change", "insertThreadBeforeSelection", selection, false);
    contextMenu_->popup(globalPos);
}

// ---- Keys ----------------------------------------------------------------------------------

void VDLDesignView::keyPressEvent(QKeyEvent* event) {
    double dx = 0, dy = 0;
    switch (event->key()) {
    case Qt::Key_Up: dy = 1; break;
    case Qt::Key_Down: dy = -1; break;
    case Qt::Key_Left: dx = -1; break;
    case Qt::Key_Right: dx = 1; break;
    default: QWidget::keyPressEvent(event); return;
    }
    if (!design_) return;
    if (!design_->selectionActive()) {
        VDLScrollView* sv = scrollView();
        if (!sv) return;
        // One line of the scroll bars, in design units.
        const double h = sv->horizontalScrollBar()->singleStep() / ppu_;
        const double v = sv->verticalScrollBar()->singleStep() / ppu_;
        VDLPoint c = centredPointInDocView();
        c.x += dx * h;
        c.y += dy * v;
        scrollPointToCentre(c);
        return;
    }
    if (delegate_) delegate_->moveByVector(dx, dy, std::nullopt);
    else design_->moveSelectionByVector(VDLPoint{dx, dy});
    redraw();
}

// ---- Drag source ---------------------------------------------------------------------------

QString VDLDesignView::promisedFileName(const QString& designName, const std::function<bool(const QString&)>& exists) {
    QString base = designName;
    const int dot = base.lastIndexOf(QLatin1Char('.'));
    if (dot > 0) base.truncate(dot);
    if (base.isEmpty()) base = QStringLiteral("Design");
    const QString plain = base + QStringLiteral(".jpg");
    if (!exists(plain)) return plain;
    for (int i = 1; i <= 99; ++i) {
        const QString numbered = QStringLiteral("%1-%2.jpg").arg(base).arg(i);
        if (!exists(numbered)) return numbered;
    }
    return QString();
}

QString VDLDesignView::writePromisedFile(const QString& folder) const {
    if (!design_) return QString();
    const QDir dir(folder);
    const QString name = promisedFileName(QString::fromStdString(design_->designName()),
                                          [&](const QString& n) { return QFileInfo::exists(dir.filePath(n)); });
    if (name.isEmpty()) return QString();
    const QImage image = imageWithTransparency(1.0, QSizeF()).convertToFormat(QImage::Format_RGB32);
    if (image.isNull()) return QString();
    QSaveFile file(dir.filePath(name));
    if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "JPG") || !file.commit()) return QString();
    return dir.filePath(name);
}

namespace {
// The folder of this run's drag files: removed when the application ends (and, should the
// event loop never end normally, when the process exits).
const QTemporaryDir& dragFilesOfThisRun() {
    static QTemporaryDir* folder = [] {
        auto* dir = new QTemporaryDir(QDir::tempPath() + QStringLiteral("/vardelle-drag-XXXXXX"));
        dir->setAutoRemove(false);
        static std::string path = dir->isValid() ? dir->path().toStdString() : std::string();
        if (qApp) QObject::connect(qApp, &QCoreApplication::aboutToQuit, [] {
            std::error_code ignored;
            if (!path.empty()) std::filesystem::remove_all(path, ignored);
        });
        std::atexit([] {
            std::error_code ignored;
            if (!path.empty()) std::filesystem::remove_all(path, ignored);
        });
        return dir;
    }();
    return *folder;
}
}  // namespace

QString VDLDesignView::writeDragFile() {
    const QTemporaryDir& run = dragFilesOfThisRun();
    if (!run.isValid()) return QString();
    dragFolder_ = std::make_unique<QTemporaryDir>(run.path() + QStringLiteral("/drag-XXXXXX"));
    if (!dragFolder_->isValid()) return QString();
    return writePromisedFile(dragFolder_->path());
}

void VDLDesignView::startDesignDrag(const VDLPoint& at) {
    if (!design_ || design_->stitches().empty()) return;
    auto* mime = new QMimeData;
    const QImage full = imageWithTransparency(1.0, QSizeF());
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    full.save(&buffer, "PNG");
    mime->setData(QStringLiteral("image/png"), png);
    mime->setText(QString::fromStdString(design_->description()));
    // File managers take a file: the JPEG is written into a folder of this process first.
    const QString path = writeDragFile();
    if (!path.isEmpty()) mime->setUrls({QUrl::fromLocalFile(path)});
    auto* drag = new QDrag(this);
    drag->setMimeData(mime);
    const QImage icon = imageWithTransparency(0.5, QSizeF(100, 100));
    drag->setPixmap(QPixmap::fromImage(icon));
    drag->setHotSpot(QPoint(icon.width() / 2, icon.height() / 2));
    (void)at;
    isDragging_ = false;
    drag->exec(Qt::CopyAction);
}

// ---- Playback ------------------------------------------------------------------------------

void VDLDesignView::startAnimation() {
    if (!animationTimer_) {
        animationTimer_ = new QTimer(this);
        animationTimer_->setSingleShot(true);
        animationTimer_->setTimerType(Qt::PreciseTimer);
        connect(animationTimer_, &QTimer::timeout, this, &VDLDesignView::nextAnimationStep);
    }
    animationTimer_->start(int(std::lround(animationDelay_ * 1000)));
}

void VDLDesignView::pauseAnimation() {
    delete animationTimer_;
    animationTimer_ = nullptr;
}

void VDLDesignView::stopAnimation() {
    if (design_) design_->setDisplayRange(VDLRange{0, uint64_t(design_->stitches().size())});
    pauseAnimation();
    update();
}

bool VDLDesignView::isAnimating() const {
    return animationTimer_ && animationTimer_->isActive();
}

void VDLDesignView::nextAnimationStep() {
    if (!design_) return;
    VDLRange r = design_->displayRange();
    const uint64_t length = r.length + uint64_t(std::max(animationStep_, 0));
    if (r.location + length < design_->stitches().size()) {
        r.length = length;
        design_->setDisplayRange(r);
        update();  // the new stitches are drawn on top of the cached image
        if (animationTimer_) animationTimer_->start(int(std::lround(animationDelay_ * 1000)));
        VDLNotificationCenter::defaultCenter().post(QStringLiteral("VardelleUpdateAnimation"), this);
    } else {
        VDLNotificationCenter::defaultCenter().post(QStringLiteral("VardelleEndAnimation"), this);
    }
}

double VDLDesignView::animationProgress() const {
    if (!design_ || design_->stitches().empty()) return 1.0;
    const VDLRange r = design_->displayRange();
    return double(r.location + r.length) / double(design_->stitches().size());
}

void VDLDesignView::setAnimationProgress(double progress) {
    if (!design_) return;
    const double n = double(design_->stitches().size()) * std::clamp(progress, 0.0, 1.0);
    design_->setDisplayRange(VDLRange{0, uint64_t(n)});
    update();
}
