#pragma once
// A graphics context that draws nothing and remembers what it was asked to draw: every painting
// call (stroke, fill, clip, gradient, rectangles, text) and every structural call (save,
// restore, transform) becomes one operation, with the path it consumed and the graphics state
// at that moment. Tests read the list to check what a renderer drew.
#include "VDLGraphicsContext.h"

#include <cstddef>
#include <string>
#include <vector>

// One element of a path, in user coordinates.
struct VDLPathElement {
    enum class Kind { MoveTo, LineTo, Arc, Close, Rect };
    Kind kind = Kind::MoveTo;
    double x = 0, y = 0;          // MoveTo/LineTo point; Arc centre; Rect origin
    double width = 0, height = 0;  // Rect
    double radius = 0, startAngle = 0, endAngle = 0;  // Arc
    bool clockwise = false;                           // Arc
    bool operator==(const VDLPathElement&) const = default;
};

// An affine transform x' = a x + c y + tx, y' = b x + d y + ty (user to base space).
struct VDLAffine {
    double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;
    double applyX(double x, double y) const { return a * x + c * y + tx; }
    double applyY(double x, double y) const { return b * x + d * y + ty; }
    bool operator==(const VDLAffine&) const = default;
};

struct VDLRecordedState {
    VDLLineCap lineCap = VDLLineCap::Butt;
    double lineWidth = 1;
    double dashPhase = 0;
    std::vector<double> dash;  // empty: solid
    VDLRGBA strokeColor{0, 0, 0, 1};
    VDLRGBA fillColor{0, 0, 0, 1};
    VDLAffine ctm;
    int clipDepth = 0;  // clips in force
    int saveDepth = 0;  // saved states not yet restored
    std::string fontFamily;
    double fontSize = 12;
    bool fontBold = false;
};

struct VDLRecordedOp {
    enum class Kind {
        SaveGState,
        RestoreGState,
        Stroke,
        Fill,
        EOFill,
        Clip,
        FillRect,
        StrokeRect,
        LinearGradient,
        Translate,
        Scale,
        Text,
    };
    Kind kind = Kind::Stroke;
    VDLRecordedState state;             // the state when the call was made (before a Clip takes effect)
    std::vector<VDLPathElement> path;   // Stroke, Fill, EOFill, Clip: the path consumed
    double x = 0, y = 0, w = 0, h = 0;  // FillRect/StrokeRect: the rectangle; Text: the baseline
                                        // start; Translate: (x, y); Scale: (x, y)
    std::vector<VDLGradientStop> stops;  // LinearGradient
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    std::string text;  // Text

    // For a path of one move and one line (a segment): its end points.
    bool isSegment() const;
    double segX0() const { return path.size() > 0 ? path[0].x : 0; }
    double segY0() const { return path.size() > 0 ? path[0].y : 0; }
    double segX1() const { return path.size() > 1 ? path[1].x : 0; }
    double segY1() const { return path.size() > 1 ? path[1].y : 0; }
};

class VDLRecordingContext final : public VDLGraphicsContext {
public:
    const std::vector<VDLRecordedOp>& ops() const { return ops_; }
    std::vector<VDLRecordedOp> opsOfKind(VDLRecordedOp::Kind kind) const;
    size_t count(VDLRecordedOp::Kind kind) const;
    // The current state and path (what the next call would see).
    const VDLRecordedState& state() const { return state_; }
    const std::vector<VDLPathElement>& currentPath() const { return path_; }
    void clear();

    void saveGState() override;
    void restoreGState() override;
    void setLineCap(VDLLineCap cap) override { state_.lineCap = cap; }
    void setLineWidth(double width) override { state_.lineWidth = width; }
    void setLineDash(double phase, const std::vector<double>& lengths) override {
        state_.dashPhase = phase;
        state_.dash = lengths;
    }
    void setStrokeColor(const VDLRGBA& c) override { state_.strokeColor = c; }
    void setFillColor(const VDLRGBA& c) override { state_.fillColor = c; }
    void beginPath() override { path_.clear(); }
    void moveTo(double x, double y) override;
    void lineTo(double x, double y) override;
    void addArc(double cx, double cy, double radius, double startAngle, double endAngle, bool clockwise) override;
    void closePath() override;
    void addRect(double x, double y, double w, double h) override;
    void strokePath() override { consumePath(VDLRecordedOp::Kind::Stroke); }
    void fillPath() override { consumePath(VDLRecordedOp::Kind::Fill); }
    void eoFillPath() override { consumePath(VDLRecordedOp::Kind::EOFill); }
    void clip() override;
    void fillRect(double x, double y, double w, double h) override;
    void strokeRect(double x, double y, double w, double h) override;
    void drawLinearGradient(const std::vector<VDLGradientStop>& stops, double x0, double y0, double x1,
                            double y1) override;
    void translate(double tx, double ty) override;
    void scale(double sx, double sy) override;
    void selectFont(const std::string& family, double size, bool bold) override;
    void showText(double x, double y, const std::string& utf8) override;
    // No fonts here: half the font size per character (code point).
    double textWidth(const std::string& utf8) override;

private:
    VDLRecordedOp& record(VDLRecordedOp::Kind kind);
    void consumePath(VDLRecordedOp::Kind kind);

    std::vector<VDLRecordedOp> ops_;
    VDLRecordedState state_;
    std::vector<VDLRecordedState> saved_;
    std::vector<VDLPathElement> path_;
};
