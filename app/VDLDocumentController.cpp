#include "VDLDocumentController.h"

#include "VDLAppController.h"
#include "VDLDefaults.h"
#include "VDLDocument.h"
#include "VDLFile.h"
#include "VDLLocalization.h"
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

QString readText(const QString& path) {
    std::ifstream in(path.toStdString(), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return QString::fromStdString(s.str());
}

// Runs when the QApplication is constructed: once the event loop runs, and before the launch
// steps decide whether to show the open panel, the documents join the application controller
// and the windows of the last run come back.
void startDocuments() {
    QMetaObject::invokeMethod(
        qApp, [] { VDLDocumentController::sharedDocumentController()->restoreWindowStates(); }, Qt::QueuedConnection);
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
    // Quitting with windows open keeps their state for the next launch.
    connect(app, &VDLAppController::willTerminate, this, [this] { saveWindowStates(); });
    connect(qApp, &QCoreApplication::aboutToQuit, this, [this] {
        if (!documents_.isEmpty()) saveWindowStates();
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
    for (const QString& f : windowStateFiles()) QFile::remove(f);
    if (documents_.isEmpty()) return 0;
    if (!QDir().mkpath(windowStateFolder())) {
        qWarning("Window state not kept: cannot create %s", qPrintable(windowStateFolder()));
        return 0;
    }
    int written = 0;
    for (VDLDocument* d : documents_) {
        if (d->fileName().isEmpty()) continue;
        const std::string xml = d->encodeRestorableState();
        const QString path = QDir(windowStateFolder()).filePath(QStringLiteral("window-%1.plist").arg(written + 1));
        VDLError error;
        if (!VDLWriteFileAtomically(path.toStdString(), xml.data(), xml.size(), &error)) {
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
    for (const QString& archivePath : windowStateFiles()) {
        const std::string xml = readText(archivePath).toStdString();
        QFile::remove(archivePath);
        const QString file = VDLDocument::archivedFilePath(xml);
        if (file.isEmpty()) {
            qWarning("Window state %s ignored: not a window archive", qPrintable(archivePath));
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
        VDLDocument* document = openDocumentWithContentsOfURL(file, &error, true);
        if (!document) {
            messages << QObject::tr("“%1” was not reopened: %2").arg(info.fileName(), QString::fromStdString(error.message()));
            continue;
        }
        document->restoreState(xml);
        restored << document;
    }
    if (!messages.isEmpty()) {
        for (const QString& m : messages) qWarning("%s", qPrintable(m));
        if (skipped) *skipped = messages;
        else showAlert(QMessageBox::Information, QObject::tr("Some windows of the last session were not reopened."),
                       messages.join(QLatin1Char('\n')));
    }
    return restored;
}
