#include "VDLMeasurementView.h"

#include "VDLDesignView.h"
#include "VDLFormat.h"
#include "VDLLocalization.h"
#include "VDLValueTransformer.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace {
// Sizes of the marks in screen pixels; the draw unit turns them into design units.
constexpr double kRadius = 6, kEdge = 6, kArrow = 10, kLineHeight = 12.1, kLineWidth = 170;
}  // namespace

VDLMeasurementView::VDLMeasurementView(VDLDesignView* parent, double drawUnit)
    : QWidget(parent),
      canvas_(parent),
      drawUnit_(drawUnit),
      radius_(kRadius * drawUnit),
      edge_(kEdge * drawUnit),
      arrow_(kArrow * drawUnit),
      lineHeight_(kLineHeight * drawUnit),
      lineWidth_(kLineWidth * drawUnit) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    hide();
}

void VDLMeasurementView::measureFromPoint(VDLPoint a, VDLPoint b) {
    startPoint_ = a;
    endPoint_ = b;
    const VDLValueTransformer transformer;
    const double dx = (b.x - a.x) / 10.0, dy = (b.y - a.y) / 10.0;  // millimetres
    firstLine_ = QString::fromStdString(
        VDLFormat("dx: %@ dy: %@", transformer.transformedValue(dx), transformer.transformedValue(dy)));
    const std::string distance = VDLLocalizedString("MEASURE_DISTANCE", "Localizable", "Distance: %@");
    lastLine_ = QString::fromStdString(VDLFormat(distance, transformer.transformedValue(std::hypot(dx, dy))));
    relayout();
    show();
    update();
}

namespace {
QFont labelFont(const QFont& base) {
    QFont font = base;
    font.setPixelSize(11);
    return font;
}
}  // namespace

// The label box sits up and to the right of the end point, joined to it by the arrow tip. It is
// as wide as its longer line and two lines high, and it turns to the left of or below the end
// point where it would leave the visible part of the canvas, so it is always read whole.
QRectF VDLMeasurementView::labelBox(QPointF end) const {
    const QFontMetricsF fm(labelFont(font()));
    const double w = std::max(kLineWidth, std::max(fm.horizontalAdvance(firstLine_), fm.horizontalAdvance(lastLine_)) + 2 * kEdge);
    const double h = 2 * fm.height() + kEdge;
    QRectF box(end.x() + kArrow, end.y() - kArrow - h, w, h);
    const QRectF visible = canvas_->visibleWidgetRect();
    if (box.right() > visible.right() && end.x() - kArrow - w >= visible.left()) box.moveRight(end.x() - kArrow);
    if (box.top() < visible.top() && end.y() + kArrow + h <= visible.bottom()) box.moveTop(end.y() + kArrow);
    // A view too small for either side: keep as much inside as there is room for.
    if (box.right() > visible.right()) box.moveRight(std::max(visible.right(), visible.left() + w));
    if (box.left() < visible.left()) box.moveLeft(visible.left());
    if (box.top() < visible.top()) box.moveTop(visible.top());
    return box;
}

void VDLMeasurementView::relayout() {
    const QPointF s = canvas_->widgetPointAt(startPoint_), e = canvas_->widgetPointAt(endPoint_);
    QRectF r(s - QPointF(kRadius, kRadius), QSizeF(2 * kRadius, 2 * kRadius));
    r = r.united(QRectF(e, QSizeF(1, 1))).united(labelBox(e));
    setGeometry(r.toAlignedRect().adjusted(-3, -3, 3, 3));
}

void VDLMeasurementView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(-QPointF(pos()));
    // Dark ink with a light halo: the marks stand out on a light and on a dark background.
    const QColor ink = QColor::fromRgbF(0, 0, 0, 0.5);
    const QColor halo = QColor::fromRgbF(1, 1, 1, 0.6);
    const QPointF s = canvas_->widgetPointAt(startPoint_), e = canvas_->widgetPointAt(endPoint_);
    p.setPen(QPen(halo, 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(s, e);
    p.setPen(QPen(ink, 2));
    p.drawLine(s, e);
    QPainterPath rings;
    rings.setFillRule(Qt::OddEvenFill);
    for (double f : {0.4, 0.8, 1.0}) rings.addEllipse(s, kRadius * f, kRadius * f);
    p.strokePath(rings, QPen(halo, 1.5));
    p.fillPath(rings, ink);

    const QRectF box = labelBox(e);
    QPainterPath label;
    label.addRoundedRect(box, kEdge, kEdge);
    // The tip joins the end point to the box corner nearest to it.
    const QPointF corner(e.x() <= box.center().x() ? box.left() : box.right(),
                         e.y() >= box.center().y() ? box.bottom() : box.top());
    const double sx = corner.x() == box.left() ? 1 : -1, sy = corner.y() == box.top() ? 1 : -1;
    QPainterPath tip;
    tip.moveTo(e);
    tip.lineTo(corner + QPointF(0, sy * kEdge * 1.5));
    tip.lineTo(corner + QPointF(sx * kEdge * 1.5, 0));
    tip.closeSubpath();
    const QPainterPath whole = label.united(tip);
    p.strokePath(whole, QPen(halo, 1));
    p.fillPath(whole, QColor::fromRgbF(0, 0, 0, 0.78));  // dark enough for white text anywhere
    const QFont font = labelFont(p.font());
    p.setFont(font);
    p.setPen(Qt::white);
    const QFontMetricsF fm(font);
    const double left = box.left() + kEdge;
    const double firstBaseline = box.top() + kEdge / 2 + fm.ascent();
    p.drawText(QPointF(left, firstBaseline), firstLine_);
    p.drawText(QPointF(left, firstBaseline + fm.height()), lastLine_);
}

QRectF VDLMeasurementView::labelRect() const { return labelBox(canvas_->widgetPointAt(endPoint_)); }
