#include "VDLAppController.h"

#include "VDLDefaults.h"
#include "VDLDesign.h"
#include "VDLNotificationCenter.h"
#include "VDLPlayerController.h"
#include "VDLPreferenceController.h"
#include "VDLPropertyList.h"
#include "VDLRecentDocuments.h"
#include "VDLResources.h"
#include "VDLStartWindow.h"
#include "VDLValueTransformer.h"
#include "VDLVersionChecker.h"

#include <QAction>
#include <QApplication>
#include <QCommandLineParser>
#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QClipboard>
#include <QKeyEvent>
#include <QKeySequence>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QTimer>
#include <QUndoStack>
#include <QUrl>
#include <QWindow>

#include <atomic>
#include <cstdio>
#include <cstdlib>

#ifndef VARDELLE_VERSION
#define VARDELLE_VERSION "0"
#endif
#ifndef VARDELLE_VERSION_URL
#define VARDELLE_VERSION_URL ""
#endif

namespace {
VDLAppController* s_instance = nullptr;
// The unit the measurement transformer reports; read at launch, safe to read from any thread.
std::atomic<int> s_measurementUnit{0};

constexpr qint64 kWeek = 604800;

// The palettes of the thread menu after "No Palette": the machine charts, then the thread charts.
const char* const kThreadMenuPalettes[] = {
    "Brother", "Janome", "Pfaff", "Sulky Rayon", "Robison-Anton Poly", "Poly-X40 Polyester",
    "Marathon Rayon", "Madeira Rayon", "Madeira Polyneon", "Fufu Rayon", "Floriani Polyester",
    "Coats Trilobal", "Coats Rayon", "Brother Country", "Ackermann Isacord", "WonderFil Splendor",
};

// The defaults shown by the View menu's check items, with their titles.
struct DisplayToggle {
    const char* title;
    const char* key;
};
const DisplayToggle kDisplayToggles[] = {
    {"Show &Jump Stitches", "ShowJumps"},   {"Show &Grid", "ShowGrid"},
    {"Show &Center", "ShowCenter"},          {"Show &Hoop", "ShowHoop"},
    {"Show Stitch &Structure", "ShowStructure"}, {"Mark &First Stitch", "ShowFirst"},
    {"Mark &Last Stitch", "ShowLast"},       {"&Fast Drawing (flat)", "DrawFastMode"},
};

bool anyVisibleWindow() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->isWindow() && !w->inherits("QMenu")) return true;
    return false;
}
}  // namespace

// ---- Defaults -------------------------------------------------------------------------------

QVariantMap VDLAppController::registeredDefaults() {
    QVariantMap d;
    d.insert("MachineTag", 0);
    d.insert("MeasurementUnit", 0);
    d.insert("DefaultThreads", 0);
    d.insert("CheckForUpdates", true);
    d.insert("SkipOpenDialog", false);
    d.insert("BastingLength", 5.0f);
    d.insert("BastingDistance", 1.0f);
    d.insert("SoundMuted", false);
    d.insert("StitchSpeed", 7);
    d.insert("AlertReset", false);
    d.insert("AlertWriteToURL", false);
    d.insert("DrawFastMode", false);
    d.insert("ShowJumps", true);
    d.insert("ShowGrid", true);
    d.insert("ShowCenter", false);
    d.insert("ShowHoop", true);
    d.insert("ShowStructure", false);
    d.insert("ShowFirst", false);
    d.insert("ShowLast", false);
    d.insert("ShowRulers", true);
    d.insert("PrintFastMode", true);
    d.insert("PrintGrid", true);
    d.insert("PrintJumps", true);
    d.insert("PrintCenter", false);
    d.insert("PrintHoop", false);
    d.insert("PrintStructure", false);
    d.insert("PrintFirst", false);
    d.insert("PrintLast", false);
    d.insert("PrintTemplate", false);
    d.insert("BackgroundColor", archivedColor(windowBackgroundColor()));
    // Kept for the preferences file the original platform shares; nothing here reads them.
    d.insert("NSDisabledCharacterPaletteMenuItem", true);
    d.insert("NSDisabledDictationMenuItem", true);
    return d;
}

void VDLAppController::registerDefaults() {
    VDLDefaults::standard().registerDefaults(registeredDefaults());
    s_measurementUnit = s_instance ? s_instance->measurementUnit_
                                   : VDLDefaults::standard().integerForKey("MeasurementUnit");
    VDLValueTransformer::setMeasurementUnitProvider([] { return static_cast<int64_t>(s_measurementUnit.load()); });
}

// ---- Colours --------------------------------------------------------------------------------

QByteArray VDLAppController::archivedColor(const QColor& color) {
    VDLPlist dict(plist_new_dict());
    VDLCoder coder(dict.get());
    const QColor c = color.toRgb();
    coder.encodeDouble(c.redF(), "r");
    coder.encodeDouble(c.greenF(), "g");
    coder.encodeDouble(c.blueF(), "b");
    return QByteArray::fromStdString(VDLPlistToXML(dict.get()));
}

QColor VDLAppController::colorFromArchive(const QByteArray& bytes) {
    if (bytes.isEmpty()) return {};
    VDLPlist root = VDLPlistFromXML(bytes.toStdString());
    if (!root || plist_get_node_type(root.get()) != PLIST_DICT) return {};
    double rgb[3];
    const char* keys[3] = {"r", "g", "b"};
    for (int i = 0; i < 3; ++i) {
        plist_t node = plist_dict_get_item(root.get(), keys[i]);
        std::optional<double> v = node ? VDLPlistReal(node) : std::nullopt;
        if (!v || !(*v >= 0.0 && *v <= 1.0)) return {};
        rgb[i] = *v;
    }
    return QColor::fromRgbF(static_cast<float>(rgb[0]), static_cast<float>(rgb[1]), static_cast<float>(rgb[2]));
}

QColor VDLAppController::windowBackgroundColor() {
    if (qobject_cast<QApplication*>(QCoreApplication::instance()))
        return QApplication::palette().color(QPalette::Active, QPalette::Window);
    return QColor(239, 239, 239);
}

QColor VDLAppController::backgroundColor() {
    const QColor c = colorFromArchive(VDLDefaults::standard().dataForKey("BackgroundColor"));
    return c.isValid() ? c : windowBackgroundColor();
}

// ---- Instance and menus ---------------------------------------------------------------------

VDLAppController* VDLAppController::instance() {
    if (!s_instance) {
        s_instance = new VDLAppController;
        // Gone before QApplication tears its widgets down (the menus and windows are widgets).
        qAddPostRoutine([] { delete s_instance; });
    }
    return s_instance;
}

bool VDLAppController::exists() { return s_instance != nullptr; }

VDLAppController::VDLAppController() {
    registerDefaults();
    measurementUnit_ = VDLDefaults::standard().integerForKey("MeasurementUnit");
    s_measurementUnit = measurementUnit_;
    buildMenus();
    // Stitch player: the window showSimulator: opens, made on first use.
    playerFactory_ = [] { return new VDLPlayerController(); };
    connect(&VDLDefaults::standard(), &VDLDefaults::valueChanged, this, [this](const QString& key) {
        for (QAction* a : std::as_const(actions_)) {
            if (a->property("vdlDefaultsKey").toString() != key) continue;
            QSignalBlocker block(a);
            a->setChecked(VDLDefaults::standard().boolForKey(key));
        }
    });
    if (auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        connect(app, &QGuiApplication::applicationStateChanged, this, [this](Qt::ApplicationState state) {
            if (state == Qt::ApplicationActive) onApplicationStateChanged();
        });
    // The enabled states follow every change that decides them, not only the opening of a
    // menu: the active window, the focus, the clipboard (Paste) and, through the documents,
    // selection and undo changes. A shortcut therefore always does what its menu item would.
    if (auto* app = qobject_cast<QApplication*>(QCoreApplication::instance())) {
        connect(app, &QApplication::focusChanged, this, &VDLAppController::validateActions);
        connect(app, &QGuiApplication::focusWindowChanged, this, &VDLAppController::validateActions);
        connect(QGuiApplication::clipboard(), &QClipboard::dataChanged, this, &VDLAppController::validateActions);
        // And once more just before a key is matched against the shortcuts, for states no
        // signal reports.
        app->installEventFilter(this);
    }
}

bool VDLAppController::eventFilter(QObject* watched, QEvent* event) {
    // Escape leaves full screen, unless a menu or a dialog is the one to take it.
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape &&
        static_cast<QKeyEvent*>(event)->modifiers() == Qt::NoModifier && !QApplication::activePopupWidget() &&
        !QApplication::activeModalWidget()) {
        auto* w = qobject_cast<QWidget*>(watched);
        QWidget* top = w ? w->window() : nullptr;
        if (top && top == QApplication::activeWindow() && top->isFullScreen()) {
            top->showNormal();
            validateActions();
            return true;
        }
    }
    if (event->type() == QEvent::ShortcutOverride && !validating_) {
        validating_ = true;
        validateActions();
        validating_ = false;
    }
    return QObject::eventFilter(watched, event);
}

VDLAppController::~VDLAppController() {
    // The menus have no parent widget: they belong to the controller.
    delete startWindow_;  // before the menus its menu bar shows
    qDeleteAll(menus_);
    delete preferenceController_;
    if (s_instance == this) s_instance = nullptr;
}

void VDLAppController::setMeasurementUnit(int unit) {
    measurementUnit_ = unit;
    s_measurementUnit = unit;
}

namespace {
// The platform's keys for a standard command, with the keys users of every desktop expect added
// when the platform's list lacks them (Ctrl+W for Close, Ctrl+Shift+S for Save As, ...).
void setStandardKeys(QAction* a, QKeySequence::StandardKey key, std::initializer_list<QKeySequence> expected = {}) {
    QList<QKeySequence> keys = QKeySequence::keyBindings(key);
    for (const QKeySequence& k : expected)
        if (!keys.contains(k)) keys.append(k);
    a->setShortcuts(keys);
}
}  // namespace

QAction* VDLAppController::addAction(QMenu* menu, const QString& title, const QString& selector, bool application) {
    auto* a = new QAction(title, menu);
    a->setObjectName(selector);
    a->setProperty("vdlApplication", application);
    a->setProperty("vdlConnected", true);
    connect(a, &QAction::triggered, this, [this, a] { dispatch(a); });
    menu->addAction(a);
    actions_.append(a);
    return a;
}

QAction* VDLAppController::addDefaultToggle(QMenu* menu, const QString& title, const QString& key) {
    auto* a = new QAction(title, menu);
    a->setObjectName(key);
    a->setCheckable(true);
    a->setChecked(VDLDefaults::standard().boolForKey(key));
    a->setProperty("vdlApplication", true);
    a->setProperty("vdlConnected", true);
    a->setProperty("vdlDefaultsKey", key);
    connect(a, &QAction::triggered, this, [this, a, key](bool on) {
        VDLDefaults::standard().setValue(key, on);
        sendUpdateNotification(a);
    });
    menu->addAction(a);
    actions_.append(a);
    return a;
}

void VDLAppController::buildMenus() {
    auto newMenu = [this](const QString& title, const QString& name) {
        auto* m = new QMenu(title);
        m->setObjectName(name);
        connect(m, &QMenu::aboutToShow, this, &VDLAppController::validateActions);
        menus_.append(m);
        return m;
    };
    fileMenu_ = newMenu(tr("&File"), "fileMenu");
    editMenu_ = newMenu(tr("&Edit"), "editMenu");
    viewMenu_ = newMenu(tr("&View"), "viewMenu");
    designMenu_ = newMenu(tr("&Design"), "designMenu");
    hoopMenu_ = newMenu(tr("&Hoop"), "hoopMenu");
    threadMenu_ = newMenu(tr("&Thread"), "threadMenu");
    windowMenu_ = newMenu(tr("&Window"), "windowMenu");
    helpMenu_ = newMenu(tr("&Help"), "helpMenu");

    // File
    setStandardKeys(addAction(fileMenu_, tr("&Open…"), "openDocument:", true), QKeySequence::Open, {QKeySequence(Qt::CTRL | Qt::Key_O)});
    // Open Recent: built from the remembered files each time it opens.
    recentMenu_ = fileMenu_->addMenu(tr("Open &Recent"));
    recentMenu_->setObjectName(QStringLiteral("recentMenu"));
    connect(recentMenu_, &QMenu::aboutToShow, this, &VDLAppController::fillRecentMenu);
    fillRecentMenu();
    setStandardKeys(addAction(fileMenu_, tr("&Close"), "performClose:", true), QKeySequence::Close, {QKeySequence(Qt::CTRL | Qt::Key_W)});
    fileMenu_->addSeparator();
    setStandardKeys(addAction(fileMenu_, tr("&Save"), "saveDocument:", false), QKeySequence::Save, {QKeySequence(Qt::CTRL | Qt::Key_S)});
    setStandardKeys(addAction(fileMenu_, tr("Save &As…"), "saveDocumentAs:", false), QKeySequence::SaveAs,
                    {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_S)});
    addAction(fileMenu_, tr("Save a Cop&y To…"), "saveDocumentTo:", false)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_S));
    addAction(fileMenu_, tr("Re&vert to Saved"), "revertDocumentToSaved:", false);
    fileMenu_->addSeparator();
    addAction(fileMenu_, tr("Export to &Machine…"), "exportDesignDialog:", false)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_E));
    addAction(fileMenu_, tr("Export as P&DF…"), "exportPDF:", false);
    setStandardKeys(addAction(fileMenu_, tr("&Print…"), "printDocument:", false), QKeySequence::Print, {QKeySequence(Qt::CTRL | Qt::Key_P)});
    fileMenu_->addSeparator();
    QAction* quit = addAction(fileMenu_, tr("&Quit"), "terminate:", true);
    setStandardKeys(quit, QKeySequence::Quit, {QKeySequence(Qt::CTRL | Qt::Key_Q)});
    quit->setMenuRole(QAction::QuitRole);

    // Edit
    setStandardKeys(addAction(editMenu_, tr("&Undo"), "undo:", true), QKeySequence::Undo, {QKeySequence(Qt::CTRL | Qt::Key_Z)});
    setStandardKeys(addAction(editMenu_, tr("&Redo"), "redo:", true), QKeySequence::Redo, {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    editMenu_->addSeparator();
    setStandardKeys(addAction(editMenu_, tr("Cu&t"), "cut:", false), QKeySequence::Cut, {QKeySequence(Qt::CTRL | Qt::Key_X)});
    setStandardKeys(addAction(editMenu_, tr("&Copy"), "copy:", false), QKeySequence::Copy, {QKeySequence(Qt::CTRL | Qt::Key_C)});
    setStandardKeys(addAction(editMenu_, tr("&Paste"), "paste:", false), QKeySequence::Paste, {QKeySequence(Qt::CTRL | Qt::Key_V)});
    setStandardKeys(addAction(editMenu_, tr("&Delete"), "delete:", false), QKeySequence::Delete, {QKeySequence(Qt::Key_Delete)});
    editMenu_->addSeparator();
    setStandardKeys(addAction(editMenu_, tr("Select &All"), "selectAll:", false), QKeySequence::SelectAll, {QKeySequence(Qt::CTRL | Qt::Key_A)});
    setStandardKeys(addAction(editMenu_, tr("Dese&lect All"), "deselectAll:", false), QKeySequence::Deselect,
                    {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_A)});
    addAction(editMenu_, tr("&Invert Selection"), "invertSelection:", false)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_I));
    editMenu_->addSeparator();
    QAction* prefs = addAction(editMenu_, tr("Pr&eferences…"), "showPreferences:", true);
    setStandardKeys(prefs, QKeySequence::Preferences, {QKeySequence(Qt::CTRL | Qt::Key_Comma)});
    prefs->setMenuRole(QAction::PreferencesRole);

    // View
    setStandardKeys(addAction(viewMenu_, tr("Zoom &In"), "zoomIn:", false), QKeySequence::ZoomIn,
                    {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)});
    setStandardKeys(addAction(viewMenu_, tr("Zoom &Out"), "zoomOut:", false), QKeySequence::ZoomOut, {QKeySequence(Qt::CTRL | Qt::Key_Minus)});
    addAction(viewMenu_, tr("Zoom to &Fit"), "zoomToFit:", false)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));
    viewMenu_->addSeparator();
    QAction* rulers = addAction(viewMenu_, tr("Show &Rulers"), "sendRulerNotification:", true);
    rulers->setCheckable(true);
    rulers->setChecked(VDLDefaults::standard().boolForKey("ShowRulers"));
    rulers->setProperty("vdlDefaultsKey", QStringLiteral("ShowRulers"));
    rulers->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    for (const DisplayToggle& t : kDisplayToggles) addDefaultToggle(viewMenu_, tr(t.title), t.key);
    setStandardKeys(addAction(viewMenu_, tr("Re&draw All Windows"), "sendUpdateNotification:", true), QKeySequence::Refresh,
                    {QKeySequence(Qt::Key_F5)});
    viewMenu_->addSeparator();
    addAction(viewMenu_, tr("Show &All Threads"), "showAllThreadsAction:", false);
    viewMenu_->addSeparator();
    QAction* full = addAction(viewMenu_, tr("F&ull Screen"), "toggleFullScreen:", true);
    setStandardKeys(full, QKeySequence::FullScreen, {QKeySequence(Qt::Key_F11)});
    full->setCheckable(true);

    // Design
    const struct { const char* title; const char* selector; } tools[] = {
        {"Select &Rectangle", "selectRect:"}, {"Select S&ection", "selectSection:"},
        {"Select S&titch", "selectStitch:"}, {"&Measure Distance", "measureDistance:"}};
    int toolKey = Qt::Key_1;  // Ctrl+Alt+1 … 4
    for (const auto& t : tools) {
        QAction* a = addAction(designMenu_, tr(t.title), t.selector, false);
        a->setCheckable(true);
        a->setShortcut(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key(toolKey++)));
    }
    designMenu_->addSeparator();
    addAction(designMenu_, tr("Convert to &Jump Stitches"), "convertSelectionToJumps:", false);
    addAction(designMenu_, tr("Convert to &Stitches"), "convertSelectionToStitches:", false);
    designMenu_->addSeparator();
    addAction(designMenu_, tr("Mo&ve…"), "moveStitches:", false);
    addAction(designMenu_, tr("Resi&ze…"), "resizeStitches:", false);
    addAction(designMenu_, tr("R&otate…"), "rotateFree:", false);
    addAction(designMenu_, tr("Rotate &Left"), "rotateL:", false)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    addAction(designMenu_, tr("Rotate Ri&ght"), "rotateR:", false)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_R));
    addAction(designMenu_, tr("Flip &Vertically"), "flipV:", false);
    addAction(designMenu_, tr("Flip &Horizontally"), "flipH:", false);
    addAction(designMenu_, tr("&Center in Hoop"), "center:", false);
    designMenu_->addSeparator();
    addAction(designMenu_, tr("&Insert Color Change"), "insertThreadBeforeSelection:", false);
    addAction(designMenu_, tr("&Basting Frame…"), "bastingDialog:", false);
    addAction(designMenu_, tr("Reset &Palette"), "resetPalette:", false);
    designMenu_->addSeparator();
    addAction(designMenu_, tr("Stitch &Player"), "showSimulator:", true)->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_P));

    // Hoop: filled by the first document window (fillHoopMenu). Items added by anyone are
    // dispatched like the others.
    connect(hoopMenu_, &QMenu::triggered, this, [this](QAction* a) {
        if (!a->property("vdlConnected").toBool()) dispatch(a);
    });

    // Thread: item 0 is "No Palette", then one item per palette, titled with its name.
    QAction* none = addAction(threadMenu_, tr("No Palette"), "noPalette:", false);
    none->setCheckable(true);
    for (const QString& p : threadMenuPalettes()) {
        QAction* a = addAction(threadMenu_, p, "changePalette:", false);
        a->setCheckable(true);
    }

    // Window
    addAction(windowMenu_, tr("&Minimize"), "performMiniaturize:", true)->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_M));
    addAction(windowMenu_, tr("&Zoom"), "performZoom:", true);
    windowMenu_->addSeparator();
    connect(windowMenu_, &QMenu::aboutToShow, this, [this] {
        for (QAction* a : windowMenu_->actions())
            if (a->property("vdlWindowItem").toBool()) {
                windowMenu_->removeAction(a);
                a->deleteLater();
            }
        QWidget* active = QApplication::activeWindow();
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* main = qobject_cast<QMainWindow*>(w);
            if (!main || !main->isVisible()) continue;
            QAction* item = windowMenu_->addAction(main->windowTitle().replace("[*]", QString()));
            item->setProperty("vdlWindowItem", true);
            item->setCheckable(true);
            item->setChecked(main == active);
            QPointer<QMainWindow> target(main);
            connect(item, &QAction::triggered, this, [target] {
                if (!target) return;
                if (target->isMinimized()) target->showNormal();
                target->raise();
                target->activateWindow();
            });
        }
    });

    // Help
    setStandardKeys(addAction(helpMenu_, tr("Vardelle &Help"), "showHelp:", true), QKeySequence::HelpContents, {QKeySequence(Qt::Key_F1)});
    addAction(helpMenu_, tr("&Export to Machine"), "exportDesignHelp:", true);
    addAction(helpMenu_, tr("E&ntering Dimensions"), "enterDimensionsHelp:", true);
    helpMenu_->addSeparator();
    addAction(helpMenu_, tr("Check for &Updates…"), "checkVersion:", true);
    QAction* about = addAction(helpMenu_, tr("&About Vardelle"), "orderFrontStandardAboutPanel:", true);
    about->setMenuRole(QAction::AboutRole);

    // Tooltips name the command and its key, wherever the action shows up (toolbars too).
    for (QAction* a : std::as_const(actions_)) {
        if (a->shortcut().isEmpty()) continue;
        QString title = a->text();
        title.remove(QLatin1Char('&'));
        title.remove(QStringLiteral("…"));
        a->setToolTip(QStringLiteral("%1 (%2)").arg(title, a->shortcut().toString(QKeySequence::NativeText)));
    }

    validateActions();
}

void VDLAppController::populateMenuBar(QMenuBar* bar) {
    if (!bar) return;
    for (QMenu* m : std::as_const(menus_)) bar->addMenu(m);
}

QAction* VDLAppController::action(const QString& selector) const {
    for (QAction* a : actions_)
        if (a->objectName() == selector) return a;
    for (QAction* a : hoopMenu_->actions())
        if (a->objectName() == selector) return a;
    return nullptr;
}

QList<QAction*> VDLAppController::allActions() const {
    QList<QAction*> all = actions_;
    for (QAction* a : hoopMenu_->actions())
        if (!a->isSeparator() && !all.contains(a)) all.append(a);
    return all;
}

QStringList VDLAppController::threadMenuPalettes() {
    QStringList names;
    for (const char* p : kThreadMenuPalettes) names << QString::fromUtf8(p);
    return names;
}

QString VDLAppController::threadMenuTitle(int index) const {
    const QList<QAction*> items = threadMenu_->actions();
    if (index <= 0 || index >= items.size()) return {};
    return items.at(index)->text();
}

bool VDLAppController::fillHoopMenu() {
    if (!hoopMenu_->actions().isEmpty()) return false;
    const struct { const char* vendor; const char* selector; } vendors[] = {
        {"Janome", "selectHoopJanome:"}, {"Pfaff", "selectHoopPfaff:"}};
    bool first = true;
    for (const auto& v : vendors) {
        if (!first) hoopMenu_->addSeparator();
        first = false;
        const auto hoops = VDLDesign::allHoopsFromVendor(v.vendor);
        if (!hoops) continue;
        for (const VDLHoop& h : *hoops) {
            if (!h.isWritable()) continue;
            auto* a = new QAction(QString::fromStdString(h.description()), hoopMenu_);
            a->setObjectName(v.selector);
            a->setData(h.code());  // the hoop's code: the item's tag
            a->setCheckable(true);
            a->setProperty("vdlConnected", true);
            connect(a, &QAction::triggered, this, [this, a] { dispatch(a); });
            hoopMenu_->addAction(a);
        }
    }
    validateActions();
    return true;
}

void VDLAppController::fillRecentMenu() {
    recentMenu_->clear();
    const QStringList files = VDLRecentDocuments::list();
    int n = 0;
    for (const QString& path : files) {
        ++n;
        const QString name = QFileInfo(path).fileName();
        QAction* a = recentMenu_->addAction(n < 10 ? QStringLiteral("&%1 %2").arg(n).arg(name) : name);
        a->setData(path);
        a->setToolTip(path);
        a->setStatusTip(path);
        connect(a, &QAction::triggered, this, [this, path] { openFile(path); });
    }
    if (!files.isEmpty()) recentMenu_->addSeparator();
    QAction* clear = recentMenu_->addAction(tr("&Clear Menu"));
    clear->setObjectName(QStringLiteral("clearRecentDocuments:"));
    clear->setEnabled(!files.isEmpty());
    connect(clear, &QAction::triggered, this, [this] {
        VDLRecentDocuments::clear();
        fillRecentMenu();
    });
}

// ---- Dispatch and validation ----------------------------------------------------------------

bool VDLAppController::isApplicationAction(const QAction* a) const {
    return a && a->property("vdlApplication").toBool();
}

bool VDLAppController::dispatch(QAction* a) {
    if (!a) return false;
    const QString selector = a->objectName();
    const int colon = selector.indexOf(':');
    QString slot = colon < 0 ? selector : selector.left(colon);
    bool taken = false;
    if (isApplicationAction(a)) {
        taken = QMetaObject::invokeMethod(this, slot.toUtf8().constData(), Qt::DirectConnection,
                                          Q_ARG(QObject*, a));
    } else if (QObject* doc = currentDocument()) {
        if (slot == QLatin1String("delete")) slot = QStringLiteral("deleteSelected");
        taken = QMetaObject::invokeMethod(doc, slot.toUtf8().constData(), Qt::DirectConnection, Q_ARG(QObject*, a));
        if (!taken) qWarning().noquote() << "vardelle: the document does not answer" << selector;
    }
    validateActions();
    return taken;
}

QObject* VDLAppController::currentUndoStack() const {
    QObject* doc = currentDocument();
    if (!doc) return nullptr;
    QUndoStack* stack = nullptr;
    if (doc->metaObject()->indexOfMethod("undoStack()") >= 0)
        QMetaObject::invokeMethod(doc, "undoStack", Qt::DirectConnection, Q_RETURN_ARG(QUndoStack*, stack));
    if (!stack) stack = doc->findChild<QUndoStack*>();
    return stack;
}

void VDLAppController::validateActions() {
    QObject* doc = currentDocument();
    const bool canValidate =
        doc && doc->metaObject()->indexOfMethod("validateUserInterfaceItem(QAction*)") >= 0;
    for (QAction* a : allActions()) {
        if (isApplicationAction(a)) continue;
        if (!doc) {
            a->setEnabled(false);
            if (a->isCheckable()) a->setChecked(false);
            continue;
        }
        bool enabled = true;
        if (canValidate)
            QMetaObject::invokeMethod(doc, "validateUserInterfaceItem", Qt::DirectConnection,
                                      Q_RETURN_ARG(bool, enabled), Q_ARG(QAction*, a));
        a->setEnabled(enabled);
    }
    auto* stack = qobject_cast<QUndoStack*>(currentUndoStack());
    if (QAction* u = action("undo:")) {
        u->setEnabled(stack && stack->canUndo());
        u->setText(stack && stack->canUndo() && !stack->undoText().isEmpty() ? tr("&Undo %1").arg(stack->undoText())
                                                                             : tr("&Undo"));
    }
    if (QAction* r = action("redo:")) {
        r->setEnabled(stack && stack->canRedo());
        r->setText(stack && stack->canRedo() && !stack->redoText().isEmpty() ? tr("&Redo %1").arg(stack->redoText())
                                                                             : tr("&Redo"));
    }
    QWidget* win = QApplication::activeWindow();
    for (const char* s : {"performClose:", "performMiniaturize:", "performZoom:", "toggleFullScreen:"})
        if (QAction* a = action(s)) a->setEnabled(win != nullptr);
    if (QAction* f = action("toggleFullScreen:")) f->setChecked(win && win->isFullScreen());
}

// ---- Documents ------------------------------------------------------------------------------

bool VDLAppController::openFile(const QString& path) {
    if (!opener_) {
        qWarning().noquote() << "vardelle: cannot open" << path << "- this build has no document windows";
        return false;
    }
    const bool ok = opener_(path);
    validateActions();
    return ok;
}

void VDLAppController::openDocument(QObject*) {
    if (!openPanel_) {
        qWarning().noquote() << "vardelle: this build has no document windows to open";
        return;
    }
    openPanel_();
    validateActions();
}

// ---- Launch ---------------------------------------------------------------------------------

bool VDLAppController::versionCheckDue(const QDateTime& now) {
    VDLDefaults& d = VDLDefaults::standard();
    if (!d.boolForKey("CheckForUpdates")) return false;
    const QDateTime last = d.dateForKey("LastUpdateCheck");
    if (!last.isValid()) return true;
    const qint64 age = last.secsTo(now);
    // A check dated in the future (the clock was set back) would otherwise block every check
    // until that date comes.
    return age > kWeek || age < 0;
}

QString VDLAppController::versionURL() {
    if (qEnvironmentVariableIsSet("VARDELLE_VERSION_URL")) return qEnvironmentVariable("VARDELLE_VERSION_URL");
    return QStringLiteral(VARDELLE_VERSION_URL);
}

void VDLAppController::runVersionCheck(bool info, std::function<void(bool)> done) {
    auto* checker = new VDLVersionChecker(versionURL(), this);
    connect(checker, &VDLVersionChecker::finished, this, [this, checker, done](bool ok) {
        if (ok) VDLDefaults::standard().setValue("LastUpdateCheck", QDateTime::currentDateTimeUtc());
        checker->deleteLater();
        emit versionCheckFinished(ok);
        if (done) done(ok);
    });
    checker->checkVersion(this, info);
}

void VDLAppController::applicationDidFinishLaunching() {
    launching_ = true;
    VDLDefaults& d = VDLDefaults::standard();
    setMeasurementUnit(d.integerForKey("MeasurementUnit"));
    if (!versionURL().trimmed().isEmpty() && versionCheckDue(QDateTime::currentDateTimeUtc())) runVersionCheck(false);
    if (!d.boolForKey("SkipOpenDialog") && !preferenceController_ && !currentDocument()) openDocument(nullptr);
    // Every platform Qt runs on has full-screen windows, so the View menu keeps its item.
    launching_ = false;
    emit launched();
}

bool VDLAppController::applicationShouldHandleReopen(bool hasVisibleWindows) {
    if (!hasVisibleWindows && !reopening_) {
        reopening_ = true;
        openDocument(nullptr);
        // Nothing opened: the application stays reachable through the start window.
        if (!currentDocument() && !anyVisibleWindow()) showStartWindow();
        reopening_ = false;
    }
    return false;
}

void VDLAppController::showStartWindow() {
    if (!startWindow_) startWindow_ = new VDLStartWindow();
    startWindow_->show();
    startWindow_->raise();
    startWindow_->activateWindow();
    validateActions();
}

VDLStartWindow* VDLAppController::startWindow() const { return startWindow_; }

void VDLAppController::documentsChanged() {
    if (!startWindow_) return;
    // A document opens before its window shows; closing the start window before then would
    // leave no window, which ends the application.
    QTimer::singleShot(0, startWindow_, [this] {
        if (startWindow_ && currentDocument()) startWindow_->close();
    });
}

void VDLAppController::onApplicationStateChanged() {
    if (launching_) return;
    applicationShouldHandleReopen(anyVisibleWindow());
}

// ---- Application actions --------------------------------------------------------------------

void VDLAppController::checkVersion(QObject*) {
    if (versionURL().trimmed().isEmpty()) {
        // A build without a version service has nothing to ask: say so instead of reporting a
        // service that could not be reached. Answered from the event loop like a real check.
        QMetaObject::invokeMethod(
            this,
            [this] {
                VDLVersionChecker::alert(QApplication::activeWindow(), tr("Version Info"),
                                         tr("No update service is configured for this build of Vardelle."), {tr("OK")});
                emit versionCheckFinished(false);
            },
            Qt::QueuedConnection);
        return;
    }
    runVersionCheck(true);
}

void VDLAppController::sendUpdateNotification(QObject*) {
    VDLNotificationCenter::defaultCenter().post("VardelleUpdateDisplay");
}

void VDLAppController::sendRulerNotification(QObject* sender) {
    // The item shows whether rulers are shown; triggering it has already flipped its state.
    auto* item = qobject_cast<QAction*>(sender);
    const bool show = item && item->isCheckable() ? item->isChecked()
                                                  : !VDLDefaults::standard().boolForKey("ShowRulers");
    VDLDefaults::standard().setValue("ShowRulers", show);
    VDLNotificationCenter::defaultCenter().post(show ? "VardelleShowRulers" : "VardelleHideRulers");
}

VDLPreferenceController* VDLAppController::preferenceController() {
    if (!preferenceController_) preferenceController_ = new VDLPreferenceController;
    return preferenceController_;
}

void VDLAppController::showPreferences(QObject*) { preferenceController()->showWindow(); }

QWidget* VDLAppController::playerController() {
    if (!player_ && playerFactory_) player_ = playerFactory_();
    return player_;
}

void VDLAppController::showSimulator(QObject*) {
    QWidget* player = playerController();
    if (!player) {
        QMessageBox::information(QApplication::activeWindow(), tr("Stitch Player"),
                                 tr("The stitch player is not available yet."));
        return;
    }
    player->show();
    player->raise();
    player->activateWindow();
}

QString VDLAppController::helpURL(const QString& anchor) {
    const QString page = QString::fromStdString(VDLResourceDirectory()) + "/help/index.html";
    QUrl url = QUrl::fromLocalFile(QFileInfo(page).absoluteFilePath());
    if (!anchor.isEmpty()) url.setFragment(anchor);
    return url.toString();
}

bool VDLAppController::openHelp(const QString& anchor) {
    const QString url = helpURL(anchor);
    if (!QFileInfo::exists(QUrl(url).toLocalFile())) {
        qWarning().noquote() << "vardelle: help page missing:" << QUrl(url).toLocalFile();
        return false;
    }
    return QDesktopServices::openUrl(QUrl(url));
}

void VDLAppController::exportDesignHelp(QObject*) { openHelp(QStringLiteral("vdl2006")); }
void VDLAppController::enterDimensionsHelp(QObject*) { openHelp(QStringLiteral("vdl2007")); }
void VDLAppController::showHelp(QObject*) { openHelp(QString()); }

void VDLAppController::toggleFullScreen(QObject*) {
    QWidget* w = QApplication::activeWindow();
    if (!w) return;
    if (w->isFullScreen()) w->showNormal();
    else w->showFullScreen();
}

void VDLAppController::performClose(QObject*) {
    if (QWidget* w = QApplication::activeWindow()) w->close();
}

void VDLAppController::performMiniaturize(QObject*) {
    if (QWidget* w = QApplication::activeWindow()) w->showMinimized();
}

void VDLAppController::performZoom(QObject*) {
    QWidget* w = QApplication::activeWindow();
    if (!w) return;
    if (w->isMaximized()) w->showNormal();
    else w->showMaximized();
}

void VDLAppController::undo(QObject*) {
    if (auto* s = qobject_cast<QUndoStack*>(currentUndoStack())) s->undo();
}

void VDLAppController::redo(QObject*) {
    if (auto* s = qobject_cast<QUndoStack*>(currentUndoStack())) s->redo();
}

void VDLAppController::orderFrontStandardAboutPanel(QObject*) {
    QMessageBox::about(QApplication::activeWindow(), tr("About Vardelle"),
                       tr("<h3>Vardelle %1</h3><p>Opens, checks, edits, converts and prints machine-embroidery "
                          "designs.</p>")
                           .arg(QStringLiteral(VARDELLE_VERSION)));
}

void VDLAppController::terminate(QObject*) {
    // Every document with unsaved changes is asked about first; Cancel keeps the application.
    if (quitReviewer_ && !quitReviewer_()) return;
    emit willTerminate();
    QCoreApplication::quit();
}

// ---- run ------------------------------------------------------------------------------------

void VDLAppController::finishStartup(const QStringList& files, bool showPreferencesWindow) {
    QStringList failures;
    int opened = 0;
    for (const QString& f : files) {
        QString message;
        const bool ok = quietOpener_ ? quietOpener_(f, &message) : openFile(f);
        if (ok) ++opened;
        else if (quietOpener_) failures << message;
    }
    validateActions();
    if (failures.isEmpty()) {
        continueStartup(files.isEmpty(), showPreferencesWindow);
        return;
    }
    // The error first, alone on screen: the rest of the launch (an Open panel above all) waits
    // until the user has closed it.
    auto* box = new QMessageBox(QMessageBox::Critical, QStringLiteral("Vardelle"),
                                failures.size() == 1 ? failures.first().section(QLatin1Char('\n'), 0, 0)
                                                     : tr("%n file(s) could not be opened.", nullptr, int(failures.size())),
                                QMessageBox::Ok);
    box->setObjectName(QStringLiteral("launchErrorAlert"));
    box->setInformativeText(failures.size() == 1 ? failures.first().section(QLatin1Char('\n'), 1)
                                                 : failures.join(QStringLiteral("\n\n")));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setAttribute(Qt::WA_QuitOnClose, false);
    connect(box, &QMessageBox::finished, this, [this, opened, showPreferencesWindow] {
        QTimer::singleShot(0, this, [this, opened, showPreferencesWindow] { continueStartup(opened == 0, showPreferencesWindow); });
    });
    box->show();
}

void VDLAppController::continueStartup(bool restoreSession, bool showPreferencesWindow) {
    if (restoreSession && sessionRestorer_) sessionRestorer_();
    // Asked for on the command line, the preferences window comes first, so the launch shows no
    // open panel over it.
    if (showPreferencesWindow) showPreferences(nullptr);
    applicationDidFinishLaunching();
    // No document came up: with "SkipOpenDialog" nothing was asked, or the user cancelled the
    // Open panel (which is not asking to quit). There is no dock to click on this desktop, so
    // the application shows its start window instead of vanishing.
    const bool preferencesShown = preferenceController_ && preferenceController_->window() &&
                                  preferenceController_->window()->isVisible();
    if (!currentDocument() && !preferencesShown) showStartWindow();
}

namespace {
void describeApplication() {
    QCoreApplication::setApplicationName(QStringLiteral("vardelle"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VARDELLE_VERSION));
    QCoreApplication::setOrganizationDomain(QStringLiteral("vardelle.github.io"));
}

void describeOptions(QCommandLineParser& parser, const QCommandLineOption& prefs) {
    parser.setApplicationDescription(QStringLiteral("Vardelle: opens, checks, edits and converts machine-embroidery designs."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(prefs);
    parser.addPositionalArgument(QStringLiteral("files"), QStringLiteral("Design files to open, each in its own window."),
                                 QStringLiteral("[FILE...]"));
}
}  // namespace

int VDLAppController::run(int argc, char** argv) {
    const QCommandLineOption prefsOption(QStringLiteral("preferences"), QStringLiteral("Show the preferences window at start."));
    // --help and --version answer without a display.
    for (int i = 1; i < argc; ++i) {
        const QByteArray arg(argv[i]);
        if (arg == "-h" || arg == "--help" || arg == "--help-all" || arg == "-v" || arg == "--version") {
            QCoreApplication core(argc, argv);
            describeApplication();
            QCommandLineParser parser;
            describeOptions(parser, prefsOption);
            parser.process(core);  // prints and exits
            return 0;
        }
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
        qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        std::fprintf(stderr, "vardelle: no display to open windows on (neither DISPLAY nor WAYLAND_DISPLAY is set).\n"
                             "vardelle: vardelle-cli info FILE describes a design without one.\n");
        return 1;
    }

    QApplication app(argc, argv);
    describeApplication();
    QApplication::setApplicationDisplayName(QStringLiteral("Vardelle"));
    QGuiApplication::setDesktopFileName(QStringLiteral("vardelle"));
    const QString icon = QString::fromStdString(VDLPathForResource("vardelle", "svg", "icons"));
    if (!icon.isEmpty()) QApplication::setWindowIcon(QIcon(icon));

    QCommandLineParser parser;
    describeOptions(parser, prefsOption);
    parser.process(app);

    registerDefaults();
    VDLAppController* controller = instance();
    controller->useDocumentController();
    QStringList files;
    for (const QString& f : parser.positionalArguments()) files << QFileInfo(f).absoluteFilePath();
    const bool prefs = parser.isSet(prefsOption);
    QTimer::singleShot(0, controller, [controller, files, prefs] { controller->finishStartup(files, prefs); });
    const int rc = app.exec();
    VDLPlayerController::waitForSoundToLoad();
    delete s_instance;
    return rc;
}
