#include "VDLPreferenceController.h"

#include "VDLAppController.h"
#include "VDLDefaults.h"
#include "VDLNotificationCenter.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

namespace {
// Defaults whose change the open documents must show at once.
bool isDisplayKey(const QString& key) {
    static const QStringList keys{"ShowJumps", "ShowGrid", "ShowCenter", "ShowHoop", "ShowStructure",
                                  "ShowFirst", "ShowLast", "DrawFastMode"};
    return keys.contains(key);
}
}  // namespace

VDLPreferenceController::VDLPreferenceController(QObject* parent) : QObject(parent) {
    windowDidLoad();
    connect(&VDLDefaults::standard(), &VDLDefaults::valueChanged, this, &VDLPreferenceController::syncFromDefaults);
}

VDLPreferenceController::~VDLPreferenceController() { delete window_; }

QCheckBox* VDLPreferenceController::bind(QWidget* parent, const QString& title, const QString& key, bool inverted) {
    auto* box = new QCheckBox(title, parent);
    box->setObjectName(key);
    box->setChecked(VDLDefaults::standard().boolForKey(key) != inverted);
    checkBoxes_.insert(key, box);
    inverted_.insert(key, inverted);
    connect(box, &QCheckBox::toggled, this, [key, inverted](bool on) {
        VDLDefaults& d = VDLDefaults::standard();
        const bool value = on != inverted;
        if (d.boolForKey(key) == value && d.value(key).isValid()) {
            // Unchanged (a sync from the defaults): nothing to write or announce.
            return;
        }
        d.setValue(key, value);
        if (isDisplayKey(key)) VDLNotificationCenter::defaultCenter().post("VardelleUpdateDisplay");
        else if (key == QLatin1String("ShowRulers"))
            VDLNotificationCenter::defaultCenter().post(value ? "VardelleShowRulers" : "VardelleHideRulers");
    });
    return box;
}

void VDLPreferenceController::windowDidLoad() {
    auto* w = new QWidget(nullptr, Qt::Window);
    window_ = w;
    w->setObjectName("VDLPreferenceWindow");
    w->setWindowTitle(tr("Preferences"));
    w->setAttribute(Qt::WA_DeleteOnClose, false);
    auto* layout = new QVBoxLayout(w);

    // Design view
    auto* view = new QGroupBox(tr("Design View"), w);
    auto* viewLayout = new QVBoxLayout(view);
    auto* colorRow = new QHBoxLayout;
    colorRow->addWidget(new QLabel(tr("Background color:"), view));
    colorWell_ = new QPushButton(view);
    colorWell_->setObjectName("colorWell");
    colorWell_->setFixedSize(56, 26);
    colorWell_->setIconSize(QSize(44, 16));
    colorWell_->setToolTip(tr("Choose the color behind the design"));
    connect(colorWell_, &QPushButton::clicked, this, &VDLPreferenceController::chooseBackgroundColor);
    colorRow->addWidget(colorWell_);
    auto* reset = new QPushButton(tr("Reset"), view);
    reset->setObjectName("resetBackgroundColor");
    connect(reset, &QPushButton::clicked, this, &VDLPreferenceController::resetBackgroundColor);
    colorRow->addWidget(reset);
    colorRow->addStretch(1);
    viewLayout->addLayout(colorRow);
    auto* grid = new QGridLayout;
    const struct { const char* title; const char* key; } boxes[] = {
        {"Show jump stitches", "ShowJumps"}, {"Show grid", "ShowGrid"},
        {"Show center", "ShowCenter"}, {"Show hoop", "ShowHoop"},
        {"Show stitch structure", "ShowStructure"}, {"Show rulers", "ShowRulers"},
        {"Mark first stitch", "ShowFirst"}, {"Mark last stitch", "ShowLast"},
        {"Fast drawing (flat, no 3D shading)", "DrawFastMode"}};
    int i = 0;
    for (const auto& b : boxes) {
        grid->addWidget(bind(view, tr(b.title), b.key), i / 2, i % 2);
        ++i;
    }
    viewLayout->addLayout(grid);
    layout->addWidget(view);

    // Units and palettes
    auto* general = new QGroupBox(tr("General"), w);
    auto* form = new QFormLayout(general);
    unitPopup_ = new QComboBox(general);
    unitPopup_->setObjectName("unitPopup");
    unitPopup_->addItems({tr("Millimetres"), tr("Inches (decimal)"), tr("Inches (fractions)")});
    const int unit = VDLDefaults::standard().integerForKey("MeasurementUnit");
    unitPopup_->setCurrentIndex(unit >= 0 && unit <= 2 ? unit : 0);
    connect(unitPopup_, &QComboBox::activated, this, &VDLPreferenceController::changeUnit);
    form->addRow(tr("Measurement unit:"), unitPopup_);
    threadsPopup_ = new QComboBox(general);
    threadsPopup_->setObjectName("defaultThreadsPopup");
    threadsPopup_->addItem(tr("None (keep the file's colors)"));
    threadsPopup_->addItems(VDLAppController::threadMenuPalettes());
    const int threads = VDLDefaults::standard().integerForKey("DefaultThreads");
    threadsPopup_->setCurrentIndex(threads >= 0 && threads < threadsPopup_->count() ? threads : 0);
    connect(threadsPopup_, &QComboBox::activated, this,
            [](int index) { VDLDefaults::standard().setValue("DefaultThreads", index); });
    form->addRow(tr("Thread palette for opened designs:"), threadsPopup_);
    layout->addWidget(general);

    // Start-up and alerts
    auto* startup = new QGroupBox(tr("Start-up and Alerts"), w);
    auto* startupLayout = new QVBoxLayout(startup);
    startupLayout->addWidget(bind(startup, tr("Check for a newer version once a week"), "CheckForUpdates"));
    startupLayout->addWidget(bind(startup, tr("Start with an empty window instead of the Open dialog"), "SkipOpenDialog"));
    startupLayout->addWidget(bind(startup, tr("Remind me to check hoop and size after saving"), "AlertWriteToURL", true));
    startupLayout->addWidget(bind(startup, tr("Ask before resetting a palette"), "AlertReset", true));
    layout->addWidget(startup);
    layout->addStretch(1);

    setWellColor(VDLAppController::backgroundColor());
}

void VDLPreferenceController::showWindow() {
    if (!window_) windowDidLoad();
    window_->show();
    window_->raise();
    window_->activateWindow();
}

QColor VDLPreferenceController::wellColor() const { return wellColor_; }

void VDLPreferenceController::setWellColor(const QColor& color) {
    wellColor_ = color;
    if (!colorWell_) return;
    QPixmap swatch(colorWell_->iconSize());
    swatch.fill(color);
    QPainter frame(&swatch);
    frame.setPen(QColor(96, 96, 96));
    frame.drawRect(swatch.rect().adjusted(0, 0, -1, -1));
    frame.end();
    colorWell_->setIcon(QIcon(swatch));
}

void VDLPreferenceController::chooseBackgroundColor() {
    const QColor chosen = QColorDialog::getColor(wellColor_, window_, tr("Background Color"));
    if (chosen.isValid()) updateBackgroundColor(chosen);
}

void VDLPreferenceController::updateBackgroundColor(const QColor& color) {
    const QColor c = color.isValid() ? color : wellColor_;
    setWellColor(c);
    VDLDefaults::standard().setValue("BackgroundColor", VDLAppController::archivedColor(c));
    VDLNotificationCenter::defaultCenter().post("VardelleUpdateDisplay");
}

void VDLPreferenceController::resetBackgroundColor() {
    setWellColor(VDLAppController::windowBackgroundColor());
    VDLDefaults::standard().removeValue("BackgroundColor");
    VDLNotificationCenter::defaultCenter().post("VardelleUpdateDisplay");
}

void VDLPreferenceController::changeUnit(int index) {
    VDLDefaults& d = VDLDefaults::standard();
    if (index < 0 || index > 2) return;
    d.setValue("MeasurementUnit", index);
    if (!restartSheet_) {
        auto* sheet = new QMessageBox(QMessageBox::Information, tr("Measurement Unit"),
                                      tr("The new unit applies after Vardelle restarts."), QMessageBox::Ok, window_);
        sheet->setInformativeText(tr("Rulers, grid and measurements keep the current unit until then."));
        sheet->setWindowModality(Qt::WindowModal);
        sheet->setObjectName("restartSheet");
        connect(sheet, &QMessageBox::finished, this, &VDLPreferenceController::restartCanceled);
        restartSheet_ = sheet;
    }
    restartSheet_->open();
}

void VDLPreferenceController::restartCanceled() {
    if (restartSheet_) restartSheet_->hide();
}

void VDLPreferenceController::syncFromDefaults(const QString& key) {
    VDLDefaults& d = VDLDefaults::standard();
    if (QCheckBox* box = checkBoxes_.value(key)) {
        QSignalBlocker block(box);
        box->setChecked(d.boolForKey(key) != inverted_.value(key));
    } else if (key == QLatin1String("DefaultThreads") && threadsPopup_) {
        const int n = d.integerForKey(key);
        threadsPopup_->setCurrentIndex(n >= 0 && n < threadsPopup_->count() ? n : 0);
    } else if (key == QLatin1String("MeasurementUnit") && unitPopup_) {
        const int n = d.integerForKey(key);
        QSignalBlocker block(unitPopup_);
        unitPopup_->setCurrentIndex(n >= 0 && n <= 2 ? n : 0);
    } else if (key == QLatin1String("BackgroundColor")) {
        setWellColor(VDLAppController::backgroundColor());
    }
}
