#pragma once
// The graphics context over a QPainter: printing, PDF export and any QPaintDevice the
// application wants to draw a design or a page into with the library's renderer.
//
// It follows the Cairo context call for call: user space starts as the painter's current
// transform, angles grow counter-clockwise in a Y-up space, dash lengths are in user units,
// gradients paint nothing beyond their two ends, colour components are clamped to 0..1, and
// text stands upright whichever way user space points. The painter is not owned; the context
// leaves it in the state it found it (the painter's own state is saved at construction and
// restored at destruction).
#include "VDLGraphicsContext.h"

#include <QFont>
#include <QPainterPath>
#include <QPen>

#include <vector>

class QPainter;

class VDLPainterContext final : public VDLGraphicsContext {
public:
    explicit VDLPainterContext(QPainter* painter);
    ~VDLPainterContext() override;
    VDLPainterContext(const VDLPainterContext&) = delete;
    VDLPainterContext& operator=(const VDLPainterContext&) = delete;

    QPainter* painter() const { return painter_; }

    void saveGState() override;
    void restoreGState() override;
    void setLineCap(VDLLineCap cap) override;
    void setLineWidth(double width) override;
    void setLineDash(double phase, const std::vector<double>& lengths) override;
    void setStrokeColor(const VDLRGBA& c) override;
    void setFillColor(const VDLRGBA& c) override;
    void beginPath() override;
    void moveTo(double x, double y) override;
    void lineTo(double x, double y) override;
    void addArc(double cx, double cy, double radius, double startAngle, double endAngle, bool clockwise) override;
    void closePath() override;
    void addRect(double x, double y, double w, double h) override;
    void strokePath() override;
    void fillPath() override;
    void eoFillPath() override;
    void clip() override;
    void fillRect(double x, double y, double w, double h) override;
    void strokeRect(double x, double y, double w, double h) override;
    void drawLinearGradient(const std::vector<VDLGradientStop>& stops, double x0, double y0, double x1,
                            double y1) override;
    void translate(double tx, double ty) override;
    void scale(double sx, double sy) override;
    void selectFont(const std::string& family, double size, bool bold) override;
    void showText(double x, double y, const std::string& utf8) override;
    double textWidth(const std::string& utf8) override;

    // The font a family name resolves to (the family itself when installed, else a similar
    // sans-serif one), at the reference size the context draws text with.
    static QFont fontForFamily(const std::string& family, bool bold);

private:
    // What QPainter does not keep the way the interface means it: two colours instead of a
    // pen and a brush, the dash in user units (QPen's is in line widths), and the font size in
    // user units.
    struct State {
        VDLRGBA stroke{0, 0, 0, 1};
        VDLRGBA fill{0, 0, 0, 1};
        double lineWidth = 1;
        VDLLineCap cap = VDLLineCap::Butt;
        double dashPhase = 0;
        std::vector<double> dash;
        QFont font;
        double fontSize = 12;
    };

    QPen currentPen() const;
    bool drawable() const;
    void consumePath();

    QPainter* painter_;
    State state_;
    std::vector<State> saved_;
    QPainterPath path_;
    QPointF subpathStart_;
    bool hasCurrentPoint_ = false;
};
