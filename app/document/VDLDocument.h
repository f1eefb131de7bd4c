#pragma once
// app/document: documents, their controller and windows, editing commands, undo, clipboard and
// edit dialogs. May use app/controller, app/view, app/print and app/machine, model/, platform/.

// One open embroidery file shown in one window. The document owns its design, reads and writes
// it through the library's import/export dispatch, keeps the info lines and the window title up
// to date, holds the zoom factor, validates menu items and toolbar buttons, keeps the window's
// state across relaunches and is the target of every document command of the menus.
//
// The document is a QObject that owns its QMainWindow. Menu commands reach it as public slots
// `void name(QObject* sender)` named after the command (the action's objectName is the command
// with its colon, "zoomIn:"); the slots of other concerns are defined in their own units:
// editing in VDLDocumentEditing.cpp, export to machine in VDLDocumentExport.cpp, printing in
// VDLDocumentPrinting.cpp (until then VDLDocumentPending.cpp says "not available yet").
#include "VDLDesign.h"
#include "VDLDesignViewDelegate.h"
#include "VDLError.h"
#include "VDLGeometry.h"

#include <QDateTime>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <string_view>
#include <vector>

class QAction;
class QActionGroup;
class QComboBox;
class QLabel;
class QMainWindow;
class QToolBar;
class QUndoStack;
class QWidget;
class VDLDesignView;
class VDLDocumentWindow;
class VDLExportDialog;

class VDLDocument : public QObject, public VDLDesignViewDelegate {
    Q_OBJECT
public:
    // Creates the document and its window (not shown). Use open() to read a file.
    VDLDocument();
    ~VDLDocument() override;

    // Opens PATH in a new window (shown), or answers nullptr with the model's error (the caller
    // shows it; no window is left behind).
    static VDLDocument* open(const QString& path, VDLError* error = nullptr);

    // ---- The document ------------------------------------------------------------------
    VDLDesign& myDesign() { return design_; }
    const VDLDesign& myDesign() const { return design_; }
    // Installs D as the document's design (undo/redo, restoration), keeping zoom and the design
    // point at the centre of the view.
    void setDesign(VDLDesign d);
    VDLDesignView* patternView() const { return patternView_; }
    QMainWindow* window() const;
    QUndoStack* undoStack() const { return undoStack_; }

    QString fileName() const { return fileName_; }       // absolute path, "" before reading
    QString displayName() const;                          // the file name without folders
    QString fileType() const;                             // the type of the file ("DST", ...), upper case
    bool isDocumentEdited() const;
    QDateTime fileModificationDate() const { return fileModificationDate_; }

    // Reads PATH into the design: import, thread side file, default palette. On failure the
    // design is left empty and ERROR holds the model's error.
    bool readFromURL(const QString& path, VDLError* error = nullptr);
    // Reverts to the file's contents; the undo stack is emptied and the document is clean.
    bool revertToContentsOfURL(const QString& path, VDLError* error = nullptr);
    // The non-interactive core of every save: PES guard, export, then (on success) the write
    // alert unless suppressed, view update, clean state and empty undo stack. A failure leaves
    // the file, the edited state and the undo stack as they were.
    bool saveToURL(const QString& path, VDLError* error = nullptr);
    // The same, but the document keeps its own file (Save To): the undo stack and edited state
    // stay when the target is another file.
    bool saveCopyToURL(const QString& path, VDLError* error = nullptr);

    // ---- Zoom ---------------------------------------------------------------------------
    float viewScaling() const { return viewScaling_; }
    void setViewScaling(float s);
    VDLPoint viewCenter() const { return viewCenter_; }

    // ---- View updates -------------------------------------------------------------------
    void updateView() override;
    void updateToolbar() override;
    void setWindowTitle();
    // The window title without the unsaved-changes marker: the display name at exactly 100 %,
    // else "name (125%)".
    QString title() const;
    void showThread(int i) override;
    void showAllThreads() override;
    // The hook for the colour panel of the thread being shown (the editing commands install
    // it); called by showThread with the thread index, and with -1 by showAllThreads.
    void setColorPanelHook(std::function<void(int thread)> hook) { colorPanelHook_ = std::move(hook); }
    // The thread list beside the canvas (empty until one is installed; the document does not
    // own it beyond the window's ownership).
    void setThreadListWidget(QWidget* w);
    QWidget* threadListWidget() const { return threadList_; }
    // Called by updateView unless the canvas is dragging (the thread list refreshes itself).
    void setThreadListUpdater(std::function<void()> f) { threadListUpdater_ = std::move(f); }

    // Window-modal alert with one "OK" button; style 0 warning, 1 informational, 2 critical,
    // anything else informational.
    void anyAlertDisplay(const QString& message, const QString& info, int style);

    // The design files (readable types, existing) among dropped data.
    static QStringList droppedDesignFiles(const class QMimeData* data);
    // A drag over, or a drop onto, a window that opens design files (a document window, the
    // start window): accepts a drag that carries design files and opens them, each in its own
    // window, once the drop has ended. Answers whether it took EVENT; other files are refused.
    static bool handleFileDrop(class QEvent* event);

    // Menu validation: answers whether ITEM is enabled for this document and sets its check mark.
    Q_INVOKABLE bool validateUserInterfaceItem(QAction* item);

    // The design's centre lies within half a millimetre of the origin.
    bool isCentered() const;

    // The info lines under the canvas (tests read them).
    QString patternVersionText() const;
    QString patternDimensionText() const;
    QString patternStitchesText() const;
    QString patternColorsText() const;
    QString patternPaletteText() const;
    // Sewing time and thread use (see VDLSewingFacts).
    QString patternSewingText() const;
    QComboBox* scalingBox() const { return scalingBox_; }
    QAction* selectModeAction(int mode) const;  // toolbar segments 0..3
    QAction* toolbarAction(const char* name) const;  // "center", "delete", "move", "resize", "rotate", "flip"

    // ---- Window state across relaunches -------------------------------------------------
    // The keyed archive of the window's state (property list XML): file, modification date,
    // zoom, centre, shown thread, selection mode and window frame. A design with changes that
    // were neither saved nor discarded is kept too: its threads and properties in the archive,
    // its stitches in KEPTSTITCHES (the compact form of encodeStitches; cleared otherwise).
    std::string encodeRestorableState(std::string* keptStitches = nullptr) const;
    // Whether the state keeps the design (unsaved changes the user did not discard at quit).
    bool keepsDesignInState() const;
    // Applies an archive after the file has been read, with the kept stitches when the archive
    // kept a design. Returns false (after a log line) when the archive does not parse; nothing
    // is changed then. A kept design whose stitches are missing or damaged is ignored.
    bool restoreState(const std::string& archiveXML, const std::string* keptStitches = nullptr);
    // Only the kept design of an archive (see restoreState); true when it now stands in for the
    // file's design.
    bool restoreKeptDesign(const std::string& archiveXML, const std::string* keptStitches);
    // The kept design of an archive, when it may stand in for the file of modification date
    // FILEDATE (unsaved changes made to that very file, complete and consistent).
    static std::optional<VDLDesign> keptDesign(const std::string& archiveXML, const std::string* keptStitches,
                                               const QDateTime& fileDate);
    // A window for PATH showing DESIGN, changes kept from the last session, without reading the
    // file (its design would be replaced at once).
    static VDLDocument* openWithKeptDesign(const QString& path, VDLDesign design);
    // The compact stitch list of a window state, and back (nullopt when the bytes are not one).
    static std::string encodeStitches(const std::vector<VDLStitch>& stitches);
    static std::optional<std::vector<VDLStitch>> decodeStitches(std::string_view bytes);
    // Quit: asks Save / Discard / Cancel when the document has unsaved changes. False when the
    // user cancelled (or a save did not happen): the application keeps running. Discard
    // leaves the changes out of the window state, so they never come back.
    bool reviewChangesForQuit();
    // The quit was cancelled: a Discard answered for it no longer counts.
    void forgetQuitAnswer() { discardedForQuit_ = false; }
    // The window shows changes kept from the last session that its file does not hold: the
    // title and an info line say so until the document is saved or reverted.
    bool keptFromLastSession() const { return keptFromLastSession_; }
    QString sessionNoticeText() const;
    // What an archive says about its window: the document's file and its modification date.
    static QString archivedFilePath(const std::string& archiveXML);
    // Whether an archive keeps a design with unsaved changes.
    static bool archiveKeepsDesign(const std::string& archiveXML);
    static std::optional<QDateTime> archivedModificationDate(const std::string& archiveXML);

    // Undoable operations shared with the view and the editing commands.
    // Moves the selection by (dx, dy) design units as one undo step. When OLDDESIGN is given it
    // is the design before the move (the canvas already moved the stitches while dragging).
    void moveByVector(double dx, double dy, std::optional<VDLDesign> oldDesign = std::nullopt) override;
    // Recolours every thread into palette P and sets useThreadFile to F, as one undo step.
    void changeWithUndoPalette(const std::string& p, bool useThreadFile);

signals:
    // The document's window closed; the document deletes itself afterwards.
    void closed(VDLDocument* document);
    void viewScalingChanged(float scaling);
    // The document's window became the active window.
    void windowBecameKey(VDLDocument* document);

public slots:
    // ---- Document (this unit) -----------------------------------------------------------
    void saveDocument(QObject* sender = nullptr);
    void saveDocumentAs(QObject* sender = nullptr);
    void saveDocumentTo(QObject* sender = nullptr);
    void revertDocumentToSaved(QObject* sender = nullptr);
    void zoomIn(QObject* sender = nullptr);
    void zoomOut(QObject* sender = nullptr);
    void zoomToFit(QObject* sender = nullptr);
    void zoomDesign(QObject* sender = nullptr);
    void showAllThreadsAction(QObject* sender = nullptr);
    void changePalette(QObject* sender = nullptr);
    void closeDocument(QObject* sender = nullptr);
    // The selection tools (toolbar segments 0..3 and the Edit menu); sending one whose mode is
    // already active switches the canvas back to thread picking (-1).
    void selectRect(QObject* sender = nullptr);
    void selectSection(QObject* sender = nullptr);
    void selectStitch(QObject* sender = nullptr);
    void measureDistance(QObject* sender = nullptr);
    void selectStitches(QObject* sender = nullptr);

    // ---- Printing (VDLDocumentPrinting.cpp) ---------------------------------------------
    void printDocument(QObject* sender = nullptr);
    void exportPDF(QObject* sender = nullptr);

    // ---- Export to machine (VDLDocumentExport.cpp) --------------------------------------
    void exportDesignDialog(QObject* sender = nullptr);

    // ---- Editing (VDLDocumentEditing.cpp) -----------------------------------------------
    void selectAll(QObject* sender = nullptr);
    void deselectAll(QObject* sender = nullptr);
    void invertSelection(QObject* sender = nullptr);
    void convertSelectionToJumps(QObject* sender = nullptr);
    void convertSelectionToStitches(QObject* sender = nullptr);
    void copy(QObject* sender = nullptr);
    void cut(QObject* sender = nullptr);
    void paste(QObject* sender = nullptr);
    void deleteSelected(QObject* sender = nullptr);
    void moveStitches(QObject* sender = nullptr);
    void resizeStitches(QObject* sender = nullptr);
    void rotateFree(QObject* sender = nullptr);
    void rotateL(QObject* sender = nullptr);
    void rotateR(QObject* sender = nullptr);
    void rotateDesign(QObject* sender = nullptr);
    void flipV(QObject* sender = nullptr);
    void flipH(QObject* sender = nullptr);
    void flipDesign(QObject* sender = nullptr);
    void center(QObject* sender = nullptr);
    void insertThreadBeforeSelection(QObject* sender = nullptr);
    void bastingDialog(QObject* sender = nullptr);
    void selectHoopJanome(QObject* sender = nullptr);
    void selectHoopPfaff(QObject* sender = nullptr);
    void noPalette(QObject* sender = nullptr);
    void resetPalette(QObject* sender = nullptr);

    // ---- Editing: declarations of VDLDocumentEditing.cpp go here ------------------------
public:
    // Undoable operations: each is one step on the undo stack (a whole-design snapshot, or the
    // threads and hoop for palette, colour and hoop changes); a model failure shows the
    // command's alert and leaves the step as the model left the design.
    void toggleSelectionToJumps(bool toJumps);
    void deleteWithUndo();
    void bastingWithStitchlength(float lengthMM, float distanceMM);
    void insertThreadBeforeSelectionWithOldDesign();
    void deleteThreadWithIndex(int index);
    void moveThreadFromIndex(int from, int to);
    void resizeByPercent(float factor);
    void flipWithUndo(const QString& orientation);
    void rotateByDegrees(int degreesCounterClockwise);
    void centerConfirmEnded();
    void pasteWithUndo();
    void cutWithUndo();
    void changeWithUndoThread(int index, const VDLColor& color, const std::string& palette);
    void selectHoop(const std::string& vendor, int code);
    // After the palette-reset confirmation (or at once when "AlertReset" is set).
    void resetConfirmEnded(bool confirmed);
    // The palette reset restores for a design type; KNOWN false for a type without one.
    // The selection begins at the first stitch of a thread block (or at its colour change):
    // Insert Colour Change has nothing to do there.
    static bool selectionStartsBlock(const VDLDesign& design);
    static std::string resetPaletteFor(const std::string& designType, bool* known = nullptr);
    // The dialog of a command while it is open: nothing else edits the design meanwhile.
    class VDLEditDialog* activeEditDialog() const;
    QWidget* activeResetAlert() const;
    class VDLThreadListView* threadList() const;
public slots:
    // The colour panel's pick: recolours the one thread shown.
    void changeColor(QObject* sender);
private:
    friend class VDLEditingBridge;
    void installEditing();
    void pushEdit(class QUndoCommand* command);
    void snapshotEdit(const QString& actionName, const QString& alertTitle,
                      std::function<bool(VDLDesign&, VDLError*)> operation, std::function<void()> onSuccess = nullptr,
                      std::optional<VDLDesign> snapshot = std::nullopt);
    void changePaletteWithUndo(const std::string& palette, bool useThreadFile, const QString& actionName);
    class VDLEditDialog* openEditDialog(int kind);
    bool editingBlocked() const;
    class VDLEditingBridge* editing_ = nullptr;
    QPointer<QWidget> editDialog_;
    QPointer<QWidget> resetAlert_;
    float moveX_ = 0.0f;
    float moveY_ = 0.0f;
    float resizePercent_ = 1.0f;
    int rotateDegree_ = 0;
    float bastingLength_ = 5.0f;
    float bastingDistance_ = 1.0f;
public slots:
    // ---- end of the editing declarations ------------------------------------------------

    // ---- Export to machine: declarations of VDLDocumentExport.cpp go here ----------------
public:
    // The open export sheet, or nullptr.
    VDLExportDialog* exportSheet() const;
private:
    QPointer<VDLExportDialog> exportSheet_;
public slots:

    // ---- Printing: declarations of VDLDocumentPrinting.cpp go here -----------------------
    // The non-interactive core of Export as PDF: the page with the current print settings,
    // written atomically to PATH.
    bool exportPDFToURL(const QString& path, VDLError* error = nullptr);
    // The design as printed: the document's design under its name (the file name when the
    // design has none).
    VDLDesign printableDesign() const;

private:
    friend class VDLDocumentWindow;
    void buildWindow();
    void buildToolbar();
    void showNotAvailable(const QString& command);
    // Exports a copy of the design to PATH; on success WRITTEN is the design as written.
    bool writeToURL(const QString& path, VDLError* error, VDLDesign& written);
    bool pesGuard(const QString& path, VDLError* error) const;
    void showWriteAlert();
    QString runSavePanel(const QString& title);  // "" when cancelled
    void reportSaveError(const VDLError& error);
    void markClean();
    bool windowShouldClose();  // asks to save unsaved changes; false = keep the window
    int askToSaveChanges();    // the Save / Discard / Cancel question; the button chosen
    void setKeptFromLastSession(bool kept);
    void installKeptDesign(VDLDesign design);
    void windowDidClose();
    void windowDidResize();
    void scalingBoxEdited();
    void refreshFileModificationDate();
    void applySelectionMode(int mode);
    int canvasSelectionMode() const;
    bool eventFilter(QObject* watched, QEvent* event) override;
public:
    // Zooms to SCALING (percent, within the limits) keeping the design point under VIEWPORTPOS
    // (a point of the visible area) where it is.
    void zoomAround(float scaling, QPointF viewportPos);
    // The status bar for the pointer at CANVASPOS (canvas widget coordinates).
    void showPointer(QPointF canvasPos);
    QString pointerText() const;
    QString pointerStitchText() const;
private:
    QLabel* pointerLabel_ = nullptr;
    QLabel* stitchLabel_ = nullptr;
    int wheelAccumulator_ = 0;
    // The pinch's change of scale not yet turned into zoom steps, and the change that makes one.
    double pinchAccumulator_ = 0;
    static constexpr double kPinchStep = 0.25;

    VDLDesign design_;
    float viewScaling_ = 100.0f;
    VDLPoint viewCenter_{0, 0};
    QString fileName_;
    QString fileType_;
    QDateTime fileModificationDate_;
    bool editedWithoutUndo_ = false;  // restored unsaved changes (no undo history)
    bool discardedForQuit_ = false;   // the user answered Discard when quitting
    bool keptFromLastSession_ = false;

    VDLDocumentWindow* window_ = nullptr;
    VDLDesignView* patternView_ = nullptr;
    QWidget* scrollView_ = nullptr;
    QWidget* viewport_ = nullptr;  // the scroll view's visible area
    QWidget* threadList_ = nullptr;
    QWidget* threadListSlot_ = nullptr;
    QUndoStack* undoStack_ = nullptr;
    QLabel* patternVersion_ = nullptr;
    QLabel* patternDimension_ = nullptr;
    QLabel* patternStitches_ = nullptr;
    QLabel* patternColors_ = nullptr;
    QLabel* patternPalette_ = nullptr;
    QLabel* sessionNotice_ = nullptr;
    QLabel* patternSewing_ = nullptr;
    QComboBox* scalingBox_ = nullptr;
    QToolBar* toolbar_ = nullptr;
    QActionGroup* selectGroup_ = nullptr;
    QAction* selectActions_[4] = {nullptr, nullptr, nullptr, nullptr};
    QAction* centerToolbarItem_ = nullptr;
    QAction* deleteToolbarItem_ = nullptr;
    QAction* moveToolbarItem_ = nullptr;
    QAction* resizeToolbarItem_ = nullptr;
    QAction* rotateToolbarItem_ = nullptr;      // rotate right (segment 0)
    QAction* rotateLeftToolbarItem_ = nullptr;  // rotate left (segment 1)
    QAction* flipToolbarItem_ = nullptr;        // flip vertical (segment 0)
    QAction* flipHToolbarItem_ = nullptr;       // flip horizontal (segment 1)
    int fallbackSelectionMode_ = -1;  // the selection mode while no canvas is installed
    bool closing_ = false;
    bool resizing_ = false;
    std::function<void(int)> colorPanelHook_;
    std::function<void()> threadListUpdater_;
};
