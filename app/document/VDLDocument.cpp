#include "VDLDocument.h"
#include "VDLKeptStitches.h"

#include "VDLAppController.h"
#include "VDLDefaults.h"
#include "VDLDocumentController.h"
#include "VDLDocumentWindow.h"
#include "VDLFormat.h"
#include "VDLLocalization.h"
#include "VDLNotificationCenter.h"
#include "VDLPropertyList.h"
#include "VDLRecentDocuments.h"
#include "VDLResources.h"
#include "VDLSewingFacts.h"
#include "VDLValueTransformer.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QDropEvent>
#include <QMimeData>
#include <QUrl>
#include <QPointer>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QWheelEvent>
#include <QNativeGestureEvent>
#include <QToolBar>
#include <QUndoStack>
#include <QVBoxLayout>

#include <unicode/decimfmt.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <string_view>
#include <cmath>

#if __has_include("VDLDesignView.h")
#include "VDLDesignView.h"
#include "VDLScrollView.h"
#include "VDLDesignViewDelegate.h"
#define VDL_HAVE_CANVAS 1
#else
#define VDL_HAVE_CANVAS 0
#endif

namespace {

QString docString(const char* key, const char* englishDefault) {
    return QString::fromStdString(VDLLocalizedString(key, "VDLDocument", englishDefault));
}

// "#,##0": grouped thousands in the user's locale, no decimals.
QString groupedInteger(int64_t value) {
    UErrorCode status = U_ZERO_ERROR;
    icu::DecimalFormat format(icu::UnicodeString::fromUTF8("#,##0"), status);
    if (U_FAILURE(status)) return QString::number(value);
    icu::UnicodeString out;
    format.format(int64_t(value), out);
    std::string utf8;
    out.toUTF8String(utf8);
    return QString::fromStdString(utf8);
}

// Seconds between 1970-01-01 and 2001-01-01, the epoch of property-list dates.
constexpr int64_t kPlistEpochOffset = 978307200;

// The archive keys of a window's state; "VDLFilePath" names the document's file.
constexpr const char* kViewScaling = "VDLViewScaling";
constexpr const char* kViewCenterX = "VDLViewCenterX";
constexpr const char* kViewCenterY = "VDLViewCenterY";
constexpr const char* kDesign = "VDLDesign";
constexpr const char* kModificationDate = "VDLModificationDate";
constexpr const char* kIsEdited = "VDLIsEdited";
constexpr const char* kSelectedThread = "VDLSelectedThread";
constexpr const char* kSelectionMode = "VDLSelectionMode";
constexpr const char* kFilePath = "VDLFilePath";
constexpr const char* kWindowFrame = "VDLWindowFrame";     // x, y, width, height of the window
constexpr const char* kStitchCount = "VDLStitchCount";     // stitches of the kept design, stored apart


// Our toolbar image for a theme icon name.
std::string toolbarImageName(const char* themeName) {
    static const std::pair<const char*, const char*> names[] = {
        {"edit-select", "TB_SelectRect"}, {"edit-select-all", "TB_SelectBlock"}, {"draw-freehand", "TB_SelectStitch"},
        {"measure", "TB_Measure"}, {"zoom-in", "TB_ZoomIn"}, {"zoom-out", "TB_ZoomOut"}, {"zoom-fit-best", "TB_ZoomFit"},
        {"format-justify-center", "TB_Center"}, {"edit-delete", "TB_Delete"}, {"transform-move", "TB_Move"},
        {"transform-scale", "TB_Resize"}, {"object-rotate-right", "TB_RotateRight"}, {"object-rotate-left", "TB_RotateLeft"},
        {"object-flip-vertical", "TB_FlipVertical"}, {"object-flip-horizontal", "TB_FlipHorizontal"}};
    for (const auto& [theme, ours] : names)
        if (std::string(theme) == themeName) return ours;
    return {};
}

QString selectorOf(const QAction* item) { return item ? item->objectName() : QString(); }

QString plainTitle(const QAction* item) {
    QString t = item->text();
    t.remove(QLatin1Char('&'));
    return t;
}

}  // namespace

// ---- The canvas and the application controller, in one place ---------------------------------
// Every call the document makes into the design view, its scroll view and the application's
// menus goes through these few functions.
namespace VDLCanvas {
#if VDL_HAVE_CANVAS
QWidget* createScrollView(VDLDocument* document, QWidget* parent, VDLDesignView** view) {
    auto* scroll = new VDLScrollView(parent);
    auto* canvas = new VDLDesignView();
    canvas->setObjectName(QStringLiteral("patternView"));
    scroll->setDesignView(canvas);
    canvas->setDelegate(document);
    *view = canvas;
    return scroll;
}
void setDesign(VDLDesignView* v, VDLDesign* d) { if (v) v->setDesign(d); }
double scale(VDLDesignView* v, double fallback) { return v ? double(v->scale()) : fallback; }
void setScale(VDLDesignView* v, float s) { if (v) v->setScale(s); }
double minimumScale(VDLDesignView* v) { return v ? double(v->minimumScale()) : 0.1; }
double maximumScale(VDLDesignView* v) { return v ? double(v->maximumScale()) : 15.0; }
void centerDesign(VDLDesignView* v) { if (v) v->centerDesign(); }
VDLPoint centredPoint(VDLDesignView* v) { return v ? v->centredPointInDocView() : VDLPoint{0, 0}; }
void scrollPointToCentre(VDLDesignView* v, VDLPoint p) { if (v) v->scrollPointToCentre(p); }
int selectionMode(VDLDesignView* v) { return v ? v->selectionMode() : -1; }
void setSelectionMode(VDLDesignView* v, int m) { if (v) v->setSelectionMode(m); }
void switchCursorTo(VDLDesignView* v, Qt::CursorShape c) { if (v) v->switchCursorTo(c); }
bool isDragging(VDLDesignView* v) { return v && v->isDragging(); }
double animationProgress(VDLDesignView* v) { return v ? v->animationProgress() : 1.0; }
void redraw(VDLDesignView* v) { if (v) v->redraw(); }
void focus(VDLDesignView* v) { if (v) v->setFocus(); }
void adjustRulers(QWidget* scroll) { if (auto* s = qobject_cast<VDLScrollView*>(scroll)) s->adjustRulers(); }
#else
// No design view in this build: a plain scroll area stands in and the zoom limits are the
// view's (10 % to 1500 %).
QWidget* createScrollView(VDLDocument*, QWidget* parent, VDLDesignView** view) {
    *view = nullptr;
    auto* area = new QScrollArea(parent);
    area->setWidget(new QLabel(QObject::tr("The design view is not available in this build."), area));
    area->setAlignment(Qt::AlignCenter);
    return area;
}
void setDesign(VDLDesignView*, VDLDesign*) {}
double scale(VDLDesignView*, double fallback) { return fallback; }
void setScale(VDLDesignView*, float) {}
double minimumScale(VDLDesignView*) { return 0.1; }
double maximumScale(VDLDesignView*) { return 15.0; }
void centerDesign(VDLDesignView*) {}
VDLPoint centredPoint(VDLDesignView*) { return VDLPoint{0, 0}; }
void scrollPointToCentre(VDLDesignView*, VDLPoint) {}
int selectionMode(VDLDesignView*) { return -1; }
void setSelectionMode(VDLDesignView*, int) {}
void switchCursorTo(VDLDesignView*, Qt::CursorShape) {}
bool isDragging(VDLDesignView*) { return false; }
double animationProgress(VDLDesignView*) { return 1.0; }
void redraw(VDLDesignView*) {}
void focus(VDLDesignView*) {}
void adjustRulers(QWidget*) {}
#endif
}  // namespace VDLCanvas

namespace VDLAppGlue {
void populateMenuBar(QMenuBar* bar) { VDLAppController::instance()->populateMenuBar(bar); }
void fillHoopMenu() { VDLAppController::instance()->fillHoopMenu(); }
// Title of thread-menu item N (item 0 is "no palette"; items 1... name the palettes).
QString threadMenuTitle(int n) { return VDLAppController::instance()->threadMenuTitle(n); }
// An error for an alert: its text and its code.
QString errorText(const VDLError& error) {
    return QObject::tr("%1 (error %2)").arg(QString::fromStdString(error.message())).arg(error.code);
}
}  // namespace VDLAppGlue

// ---- Creation and window ---------------------------------------------------------------------

VDLDocument::VDLDocument() : undoStack_(new QUndoStack(this)) {
    buildWindow();
    installEditing();
    connect(undoStack_, &QUndoStack::cleanChanged, this, [this] { window_->setWindowModified(isDocumentEdited()); });
    connect(undoStack_, &QUndoStack::indexChanged, this, [this] {
        window_->setWindowModified(isDocumentEdited());
        if (VDLAppController::exists()) VDLAppController::instance()->validateActions();
    });
    connect(&VDLNotificationCenter::defaultCenter(), &VDLNotificationCenter::updateDisplay, this,
            [this](QObject*) { updateView(); });
}

VDLDocument::~VDLDocument() {
    closing_ = true;
    VDLDocumentController::sharedDocumentController()->removeDocument(this);
    if (patternView_) VDLCanvas::setDesign(patternView_, nullptr);
    delete window_;
}

QMainWindow* VDLDocument::window() const { return window_; }

void VDLDocument::buildWindow() {
    window_ = new VDLDocumentWindow(this);
    window_->resize(1000, 700);  // the whole toolbar shows
    window_->installEventFilter(this);
    window_->setAcceptDrops(true);
    VDLAppGlue::populateMenuBar(window_->menuBar());

    auto* central = new QWidget(window_);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(6, 6, 6, 6);
    column->setSpacing(6);

    // Thread list slot beside the canvas.
    auto* row = new QHBoxLayout();
    row->setSpacing(6);
    threadListSlot_ = new QWidget(central);
    threadListSlot_->setObjectName(QStringLiteral("threadListSlot"));
    auto* slotLayout = new QVBoxLayout(threadListSlot_);
    slotLayout->setContentsMargins(0, 0, 0, 0);
    threadListSlot_->hide();
    row->addWidget(threadListSlot_);

    scrollView_ = VDLCanvas::createScrollView(this, central, &patternView_);
    scrollView_->setObjectName(QStringLiteral("scrollView"));
    row->addWidget(scrollView_, 1);
    column->addLayout(row, 1);
    if (auto* area = qobject_cast<QAbstractScrollArea*>(scrollView_)) {
        viewport_ = area->viewport();
        viewport_->installEventFilter(this);
        auto track = [this] {
            if (!resizing_ && patternView_) viewCenter_ = VDLCanvas::centredPoint(patternView_);
        };
        connect(area->horizontalScrollBar(), &QScrollBar::valueChanged, this, track);
        connect(area->verticalScrollBar(), &QScrollBar::valueChanged, this, track);
    }

    // The five info lines and the scaling box.
    auto* info = new QGridLayout();
    info->setHorizontalSpacing(12);
    info->setVerticalSpacing(2);
    auto makeLabel = [central](const char* name) {
        auto* l = new QLabel(central);
        l->setObjectName(QString::fromLatin1(name));
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return l;
    };
    patternVersion_ = makeLabel("patternVersion");
    patternDimension_ = makeLabel("patternDimension");
    patternStitches_ = makeLabel("patternStitches");
    patternColors_ = makeLabel("patternColors");
    patternPalette_ = makeLabel("patternPalette");
    info->addWidget(patternVersion_, 0, 0);
    info->addWidget(patternDimension_, 1, 0);
    info->addWidget(patternStitches_, 2, 0);
    info->addWidget(patternColors_, 0, 1);
    info->addWidget(patternPalette_, 1, 1);
    // Shown only while the window holds changes kept from the last session and never saved.
    sessionNotice_ = makeLabel("sessionNotice");
    sessionNotice_->hide();
    info->addWidget(sessionNotice_, 2, 1);
    patternSewing_ = makeLabel("patternSewing");
    patternSewing_->setWordWrap(true);
    info->addWidget(patternSewing_, 3, 0, 1, 2);
    info->setColumnStretch(0, 1);
    info->setColumnStretch(1, 1);

    scalingBox_ = new QComboBox(central);
    scalingBox_->setObjectName(QStringLiteral("scalingBox"));
    scalingBox_->setEditable(true);
    scalingBox_->setInsertPolicy(QComboBox::NoInsert);
    for (int v : {10, 25, 50, 75, 100, 200, 300, 400, 500, 750, 1000, 1500}) scalingBox_->addItem(QString::number(v));
    scalingBox_->setEditText(QStringLiteral("100"));
    scalingBox_->setToolTip(tr("Zoom in percent"));
    connect(scalingBox_, &QComboBox::textActivated, this, [this] { scalingBoxEdited(); });
    connect(scalingBox_->lineEdit(), &QLineEdit::editingFinished, this, [this] { scalingBoxEdited(); });
    auto* zoomRow = new QHBoxLayout();
    zoomRow->addWidget(new QLabel(QStringLiteral("%"), central));
    zoomRow->insertWidget(0, scalingBox_);
    zoomRow->addStretch(1);
    info->addLayout(zoomRow, 2, 1);
    column->addLayout(info);

    window_->setCentralWidget(central);
    buildToolbar();

    // Status bar: where the pointer is on the design, and the stitch under it in stitch mode.
    pointerLabel_ = new QLabel(window_);
    pointerLabel_->setObjectName(QStringLiteral("pointerPosition"));
    pointerLabel_->setMinimumWidth(220);
    stitchLabel_ = new QLabel(window_);
    stitchLabel_->setObjectName(QStringLiteral("pointerStitch"));
    window_->statusBar()->addWidget(stitchLabel_, 1);
    window_->statusBar()->addPermanentWidget(pointerLabel_);
    if (patternView_) {
        patternView_->setMouseTracking(true);
        patternView_->installEventFilter(this);
    }

    // Set-up once the window exists: design to the canvas, hoop menu, info, toolbar.
    VDLCanvas::setDesign(patternView_, &design_);
    VDLAppGlue::fillHoopMenu();
    updateView();
    updateToolbar();
    setWindowTitle();
}

void VDLDocument::buildToolbar() {
    toolbar_ = window_->addToolBar(tr("Tools"));
    toolbar_->setObjectName(QStringLiteral("documentToolbar"));
    toolbar_->setMovable(false);
    toolbar_->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);

    // Icons: the desktop theme's when it has one for every button, else our own set throughout,
    // so the toolbar always looks of one piece.
    static const char* const themed[] = {"edit-select", "edit-select-all", "draw-freehand", "measure",
                                         "zoom-in", "zoom-out", "zoom-fit-best", "format-justify-center",
                                         "edit-delete", "transform-move", "transform-scale", "object-rotate-right",
                                         "object-rotate-left", "object-flip-vertical", "object-flip-horizontal"};
    bool useTheme = true;
    for (const char* name : themed) useTheme = useTheme && QIcon::hasThemeIcon(QString::fromLatin1(name));
    toolbar_->setIconSize(QSize(24, 24));
    auto add = [this, useTheme](const QString& title, const char* icon, const QString& tip) {
        QIcon image;
        if (useTheme) image = QIcon::fromTheme(QString::fromLatin1(icon));
        if (image.isNull()) {
            const std::string path = VDLPathForResource(toolbarImageName(icon), "svg", "images");
            if (!path.empty()) image = QIcon(QString::fromStdString(path));
        }
        QAction* a = toolbar_->addAction(image, title);
        a->setToolTip(tip);
        return a;
    };

    // Selection modes: four segments, at most one on.
    selectGroup_ = new QActionGroup(this);
    selectGroup_->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    const char* modeIcons[4] = {"edit-select", "edit-select-all", "draw-freehand", "measure"};
    const QString modeTitles[4] = {tr("Rectangle"), tr("Block"), tr("Stitch"), tr("Measure")};
    const QString modeTips[4] = {tr("Select stitches in a rectangle"), tr("Select a thread block"),
                                 tr("Select single stitches"), tr("Measure a distance")};
    for (int k = 0; k < 4; ++k) {
        QAction* a = add(modeTitles[k], modeIcons[k], modeTips[k]);
        a->setCheckable(true);
        a->setProperty("segment", k);
        a->setObjectName(QStringLiteral("selectStitches:%1").arg(k));
        selectGroup_->addAction(a);
        selectActions_[k] = a;
        connect(a, &QAction::triggered, this, [this, a] { selectStitches(a); });
    }
    toolbar_->addSeparator();

    // Zoom: in, out, fit.
    const char* zoomIcons[3] = {"zoom-in", "zoom-out", "zoom-fit-best"};
    const QString zoomTitles[3] = {tr("Zoom In"), tr("Zoom Out"), tr("Fit")};
    QAction* zoomActions[3] = {nullptr, nullptr, nullptr};
    for (int k = 0; k < 3; ++k) {
        QAction* a = add(zoomTitles[k], zoomIcons[k], zoomTitles[k]);
        zoomActions[k] = a;
        a->setProperty("segment", k);
        connect(a, &QAction::triggered, this, [this, a] { zoomDesign(a); });
    }
    toolbar_->addSeparator();

    centerToolbarItem_ = add(tr("Center"), "format-justify-center", tr("Center the design in the hoop"));
    connect(centerToolbarItem_, &QAction::triggered, this, [this] { center(centerToolbarItem_); });
    deleteToolbarItem_ = add(tr("Delete"), "edit-delete", tr("Delete the selected stitches"));
    connect(deleteToolbarItem_, &QAction::triggered, this, [this] { deleteSelected(deleteToolbarItem_); });
    moveToolbarItem_ = add(tr("Move"), "transform-move", tr("Move the selected stitches"));
    connect(moveToolbarItem_, &QAction::triggered, this, [this] { moveStitches(moveToolbarItem_); });
    resizeToolbarItem_ = add(tr("Resize"), "transform-scale", tr("Resize the selected stitches"));
    connect(resizeToolbarItem_, &QAction::triggered, this, [this] { resizeStitches(resizeToolbarItem_); });
    rotateToolbarItem_ = add(tr("Rotate Right"), "object-rotate-right", tr("Rotate the selection 45° clockwise"));
    rotateToolbarItem_->setProperty("segment", 0);
    connect(rotateToolbarItem_, &QAction::triggered, this, [this] { rotateDesign(rotateToolbarItem_); });
    rotateLeftToolbarItem_ = add(tr("Rotate Left"), "object-rotate-left", tr("Rotate the selection 45° counter-clockwise"));
    rotateLeftToolbarItem_->setProperty("segment", 1);
    connect(rotateLeftToolbarItem_, &QAction::triggered, this, [this] { rotateDesign(rotateLeftToolbarItem_); });
    flipToolbarItem_ = add(tr("Flip"), "object-flip-vertical", tr("Flip the selection upside down"));
    flipToolbarItem_->setProperty("segment", 0);
    connect(flipToolbarItem_, &QAction::triggered, this, [this] { flipDesign(flipToolbarItem_); });
    flipHToolbarItem_ = add(tr("Mirror"), "object-flip-horizontal", tr("Mirror the selection (flip horizontally)"));
    flipHToolbarItem_->setProperty("segment", 1);
    connect(flipHToolbarItem_, &QAction::triggered, this, [this] { flipDesign(flipHToolbarItem_); });

    // Each button's tooltip names the key of the menu command it stands for.
    if (VDLAppController::exists()) {
        const std::pair<QAction*, const char*> keyed[] = {
            {selectActions_[0], "selectRect:"}, {selectActions_[1], "selectSection:"},
            {selectActions_[2], "selectStitch:"}, {selectActions_[3], "measureDistance:"},
            {zoomActions[0], "zoomIn:"}, {zoomActions[1], "zoomOut:"}, {zoomActions[2], "zoomToFit:"},
            {centerToolbarItem_, "center:"}, {deleteToolbarItem_, "delete:"}, {moveToolbarItem_, "moveStitches:"},
            {resizeToolbarItem_, "resizeStitches:"}, {rotateToolbarItem_, "rotateR:"}, {rotateLeftToolbarItem_, "rotateL:"},
            {flipToolbarItem_, "flipV:"}, {flipHToolbarItem_, "flipH:"}};
        for (const auto& [button, selector] : keyed) {
            QAction* menuItem = VDLAppController::instance()->action(QString::fromLatin1(selector));
            if (!button || !menuItem || menuItem->shortcut().isEmpty()) continue;
            button->setToolTip(QStringLiteral("%1 (%2)").arg(button->toolTip(),
                                                             menuItem->shortcut().toString(QKeySequence::NativeText)));
        }
    }
}

QAction* VDLDocument::selectModeAction(int mode) const {
    return mode >= 0 && mode < 4 ? selectActions_[mode] : nullptr;
}

QAction* VDLDocument::toolbarAction(const char* name) const {
    const QString n = QString::fromLatin1(name);
    if (n == QLatin1String("center")) return centerToolbarItem_;
    if (n == QLatin1String("delete")) return deleteToolbarItem_;
    if (n == QLatin1String("move")) return moveToolbarItem_;
    if (n == QLatin1String("resize")) return resizeToolbarItem_;
    if (n == QLatin1String("rotate")) return rotateToolbarItem_;
    if (n == QLatin1String("flip")) return flipToolbarItem_;
    return nullptr;
}

void VDLDocument::setThreadListWidget(QWidget* w) {
    if (threadList_ == w) return;
    if (threadList_) threadList_->deleteLater();
    threadList_ = w;
    if (w) {
        threadListSlot_->layout()->addWidget(w);
        threadListSlot_->show();
    } else {
        threadListSlot_->hide();
    }
}

// ---- Names and state -------------------------------------------------------------------------

QString VDLDocument::displayName() const {
    if (fileName_.isEmpty()) return tr("Untitled");
    return QFileInfo(fileName_).fileName();
}

QString VDLDocument::fileType() const { return fileType_; }

bool VDLDocument::isDocumentEdited() const { return editedWithoutUndo_ || !undoStack_->isClean(); }

void VDLDocument::markClean() {
    editedWithoutUndo_ = false;
    setKeptFromLastSession(false);
    undoStack_->clear();  // also marks the stack clean
    window_->setWindowModified(false);
}

void VDLDocument::refreshFileModificationDate() {
    QFileInfo info(fileName_);
    fileModificationDate_ = info.exists() ? info.lastModified() : QDateTime();
}

void VDLDocument::setDesign(VDLDesign d) {
    const double scale = VDLCanvas::scale(patternView_, viewScaling_ / 100.0);
    const VDLPoint centre = patternView_ ? VDLCanvas::centredPoint(patternView_) : viewCenter_;
    const VDLRect fit = patternView_ ? patternView_->fitRect() : VDLRect{};
    design_ = std::move(d);
    VDLCanvas::setDesign(patternView_, &design_);
    if (patternView_) {
        patternView_->setFitRect(fit);  // the zoom is measured as before
        VDLCanvas::setScale(patternView_, float(scale));
        VDLCanvas::scrollPointToCentre(patternView_, centre);
    }
    updateView();
    updateToolbar();
}

// ---- Opening ---------------------------------------------------------------------------------

static void presetUnimplemented(VDLError* error) {
    if (!error) return;
    *error = VDLError{};
    error->domain = "NSOSStatusErrorDomain";
    error->code = -4;
    error->userInfo[VDLLocalizedRecoverySuggestionErrorKey] = "The operation could not be completed.";
}

bool VDLDocument::readFromURL(const QString& path, VDLError* error) {
    presetUnimplemented(error);
    VDLDesign design;
    const VDLURL url = VDLURL::fileURLWithPath(path.toStdString());
    VDLError importError;
    if (!design.importDesignFromURL(url, &importError)) {
        if (error && !importError.domain.empty()) *error = importError;
        return false;
    }
    design.importThreadsForDesign(url);
    design_ = std::move(design);
    fileName_ = QFileInfo(path).absoluteFilePath();
    fileType_ = QFileInfo(path).suffix().toUpper();
    refreshFileModificationDate();
    VDLCanvas::setDesign(patternView_, &design_);

    const int defaultThreads = VDLDefaults::standard().integerForKey(QStringLiteral("DefaultThreads"));
    if (defaultThreads != 0 && !design_.useThreadFile()) {
        const QString title = VDLAppGlue::threadMenuTitle(defaultThreads);
        if (!title.isEmpty()) {
            QAction item(title);
            changePalette(&item);
        }
    }
    updateView();
    updateToolbar();
    setWindowTitle();
    return true;
}

VDLDocument* VDLDocument::open(const QString& path, VDLError* error) {
    auto* doc = new VDLDocument();
    if (!doc->readFromURL(path, error)) {
        delete doc;
        return nullptr;
    }
    VDLDocumentController::sharedDocumentController()->addDocument(doc);
    doc->window_->show();
    doc->zoomToFit(nullptr);
    return doc;
}

bool VDLDocument::revertToContentsOfURL(const QString& path, VDLError* error) {
    VDLDesign previous = design_;
    const QString previousName = fileName_, previousType = fileType_;
    if (!readFromURL(path, error)) {
        design_ = std::move(previous);
        fileName_ = previousName;
        fileType_ = previousType;
        VDLCanvas::setDesign(patternView_, &design_);
        return false;
    }
    // The palette change of readFromURL belongs to the reverted state, not to the undo history.
    VDLCanvas::setDesign(patternView_, &design_);
    setViewScaling(100);
    updateView();
    updateToolbar();
    markClean();
    return true;
}

void VDLDocument::revertDocumentToSaved(QObject*) {
    if (fileName_.isEmpty()) return;
    VDLError error;
    if (!revertToContentsOfURL(fileName_, &error))
        anyAlertDisplay(tr("The document could not be reverted."), VDLAppGlue::errorText(error), 2);
}

// ---- Saving ----------------------------------------------------------------------------------

bool VDLDocument::pesGuard(const QString& path, VDLError* error) const {
    // Our PES writer writes version 1.0 only; never replace a PES file of another version.
    if (QFileInfo(path).suffix().compare(QLatin1String("pes"), Qt::CaseInsensitive) != 0) return true;
    if (!QFileInfo::exists(path)) return true;
    VDLDesign scratch;
    scratch.importDesignFromURL(VDLURL::fileURLWithPath(path.toStdString()), nullptr);
    if (scratch.designVersion() == 10 && scratch.designType() == "PES") return true;
    VDLError refused;
    refused.domain = VDLDesignErrorDomain;
    refused.code = 204;
    refused.userInfo[VDLLocalizedRecoverySuggestionErrorKey] =
        VDLLocalizedString("ERROR_204", "VDLDesign", "Don't overwrite other PES versions.");
    if (error) *error = refused;
    return false;
}

bool VDLDocument::writeToURL(const QString& path, VDLError* error, VDLDesign& written) {
    presetUnimplemented(error);
    written = design_;  // the export normalises; a failed write must leave the document as it was
    written.setDesignLocation(VDLURL::fileURLWithPath(path.toStdString()));
    VDLError exportError;
    if (!written.exportDesignToURL(VDLURL::fileURLWithPath(path.toStdString()), &exportError)) {
        if (error && !exportError.domain.empty()) *error = exportError;
        return false;
    }
    // The export wrote or removed the thread file beside the target as the design's
    // useThreadFile asks; nothing more is written here.
    return true;
}

void VDLDocument::showWriteAlert() {
    if (VDLDefaults::standard().boolForKey(QStringLiteral("AlertWriteToURL"))) return;
    auto* box = new QMessageBox(QMessageBox::Information, docString("WRITE_ALERT_TITLE", "Warning"),
                                docString("WRITE_ALERT_TITLE", "Warning"), QMessageBox::Ok, window_);
    box->setObjectName(QStringLiteral("writeAlert"));
    box->setInformativeText(docString("WRITE_ALERT_INFO", "Always check hoop size & dimensions before stitching."));
    box->setCheckBox(new QCheckBox(tr("Do not show this message again"), box));
    box->setWindowModality(Qt::ApplicationModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::finished, box, [box] {
        if (box->checkBox() && box->checkBox()->isChecked())
            VDLDefaults::standard().setValue(QStringLiteral("AlertWriteToURL"), true);
    });
    box->show();
}

bool VDLDocument::saveToURL(const QString& path, VDLError* error) {
    if (!pesGuard(path, error)) return false;
    VDLDesign written;
    if (!writeToURL(path, error, written)) return false;
    design_ = std::move(written);
    VDLCanvas::setDesign(patternView_, &design_);
    fileName_ = QFileInfo(path).absoluteFilePath();
    fileType_ = QFileInfo(path).suffix().toUpper();
    refreshFileModificationDate();
    VDLRecentDocuments::note(fileName_);
    showWriteAlert();
    updateView();
    markClean();
    setWindowTitle();
    updateToolbar();
    return true;
}

bool VDLDocument::saveCopyToURL(const QString& path, VDLError* error) {
    if (QFileInfo(path).absoluteFilePath() == fileName_) return saveToURL(path, error);
    if (!pesGuard(path, error)) return false;
    VDLDesign written;
    if (!writeToURL(path, error, written)) return false;
    // The document still stands for its own file: its design, edited state and undo stay.
    VDLRecentDocuments::noteForDesktop(QFileInfo(path).absoluteFilePath());
    showWriteAlert();
    updateView();
    return true;
}

QString VDLDocument::runSavePanel(const QString& title) {
    QFileDialog panel(window_, title);
    panel.setAcceptMode(QFileDialog::AcceptSave);
    panel.setFileMode(QFileDialog::AnyFile);
    const QStringList filters = VDLDocumentController::saveFilters();
    panel.setNameFilters(filters);
    const QStringList writable = VDLDocumentController::writableExtensions();
    QString ext = fileType_.toLower();
    if (!writable.contains(ext)) ext = QStringLiteral("pes");
    panel.selectNameFilter(filters.value(int(writable.indexOf(ext))));
    const QFileInfo current(fileName_);
    if (!fileName_.isEmpty()) {
        panel.setDirectory(current.absolutePath());
        panel.selectFile(current.completeBaseName() + QLatin1Char('.') + ext);
    }
    if (panel.exec() != QDialog::Accepted || panel.selectedFiles().isEmpty()) return {};
    QString path = panel.selectedFiles().first();
    // A name without one of the writable extensions gets the one of the chosen type.
    if (!VDLDocumentController::isWritableExtension(QFileInfo(path).suffix())) {
        const QString chosen = writable.value(int(filters.indexOf(panel.selectedNameFilter())), ext);
        path += QLatin1Char('.') + chosen;
    }
    return path;
}

void VDLDocument::reportSaveError(const VDLError& error) {
    anyAlertDisplay(tr("The document “%1” could not be saved.").arg(displayName()), VDLAppGlue::errorText(error), 2);
}

void VDLDocument::saveDocument(QObject*) {
    if (fileName_.isEmpty() || !VDLDocumentController::isWritableExtension(fileType_)) {
        saveDocumentAs(nullptr);
        return;
    }
    VDLError error;
    if (!saveToURL(fileName_, &error)) reportSaveError(error);
}

void VDLDocument::saveDocumentAs(QObject*) {
    const QString path = runSavePanel(tr("Save As"));
    if (path.isEmpty()) return;
    VDLError error;
    if (!saveToURL(path, &error)) reportSaveError(error);
}

void VDLDocument::saveDocumentTo(QObject*) {
    const QString path = runSavePanel(tr("Save To"));
    if (path.isEmpty()) return;
    VDLError error;
    if (!saveCopyToURL(path, &error)) reportSaveError(error);
}

// ---- Closing ---------------------------------------------------------------------------------

int VDLDocument::askToSaveChanges() {
    QMessageBox box(QMessageBox::Warning, displayName(),
                    tr("Do you want to save the changes you made to “%1”?").arg(displayName()),
                    QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, window_);
    box.setObjectName(QStringLiteral("closeAlert"));
    box.setInformativeText(tr("Your changes will be lost if you don't save them."));
    box.setDefaultButton(QMessageBox::Save);
    box.setWindowModality(Qt::WindowModal);
    return box.exec();
}

bool VDLDocument::windowShouldClose() {
    // Quitting closes every window: the answer given to the quit's question stands.
    if (closing_ || discardedForQuit_ || !isDocumentEdited()) return true;
    switch (askToSaveChanges()) {
    case QMessageBox::Save: {
        saveDocument(nullptr);
        return !isDocumentEdited();
    }
    case QMessageBox::Discard:
        return true;
    default:
        return false;
    }
}

void VDLDocument::windowDidClose() {
    if (patternView_ && VDLCanvas::animationProgress(patternView_) < 1.0)
        VDLNotificationCenter::defaultCenter().post(QStringLiteral("VardelleEndAnimation"), this);
    closing_ = true;
    emit closed(this);
    VDLDocumentController::sharedDocumentController()->removeDocument(this);
    deleteLater();
}

void VDLDocument::closeDocument(QObject*) { window_->close(); }

bool VDLDocument::reviewChangesForQuit() {
    discardedForQuit_ = false;
    if (!isDocumentEdited()) return true;
    window_->show();
    window_->raise();
    window_->activateWindow();
    switch (askToSaveChanges()) {
    case QMessageBox::Save:
        saveDocument(nullptr);
        return !isDocumentEdited();  // a failed or cancelled save keeps the application running
    case QMessageBox::Discard:
        discardedForQuit_ = true;
        return true;
    default:
        return false;
    }
}

void VDLDocument::setKeptFromLastSession(bool kept) {
    keptFromLastSession_ = kept;
    if (sessionNotice_) {
        sessionNotice_->setText(kept ? tr("Unsaved changes kept from the last session: the file does not hold them yet.")
                                     : QString());
        sessionNotice_->setVisible(kept);
    }
    if (window_) setWindowTitle();
}

// ---- Info lines, title, zoom -----------------------------------------------------------------

QString VDLDocument::patternVersionText() const { return patternVersion_->text(); }
QString VDLDocument::patternDimensionText() const { return patternDimension_->text(); }
QString VDLDocument::patternStitchesText() const { return patternStitches_->text(); }
QString VDLDocument::patternColorsText() const { return patternColors_->text(); }
QString VDLDocument::patternPaletteText() const { return patternPalette_->text(); }
QString VDLDocument::sessionNoticeText() const { return sessionNotice_ && !sessionNotice_->isHidden() ? sessionNotice_->text() : QString(); }
QString VDLDocument::patternSewingText() const { return patternSewing_->text(); }

void VDLDocument::updateView() {
    if (!patternVersion_ || !scrollView_) return;
    if (patternView_) {
        VDLCanvas::redraw(patternView_);
        setViewScaling(float(VDLCanvas::scale(patternView_, viewScaling_ / 100.0) * 100.0));
        VDLCanvas::adjustRulers(scrollView_);
    }
    const std::string version = VDLFormat(
        VDLLocalizedString("PATTERN_VERSION", "VDLDocument", "Version: %@ %1.1f"), design_.designType(),
        double(design_.designVersion()) / 10.0);
    patternVersion_->setText(QString::fromStdString(version));

    const VDLValueTransformer transformer;
    const std::string width = transformer.transformedValue(double(design_.designWidth()) / 10.0);
    const std::string height = transformer.transformedValue(double(design_.designHeight()) / 10.0);
    std::string dimension;
    if (design_.hoopWidth() > 0 && design_.hoopHeight() > 0)
        dimension = VDLFormat(VDLLocalizedString("PATTERN_DIMENSION1", "VDLDocument", "Size: %@ x %@, hoop %@"), width,
                              height, design_.hoopName());
    else
        dimension = VDLFormat(VDLLocalizedString("PATTERN_DIMENSION2", "VDLDocument", "Size: %@ x %@"), width, height);
    patternDimension_->setText(QString::fromStdString(dimension));

    const std::string stitches =
        VDLFormat(VDLLocalizedString("PATTERN_STITCHES", "VDLDocument", "Stitches: %@, jump stitches: %@"),
                  groupedInteger(design_.numberOfStitches()).toStdString(),
                  groupedInteger(design_.numberOfJumps()).toStdString());
    patternStitches_->setText(QString::fromStdString(stitches));

    const std::string colors =
        VDLFormat(VDLLocalizedString("PATTERN_COLORS", "VDLDocument", "Colors: %i, different colors: %i"),
                  design_.numberOfThreads(), design_.numberOfDifferentColors());
    patternColors_->setText(QString::fromStdString(colors));

    const std::string palette =
        design_.useThreadFile()
            ? VDLFormat(VDLLocalizedString("PATTERN_PALETTE2", "VDLDocument", "%@ (external)"), design_.designPaletteName())
            : VDLFormat(VDLLocalizedString("PATTERN_PALETTE1", "VDLDocument", "%@ (internal)"), design_.designPaletteName());
    patternPalette_->setText(QString::fromStdString(palette));

    const VDLSewingFacts facts = VDLSewingFacts::of(design_);
    const int speed = VDLDefaults::standard().integerForKey(QStringLiteral("StitchSpeed"));
    patternSewing_->setText(QString::fromStdString(facts.summary(double(speed) * 600.0, VDLValueTransformer::measurementUnit())));

    if (!(patternView_ && VDLCanvas::isDragging(patternView_)) && threadListUpdater_) threadListUpdater_();
    VDLNotificationCenter::defaultCenter().post(QStringLiteral("VardelleEndAnimation"), this);
}

QString VDLDocument::title() const {
    if (viewScaling_ == 100.0f) return displayName();
    return QString::fromStdString(VDLFormat("%@ (%1.0f%%)", displayName().toStdString(), double(viewScaling_)));
}

void VDLDocument::setWindowTitle() {
    window_->setWindowTitle(keptFromLastSession_ ? tr("%1[*] — unsaved changes from the last session").arg(title())
                                                 : title() + QStringLiteral("[*]"));
    window_->setWindowFilePath(fileName_);
    window_->setWindowModified(isDocumentEdited());
}

void VDLDocument::setViewScaling(float s) {
    if (std::fabs(viewScaling_ - s) < 0.001f) return;
    const float minimum = float(VDLCanvas::minimumScale(patternView_) * 100.0);
    const float maximum = float(VDLCanvas::maximumScale(patternView_) * 100.0);
    float v = std::min(s, maximum);
    v = std::max(v, minimum);
    if (std::isnan(v)) v = 100.0f;
    viewScaling_ = v;
    if (patternView_) {
        VDLCanvas::setScale(patternView_, viewScaling_ / 100.0f);
        VDLCanvas::adjustRulers(scrollView_);
        VDLCanvas::focus(patternView_);
    }
    setWindowTitle();
    if (scalingBox_ && !scalingBox_->lineEdit()->hasFocus())
        scalingBox_->setEditText(QString::number(double(std::lround(viewScaling_))));
    emit viewScalingChanged(viewScaling_);
}

void VDLDocument::scalingBoxEdited() {
    bool ok = false;
    QString text = scalingBox_->currentText().trimmed();
    text.remove(QLatin1Char('%'));
    const float value = text.toFloat(&ok);
    if (ok && value > 0) setViewScaling(value);
    scalingBox_->setEditText(QString::number(double(std::lround(viewScaling_))));
}

void VDLDocument::zoomIn(QObject*) { setViewScaling(viewScaling_ + 25); }
void VDLDocument::zoomOut(QObject*) { setViewScaling(viewScaling_ - 25); }

void VDLDocument::zoomToFit(QObject*) {
    setViewScaling(100);
    if (patternView_) {
        patternView_->refit();  // 100 % is the design as it is now
        VDLCanvas::setScale(patternView_, 1.0f);  // also when the canvas drifted from 100 %
        VDLCanvas::centerDesign(patternView_);
        viewCenter_ = VDLCanvas::centredPoint(patternView_);
    }
}

void VDLDocument::zoomDesign(QObject* sender) {
    const int segment = sender ? sender->property("segment").toInt() : -1;
    switch (segment) {
    case 0: zoomIn(sender); break;
    case 1: zoomOut(sender); break;
    case 2: zoomToFit(sender); break;
    default: break;
    }
}

QStringList VDLDocument::droppedDesignFiles(const QMimeData* data) {
    QStringList files;
    if (!data || !data->hasUrls()) return files;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile()) continue;
        const QString path = url.toLocalFile();
        if (QFileInfo(path).isFile() && VDLDocumentController::isReadableExtension(QFileInfo(path).suffix())) files << path;
    }
    return files;
}

bool VDLDocument::handleFileDrop(QEvent* event) {
    if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (droppedDesignFiles(drag->mimeData()).isEmpty()) return false;
        drag->setDropAction(Qt::CopyAction);
        drag->accept();
        return true;
    }
    if (event->type() != QEvent::Drop) return false;
    auto* drop = static_cast<QDropEvent*>(event);
    const QStringList files = droppedDesignFiles(drop->mimeData());
    if (files.isEmpty()) return false;
    drop->setDropAction(Qt::CopyAction);
    drop->accept();
    // After the drop has ended: opening may show an alert.
    QMetaObject::invokeMethod(
        VDLAppController::instance(),
        [files] {
            for (const QString& f : files) VDLAppController::instance()->openFile(f);
        },
        Qt::QueuedConnection);
    return true;
}

void VDLDocument::zoomAround(float scaling, QPointF viewportPos) {
    if (!patternView_ || !viewport_) {
        setViewScaling(scaling);
        return;
    }
    auto* area = qobject_cast<QAbstractScrollArea*>(scrollView_);
    const VDLPoint under = patternView_->designPointAt(patternView_->mapFrom(viewport_, viewportPos));
    setViewScaling(scaling);
    // The design point that was under the pointer stays under it.
    const QPointF w = patternView_->widgetPointAt(under);
    if (area) {
        area->horizontalScrollBar()->setValue(int(std::lround(w.x() - viewportPos.x())));
        area->verticalScrollBar()->setValue(int(std::lround(w.y() - viewportPos.y())));
    }
    viewCenter_ = VDLCanvas::centredPoint(patternView_);
}

void VDLDocument::showPointer(QPointF canvasPos) {
    if (!patternView_ || !pointerLabel_) return;
    const VDLPoint p = patternView_->designPointAt(canvasPos);
    const VDLValueTransformer transformer;  // the unit the application was launched with
    pointerLabel_->setText(tr("x: %1   y: %2")
                               .arg(QString::fromStdString(transformer.transformedValue(p.x / 10.0)),
                                    QString::fromStdString(transformer.transformedValue(p.y / 10.0))));
    QString stitch;
    if (VDLCanvas::selectionMode(patternView_) == 2 && !design_.stitches().empty()) {
        // Within three screen pixels of the pointer.
        const double reach = 3 * patternView_->drawUnit();
        const int32_t i = design_.indexOfStitchAt(p, float(std::max(0.7, reach * reach)));
        if (i >= 0) {
            int thread = 0;
            for (int32_t k = 0; k <= i; ++k) thread += design_.stitches()[size_t(k)].isColorChange ? 1 : 0;
            QString name;
            if (thread < int(design_.threads().size())) {
                const VDLThread& t = design_.threads()[size_t(thread)];
                name = QString::fromStdString(t.name().empty() ? t.key() : t.name());
            }
            stitch = tr("Stitch %1 of %2, thread %3%4")
                         .arg(groupedInteger(i + 1), groupedInteger(int64_t(design_.stitches().size())))
                         .arg(thread + 1)
                         .arg(name.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(name));
            if (design_.stitches()[size_t(i)].isJumpStitch) stitch += tr(", jump");
        }
    }
    stitchLabel_->setText(stitch);
}

bool VDLDocument::eventFilter(QObject* watched, QEvent* event) {
    if (watched == patternView_ && event->type() == QEvent::MouseMove)
        showPointer(static_cast<QMouseEvent*>(event)->position());
    if (watched == patternView_ && event->type() == QEvent::Leave && pointerLabel_) {
        pointerLabel_->clear();
        stitchLabel_->clear();
    }
    // Ctrl + wheel zooms around the pointer in the zoom steps (one notch, one step of 25 %);
    // the plain wheel keeps scrolling. A touchpad pinch zooms smoothly within the same limits.
    if (watched == viewport_ && event->type() == QEvent::Wheel) {
        auto* wheel = static_cast<QWheelEvent*>(event);
        if (wheel->modifiers() & Qt::ControlModifier) {
            wheelAccumulator_ += wheel->angleDelta().y();
            const int notches = wheelAccumulator_ / 120;
            wheelAccumulator_ -= notches * 120;
            if (notches != 0) zoomAround(viewScaling_ + 25.0f * float(notches), wheel->position());
            wheel->accept();
            return true;
        }
    }
    // A pinch zooms in the same steps: each quarter the fingers spread (or close) by, summed
    // over the gesture, is one step of 25 % around the point between them. It reaches the
    // canvas when the fingers are over the design, the visible area around it elsewhere.
    if ((watched == viewport_ || watched == patternView_) && event->type() == QEvent::NativeGesture) {
        auto* gesture = static_cast<QNativeGestureEvent*>(event);
        if (gesture->gestureType() == Qt::BeginNativeGesture || gesture->gestureType() == Qt::EndNativeGesture)
            pinchAccumulator_ = 0;
        if (gesture->gestureType() == Qt::ZoomNativeGesture) {
            const double value = gesture->value();
            if (std::isfinite(value)) pinchAccumulator_ += value;
            // A wild value (a driver's glitch) is at most the whole zoom range, never an overflow.
            const double whole = std::clamp(std::trunc(pinchAccumulator_ / kPinchStep), -100.0, 100.0);
            pinchAccumulator_ = std::clamp(pinchAccumulator_ - whole * kPinchStep, -kPinchStep, kPinchStep);
            const int steps = int(whole);
            if (steps != 0) zoomAround(viewScaling_ + 25.0f * float(steps), viewport_->mapFromGlobal(gesture->globalPosition()));
            gesture->accept();
            return true;
        }
    }
    // Design files dropped onto the window open, each in its own window.
    if (watched == window_ && handleFileDrop(event)) return true;

    // The window's resize reaches this filter before the layout resizes the canvas: the design
    // point in the middle of the view is the one to keep there.
    if (watched == window_ && event->type() == QEvent::Resize) resizing_ = true;
    // The visible area changed size (window, rulers, thread list): the zoom factor relative to
    // it stays, and so does the design point in its middle.
    if (event->type() == QEvent::Resize && patternView_ && watched == viewport_) {
        const bool wasResizing = resizing_;
        resizing_ = true;
        VDLCanvas::setScale(patternView_, viewScaling_ / 100.0f);
        VDLCanvas::scrollPointToCentre(patternView_, viewCenter_);
        resizing_ = wasResizing;
    }
    return QObject::eventFilter(watched, event);
}

void VDLDocument::windowDidResize() {
    if (!patternView_) {
        resizing_ = false;
        return;
    }
    resizing_ = true;
    VDLCanvas::setScale(patternView_, viewScaling_ / 100.0f);
    VDLCanvas::adjustRulers(scrollView_);
    VDLCanvas::scrollPointToCentre(patternView_, viewCenter_);
    resizing_ = false;
}

// ---- Selection tools and toolbar -------------------------------------------------------------

int VDLDocument::canvasSelectionMode() const {
    return patternView_ ? VDLCanvas::selectionMode(patternView_) : fallbackSelectionMode_;
}

void VDLDocument::applySelectionMode(int mode) {
    const int current = canvasSelectionMode();
    if (current == mode) {
        // The active tool again: back to thread picking.
        if (patternView_) {
            VDLCanvas::setSelectionMode(patternView_, -1);
            VDLCanvas::switchCursorTo(patternView_, Qt::ArrowCursor);
        }
        fallbackSelectionMode_ = -1;
    } else {
        if (patternView_) {
            VDLCanvas::setSelectionMode(patternView_, mode);
            VDLCanvas::switchCursorTo(patternView_, Qt::CrossCursor);
        }
        fallbackSelectionMode_ = mode;
        if (mode != 3) showAllThreads();
    }
    updateToolbar();
}

void VDLDocument::selectRect(QObject*) { applySelectionMode(0); }
void VDLDocument::selectSection(QObject*) { applySelectionMode(1); }
void VDLDocument::selectStitch(QObject*) { applySelectionMode(2); }
void VDLDocument::measureDistance(QObject*) { applySelectionMode(3); }

void VDLDocument::selectStitches(QObject* sender) {
    switch (sender ? sender->property("segment").toInt() : -1) {
    case 0: selectRect(nullptr); break;
    case 1: selectSection(nullptr); break;
    case 2: selectStitch(nullptr); break;
    case 3: measureDistance(nullptr); break;
    default: break;
    }
}

bool VDLDocument::isCentered() const {
    const VDLPoint c = design_.centerOfDesign();
    return c.x >= -5.0 && c.x < 5.0 && c.y >= -5.0 && c.y < 5.0;
}

void VDLDocument::updateToolbar() {
    if (!centerToolbarItem_) return;
    const bool selection = design_.selectionActive();
    centerToolbarItem_->setEnabled(!isCentered());
    for (QAction* a : {deleteToolbarItem_, moveToolbarItem_, resizeToolbarItem_, rotateToolbarItem_,
                       rotateLeftToolbarItem_, flipToolbarItem_, flipHToolbarItem_})
        a->setEnabled(selection);
    const int mode = canvasSelectionMode();
    for (int k = 0; k < 4; ++k) selectActions_[k]->setChecked(mode == k);
    if (patternView_) VDLCanvas::switchCursorTo(patternView_, mode >= 0 && mode <= 3 ? Qt::CrossCursor : Qt::ArrowCursor);
    // The menu items and their shortcuts follow the selection at once.
    if (VDLAppController::exists()) VDLAppController::instance()->validateActions();
}

// ---- Threads ---------------------------------------------------------------------------------

void VDLDocument::showThread(int i) {
    if (i < 0 || i >= int(design_.numberOfThreads())) return;
    const int mode = canvasSelectionMode();
    if (mode == 0) selectRect(nullptr);
    else if (mode == 1) selectSection(nullptr);
    else if (mode == 2) selectStitch(nullptr);
    if (design_.selectionActive()) design_.deselectAll();
    for (int j = 0; j < int(design_.numberOfThreads()); ++j) design_.setIsShown(j == i, j);
    if (patternView_) VDLCanvas::redraw(patternView_);
    if (colorPanelHook_) colorPanelHook_(i);
    updateToolbar();
}

void VDLDocument::showAllThreads() {
    if (design_.isShownOfAllThreads()) return;
    for (int j = 0; j < int(design_.numberOfThreads()); ++j) design_.setIsShown(true, j);
    if (patternView_) VDLCanvas::redraw(patternView_);
    if (colorPanelHook_) colorPanelHook_(-1);
}

void VDLDocument::showAllThreadsAction(QObject*) { showAllThreads(); }

// ---- Undoable changes ------------------------------------------------------------------------

void VDLDocument::changePalette(QObject* sender) {
    auto* item = qobject_cast<QAction*>(sender);
    if (!item) return;
    changeWithUndoPalette(plainTitle(item).toStdString(), true);
}

// moveByVector and changeWithUndoPalette: VDLDocumentEditing.cpp

// ---- Alerts and validation -------------------------------------------------------------------

void VDLDocument::anyAlertDisplay(const QString& message, const QString& info, int style) {
    QMessageBox::Icon icon = QMessageBox::Information;
    if (style == 0) icon = QMessageBox::Warning;
    else if (style == 2) icon = QMessageBox::Critical;
    auto* box = new QMessageBox(icon, message, message, QMessageBox::Ok, window_);
    box->setObjectName(QStringLiteral("documentAlert"));
    box->setInformativeText(info);
    box->setWindowModality(Qt::WindowModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
}

void VDLDocument::showNotAvailable(const QString& command) {
    anyAlertDisplay(tr("Not available yet"),
                    tr("The command “%1” is not available yet in this version of Vardelle.").arg(command), 1);
}

bool VDLDocument::validateUserInterfaceItem(QAction* item) {
    const QString action = selectorOf(item);
    if (action == QLatin1String("saveDocument:"))
        return !fileName_.isEmpty() && VDLDocumentController::isWritableExtension(fileType_);
    if (action == QLatin1String("center:")) return !isCentered();
    static const QStringList needsSelection = {
        QStringLiteral("flipV:"), QStringLiteral("flipH:"), QStringLiteral("moveStitches:"),
        QStringLiteral("rotateR:"), QStringLiteral("rotateL:"), QStringLiteral("rotateFree:"),
        QStringLiteral("resizeStitches:"), QStringLiteral("convertSelectionToJumps:"),
        QStringLiteral("convertSelectionToStitches:"),
        QStringLiteral("cut:"), QStringLiteral("delete:"), QStringLiteral("deselectAll:"),
        QStringLiteral("invertSelection:")};
    if (needsSelection.contains(action)) return design_.selectionActive();
    if (action == QLatin1String("insertThreadBeforeSelection:"))
        return design_.selectionActive() && !selectionStartsBlock(design_);
    const QString hoopTitle = design_.designHoop() ? QString::fromStdString(design_.designHoop()->description()) : QString();
    if (action == QLatin1String("selectHoopJanome:")) {
        item->setCheckable(true);
        item->setChecked(!hoopTitle.isEmpty() && plainTitle(item) == hoopTitle);
        return design_.designType() == "JEF";
    }
    if (action == QLatin1String("selectHoopPfaff:")) {
        item->setCheckable(true);
        item->setChecked(!hoopTitle.isEmpty() && plainTitle(item) == hoopTitle);
        return design_.designType() == "PCS";
    }
    if (action == QLatin1String("paste:")) {
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        return data && data->hasFormat(QStringLiteral("application/x-vardelle-design"));
    }
    static const QStringList tools = {QStringLiteral("selectRect:"), QStringLiteral("selectSection:"),
                                      QStringLiteral("selectStitch:"), QStringLiteral("measureDistance:")};
    if (const int k = int(tools.indexOf(action)); k >= 0) {
        item->setCheckable(true);
        item->setChecked(canvasSelectionMode() == k);
        return true;
    }
    if (action == QLatin1String("changePalette:")) {
        item->setCheckable(true);
        item->setChecked(design_.useThreadFile() && plainTitle(item).toStdString() == design_.designPalette());
        return true;
    }
    if (action == QLatin1String("noPalette:")) {
        item->setCheckable(true);
        item->setChecked(design_.useThreadFile() && design_.designPalette().empty());
        return true;
    }
    return true;
}

// ---- Window state ----------------------------------------------------------------------------

std::string VDLDocument::encodeStitches(const std::vector<VDLStitch>& stitches) {
    return VDLEncodeKeptStitches(stitches);
}

std::optional<std::vector<VDLStitch>> VDLDocument::decodeStitches(std::string_view bytes) {
    return VDLDecodeKeptStitches(bytes);
}

bool VDLDocument::keepsDesignInState() const { return isDocumentEdited() && !discardedForQuit_; }

std::string VDLDocument::encodeRestorableState(std::string* keptStitches) const {
    VDLPlist root(plist_new_dict());
    VDLCoder coder(static_cast<plist_t>(root.get()));
    const VDLPoint centre = patternView_ ? VDLCanvas::centredPoint(patternView_) : viewCenter_;
    coder.encodeFloat(viewScaling_, kViewScaling);
    coder.encodeFloat(float(centre.x), kViewCenterX);
    coder.encodeFloat(float(centre.y), kViewCenterY);
    // The file holds the design; the state holds it only when it has changes the user neither
    // saved nor discarded, and then its stitches go apart in the compact form above.
    const bool keep = keepsDesignInState();
    if (keep) {
        VDLDesign shell = design_;
        shell.setStitches({});
        VDLCoder designCoder(coder.encodeDictionary(kDesign));
        shell.encodeWithCoder(designCoder);
        coder.encodeInt(int64_t(design_.stitches().size()), kStitchCount);
        if (keptStitches) *keptStitches = encodeStitches(design_.stitches());
    } else if (keptStitches) {
        keptStitches->clear();
    }
    if (fileModificationDate_.isValid()) {
        const int64_t ms = fileModificationDate_.toMSecsSinceEpoch() - kPlistEpochOffset * 1000;
        const int64_t sec = ms >= 0 ? ms / 1000 : -((-ms + 999) / 1000);
        plist_dict_set_item(static_cast<plist_t>(root.get()), kModificationDate,
                            plist_new_date(int32_t(sec), int32_t((ms - sec * 1000) * 1000)));
    }
    coder.encodeBool(keep, kIsEdited);
    if (!design_.isShownOfAllThreads()) {
        int64_t highest = -1;
        for (int64_t j = 0; j < design_.numberOfThreads(); ++j)
            if (design_.isShownOfThread(int32_t(j))) highest = j;
        coder.encodeInt(highest, kSelectedThread);
    }
    coder.encodeInt(canvasSelectionMode(), kSelectionMode);
    coder.encodeString(fileName_.toStdString(), kFilePath);
    if (window_) {
        const QRect frame = window_->normalGeometry().isValid() ? window_->normalGeometry() : window_->geometry();
        coder.encodeString(QStringLiteral("%1 %2 %3 %4")
                               .arg(frame.x()).arg(frame.y()).arg(frame.width()).arg(frame.height())
                               .toStdString(),
                           kWindowFrame);
    }
    return VDLPlistToXML(static_cast<plist_t>(root.get()));
}

// Property-list dates keep whole seconds in their XML form, so dates compare to the second.
std::optional<QDateTime> VDLDocument::archivedModificationDate(const std::string& archiveXML) {
    VDLPlist root = VDLPlistFromXML(archiveXML);
    if (!root || plist_get_node_type(static_cast<plist_t>(root.get())) != PLIST_DICT) return std::nullopt;
    plist_t node = plist_dict_get_item(static_cast<plist_t>(root.get()), kModificationDate);
    if (!node || plist_get_node_type(node) != PLIST_DATE) return std::nullopt;
    int32_t sec = 0, usec = 0;
    plist_get_date_val(node, &sec, &usec);
    return QDateTime::fromMSecsSinceEpoch((int64_t(sec) + kPlistEpochOffset) * 1000 + usec / 1000);
}

bool VDLDocument::archiveKeepsDesign(const std::string& archiveXML) {
    VDLPlist root = VDLPlistFromXML(archiveXML);
    if (!root || plist_get_node_type(static_cast<plist_t>(root.get())) != PLIST_DICT) return false;
    VDLCoder coder(static_cast<plist_t>(root.get()));
    return coder.decodeDictionary(kDesign) && (!coder.containsValueForKey(kIsEdited) || coder.decodeBool(kIsEdited));
}

QString VDLDocument::archivedFilePath(const std::string& archiveXML) {
    VDLPlist root = VDLPlistFromXML(archiveXML);
    if (!root || plist_get_node_type(static_cast<plist_t>(root.get())) != PLIST_DICT) return {};
    VDLCoder coder(static_cast<plist_t>(root.get()));
    return QString::fromStdString(coder.decodeString(kFilePath).value_or(std::string()));
}

std::optional<VDLDesign> VDLDocument::keptDesign(const std::string& archiveXML, const std::string* keptStitches,
                                                 const QDateTime& fileDate) {
    VDLPlist root = VDLPlistFromXML(archiveXML);
    if (!root || plist_get_node_type(static_cast<plist_t>(root.get())) != PLIST_DICT) return std::nullopt;
    VDLCoder coder(static_cast<plist_t>(root.get()));
    // The archived design stands in for the file's when it holds changes that were never saved
    // and the file is the one they were made to (same modification date). A file changed since
    // keeps its own contents: the caller does not restore such a window at all.
    plist_t designNode = coder.decodeDictionary(kDesign);
    if (!designNode) return std::nullopt;
    const bool edited = !coder.containsValueForKey(kIsEdited) || coder.decodeBool(kIsEdited);
    const std::optional<QDateTime> date = archivedModificationDate(archiveXML);
    const bool sameFile = date && fileDate.isValid() && date->toSecsSinceEpoch() == fileDate.toSecsSinceEpoch();
    if (!edited || !sameFile) return std::nullopt;
    VDLDesign archived{VDLCoder(designNode)};
    if (coder.containsValueForKey(kStitchCount)) {
        std::optional<std::vector<VDLStitch>> stitches = keptStitches ? decodeStitches(*keptStitches) : std::nullopt;
        if (!stitches || int64_t(stitches->size()) != coder.decodeInt(kStitchCount)) return std::nullopt;
        archived.setStitches(std::move(*stitches));
        archived.setDisplayRange(VDLRange{0, uint64_t(archived.stitches().size())});
    }
    // One check for every decoded design: threads matching the colour blocks, moves and bounds
    // within every format's reach, a normalised size within bounds.
    std::string problem;
    if (archived.stitches().empty() || archived.threads().empty() || !archived.isSoundArchive(&problem)) {
        if (!problem.empty()) qWarning("Kept design refused: %s", problem.c_str());
        return std::nullopt;
    }
    return archived;
}

void VDLDocument::installKeptDesign(VDLDesign design) {
    // The palette step of opening belonged to the file's design, which is gone.
    undoStack_->clear();
    setDesign(std::move(design));
    editedWithoutUndo_ = true;
    setKeptFromLastSession(true);
    window_->setWindowModified(true);
}

bool VDLDocument::restoreKeptDesign(const std::string& archiveXML, const std::string* keptStitches) {
    std::optional<VDLDesign> kept = keptDesign(archiveXML, keptStitches, fileModificationDate_);
    if (!kept) {
        if (archiveKeepsDesign(archiveXML))
            qWarning("Window state of \"%s\": kept design ignored (changed file, incomplete or inconsistent)",
                     qPrintable(displayName()));
        return false;
    }
    installKeptDesign(std::move(*kept));
    return true;
}

VDLDocument* VDLDocument::openWithKeptDesign(const QString& path, VDLDesign design) {
    auto* doc = new VDLDocument();
    doc->fileName_ = QFileInfo(path).absoluteFilePath();
    doc->fileType_ = QFileInfo(path).suffix().toUpper();
    doc->refreshFileModificationDate();
    doc->installKeptDesign(std::move(design));
    doc->setWindowTitle();
    VDLDocumentController::sharedDocumentController()->addDocument(doc);
    doc->window_->show();
    doc->zoomToFit(nullptr);
    return doc;
}

bool VDLDocument::restoreState(const std::string& archiveXML, const std::string* keptStitches) {
    VDLPlist root = VDLPlistFromXML(archiveXML);
    if (!root || plist_get_node_type(static_cast<plist_t>(root.get())) != PLIST_DICT) {
        qWarning("Window state of \"%s\" ignored: not a keyed archive", qPrintable(displayName()));
        return false;
    }
    VDLCoder coder(static_cast<plist_t>(root.get()));
    // The kept design may have been installed before the window was shown.
    if (!keptFromLastSession_) restoreKeptDesign(archiveXML, keptStitches);
    if (const std::optional<std::string> frame = coder.decodeString(kWindowFrame)) {
        const QStringList parts = QString::fromStdString(*frame).split(QLatin1Char(' '));
        bool ok = parts.size() == 4;
        int v[4] = {0, 0, 0, 0};
        for (int i = 0; ok && i < 4; ++i) v[i] = parts[i].toInt(&ok);
        // A frame is taken only when it is a sane size on some screen of this session.
        const QRect rect(std::clamp(v[0], -100000, 100000), std::clamp(v[1], -100000, 100000),
                         std::clamp(v[2], 0, 100000), std::clamp(v[3], 0, 100000));
        bool onScreen = false;
        for (QScreen* screen : QGuiApplication::screens())
            if (screen->availableGeometry().intersects(rect)) onScreen = true;
        if (ok && onScreen && rect.width() >= 100 && rect.height() >= 100) window_->setGeometry(rect);
    }
    if (coder.containsValueForKey(kSelectedThread)) showThread(int(coder.decodeInt(kSelectedThread)));
    if (coder.containsValueForKey(kSelectionMode)) {
        switch (coder.decodeInt(kSelectionMode)) {
        case 0: selectRect(nullptr); break;
        case 1: selectSection(nullptr); break;
        case 2: selectStitch(nullptr); break;
        case 3: measureDistance(nullptr); break;
        default: break;
        }
    }
    if (coder.containsValueForKey(kViewScaling)) setViewScaling(coder.decodeFloat(kViewScaling));
    if (coder.containsValueForKey(kViewCenterX) && coder.containsValueForKey(kViewCenterY)) {
        viewCenter_ = VDLPoint{coder.decodeFloat(kViewCenterX), coder.decodeFloat(kViewCenterY)};
        if (patternView_) VDLCanvas::scrollPointToCentre(patternView_, viewCenter_);
    }
    updateView();
    updateToolbar();
    return true;
}

QString VDLDocument::pointerText() const { return pointerLabel_ ? pointerLabel_->text() : QString(); }
QString VDLDocument::pointerStitchText() const { return stitchLabel_ ? stitchLabel_->text() : QString(); }
