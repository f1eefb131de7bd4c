// The editing commands of a document: every change to the design goes through the document's
// undo stack as one step. Geometry and stitch edits keep a whole-design snapshot (undo and redo
// swap the design); palette, colour and hoop changes keep only threads and hoop. The stack is
// bounded by the memory its snapshots hold (VDLUndoBudget).
#include "VDLDocument.h"

#include "VDLColorPanel.h"
#include "VDLDefaults.h"
#include "VDLDesignClipboard.h"
#include "VDLDesignView.h"
#include "VDLEditDialog.h"
#include "VDLLocalization.h"
#include "VDLPropertiesCommand.h"
#include "VDLSnapshotCommand.h"
#include "VDLThreadListDelegate.h"
#include "VDLThreadListView.h"
#include "VDLUndoBudget.h"
#include "VDLUndoTarget.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QMainWindow>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QUndoStack>

namespace {
QString undoName(const char* key, const char* english) {
    return QString::fromStdString(VDLLocalizedString(key, "Localizable", english));
}
QString docText(const char* key, const char* english) {
    return QString::fromStdString(VDLLocalizedString(key, "VDLDocument", english));
}
int senderSegment(QObject* sender) {
    if (!sender) return -1;
    for (const char* name : {"segment", "selectedSegment"}) {
        const QVariant v = sender->property(name);
        if (v.isValid()) return v.toInt();
    }
    return -1;
}
}  // namespace

// What the undo steps and the thread list ask of the document, kept apart from the document's
// own class so the interfaces stay small.
class VDLEditingBridge : public QObject, public VDLUndoTarget, public VDLThreadListDelegate {
public:
    explicit VDLEditingBridge(VDLDocument* doc) : QObject(doc), doc_(doc) {}
    VDLDesign& myDesign() override { return doc_->myDesign(); }
    // The canvas's zoom and centre point are read before the design leaves the document (they
    // are relative to the design's bounds) and set again after the other design is in.
    void swapDesign(VDLDesign& other) override {
        const VDLViewState view = viewState();
        VDLDesign current = std::move(doc_->myDesign());
        doc_->setDesign(std::move(other));
        other = std::move(current);
        restoreViewState(view);
    }
    VDLViewState viewState() const override {
        VDLDesignView* view = doc_->patternView();
        if (!view) return {};
        return VDLViewState{true, view->scale(), view->fitRect(), view->centredPointInDocView()};
    }
    void restoreViewState(const VDLViewState& state) override {
        VDLDesignView* view = doc_->patternView();
        if (view && state.valid) {
            view->setFitRect(state.fitRect);
            view->setScale(state.scale);
            doc_->setViewScaling(state.scale * 100.0f);
            view->scrollPointToCentre(state.centre);
        }
        doc_->updateView();
        doc_->updateToolbar();
    }
    void designPropertiesChanged() override {
        doc_->updateView();
        doc_->updateToolbar();
    }
    void showThread(int index) override { doc_->showThread(index); }
    void showAllThreads() override {
        if (doc_->myDesign().isShownOfAllThreads() && threadList) threadList->deselectThreadRows();
        doc_->showAllThreads();
    }
    void moveThreadFromIndex(int from, int to) override { doc_->moveThreadFromIndex(from, to); }
    void deleteThreadWithIndex(int index) override { doc_->deleteThreadWithIndex(index); }

    VDLThreadListView* threadList = nullptr;

private:
    VDLDocument* doc_;
};

void VDLDocument::installEditing() {
    editing_ = new VDLEditingBridge(this);
    bastingLength_ = VDLDefaults::standard().floatForKey("BastingLength");
    bastingDistance_ = VDLDefaults::standard().floatForKey("BastingDistance");

    auto* list = new VDLThreadListView();
    list->setParentDocument(editing_);
    list->setMinimumWidth(190);
    list->setMaximumWidth(260);
    editing_->threadList = list;
    setThreadListWidget(list);
    QPointer<VDLThreadListView> guard(list);
    setThreadListUpdater([guard] {
        if (guard) guard->updateThreadList();
    });
    // Showing one thread hands its colour to the colour panel and makes this document the
    // panel's delegate; showing all threads closes the panel.
    setColorPanelHook([this, guard](int thread) {
        if (thread >= 0 && thread < int(myDesign().threads().size())) {
            if (guard) guard->selectThreadRow(thread);
            const VDLColor& c = myDesign().colorOfThread(thread);
            VDLColorPanel* panel = VDLColorPanel::sharedColorPanel();
            panel->setColor(QColor::fromRgbF(float(c.red()), float(c.green()), float(c.blue())));
            const VDLThread& t = myDesign().threads()[size_t(thread)];
            panel->showEntry(QString::fromStdString(t.palette()), QString::fromStdString(t.key()));
            panel->setDelegate(this);
            panel->placeBeside(window());
            panel->show();
            panel->raise();
        } else {
            if (guard) guard->deselectThreadRows();
            if (VDLColorPanel::hasSharedColorPanel()) {
                VDLColorPanel* panel = VDLColorPanel::sharedColorPanel();
                if (panel->delegate() == this) {
                    panel->setDelegate(nullptr);
                    panel->hide();
                }
            }
        }
    });
    }

VDLThreadListView* VDLDocument::threadList() const { return editing_ ? editing_->threadList : nullptr; }

// ---- Undo plumbing ---------------------------------------------------------------------------

void VDLDocument::pushEdit(QUndoCommand* command) {
    undoStack()->push(command);
    VDLUndoBudget::enforce(*undoStack());
}

void VDLDocument::snapshotEdit(const QString& actionName, const QString& alertTitle,
                               std::function<bool(VDLDesign&, VDLError*)> operation, std::function<void()> onSuccess,
                               std::optional<VDLDesign> snapshot) {
    auto fresh = [this, alertTitle, operation = std::move(operation), onSuccess = std::move(onSuccess)] {
        VDLError error;
        if (operation(myDesign(), &error)) {
            if (onSuccess) {
                onSuccess();
            } else {
                updateView();
                updateToolbar();
            }
        } else {
            anyAlertDisplay(alertTitle, QString::fromStdString(error.localizedRecoverySuggestion()), 2);
        }
    };
    if (snapshot)
        pushEdit(new VDLSnapshotCommand(*editing_, actionName, std::move(*snapshot), std::move(fresh)));
    else
        pushEdit(new VDLSnapshotCommand(*editing_, actionName, std::move(fresh)));
}

// Nothing edits the design while one of the command dialogs or the reset confirmation is open.
bool VDLDocument::editingBlocked() const { return !editDialog_.isNull() || !resetAlert_.isNull(); }

// ---- Undoable operations -----------------------------------------------------------------------

void VDLDocument::toggleSelectionToJumps(bool toJumps) {
    snapshotEdit(undoName("UNDO_STITCHES", "convert stitches"), docText("STITCHCONVERT_ALERT_TITLE", "Convert stitches"),
                 [toJumps](VDLDesign& d, VDLError* e) { return d.switchSelectionToJumps(toJumps, e); });
}

void VDLDocument::deleteWithUndo() {
    snapshotEdit(undoName("UNDO_DELETE", "delete"), docText("DELETE_ALERT_TITLE", "Delete Design"),
                 [](VDLDesign& d, VDLError* e) {
                     if (!d.deleteSelection(e)) return false;
                     d.deselectAll();
                     return true;
                 });
}

void VDLDocument::bastingWithStitchlength(float length, float distance) {
    snapshotEdit(undoName("UNDO_BASTING", "basting"), docText("BASTING_ALERT_TITLE", "Add basting"),
                 [length, distance](VDLDesign& d, VDLError* e) { return d.addBastingWithLength(length, distance, e); });
}

bool VDLDocument::selectionStartsBlock(const VDLDesign& d) {
    // The first selected record; everything between the colour change that opens its block
    // (or the start of the list) and it only travels.
    const std::vector<VDLStitch>& list = d.stitches();
    size_t s = 0;
    while (s < list.size() && !list[s].isSelected) ++s;
    if (s == list.size()) return false;
    if (list[s].isColorChange) return true;
    for (size_t j = s; j-- > 0;) {
        if (list[j].isColorChange) return true;
        if (!list[j].isJumpStitch && !list[j].isNullStitch()) return false;
    }
    return true;
}

void VDLDocument::insertThreadBeforeSelectionWithOldDesign() {
    // A new colour starting at the first stitch of a block would leave the block before it
    // with nothing but that stitch's travel, and the stitch sewn in the old colour: nothing to
    // do there, the block already starts at the selection.
    if (selectionStartsBlock(myDesign())) return;
    snapshotEdit(undoName("UNDO_THREADINSERT", "thread insert"), docText("THREADINSERT_ALERT_TITLE", "Insert thread"),
                 [](VDLDesign& d, VDLError* e) { return d.insertThreadBeforeSelection(e); });
}

void VDLDocument::deleteThreadWithIndex(int index) {
    if (editingBlocked()) return;
    snapshotEdit(undoName("UNDO_THREADDELETE", "thread delete"), docText("THREADDELETE_ALERT_TITLE", "Delete thread"),
                 [index](VDLDesign& d, VDLError* e) { return d.deleteThreadAtIndex(index, e); });
}

void VDLDocument::moveThreadFromIndex(int from, int to) {
    if (editingBlocked()) return;
    snapshotEdit(undoName("UNDO_THREADMOVE", "thread move"), docText("THREADMOVE_ALERT_TITLE", "Move thread"),
                 [from, to](VDLDesign& d, VDLError* e) { return d.moveThreadFromIndex(from, to, e); });
}

void VDLDocument::moveByVector(double dx, double dy, std::optional<VDLDesign> oldDesign) {
    snapshotEdit(undoName("UNDO_MOVE", "move"), docText("MOVE_ALERT_TITLE", "Move Design"),
                 [dx, dy](VDLDesign& d, VDLError* e) { return d.moveSelectionByVector(VDLPoint{dx, dy}, e); }, nullptr,
                 std::move(oldDesign));
}

void VDLDocument::resizeByPercent(float factor) {
    snapshotEdit(undoName("UNDO_RESIZE", "resize"), docText("RESIZE_ALERT_TITLE", "Resize Design"),
                 [factor](VDLDesign& d, VDLError* e) { return d.resizeSelectionByPercent(factor, e); });
}

void VDLDocument::flipWithUndo(const QString& orientation) {
    const bool vertical = orientation == "V";
    snapshotEdit(vertical ? undoName("UNDO_FLIPV", "flip vertical") : undoName("UNDO_FLIPH", "flip horizontal"),
                 docText("FLIP_ALERT_TITLE", "Flip Design"),
                 [o = orientation.toStdString()](VDLDesign& d, VDLError* e) { return d.flipSelection(o, e); },
                 [this] { updateView(); });
}

void VDLDocument::rotateByDegrees(int degrees) {
    snapshotEdit(undoName("UNDO_ROTATE", "rotate"), docText("ROTATION_ALERT_TITLE", "Rotate Design"),
                 [degrees](VDLDesign& d, VDLError* e) { return d.rotateSelectionByDegrees(degrees, e); });
}

void VDLDocument::centerConfirmEnded() {
    snapshotEdit(undoName("UNDO_CENTER", "center"), QString(), [](VDLDesign& d, VDLError*) {
        d.centerDesign();
        return true;
    });
}

void VDLDocument::pasteWithUndo() {
    bool corrupt = false;
    std::string problem;
    auto pasted = VDLDesignClipboard::designFromMimeData(QApplication::clipboard()->mimeData(), &corrupt, &problem);
    if (!pasted) {
        if (corrupt) {
            QString text = docText("PASTE_ALERT_CORRUPT", "The clipboard holds no design that can be pasted.");
            if (!problem.empty()) text += QLatin1Char(' ') + QString::fromStdString(problem);
            anyAlertDisplay(docText("PASTE_ALERT_TITLE", "Paste Design"), text, 2);
        }
        return;
    }
    snapshotEdit(undoName("UNDO_PASTE", "paste"), docText("PASTE_ALERT_TITLE", "Paste Design"),
                 [p = std::move(*pasted)](VDLDesign& d, VDLError* e) mutable {
                     p.selectAll();
                     d.deselectAll();
                     return d.appendDesign(p, e);
                 },
                 [this] {
                     updateToolbar();
                     updateView();
                 });
}

void VDLDocument::cutWithUndo() {
    copy(nullptr);
    snapshotEdit(undoName("UNDO_CUT", "cut"), docText("CUT_ALERT_TITLE", "Cut Design"),
                 [](VDLDesign& d, VDLError* e) {
                     if (!d.deleteSelection(e)) return false;
                     d.deselectAll();
                     return true;
                 },
                 [this] {
                     updateToolbar();
                     updateView();
                 });
}

void VDLDocument::changePaletteWithUndo(const std::string& palette, bool useThreadFile, const QString& actionName) {
    pushEdit(new VDLPropertiesCommand(*editing_, actionName, [this, palette, useThreadFile] {
        VDLDesign& d = myDesign();
        for (int32_t i = 0; i < int32_t(d.threads().size()); ++i) d.changeThread(i, d.colorOfThread(i), palette);
        d.setUseThreadFile(useThreadFile);
        updateView();
        updateToolbar();
    }));
}

void VDLDocument::changeWithUndoPalette(const std::string& palette, bool useThreadFile) {
    changePaletteWithUndo(palette, useThreadFile, undoName("UNDO_PALETTECHANGE", "palette change"));
}

void VDLDocument::changeWithUndoThread(int index, const VDLColor& color, const std::string& palette) {
    if (index < 0 || index >= int(myDesign().threads().size())) return;
    pushEdit(new VDLPropertiesCommand(*editing_, undoName("UNDO_COLORCHANGE", "color change"), [this, index, color, palette] {
        myDesign().changeThread(index, color, palette);
        updateView();
        updateToolbar();
    }));
}

// ---- Selection ---------------------------------------------------------------------------------

void VDLDocument::selectAll(QObject*) {
    myDesign().selectAll();
    if (patternView()) patternView()->redraw();
    updateToolbar();
}

void VDLDocument::deselectAll(QObject*) {
    myDesign().deselectAll();
    if (patternView()) patternView()->redraw();
    updateToolbar();
}

void VDLDocument::invertSelection(QObject*) {
    myDesign().invertAll();
    if (patternView()) patternView()->redraw();
    updateToolbar();
}

// ---- Menu actions ------------------------------------------------------------------------------

void VDLDocument::convertSelectionToJumps(QObject*) {
    if (!editingBlocked()) toggleSelectionToJumps(true);
}
void VDLDocument::convertSelectionToStitches(QObject*) {
    if (!editingBlocked()) toggleSelectionToJumps(false);
}

void VDLDocument::copy(QObject*) {
    const QImage image = patternView() ? patternView()->imageWithTransparency(1.0, QSizeF(0, 0)) : QImage();
    QApplication::clipboard()->setMimeData(VDLDesignClipboard::mimeDataForCopy(myDesign(), image));
}

void VDLDocument::cut(QObject*) {
    if (editingBlocked() || !myDesign().selectionActive()) return;
    cutWithUndo();
}

void VDLDocument::paste(QObject*) {
    if (!editingBlocked()) pasteWithUndo();
}

void VDLDocument::deleteSelected(QObject*) {
    // Without a selection the model would still normalise the stitch list: no step at all.
    if (!editingBlocked() && myDesign().selectionActive()) deleteWithUndo();
}

void VDLDocument::center(QObject*) {
    if (!editingBlocked()) centerConfirmEnded();
}

void VDLDocument::insertThreadBeforeSelection(QObject*) {
    if (!editingBlocked()) insertThreadBeforeSelectionWithOldDesign();
}

void VDLDocument::rotateL(QObject*) {
    if (!editingBlocked()) rotateByDegrees(45);
}
void VDLDocument::rotateR(QObject*) {
    if (!editingBlocked()) rotateByDegrees(315);
}
void VDLDocument::rotateDesign(QObject* sender) {
    if (senderSegment(sender) == 0)
        rotateR(sender);
    else
        rotateL(sender);
}

void VDLDocument::flipV(QObject*) {
    if (!editingBlocked()) flipWithUndo("V");
}
void VDLDocument::flipH(QObject*) {
    if (!editingBlocked()) flipWithUndo("H");
}
void VDLDocument::flipDesign(QObject* sender) {
    if (senderSegment(sender) == 0)
        flipV(sender);
    else
        flipH(sender);
}

// ---- Dialogs -----------------------------------------------------------------------------------

VDLEditDialog* VDLDocument::openEditDialog(int kind) {
    if (editingBlocked()) return nullptr;
    auto* dialog = new VDLEditDialog(VDLEditDialog::Kind(kind), window());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    editDialog_ = dialog;
    return dialog;
}

void VDLDocument::moveStitches(QObject*) {
    VDLEditDialog* dialog = openEditDialog(int(VDLEditDialog::Kind::Move));
    if (!dialog) return;
    dialog->setMove(moveX_, moveY_);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        moveX_ = float(dialog->moveX());
        moveY_ = float(dialog->moveY());
        editDialog_ = nullptr;
        if (auto v = VDLEditDialog::moveVector(moveX_, moveY_)) moveByVector(v->first, v->second, std::nullopt);
    });
    dialog->open();
}

void VDLDocument::resizeStitches(QObject*) {
    VDLEditDialog* dialog = openEditDialog(int(VDLEditDialog::Kind::Resize));
    if (!dialog) return;
    dialog->setResizePercent(resizePercent_);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        resizePercent_ = float(dialog->resizePercent());
        editDialog_ = nullptr;
        if (auto f = VDLEditDialog::resizeFactor(resizePercent_)) resizeByPercent(*f);
    });
    dialog->open();
}

void VDLDocument::rotateFree(QObject*) {
    VDLEditDialog* dialog = openEditDialog(int(VDLEditDialog::Kind::Rotate));
    if (!dialog) return;
    dialog->setRotateDegree(rotateDegree_);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        rotateDegree_ = dialog->rotateDegree();
        editDialog_ = nullptr;
        if (auto r = VDLEditDialog::modelDegrees(rotateDegree_)) rotateByDegrees(*r);
    });
    dialog->open();
}

void VDLDocument::bastingDialog(QObject*) {
    VDLEditDialog* dialog = openEditDialog(int(VDLEditDialog::Kind::Basting));
    if (!dialog) return;
    dialog->setBasting(bastingLength_, bastingDistance_);
    connect(dialog, &QDialog::accepted, this, [this, dialog] {
        bastingLength_ = float(dialog->bastingLength());
        bastingDistance_ = float(dialog->bastingDistance());
        editDialog_ = nullptr;
        if (!VDLEditDialog::bastingAccepted(bastingLength_, bastingDistance_)) return;
        VDLDefaults::standard().setValue("BastingLength", double(bastingLength_));
        VDLDefaults::standard().setValue("BastingDistance", double(bastingDistance_));
        bastingWithStitchlength(bastingLength_, bastingDistance_);
    });
    dialog->open();
}

VDLEditDialog* VDLDocument::activeEditDialog() const { return qobject_cast<VDLEditDialog*>(editDialog_.data()); }
QWidget* VDLDocument::activeResetAlert() const { return resetAlert_; }

// ---- Hoops -------------------------------------------------------------------------------------

void VDLDocument::selectHoop(const std::string& vendor, int code) {
    if (editingBlocked()) return;
    pushEdit(new VDLPropertiesCommand(*editing_, undoName("UNDO_HOOP", "change hoop"), [this, vendor, code] {
        myDesign().setHoopFromVendor(vendor, code);
        updateView();
        updateToolbar();
    }));
}

void VDLDocument::selectHoopJanome(QObject* sender) {
    if (auto* a = qobject_cast<QAction*>(sender)) selectHoop("Janome", a->data().isValid() ? a->data().toInt() : a->property("tag").toInt());
}

void VDLDocument::selectHoopPfaff(QObject* sender) {
    if (auto* a = qobject_cast<QAction*>(sender)) selectHoop("Pfaff", a->data().isValid() ? a->data().toInt() : a->property("tag").toInt());
}

// ---- Palettes and colours ----------------------------------------------------------------------

void VDLDocument::noPalette(QObject*) {
    if (!editingBlocked()) changeWithUndoPalette(std::string(), true);
}

std::string VDLDocument::resetPaletteFor(const std::string& designType, bool* known) {
    if (known) *known = true;
    if (designType == "JEF" || designType == "SEW") return "Janome";
    if (designType == "PES" || designType == "PEC") return "Brother";
    if (designType == "EXP" || designType == "DST" || designType == "KSM" || designType == "PCD" || designType == "PCQ")
        return "Undefined";
    if (designType == "VP3" || designType == "PCS") return "";
    if (known) *known = false;
    return std::string();
}

void VDLDocument::resetPalette(QObject*) {
    if (editingBlocked()) return;
    if (VDLDefaults::standard().boolForKey("AlertReset")) {
        resetConfirmEnded(true);
        return;
    }
    auto* box = new QMessageBox(window());
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    box->setIcon(QMessageBox::Warning);
    box->setText(docText("RESET_ALERT_TITLE", "Reset Colors"));
    box->setInformativeText(docText("RESET_ALERT_INFO", "External colors file will be deleted."));
    QPushButton* reset = box->addButton(docText("RESET_ALERT_OK", "Reset"), QMessageBox::AcceptRole);
    box->addButton(docText("RESET_ALERT_ALT", "Cancel"), QMessageBox::RejectRole);
    box->setDefaultButton(reset);
    box->setCheckBox(new QCheckBox(docText("ALERT_SUPPRESS", "Do not show this message again"), box));
    connect(box, &QMessageBox::finished, this, [this, box, reset] {
        resetAlert_ = nullptr;
        if (box->checkBox()->isChecked()) VDLDefaults::standard().setValue("AlertReset", true);
        resetConfirmEnded(box->clickedButton() == reset);
    });
    resetAlert_ = box;
    box->open();
}

void VDLDocument::resetConfirmEnded(bool confirmed) {
    if (!confirmed) return;
    bool known = false;
    const std::string palette = resetPaletteFor(myDesign().designType(), &known);
    if (!known) return;
    changePaletteWithUndo(palette, false, undoName("UNDO_PALETTERESET", "palette reset"));
}

void VDLDocument::changeColor(QObject* sender) {
    auto* panel = qobject_cast<VDLColorPanel*>(sender);
    if (!panel || editingBlocked()) return;
    VDLDesign& d = myDesign();
    if (d.selectionActive()) {
        d.deselectAll();
        if (patternView()) patternView()->redraw();
        updateToolbar();
    }
    const QColor q = panel->color();
    const VDLColor color(q.redF(), q.greenF(), q.blueF());
    // Only while exactly one thread is shown (with all threads shown nothing changes). A
    // one-thread design shows "all" threads either way: there the panel must have been opened
    // for this document by showing the thread.
    int64_t shownCount = 0;
    for (const VDLThread& t : d.threads()) shownCount += t.isShown() ? 1 : 0;
    if (shownCount != 1 || (d.threads().size() == 1 && panel->delegate() != this)) return;
    const int64_t shown = d.indexOfShownThread();
    if (shown < 0 || shown >= int64_t(d.threads().size())) return;
    if (d.colorOfThread(int32_t(shown)) == color) return;
    // Both steps undo together: a thread of the "Undefined" chart first becomes an individual
    // colour palette, then takes the new colour.
    const std::string palette = d.designPalette();
    pushEdit(new VDLPropertiesCommand(*editing_, undoName("UNDO_COLORCHANGE", "color change"), [this, shown, color, palette] {
        VDLDesign& design = myDesign();
        std::string p = palette;
        if (p == "Undefined") {
            for (int32_t i = 0; i < int32_t(design.threads().size()); ++i)
                design.changeThread(i, design.colorOfThread(i), "");
            design.setUseThreadFile(true);
            p = design.designPalette();
        }
        design.changeThread(int32_t(shown), color, p);
        updateView();
        updateToolbar();
    }));
}
