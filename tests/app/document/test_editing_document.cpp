// The editing commands through a real document window on the offscreen platform: undo and redo
// with zoom and centre kept, the dialogs, the clipboard, palettes, colours, hoops and the
// thread list beside the canvas.
#include "EditingTestSupport.h"
#include "TestSupport.h"
#include "VDLColorPanel.h"
#include "VDLDefaults.h"
#include "VDLDesignClipboard.h"
#include "VDLDesignView.h"
#include "VDLDocument.h"
#include "VDLEditDialog.h"
#include "VDLThreadListView.h"
#include "VDLUndoBudget.h"
#include "VDLUndoCommand.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QClipboard>
#include <QMainWindow>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QUndoStack>

#include <gtest/gtest.h>

#include <memory>

namespace {
struct DocumentFixture : ::testing::Test {
    TempDir dir;
    VDLDocument* doc = nullptr;

    void open(const VDLDesign& design, const std::string& name = "design.dst") {
        VDLDesign d = design;
        ASSERT_TRUE(d.exportDesignToURL(dir.url(name)));
        VDLError error;
        doc = VDLDocument::open(QString::fromStdString(dir.file(name)), &error);
        ASSERT_NE(doc, nullptr) << error.description();
        doc->undoStack()->clear();
    }
    void TearDown() override {
        delete doc;
        QApplication::clipboard()->clear();
        VDLUndoBudget::setBudget(0);
        VDLDefaults::standard().removeValue("AlertReset");
        VDLDefaults::standard().removeValue("BastingLength");
        VDLDefaults::standard().removeValue("BastingDistance");
    }
    void selectRange(size_t from, size_t to) {
        VDLDesign& d = doc->myDesign();
        d.deselectAll();
        for (size_t i = from; i < to && i < d.stitches().size(); ++i) d.stitches()[i].isSelected = true;
        d.setSelectionActive(true);
    }
    int steps() const { return doc->undoStack()->index(); }
    QMessageBox* alert() const {
        for (auto* box : doc->window()->findChildren<QMessageBox*>())
            if (box->isVisible()) return box;
        return nullptr;
    }
    bool validate(const char* selector) {
        QAction a;
        a.setObjectName(selector);
        return doc->validateUserInterfaceItem(&a);
    }
};

}  // namespace

// Undo after a move restores the exact design and selection, redo brings the move back, and the
// canvas keeps its zoom and centre point through both. A drag (the design already moved, the
// snapshot taken by the view) is one step too. The budget bounds the steps a document keeps.
TEST_F(DocumentFixture, MoveUndoRedoKeepsDesignZoomAndCentre) {
    open(makeBlockDesign(3, 200));
    selectRange(20, 90);
    VDLDesignView* view = doc->patternView();
    ASSERT_NE(view, nullptr);
    doc->setViewScaling(250);
    view->scrollPointToCentre(VDLPoint{15, -10});
    QApplication::processEvents();
    const float scale = view->scale();
    const VDLPoint centre = view->centredPointInDocView();

    const VDLDesign before = doc->myDesign();
    doc->moveByVector(25, -10, std::nullopt);
    const VDLDesign after = doc->myDesign();
    ASSERT_FALSE(sameDesign(before, after));
    EXPECT_EQ(doc->undoStack()->undoText(), "move");
    EXPECT_TRUE(doc->isDocumentEdited());

    doc->undoStack()->undo();
    QApplication::processEvents();
    EXPECT_TRUE(sameDesign(doc->myDesign(), before));
    EXPECT_FLOAT_EQ(view->scale(), scale);
    EXPECT_NEAR(view->centredPointInDocView().x, centre.x, 1.0);
    EXPECT_NEAR(view->centredPointInDocView().y, centre.y, 1.0);
    doc->undoStack()->redo();
    QApplication::processEvents();
    EXPECT_TRUE(sameDesign(doc->myDesign(), after));
    EXPECT_FLOAT_EQ(view->scale(), scale);
    EXPECT_NEAR(view->centredPointInDocView().x, centre.x, 1.0);

    // A drag: the view moved the design itself and hands over the design before the drag.
    const VDLDesign beforeDrag = doc->myDesign();
    doc->myDesign().moveSelectionByVector({3, 3});
    doc->myDesign().moveSelectionByVector({4, 1});
    doc->moveByVector(3, 3, beforeDrag);
    EXPECT_EQ(steps(), 2);
    doc->undoStack()->undo();
    EXPECT_TRUE(sameDesign(doc->myDesign(), after));

    VDLUndoBudget::setBudget(VDLUndoCommand::bytesOfDesign(before) * 3);
    for (int i = 0; i < 8; ++i) doc->moveByVector(1, 0, std::nullopt);
    EXPECT_LE(steps(), 3);
    EXPECT_GE(steps(), 2);
}

// The free-rotation dialog turns clockwise degrees into the model's counter-clockwise ones;
// the resize dialog ignores factors that round to 100 %; while a dialog is open nothing else
// edits the design.
TEST_F(DocumentFixture, RotationAndResizeDialogs) {
    open(makeBlockDesign(2, 120));
    doc->myDesign().selectAll();
    const VDLDesign start = doc->myDesign();
    auto rotateBy = [&](int degrees) {
        doc->rotateFree(nullptr);
        VDLEditDialog* dialog = doc->activeEditDialog();
        EXPECT_NE(dialog, nullptr);
        if (!dialog) return;
        EXPECT_EQ(dialog->windowModality(), Qt::WindowModal);
        dialog->setRotateDegree(degrees);
        dialog->accept();
    };
    for (const auto& [clockwise, model] : {std::pair{90, 270}, std::pair{-90, 90}}) {
        rotateBy(clockwise);
        VDLDesign expected = start;
        ASSERT_TRUE(expected.rotateSelectionByDegrees(model));
        EXPECT_TRUE(sameDesign(doc->myDesign(), expected)) << clockwise;
        EXPECT_EQ(doc->undoStack()->undoText(), "rotate");
        doc->undoStack()->undo();
        EXPECT_TRUE(sameDesign(doc->myDesign(), start));
    }
    const int before = steps();
    rotateBy(360);
    EXPECT_EQ(steps(), before);

    doc->resizeStitches(nullptr);
    ASSERT_NE(doc->activeEditDialog(), nullptr);
    doc->flipV(nullptr);  // blocked while the dialog is open
    doc->deleteSelected(nullptr);
    EXPECT_EQ(steps(), before);
    doc->activeEditDialog()->setResizePercent(0.996);
    doc->activeEditDialog()->accept();
    EXPECT_EQ(steps(), before);
    EXPECT_TRUE(sameDesign(doc->myDesign(), start));
    doc->resizeStitches(nullptr);
    doc->activeEditDialog()->setResizePercent(0.994);
    doc->activeEditDialog()->accept();
    EXPECT_EQ(steps(), before + 1);
    EXPECT_EQ(doc->undoStack()->undoText(), "resize");
    EXPECT_FALSE(sameDesign(doc->myDesign(), start));
}

// Basting stores its values and adds one step; a length of 0 does nothing and keeps the
// stored values.
TEST_F(DocumentFixture, BastingDialogStoresItsValues) {
    open(makeBlockDesign(2, 60));
    doc->bastingDialog(nullptr);
    doc->activeEditDialog()->setBasting(0.0, 2.0);
    doc->activeEditDialog()->accept();
    EXPECT_EQ(steps(), 0);
    EXPECT_FLOAT_EQ(VDLDefaults::standard().floatForKey("BastingLength"), 5.0f);
    const size_t count = doc->myDesign().stitches().size();
    doc->bastingDialog(nullptr);
    doc->activeEditDialog()->setBasting(3.0, 2.0);
    doc->activeEditDialog()->accept();
    EXPECT_EQ(steps(), 1);
    EXPECT_EQ(doc->undoStack()->undoText(), "basting");
    EXPECT_GT(doc->myDesign().stitches().size(), count);
    EXPECT_FLOAT_EQ(VDLDefaults::standard().floatForKey("BastingLength"), 3.0f);
    EXPECT_FLOAT_EQ(VDLDefaults::standard().floatForKey("BastingDistance"), 2.0f);
}

// Copy without a selection leaves Paste disabled and cut does nothing; a copied selection
// pastes at the end and is exactly the new selection; a corrupt archive pastes nothing and
// says so; cut is one step.
TEST_F(DocumentFixture, ClipboardCopyCutPaste) {
    open(makeBlockDesign(3, 100));
    doc->myDesign().deselectAll();
    doc->cut(nullptr);
    EXPECT_EQ(steps(), 0);
    doc->copy(nullptr);
    const QMimeData* data = QApplication::clipboard()->mimeData();
    ASSERT_NE(data, nullptr);
    EXPECT_FALSE(data->hasFormat(VDLDesignClipboard::kMimeType));
    EXPECT_TRUE(data->hasImage());
    EXPECT_TRUE(data->hasText());
    EXPECT_FALSE(validate("paste:"));

    selectRange(110, 150);
    const VDLDesign part = *VDLDesignClipboard::selectedPart(doc->myDesign());
    const size_t copied = part.stitches().size();
    doc->copy(nullptr);
    EXPECT_TRUE(validate("paste:"));
    const VDLDesign before = doc->myDesign();
    doc->paste(nullptr);
    EXPECT_EQ(steps(), 1);
    EXPECT_EQ(doc->undoStack()->undoText(), "paste");
    const VDLDesign& pasted = doc->myDesign();
    EXPECT_GT(pasted.stitches().size(), before.stitches().size() + copied - 1);
    // The selection is the tail of the design and holds every pasted needle drop (a leading
    // jump of the part may merge with the jump that bridges to it).
    size_t firstSelected = pasted.stitches().size();
    for (size_t i = 0; i < pasted.stitches().size(); ++i)
        if (pasted.stitches()[i].isSelected) {
            firstSelected = i;
            break;
        }
    EXPECT_GE(firstSelected, before.stitches().size());
    EXPECT_EQ(selectedStitchCount(pasted), pasted.stitches().size() - firstSelected);
    EXPECT_GE(selectedStitchCount(pasted) + 1, copied);
    size_t partDrops = 0, pastedDrops = 0;
    for (const VDLStitch& st : part.stitches()) partDrops += st.isJumpStitch ? 0 : 1;
    for (size_t i = firstSelected; i < pasted.stitches().size(); ++i) pastedDrops += pasted.stitches()[i].isJumpStitch ? 0 : 1;
    EXPECT_EQ(pastedDrops, partDrops);
    EXPECT_EQ(pasted.threads().size(), before.threads().size() + part.threads().size());
    doc->undoStack()->undo();
    EXPECT_TRUE(sameDesign(doc->myDesign(), before));

    auto* corrupt = new QMimeData;
    corrupt->setData(VDLDesignClipboard::kMimeType, "<plist><dict><key>x");
    QApplication::clipboard()->setMimeData(corrupt);
    doc->paste(nullptr);
    EXPECT_EQ(steps(), 0);
    EXPECT_NE(alert(), nullptr);
    EXPECT_TRUE(sameDesign(doc->myDesign(), before));

    selectRange(0, 30);
    const VDLDesign beforeCut = doc->myDesign();
    doc->cut(nullptr);
    EXPECT_EQ(doc->undoStack()->undoText(), "cut");
    EXPECT_FALSE(doc->myDesign().selectionActive());
    EXPECT_LT(doc->myDesign().stitches().size(), beforeCut.stitches().size());
    EXPECT_TRUE(VDLDesignClipboard::canPaste(QApplication::clipboard()->mimeData()));
    doc->undoStack()->undo();
    EXPECT_TRUE(sameDesign(doc->myDesign(), beforeCut));
}

// Choosing the tool that is already active switches the canvas to thread picking.
TEST_F(DocumentFixture, ActiveToolAgainSwitchesToThreadPicking) {
    open(makeBlockDesign(2, 40));
    doc->selectStitch(nullptr);
    EXPECT_EQ(doc->patternView()->selectionMode(), 2);
    doc->selectStitch(nullptr);
    EXPECT_EQ(doc->patternView()->selectionMode(), -1);
}

// Reset palette goes back to the palette of the design's format, after a confirmation that
// can be suppressed; the reset is one step.
TEST_F(DocumentFixture, ResetPalettePerFormat) {
    open(makeBlockDesign(3, 40));
    doc->changeWithUndoPalette("Janome", true);
    ASSERT_EQ(doc->myDesign().designPalette(), "Janome");
    doc->resetPalette(nullptr);
    auto* box = qobject_cast<QMessageBox*>(doc->activeResetAlert());
    ASSERT_NE(box, nullptr);
    doc->changeWithUndoPalette("Brother", true);  // nothing edits while the confirmation is open
    box->checkBox()->setChecked(true);
    for (QAbstractButton* b : box->buttons())
        if (b->text() == "Reset") b->click();
    QApplication::processEvents();
    EXPECT_EQ(doc->myDesign().designPalette(), "Undefined");
    EXPECT_FALSE(doc->myDesign().useThreadFile());
    EXPECT_EQ(doc->undoStack()->undoText(), "palette reset");
    EXPECT_TRUE(VDLDefaults::standard().boolForKey("AlertReset"));

    // Suppressed: no confirmation any more.
    doc->changeWithUndoPalette("Janome", true);
    doc->myDesign().setDesignType("VP3");
    doc->resetPalette(nullptr);
    EXPECT_EQ(doc->activeResetAlert(), nullptr);
    EXPECT_EQ(doc->myDesign().designPalette(), "");
    doc->myDesign().setDesignType("JEF");
    doc->resetPalette(nullptr);
    EXPECT_EQ(doc->myDesign().designPalette(), "Janome");
    const int count = steps();
    doc->myDesign().setDesignType("XYZ");
    doc->resetPalette(nullptr);
    EXPECT_EQ(steps(), count);
    doc->undoStack()->undo();
    EXPECT_EQ(doc->myDesign().designPalette(), "");
}

// Picking a colour while all threads are shown changes nothing; with one thread shown it
// recolours that thread (an "Undefined" design first becomes individual colours) as one step.
TEST_F(DocumentFixture, ColourPanelRecoloursTheShownThread) {
    open(makeBlockDesign(3, 40));
    const VDLDesign start = doc->myDesign();
    ASSERT_EQ(start.designPalette(), "Undefined");
    VDLColorPanel* panel = VDLColorPanel::sharedColorPanel();
    panel->setDelegate(doc);
    panel->pickColor(QColor(200, 10, 10));
    EXPECT_EQ(steps(), 0);
    EXPECT_TRUE(sameDesign(doc->myDesign(), start));

    doc->showThread(1);
    EXPECT_EQ(panel->delegate(), doc);
    EXPECT_TRUE(panel->isVisible());
    EXPECT_EQ(doc->threadList()->selectedThreadRow(), 1);
    panel->pickColor(QColor(200, 10, 10));
    EXPECT_EQ(steps(), 1);
    EXPECT_EQ(doc->undoStack()->undoText(), "color change");
    const VDLDesign& d = doc->myDesign();
    EXPECT_NEAR(d.colorOfThread(1).red(), 200 / 255.0, 1e-6);
    EXPECT_EQ(d.paletteOfThread(1), "");
    EXPECT_EQ(d.paletteOfThread(0), "");
    EXPECT_TRUE(d.colorOfThread(0) == start.colorOfThread(0));
    doc->undoStack()->undo();
    EXPECT_TRUE(sameDesign(doc->myDesign(), start));
    EXPECT_FALSE(doc->myDesign().isShownOfThread(0));  // still showing thread 1 alone

    doc->showAllThreads();
    EXPECT_FALSE(panel->isVisible());
    EXPECT_EQ(panel->delegate(), nullptr);
}

// The thread list sits in the window: clicking shows one thread, clicking it again shows all;
// a drop moves a block as one step.
TEST_F(DocumentFixture, ThreadListInTheWindow) {
    open(makeBlockDesign(4, 50));
    VDLThreadListView* list = doc->threadList();
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(doc->window()->isAncestorOf(list));
    EXPECT_EQ(list->rowCount(), 4);
    EXPECT_TRUE(list->waitForIcons());

    list->clickRow(2);
    EXPECT_EQ(doc->myDesign().indexOfShownThread(), 2);
    EXPECT_FALSE(doc->myDesign().isShownOfAllThreads());
    list->clickRow(2);
    EXPECT_TRUE(doc->myDesign().isShownOfAllThreads());
    EXPECT_EQ(list->selectedThreadRow(), -1);

    const VDLDesign before = doc->myDesign();
    list->dropRow(0, 3);
    EXPECT_EQ(steps(), 1);
    EXPECT_EQ(doc->undoStack()->undoText(), "thread move");
    EXPECT_TRUE(doc->myDesign().colorOfThread(2) == before.colorOfThread(0));
    EXPECT_EQ(list->rowCount(), 4);
    list->dropRow(1, 1);
    EXPECT_EQ(steps(), 1);
    doc->undoStack()->undo();
    EXPECT_TRUE(sameDesign(doc->myDesign(), before));
}

// Hoop choices are steps without a snapshot; undo puts the old hoop back.
TEST_F(DocumentFixture, HoopChoiceUndoes) {
    open(makeBlockDesign(2, 40));
    doc->myDesign().setDesignType("JEF");
    const int32_t old = doc->myDesign().hoopCode();
    auto hoops = VDLDesign::allHoopsFromVendor("Janome");
    ASSERT_TRUE(hoops && hoops->size() > 1);
    const VDLHoop target = hoops->at(1).code() == old ? hoops->at(0) : hoops->at(1);
    QAction item(QString::fromStdString(target.description()));
    item.setObjectName("selectHoopJanome:");
    item.setData(target.code());
    doc->selectHoopJanome(&item);
    EXPECT_EQ(doc->myDesign().hoopCode(), target.code());
    EXPECT_EQ(doc->undoStack()->undoText(), "change hoop");
    EXPECT_TRUE(validate("selectHoopJanome:"));
    doc->undoStack()->undo();
    EXPECT_EQ(doc->myDesign().hoopCode(), old);
}

// Archives on the clipboard that no format could hold, or that disagree with themselves, are
// refused with the reason before any work: the paste into a JEF document used to ask for
// gigabytes, and a design with a thread too many pasted and then saved a file our own reader
// refused.
TEST_F(DocumentFixture, PasteRefusesUnsoundArchivesWithTheReason) {
    open(makeDesign({{10, 10, false, false}, {20, 0, false, false}, {0, 0, false, true}, {5, 5, false, false}}, "JEF"),
         "design.jef");
    const VDLDesign before = doc->myDesign();
    auto offer = [](const std::string& xml) {
        auto* data = new QMimeData;
        data->setData(VDLDesignClipboard::kMimeType, QByteArray(xml.data(), qsizetype(xml.size())));
        QApplication::clipboard()->setMimeData(data);
    };
    auto alertText = [&] {
        QMessageBox* box = alert();
        const QString text = box ? box->text() + QLatin1Char(' ') + box->informativeText() : QString();
        if (box) box->close();
        return text;
    };

    std::vector<VDLStitch> huge;
    for (int i = 0; i < 4000; ++i) huge.emplace_back(i % 2 ? -16777215.0f : 16777215.0f, 0.0f, false, false);
    VDLDesign far = makeDesign(huge, "JEF");
    far.selectAll();
    offer(far.archivedXML());
    QElapsedTimer clock;
    clock.start();
    doc->paste(nullptr);
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(steps(), 0);
    EXPECT_TRUE(alertText().contains("farther than any embroidery file can hold"));
    EXPECT_TRUE(sameDesign(doc->myDesign(), before));

    VDLDesign extraThread = makeDesign({{10, 10, false, false}, {0, 0, false, true}, {4, 4, false, false}}, "JEF");
    extraThread.threads().emplace_back("5", "Undefined");
    offer(extraThread.archivedXML());
    doc->paste(nullptr);
    EXPECT_EQ(steps(), 0);
    EXPECT_TRUE(alertText().contains("one thread for each colour"));
    EXPECT_TRUE(sameDesign(doc->myDesign(), before));

    // 200,000 nested arrays crashed the parser on paste.
    std::string deep = "<plist version=\"1.0\">";
    for (int i = 0; i < 200000; ++i) deep += "<array>";
    offer(deep);
    doc->paste(nullptr);
    EXPECT_EQ(steps(), 0);
    EXPECT_TRUE(alertText().contains("no design that can be pasted"));

    // The sound part of the same design pastes.
    extraThread.threads().pop_back();
    offer(extraThread.archivedXML());
    doc->paste(nullptr);
    EXPECT_EQ(steps(), 1);
    EXPECT_EQ(doc->myDesign().threads().size(), before.threads().size() + 2);
}
