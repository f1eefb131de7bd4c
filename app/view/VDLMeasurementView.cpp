#include "VDLMeasurementView.h"

#include "VDLDesignView.h"
#include "VDLFormat.h"
#include "VDLLocalization.h"
#include "VDLValueTransformer.h"

#include <QPainter>
#include <QPainterPath>

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

// The label box sits up and to the right of the end point, joined to it by the arrow tip.
static QRectF labelBox(QPointF end) {
    const double h = 1.6 * kLineHeight;
    return QRectF(end.x() + kArrow, end.y() - kArrow - h, kLineWidth, h);
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
    const QColor ink = QColor::fromRgbF(0, 0, 0, 0.5);
    const QPointF s = canvas_->widgetPointAt(startPoint_), e = canvas_->widgetPointAt(endPoint_);
    p.setPen(QPen(ink, 2));
    p.drawLine(s, e);
    QPainterPath rings;
    rings.setFillRule(Qt::OddEvenFill);
    for (double f : {0.4, 0.8, 1.0}) rings.addEllipse(s, kRadius * f, kRadius * f);
    p.fillPath(rings, ink);
    const QRectF box = labelBox(e);
    QPainterPath label;
    label.addRoundedRect(box, kEdge, kEdge);
    QPainterPath tip;
    tip.moveTo(e);
    tip.lineTo(box.bottomLeft() + QPointF(0, -kEdge));
    tip.lineTo(box.bottomLeft() + QPointF(kEdge, 0));
    tip.closeSubpath();
    p.fillPath(label.united(tip), ink);
    QFont font = p.font();
    font.setPixelSize(11);
    p.setFont(font);
    p.setPen(Qt::white);
    const double baseline = box.bottom() - 0.3 * kLineHeight - 2;
    p.drawText(QPointF(box.left() + kEdge, baseline), lastLine_);
    p.drawText(QPointF(box.left() + kEdge, baseline - kLineHeight), firstLine_);
}
