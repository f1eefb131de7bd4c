#include "VDLAppController.h"
#include "VDLDocumentController.h"

int main(int argc, char** argv) {
    VDLDocumentController::prepareApplication();
    return VDLAppController::run(argc, argv);
}
