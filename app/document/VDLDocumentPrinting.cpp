// Printing of a document: File > Print (the print dialog with the print options as a tab, and
// a preview reached from it) and File > Export as PDF. The page itself is VDLPrintView's.
#include "VDLDocument.h"
#include "VDLError.h"
#include "VDLPrintOptions.h"
#include "VDLPrintView.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMainWindow>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrinter>

#include <memory>

VDLDesign VDLDocument::printableDesign() const {
    VDLDesign design = myDesign();
    if (design.designName().empty()) design.setDesignName(displayName().toStdString());
    return design;
}

void VDLDocument::printDocument(QObject*) {
    VDLPrintView view(printableDesign());
    QPrinter printer(QPrinter::HighResolution);
    printer.setDocName(displayName());
    view.knowsPageRange(printer);

    QPrintDialog dialog(&printer, window());
    dialog.setWindowTitle(tr("Print"));
    auto* options = new VDLPrintOptions;
    options->setWindowTitle(tr("Vardelle"));
    dialog.setOptionTabs({options});
    QObject::connect(options, &VDLPrintOptions::previewRequested, &dialog, [&] {
        std::unique_ptr<QPrintPreviewDialog> preview(VDLPrintOptions::previewDialog(
            &printer, &dialog, [&view](QPrinter* p) { view.print(*p, VDLPrintSettings::fromDefaults()); }));
        preview->exec();
    });
    if (dialog.exec() != QDialog::Accepted) return;
    if (!view.print(printer, VDLPrintSettings::fromDefaults()))
        anyAlertDisplay(tr("The design could not be printed."), tr("The printer did not accept the page."), 0);
}

bool VDLDocument::exportPDFToURL(const QString& path, VDLError* error) {
    VDLPrintView view(printableDesign());
    return view.writePDF(path, VDLPrintSettings::fromDefaults(), error);
}

void VDLDocument::exportPDF(QObject*) {
    const QFileInfo file(fileName());
    const QString folder = fileName().isEmpty() ? QDir::homePath() : file.absolutePath();
    const QString suggested = folder + QLatin1Char('/') + (fileName().isEmpty() ? displayName() : file.completeBaseName()) +
                              QStringLiteral(".pdf");
    QString path = QFileDialog::getSaveFileName(window(), tr("Export as PDF"), suggested, tr("PDF (*.pdf)"));
    if (path.isEmpty()) return;
    if (QFileInfo(path).suffix().isEmpty()) path += QStringLiteral(".pdf");
    VDLError error;
    if (!exportPDFToURL(path, &error))
        anyAlertDisplay(tr("The PDF could not be written."), QString::fromStdString(error.message()), 0);
}
