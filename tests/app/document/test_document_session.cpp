// The application keeps faith with the user's files and sessions: Quit asks about unsaved
// changes and a discarded edit never comes back; a launch with files opens exactly those; the
// window state keeps an unsaved design compactly and says so when it brings it back; saving
// writes a thread file only where the design has one, and a thread file that cannot be written
// fails the save with the design file untouched.
#include "DocumentTestSupport.h"
#include "ModalTestSupport.h"

#include "VDLAppController.h"
#include "VDLThreadFile.h"

#include <QAbstractButton>
#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QSignalSpy>

#include <filesystem>

namespace {

QString inDir(const TempDir& dir, const char* name) { return QString::fromStdString(dir.file(name)); }

QStringList stateFiles(const QString& pattern) {
    return QDir(VDLDocumentController::windowStateFolder()).entryList({pattern}, QDir::Files);
}

// Answers the next question with BUTTON and remembers its text.
void answerWith(QMessageBox::StandardButton button, QString* text = nullptr) {
    modal::whenModal([button, text](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr) << "expected a question, got a panel";
        if (text) *text = box->text();
        ASSERT_NE(box->button(button), nullptr);
        box->button(button)->click();
    });
}

void waitFor(const std::function<bool()>& done, int ms = 10000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 20);
}

VDLDocument* rotatedCopy(VDLDocument* doc) {
    doc->selectAll(nullptr);
    doc->rotateR(nullptr);
    doc->deselectAll(nullptr);
    return doc;
}

}  // namespace

TEST_F(DocumentTest, QuitAsksAboutUnsavedChangesAndADiscardedEditNeverComesBack) {
    const QString path = sample("flower.dst");
    const std::vector<uint8_t> onDisk = readBytes(path.toStdString());
    VDLDocument* doc = open(path);
    ASSERT_NE(doc, nullptr);
    const std::vector<VDLPoint> asRead = absolutePositions(doc->myDesign());
    rotatedCopy(doc);
    ASSERT_TRUE(doc->isDocumentEdited());
    ASSERT_NE(absolutePositions(doc->myDesign()), asRead);
    VDLAppController* app = VDLAppController::instance();
    QSignalSpy quitting(app, &VDLAppController::willTerminate);

    // Cancel: the application keeps running with the edit, and nothing is kept yet.
    QString question;
    answerWith(QMessageBox::Cancel, &question);
    app->terminate(nullptr);
    EXPECT_TRUE(question.contains(QStringLiteral("flower.dst"))) << question.toStdString();
    EXPECT_EQ(quitting.size(), 0);
    EXPECT_TRUE(stateFiles(QStringLiteral("window-*")).isEmpty());
    ASSERT_TRUE(controller()->documents().contains(doc));
    EXPECT_TRUE(doc->isDocumentEdited());

    // Discard: the window's place is kept, the edit is not.
    doc->setViewScaling(150);
    answerWith(QMessageBox::Discard);
    app->terminate(nullptr);
    EXPECT_EQ(quitting.size(), 1);
    EXPECT_EQ(stateFiles(QStringLiteral("window-*.plist")).size(), 1);
    EXPECT_TRUE(stateFiles(QStringLiteral("*.stitches")).isEmpty());
    EXPECT_EQ(readBytes(path.toStdString()), onDisk);
    // Quitting then closes the window: the answer stands, nobody is asked twice.
    bool askedAgain = false;
    QTimer guard;
    guard.setInterval(50);
    QObject::connect(&guard, &QTimer::timeout, [&askedAgain] {
        if (!QApplication::activeModalWidget()) return;
        askedAgain = true;
        modal::rejectAll();
    });
    guard.start();
    doc->window()->close();
    QApplication::processEvents();
    guard.stop();
    EXPECT_FALSE(askedAgain);
    EXPECT_FALSE(controller()->documents().contains(doc));
    controller()->closeAllDocumentsForTesting();

    // The next launch shows the file as it is on disk, at the kept zoom, and clean.
    QStringList skipped;
    const QList<VDLDocument*> restored = controller()->restoreWindowStates(&skipped);
    ASSERT_EQ(restored.size(), 1) << skipped.join('\n').toStdString();
    EXPECT_EQ(absolutePositions(restored[0]->myDesign()), asRead);
    EXPECT_FALSE(restored[0]->isDocumentEdited());
    EXPECT_FALSE(restored[0]->window()->isWindowModified());
    EXPECT_FALSE(restored[0]->keptFromLastSession());
    EXPECT_EQ(restored[0]->viewScaling(), 150.0f);
}

TEST_F(DocumentTest, CancelOnTheSecondDocumentCancelsTheWholeQuit) {
    VDLDocument* first = rotatedCopy(open(sample("flower.dst")));
    VDLDocument* second = rotatedCopy(open(sample("flower.jef")));
    ASSERT_TRUE(first && second);
    VDLAppController* app = VDLAppController::instance();
    QSignalSpy quitting(app, &VDLAppController::willTerminate);
    answerWith(QMessageBox::Discard);
    // The second question comes once the first is answered.
    QTimer::singleShot(0, [] { answerWith(QMessageBox::Cancel); });
    app->terminate(nullptr);
    EXPECT_EQ(quitting.size(), 0);
    EXPECT_TRUE(first->isDocumentEdited() && second->isDocumentEdited());
    // The Discard given before the Cancel does not count: a state kept now keeps both edits.
    EXPECT_TRUE(first->keepsDesignInState());
    EXPECT_TRUE(second->keepsDesignInState());
}

// The application ending without the user's Quit (the session ends) asks nobody: the unsaved
// edit is kept, compactly, and the window says it is not the file.
TEST_F(DocumentTest, AnUnsavedEditKeptAcrossSessionsIsCompactAndTheWindowSaysSo) {
    const QString path = sample("flower.dst");
    VDLDocument* doc = rotatedCopy(open(path));
    ASSERT_NE(doc, nullptr);
    const std::vector<VDLPoint> edited = absolutePositions(doc->myDesign());
    const size_t stitches = doc->myDesign().stitches().size();
    doc->window()->setGeometry(40, 50, 760, 520);
    EXPECT_EQ(controller()->saveWindowStates(), 1);
    controller()->closeAllDocumentsForTesting();

    const QString folder = VDLDocumentController::windowStateFolder();
    ASSERT_EQ(stateFiles(QStringLiteral("*.stitches")).size(), 1);
    EXPECT_EQ(QFileInfo(folder + "/window-1.stitches").size(), qint64(16 + 9 * stitches));
    EXPECT_LT(QFileInfo(folder + "/window-1.plist").size(), 16 * 1024);  // no stitch in the archive

    const QList<VDLDocument*> restored = controller()->restoreWindowStates();
    ASSERT_EQ(restored.size(), 1);
    VDLDocument* back = restored[0];
    EXPECT_EQ(absolutePositions(back->myDesign()), edited);
    EXPECT_TRUE(back->isDocumentEdited());
    EXPECT_TRUE(back->keptFromLastSession());
    EXPECT_TRUE(back->window()->windowTitle().contains(QStringLiteral("unsaved changes from the last session")));
    EXPECT_FALSE(back->sessionNoticeText().isEmpty());
    EXPECT_EQ(back->window()->geometry().size(), QSize(760, 520));
    EXPECT_TRUE(stateFiles(QStringLiteral("window-*")).isEmpty());

    // Saved, the window is the file again.
    back->saveDocument(nullptr);
    EXPECT_FALSE(back->isDocumentEdited());
    EXPECT_FALSE(back->keptFromLastSession());
    EXPECT_TRUE(back->sessionNoticeText().isEmpty());
    EXPECT_FALSE(back->window()->windowTitle().contains(QStringLiteral("last session")));
}

TEST_F(DocumentTest, DamagedKeptStitchesLeaveTheFilesDesign) {
    const QString path = sample("flower.dst");
    VDLDocument* doc = rotatedCopy(open(path));
    ASSERT_NE(doc, nullptr);
    std::string stitches;
    const std::string xml = doc->encodeRestorableState(&stitches);
    ASSERT_FALSE(stitches.empty());
    ASSERT_TRUE(VDLDocument::decodeStitches(stitches).has_value());
    EXPECT_FALSE(VDLDocument::decodeStitches(stitches.substr(0, stitches.size() - 1)).has_value());
    std::string badFlags = stitches;
    badFlags[16 + 8] = char(0x80);
    EXPECT_FALSE(VDLDocument::decodeStitches(badFlags).has_value());
    controller()->closeAllDocumentsForTesting();

    VDLDocument* reopened = open(path);
    const std::vector<VDLPoint> asRead = absolutePositions(reopened->myDesign());
    const std::string cut = stitches.substr(0, stitches.size() / 2);
    EXPECT_TRUE(reopened->restoreState(xml, &cut));
    EXPECT_EQ(absolutePositions(reopened->myDesign()), asRead);
    EXPECT_FALSE(reopened->isDocumentEdited());
    EXPECT_TRUE(reopened->restoreState(xml, nullptr));
    EXPECT_EQ(absolutePositions(reopened->myDesign()), asRead);
    controller()->closeAllDocumentsForTesting();

    // At a relaunch the user is told that the kept changes did not come back.
    VDLDocument* edited = rotatedCopy(open(path));
    ASSERT_NE(edited, nullptr);
    EXPECT_EQ(controller()->saveWindowStates(), 1);
    controller()->closeAllDocumentsForTesting();
    QFile stitchFile(VDLDocumentController::windowStateFolder() + "/window-1.stitches");
    ASSERT_TRUE(stitchFile.open(QIODevice::ReadWrite));
    ASSERT_TRUE(stitchFile.resize(stitchFile.size() - 9));
    stitchFile.close();
    QStringList skipped;
    const QList<VDLDocument*> restored = controller()->restoreWindowStates(&skipped);
    ASSERT_EQ(restored.size(), 1);
    EXPECT_EQ(absolutePositions(restored[0]->myDesign()), asRead);
    ASSERT_EQ(skipped.size(), 1);
    EXPECT_TRUE(skipped[0].contains(QStringLiteral("could not be read"))) << skipped[0].toStdString();
}

// A window restored with "DefaultThreads" set: the palette step of opening belonged to the file's
// design; once the kept design is shown, undo has nothing of it.
TEST_F(DocumentTest, RestoredDesignCarriesNoUndoStepOfTheFileItReplaced) {
    const QString path = sample("flower.dst");
    VDLDocument* doc = rotatedCopy(open(path));
    ASSERT_NE(doc, nullptr);
    QAction madeira(QStringLiteral("Madeira Rayon"));
    doc->changePalette(&madeira);
    const std::vector<VDLThread> threads = doc->myDesign().threads();
    EXPECT_EQ(controller()->saveWindowStates(), 1);
    controller()->closeAllDocumentsForTesting();

    VDLDefaults::standard().setValue(QStringLiteral("DefaultThreads"), 8);
    const QList<VDLDocument*> restored = controller()->restoreWindowStates();
    ASSERT_EQ(restored.size(), 1);
    VDLDocument* back = restored[0];
    EXPECT_EQ(back->undoStack()->count(), 0);
    ASSERT_EQ(back->myDesign().threads().size(), threads.size());
    for (size_t i = 0; i < threads.size(); ++i) EXPECT_EQ(back->myDesign().threads()[i].palette(), threads[i].palette());
    EXPECT_TRUE(back->isDocumentEdited());
}

// A launch with files opens exactly those; a launch without files brings the last session back;
// a file already open comes to the front instead of opening twice.
TEST_F(DocumentTest, LaunchWithFilesOpensExactlyThoseAndAPlainLaunchRestoresTheSession) {
    VDLDefaults::standard().setValue(QStringLiteral("CheckForUpdates"), false);
    controller();
    const QString earlier = sample("flower.dst");
    const QString asked = sample("flower.jef");
    ASSERT_NE(open(earlier), nullptr);
    EXPECT_EQ(controller()->saveWindowStates(), 1);
    controller()->closeAllDocumentsForTesting();

    VDLAppController* app = VDLAppController::instance();
    app->finishStartup({asked}, false);
    ASSERT_EQ(controller()->documents().size(), 1);
    EXPECT_EQ(controller()->documents()[0]->fileName(), QFileInfo(asked).absoluteFilePath());
    app->finishStartup({asked}, false);  // the file manager opens it again
    EXPECT_EQ(controller()->documents().size(), 1);
    controller()->closeAllDocumentsForTesting();

    app->finishStartup({}, false);
    ASSERT_EQ(controller()->documents().size(), 1);
    EXPECT_EQ(controller()->documents()[0]->fileName(), QFileInfo(earlier).absoluteFilePath());
    VDLDefaults::standard().removeValue(QStringLiteral("CheckForUpdates"));
}

// A file of the command line that cannot be opened: its error alone first, then what a plain
// launch does (here the Open panel, as nothing is left to restore).
TEST_F(DocumentTest, LaunchErrorComesBeforeTheOpenPanel) {
    VDLDefaults::standard().setValue(QStringLiteral("CheckForUpdates"), false);
    controller();  // the documents take part in the launch
    const std::string broken = dir.file("broken.dst");
    writeBytes(broken, {'n', 'o', 't'});
    VDLAppController::instance()->finishStartup({QString::fromStdString(broken)}, false);
    const QList<QMessageBox*> errors = alerts("launchErrorAlert");
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0]->text().contains(QStringLiteral("broken.dst")));
    for (QWidget* w : QApplication::topLevelWidgets())
        EXPECT_FALSE(qobject_cast<QFileDialog*>(w) && w->isVisible()) << "an Open panel covers the error";

    bool panel = false;
    errors[0]->button(QMessageBox::Ok)->click();
    modal::whenModal([&panel](QWidget* w) {
        panel = qobject_cast<QFileDialog*>(w) != nullptr;
        modal::rejectAll();
    });
    waitFor([&panel] { return panel; });
    EXPECT_TRUE(panel);
    VDLDefaults::standard().removeValue(QStringLiteral("CheckForUpdates"));
}

// Save, Save As and Save To write a thread file only for a design that has one.
TEST_F(DocumentTest, SavingWritesAThreadFileOnlyWhereTheDesignHasOne) {
    const QString path = write(squareDesign(400), "rose.dst");
    VDLDocument* doc = rotatedCopy(open(path));
    ASSERT_NE(doc, nullptr);
    ASSERT_FALSE(doc->myDesign().useThreadFile());
    VDLError error;
    ASSERT_TRUE(doc->saveToURL(path, &error)) << error.message();
    EXPECT_FALSE(QFileInfo::exists(inDir(dir, "rose.threads")));
    ASSERT_TRUE(doc->saveCopyToURL(inDir(dir, "copy.jef"), &error)) << error.message();
    EXPECT_FALSE(QFileInfo::exists(inDir(dir, "copy.threads")));
    ASSERT_TRUE(doc->saveToURL(inDir(dir, "other.pes"), &error)) << error.message();
    EXPECT_FALSE(QFileInfo::exists(inDir(dir, "other.threads")));

    // With colours of its own the design gets its thread file, and reopens with them.
    QAction madeira(QStringLiteral("Madeira Rayon"));
    doc->changePalette(&madeira);
    ASSERT_TRUE(doc->saveToURL(inDir(dir, "other.pes"), &error)) << error.message();
    EXPECT_TRUE(QFileInfo::exists(inDir(dir, "other.threads")));
    controller()->closeAllDocumentsForTesting();
    VDLDocument* again = open(inDir(dir, "other.pes"));
    ASSERT_NE(again, nullptr);
    EXPECT_TRUE(again->myDesign().useThreadFile());
    EXPECT_EQ(again->myDesign().designPalette(), "Madeira Rayon");
}

// The colours cannot be written: the save says so, the design file is as it was, and the
// document keeps its unsaved colours.
TEST_F(DocumentTest, AThreadFileThatCannotBeWrittenFailsTheSaveAndLeavesTheDesignFile) {
    const QString path = write(squareDesign(400), "rose.dst");
    const std::vector<uint8_t> before = readBytes(path.toStdString());
    VDLDocument* doc = rotatedCopy(open(path));
    ASSERT_NE(doc, nullptr);
    QAction madeira(QStringLiteral("Madeira Rayon"));
    doc->changePalette(&madeira);
    ASSERT_TRUE(std::filesystem::create_directory(dir.file("rose.threads")));  // in the way

    doc->saveDocument(nullptr);
    const QList<QMessageBox*> errors = alerts("documentAlert");
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors[0]->text().contains(QStringLiteral("could not be saved")));
    EXPECT_EQ(readBytes(path.toStdString()), before);
    EXPECT_TRUE(doc->isDocumentEdited());
    EXPECT_EQ(doc->myDesign().designPalette(), "Madeira Rayon");
    closeAlerts();

    std::filesystem::remove(dir.file("rose.threads"));
    doc->saveDocument(nullptr);
    EXPECT_FALSE(doc->isDocumentEdited());
    EXPECT_TRUE(QFileInfo(inDir(dir, "rose.threads")).isFile());
    // No temporary file is left behind.
    EXPECT_EQ(QDir(QString::fromStdString(dir.path().string())).entryList(QDir::Files | QDir::Hidden).size(), 2);
}
