#include "VDLPainterContext.h"

#include <QFontInfo>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPaintDevice>
#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <cmath>

namespace {

// Text is laid out with a font of this many units and scaled to the requested size, so sizes
// need not be whole pixels and metrics do not depend on the device's resolution.
constexpr double kReferenceFontSize = 100.0;
constexpr double kTwoPi = 2.0 * M_PI;
// Cairo's default miter limit; QPen's own is 2.
constexpr double kMiterLimit = 10.0;

bool isFinite(double v) { return std::isfinite(v); }

double clamp01(double v) { return std::isfinite(v) ? std::clamp(v, 0.0, 1.0) : 0.0; }

QColor toQColor(const VDLRGBA& c) { return QColor::fromRgbF(float(clamp01(c.r)), float(clamp01(c.g)), float(clamp01(c.b)), float(clamp01(c.a))); }

double degrees(double radians) { return radians * 180.0 / M_PI; }

}  // namespace

VDLPainterContext::VDLPainterContext(QPainter* painter) : painter_(painter) {
    painter_->save();
    painter_->setRenderHint(QPainter::Antialiasing, true);
    painter_->setRenderHint(QPainter::TextAntialiasing, true);
    painter_->setRenderHint(QPainter::SmoothPixmapTransform, true);
    state_.font = fontForFamily("sans-serif", false);
}

VDLPainterContext::~VDLPainterContext() {
    // Unbalanced saves of the caller are undone with the painter's own state.
    for (size_t i = 0; i < saved_.size(); ++i) painter_->restore();
    painter_->restore();
}

QFont VDLPainterContext::fontForFamily(const std::string& family, bool bold) {
    QFont font;
    // The family first; fontconfig's closest sans-serif face when it is not installed.
    font.setFamilies({QString::fromStdString(family), QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans")});
    font.setStyleHint(QFont::SansSerif);
    font.setPixelSize(int(kReferenceFontSize));
    font.setWeight(bold ? QFont::Bold : QFont::Normal);
    font.setHintingPreference(QFont::PreferNoHinting);
    return font;
}

bool VDLPainterContext::drawable() const {
    const QTransform t = painter_->worldTransform();
    const double det = t.m11() * t.m22() - t.m12() * t.m21();
    return isFinite(det) && det != 0.0;
}

// ---- state ------------------------------------------------------------------------------------

void VDLPainterContext::saveGState() {
    saved_.push_back(state_);
    painter_->save();
}

void VDLPainterContext::restoreGState() {
    if (saved_.empty()) return;  // more restores than saves: nothing to restore
    state_ = std::move(saved_.back());
    saved_.pop_back();
    painter_->restore();
}

void VDLPainterContext::setLineCap(VDLLineCap cap) { state_.cap = cap; }

void VDLPainterContext::setLineWidth(double width) {
    if (isFinite(width) && width >= 0) state_.lineWidth = width;
}

void VDLPainterContext::setLineDash(double phase, const std::vector<double>& lengths) {
    bool valid = isFinite(phase);
    double total = 0;
    for (double l : lengths) {
        if (!isFinite(l) || l < 0) valid = false;
        total += l;
    }
    if (!valid || (!lengths.empty() && total <= 0)) {
        state_.dash.clear();
        state_.dashPhase = 0;
        return;
    }
    state_.dash = lengths;
    state_.dashPhase = phase;
}

void VDLPainterContext::setStrokeColor(const VDLRGBA& c) { state_.stroke = c; }
void VDLPainterContext::setFillColor(const VDLRGBA& c) { state_.fill = c; }

QPen VDLPainterContext::currentPen() const {
    QPen pen(toQColor(state_.stroke), state_.lineWidth, Qt::SolidLine,
             state_.cap == VDLLineCap::Round    ? Qt::RoundCap
             : state_.cap == VDLLineCap::Square ? Qt::SquareCap
                                                : Qt::FlatCap,
             Qt::MiterJoin);
    pen.setMiterLimit(kMiterLimit);
    pen.setCosmetic(false);
    if (!state_.dash.empty() && state_.lineWidth > 0) {
        // QPen measures dashes in line widths, and wants on/off pairs: an odd pattern repeats
        // once more with on and off swapped, as in the other contexts.
        QList<qreal> pattern;
        const size_t n = state_.dash.size() % 2 ? state_.dash.size() * 2 : state_.dash.size();
        for (size_t i = 0; i < n; ++i)
            pattern.append(std::max(state_.dash[i % state_.dash.size()], 1e-6) / state_.lineWidth);
        pen.setDashPattern(pattern);
        pen.setDashOffset(state_.dashPhase / state_.lineWidth);
    }
    return pen;
}

// ---- path -------------------------------------------------------------------------------------

void VDLPainterContext::beginPath() {
    path_ = QPainterPath();
    hasCurrentPoint_ = false;
}

void VDLPainterContext::moveTo(double x, double y) {
    if (!isFinite(x) || !isFinite(y)) return;
    path_.moveTo(x, y);
    subpathStart_ = QPointF(x, y);
    hasCurrentPoint_ = true;
}

void VDLPainterContext::lineTo(double x, double y) {
    if (!isFinite(x) || !isFinite(y)) return;
    if (!hasCurrentPoint_) {
        moveTo(x, y);  // a line without a start begins there
        return;
    }
    path_.lineTo(x, y);
}

void VDLPainterContext::addArc(double cx, double cy, double radius, double startAngle, double endAngle,
                               bool clockwise) {
    if (!isFinite(cx) || !isFinite(cy) || !isFinite(radius) || radius < 0 || !isFinite(startAngle) || !isFinite(endAngle))
        return;
    // Angles grow from +X towards +Y ("counter-clockwise in a Y-up space"); "clockwise" runs
    // towards smaller angles. The end is brought within one turn of the start in the
    // direction of travel. QPainterPath counts its angles the other way round (towards -Y).
    double sweep = endAngle - startAngle;
    if (clockwise) {
        if (sweep > 0) sweep = std::fmod(sweep, kTwoPi) - (std::fmod(sweep, kTwoPi) > 0 ? kTwoPi : 0);
    } else {
        if (sweep < 0) sweep = std::fmod(sweep, kTwoPi) + (std::fmod(sweep, kTwoPi) < 0 ? kTwoPi : 0);
    }
    const QRectF box(cx - radius, cy - radius, 2 * radius, 2 * radius);
    const double qtStart = -degrees(startAngle);
    const double qtSweep = -degrees(sweep);
    if (!hasCurrentPoint_) {
        path_.arcMoveTo(box, qtStart);
        subpathStart_ = path_.currentPosition();
    }
    path_.arcTo(box, qtStart, qtSweep);
    hasCurrentPoint_ = true;
}

void VDLPainterContext::closePath() {
    if (!hasCurrentPoint_) return;
    path_.closeSubpath();
    path_.moveTo(subpathStart_);  // the next segment starts where this subpath began
}

void VDLPainterContext::addRect(double x, double y, double w, double h) {
    if (!isFinite(x) || !isFinite(y) || !isFinite(w) || !isFinite(h)) return;
    path_.moveTo(x, y);
    path_.lineTo(x + w, y);
    path_.lineTo(x + w, y + h);
    path_.lineTo(x, y + h);
    path_.closeSubpath();
    path_.moveTo(x, y);
    subpathStart_ = QPointF(x, y);
    hasCurrentPoint_ = true;
}

void VDLPainterContext::consumePath() {
    path_ = QPainterPath();
    hasCurrentPoint_ = false;
}

// ---- painting ---------------------------------------------------------------------------------

void VDLPainterContext::strokePath() {
    // A zero width strokes nothing (QPen would draw a one-pixel cosmetic line).
    if (drawable() && state_.lineWidth > 0) painter_->strokePath(path_, currentPen());
    consumePath();
}

void VDLPainterContext::fillPath() {
    if (drawable()) {
        path_.setFillRule(Qt::WindingFill);
        painter_->fillPath(path_, toQColor(state_.fill));
    }
    consumePath();
}

void VDLPainterContext::eoFillPath() {
    if (drawable()) {
        path_.setFillRule(Qt::OddEvenFill);
        painter_->fillPath(path_, toQColor(state_.fill));
    }
    consumePath();
}

void VDLPainterContext::clip() {
    path_.setFillRule(Qt::WindingFill);
    painter_->setClipPath(path_, painter_->hasClipping() ? Qt::IntersectClip : Qt::ReplaceClip);
    consumePath();
}

void VDLPainterContext::fillRect(double x, double y, double w, double h) {
    beginPath();
    addRect(x, y, w, h);
    fillPath();
}

void VDLPainterContext::strokeRect(double x, double y, double w, double h) {
    beginPath();
    addRect(x, y, w, h);
    strokePath();
}

void VDLPainterContext::drawLinearGradient(const std::vector<VDLGradientStop>& stops, double x0, double y0, double x1,
                                           double y1) {
    if (!drawable() || stops.empty()) return;
    const double dx = x1 - x0, dy = y1 - y0;
    const double len2 = dx * dx + dy * dy;
    if (!isFinite(len2) || len2 < 1e-18 || !isFinite(x0) || !isFinite(y0)) return;

    QLinearGradient gradient(x0, y0, x1, y1);
    for (const auto& s : stops) gradient.setColorAt(clamp01(s.location), toQColor(s.color));

    // QPainter's gradients always extend their end colours; this one paints nothing beyond
    // either end. Fill only the band between the normals through both ends, long enough to
    // cross whatever the clip lets through.
    QRectF area = painter_->hasClipping() ? painter_->clipBoundingRect()
                                          : painter_->worldTransform().inverted().mapRect(QRectF(
                                                0, 0, painter_->device()->width(), painter_->device()->height()));
    double reach = 1;
    for (const QPointF& corner : {area.topLeft(), area.topRight(), area.bottomLeft(), area.bottomRight()})
        reach = std::max(reach, std::hypot(corner.x() - x0, corner.y() - y0));
    const double len = std::sqrt(len2);
    reach += len;
    const double nx = -dy / len * reach, ny = dx / len * reach;
    const QPolygonF band({QPointF(x0 + nx, y0 + ny), QPointF(x1 + nx, y1 + ny), QPointF(x1 - nx, y1 - ny),
                          QPointF(x0 - nx, y0 - ny)});
    QPainterPath bandPath;
    bandPath.addPolygon(band);
    bandPath.closeSubpath();
    painter_->fillPath(bandPath, QBrush(gradient));
}

// ---- transform --------------------------------------------------------------------------------

void VDLPainterContext::translate(double tx, double ty) {
    if (isFinite(tx) && isFinite(ty)) painter_->translate(tx, ty);
}

void VDLPainterContext::scale(double sx, double sy) {
    if (isFinite(sx) && isFinite(sy)) painter_->scale(sx, sy);
}

// ---- text -------------------------------------------------------------------------------------

void VDLPainterContext::selectFont(const std::string& family, double size, bool bold) {
    state_.font = fontForFamily(family, bold);
    if (isFinite(size) && size > 0) state_.fontSize = size;
}

void VDLPainterContext::showText(double x, double y, const std::string& utf8) {
    if (!drawable() || utf8.empty() || !isFinite(x) || !isFinite(y)) return;
    painter_->save();
    painter_->translate(x, y);
    // Upright text in a Y-up space: the glyphs are mirrored back.
    const QTransform t = painter_->worldTransform();
    const double mirror = t.m11() * t.m22() - t.m12() * t.m21() < 0 ? -1.0 : 1.0;
    const double k = state_.fontSize / kReferenceFontSize;
    painter_->scale(k, mirror * k);
    painter_->setFont(state_.font);
    painter_->setPen(toQColor(state_.fill));
    painter_->drawText(QPointF(0, 0), QString::fromUtf8(utf8.data(), qsizetype(utf8.size())));
    painter_->restore();
}

double VDLPainterContext::textWidth(const std::string& utf8) {
    if (utf8.empty()) return 0;
    const QFontMetricsF metrics(state_.font, painter_->device());
    return metrics.horizontalAdvance(QString::fromUtf8(utf8.data(), qsizetype(utf8.size()))) * state_.fontSize /
           kReferenceFontSize;
}
