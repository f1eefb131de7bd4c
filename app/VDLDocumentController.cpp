#include "VDLDocumentController.h"
#include "VDLDocument.h"
VDLDocumentController* VDLDocumentController::sharedDocumentController() { static auto* c = new VDLDocumentController(); return c; }
QStringList VDLDocumentController::writableExtensions() { return {"jef","pes","pec","exp","dst","pcs"}; }
bool VDLDocumentController::isWritableExtension(const QString& e) { return writableExtensions().contains(e.toLower()); }
QStringList VDLDocumentController::saveFilters() { return {}; }
void VDLDocumentController::addDocument(VDLDocument* d) { documents_.append(d); }
void VDLDocumentController::removeDocument(VDLDocument* d) { documents_.removeAll(d); }
bool VDLDocumentController::eventFilter(QObject* o, QEvent* e) { return QObject::eventFilter(o, e); }
void VDLDocumentController::openDocument(QObject*) {}
