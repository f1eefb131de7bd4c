#pragma once
// The scroll view around the design view: rulers in millimetres or inches whose zero lies at the
// design origin, with ruler lines that follow the mouse; shown or hidden on "VardelleShowRulers" /
// "VardelleHideRulers"; a design view smaller than the visible area stays centred.
#include "VDLGeometry.h"

#include <QFont>
#include <QList>
#include <QRectF>
#include <QScrollArea>
#include <QString>
#include <QWidget>

#include <optional>

class VDLDesignView;
class VDLScrollView;

// One ruler along the top (horizontal) or the left side (vertical) of the scroll view.
class VDLRulerView : public QWidget {
    Q_OBJECT
public:
    VDLRulerView(VDLScrollView* scrollView, Qt::Orientation orientation);
    Qt::Orientation orientation() const { return orientation_; }

    // The registered unit: "Millimeters" ("mm", 10 design units per unit) or "Inches" ("in", 254).
    QString unitName() const { return unitName_; }
    QString unitAbbreviation() const { return abbreviation_; }
    double unitsPerRulerUnit() const { return unitLength_; }
    void setMeasurementUnit(int measurementUnit);

    // The ruler value (in the ruler's unit) at a pixel of the ruler, and the pixel of a value.
    double valueAt(double rulerPixel) const;
    double pixelForValue(double value) const;
    // The distance between labelled ticks in ruler units at the current zoom.
    double labelStep() const;

    // The labels the ruler draws: each value's text and the rectangle it covers in the ruler
    // (along the ruler from its tick, on the other side of the tick where it would run off an
    // end). A label is only drawn whole: one that cannot fit at either side is left out.
    struct Label {
        QString text;
        double value;
        QRectF rect;
    };
    QList<Label> labels() const;
    QFont labelFont() const;

    // The mouse-following ruler line (a pixel of the ruler; negative hides it).
    void moveRulerline(double from, double to);
    double rulerLine() const { return line_; }

    static constexpr int kThickness = 20;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    VDLScrollView* scrollView_;
    Qt::Orientation orientation_;
    QString unitName_ = QStringLiteral("Millimeters");
    QString abbreviation_ = QStringLiteral("mm");
    double unitLength_ = 10.0;
    double line_ = -1;
};

class VDLScrollView : public QScrollArea {
    Q_OBJECT
public:
    explicit VDLScrollView(QWidget* parent = nullptr);
    ~VDLScrollView() override;

    // The design view becomes the scrolled widget.
    void setDesignView(VDLDesignView* view);
    VDLDesignView* designView() const;

    // Called by the design view when it gets a design: rulers in the unit of "MeasurementUnit",
    // shown or hidden after "ShowRulers".
    void setup();
    // Rulers follow the document view's current position and zoom.
    void adjustRulers();
    void showRulers();
    void hideRulers();
    bool rulersVisible() const { return rulersVisible_; }
    VDLRulerView* horizontalRulerView() const { return horizontalRuler_; }
    VDLRulerView* verticalRulerView() const { return verticalRuler_; }

    // The mouse moved to POS (relative to the scroll view): the ruler lines follow.
    void mouseMoved(QPointF pos);

    // Remembers the design point in the middle of the visible area: the point kept there when
    // the window or the rulers change the visible area's size.
    void noteCentre();

    // The visible part of the document view, in its widget pixels.
    QRectF visibleRect() const;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool viewportEvent(QEvent* event) override;

private:
    void layoutRulers();
    VDLRulerView* horizontalRuler_;
    VDLRulerView* verticalRuler_;
    bool rulersVisible_ = false;
    QPointF oldMouseLocation_{-1, -1};
    std::optional<VDLPoint> centre_;
    QSize centreViewport_;
};
