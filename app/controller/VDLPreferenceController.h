#pragma once
// The preferences window. Most controls are bound to the user defaults: changing one writes the
// default at once, and a default changed elsewhere (the View menu) updates the control. The
// controller itself handles the background colour of the design view and the change of unit.
#include <QHash>
#include <QObject>
#include <QMessageBox>
#include <QPointer>

class QCheckBox;
class QComboBox;
class QMessageBox;
class QPushButton;
class QWidget;

class VDLPreferenceController : public QObject {
    Q_OBJECT
public:
    explicit VDLPreferenceController(QObject* parent = nullptr);
    ~VDLPreferenceController() override;

    QWidget* window() const { return window_; }
    void showWindow();

    // Controls, for the window description's bindings and tests.
    QPushButton* colorWell() const { return colorWell_; }
    QComboBox* unitPopup() const { return unitPopup_; }
    QComboBox* defaultThreadsPopup() const { return threadsPopup_; }
    QCheckBox* checkBox(const QString& key) const { return checkBoxes_.value(key); }
    QStringList boundKeys() const { return checkBoxes_.keys(); }
    // The notice shown after the unit changed (while it is open).
    QMessageBox* restartSheet() const { return restartSheet_; }

    // The colour the well shows.
    QColor wellColor() const;

public slots:
    // Stores COLOR (or, without an argument, the well's colour) in "BackgroundColor" and posts
    // "VardelleUpdateDisplay".
    void updateBackgroundColor(const QColor& color);
    // The well goes back to the window background colour, "BackgroundColor" is removed (the
    // registered default applies again), "VardelleUpdateDisplay" is posted.
    void resetBackgroundColor();
    // Writes the unit of the popup and shows the restart notice on the preferences window.
    void changeUnit(int index);
    void restartCanceled();
    // Opens the colour dialog on the well's colour.
    void chooseBackgroundColor();

private:
    void windowDidLoad();
    QCheckBox* bind(QWidget* parent, const QString& title, const QString& key, bool inverted = false);
    void syncFromDefaults(const QString& key);
    void setWellColor(const QColor& color);

    QPointer<QWidget> window_;
    QPushButton* colorWell_ = nullptr;
    QComboBox* unitPopup_ = nullptr;
    QComboBox* threadsPopup_ = nullptr;
    QHash<QString, QCheckBox*> checkBoxes_;
    QHash<QString, bool> inverted_;
    QPointer<QMessageBox> restartSheet_;
    QColor wellColor_;
};
