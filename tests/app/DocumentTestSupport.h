#pragma once
// Shared set-up of the document tests: designs written to a temporary folder with our own
// writers, documents opened through the document controller as the user would, and a clean
// slate (no windows, default settings) after every test.
#include "TestSupport.h"
#include "VDLDefaults.h"
#include "VDLDocument.h"
#include "VDLDocumentController.h"

#include <QApplication>
#include <QFileInfo>
#include <QMainWindow>
#include <QMessageBox>
#include <QUndoStack>

#include <gtest/gtest.h>

#include <string>

class DocumentTest : public ::testing::Test {
protected:
    void SetUp() override {
        // The write warning is tested on its own; elsewhere it would stay open over the tests.
        VDLDefaults::standard().setValue(QStringLiteral("AlertWriteToURL"), true);
        VDLDefaults::standard().setValue(QStringLiteral("DefaultThreads"), 0);
    }
    void TearDown() override {
        closeAlerts();
        VDLDocumentController::sharedDocumentController()->closeAllDocumentsForTesting();
        VDLDefaults::standard().removeValue(QStringLiteral("AlertWriteToURL"));
        VDLDefaults::standard().removeValue(QStringLiteral("DefaultThreads"));
        QApplication::processEvents();
    }

    static VDLDocumentController* controller() { return VDLDocumentController::sharedDocumentController(); }

    // A bundled sample copied into the test's folder (so saving never touches the source tree).
    QString sample(const std::string& name) {
        const std::string target = dir.file(name);
        writeBytes(target, readBytes(std::string(VARDELLE_SOURCE_DIR) + "/resources/samples/" + name));
        return QString::fromStdString(target);
    }

    // Writes DESIGN as NAME with our writer.
    QString write(VDLDesign design, const std::string& name) {
        VDLError error;
        EXPECT_TRUE(design.exportDesignToURL(dir.url(name), &error)) << error.message();
        return QString::fromStdString(dir.file(name));
    }

    VDLDocument* open(const QString& path) {
        VDLError error;
        VDLDocument* doc = controller()->openDocumentWithContentsOfURL(path, &error, true);
        EXPECT_NE(doc, nullptr) << error.message();
        return doc;
    }

    static QList<QMessageBox*> alerts(const char* objectName) {
        QList<QMessageBox*> found;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible() && box->objectName() == objectName)
                found << box;
        for (VDLDocument* d : controller()->documents())
            for (QMessageBox* box : d->window()->findChildren<QMessageBox*>(QString::fromLatin1(objectName)))
                if (box->isVisible() && !found.contains(box)) found << box;
        return found;
    }
    static void closeAlerts() {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) box->close();
        for (VDLDocument* d : controller()->documents())
            for (QMessageBox* box : d->window()->findChildren<QMessageBox*>())
                if (box->isVisible()) box->close();
        QApplication::processEvents();
    }

    TempDir dir;
};

// A square of side SIDE design units, stitched in steps of STEP, in N_BLOCKS colour blocks.
inline VDLDesign squareDesign(float side, float step = 20, int blocks = 2, const std::string& type = "DST") {
    std::vector<VDLStitch> stitches;
    stitches.emplace_back(-side / 2, -side / 2, true, false);
    const int perSide = std::max(1, int(side / step));
    const float d = side / float(perSide);
    int block = 0;
    for (int k = 0; k < 4; ++k) {
        const float dx[4] = {d, 0, -d, 0}, dy[4] = {0, d, 0, -d};
        for (int i = 0; i < perSide; ++i) stitches.emplace_back(dx[k], dy[k], false, false);
        if (block + 1 < blocks && k < 3) {
            stitches.emplace_back(0, 0, false, true);
            ++block;
        }
    }
    return makeDesign(stitches, type);
}
