#pragma once
// The four small window-modal dialogs of the editing commands: move, resize, free rotation and
// basting. Each collects its numbers; the document decides on OK what to do with them. The rules
// that decide whether a value changes anything are static functions, so they hold without a
// window too.
#include <QDialog>

#include <optional>

class QDoubleSpinBox;
class QSpinBox;

class VDLEditDialog : public QDialog {
    Q_OBJECT
public:
    enum class Kind { Move, Resize, Rotate, Basting };

    // A window-modal dialog on PARENT (shown with open()); the fields start at the given values.
    VDLEditDialog(Kind kind, QWidget* parent);
    Kind kind() const { return kind_; }

    // Move: millimetres; steppers step by stepIncrement(unit).
    void setMove(double x, double y);
    double moveX() const;
    double moveY() const;
    // Resize: a factor, 1.0 = 100 % (the field shows percent).
    void setResizePercent(double factor);
    double resizePercent() const;
    // Rotation: whole degrees, clockwise.
    void setRotateDegree(int degrees);
    int rotateDegree() const;
    // Basting: length and distance in millimetres.
    void setBasting(double length, double distance);
    double bastingLength() const;
    double bastingDistance() const;

    // Stepper increment of the millimetre fields for measurement unit UNIT (0 mm, 1 and 2 inch
    // kinds): 1.016 mm (0.04 in) for 1, 1.5875 mm (1/16 in) for 2, 1 mm otherwise.
    static double stepIncrement(int unit);
    // The move in design units (0.1 mm), or nothing for 0/0.
    static std::optional<std::pair<double, double>> moveVector(double xMM, double yMM);
    // The factor, or nothing when it rounds to 100 %.
    static std::optional<float> resizeFactor(double factor);
    // The counter-clockwise degrees (1..359) the model rotates by for CLOCKWISE degrees of the
    // dialog, or nothing for a multiple of 360.
    static std::optional<int> modelDegrees(int clockwise);
    // Whether basting with this length and distance does anything (length > 0, distance >= 0).
    static bool bastingAccepted(double lengthMM, double distanceMM);

private:
    Kind kind_;
    QDoubleSpinBox* first_ = nullptr;
    QDoubleSpinBox* second_ = nullptr;
    QSpinBox* degrees_ = nullptr;
};
