// Window state across relaunches: written when the application quits with windows open, read
// back at the next launch; a file that is gone or changed is skipped, a broken archive ignored.
#include "DocumentTestSupport.h"

#include "VDLAppController.h"
#include "VDLDesignView.h"

#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <sys/stat.h>

#include <cstring>

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

TEST_F(DocumentTest, WindowStatesThatAreNoRegularFileOrHoldAnUnsoundDesignAreLeftAside) {
    const QString kept = sample("flower.jef");
    VDLDocument* doc = open(kept);
    ASSERT_TRUE(doc);
    QAction madeira(QStringLiteral("Madeira Rayon"));
    doc->changePalette(&madeira);
    EXPECT_EQ(controller()->saveWindowStates(), 1);
    const QString folder = VDLDocumentController::windowStateFolder();
    QFile archive(QDir(folder).filePath(QStringLiteral("window-1.plist")));
    ASSERT_TRUE(archive.open(QIODevice::ReadOnly));
    const QByteArray xml = archive.readAll();
    archive.close();
    // The kept design's stitches, stored beside the archive.
    QFile stitchFile(QDir(folder).filePath(QStringLiteral("window-1.stitches")));
    ASSERT_TRUE(stitchFile.open(QIODevice::ReadOnly));
    const QByteArray stitchBytes = stitchFile.readAll();
    stitchFile.close();
    controller()->closeAllDocumentsForTesting();

    // A FIFO and the endless /dev/zero in place of archives: skipped at once.
    ASSERT_EQ(::mkfifo(QDir(folder).filePath(QStringLiteral("window-2.plist")).toLocal8Bit().constData(), 0600), 0);
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), QDir(folder).filePath(QStringLiteral("window-3.plist"))));
    // And an archive nested 100,000 levels deep, which crashed the launch.
    QFile deep(QDir(folder).filePath(QStringLiteral("window-4.plist")));
    ASSERT_TRUE(deep.open(QIODevice::WriteOnly));
    for (int i = 0; i < 100000; ++i) deep.write("<dict><key>VDLDesign</key>");
    deep.close();
    QElapsedTimer clock;
    clock.start();
    QList<VDLDocument*> restored = controller()->restoreWindowStates();
    EXPECT_LT(clock.elapsed(), 10000);
    ASSERT_EQ(restored.size(), 1);
    EXPECT_EQ(restored[0]->myDesign().designPalette(), "Madeira Rayon");
    EXPECT_TRUE(archives().isEmpty());
    const VDLDesign fromFile = [&] {
        VDLDesign d;
        EXPECT_TRUE(d.importDesignFromURL(VDLURL::fileURLWithPath(kept.toStdString())));
        return d;
    }();
    controller()->closeAllDocumentsForTesting();

    // The archived design's first move pushed beyond any format's reach: the window comes back
    // with the file's own design.
    // (The stitches file: 8 bytes of magic, a 64-bit count, then per stitch float32 dx, dy, flags.)
    QByteArray far = stitchBytes;
    ASSERT_GT(far.size(), 16 + 9);
    const float huge = 16777215.0f;
    std::memcpy(far.data() + 16, &huge, 4);
    QFile out(QDir(folder).filePath(QStringLiteral("window-1.plist")));
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(xml);
    out.close();
    QFile outStitches(QDir(folder).filePath(QStringLiteral("window-1.stitches")));
    ASSERT_TRUE(outStitches.open(QIODevice::WriteOnly));
    outStitches.write(far);
    outStitches.close();
    restored = controller()->restoreWindowStates();
    ASSERT_EQ(restored.size(), 1);
    EXPECT_FALSE(restored[0]->isDocumentEdited());
    EXPECT_EQ(restored[0]->myDesign().stitches().size(), fromFile.stitches().size());
    EXPECT_EQ(restored[0]->myDesign().stitches()[0].deltaX, fromFile.stitches()[0].deltaX);
}

TEST_F(DocumentTest, WindowRestorationHasACapButKeepsUnsavedWork) {
    // More archives than the cap, each for a file of its own; the last one holds an unsaved change.
    const int count = VDLDocumentController::kMostRestoredWindows + 3;
    const QString first = write(squareDesign(40, 10, 1), "square-0.dst");
    VDLDocument* doc = open(first);
    ASSERT_TRUE(doc);
    EXPECT_EQ(controller()->saveWindowStates(), 1);
    const QString folder = VDLDocumentController::windowStateFolder();
    QFile archive(QDir(folder).filePath(QStringLiteral("window-1.plist")));
    ASSERT_TRUE(archive.open(QIODevice::ReadOnly));
    const QByteArray plain = archive.readAll();
    archive.close();
    QAction madeira(QStringLiteral("Madeira Rayon"));
    doc->changePalette(&madeira);
    EXPECT_EQ(controller()->saveWindowStates(), 1);
    ASSERT_TRUE(archive.open(QIODevice::ReadOnly));
    const QByteArray edited = archive.readAll();
    archive.close();
    QFile editedStitchFile(QDir(folder).filePath(QStringLiteral("window-1.stitches")));
    ASSERT_TRUE(editedStitchFile.open(QIODevice::ReadOnly));
    const QByteArray editedStitches = editedStitchFile.readAll();
    editedStitchFile.close();
    controller()->closeAllDocumentsForTesting();
    for (const QString& f : QDir(folder).entryList(QDir::Files)) QFile::remove(QDir(folder).filePath(f));

    for (int i = 0; i < count; ++i) {
        const QString name = QStringLiteral("square-%1.dst").arg(i);
        if (i > 0) QFile::copy(first, dir.path().c_str() + QStringLiteral("/") + name);
        QByteArray xml = i == count - 1 ? edited : plain;
        xml.replace("square-0.dst", name.toUtf8());
        QFile out(QDir(folder).filePath(QStringLiteral("window-%1.plist").arg(i + 1)));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(xml);
        out.close();
        if (i == count - 1) {
            QFile stitches(QDir(folder).filePath(QStringLiteral("window-%1.stitches").arg(i + 1)));
            ASSERT_TRUE(stitches.open(QIODevice::WriteOnly));
            stitches.write(editedStitches);
            stitches.close();
        }
        // The copies keep the modification date the archives name.
        QFile copy(dir.path().c_str() + QStringLiteral("/") + name);
        ASSERT_TRUE(copy.open(QIODevice::ReadWrite));
        copy.setFileTime(QFileInfo(first).lastModified(), QFileDevice::FileModificationTime);
        copy.close();
    }
    QStringList skipped;
    const QList<VDLDocument*> restored = controller()->restoreWindowStates(&skipped);
    ASSERT_EQ(restored.size(), VDLDocumentController::kMostRestoredWindows + 1);
    EXPECT_EQ(restored.last()->myDesign().designPalette(), "Madeira Rayon");
    EXPECT_TRUE(restored.last()->isDocumentEdited());
    ASSERT_EQ(skipped.size(), 1);
    EXPECT_TRUE(skipped[0].contains(QStringLiteral("2 more windows"))) << skipped[0].toStdString();
    EXPECT_TRUE(archives().isEmpty());
}
