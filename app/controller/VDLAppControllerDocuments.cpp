// How the application controller reaches the documents: the shared document controller
// installs itself (current document, open panel, opening files, window state at quit); the
// controller follows its changes of current document to enable the menu items.
#include "VDLAppController.h"

#include "VDLDocument.h"
#include "VDLDocumentController.h"

void VDLAppController::useDocumentController() {
    VDLDocumentController* documents = VDLDocumentController::sharedDocumentController();
    connect(documents, &VDLDocumentController::currentDocumentChanged, this, &VDLAppController::validateActions,
            Qt::UniqueConnection);
    connect(documents, &VDLDocumentController::documentsChanged, this, &VDLAppController::validateActions,
            Qt::UniqueConnection);
}
