#include "VDLPrintOptions.h"

#include "VDLDefaults.h"
#include "VDLLocalization.h"

#include <QBoxLayout>
#include <QCheckBox>
#include <QGridLayout>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPushButton>

namespace {

struct Option {
    const char* key;       // user default
    const char* nameKey;   // localization key of the name
    const char* name;      // English name
    bool registeredValue;  // the value when the user never changed it
};

// The summary's order.
const Option kOptions[] = {
    {"PrintJumps", "PRINT_JUMPS", "Print Jumps", true},
    {"PrintGrid", "PRINT_GRID", "Print Grid", true},
    {"PrintHoop", "PRINT_HOOP", "Print Hoop", false},
    {"PrintCenter", "PRINT_CENTER", "Print Center", false},
    {"PrintFirst", "PRINT_FIRST", "Print First", false},
    {"PrintLast", "PRINT_LAST", "Print Last", false},
    {"PrintTemplate", "PRINT_TEMPLATE", "Print Template", false},
    {"PrintStructure", "PRINT_STRUCTURE", "Print Structure", false},
    {"PrintFastMode", "PRINT_FASTMODE", "Print FastMode", true},
};

// Print options live in the default table.
QString localized(const char* key, const char* english) {
    return QString::fromStdString(VDLLocalizedString(key, "Localizable", english));
}

bool currentValue(const Option& o) {
    const QVariant v = VDLDefaults::standard().value(QString::fromLatin1(o.key));
    return v.isValid() ? v.toBool() : o.registeredValue;
}

}  // namespace

VDLPrintOptions::VDLPrintOptions(QWidget* parent) : QWidget(parent) {
    setWindowTitle(QStringLiteral("Vardelle"));
    setObjectName(QStringLiteral("VDLPrintOptions"));
    auto* layout = new QVBoxLayout(this);
    for (const Option& o : kOptions) {
        auto* box = new QCheckBox(localized(o.nameKey, o.name), this);
        box->setObjectName(QString::fromLatin1(o.key));
        box->setChecked(currentValue(o));
        const QString key = QString::fromLatin1(o.key);
        connect(box, &QCheckBox::toggled, this, [key](bool on) { VDLDefaults::standard().setValue(key, on); });
        boxes_.append({key, box});
        layout->addWidget(box);
    }
    auto* preview = new QPushButton(localized("PRINT_PREVIEW", "Preview..."), this);
    preview->setObjectName(QStringLiteral("previewButton"));
    connect(preview, &QPushButton::clicked, this, &VDLPrintOptions::previewRequested);
    layout->addWidget(preview);
    layout->addStretch(1);
    // Another panel (the print dialog's and the preview's) or the preferences may change the
    // same defaults: follow them.
    connect(&VDLDefaults::standard(), &VDLDefaults::valueChanged, this, &VDLPrintOptions::syncFromDefaults);
}

void VDLPrintOptions::syncFromDefaults(const QString& key) {
    for (const Option& o : kOptions) {
        if (key != QLatin1String(o.key)) continue;
        if (QCheckBox* box = checkBoxForKey(key)) {
            const QSignalBlocker block(box);
            box->setChecked(currentValue(o));
        }
        emit optionsChanged();
    }
}

QCheckBox* VDLPrintOptions::checkBoxForKey(const QString& key) const {
    for (const auto& [k, box] : boxes_)
        if (k == key) return box;
    return nullptr;
}

QStringList VDLPrintOptions::keyPathsForValuesAffectingPreview() {
    return {QStringLiteral("PrintJumps"), QStringLiteral("PrintGrid"),      QStringLiteral("PrintCenter"),
            QStringLiteral("PrintHoop"),  QStringLiteral("PrintFastMode"),  QStringLiteral("PrintStructure"),
            QStringLiteral("PrintFirst"), QStringLiteral("PrintLast"),      QStringLiteral("PrintTemplate")};
}

QList<QPair<QString, QString>> VDLPrintOptions::localizedSummaryItems() {
    const QString enabled = localized("PRINT_ENABLED", "Enabled");
    const QString disabled = localized("PRINT_DISABLED", "Disabled");
    QList<QPair<QString, QString>> items;
    for (const Option& o : kOptions) {
        bool on = currentValue(o);
        if (QLatin1String(o.key) == QLatin1String("PrintFastMode")) on = !on;
        items.append({localized(o.nameKey, o.name), on ? enabled : disabled});
    }
    return items;
}

QPrintPreviewDialog* VDLPrintOptions::previewDialog(QPrinter* printer, QWidget* parent,
                                                    const std::function<void(QPrinter*)>& paint) {
    auto* dialog = new QPrintPreviewDialog(printer, parent);
    QObject::connect(dialog, &QPrintPreviewDialog::paintRequested, dialog, paint);
    auto* options = new VDLPrintOptions(dialog);
    options->findChild<QPushButton*>(QStringLiteral("previewButton"))->hide();
    // The preview widget and the panel side by side.
    auto* preview = dialog->findChild<QPrintPreviewWidget*>();
    auto* top = qobject_cast<QBoxLayout*>(dialog->layout());
    if (preview && top) {
        top->removeWidget(preview);
        auto* row = new QHBoxLayout;
        row->addWidget(preview, 1);
        row->addWidget(options);
        top->addLayout(row, 1);
        QObject::connect(options, &VDLPrintOptions::optionsChanged, preview, &QPrintPreviewWidget::updatePreview);
    } else if (top) {
        top->addWidget(options);
    }
    return dialog;
}
