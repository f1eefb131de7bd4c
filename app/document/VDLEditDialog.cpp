#include "VDLEditDialog.h"

#include "VDLDefaults.h"
#include "VDLLocalization.h"
#include "VDLValueTransformer.h"

#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFontMetrics>
#include <QFormLayout>
#include <QRegularExpression>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {
QString uiText(const char* key, const char* english) {
    return QString::fromStdString(VDLLocalizedString(key, "VDLDocument", english));
}

// A length field: its value is always millimetres; it shows and reads the length in the
// measurement unit the application was launched with (decimal or fractional inches through the
// value transformer), and its stepper steps by stepIncrement of that unit.
class VDLLengthField : public QDoubleSpinBox {
public:
    VDLLengthField(QWidget* parent, double minimum, int unit) : QDoubleSpinBox(parent), unit_(unit) {
        setRange(minimum, 10000.0);
        setDecimals(unit_ == 0 ? 2 : 4);  // 1.5875 mm (1/16 in) is kept exactly
        setSingleStep(VDLEditDialog::stepIncrement(unit_));
        if (unit_ == 0) setSuffix(QStringLiteral(" mm"));
        setMinimumWidth(120);
        setAccelerated(true);
    }

protected:
    QString textFromValue(double mm) const override {
        if (unit_ == 0) return QDoubleSpinBox::textFromValue(mm);
        return QString::fromStdString(VDLValueTransformer().transformedValue(mm, unit_));
    }
    double valueFromText(const QString& text) const override {
        if (unit_ == 0) return QDoubleSpinBox::valueFromText(text);
        return VDLValueTransformer().reverseTransformedValue(text.trimmed().toStdString(), unit_);
    }
    QValidator::State validate(QString& text, int& pos) const override {
        if (unit_ == 0) return QDoubleSpinBox::validate(text, pos);
        // Numbers, fractions ("1 1/2"), the inch mark or "in", and "mm" for a metric entry.
        static const QRegularExpression allowed(QStringLiteral("^[-+0-9.,/ \"inm]*$"));
        if (!allowed.match(text).hasMatch()) return QValidator::Invalid;
        if (!text.contains(QRegularExpression(QStringLiteral("[0-9]")))) return QValidator::Intermediate;
        if (text.trimmed().endsWith(QLatin1Char('/'))) return QValidator::Intermediate;
        return QValidator::Acceptable;
    }

private:
    int unit_;
};

QDoubleSpinBox* millimetreField(QWidget* parent, double minimum, int unit) {
    return new VDLLengthField(parent, minimum, unit);
}
}  // namespace

double VDLEditDialog::stepIncrement(int unit) {
    if (unit == 1) return 1.016;
    if (unit == 2) return 1.5875;
    return 1.0;
}

std::optional<std::pair<double, double>> VDLEditDialog::moveVector(double xMM, double yMM) {
    if (xMM == 0.0 && yMM == 0.0) return std::nullopt;
    return std::make_pair(xMM * 10.0, yMM * 10.0);
}

std::optional<float> VDLEditDialog::resizeFactor(double factor) {
    if (!std::isfinite(factor) || std::lround(factor * 100.0) == 100) return std::nullopt;
    return float(factor);
}

std::optional<int> VDLEditDialog::modelDegrees(int clockwise) {
    int r = (-(clockwise % 360)) % 360;
    if (r < 0) r += 360;
    if (r == 0) return std::nullopt;
    return r;
}

bool VDLEditDialog::bastingAccepted(double lengthMM, double distanceMM) { return lengthMM > 0 && distanceMM >= 0; }

VDLEditDialog::VDLEditDialog(Kind kind, QWidget* parent) : QDialog(parent), kind_(kind) {
    setWindowModality(Qt::WindowModal);
    setAttribute(Qt::WA_DeleteOnClose, false);
    auto* form = new QFormLayout;
    // The unit the application runs with (the one the info lines and rulers show).
    const int unit = int(VDLValueTransformer::measurementUnit());
    switch (kind) {
    case Kind::Move:
        setWindowTitle(uiText("MOVE_SHEET_TITLE", "Move Stitches"));
        first_ = millimetreField(this, -10000.0, unit);
        second_ = millimetreField(this, -10000.0, unit);
        form->addRow(uiText("MOVE_SHEET_X", "Left/right:"), first_);
        form->addRow(uiText("MOVE_SHEET_Y", "Up/down:"), second_);
        break;
    case Kind::Resize:
        setWindowTitle(uiText("RESIZE_SHEET_TITLE", "Resize Stitches"));
        first_ = new QDoubleSpinBox(this);
        first_->setRange(1.0, 1000.0);
        first_->setDecimals(1);
        first_->setSingleStep(1.0);
        first_->setSuffix(" %");
        form->addRow(uiText("RESIZE_SHEET_PERCENT", "Size:"), first_);
        break;
    case Kind::Rotate:
        setWindowTitle(uiText("ROTATE_SHEET_TITLE", "Rotate Stitches"));
        degrees_ = new QSpinBox(this);
        degrees_->setRange(-3600, 3600);
        degrees_->setSuffix(QStringLiteral("°"));
        form->addRow(uiText("ROTATE_SHEET_DEGREES", "Degrees (clockwise):"), degrees_);
        break;
    case Kind::Basting:
        setWindowTitle(uiText("BASTING_SHEET_TITLE", "Add Basting"));
        first_ = millimetreField(this, -10000.0, unit);
        second_ = millimetreField(this, -10000.0, unit);
        form->addRow(uiText("BASTING_SHEET_LENGTH", "Stitch length:"), first_);
        form->addRow(uiText("BASTING_SHEET_DISTANCE", "Distance:"), second_);
        break;
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
    // Wide enough for the title the window manager shows ("Move Stitches — Vardelle") beside
    // its buttons, so the title is never cut.
    const QString shown = windowTitle() + QStringLiteral(" — ") + QStringLiteral("Vardelle");
    setMinimumWidth(std::max(layout->minimumSize().width(), QFontMetrics(font()).horizontalAdvance(shown) + 160));
}

void VDLEditDialog::setMove(double x, double y) {
    if (kind_ != Kind::Move) return;
    first_->setValue(x);
    second_->setValue(y);
}
double VDLEditDialog::moveX() const { return kind_ == Kind::Move ? first_->value() : 0.0; }
double VDLEditDialog::moveY() const { return kind_ == Kind::Move ? second_->value() : 0.0; }

void VDLEditDialog::setResizePercent(double factor) {
    if (kind_ == Kind::Resize) first_->setValue(factor * 100.0);
}
double VDLEditDialog::resizePercent() const { return kind_ == Kind::Resize ? first_->value() / 100.0 : 1.0; }

void VDLEditDialog::setRotateDegree(int degrees) {
    if (kind_ == Kind::Rotate) degrees_->setValue(degrees);
}
int VDLEditDialog::rotateDegree() const { return kind_ == Kind::Rotate ? degrees_->value() : 0; }

void VDLEditDialog::setBasting(double length, double distance) {
    if (kind_ != Kind::Basting) return;
    first_->setValue(length);
    second_->setValue(distance);
}
double VDLEditDialog::bastingLength() const { return kind_ == Kind::Basting ? first_->value() : 0.0; }
double VDLEditDialog::bastingDistance() const { return kind_ == Kind::Basting ? second_->value() : 0.0; }
