// Window state across relaunches: written when the application quits with windows open, read
// back at the next launch; a file that is gone or changed is skipped, a broken archive ignored.
#include "DocumentTestSupport.h"

#include "VDLAppController.h"
#include "VDLDesignView.h"

#include <QAction>
#include <QDir>
#include <QFile>

namespace {

QStringList archives() {
    return QDir(VDLDocumentController::windowStateFolder()).entryList({QStringLiteral("window-*.plist")}, QDir::Files);
}

}  // namespace

TEST_F(DocumentTest, WindowStateIsWrittenAtQuitAndRestoredAtTheNextLaunch) {
    const QString dstPath = sample("flower.dst");
    const QString jefPath = sample("flower.jef");
    VDLDocument* dst = open(dstPath);
    VDLDocument* jef = open(jefPath);
    ASSERT_TRUE(dst && jef);
    dst->setViewScaling(200);
    dst->measureDistance(nullptr);
    dst->showThread(1);
    QAction madeira(QStringLiteral("Madeira Rayon"));
    jef->changePalette(&madeira);  // unsaved change
    ASSERT_TRUE(jef->isDocumentEdited());

    // Quit with both windows open.
    emit VDLAppController::instance()->willTerminate();
    EXPECT_EQ(archives().size(), 2);
    controller()->closeAllDocumentsForTesting();

    QStringList skipped;
    const QList<VDLDocument*> restored = controller()->restoreWindowStates(&skipped);
    EXPECT_TRUE(skipped.isEmpty()) << skipped.join('\n').toStdString();
    ASSERT_EQ(restored.size(), 2);
    EXPECT_TRUE(archives().isEmpty());  // read once

    VDLDocument* dst2 = controller()->documentForPath(dstPath);
    VDLDocument* jef2 = controller()->documentForPath(jefPath);
    ASSERT_TRUE(dst2 && jef2);
    EXPECT_EQ(dst2->viewScaling(), 200.0f);
    EXPECT_EQ(dst2->title(), "flower.dst (200%)");
    EXPECT_EQ(dst2->patternView()->selectionMode(), 3);
    EXPECT_TRUE(dst2->selectModeAction(3)->isChecked());
    EXPECT_EQ(dst2->myDesign().indexOfShownThread(), 1);
    EXPECT_FALSE(dst2->isDocumentEdited());

    // The unsaved palette change comes back, and the window says it is unsaved.
    EXPECT_EQ(jef2->myDesign().designPalette(), "Madeira Rayon");
    EXPECT_TRUE(jef2->isDocumentEdited());
    EXPECT_TRUE(jef2->window()->isWindowModified());
    EXPECT_EQ(jef2->viewScaling(), 100.0f);
}

TEST_F(DocumentTest, WindowStateSkipsChangedAndMissingFilesAndIgnoresBrokenArchives) {
    const QString changed = sample("flower.dst");
    const QString gone = sample("flower.pes");
    const QString kept = sample("flower.jef");
    VDLDocument* a = open(changed);
    VDLDocument* b = open(gone);
    VDLDocument* c = open(kept);
    ASSERT_TRUE(a && b && c);
    QAction sulky(QStringLiteral("Sulky Rayon"));
    a->changePalette(&sulky);
    EXPECT_EQ(controller()->saveWindowStates(), 3);
    controller()->closeAllDocumentsForTesting();

    // Meanwhile: one file was rewritten, one removed, and a fourth archive is not one.
    QFile file(changed);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(file.fileTime(QFileDevice::FileModificationTime).addSecs(60),
                                 QFileDevice::FileModificationTime));
    file.close();
    ASSERT_TRUE(QFile::remove(gone));
    QFile broken(QDir(VDLDocumentController::windowStateFolder()).filePath(QStringLiteral("window-4.plist")));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("<?xml version=\"1.0\"?><plist><dict><key>VDLDesign</key>");
    broken.close();

    QStringList skipped;
    const QList<VDLDocument*> restored = controller()->restoreWindowStates(&skipped);
    ASSERT_EQ(restored.size(), 1);
    EXPECT_EQ(restored[0]->fileName(), QFileInfo(kept).absoluteFilePath());
    ASSERT_EQ(skipped.size(), 2);
    EXPECT_TRUE(skipped[0].contains(QStringLiteral("flower.dst")) && skipped[0].contains(QStringLiteral("changed")));
    EXPECT_TRUE(skipped[1].contains(QStringLiteral("flower.pes")) && skipped[1].contains(QStringLiteral("no longer")));
    EXPECT_TRUE(archives().isEmpty());

    // A document given an archive that does not parse is left as it was.
    EXPECT_FALSE(restored[0]->restoreState("garbage"));
    EXPECT_FALSE(restored[0]->restoreState(""));
    EXPECT_EQ(restored[0]->viewScaling(), 100.0f);
}
