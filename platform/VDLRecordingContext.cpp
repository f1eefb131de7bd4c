#include "VDLRecordingContext.h"

bool VDLRecordedOp::isSegment() const {
    return path.size() == 2 && path[0].kind == VDLPathElement::Kind::MoveTo &&
           path[1].kind == VDLPathElement::Kind::LineTo;
}

std::vector<VDLRecordedOp> VDLRecordingContext::opsOfKind(VDLRecordedOp::Kind kind) const {
    std::vector<VDLRecordedOp> out;
    for (const auto& op : ops_)
        if (op.kind == kind) out.push_back(op);
    return out;
}

size_t VDLRecordingContext::count(VDLRecordedOp::Kind kind) const {
    size_t n = 0;
    for (const auto& op : ops_)
        if (op.kind == kind) ++n;
    return n;
}

void VDLRecordingContext::clear() {
    ops_.clear();
    saved_.clear();
    path_.clear();
    state_ = VDLRecordedState{};
}

VDLRecordedOp& VDLRecordingContext::record(VDLRecordedOp::Kind kind) {
    ops_.emplace_back();
    ops_.back().kind = kind;
    ops_.back().state = state_;
    return ops_.back();
}

void VDLRecordingContext::consumePath(VDLRecordedOp::Kind kind) {
    record(kind).path = std::move(path_);
    path_.clear();
}

void VDLRecordingContext::saveGState() {
    record(VDLRecordedOp::Kind::SaveGState);
    saved_.push_back(state_);
    state_.saveDepth = int(saved_.size());
}

void VDLRecordingContext::restoreGState() {
    record(VDLRecordedOp::Kind::RestoreGState);
    if (saved_.empty()) return;  // unbalanced: recorded, state kept
    state_ = saved_.back();
    saved_.pop_back();
}

void VDLRecordingContext::moveTo(double x, double y) {
    VDLPathElement e;
    e.kind = VDLPathElement::Kind::MoveTo;
    e.x = x;
    e.y = y;
    path_.push_back(e);
}

void VDLRecordingContext::lineTo(double x, double y) {
    VDLPathElement e;
    e.kind = VDLPathElement::Kind::LineTo;
    e.x = x;
    e.y = y;
    path_.push_back(e);
}

void VDLRecordingContext::addArc(double cx, double cy, double radius, double startAngle, double endAngle,
                                 bool clockwise) {
    VDLPathElement e;
    e.kind = VDLPathElement::Kind::Arc;
    e.x = cx;
    e.y = cy;
    e.radius = radius;
    e.startAngle = startAngle;
    e.endAngle = endAngle;
    e.clockwise = clockwise;
    path_.push_back(e);
}

void VDLRecordingContext::closePath() {
    VDLPathElement e;
    e.kind = VDLPathElement::Kind::Close;
    path_.push_back(e);
}

void VDLRecordingContext::addRect(double x, double y, double w, double h) {
    VDLPathElement e;
    e.kind = VDLPathElement::Kind::Rect;
    e.x = x;
    e.y = y;
    e.width = w;
    e.height = h;
    path_.push_back(e);
}

void VDLRecordingContext::clip() {
    consumePath(VDLRecordedOp::Kind::Clip);
    ++state_.clipDepth;
}

void VDLRecordingContext::fillRect(double x, double y, double w, double h) {
    auto& op = record(VDLRecordedOp::Kind::FillRect);
    op.x = x;
    op.y = y;
    op.w = w;
    op.h = h;
    path_.clear();
}

void VDLRecordingContext::strokeRect(double x, double y, double w, double h) {
    auto& op = record(VDLRecordedOp::Kind::StrokeRect);
    op.x = x;
    op.y = y;
    op.w = w;
    op.h = h;
    path_.clear();
}

void VDLRecordingContext::drawLinearGradient(const std::vector<VDLGradientStop>& stops, double x0, double y0,
                                             double x1, double y1) {
    auto& op = record(VDLRecordedOp::Kind::LinearGradient);
    op.stops = stops;
    op.x0 = x0;
    op.y0 = y0;
    op.x1 = x1;
    op.y1 = y1;
}

void VDLRecordingContext::translate(double tx, double ty) {
    auto& op = record(VDLRecordedOp::Kind::Translate);
    op.x = tx;
    op.y = ty;
    VDLAffine& m = state_.ctm;
    m.tx += m.a * tx + m.c * ty;
    m.ty += m.b * tx + m.d * ty;
}

void VDLRecordingContext::scale(double sx, double sy) {
    auto& op = record(VDLRecordedOp::Kind::Scale);
    op.x = sx;
    op.y = sy;
    VDLAffine& m = state_.ctm;
    m.a *= sx;
    m.b *= sx;
    m.c *= sy;
    m.d *= sy;
}

void VDLRecordingContext::selectFont(const std::string& family, double size, bool bold) {
    state_.fontFamily = family;
    state_.fontSize = size;
    state_.fontBold = bold;
}

void VDLRecordingContext::showText(double x, double y, const std::string& utf8) {
    auto& op = record(VDLRecordedOp::Kind::Text);
    op.x = x;
    op.y = y;
    op.text = utf8;
}

double VDLRecordingContext::textWidth(const std::string& utf8) {
    size_t codePoints = 0;
    for (unsigned char c : utf8)
        if ((c & 0xC0) != 0x80) ++codePoints;
    return 0.5 * state_.fontSize * double(codePoints);
}
