#pragma once
// The application's list of open documents: the open panel, opening files (each in its own
// window; a file already open brings its window to the front), the current document (the one
// whose window is active) and the window state kept across relaunches.
#include "VDLError.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class VDLDocument;
class QWidget;

class VDLDocumentController : public QObject {
    Q_OBJECT
public:
    static VDLDocumentController* sharedDocumentController();
    // Called by main before the application starts: documents take part in the launch (files
    // of the command line, open panel, current document) and the last run's windows return.
    static void prepareApplication();

    // The readable types (12) and the types a plain save writes (6), lower-case extensions.
    static QStringList readableExtensions();
    static QStringList writableExtensions();
    static bool isReadableExtension(const QString& ext);
    static bool isWritableExtension(const QString& ext);
    // File-dialog filters: one per type plus "All embroidery files" first (reading).
    static QStringList openFilters();
    static QStringList saveFilters();

    QList<VDLDocument*> documents() const { return documents_; }
    // The document whose window is active, else the most recently activated one still open.
    VDLDocument* currentDocument() const;
    VDLDocument* documentForPath(const QString& path) const;

    // Opens PATH in its own window, or brings its window to the front when it is already open.
    // A failure shows an alert with the model's error code and text (unless QUIET) and opens no
    // window.
    VDLDocument* openDocumentWithContentsOfURL(const QString& path, VDLError* error = nullptr, bool quiet = false);
    // Opens every file of the command line; answers how many opened.
    int openFiles(const QStringList& paths);

    // The open panel: title and prompt "Open", the readable types, starting in the folder of
    // "NSNavLastRootDirectory" (set to ~/Documents the first time). Answers the chosen files.
    QStringList runModalOpenPanel(QWidget* parent = nullptr);

    // Registers a document (open() does this) and forgets it when its window closes.
    void addDocument(VDLDocument* document);
    void removeDocument(VDLDocument* document);

    // Window state: one keyed archive per open window under $XDG_STATE_HOME/vardelle/,
    // written when the application quits with windows open, read at the next launch.
    static QString windowStateFolder();
    // Writes the state of every open window (and removes older archives). Answers the count.
    int saveWindowStates();
    // Reopens the windows of the last run. A file that is gone or changed since is skipped
    // with a message; an unreadable archive is logged and ignored. The archives are removed.
    // Answers the reopened documents. Messages for skipped windows go to SKIPPED when given,
    // else to an alert.
    QList<VDLDocument*> restoreWindowStates(QStringList* skipped = nullptr);
    // Windows reopened from one session at most; a window holding changes that were never
    // saved comes back even beyond it (its archive is the only copy of that work).
    static constexpr int kMostRestoredWindows = 32;

    // Quit: asks Save / Discard / Cancel for every document with unsaved changes, in window
    // order. False when the user cancelled; then no answer given so far counts.
    bool reviewDocumentsForQuit();

    // Closes every window without asking (tests).
    void closeAllDocumentsForTesting();

public slots:
    // Menu command: runs the open panel and opens the chosen files.
    void openDocument(QObject* sender = nullptr);

signals:
    void currentDocumentChanged(VDLDocument* document);
    void documentsChanged();

private:
    VDLDocumentController() = default;
    // Tells the application controller how to find the current document, run the open panel,
    // open a file and keep the window state at quit.
    void installIntoApplication();
    bool eventFilter(QObject* watched, QEvent* event) override;
    QList<VDLDocument*> documents_;
    VDLDocument* lastActive_ = nullptr;
    bool statesKeptForQuit_ = false;
};
