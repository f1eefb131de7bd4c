#include "VDLAppController.h"

#include "VDLDefaults.h"

#include <QApplication>

void VDLAppController::registerDefaults() {
    VDLDefaults::standard().registerDefaults({});
}

int VDLAppController::run(int argc, char** argv) {
    QApplication app(argc, argv);
    registerDefaults();
    return 0;
}
