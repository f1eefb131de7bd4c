#include "VDLDocumentController.h"

#include "VDLAppController.h"
#include "VDLDefaults.h"
#include "VDLDocument.h"
#include "VDLFile.h"
#include "VDLLocalization.h"
#include "VDLPropertyList.h"
#include "VDLRecentDocuments.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QMainWindow>
#include <QMessageBox>
#include <QStandardPaths>
#include <QTimer>

#include <fstream>
#include <sstream>

namespace {

struct FileType {
    const char* extension;
    const char* title;
    bool writable;
};

// Readable types in the order of the file dialogs; the six writable ones first.
constexpr FileType kFileTypes[] = {
    {"pes", "Brother PES", true},    {"pec", "Brother PEC", true},   {"jef", "Janome JEF", true},
    {"pcs", "Pfaff PCS", true},      {"dst", "Tajima DST", true},    {"exp", "Melco EXP", true},
    {"jpx", "Janome JPX", false},    {"sew", "Janome SEW", false},   {"vp3", "Pfaff VP3", false},
    {"pcd", "Pfaff PCD", false},     {"pcq", "Pfaff PCQ", false},    {"ksm", "Pfaff KSM", false},
};

QString docString(const char* key, const char* englishDefault) {
    return QString::fromStdString(VDLLocalizedString(key, "VDLDocument", englishDefault));
}

QString filterFor(const FileType& t) {
    return QStringLiteral("%1 (*.%2 *.%3)")
        .arg(QString::fromLatin1(t.title), QString::fromLatin1(t.extension), QString::fromLatin1(t.extension).toUpper());
}

// Non-blocking application-modal alert.
void showAlert(QMessageBox::Icon icon, const QString& text, const QString& info) {
    auto* box = new QMessageBox(icon, QStringLiteral("Vardelle"), text, QMessageBox::Ok);
    box->setObjectName(QStringLiteral("documentControllerAlert"));
    box->setInformativeText(info);
    box->setWindowModality(Qt::ApplicationModal);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->show();
}

// The bytes of a window-state file; empty when it is not a regular file of at most the largest
// archive we write (a FIFO left there would block the launch, a device such as /dev/zero would
// never end).
std::string readBytes(const QString& path) {
    std::vector<uint8_t> bytes;
    VDLError error;
    if (!VDLReadRegularFile(path.toStdString(), bytes, kVDLPlistMaxBytes, &error)) {
        if (QFileInfo::exists(path)) qWarning("Window state %s ignored: %s", qPrintable(path), error.message().c_str());
        return {};
    }
    return std::string(bytes.begin(), bytes.end());
}

// Runs when the QApplication is constructed: once the event loop runs, and before the launch
// steps decide whether to show the open panel, the documents join the application controller
// and the windows of the last run come back.
void startDocuments() {
    // Not for the plain core application that answers --help or --version without a display.
    QCoreApplication* app = QCoreApplication::instance();
    if (!qobject_cast<QApplication*>(app)) return;
    QMetaObject::invokeMethod(
        app, [] { VDLDocumentController::sharedDocumentController(); }, Qt::QueuedConnection);
}

}  // namespace

void VDLDocumentController::prepareApplication() { qAddPreRoutine(startDocuments); }

VDLDocumentController* VDLDocumentController::sharedDocumentController() {
    static VDLDocumentController* shared = [] {
        auto* c = new VDLDocumentController();
        c->installIntoApplication();
        return c;
    }();
    return shared;
}

void VDLDocumentController::installIntoApplication() {
    VDLAppController* app = VDLAppController::instance();
    app->setCurrentDocumentProvider([this]() -> QObject* { return currentDocument(); });
    app->setOpenPanel([this] { openDocument(nullptr); });
    app->setDocumentOpener([this](const QString& path) { return openDocumentWithContentsOfURL(path) != nullptr; });
    app->setQuietDocumentOpener([this](const QString& path, QString* message) {
        VDLError error;
        if (openDocumentWithContentsOfURL(path, &error, true)) return true;
        if (message)
            *message = QObject::tr("The document “%1” could not be opened.").arg(QFileInfo(path).fileName()) +
                       QLatin1Char('\n') +
                       QObject::tr("%1 (error %2)").arg(QString::fromStdString(error.message())).arg(error.code);
        return false;
    });
    // A document window replaces the start window.
    connect(this, &VDLDocumentController::documentsChanged, app, &VDLAppController::documentsChanged);
    // A launch without files brings the last session back.
    app->setSessionRestorer([this] { restoreWindowStates(); });
    // Quit asks about every document with unsaved changes before anything is kept.
    app->setQuitReviewer([this] { return reviewDocumentsForQuit(); });
    // Quitting with windows open keeps their state for the next launch. The application ending
    // without the user's Quit (the session ends) keeps unsaved changes too: nobody was asked.
    connect(app, &VDLAppController::willTerminate, this, [this] {
        saveWindowStates();
        statesKeptForQuit_ = true;
    });
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
        if (!documents_.isEmpty() && !statesKeptForQuit_) saveWindowStates();
        statesKeptForQuit_ = false;
    });
}

// ---- Types -----------------------------------------------------------------------------------

QStringList VDLDocumentController::readableExtensions() {
    QStringList list;
    for (const FileType& t : kFileTypes) list << QString::fromLatin1(t.extension);
    return list;
}

QStringList VDLDocumentController::writableExtensions() {
    QStringList list;
    for (const FileType& t : kFileTypes)
        if (t.writable) list << QString::fromLatin1(t.extension);
    return list;
}

bool VDLDocumentController::isReadableExtension(const QString& ext) { return readableExtensions().contains(ext.toLower()); }
bool VDLDocumentController::isWritableExtension(const QString& ext) { return writableExtensions().contains(ext.toLower()); }

QStringList VDLDocumentController::openFilters() {
    QStringList patterns;
    for (const FileType& t : kFileTypes)
        patterns << QStringLiteral("*.%1").arg(QString::fromLatin1(t.extension))
                 << QStringLiteral("*.%1").arg(QString::fromLatin1(t.extension).toUpper());
    QStringList filters{QObject::tr("Embroidery designs (%1)").arg(patterns.join(QLatin1Char(' ')))};
    for (const FileType& t : kFileTypes) filters << filterFor(t);
    return filters;
}

QStringList VDLDocumentController::saveFilters() {
    QStringList filters;
    for (const FileType& t : kFileTypes)
        if (t.writable) filters << filterFor(t);
    return filters;
}

// ---- Documents -------------------------------------------------------------------------------

VDLDocument* VDLDocumentController::currentDocument() const {
    for (VDLDocument* d : documents_)
        if (d->window() && d->window()->isActiveWindow()) return d;
    if (lastActive_ && documents_.contains(lastActive_) && lastActive_->window()->isVisible()) return lastActive_;
    return nullptr;
}

VDLDocument* VDLDocumentController::documentForPath(const QString& path) const {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    for (VDLDocument* d : documents_)
        if (d->fileName() == absolute) return d;
    return nullptr;
}

void VDLDocumentController::addDocument(VDLDocument* document) {
    if (!document || documents_.contains(document)) return;
    documents_.append(document);
    lastActive_ = document;
    if (!document->fileName().isEmpty()) VDLRecentDocuments::note(document->fileName());
    connect(document, &VDLDocument::windowBecameKey, this, [this](VDLDocument* d) {
        if (lastActive_ == d) return;
        lastActive_ = d;
        emit currentDocumentChanged(d);
    });
    emit documentsChanged();
    emit currentDocumentChanged(document);
}

void VDLDocumentController::removeDocument(VDLDocument* document) {
    if (!documents_.removeAll(document)) return;
    if (lastActive_ == document) lastActive_ = documents_.isEmpty() ? nullptr : documents_.last();
    emit documentsChanged();
    emit currentDocumentChanged(currentDocument());
}

VDLDocument* VDLDocumentController::openDocumentWithContentsOfURL(const QString& path, VDLError* error, bool quiet) {
    if (VDLDocument* open = documentForPath(path)) {
        open->window()->show();
        open->window()->raise();
        open->window()->activateWindow();
        return open;
    }
    VDLError localError;
    VDLDocument* document = VDLDocument::open(path, &localError);
    if (!document) {
        if (error) *error = localError;
        if (!quiet)
            showAlert(QMessageBox::Critical,
                      QObject::tr("The document “%1” could not be opened.").arg(QFileInfo(path).fileName()),
                      QObject::tr("%1 (error %2)").arg(QString::fromStdString(localError.message())).arg(localError.code));
        return nullptr;
    }
    return document;
}

int VDLDocumentController::openFiles(const QStringList& paths) {
    int opened = 0;
    for (const QString& p : paths)
        if (openDocumentWithContentsOfURL(p)) ++opened;
    return opened;
}

QStringList VDLDocumentController::runModalOpenPanel(QWidget* parent) {
    // One Open panel at a time: the application coming back to the front with no window shown
    // (say, just after the panel closed and before the chosen files' windows open) asks for an
    // Open panel too, which would otherwise open a second one inside the first.
    static bool running = false;
    if (running) return {};
    running = true;
    struct Done {
        ~Done() { running = false; }
    } done;
    VDLDefaults& defaults = VDLDefaults::standard();
    const QString key = QStringLiteral("NSNavLastRootDirectory");
    if (!defaults.value(key).isValid() || defaults.stringForKey(key).isEmpty()) {
        QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        if (documents.isEmpty()) documents = QDir::homePath() + QStringLiteral("/Documents");
        defaults.setValue(key, documents);
    }
    QFileDialog panel(parent, docString("OPEN_TITLE", "Open"));
    panel.setObjectName(QStringLiteral("openPanel"));
    panel.setAcceptMode(QFileDialog::AcceptOpen);
    panel.setFileMode(QFileDialog::ExistingFiles);
    panel.setLabelText(QFileDialog::Accept, docString("OPEN_PROMPT", "Open"));
    panel.setNameFilters(openFilters());
    const QString start = defaults.stringForKey(key);
    panel.setDirectory(QDir(start).exists() ? start : QDir::homePath());
    if (panel.exec() != QDialog::Accepted) return {};
    const QStringList files = panel.selectedFiles();
    if (!files.isEmpty()) defaults.setValue(key, QFileInfo(files.first()).absolutePath());
    return files;
}

void VDLDocumentController::openDocument(QObject*) {
    QWidget* parent = currentDocument() ? currentDocument()->window() : nullptr;
    openFiles(runModalOpenPanel(parent));
}

bool VDLDocumentController::reviewDocumentsForQuit() {
    const QList<VDLDocument*> docs = documents_;
    for (VDLDocument* d : docs) {
        if (d->reviewChangesForQuit()) continue;
        // Cancelled: nothing of this quit stands, not even the Discard answers given before.
        for (VDLDocument* other : documents_) other->forgetQuitAnswer();
        return false;
    }
    return true;
}

void VDLDocumentController::closeAllDocumentsForTesting() {
    const QList<VDLDocument*> docs = documents_;
    for (VDLDocument* d : docs) delete d;
    documents_.clear();
    lastActive_ = nullptr;
}

bool VDLDocumentController::eventFilter(QObject* watched, QEvent* event) { return QObject::eventFilter(watched, event); }

// ---- Window state ----------------------------------------------------------------------------

QString VDLDocumentController::windowStateFolder() {
    QString state = qEnvironmentVariable("XDG_STATE_HOME");
    if (state.isEmpty() || !QDir::isAbsolutePath(state)) state = QDir::homePath() + QStringLiteral("/.local/state");
    return state + QStringLiteral("/vardelle");
}

// The stitches of a kept design, beside its archive: window-3.plist, window-3.stitches.
static QString stitchFileFor(const QString& archivePath) {
    return archivePath.left(archivePath.size() - int(qstrlen(".plist"))) + QStringLiteral(".stitches");
}

static QStringList windowStateFiles() {
    QDir dir(VDLDocumentController::windowStateFolder());
    QStringList files = dir.entryList({QStringLiteral("window-*.plist")}, QDir::Files, QDir::Name);
    // window-1, window-2, ... window-10 in numeric order.
    std::sort(files.begin(), files.end(), [](const QString& a, const QString& b) {
        return a.mid(7).section(QLatin1Char('.'), 0, 0).toInt() < b.mid(7).section(QLatin1Char('.'), 0, 0).toInt();
    });
    for (QString& f : files) f = dir.filePath(f);
    return files;
}

int VDLDocumentController::saveWindowStates() {
    for (const QString& f : windowStateFiles()) {
        QFile::remove(f);
        QFile::remove(stitchFileFor(f));
    }
    if (documents_.isEmpty()) return 0;
    if (!QDir().mkpath(windowStateFolder())) {
        qWarning("Window state not kept: cannot create %s", qPrintable(windowStateFolder()));
        return 0;
    }
    int written = 0;
    for (VDLDocument* d : documents_) {
        if (d->fileName().isEmpty()) continue;
        std::string stitches;
        const std::string xml = d->encodeRestorableState(&stitches);
        const QString path = QDir(windowStateFolder()).filePath(QStringLiteral("window-%1.plist").arg(written + 1));
        VDLError error;
        // The stitches first: an archive is never left pointing at stitches that are not there.
        if (!stitches.empty() &&
            !VDLWriteFileAtomically(stitchFileFor(path).toStdString(), stitches.data(), stitches.size(), &error)) {
            qWarning("Window state of \"%s\" not kept: %s", qPrintable(d->displayName()), error.message().c_str());
            continue;
        }
        if (!VDLWriteFileAtomically(path.toStdString(), xml.data(), xml.size(), &error)) {
            QFile::remove(stitchFileFor(path));
            qWarning("Window state of \"%s\" not kept: %s", qPrintable(d->displayName()), error.message().c_str());
            continue;
        }
        ++written;
    }
    return written;
}

QList<VDLDocument*> VDLDocumentController::restoreWindowStates(QStringList* skipped) {
    QList<VDLDocument*> restored;
    QStringList messages;
    int beyondCap = 0;
    for (const QString& archivePath : windowStateFiles()) {
        const std::string xml = readBytes(archivePath);
        const QString stitchPath = stitchFileFor(archivePath);
        std::string stitches = readBytes(stitchPath);
        QFile::remove(archivePath);
        QFile::remove(stitchPath);
        const QString file = VDLDocument::archivedFilePath(xml);
        if (file.isEmpty()) {
            qWarning("Window state %s ignored: not a window archive", qPrintable(archivePath));
            continue;
        }
        if (restored.size() >= kMostRestoredWindows && !VDLDocument::archiveKeepsDesign(xml)) {
            ++beyondCap;
            continue;
        }
        const QFileInfo info(file);
        if (!info.exists()) {
            messages << QObject::tr("“%1” was not reopened: the file is no longer there.").arg(info.fileName());
            continue;
        }
        const std::optional<QDateTime> date = VDLDocument::archivedModificationDate(xml);
        if (date && date->toSecsSinceEpoch() != info.lastModified().toSecsSinceEpoch()) {
            messages << QObject::tr("“%1” was not reopened: the file was changed since Vardelle last showed it.")
                            .arg(info.fileName());
            continue;
        }
        if (documentForPath(file)) continue;
        VDLError error;
        // A kept design takes the file's place before the window shows, so the file's design is
        // never drawn; the bytes of its stitches go as soon as they are read.
        std::optional<VDLDesign> kept = VDLDocument::keptDesign(xml, &stitches, info.lastModified());
        std::string().swap(stitches);
        VDLDocument* document = kept ? VDLDocument::openWithKeptDesign(file, std::move(*kept))
                                     : VDLDocument::open(file, &error);
        if (!document) {
            messages << QObject::tr("“%1” was not reopened: %2").arg(info.fileName(), QString::fromStdString(error.message()));
            continue;
        }
        document->restoreState(xml, &stitches);
        // Unsaved changes that cannot come back are never lost unseen.
        if (VDLDocument::archiveKeepsDesign(xml) && !document->keptFromLastSession())
            messages << QObject::tr("“%1”: the unsaved changes kept from the last session could not be read; "
                                    "the window shows the file as saved.")
                            .arg(info.fileName());
        restored << document;
    }
    if (beyondCap > 0)
        messages << (beyondCap == 1 ? QObject::tr("1 more window of the last session was not reopened: at most %1 "
                                                  "windows come back at once. Open its design with File ▸ Open.")
                                          .arg(kMostRestoredWindows)
                                    : QObject::tr("%1 more windows of the last session were not reopened: at most %2 "
                                                  "windows come back at once. Open their designs with File ▸ Open.")
                                          .arg(beyondCap)
                                          .arg(kMostRestoredWindows));
    if (!messages.isEmpty()) {
        for (const QString& m : messages) qWarning("%s", qPrintable(m));
        if (skipped) *skipped = messages;
        else showAlert(QMessageBox::Information, QObject::tr("Some windows of the last session were not reopened."),
                       messages.join(QLatin1Char('\n')));
    }
    return restored;
}
