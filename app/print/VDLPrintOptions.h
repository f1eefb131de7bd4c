#pragma once
// The print options: nine check boxes bound to the "Print..." user defaults, shown as an
// option tab of the print dialog and beside the print preview. Every change is stored at
// once and announced with optionsChanged(), so an open preview redraws with it.
#include <QList>
#include <functional>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QWidget>

class QCheckBox;
class QPrinter;
class QPrintPreviewDialog;

class VDLPrintOptions : public QWidget {
    Q_OBJECT
public:
    explicit VDLPrintOptions(QWidget* parent = nullptr);

    // The defaults whose values change the preview, in the panel's order.
    static QStringList keyPathsForValuesAffectingPreview();
    // Name and "Enabled"/"Disabled" for the print dialog's summary, nine items in order; Print
    // FastMode reads Enabled when fast mode is OFF (it names the shaded drawing it turns off).
    static QList<QPair<QString, QString>> localizedSummaryItems();

    QCheckBox* checkBoxForKey(const QString& key) const;

    // A print preview of the page on PRINTER with this kind of panel beside it; PAINT draws the
    // page and runs again whenever an option changes. The dialog is owned by PARENT.
    static QPrintPreviewDialog* previewDialog(QPrinter* printer, QWidget* parent,
                                              const std::function<void(QPrinter*)>& paint);

signals:
    void optionsChanged();
    // The "Preview..." button of the panel in the print dialog.
    void previewRequested();

private:
    void syncFromDefaults(const QString& key);
    QList<QPair<QString, QCheckBox*>> boxes_;
};
