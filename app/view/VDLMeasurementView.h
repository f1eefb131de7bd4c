#pragma once
// The overlay shown while the user measures a distance on the canvas: a line from the start
// point, a target at the start, and a label box at the end point with the two texts
// "dx: … dy: …" and "Distance: …" in the user's measurement unit.
#include "VDLGeometry.h"

#include <QString>
#include <QWidget>

class VDLDesignView;

class VDLMeasurementView : public QWidget {
    Q_OBJECT
public:
    // DRAWUNIT: the width of one screen pixel in design units; sizes of the marks scale with it.
    VDLMeasurementView(VDLDesignView* parent, double drawUnit);

    // Measures from A to B (design units): builds the texts, places the overlay over both points
    // and the label box, and repaints.
    void measureFromPoint(VDLPoint a, VDLPoint b);

    QString firstLine() const { return firstLine_; }
    QString lastLine() const { return lastLine_; }
    VDLPoint startPoint() const { return startPoint_; }
    VDLPoint endPoint() const { return endPoint_; }
    double drawUnit() const { return drawUnit_; }

    // Re-places the overlay after the canvas zoomed or scrolled.
    void relayout();
    // The label box in canvas widget coordinates (always inside the visible part of the canvas).
    QRectF labelRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QRectF labelBox(QPointF end) const;
    VDLDesignView* canvas_;
    double drawUnit_;
    double radius_, edge_, arrow_, lineHeight_, lineWidth_;
    QString firstLine_, lastLine_;
    VDLPoint startPoint_, endPoint_;
};
