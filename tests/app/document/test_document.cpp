// The document window as the user meets it: opening, the info lines, zoom and title, the
// toolbar, menu validation, saving (PES guard, write warning, failures) and the default palette.
#include "DocumentTestSupport.h"

#include "VDLAppController.h"
#include "VDLDesignView.h"
#include "VDLValueTransformer.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QRegularExpression>

namespace {

QStringList comboItems(QComboBox* box) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
    return items;
}

QString transformed(double mm) { return QString::fromStdString(VDLValueTransformer().transformedValue(mm)); }

}  // namespace

TEST_F(DocumentTest, NewWindowOffersZoomStepsKeepsMinimumSizeAndNamesTheZoomInItsTitle) {
    VDLDocument* doc = open(sample("flower.dst"));
    ASSERT_NE(doc, nullptr);
    EXPECT_EQ(comboItems(doc->scalingBox()),
              QStringList({"10", "25", "50", "75", "100", "200", "300", "400", "500", "750", "1000", "1500"}));

    QMainWindow* w = doc->window();
    EXPECT_TRUE(w->isVisible());
    w->resize(300, 200);
    QApplication::processEvents();
    EXPECT_GE(w->width(), 700);
    EXPECT_GE(w->height(), 451);
    EXPECT_EQ(w->minimumSize(), QSize(700, 451));

    EXPECT_EQ(doc->viewScaling(), 100.0f);
    EXPECT_EQ(doc->title(), "flower.dst");
    doc->setViewScaling(125);
    EXPECT_EQ(doc->title(), "flower.dst (125%)");
    EXPECT_EQ(w->windowTitle(), "flower.dst (125%)[*]");
    EXPECT_FALSE(w->isWindowModified());
    EXPECT_NEAR(doc->patternView()->scale(), 1.25, 1e-4);

    // Resizing keeps the zoom relative to the window and the design point in the middle.
    doc->setViewScaling(300);
    doc->patternView()->scrollPointToCentre(VDLPoint{120, -80});
    QApplication::processEvents();
    const VDLPoint middle = doc->patternView()->centredPointInDocView();
    w->resize(1100, 850);
    QApplication::processEvents();
    EXPECT_EQ(doc->viewScaling(), 300.0f);
    EXPECT_NEAR(doc->patternView()->scale(), 3.0, 1e-3);
    EXPECT_NEAR(doc->patternView()->centredPointInDocView().x, middle.x, 2.0);
    EXPECT_NEAR(doc->patternView()->centredPointInDocView().y, middle.y, 2.0);

    // Typing a value into the scaling box zooms.
    doc->scalingBox()->lineEdit()->setText(QStringLiteral("250"));
    emit doc->scalingBox()->lineEdit()->editingFinished();
    EXPECT_EQ(doc->viewScaling(), 250.0f);
    EXPECT_EQ(doc->title(), "flower.dst (250%)");
}

TEST_F(DocumentTest, ZoomStopsAtTheCanvasLimitsAndIgnoresChangesBelowATenThousandth) {
    VDLDocument* doc = open(sample("flower.dst"));
    ASSERT_NE(doc, nullptr);
    doc->setViewScaling(1490);
    doc->zoomIn(nullptr);
    EXPECT_EQ(doc->viewScaling(), 1500.0f);
    doc->zoomIn(nullptr);
    EXPECT_EQ(doc->viewScaling(), 1500.0f);
    EXPECT_EQ(doc->title(), "flower.dst (1500%)");
    EXPECT_NEAR(doc->patternView()->scale(), 15.0, 1e-3);

    doc->setViewScaling(30);
    doc->zoomOut(nullptr);
    EXPECT_EQ(doc->viewScaling(), 10.0f);
    doc->setViewScaling(-400);
    EXPECT_EQ(doc->viewScaling(), 10.0f);

    // Below 0.001 % nothing changes, not even the title; just above it does.
    doc->setViewScaling(100);
    int titleChanges = 0;
    QObject::connect(doc->window(), &QWidget::windowTitleChanged, doc, [&] { ++titleChanges; });
    doc->setViewScaling(100.0005f);
    EXPECT_EQ(doc->viewScaling(), 100.0f);
    EXPECT_EQ(titleChanges, 0);
    EXPECT_EQ(doc->title(), "flower.dst");
    doc->setViewScaling(100.002f);
    EXPECT_NE(doc->viewScaling(), 100.0f);
    EXPECT_EQ(doc->title(), "flower.dst (100%)");

    // Toolbar zoom segments: in, out, fit.
    doc->setViewScaling(200);
    QAction fit;
    fit.setProperty("segment", 2);
    doc->zoomDesign(&fit);
    EXPECT_EQ(doc->viewScaling(), 100.0f);
    fit.setProperty("segment", 7);
    doc->zoomDesign(&fit);
    EXPECT_EQ(doc->viewScaling(), 100.0f);
}

TEST_F(DocumentTest, InfoLinesDescribeTheDesignAndLeaveOutTheHoopWhenThereIsNone) {
    // 1,600 stitches in a 40 × 40 mm square, two colours, no hoop (DST).
    VDLDocument* doc = open(write(squareDesign(400, 1, 2), "square.dst"));
    ASSERT_NE(doc, nullptr);
    const VDLDesign& d = doc->myDesign();
    EXPECT_EQ(doc->patternDimensionText(),
              QStringLiteral("Size: %1 x %2").arg(transformed(d.designWidth() / 10.0), transformed(d.designHeight() / 10.0)));
    EXPECT_FALSE(doc->patternDimensionText().contains(QStringLiteral("hoop")));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Stitches: 1,\\d{3}, jump stitches: \\d+$"))
                    .match(doc->patternStitchesText())
                    .hasMatch())
        << doc->patternStitchesText().toStdString();
    EXPECT_EQ(doc->patternColorsText(), "Colors: 2, different colors: 2");
    EXPECT_EQ(doc->patternVersionText(), QStringLiteral("Version: DST %1").arg(d.designVersion() / 10.0, 0, 'f', 1));
    EXPECT_TRUE(doc->patternPaletteText().endsWith(QStringLiteral(" (internal)")));

    // A JEF design carries its hoop.
    VDLDocument* jef = open(sample("flower.jef"));
    ASSERT_NE(jef, nullptr);
    ASSERT_GT(jef->myDesign().hoopWidth(), 0);
    EXPECT_TRUE(jef->patternDimensionText().endsWith(
        QStringLiteral(", hoop ") + QString::fromStdString(jef->myDesign().hoopName())));
}

TEST_F(DocumentTest, ToolbarFollowsSelectionAndCentringAndTogglesTheSelectionTools) {
    VDLDocument* doc = open(write(squareDesign(200, 20, 1), "square.dst"));
    ASSERT_NE(doc, nullptr);
    EXPECT_TRUE(doc->isCentered());
    EXPECT_FALSE(doc->toolbarAction("center")->isEnabled());
    for (const char* name : {"delete", "move", "resize", "rotate", "flip"})
        EXPECT_FALSE(doc->toolbarAction(name)->isEnabled()) << name;

    // Everything selected and moved 30 mm right (one undo step): no longer centred.
    doc->myDesign().selectAll();
    doc->moveByVector(300, 0);
    EXPECT_EQ(doc->undoStack()->count(), 1);
    EXPECT_EQ(doc->undoStack()->undoText(), "move");
    EXPECT_FALSE(doc->isCentered());
    EXPECT_TRUE(doc->toolbarAction("center")->isEnabled());
    for (const char* name : {"delete", "move", "resize", "rotate", "flip"})
        EXPECT_TRUE(doc->toolbarAction(name)->isEnabled()) << name;
    doc->undoStack()->undo();
    EXPECT_TRUE(doc->isCentered());
    EXPECT_FALSE(doc->toolbarAction("center")->isEnabled());
    doc->undoStack()->redo();
    EXPECT_FALSE(doc->isCentered());

    // Segment 0 switches the rectangle tool on, again switches it off (thread picking).
    doc->selectModeAction(0)->trigger();
    EXPECT_EQ(doc->patternView()->selectionMode(), 0);
    EXPECT_TRUE(doc->selectModeAction(0)->isChecked());
    EXPECT_EQ(doc->patternView()->currentCursor(), Qt::CrossCursor);
    doc->selectModeAction(3)->trigger();
    EXPECT_EQ(doc->patternView()->selectionMode(), 3);
    EXPECT_FALSE(doc->selectModeAction(0)->isChecked());
    EXPECT_TRUE(doc->selectModeAction(3)->isChecked());
    doc->selectModeAction(3)->trigger();
    EXPECT_EQ(doc->patternView()->selectionMode(), -1);
    EXPECT_FALSE(doc->selectModeAction(3)->isChecked());
    EXPECT_EQ(doc->patternView()->currentCursor(), Qt::ArrowCursor);
}

TEST_F(DocumentTest, MenuValidationEnablesAndChecksByTheDesign) {
    VDLAppController* app = VDLAppController::instance();
    VDLDocument* jef = open(sample("flower.jef"));
    ASSERT_NE(jef, nullptr);
    EXPECT_TRUE(jef->validateUserInterfaceItem(app->action("saveDocument:")));
    EXPECT_FALSE(jef->validateUserInterfaceItem(app->action("delete:")));
    jef->myDesign().selectAll();
    EXPECT_TRUE(jef->validateUserInterfaceItem(app->action("delete:")));

    // The hoop menu was filled by the first window; the design's own hoop carries the check mark.
    const QString hoop = QString::fromStdString(jef->myDesign().designHoop()->description());
    int checked = 0, janome = 0;
    for (QAction* item : app->hoopMenu()->actions()) {
        if (item->objectName() == QLatin1String("selectHoopJanome:")) {
            ++janome;
            EXPECT_TRUE(jef->validateUserInterfaceItem(item));
            if (item->isChecked()) {
                ++checked;
                EXPECT_EQ(item->text(), hoop);
            }
        } else if (item->objectName() == QLatin1String("selectHoopPfaff:")) {
            EXPECT_FALSE(jef->validateUserInterfaceItem(item));
        }
    }
    EXPECT_GT(janome, 0);
    EXPECT_EQ(checked, 1);

    // The selection tools carry the canvas's mode.
    jef->selectStitch(nullptr);
    QAction* stitchTool = app->action("selectStitch:");
    QAction* rectTool = app->action("selectRect:");
    EXPECT_TRUE(jef->validateUserInterfaceItem(stitchTool));
    EXPECT_TRUE(stitchTool->isChecked());
    jef->validateUserInterfaceItem(rectTool);
    EXPECT_FALSE(rectTool->isChecked());

    // A PCD file reads but cannot be saved as such: Save is disabled.
    const std::string pcd = dir.file("flower.pcd");
    writeBytes(pcd, readBytes(std::string(VARDELLE_SOURCE_DIR) + "/resources/samples/flower.pcs"));
    VDLDocument* readOnly = open(QString::fromStdString(pcd));
    ASSERT_NE(readOnly, nullptr);
    EXPECT_FALSE(readOnly->validateUserInterfaceItem(app->action("saveDocument:")));
}

TEST_F(DocumentTest, PesGuardKeepsOtherPesVersionsAndOtherFilesUntouched) {
    VDLDocument* doc = open(sample("flower.pes"));
    ASSERT_NE(doc, nullptr);

    // Over a PES 1.0 file (as our writer makes them): the save proceeds.
    const QString v1 = write(squareDesign(200), "v1.pes");
    VDLError error;
    EXPECT_TRUE(doc->saveToURL(v1, &error)) << error.message();
    VDLDesign check;
    ASSERT_TRUE(check.importDesignFromURL(VDLURL::fileURLWithPath(v1.toStdString())));
    EXPECT_EQ(check.designVersion(), 10);

    // Over a PES of another version (here one whose header says 6.0) and over something that
    // does not read as a design at all: refused with 204, the file untouched.
    std::vector<uint8_t> other = readBytes(v1.toStdString());
    other[4] = '0';
    other[5] = '0';
    other[6] = '6';
    other[7] = '0';
    const std::string v6 = dir.file("v6.pes");
    writeBytes(v6, other);
    const std::string junk = dir.file("junk.pes");
    writeBytes(junk, {'#', 'P', 'E', 'S', '9', '9', '9', '9', 1, 2, 3});
    doc->changeWithUndoPalette("Madeira Rayon", true);
    for (const std::string& path : {v6, junk}) {
        const std::vector<uint8_t> before = readBytes(path);
        VDLError refused;
        EXPECT_FALSE(doc->saveToURL(QString::fromStdString(path), &refused)) << path;
        EXPECT_EQ(refused.domain, "vardelle.vdldesign.ErrorDomain");
        EXPECT_EQ(refused.code, 204);
        EXPECT_EQ(refused.localizedRecoverySuggestion(), "Don't overwrite other PES versions.");
        EXPECT_EQ(readBytes(path), before);
        EXPECT_TRUE(doc->isDocumentEdited());
        EXPECT_EQ(doc->undoStack()->count(), 1);
        EXPECT_EQ(doc->fileName(), QFileInfo(v1).absoluteFilePath());
    }
    // Also without an error out-parameter.
    EXPECT_FALSE(doc->saveToURL(QString::fromStdString(v6), nullptr));

    // The guard is about PES targets: a DST file is simply replaced.
    const QString dst = write(squareDesign(100), "other.dst");
    EXPECT_TRUE(doc->saveToURL(dst, &error)) << error.message();
    EXPECT_EQ(doc->fileType(), "DST");
}

TEST_F(DocumentTest, SaveClearsUndoAndEditedStateAndWarnsUntilTheUserSaysNoMore) {
    VDLDefaults::standard().setValue(QStringLiteral("AlertWriteToURL"), false);
    VDLDocument* doc = open(sample("flower.dst"));
    ASSERT_NE(doc, nullptr);
    QAction madeira(QStringLiteral("Madeira Rayon"));
    doc->changePalette(&madeira);
    EXPECT_TRUE(doc->isDocumentEdited());
    EXPECT_TRUE(doc->window()->isWindowModified());
    EXPECT_EQ(doc->undoStack()->undoText(), "palette change");

    doc->saveDocument(nullptr);
    EXPECT_EQ(doc->undoStack()->count(), 0);
    EXPECT_FALSE(doc->undoStack()->canUndo());
    EXPECT_FALSE(doc->isDocumentEdited());
    EXPECT_FALSE(doc->window()->isWindowModified());

    // The warning, with its box ticked: no warning after the next save.
    QList<QMessageBox*> boxes = alerts("writeAlert");
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_EQ(boxes[0]->text(), "Warning");
    EXPECT_EQ(boxes[0]->informativeText(), "Always check hoop size & dimensions before stitching.");
    ASSERT_NE(boxes[0]->checkBox(), nullptr);
    boxes[0]->checkBox()->setChecked(true);
    boxes[0]->accept();
    QApplication::processEvents();
    EXPECT_TRUE(VDLDefaults::standard().boolForKey(QStringLiteral("AlertWriteToURL")));

    doc->changePalette(&madeira);
    doc->saveDocument(nullptr);
    EXPECT_TRUE(alerts("writeAlert").isEmpty());
    VDLDesign reread;
    ASSERT_TRUE(reread.importDesignFromURL(VDLURL::fileURLWithPath(doc->fileName().toStdString())));
    EXPECT_EQ(reread.numberOfStitches(), doc->myDesign().numberOfStitches());
}

TEST_F(DocumentTest, FailedSaveLeavesFileEditedStateUndoAndDesign) {
    VDLDocument* doc = open(sample("flower.dst"));
    ASSERT_NE(doc, nullptr);
    const std::vector<uint8_t> before = readBytes(doc->fileName().toStdString());
    QAction palette(QStringLiteral("Sulky Rayon"));
    doc->changePalette(&palette);

    // No stitches: the writer refuses, the old file stays as it was.
    VDLDesign empty = doc->myDesign();
    empty.setStitches({});
    empty.setThreads({doc->myDesign().threads().front()});
    empty.recomputeBounds();
    doc->setDesign(empty);
    VDLError error;
    EXPECT_FALSE(doc->saveToURL(doc->fileName(), &error));
    EXPECT_EQ(error.domain, "vardelle.vdldesign.ErrorDomain");
    EXPECT_EQ(readBytes(doc->fileName().toStdString()), before);
    EXPECT_TRUE(doc->isDocumentEdited());
    EXPECT_EQ(doc->undoStack()->count(), 1);

    // A folder that does not exist: the system's error, nothing changed either.
    doc->undoStack()->undo();
    doc->undoStack()->redo();
    const size_t records = doc->myDesign().stitches().size();
    EXPECT_FALSE(doc->saveToURL(QString::fromStdString(dir.file("missing/x.dst")), &error));
    EXPECT_EQ(doc->myDesign().stitches().size(), records);
    EXPECT_TRUE(doc->isDocumentEdited());
    EXPECT_EQ(doc->undoStack()->count(), 1);
    EXPECT_TRUE(doc->fileName().endsWith(QStringLiteral("flower.dst")));

    // Through the menu command the user gets an alert.
    doc->saveDocument(nullptr);
    EXPECT_EQ(alerts("documentAlert").size(), 1);
}

TEST_F(DocumentTest, DefaultThreadsRecoloursIntoThreadMenuItemAsOneUndoableStep) {
    const QString path = sample("flower.dst");
    VDLDesign asRead;
    ASSERT_TRUE(asRead.importDesignFromURL(VDLURL::fileURLWithPath(path.toStdString())));

    // 0: colours as read.
    VDLDocument* plain = open(path);
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(plain->myDesign().designPalette(), "Undefined");
    EXPECT_EQ(plain->undoStack()->count(), 0);
    EXPECT_FALSE(plain->isDocumentEdited());
    controller()->closeAllDocumentsForTesting();

    // n: every thread in the palette of thread-menu item n, undoable in one step.
    const int n = 8;
    const QString title = VDLAppController::instance()->threadMenuTitle(n);
    ASSERT_FALSE(title.isEmpty());
    VDLDefaults::standard().setValue(QStringLiteral("DefaultThreads"), n);
    VDLDocument* doc = open(path);
    ASSERT_NE(doc, nullptr);
    for (const VDLThread& t : doc->myDesign().threads()) EXPECT_EQ(t.palette(), title.toStdString());
    EXPECT_TRUE(doc->myDesign().useThreadFile());
    EXPECT_TRUE(doc->patternPaletteText().endsWith(QStringLiteral("(external)")));
    ASSERT_EQ(doc->undoStack()->count(), 1);
    doc->undoStack()->undo();
    ASSERT_EQ(doc->myDesign().numberOfThreads(), asRead.numberOfThreads());
    for (int i = 0; i < int(asRead.numberOfThreads()); ++i) {
        EXPECT_EQ(doc->myDesign().threads()[i].palette(), "Undefined");
        EXPECT_TRUE(doc->myDesign().colorOfThread(i) == asRead.colorOfThread(i));
    }
    EXPECT_FALSE(doc->myDesign().useThreadFile());
    EXPECT_FALSE(doc->isDocumentEdited());
    doc->undoStack()->redo();
    EXPECT_EQ(doc->myDesign().designPalette(), title.toStdString());

    // The menu item of the palette in use carries the check mark.
    QAction* item = VDLAppController::instance()->threadMenu()->actions().at(n);
    EXPECT_TRUE(doc->validateUserInterfaceItem(item));
    EXPECT_TRUE(item->isChecked());
    controller()->closeAllDocumentsForTesting();

    // A design with its own thread file keeps the colours of that file.
    VDLDesign kept = asRead;
    kept.changeThread(0, VDLColor(1, 0, 0), "");
    const QString withFile = write(kept, "kept.dst");
    ASSERT_TRUE(kept.exportThreadsForDesign(VDLURL::fileURLWithPath(withFile.toStdString())));
    VDLDocument* own = open(withFile);
    ASSERT_NE(own, nullptr);
    EXPECT_TRUE(own->myDesign().useThreadFile());
    EXPECT_EQ(own->undoStack()->count(), 0);
    EXPECT_TRUE(own->myDesign().colorOfThread(0) == VDLColor(1, 0, 0));
}

TEST_F(DocumentTest, OpeningABadFileShowsTheModelErrorAndOpensNoWindow) {
    const std::string bad = dir.file("broken.pes");
    writeBytes(bad, {'n', 'o', 't', ' ', 'a', ' ', 'p', 'e', 's'});
    controller();  // with the application's menus (top-level widgets too) before counting
    const int windows = int(QApplication::topLevelWidgets().size());
    VDLError error;
    EXPECT_EQ(controller()->openDocumentWithContentsOfURL(QString::fromStdString(bad), &error), nullptr);
    EXPECT_EQ(error.domain, "vardelle.vdldesign.ErrorDomain");
    EXPECT_NE(error.code, 0);
    EXPECT_TRUE(controller()->documents().isEmpty());
    const QList<QMessageBox*> boxes = alerts("documentControllerAlert");
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes[0]->informativeText().contains(QString::number(error.code)));
    EXPECT_TRUE(boxes[0]->informativeText().contains(QString::fromStdString(error.message())));
    closeAlerts();
    EXPECT_LE(int(QApplication::topLevelWidgets().size()), windows + 1);  // no document window left

    // The same file twice: one window.
    VDLDocument* a = open(sample("flower.jef"));
    VDLDocument* b = open(QString::fromStdString(dir.file("flower.jef")));
    EXPECT_EQ(a, b);
    EXPECT_EQ(controller()->documents().size(), 1);
}

TEST_F(DocumentTest, ShowThreadShowsOneBlockAndLeavesTheSelectionTools) {
    VDLDocument* doc = open(write(squareDesign(200, 20, 3), "three.dst"));
    ASSERT_NE(doc, nullptr);
    int hooked = -2;
    doc->setColorPanelHook([&](int i) { hooked = i; });
    doc->selectRect(nullptr);
    doc->myDesign().selectAll();
    doc->showThread(1);
    EXPECT_EQ(doc->patternView()->selectionMode(), -1);
    EXPECT_FALSE(doc->myDesign().selectionActive());
    EXPECT_FALSE(doc->myDesign().isShownOfThread(0));
    EXPECT_TRUE(doc->myDesign().isShownOfThread(1));
    EXPECT_FALSE(doc->myDesign().isShownOfThread(2));
    EXPECT_EQ(hooked, 1);
    doc->showThread(-1);
    EXPECT_TRUE(doc->myDesign().isShownOfThread(1));
    doc->showAllThreads();
    EXPECT_TRUE(doc->myDesign().isShownOfAllThreads());
    EXPECT_EQ(hooked, -1);
}
