// The panels the user goes through: Open, Save As, Save To, closing with unsaved changes, and
// reverting to the saved file.
#include "DocumentTestSupport.h"

#include "ModalTestSupport.h"
#include "VDLAppController.h"

#include <QAction>
#include <QDir>
#include <QMessageBox>
#include <QFileDialog>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>

#include <functional>

using modal::chooseFile;
using modal::whenModal;

TEST_F(DocumentTest, OpenPanelIsTitledOpenStartsInDocumentsAndOpensTheChosenFiles) {
    VDLDefaults::standard().removeValue(QStringLiteral("NSNavLastRootDirectory"));
    const QString chosen = sample("flower.pcs");
    QString title, prompt, startDir;
    QStringList filters;
    whenModal([&](QWidget* w) {
        auto* panel = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(panel, nullptr);
        title = panel->windowTitle();
        prompt = panel->labelText(QFileDialog::Accept);
        startDir = panel->directory().absolutePath();
        filters = panel->nameFilters();
        chooseFile(panel, chosen);
        QMetaObject::invokeMethod(panel, "accept");
    });
    controller()->openDocument(nullptr);
    EXPECT_EQ(title, "Open");
    EXPECT_EQ(prompt, "Open");
    // The first panel starts in ~/Documents (the home folder when there is none).
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    EXPECT_EQ(startDir, QDir(QDir(documents).exists() ? documents : QDir::homePath()).absolutePath());
    ASSERT_EQ(filters.size(), 13);  // all designs, then the 12 readable types
    for (const char* ext : {"*.dst", "*.exp", "*.vp3", "*.ksm", "*.pes", "*.pec", "*.jef", "*.jpx", "*.sew", "*.pcs",
                            "*.pcd", "*.pcq"})
        EXPECT_TRUE(filters[0].contains(QString::fromLatin1(ext))) << ext;
    ASSERT_EQ(controller()->documents().size(), 1);
    EXPECT_EQ(controller()->documents()[0]->fileName(), QFileInfo(chosen).absoluteFilePath());
    // The next panel starts where this one ended.
    EXPECT_FALSE(documents.isEmpty());
    EXPECT_EQ(VDLDefaults::standard().stringForKey(QStringLiteral("NSNavLastRootDirectory")),
              QFileInfo(chosen).absolutePath());
}

TEST_F(DocumentTest, SaveAsTakesTheNewFileAndSaveToLeavesTheDocumentOnItsOwn) {
    VDLDocument* doc = open(sample("flower.exp"));
    ASSERT_NE(doc, nullptr);
    QAction palette(QStringLiteral("Janome"));
    doc->changePalette(&palette);

    // Save To: a copy as PEC; the document still stands for flower.exp with its changes.
    const QString copy = QString::fromStdString(dir.file("copy"));
    whenModal([&](QWidget* w) {
        auto* panel = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(panel, nullptr);
        EXPECT_EQ(panel->nameFilters().size(), 6);
        panel->selectNameFilter(panel->nameFilters().filter(QStringLiteral("PEC")).value(0));
        chooseFile(panel, copy);
        QMetaObject::invokeMethod(panel, "accept");
    });
    doc->saveDocumentTo(nullptr);
    EXPECT_TRUE(QFileInfo::exists(copy + QStringLiteral(".pec")));
    EXPECT_TRUE(doc->fileName().endsWith(QStringLiteral("flower.exp")));
    EXPECT_TRUE(doc->isDocumentEdited());
    EXPECT_EQ(doc->undoStack()->count(), 1);

    // Save As: the document becomes the new file, saved and clean.
    const QString renamed = QString::fromStdString(dir.file("renamed.jef"));
    whenModal([&](QWidget* w) {
        auto* panel = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(panel, nullptr);
        chooseFile(panel, renamed);
        QMetaObject::invokeMethod(panel, "accept");
    });
    doc->saveDocumentAs(nullptr);
    EXPECT_EQ(doc->fileName(), QFileInfo(renamed).absoluteFilePath());
    EXPECT_EQ(doc->fileType(), "JEF");
    EXPECT_EQ(doc->title(), "renamed.jef");
    EXPECT_FALSE(doc->isDocumentEdited());
    VDLDesign reread;
    EXPECT_TRUE(reread.importDesignFromURL(VDLURL::fileURLWithPath(renamed.toStdString())));
}

TEST_F(DocumentTest, ClosingWithUnsavedChangesAsksAndRevertGoesBackToTheFile) {
    VDLDocument* doc = open(sample("flower.dst"));
    ASSERT_NE(doc, nullptr);
    QAction palette(QStringLiteral("Madeira Rayon"));
    doc->changePalette(&palette);
    doc->setViewScaling(300);

    // Cancel keeps the window.
    QString question;
    whenModal([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        question = box->text();
        box->button(QMessageBox::Cancel)->click();
    });
    EXPECT_FALSE(doc->window()->close());
    EXPECT_TRUE(question.contains(QStringLiteral("flower.dst")));
    EXPECT_EQ(controller()->documents().size(), 1);

    // Revert: the file's design, 100 %, clean, nothing to undo.
    doc->revertDocumentToSaved(nullptr);
    EXPECT_EQ(doc->myDesign().designPalette(), "Undefined");
    EXPECT_EQ(doc->viewScaling(), 100.0f);
    EXPECT_FALSE(doc->isDocumentEdited());
    EXPECT_EQ(doc->undoStack()->count(), 0);

    // Unchanged: closes without asking; the document goes away.
    QPointer<VDLDocument> gone(doc);
    EXPECT_TRUE(doc->window()->close());
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(gone.isNull());
    EXPECT_TRUE(controller()->documents().isEmpty());

    // Changed again, Discard closes.
    VDLDocument* again = open(sample("flower.dst"));
    ASSERT_NE(again, nullptr);
    again->changePalette(&palette);
    whenModal([](QWidget* w) {
        if (auto* box = qobject_cast<QMessageBox*>(w)) box->button(QMessageBox::Discard)->click();
    });
    EXPECT_TRUE(again->window()->close());
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(controller()->documents().isEmpty());
}
