#pragma once
// app/controller: the application controller, user defaults, notifications, preferences and the
// version check. May use model/, platform/ and the other app/ folders; all of them may use it.

// The application's delegate: registered defaults, the measurement unit hook, launch steps,
// the shared menus with their actions, and the windows that belong to the application
// (preferences, stitch player).
//
// Actions: every menu command is a QAction owned by the controller, objectName = its selector
// with the colon ("zoomIn:", "saveDocument:"). Application actions (openDocument:,
// showPreferences:, checkVersion:, showSimulator:, sendUpdateNotification:,
// sendRulerNotification:, the help and window commands) run the controller's slots. Every other
// action goes to the current document as
//     QMetaObject::invokeMethod(doc, "<first keyword>", Q_ARG(QObject*, action))
// ("delete:" calls "deleteSelected"). Before a menu shows and after each action the current
// document is asked `bool validateUserInterfaceItem(QAction*)` for each document action, which
// may also set the item's check mark; without a document, document actions are disabled.
//
// Each document window builds its menu bar with populateMenuBar(): the same QMenu and QAction
// objects appear in every window.
//
// "BackgroundColor" (the design view's background) is stored as data: the bytes of an XML
// property list dictionary {"r": real, "g": real, "b": real}, components 0..1. Its registered
// default is the window background colour of the application palette. archivedColor() and
// colorFromArchive() convert; backgroundColor() is the colour in effect.
#include <QColor>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <QWidget>

#include <functional>

class QAction;
class QMenu;
class QMenuBar;
class QWidget;
class VDLPreferenceController;
class VDLStartWindow;

class VDLAppController : public QObject {
    Q_OBJECT
public:
    // Registers every default of the application and the measurement unit provider; safe to
    // call more than once. Needs no controller instance.
    static void registerDefaults();
    // The registered defaults (key → value of the right type).
    static QVariantMap registeredDefaults();

    // The one controller of the process, created on first use (needs a QApplication).
    static VDLAppController* instance();
    // True once instance() has created the controller.
    static bool exists();

    // The whole application: QApplication, name and version, the controller, files from the
    // command line (each in its own window), launch steps, event loop.
    static int run(int argc, char** argv);

    // ---- Measurement unit ------------------------------------------------------------------
    int measurementUnit() const { return measurementUnit_; }
    void setMeasurementUnit(int unit);

    // ---- Menus and actions -----------------------------------------------------------------
    QMenu* hoopMenu() const { return hoopMenu_; }
    QMenu* threadMenu() const { return threadMenu_; }
    QMenu* viewMenu() const { return viewMenu_; }
    // File ▸ Open Recent (rebuilt from the remembered files whenever it opens).
    QMenu* recentMenu() const { return recentMenu_; }
    void fillRecentMenu();
    // The top-level menus in menu-bar order (File, Edit, View, Design, Hoop, Thread, Window, Help).
    QList<QMenu*> menus() const { return menus_; }
    void populateMenuBar(QMenuBar* bar);

    // The action with that selector ("zoomIn:"), nullptr when there is none. Hoop items share
    // their selectors; this answers the first.
    QAction* action(const QString& selector) const;
    QList<QAction*> allActions() const;

    // Fills the hoop menu once per run: the writable Janome hoops (selectHoopJanome:, tag =
    // hoop code, title = the hoop's description), a separator, the writable Pfaff hoops
    // (selectHoopPfaff:). Does nothing when the menu already has items. Returns true when it
    // filled the menu.
    bool fillHoopMenu();
    // Palette names of the thread menu after item 0 ("No palette"), in menu order. Item n of
    // the thread menu (n ≥ 1) applies palette n - 1 of this list.
    static QStringList threadMenuPalettes();
    // Title of thread-menu item INDEX; empty for 0 (no palette) and for an index out of range.
    QString threadMenuTitle(int index) const;

    // ---- Documents -------------------------------------------------------------------------
    // Who the current document is (the document of the active window), and how files open.
    // The document classes install these; until then there is no document.
    void setCurrentDocumentProvider(std::function<QObject*()> provider) { currentDocument_ = std::move(provider); }
    void setOpenPanel(std::function<void()> panel) { openPanel_ = std::move(panel); }
    // Opens one file in its own window; false (after telling the user) when it did not open.
    void setDocumentOpener(std::function<bool(const QString& path)> opener) { opener_ = std::move(opener); }
    QObject* currentDocument() const { return currentDocument_ ? currentDocument_() : nullptr; }
    // Opens one file without telling the user; false with the reason in MESSAGE (the launch
    // reports the files of the command line that did not open before it goes on).
    void setQuietDocumentOpener(std::function<bool(const QString& path, QString* message)> opener) {
        quietOpener_ = std::move(opener);
    }
    // Brings back the windows of the last session (a launch without files does this).
    void setSessionRestorer(std::function<void()> restorer) { sessionRestorer_ = std::move(restorer); }
    // Asked when the user chooses Quit, before the window states are kept: false keeps the
    // application running (the user cancelled a question about unsaved changes).
    void setQuitReviewer(std::function<bool()> reviewer) { quitReviewer_ = std::move(reviewer); }
    // Connects the shared document controller (it installs the three functions above).
    void useDocumentController();
    bool openFile(const QString& path);

    // Sends ACTION to where it belongs (see top of file). Returns false when nobody took it.
    bool dispatch(QAction* action);
    // Enables the document actions from the current document's answers (or disables them).
    void validateActions();

    // ---- Launch ----------------------------------------------------------------------------
    // The launch steps: unit, weekly version check, open panel unless "SkipOpenDialog".
    void applicationDidFinishLaunching();
    // Reopen (the application activated): with no visible window the open panel is shown, and
    // when the user opens nothing from it, the start window. Always answers false.
    bool applicationShouldHandleReopen(bool hasVisibleWindows);
    // The window shown while no document is open (a launch with "SkipOpenDialog" and nothing
    // to restore, or an Open panel cancelled at launch): shows it, made on first use.
    void showStartWindow();
    // The start window while it exists, else nullptr.
    VDLStartWindow* startWindow() const;
    // The list of documents changed (the document controller reports it): once a document's
    // window is on screen, it replaces the start window.
    void documentsChanged();
    // Whether a launch at NOW checks the version ("CheckForUpdates" on and "LastUpdateCheck"
    // missing or more than 7 days before NOW).
    static bool versionCheckDue(const QDateTime& now);
    // The version-service address: the build's VARDELLE_VERSION_URL, or the environment
    // variable VARDELLE_VERSION_URL when set (tests, packagers); empty = no service.
    static QString versionURL();
    // Runs the version check (asynchronous); on success "LastUpdateCheck" = now. DONE, when
    // given, receives the outcome.
    void runVersionCheck(bool info, std::function<void(bool)> done = {});

    // ---- Windows of the application ---------------------------------------------------------
    VDLPreferenceController* preferenceController();
    // The stitch player's window, created on first use by the factory the player installs;
    // nullptr without one.
    QWidget* playerController();
    void setPlayerFactory(std::function<QWidget*()> factory) { playerFactory_ = std::move(factory); }

    // ---- Help --------------------------------------------------------------------------------
    // file:// address of the help page at ANCHOR ("" for the top); opened in the user's browser
    // by openHelp.
    static QString helpURL(const QString& anchor);
    static bool openHelp(const QString& anchor);

    // ---- Background colour --------------------------------------------------------------------
    static QByteArray archivedColor(const QColor& color);
    static QColor colorFromArchive(const QByteArray& bytes);  // invalid QColor when unreadable
    static QColor windowBackgroundColor();
    static QColor backgroundColor();

public slots:
    // Application actions (the sender is the triggering QAction, or nullptr).
    void openDocument(QObject* sender);
    void checkVersion(QObject* sender);
    void sendUpdateNotification(QObject* sender);
    void sendRulerNotification(QObject* sender);
    void showPreferences(QObject* sender);
    void showSimulator(QObject* sender);
    void exportDesignHelp(QObject* sender);
    void enterDimensionsHelp(QObject* sender);
    void showHelp(QObject* sender);
    void toggleFullScreen(QObject* sender);
    void performClose(QObject* sender);
    void performMiniaturize(QObject* sender);
    void performZoom(QObject* sender);
    void undo(QObject* sender);
    void redo(QObject* sender);
    void orderFrontStandardAboutPanel(QObject* sender);
    void terminate(QObject* sender);

signals:
    // After the launch steps ran.
    void launched();
    // A version check ended (OK: the version document was read).
    void versionCheckFinished(bool ok);
    // The user chose Quit; windows are still open (their state can be archived now).
    void willTerminate();

private:
    VDLAppController();
    ~VDLAppController() override;
    void buildMenus();
    QAction* addAction(QMenu* menu, const QString& title, const QString& selector, bool application);
    QAction* addDefaultToggle(QMenu* menu, const QString& title, const QString& key);
    bool isApplicationAction(const QAction* action) const;
    void onApplicationStateChanged();
public:
    // The launch after the event loop started: the files of the command line, each in its own
    // window (a launch with files opens exactly those); without files, the last session's
    // windows. Files that did not open are reported first, and the launch goes on (as a launch
    // without files when none opened) once the user has closed that message.
    void finishStartup(const QStringList& files, bool showPreferencesWindow);

private:
    void continueStartup(bool restoreSession, bool showPreferencesWindow);
    QObject* currentUndoStack() const;
    bool eventFilter(QObject* watched, QEvent* event) override;

    int measurementUnit_ = 0;
    QMenu* fileMenu_ = nullptr;
    QMenu* editMenu_ = nullptr;
    QMenu* viewMenu_ = nullptr;
    QMenu* designMenu_ = nullptr;
    QMenu* hoopMenu_ = nullptr;
    QMenu* threadMenu_ = nullptr;
    QMenu* windowMenu_ = nullptr;
    QMenu* helpMenu_ = nullptr;
    QMenu* recentMenu_ = nullptr;
    QList<QMenu*> menus_;
    QList<QAction*> actions_;
    std::function<QObject*()> currentDocument_;
    std::function<void()> openPanel_;
    std::function<bool(const QString&)> opener_;
    std::function<bool(const QString&, QString*)> quietOpener_;
    std::function<void()> sessionRestorer_;
    std::function<bool()> quitReviewer_;
    std::function<QWidget*()> playerFactory_;
    VDLPreferenceController* preferenceController_ = nullptr;
    QPointer<QWidget> player_;
    QPointer<VDLStartWindow> startWindow_;
    bool launching_ = false;
    bool reopening_ = false;
    bool validating_ = false;
};
