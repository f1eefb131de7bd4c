#include "VDLDesktopRecentFiles.h"

#include "VDLError.h"
#include "VDLFile.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>
#include <QUrl>
#include <QXmlStreamReader>

#include <vector>

namespace {

const QString kBookmarkNS = QStringLiteral("http://www.freedesktop.org/standards/desktop-bookmarks");
const QString kMimeNS = QStringLiteral("http://www.freedesktop.org/standards/shared-mime-info");
const QString kOwner = QStringLiteral("http://freedesktop.org");
// A list larger than this is not one a desktop keeps; it is left alone.
constexpr size_t kMostListBytes = 64u << 20;

QString stamp(const QDateTime& t) { return t.toUTC().toString(Qt::ISODateWithMs); }

QString attr(const QString& value) { return value.toHtmlEscaped(); }

QString ourApplication(int count, const QDateTime& now) {
    return QStringLiteral("<bookmark:application name=\"%1\" exec=\"%2\" modified=\"%3\" count=\"%4\"/>")
        .arg(attr(QString::fromLatin1(VDLDesktopRecentFiles::kApplicationName)),
             attr(QString::fromLatin1(VDLDesktopRecentFiles::kApplicationExec)), stamp(now))
        .arg(count);
}

// A whole bookmark element, indented as GTK writes it, at INDENT.
struct Entry {
    QString href, added, mimeRaw;
    QStringList before;        // raw children of the bookmark that come before <info> (title, desc, ...)
    QStringList otherInfo;     // raw metadata blocks of other owners
    QStringList otherMeta;     // raw children of our metadata block besides mime type and applications
    QStringList otherApps;     // raw application elements of other applications
    QStringList after;         // raw children of the bookmark after <info>
    int count = 0;             // our application's earlier count
};

QString bookmarkText(const Entry& e, const QString& mime, const QDateTime& now) {
    const QString t = stamp(now);
    QString s = QStringLiteral("<bookmark href=\"%1\" added=\"%2\" modified=\"%3\" visited=\"%3\">\n")
                    .arg(attr(e.href), attr(e.added.isEmpty() ? t : e.added), t);
    for (const QString& raw : e.before) s += QStringLiteral("    ") + raw.trimmed() + QLatin1Char('\n');
    s += QStringLiteral("    <info>\n");
    for (const QString& raw : e.otherInfo) s += QStringLiteral("      ") + raw.trimmed() + QLatin1Char('\n');
    s += QStringLiteral("      <metadata owner=\"%1\">\n").arg(kOwner);
    s += QStringLiteral("        ") +
         (e.mimeRaw.isEmpty() ? QStringLiteral("<mime:mime-type type=\"%1\"/>").arg(attr(mime)) : e.mimeRaw.trimmed()) +
         QLatin1Char('\n');
    for (const QString& raw : e.otherMeta) s += QStringLiteral("        ") + raw.trimmed() + QLatin1Char('\n');
    s += QStringLiteral("        <bookmark:applications>\n");
    for (const QString& raw : e.otherApps) s += QStringLiteral("          ") + raw.trimmed() + QLatin1Char('\n');
    s += QStringLiteral("          ") + ourApplication(e.count + 1, now) + QLatin1Char('\n');
    s += QStringLiteral("        </bookmark:applications>\n      </metadata>\n    </info>\n");
    for (const QString& raw : e.after) s += QStringLiteral("    ") + raw.trimmed() + QLatin1Char('\n');
    s += QStringLiteral("  </bookmark>");
    return s;
}

QString freshList(const QString& bookmark) {
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<xbel version=\"1.0\"\n"
                          "      xmlns:bookmark=\"%1\"\n"
                          "      xmlns:mime=\"%2\"\n>\n  %3\n</xbel>\n")
        .arg(kBookmarkNS, kMimeNS, bookmark);
}

bool sameFile(const QString& href, const QUrl& url) {
    const QUrl other(href, QUrl::TolerantMode);
    return other.isLocalFile() && QDir::cleanPath(other.toLocalFile()) == QDir::cleanPath(url.toLocalFile());
}

// Every bookmark href of a list, or nullopt when it does not parse.
std::optional<QStringList> hrefsOf(const QString& xml) {
    QXmlStreamReader r(xml);
    QStringList hrefs;
    int depth = 0;
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement()) {
            ++depth;
            if (depth == 2 && r.name() == QLatin1String("bookmark")) hrefs << r.attributes().value("href").toString();
        } else if (r.isEndElement()) {
            --depth;
        }
    }
    if (r.hasError()) return std::nullopt;
    return hrefs;
}

}  // namespace

QString VDLDesktopRecentFiles::path() {
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty() || !QDir::isAbsolutePath(data)) data = QDir::homePath() + QStringLiteral("/.local/share");
    return data + QStringLiteral("/recently-used.xbel");
}

QString VDLDesktopRecentFiles::mimeTypeFor(const QString& file) {
    // The types our shared-mime-info package installs: application/x-<extension>.
    const QString ext = QFileInfo(file).suffix().toLower().remove(QLatin1Char('+'));
    return ext.isEmpty() ? QStringLiteral("application/octet-stream") : QStringLiteral("application/x-") + ext;
}

std::optional<QString> VDLDesktopRecentFiles::updatedList(const QString& existing, const QString& file,
                                                          const QString& mimeType, const QDateTime& now) {
    const QUrl url = QUrl::fromLocalFile(QFileInfo(file).absoluteFilePath());
    Entry entry;
    entry.href = url.toString(QUrl::FullyEncoded);
    if (existing.trimmed().isEmpty()) return freshList(bookmarkText(entry, mimeType, now));

    QXmlStreamReader r(existing);
    qint64 previousEnd = 0;  // where the token just read ends
    int depth = 0;
    bool rootSeen = false;
    qint64 rootTagEnd = -1, rootEndStart = -1;
    bool declaresBookmark = false, declaresMime = false;
    // The entry of FILE, when the list has one: its span and its parts.
    qint64 entryStart = -1, entryEnd = -1;
    bool inEntry = false, inInfo = false, inOurMeta = false, inApps = false, infoSeen = false;
    qint64 childStart = -1;  // start of the child element being collected
    enum Slot { None, Before, After, OtherInfo, OtherMeta, Mime, App } slot = None;
    bool appIsOurs = false;
    while (!r.atEnd()) {
        r.readNext();
        previousEnd = r.characterOffset();
        if (r.hasError()) break;
        // Where an element's tag begins: its '<' (which no attribute value may hold). The
        // reader's offsets after text run one past it, so they cannot tell.
        const qint64 tokenStart = r.isStartElement() || r.isEndElement()
                                      ? existing.lastIndexOf(QLatin1Char('<'), qsizetype(previousEnd - 1))
                                      : previousEnd;
        if (r.isStartElement()) {
            ++depth;
            if (depth == 1) {
                if (r.name() != QLatin1String("xbel") || !r.namespaceUri().isEmpty()) return std::nullopt;
                rootSeen = true;
                rootTagEnd = previousEnd;
                for (const QXmlStreamNamespaceDeclaration& ns : r.namespaceDeclarations()) {
                    if (ns.prefix() == QLatin1String("bookmark")) {
                        if (ns.namespaceUri() != kBookmarkNS) return std::nullopt;  // another meaning of our prefix
                        declaresBookmark = true;
                    }
                    if (ns.prefix() == QLatin1String("mime")) {
                        if (ns.namespaceUri() != kMimeNS) return std::nullopt;
                        declaresMime = true;
                    }
                }
            } else if (depth == 2 && r.name() == QLatin1String("bookmark") && entryStart < 0 &&
                       sameFile(r.attributes().value("href").toString(), url)) {
                inEntry = true;
                entryStart = tokenStart;
                entry.href = r.attributes().value("href").toString();
                entry.added = r.attributes().value("added").toString();
            } else if (inEntry && depth == 3) {
                childStart = tokenStart;
                if (r.name() == QLatin1String("info") && !infoSeen) {
                    inInfo = infoSeen = true;
                    slot = None;
                } else {
                    slot = infoSeen ? After : Before;
                }
            } else if (inInfo && depth == 4) {
                childStart = tokenStart;
                const bool ours = r.name() == QLatin1String("metadata") &&
                                  r.attributes().value("owner") == kOwner && !inOurMeta;
                if (ours) inOurMeta = true;
                slot = ours ? None : OtherInfo;
            } else if (inOurMeta && depth == 5) {
                childStart = tokenStart;
                if (r.name() == QLatin1String("applications") && r.namespaceUri() == kBookmarkNS) {
                    inApps = true;
                    slot = None;
                } else if (r.name() == QLatin1String("mime-type") && r.namespaceUri() == kMimeNS && entry.mimeRaw.isEmpty()) {
                    slot = Mime;
                } else {
                    slot = OtherMeta;
                }
            } else if (inApps && depth == 6) {
                childStart = tokenStart;
                slot = App;
                appIsOurs = r.name() == QLatin1String("application") &&
                            r.attributes().value("name") == QLatin1String(kApplicationName);
                if (appIsOurs) entry.count = std::max(0, r.attributes().value("count").toInt());
            }
        } else if (r.isEndElement()) {
            const QString raw = childStart >= 0 ? existing.mid(childStart, previousEnd - childStart) : QString();
            if (depth == 1) {
                rootEndStart = tokenStart;
            } else if (inEntry && depth == 2) {
                inEntry = false;
                entryEnd = previousEnd;
            } else if (inEntry && depth == 3) {
                if (slot == Before) entry.before << raw;
                else if (slot == After) entry.after << raw;
                inInfo = false;
                slot = None;
                childStart = -1;
            } else if (inInfo && depth == 4) {
                if (slot == OtherInfo) entry.otherInfo << raw;
                else inOurMeta = false;
                slot = None;
                childStart = -1;
            } else if (inOurMeta && depth == 5) {
                if (slot == Mime) entry.mimeRaw = raw;
                else if (slot == OtherMeta) entry.otherMeta << raw;
                else inApps = false;
                slot = None;
                childStart = -1;
            } else if (inApps && depth == 6) {
                if (!appIsOurs) entry.otherApps << raw;
                slot = None;
                childStart = -1;
            }
            --depth;
        }
    }
    if (r.hasError() || !rootSeen || rootEndStart < 0 || rootEndStart < rootTagEnd) return std::nullopt;

    QString out;
    const QString bookmark = bookmarkText(entry, mimeType, now);
    if (entryStart >= 0 && entryEnd > entryStart) {
        // The entry keeps its place among the others.
        out = existing.left(entryStart) + bookmark + existing.mid(entryEnd);
    } else {
        if (rootEndStart == rootTagEnd && existing.mid(rootTagEnd - 2, 2) == QLatin1String("/>"))
            return std::nullopt;  // an empty <xbel/>: not worth the guess
        out = existing.left(rootEndStart);
        if (!out.endsWith(QLatin1Char('\n'))) out += QLatin1Char('\n');
        out += QStringLiteral("  ") + bookmark + QLatin1Char('\n') + existing.mid(rootEndStart);
    }
    // The prefixes our entry uses, declared on the root when the list lacks them.
    QString declarations;
    if (!declaresBookmark) declarations += QStringLiteral(" xmlns:bookmark=\"%1\"").arg(kBookmarkNS);
    if (!declaresMime) declarations += QStringLiteral(" xmlns:mime=\"%1\"").arg(kMimeNS);
    if (!declarations.isEmpty()) {
        const qint64 close = rootTagEnd - 1;  // the '>' of <xbel ...>
        if (out.at(close) != QLatin1Char('>') || out.at(close - 1) == QLatin1Char('/')) return std::nullopt;
        out.insert(close, declarations);
    }

    // Nothing of the old list may be lost: every other entry is still there, and ours once.
    const std::optional<QStringList> before = hrefsOf(existing);
    const std::optional<QStringList> after = hrefsOf(out);
    if (!before || !after) return std::nullopt;
    QStringList expected = *before;
    if (entryStart < 0) expected << entry.href;
    if (*after != expected) return std::nullopt;
    return out;
}

bool VDLDesktopRecentFiles::add(const QString& file, QString* problem) { return add(QStringList{file}, problem); }

bool VDLDesktopRecentFiles::add(const QStringList& files, QString* problem) {
    auto fail = [problem](const QString& why) {
        if (problem) *problem = why;
        return false;
    };
    if (files.isEmpty() || files.contains(QString())) return fail(QStringLiteral("no file"));
    const QString list = path();
    QString existing;
    if (QFileInfo::exists(list)) {
        std::vector<uint8_t> bytes;
        VDLError error;
        if (!VDLReadRegularFile(list.toStdString(), bytes, kMostListBytes, &error))
            return fail(QString::fromStdString(error.message()));
        existing = QString::fromUtf8(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
    }
    std::optional<QString> updated = existing;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const QString& file : files) {
        updated = updatedList(*updated, file, mimeTypeFor(file), now);
        if (!updated) return fail(QStringLiteral("%1 is not a list of recently used files this can update").arg(list));
    }
    if (!QDir().mkpath(QFileInfo(list).absolutePath())) return fail(QStringLiteral("cannot create the folder of %1").arg(list));
    const QByteArray bytes = updated->toUtf8();
    VDLError error;
    if (!VDLWriteFileAtomically(list.toStdString(), bytes.constData(), size_t(bytes.size()), &error))
        return fail(QString::fromStdString(error.message()));
    return true;
}
