// The export sheet driven as a user drives it: machine pop-up and rules, the volume table, the
// size check, the save dialog bound to the machine's folders, writing a copy, the clean-up of
// hidden files, the watchdog and the eject.
#include "MachineTestSupport.h"
#include "VDLDefaults.h"
#include "VDLDocument.h"
#include "VDLExportDialog.h"
#include "VDLMediaCleaner.h"
#include "TestSupport.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QMainWindow>
#include <QPointer>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>

#include <unistd.h>

using namespace machine_test;

namespace {

struct Alert {
    QString message, info;
    int style = -1;
};

// A zigzag of STITCHES records in one colour.
VDLDesign zigzag(int stitches, const std::string& name) {
    std::vector<VDLStitch> records;
    records.reserve(size_t(stitches));
    for (int i = 0; i < stitches; ++i) records.emplace_back(i % 2 ? 10.f : -10.f, 5.f * (i % 3 - 1), false, false);
    VDLDesign d = makeDesign(records, "DST");
    d.setDesignName(name);
    return d;
}

// A document window with one FAT32 stick (512 MB free of 8 GB) mounted.
struct ExportFixture {
    FakeSystem sys;
    QString stick;
    QMainWindow window;
    QString ejectLog;
    std::unique_ptr<VDLVolumeLister> lister;
    std::vector<Alert> alerts;

    explicit ExportFixture(bool withEjectTool = true) {
        sys.disk("sdb", true, {"sdb1"});
        stick = sys.mountPoint("STICK");
        sys.stats[stick] = fat(1'953'000, 512'000'000ull, 8'000'000'000ull);
        writeFile(sys.root() + "/mountinfo", mountLine(23, stick, "vfat", "/dev/sdb1"));
        VDLVolumeLister::Roots roots = sys.roots();
        roots.udisksctlProgram.clear();
        ejectLog = sys.root() + "/ejected";
        roots.ejectProgram.clear();
        if (withEjectTool) {
            roots.ejectProgram = sys.root() + "/bin/eject";
            writeFile(roots.ejectProgram, ("#!/bin/sh\necho \"$*\" >> '" + ejectLog + "'\n").toLocal8Bit());
            QFile::setPermissions(roots.ejectProgram, QFile::permissions(roots.ejectProgram) | QFile::ExeOwner);
        }
        lister = std::make_unique<VDLVolumeLister>(roots);
        window.resize(700, 451);
        window.show();
    }

    std::unique_ptr<VDLExportDialog> open(const VDLDesign& design, int machineTag) {
        VDLDefaults::standard().setValue("MachineTag", machineTag);
        auto dialog = std::make_unique<VDLExportDialog>(design, &window, lister.get());
        dialog->setAlertHandler([this](const QString& m, const QString& i, int s) { alerts.push_back({m, i, s}); });
        dialog->exportDesignDialog();
        return dialog;
    }

    // Selects the stick and presses Export.
    static void exportTo(VDLExportDialog& dialog, int row = 0) {
        dialog.volumeTable()->selectRow(row);
        ASSERT_TRUE(dialog.exportOkay()->isEnabled());
        dialog.exportOkay()->click();
    }
};

QMessageBox* openMessageBox(QWidget* parent) {
    for (QMessageBox* box : parent->findChildren<QMessageBox*>())
        if (box->isVisible()) return box;
    return nullptr;
}

}  // namespace

TEST(ExportSheet, MachineRulesAndVolumeTable) {
    ExportFixture fx;
    auto dialog = fx.open(zigzag(10, "rose.dst"), 1);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
    EXPECT_EQ(dialog->machineType()->currentData().toInt(), 1);
    EXPECT_EQ(dialog->maxStitchesField()->text(), "max. 64,000");
    EXPECT_EQ(dialog->fileTypesField()->text(), "JEF");
    EXPECT_EQ(dialog->rootFoldersField()->text(), "EMB");
    EXPECT_EQ(dialog->subFolderRangeField()->text(), "1");
    EXPECT_EQ(dialog->filesPerFolderField()->text(), "max. 100");

    // The FAT32 stick is listed with its detail line; nothing is selected, Export is off.
    EXPECT_EQ(dialog->exportVolumePaths(), QStringList({fx.stick}));
    EXPECT_EQ(dialog->exportVolumeDetails(), QStringList({"MS-DOS (FAT32), 512.0 MB available of 8.0 GB"}));
    EXPECT_EQ(dialog->volumeTable()->item(0, 1)->text(), "STICK");
    EXPECT_FALSE(dialog->exportOkay()->isEnabled());
    dialog->volumeTable()->selectRow(0);
    EXPECT_TRUE(dialog->exportOkay()->isEnabled());

    // Other machines: the pop-up choice is stored and the fields follow.
    dialog->machineType()->setCurrentIndex(dialog->machineType()->findData(4));
    dialog->selectMachine();
    EXPECT_EQ(VDLDefaults::standard().integerForKey("MachineTag"), 4);
    EXPECT_EQ(dialog->rootFoldersField()->text(), "EMB_FILE, PC_LINK");
    EXPECT_EQ(dialog->subFolderRangeField()->text(), "unsupported");
    EXPECT_EQ(dialog->maxStitchesField()->text(), "max. 100,000");
    dialog->machineType()->setCurrentIndex(dialog->machineType()->findData(5));
    dialog->selectMachine();
    EXPECT_EQ(dialog->rootFoldersField()->text(), "EmbF5 ... EmbF16");
    dialog->machineType()->setCurrentIndex(dialog->machineType()->findData(0));
    dialog->selectMachine();
    EXPECT_EQ(dialog->maxStitchesField()->text(), "unlimited");
    EXPECT_EQ(dialog->filesPerFolderField()->text(), "unlimited");
    EXPECT_EQ(dialog->rootFoldersField()->text(), "-");
    EXPECT_EQ(dialog->subFolderRangeField()->text(), "-");
    EXPECT_EQ(dialog->fileTypesField()->text(), "JEF, PES, PEC, EXP, DST, PCS");

    // A second medium mounted while the sheet is open appears at once; the selection stays. A
    // medium in a format no machine reads never does.
    dialog->volumeTable()->selectRow(0);
    fx.sys.disk("sdc", true, {"sdc1"});
    fx.sys.disk("sdd", true, {"sdd1"});
    const QString card = fx.sys.mountPoint("CARD");
    const QString linux = fx.sys.mountPoint("LINUX");
    fx.sys.stats[card] = fat(3'000, 1'000'000ull, 2'000'000ull);
    fx.sys.stats[linux] = fat(3'000'000, 1'000'000ull, 9'000'000'000ull);
    writeFile(fx.sys.root() + "/mountinfo", mountLine(23, fx.stick, "vfat", "/dev/sdb1") +
                                                mountLine(24, linux, "ext4", "/dev/sdd1") +
                                                mountLine(25, card, "vfat", "/dev/sdc1"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return dialog->volumeTable()->rowCount() == 2; }, 3000));
    EXPECT_EQ(dialog->exportVolumeDetails().value(1), "MS-DOS (FAT12), 1.0 MB available of 2.0 MB");
    EXPECT_EQ(dialog->volumeTable()->currentRow(), 0);
    EXPECT_TRUE(dialog->exportOkay()->isEnabled());

    // Cancel closes the sheet.
    QSignalSpy finished(dialog.get(), &VDLExportDialog::exportFinished);
    dialog->reject();
    EXPECT_FALSE(dialog->isVisible());
    ASSERT_EQ(finished.size(), 1);
    EXPECT_FALSE(finished.first().first().toBool());
}

// 64,000 stitches and one thread: too many for ident 1, written for ident 4 as a copy into the
// machine's folder, through a save dialog that refuses places the machine does not read.
TEST(ExportSheet, SizeCheckSaveDialogAndCopy) {
    ExportFixture fx;
    const VDLDesign design = zigzag(64000, "big.dst");
    ASSERT_EQ(design.numberOfStitches() + design.numberOfThreads(), 64001);

    auto refused = fx.open(design, 1);
    ExportFixture::exportTo(*refused);
    QMessageBox* size = openMessageBox(refused.get());
    ASSERT_NE(size, nullptr);
    EXPECT_EQ(size->text(), "Export Design");
    EXPECT_EQ(size->informativeText(), "Too many stitches.");
    EXPECT_EQ(size->icon(), QMessageBox::Critical);
    EXPECT_TRUE(refused->isVisible());
    EXPECT_EQ(refused->savePanel(), nullptr);
    EXPECT_FALSE(QFileInfo::exists(fx.stick + "/EMB"));
    size->accept();
    refused->reject();

    auto dialog = fx.open(design, 4);
    QSignalSpy finished(dialog.get(), &VDLExportDialog::exportFinished);
    ExportFixture::exportTo(*dialog);
    VDLExportSavePanel* panel = dialog->savePanel();
    ASSERT_NE(panel, nullptr);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_TRUE(panel->testOption(QFileDialog::DontUseNativeDialog));
    EXPECT_FALSE(panel->testOption(QFileDialog::ReadOnly));  // two root folders: folders may be made
    EXPECT_TRUE(QFileInfo(fx.stick + "/EMB_FILE").isDir());
    EXPECT_EQ(QFileInfo(panel->directory().absolutePath()).canonicalFilePath(),
              QFileInfo(fx.stick + "/EMB_FILE").canonicalFilePath());
    EXPECT_EQ(QFileInfo(panel->selectedFiles().value(0)).fileName(), "big.jef");

    // Not in a root folder, or not a type the machine reads: the dialog stays.
    QSignalSpy refusedNames(panel, &VDLExportSavePanel::refusedFilename);
    panel->selectFile(fx.stick + "/big.jef");
    panel->accept();
    panel->selectFile(fx.stick + "/EMB_FILE/big.dst");
    panel->accept();
    EXPECT_EQ(refusedNames.size(), 2);
    EXPECT_TRUE(panel->isVisible());
    for (QMessageBox* box : panel->findChildren<QMessageBox*>()) box->accept();
    EXPECT_TRUE(fx.alerts.empty());

    panel->selectFile(fx.stick + "/EMB_FILE/big.jef");
    panel->accept();
    ASSERT_EQ(finished.size(), 1);
    EXPECT_TRUE(finished.first().first().toBool());
    EXPECT_FALSE(dialog->isVisible());
    ASSERT_EQ(fx.alerts.size(), 1u);
    EXPECT_EQ(fx.alerts[0].message, "Design exported");
    EXPECT_EQ(fx.alerts[0].info, "Export successful");
    EXPECT_EQ(fx.alerts[0].style, 1);
    VDLDesign written;
    ASSERT_TRUE(written.importDesignFromURL(VDLURL::fileURLWithPath((fx.stick + "/EMB_FILE/big.jef").toStdString())));
    EXPECT_EQ(written.numberOfStitches(), 64000);
    // The document's design is untouched: its name and type are still those of its own file.
    EXPECT_EQ(design.designName(), "big.dst");
    EXPECT_EQ(design.designType(), "DST");
    EXPECT_FALSE(QFileInfo::exists(fx.ejectLog));  // no eject asked for
}

// The save dialog's rules on a real folder tree: a full folder is hidden and takes no files,
// except for the machine without limits.
TEST(ExportSheet, FullFoldersOnDisk) {
    QTemporaryDir dir;
    const QString stick = dir.path() + "/STICK";
    QDir().mkpath(stick + "/EMB/EmbF");
    QDir().mkpath(stick + "/EMB/Free");
    for (int i = 0; i < 100; ++i) writeFile(stick + QStringLiteral("/EMB/EmbF/D%1.JEF").arg(i), "x");
    QWidget parent;
    VDLExportSavePanel one(*VDLMachine::machineWithIdent(1), stick, &parent);
    EXPECT_FALSE(one.shouldShowFilename(stick + "/EMB/EmbF"));
    EXPECT_FALSE(one.isValidFilename(stick + "/EMB/EmbF/NEW.JEF"));
    EXPECT_TRUE(one.shouldShowFilename(stick + "/EMB/Free"));
    EXPECT_TRUE(one.isValidFilename(stick + "/EMB/Free/NEW.JEF"));
    EXPECT_TRUE(one.testOption(QFileDialog::ReadOnly) == false);
    VDLExportSavePanel zero(*VDLMachine::machineWithIdent(0), stick, &parent);
    EXPECT_TRUE(zero.shouldShowFilename(stick + "/EMB/EmbF"));
    EXPECT_TRUE(zero.isValidFilename(stick + "/EMB/EmbF/NEW.JEF"));
    EXPECT_TRUE(zero.testOption(QFileDialog::ReadOnly));
    VDLExportSavePanel two(*VDLMachine::machineWithIdent(2), stick, &parent);
    EXPECT_TRUE(two.testOption(QFileDialog::ReadOnly));
}

TEST(ExportSheet, ExportErrorShowsTheModelsText) {
    ExportFixture fx;
    VDLDesign empty;
    empty.setDesignName("empty.jef");
    VDLDesign probe = empty;
    VDLError expected;
    ASSERT_FALSE(probe.exportDesignToURL(VDLURL::fileURLWithPath((fx.sys.root() + "/probe.jef").toStdString()),
                                         &expected));
    ASSERT_FALSE(expected.message().empty());

    auto dialog = fx.open(empty, 0);
    ExportFixture::exportTo(*dialog);
    ASSERT_NE(dialog->savePanel(), nullptr);
    EXPECT_EQ(QFileInfo(dialog->savePanel()->directory().absolutePath()).canonicalFilePath(),
              QFileInfo(fx.stick).canonicalFilePath());
    dialog->savePanel()->selectFile(fx.stick + "/empty.jef");
    dialog->savePanel()->accept();
    ASSERT_EQ(fx.alerts.size(), 1u);
    EXPECT_EQ(fx.alerts[0].message, "Export");
    EXPECT_EQ(fx.alerts[0].info.toStdString(), expected.message());
    EXPECT_EQ(fx.alerts[0].style, 2);
    EXPECT_FALSE(QFileInfo::exists(fx.stick + "/empty.jef"));
}

// With the eject box: only the named hidden files inside the volume go, then the medium is
// ejected. Links leading out of the volume are not followed.
TEST(ExportSheet, CleanUpAndEject) {
    ExportFixture fx;
    const QString trash = QStringLiteral("/.Trash-%1").arg(::getuid());
    const QString outside = fx.sys.root() + "/outside";
    for (const QString& f : {QStringLiteral("/.Trashes/501/old.jef"), QStringLiteral("/.fseventsd/0000001"),
                             QStringLiteral("/.Spotlight-V100/Store-V2/index"), trash + "/files/x.jef",
                             QStringLiteral("/.DS_Store"), QStringLiteral("/EMB/.DS_Store"),
                             QStringLiteral("/EMB/EmbF/._rose.jef"), QStringLiteral("/EMB/EmbF/keep.jef"),
                             QStringLiteral("/notes.txt"), QStringLiteral("/.hidden"),
                             QStringLiteral("/.Trash-99999/other-user")})
        writeFile(fx.stick + f, "x");
    QDir().mkpath(fx.stick + "/._folder");
    writeFile(outside + "/.DS_Store", "outside");
    writeFile(outside + "/._outside", "outside");
    ASSERT_TRUE(QFile::link(outside, fx.stick + "/linked"));

    auto dialog = fx.open(zigzag(20, "rose.jef"), 1);
    dialog->ejectVolume()->setChecked(true);
    ExportFixture::exportTo(*dialog);
    ASSERT_NE(dialog->savePanel(), nullptr);
    dialog->savePanel()->selectFile(fx.stick + "/EMB/EmbF/rose.jef");
    dialog->savePanel()->accept();

    ASSERT_EQ(fx.alerts.size(), 1u);
    EXPECT_EQ(fx.alerts[0].message, "Design exported and drive ejected");
    EXPECT_EQ(fx.alerts[0].info, "Export successful, ejected");
    EXPECT_EQ(fx.alerts[0].style, 1);
    EXPECT_FALSE(dialog->taskStalls());
    for (const QString& gone : {QStringLiteral("/.Trashes"), QStringLiteral("/.fseventsd"),
                                QStringLiteral("/.Spotlight-V100"), trash, QStringLiteral("/.DS_Store"),
                                QStringLiteral("/EMB/.DS_Store"), QStringLiteral("/EMB/EmbF/._rose.jef")})
        EXPECT_FALSE(QFileInfo::exists(fx.stick + gone)) << gone.toStdString();
    for (const QString& kept : {QStringLiteral("/EMB/EmbF/rose.jef"), QStringLiteral("/EMB/EmbF/keep.jef"),
                                QStringLiteral("/notes.txt"), QStringLiteral("/.hidden"),
                                QStringLiteral("/.Trash-99999/other-user"), QStringLiteral("/._folder")})
        EXPECT_TRUE(QFileInfo::exists(fx.stick + kept)) << kept.toStdString();
    EXPECT_TRUE(QFileInfo::exists(outside + "/.DS_Store"));
    EXPECT_TRUE(QFileInfo::exists(outside + "/._outside"));
    QFile log(fx.ejectLog);
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_EQ(log.readAll().trimmed(), "/dev/sdb1");
}

// Hidden folders that are links: one leading out of the volume is refused, one inside is
// removed as a link only.
TEST(ExportSheet, CleanerRefusesLinksOutOfTheVolume) {
    QTemporaryDir dir;
    const QString stick = dir.path() + "/STICK", outside = dir.path() + "/home";
    writeFile(outside + "/precious", "keep");
    writeFile(stick + "/data/inside", "keep");
    ASSERT_TRUE(QFile::link(outside, stick + "/.Trashes"));
    ASSERT_TRUE(QFile::link(stick + "/data", stick + "/.fseventsd"));
    VDLMediaCleaner cleaner(stick);
    EXPECT_TRUE(cleaner.run());
    EXPECT_EQ(cleaner.refused(), QStringList({QFileInfo(stick).canonicalFilePath() + "/.Trashes"}));
    EXPECT_TRUE(QFileInfo::exists(outside + "/precious"));
    EXPECT_TRUE(QFileInfo(stick + "/.Trashes").isSymLink());
    EXPECT_FALSE(QFileInfo(stick + "/.fseventsd").isSymLink());
    EXPECT_TRUE(QFileInfo::exists(stick + "/data/inside"));
    // A mount point that does not resolve is never cleaned.
    VDLMediaCleaner missing(dir.path() + "/gone");
    EXPECT_FALSE(missing.run());
}

// A clean-up step that hangs is stopped by the 2-second watchdog; the user is told and the
// medium stays mounted. Without any eject tool the medium is reported as not ejected.
TEST(ExportSheet, StalledCleanUpSkipsTheEject) {
    ExportFixture fx;
    auto dialog = fx.open(zigzag(20, "rose.jef"), 2);
    dialog->ejectVolume()->setChecked(true);
    dialog->setCleanerSetup([](VDLMediaCleaner& c) {
        EXPECT_EQ(c.watchdogInterval(), 2000);
        c.setSteps({{"sleep", {"30"}}, {"touch", {"/nonexistent-should-not-run"}}});
    });
    ExportFixture::exportTo(*dialog);
    ASSERT_NE(dialog->savePanel(), nullptr);
    EXPECT_TRUE(dialog->savePanel()->testOption(QFileDialog::ReadOnly));  // one root folder, no subfolder
    dialog->savePanel()->selectFile(fx.stick + "/EmbF5/rose.jef");
    QElapsedTimer clock;
    clock.start();
    dialog->savePanel()->accept();
    const qint64 elapsed = clock.elapsed();
    EXPECT_GE(elapsed, 1900);
    EXPECT_LT(elapsed, 4000);
    EXPECT_TRUE(dialog->taskStalls());
    ASSERT_EQ(fx.alerts.size(), 1u);
    EXPECT_EQ(fx.alerts[0].message, "Design exported, files not deleted");
    EXPECT_EQ(fx.alerts[0].info, "Export successful, not deleted");
    EXPECT_EQ(fx.alerts[0].style, 2);
    EXPECT_TRUE(QFileInfo::exists(fx.stick + "/EmbF5/rose.jef"));
    EXPECT_FALSE(QFileInfo::exists(fx.ejectLog));

    ExportFixture bare(false);
    auto second = bare.open(zigzag(20, "rose.jef"), 2);
    second->ejectVolume()->setChecked(true);
    ExportFixture::exportTo(*second);
    second->savePanel()->selectFile(bare.stick + "/EmbF5/rose.jef");
    second->savePanel()->accept();
    ASSERT_EQ(bare.alerts.size(), 1u);
    EXPECT_EQ(bare.alerts[0].message, "Design exported, drive not ejected");
    EXPECT_EQ(bare.alerts[0].info, "Export successful, not ejected");
    EXPECT_EQ(bare.alerts[0].style, 2);
}

// From the document's menu command: the sheet opens window-modal on the document window with a
// copy of the document's design; the export ends in the document's own alert, and the document
// (design, file, edited state) is untouched.
TEST(ExportSheet, FromTheDocument) {
    FakeSystem sys;
    sys.disk("sdb", true, {"sdb1"});
    const QString stick = sys.mountPoint("STICK");
    sys.stats[stick] = fat(1'953'000, 512'000'000ull, 8'000'000'000ull);
    writeFile(sys.root() + "/mountinfo", mountLine(23, stick, "vfat", "/dev/sdb1"));
    VDLExportDialog::setDefaultListerRoots(sys.roots());

    const QString source = sys.root() + "/tulip.dst";
    VDLDesign design = zigzag(50, "tulip.dst");
    ASSERT_TRUE(design.exportDesignToURL(VDLURL::fileURLWithPath(source.toStdString())));
    const QByteArray sourceBytes = [&] {
        QFile f(source);
        f.open(QIODevice::ReadOnly);
        return f.readAll();
    }();
    VDLError error;
    VDLDocument* doc = VDLDocument::open(source, &error);
    ASSERT_NE(doc, nullptr) << error.message();

    VDLDefaults::standard().setValue("MachineTag", 7);  // JEF or DST in EMB/EmbF
    doc->exportDesignDialog(nullptr);
    QPointer<VDLExportDialog> sheet = doc->exportSheet();
    ASSERT_NE(sheet, nullptr);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->parentWidget(), static_cast<QWidget*>(doc->window()));
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    EXPECT_EQ(sheet->machineType()->currentData().toInt(), 7);
    doc->exportDesignDialog(nullptr);  // a second command raises the same sheet
    EXPECT_EQ(doc->exportSheet(), sheet.data());

    sheet->volumeTable()->selectRow(0);
    sheet->exportOkay()->click();
    ASSERT_NE(sheet->savePanel(), nullptr);
    EXPECT_EQ(QFileInfo(sheet->savePanel()->selectedFiles().value(0)).fileName(), "tulip.dst");
    sheet->savePanel()->selectFile(stick + "/EMB/EmbF/tulip.dst");
    sheet->savePanel()->accept();
    EXPECT_TRUE(QFileInfo::exists(stick + "/EMB/EmbF/tulip.dst"));
    QMessageBox* alert = openMessageBox(doc->window());
    ASSERT_NE(alert, nullptr);
    EXPECT_EQ(alert->text(), "Design exported");
    EXPECT_EQ(alert->informativeText(), "Export successful");
    alert->accept();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(sheet.isNull());
    EXPECT_EQ(doc->exportSheet(), nullptr);

    EXPECT_EQ(doc->myDesign().designName(), "tulip.dst");
    EXPECT_EQ(QFileInfo(doc->fileName()).canonicalFilePath(), QFileInfo(source).canonicalFilePath());
    EXPECT_FALSE(doc->isDocumentEdited());
    QFile f(source);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), sourceBytes);
    VDLExportDialog::setDefaultListerRoots(std::nullopt);
    delete doc;
}

// The copy on the medium stands for itself: the document's own thread file is neither
// rewritten nor removed, and the copy gets a thread file only when its colours ask for one.
TEST(ExportSheet, ExportTouchesNothingBesideTheDocument) {
    ExportFixture fx;
    TempDir home;
    const std::string docPath = home.file("rose.dst");
    const std::string docThreads = home.file("rose.threads");
    const std::string own = "the document's own colours";
    writeBytes(docThreads, {own.begin(), own.end()});

    for (const bool external : {true, false}) {
        VDLDesign design = zigzag(200, "rose.dst");
        design.setDesignLocation(VDLURL::fileURLWithPath(docPath));
        design.setUseThreadFile(external);
        auto dialog = fx.open(design, 4);
        ExportFixture::exportTo(*dialog);
        VDLExportSavePanel* panel = dialog->savePanel();
        ASSERT_NE(panel, nullptr);
        const QString target = fx.stick + (external ? "/EMB_FILE/rose.jef" : "/EMB_FILE/plain.jef");
        panel->selectFile(target);
        panel->accept();
        ASSERT_TRUE(QFileInfo::exists(target));
        const QString copyThreads = QFileInfo(target).path() + "/" + QFileInfo(target).completeBaseName() + ".threads";
        EXPECT_EQ(QFileInfo::exists(copyThreads), external) << copyThreads.toStdString();
        EXPECT_EQ(slurp(docThreads), own);
    }
    // The colours file beside the copy holds the copy's threads.
    VDLDesign onStick;
    ASSERT_TRUE(onStick.importDesignFromURL(VDLURL::fileURLWithPath((fx.stick + "/EMB_FILE/rose.jef").toStdString())));
    EXPECT_TRUE(onStick.useThreadFile());
}

// No medium connected: the dialog says so and how to go on instead of an empty list; after the
// stick is inserted, Refresh lists it. Each machine entry names the file types it takes.
TEST(ExportSheet, NoMediumSaysWhatToDo) {
    ExportFixture fx;
    writeFile(fx.sys.root() + "/mountinfo", QByteArray());
    auto dialog = fx.open(zigzag(10, "rose.dst"), 1);
    EXPECT_TRUE(dialog->exportVolumePaths().isEmpty());
    EXPECT_TRUE(dialog->noMediumNote()->isVisible());
    EXPECT_FALSE(dialog->volumeTable()->isVisible());
    EXPECT_TRUE(dialog->noMediumNote()->text().contains("Refresh"));
    EXPECT_TRUE(dialog->noMediumNote()->text().startsWith("No removable medium"));

    writeFile(fx.sys.root() + "/mountinfo", mountLine(23, fx.stick, "vfat", "/dev/sdb1"));
    dialog->refreshButton()->click();
    EXPECT_EQ(dialog->exportVolumePaths(), QStringList({fx.stick}));
    EXPECT_TRUE(dialog->volumeTable()->isVisible());
    EXPECT_FALSE(dialog->noMediumNote()->isVisible());

    QStringList titles;
    for (int i = 0; i < dialog->machineType()->count(); ++i) titles << dialog->machineType()->itemText(i);
    EXPECT_EQ(titles.removeDuplicates(), 0);
    EXPECT_TRUE(dialog->machineType()->itemText(dialog->machineType()->findData(1)).endsWith("JEF"));
}
