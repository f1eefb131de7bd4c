#include "VDLRecentDocuments.h"

#include "VDLDefaults.h"
#include "VDLDesktopRecentFiles.h"

#include <QDebug>
#include <QFileInfo>

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

void VDLRecentDocuments::noteForDesktop(const QString& path) {
    QString problem;
    if (!VDLDesktopRecentFiles::add(path, &problem))
        qWarning().noquote() << "vardelle: the desktop's recent files do not list" << path << "-" << problem;
}

void VDLRecentDocuments::clear() { VDLDefaults::standard().removeValue(QString::fromLatin1(kKey)); }
