// The player and printing on a real document window: the menu command of the application
// opens the player, which plays the frontmost document; the document exports its page as PDF.
#include "DocumentTestSupport.h"
#include "VDLAppController.h"
#include "VDLDesignView.h"
#include "VDLPlayerController.h"

#include <QAction>
#include <QProcess>
#include <QSlider>
#include <QTest>

#include <cstdlib>

namespace {
class PlayerDocumentTest : public DocumentTest {};
}  // namespace

TEST_F(PlayerDocumentTest, StitchPlayerPlaysTheFrontmostDocument) {
    VDLAppController* app = VDLAppController::instance();
    auto* player = qobject_cast<VDLPlayerController*>(app->playerController());
    ASSERT_NE(player, nullptr);
    player->startAnimation();  // no document yet
    EXPECT_EQ(player->state(), VDLPlayerController::State::Stopped);

    VDLDocument* doc = open(sample("flower.pes"));
    ASSERT_NE(doc, nullptr);
    doc->window()->activateWindow();
    QApplication::processEvents();
    ASSERT_EQ(app->currentDocument(), doc);
    app->showSimulator(nullptr);
    EXPECT_TRUE(player->isVisible());
    player->startAnimation();
    EXPECT_EQ(player->state(), VDLPlayerController::State::Playing);
    EXPECT_EQ(player->patternView(), doc->patternView());
    EXPECT_LT(doc->myDesign().displayRange().length, doc->myDesign().stitches().size());

    // Paused at 60 %: the canvas shows the design sewn so far (the README's screenshots when
    // VARDELLE_SCREENSHOT_DIR is set; run under Xvfb for the real window decorations).
    player->progressSlider()->setValue(6000);
    player->pauseAnimation();
    EXPECT_EQ(player->state(), VDLPlayerController::State::Paused);
    EXPECT_NEAR(doc->patternView()->animationProgress(), 0.6, 0.001);
    ASSERT_TRUE(doc->patternView()->waitForRender());
    if (const char* shots = std::getenv("VARDELLE_SCREENSHOT_DIR")) {
        QTest::qWait(300);
        ASSERT_TRUE(player->grab().save(QString(shots) + "/player.png"));
        ASSERT_TRUE(doc->window()->grab().save(QString(shots) + "/player-document.png"));
    }

    // Closing the document stops the player.
    doc->window()->close();
    QApplication::processEvents();
    EXPECT_EQ(player->state(), VDLPlayerController::State::Stopped);
    player->close();
}

TEST_F(PlayerDocumentTest, ExportAsPDF) {
    VDLDocument* doc = open(sample("flower.pes"));
    ASSERT_NE(doc, nullptr);
    const QString pdf = QString::fromStdString(dir.file("flower.pdf"));
    VDLError error;
    ASSERT_TRUE(doc->exportPDFToURL(pdf, &error)) << error.message();
    QProcess text;
    text.start("pdftotext", {pdf, "-"});
    ASSERT_TRUE(text.waitForFinished(30000));
    const QString page = QString::fromUtf8(text.readAllStandardOutput());
    EXPECT_TRUE(page.contains("Version: PES")) << page.toStdString();
    EXPECT_TRUE(page.contains("Brother (internal)"));

    // A folder that cannot be written keeps the failure: nothing is claimed to be written.
    EXPECT_FALSE(doc->exportPDFToURL(QString::fromStdString(dir.file("missing/flower.pdf")), &error));
}
