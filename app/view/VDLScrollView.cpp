#include "VDLScrollView.h"

#include "VDLDefaults.h"
#include "VDLDesignView.h"
#include "VDLNotificationCenter.h"
#include "VDLValueTransformer.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>

#include <cmath>
#include <optional>

// ---- Rulers --------------------------------------------------------------------------------

VDLRulerView::VDLRulerView(VDLScrollView* scrollView, Qt::Orientation orientation)
    : QWidget(scrollView), scrollView_(scrollView), orientation_(orientation) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    hide();
}

void VDLRulerView::setMeasurementUnit(int measurementUnit) {
    if (measurementUnit == 1 || measurementUnit == 2) {
        unitName_ = QStringLiteral("Inches");
        abbreviation_ = QStringLiteral("in");
        unitLength_ = 254.0;
    } else {
        unitName_ = QStringLiteral("Millimeters");
        abbreviation_ = QStringLiteral("mm");
        unitLength_ = 10.0;
    }
    update();
}

// The ruler lies along the viewport, so a ruler pixel is a viewport pixel on its axis.
double VDLRulerView::valueAt(double rulerPixel) const {
    const VDLDesignView* dv = scrollView_->designView();
    if (!dv) return 0;
    if (orientation_ == Qt::Horizontal)
        return dv->designPointAt(QPointF(rulerPixel - dv->x(), 0)).x / unitLength_;
    return dv->designPointAt(QPointF(0, rulerPixel - dv->y())).y / unitLength_;
}

double VDLRulerView::pixelForValue(double value) const {
    const VDLDesignView* dv = scrollView_->designView();
    if (!dv) return 0;
    const QPointF w = dv->widgetPointAt(VDLPoint{value * unitLength_, value * unitLength_});
    return orientation_ == Qt::Horizontal ? w.x() + dv->x() : w.y() + dv->y();
}

double VDLRulerView::labelStep() const {
    const VDLDesignView* dv = scrollView_->designView();
    const double ppu = dv ? dv->pixelsPerUnit() : 1.0;
    const double minimum = 60.0 / (ppu * unitLength_);  // labels at least 60 pixels apart
    if (unitLength_ == 10.0) {
        // Millimetres: 0.5, then 1, 2, 5 times the powers of ten.
        if (minimum <= 0.5) return 0.5;
        for (double decade = 1; decade < 1e9; decade *= 10)
            for (double f : {1.0, 2.0, 5.0})
                if (f * decade >= minimum) return f * decade;
        return 1e9;
    }
    // Inches: 0.1, 0.5, then the powers of two.
    if (minimum <= 0.1) return 0.1;
    if (minimum <= 0.5) return 0.5;
    double step = 1;
    while (step < minimum && step < 1e9) step *= 2;
    return step;
}

void VDLRulerView::moveRulerline(double from, double to) {
    (void)from;
    line_ = to;
    update();
}

namespace {
// The spacing of the ticks: a label every MINORPERLABEL ticks.
struct Ticks {
    double step, minor;
    int minorPerLabel;
};
Ticks ticksFor(double step, double unitLength) {
    const double leading = step / std::pow(10.0, std::floor(std::log10(step)));
    const int minorPerLabel = (unitLength == 10.0 && std::lround(leading) != 2) ? 10 : 4;
    return {step, step / minorPerLabel, minorPerLabel};
}
constexpr double kBaseline = 10;  // the labels' baseline, across the ruler
}  // namespace

QFont VDLRulerView::labelFont() const {
    QFont f = font();
    f.setPixelSize(9);
    return f;
}

QList<VDLRulerView::Label> VDLRulerView::labels() const {
    QList<Label> out;
    if (!scrollView_->designView() || !scrollView_->designView()->design()) return out;
    const Ticks t = ticksFor(labelStep(), unitLength_);
    const bool horizontal = orientation_ == Qt::Horizontal;
    const double length = horizontal ? width() : height();
    double v0 = valueAt(0), v1 = valueAt(length);
    if (v0 > v1) std::swap(v0, v1);
    const QFontMetricsF metrics(labelFont());
    const double across = metrics.ascent() + metrics.descent();
    for (double k = std::floor(v0 / t.minor); k * t.minor <= v1; ++k) {
        if (std::lround(k) % t.minorPerLabel != 0) continue;
        const double value = k * t.minor;
        const double pixel = std::round(pixelForValue(value)) + 0.5;
        const QString text = QString::number(std::round(value / t.minor) * t.minor, 'g', 8);
        const double w = metrics.horizontalAdvance(text);
        // Along the ruler from the tick (rightwards, or upwards on the vertical ruler, whose
        // labels read from bottom to top); on the other side where that end is too near.
        double from = horizontal ? pixel + 2 : pixel - 2 - w;
        if (horizontal ? from + w > length : from < 0) from = horizontal ? pixel - 2 - w : pixel + 2;
        if (from < 0 || from + w > length) continue;  // no room at either side: not drawn cut
        const QRectF rect = horizontal ? QRectF(from, kBaseline - metrics.ascent(), w, across)
                                       : QRectF(kBaseline - metrics.ascent(), from, across, w);
        out.append(Label{text, value, rect});
    }
    return out;
}

void VDLRulerView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().color(QPalette::Window));
    p.setPen(palette().color(QPalette::Mid));
    const bool horizontal = orientation_ == Qt::Horizontal;
    if (horizontal) p.drawLine(0, height() - 1, width(), height() - 1);
    else p.drawLine(width() - 1, 0, width() - 1, height());
    if (!scrollView_->designView() || !scrollView_->designView()->design()) return;

    const Ticks t = ticksFor(labelStep(), unitLength_);
    const double length = horizontal ? width() : height();
    double v0 = valueAt(0), v1 = valueAt(length);
    if (v0 > v1) std::swap(v0, v1);
    p.setFont(labelFont());
    p.setPen(palette().color(QPalette::WindowText));
    const int thickness = horizontal ? height() : width();
    for (double k = std::floor(v0 / t.minor); k * t.minor <= v1; ++k) {
        const double value = k * t.minor;
        const double pixel = std::round(pixelForValue(value)) + 0.5;
        const long index = std::lround(k);
        const bool labelled = index % t.minorPerLabel == 0;
        const bool half = !labelled && t.minorPerLabel % 2 == 0 && index % (t.minorPerLabel / 2) == 0;
        const double tick = labelled ? thickness * 0.6 : half ? thickness * 0.4 : thickness * 0.2;
        if (horizontal) p.drawLine(QPointF(pixel, thickness - tick), QPointF(pixel, thickness));
        else p.drawLine(QPointF(thickness - tick, pixel), QPointF(thickness, pixel));
    }
    for (const Label& label : labels()) {
        if (horizontal) {
            p.drawText(QPointF(label.rect.left(), kBaseline), label.text);
        } else {
            p.save();
            p.translate(kBaseline, label.rect.bottom());
            p.rotate(-90);
            p.drawText(QPointF(0, 0), label.text);
            p.restore();
        }
    }
    if (line_ >= 0) {
        p.setPen(QPen(Qt::black, 1));
        if (horizontal) p.drawLine(QPointF(line_ + 0.5, 0), QPointF(line_ + 0.5, thickness));
        else p.drawLine(QPointF(0, line_ + 0.5), QPointF(thickness, line_ + 0.5));
    }
}

// ---- Scroll view ---------------------------------------------------------------------------

VDLScrollView::VDLScrollView(QWidget* parent)
    : QScrollArea(parent),
      horizontalRuler_(new VDLRulerView(this, Qt::Horizontal)),
      verticalRuler_(new VDLRulerView(this, Qt::Vertical)) {
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(false);
    setAlignment(Qt::AlignCenter);  // a document smaller than the visible area stays centred
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    QPalette pal = viewport()->palette();
    pal.setColor(QPalette::Window, QColor(128, 128, 128));
    viewport()->setPalette(pal);
    viewport()->setBackgroundRole(QPalette::Window);
    viewport()->setAutoFillBackground(true);
    auto& center = VDLNotificationCenter::defaultCenter();
    connect(&center, &VDLNotificationCenter::showRulers, this, [this] { showRulers(); });
    connect(&center, &VDLNotificationCenter::hideRulers, this, [this] { hideRulers(); });
}

VDLScrollView::~VDLScrollView() = default;

void VDLScrollView::setDesignView(VDLDesignView* view) {
    setWidget(view);
}

VDLDesignView* VDLScrollView::designView() const {
    return qobject_cast<VDLDesignView*>(widget());
}

void VDLScrollView::setup() {
    const int unit = int(VDLValueTransformer::measurementUnit());
    horizontalRuler_->setMeasurementUnit(unit);
    verticalRuler_->setMeasurementUnit(unit);
    const QVariant show = VDLDefaults::standard().value(QStringLiteral("ShowRulers"));
    if (!show.isValid() || show.toBool()) showRulers();
    else hideRulers();
}

void VDLScrollView::showRulers() {
    VDLDesignView* dv = designView();
    const float scale = dv ? dv->scale() : 1.0f;
    const std::optional<VDLPoint> centre = centre_;
    rulersVisible_ = true;
    setViewportMargins(VDLRulerView::kThickness, VDLRulerView::kThickness, 0, 0);
    layoutRulers();
    horizontalRuler_->show();
    verticalRuler_->show();
    if (dv) {
        dv->setMouseTracking(true);
        if (dv->design()) {
            dv->setScale(scale);
            if (centre) dv->scrollPointToCentre(*centre);
        }
    }
    adjustRulers();
}

void VDLScrollView::hideRulers() {
    VDLDesignView* dv = designView();
    const float scale = dv ? dv->scale() : 1.0f;
    const std::optional<VDLPoint> centre = centre_;
    rulersVisible_ = false;
    setViewportMargins(0, 0, 0, 0);
    horizontalRuler_->hide();
    verticalRuler_->hide();
    if (dv) {
        // The canvas keeps tracking the pointer: the status bar shows where it is.
        if (dv->design()) {
            dv->setScale(scale);
            if (centre) dv->scrollPointToCentre(*centre);
        }
    }
}

void VDLScrollView::adjustRulers() {
    // The rulers read the document view's position and zoom when they paint, so their zero is
    // always the design origin.
    horizontalRuler_->update();
    verticalRuler_->update();
}

void VDLScrollView::layoutRulers() {
    const QRect vp = viewport()->geometry();
    const int t = VDLRulerView::kThickness;
    horizontalRuler_->setGeometry(vp.left(), vp.top() - t, vp.width(), t);
    verticalRuler_->setGeometry(vp.left() - t, vp.top(), t, vp.height());
}

void VDLScrollView::mouseMoved(QPointF pos) {
    const QPointF h = horizontalRuler_->mapFrom(this, pos);
    const QPointF v = verticalRuler_->mapFrom(this, pos);
    horizontalRuler_->moveRulerline(oldMouseLocation_.x(), h.x());
    verticalRuler_->moveRulerline(oldMouseLocation_.y(), v.y());
    oldMouseLocation_ = QPointF(h.x(), v.y());
}

QRectF VDLScrollView::visibleRect() const {
    const VDLDesignView* dv = designView();
    if (!dv) return QRectF();
    return QRectF(QPointF(-dv->pos()), QSizeF(viewport()->size())).intersected(QRectF(dv->rect()));
}

void VDLScrollView::noteCentre() {
    VDLDesignView* dv = designView();
    if (!dv || !dv->design()) return;
    centre_ = dv->centredPointInDocView();
    centreViewport_ = viewport()->size();
}

void VDLScrollView::resizeEvent(QResizeEvent* event) {
    QScrollArea::resizeEvent(event);
    if (rulersVisible_) layoutRulers();
    VDLDesignView* dv = designView();
    if (dv && dv->design()) {
        // The zoom relative to the window and the design point in the middle stay the same.
        const std::optional<VDLPoint> centre = centre_;
        dv->noteLiveResize();
        dv->setScale(dv->scale_);
        if (centre) dv->scrollPointToCentre(*centre);
        else dv->centerDesign();
    }
    adjustRulers();
}

void VDLScrollView::scrollContentsBy(int dx, int dy) {
    QScrollArea::scrollContentsBy(dx, dy);  // moves the canvas; its pixels are blitted
    // The user scrolled; scrolling forced by a change of the viewport's size (while the window
    // is resized) does not move the point to keep in the middle.
    if (viewport()->size() == centreViewport_) noteCentre();
    adjustRulers();
}

bool VDLScrollView::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::Leave) {
        horizontalRuler_->moveRulerline(oldMouseLocation_.x(), -1);
        verticalRuler_->moveRulerline(oldMouseLocation_.y(), -1);
        oldMouseLocation_ = QPointF(-1, -1);
    }
    return QScrollArea::viewportEvent(event);
}
