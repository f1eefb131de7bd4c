// The application tests drive the real widgets on Qt's offscreen platform. Each test process
// gets its own empty configuration and state folders, so the user's preferences are never read
// or written and parallel test processes do not share a preferences file.
#include "VDLAppController.h"
#include "VDLDefaults.h"
#include "VDLPlayerController.h"

#include <QApplication>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QTemporaryDir home;
    setenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8().constData(), 1);
    setenv("XDG_STATE_HOME", (home.path() + "/state").toUtf8().constData(), 1);
    setenv("XDG_DATA_HOME", (home.path() + "/data").toUtf8().constData(), 1);
    QApplication app(argc, argv);
    VDLDefaults::standard().reload();
    VDLAppController::registerDefaults();
    const int rc = RUN_ALL_TESTS();
    VDLPlayerController::waitForSoundToLoad();  // or the process may hang on its way out
    return rc;
}
