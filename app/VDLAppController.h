#pragma once
// The application's delegate: registered defaults, launch steps, the shared menus.
#include <QObject>

class VDLAppController : public QObject {
    Q_OBJECT
public:
    // Registers the defaults and the measurement transformer; safe to call more than once.
    static void registerDefaults();
    // The whole application: QApplication, controller, files from the command line, event loop.
    static int run(int argc, char** argv);
};
