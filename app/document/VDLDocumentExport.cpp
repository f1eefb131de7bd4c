// Export to machine: the export sheet on the document window. The sheet works on a copy of the
// design taken when it opens; its alerts are the document's own.
#include "VDLDocument.h"
#include "VDLExportDialog.h"

#include <QMainWindow>

VDLExportDialog* VDLDocument::exportSheet() const { return exportSheet_.data(); }

void VDLDocument::exportDesignDialog(QObject*) {
    if (exportSheet_) {
        exportSheet_->raise();
        exportSheet_->activateWindow();
        return;
    }
    auto* sheet = new VDLExportDialog(design_, window());
    sheet->setAlertHandler([this](const QString& message, const QString& info, int style) {
        anyAlertDisplay(message, info, style);
    });
    connect(sheet, &VDLExportDialog::exportFinished, sheet, &QObject::deleteLater);
    exportSheet_ = sheet;
    sheet->exportDesignDialog();
}
