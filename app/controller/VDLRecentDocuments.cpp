#include "VDLRecentDocuments.h"

#include "VDLDefaults.h"
#include "VDLDesktopRecentFiles.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFileInfo>
#include <QTimer>

#include <utility>

namespace {
constexpr const char* kKey = "RecentDocuments";

QStringList stored() {
    return VDLDefaults::standard().stringForKey(QString::fromLatin1(kKey)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}
}  // namespace

QStringList VDLRecentDocuments::list() {
    QStringList out;
    for (const QString& p : stored())
        if (QFileInfo(p).isFile() && out.size() < kLimit) out << p;
    return out;
}

void VDLRecentDocuments::note(const QString& path) {
    if (path.isEmpty() || path.contains(QLatin1Char('\n'))) return;
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QStringList paths = stored();
    paths.removeAll(absolute);
    paths.prepend(absolute);
    while (paths.size() > kLimit) paths.removeLast();
    VDLDefaults::standard().setValue(QString::fromLatin1(kKey), paths.join(QLatin1Char('\n')));
    noteForDesktop(absolute);
}

namespace {
// Files waiting to be written into the desktop's list: the files a launch or a session restore
// opens together cost one read and one write of it, after the windows are up.
QStringList& pendingForDesktop() {
    static QStringList pending;
    return pending;
}
}  // namespace

void VDLRecentDocuments::noteForDesktop(const QString& path) {
    QStringList& pending = pendingForDesktop();
    const bool scheduled = !pending.isEmpty();
    pending.removeAll(path);
    pending.append(path);
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) {
        flushDesktopNotes();
        return;
    }
    if (scheduled) return;
    QTimer::singleShot(0, app, &VDLRecentDocuments::flushDesktopNotes);
    // Quitting before the event loop turns again still lists them.
    static bool flushAtQuit = false;
    if (!flushAtQuit) {
        flushAtQuit = true;
        QObject::connect(app, &QCoreApplication::aboutToQuit, app, &VDLRecentDocuments::flushDesktopNotes);
    }
}

void VDLRecentDocuments::flushDesktopNotes() {
    const QStringList files = std::exchange(pendingForDesktop(), QStringList());
    if (files.isEmpty()) return;
    QString problem;
    if (!VDLDesktopRecentFiles::add(files, &problem))
        qWarning().noquote() << "vardelle: the desktop's recent files do not list" << files.join(QStringLiteral(", ")) << "-"
                             << problem;
}

void VDLRecentDocuments::clear() { VDLDefaults::standard().removeValue(QString::fromLatin1(kKey)); }
