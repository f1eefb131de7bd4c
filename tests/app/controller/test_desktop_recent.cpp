// The desktop's list of recently used files as GNOME and KDE read it: designs opened and saved
// are added or updated, every other program's entry stays as it was written, and a list that
// cannot be understood is left alone without failing the open.
#include "DocumentTestSupport.h"
#include "VDLDesktopRecentFiles.h"
#include "VDLRecentDocuments.h"

#include <QDir>
#include <QFile>
#include <QUrl>
#include <QXmlStreamReader>

namespace {

QString readList() {
    QApplication::processEvents();  // the list is written from the event loop
    QFile f(VDLDesktopRecentFiles::path());
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

void writeList(const QString& text) {
    QFile::remove(VDLDesktopRecentFiles::path());
    QDir().mkpath(QFileInfo(VDLDesktopRecentFiles::path()).absolutePath());
    QFile f(VDLDesktopRecentFiles::path());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text.toUtf8());
}

// What a reader of the list sees of FILE's entries: one map of attributes per bookmark, with
// the MIME type and our application's attributes under "mime" and "app.*".
QList<QMap<QString, QString>> entriesFor(const QString& xml, const QString& file) {
    QList<QMap<QString, QString>> found;
    QXmlStreamReader r(xml);
    QMap<QString, QString>* current = nullptr;
    while (!r.atEnd()) {
        r.readNext();
        if (r.isStartElement() && r.name() == QLatin1String("bookmark")) {
            current = nullptr;
            if (QUrl(r.attributes().value("href").toString()).toLocalFile() != QFileInfo(file).absoluteFilePath()) continue;
            found.append(QMap<QString, QString>());
            current = &found.last();
            for (const QXmlStreamAttribute& a : r.attributes()) current->insert(a.name().toString(), a.value().toString());
        } else if (current && r.isStartElement() && r.name() == QLatin1String("mime-type")) {
            current->insert("mime", r.attributes().value("type").toString());
        } else if (current && r.isStartElement() && r.name() == QLatin1String("application")) {
            const QString prefix = "app." + r.attributes().value("name").toString() + ".";
            for (const QXmlStreamAttribute& a : r.attributes()) current->insert(prefix + a.name().toString(), a.value().toString());
        }
    }
    EXPECT_FALSE(r.hasError()) << r.errorString().toStdString();
    return found;
}

// Another program's list, as GTK writes it: an entry of a text file, and one of a design that
// an editor opened earlier, with a title and groups of its own.
const char* const kGtkList = R"(<?xml version="1.0" encoding="UTF-8"?>
<xbel version="1.0"
      xmlns:bookmark="http://www.freedesktop.org/standards/desktop-bookmarks"
      xmlns:mime="http://www.freedesktop.org/standards/shared-mime-info"
>
  <bookmark href="file:///home/u/notes%20%C3%A9t%C3%A9.txt" added="2024-03-01T10:00:00.000001Z" modified="2024-03-01T10:00:00.000001Z" visited="2024-03-01T10:00:00.000001Z">
    <info>
      <metadata owner="http://freedesktop.org">
        <mime:mime-type type="text/plain"/>
        <bookmark:applications>
          <bookmark:application name="gedit" exec="&apos;gedit %u&apos;" modified="2024-03-01T10:00:00.000001Z" count="3"/>
        </bookmark:applications>
      </metadata>
    </info>
  </bookmark>
  <bookmark href="DESIGN" added="2024-02-01T09:00:00Z" modified="2024-02-01T09:00:00Z" visited="2024-02-01T09:00:00Z">
    <title>Rose</title>
    <info>
      <metadata owner="http://freedesktop.org">
        <mime:mime-type type="application/x-dst"/>
        <bookmark:groups>
          <bookmark:group>Embroidery</bookmark:group>
        </bookmark:groups>
        <bookmark:applications>
          <bookmark:application name="Stitch Viewer" exec="&apos;stitchview %u&apos;" modified="2024-02-01T09:00:00Z" count="1"/>
        </bookmark:applications>
      </metadata>
    </info>
  </bookmark>
</xbel>
)";

}  // namespace

// Opening and saving add the designs to the desktop's list; another program's entries survive
// untouched, and a second open of the same file updates its entry instead of adding one.
TEST_F(DocumentTest, OpenedAndSavedDesignsJoinTheDesktopsRecentFiles) {
    const QString dst = sample("flower.dst");
    const QString gtk = QString::fromLatin1(kGtkList).replace("DESIGN", QUrl::fromLocalFile(dst).toString(QUrl::FullyEncoded));
    writeList(gtk);
    const QString textEntry = gtk.mid(gtk.indexOf("  <bookmark href=\"file:///home/u/notes"),
                                      gtk.indexOf("</bookmark>") + 11 - gtk.indexOf("  <bookmark href=\"file:///home/u/notes"));

    const QString jef = sample("flower.jef");
    ASSERT_NE(open(jef), nullptr);
    QString list = readList();
    EXPECT_TRUE(list.contains(textEntry)) << "another program's entry changed:\n" << list.toStdString();
    auto entries = entriesFor(list, jef);
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(entries[0].value("mime"), "application/x-jef");
    EXPECT_EQ(entries[0].value("app.Vardelle.exec"), "vardelle %u");
    EXPECT_EQ(entries[0].value("app.Vardelle.count"), "1");
    for (const char* stamp : {"added", "modified", "visited", "app.Vardelle.modified"})
        EXPECT_TRUE(QDateTime::fromString(entries[0].value(stamp), Qt::ISODateWithMs).isValid()) << stamp;

    // The design the other program listed: updated in place, its title, groups and the other
    // program's registration kept, our registration added.
    VDLDocument* doc = open(dst);
    ASSERT_NE(doc, nullptr);
    list = readList();
    entries = entriesFor(list, dst);
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(entries[0].value("added"), "2024-02-01T09:00:00Z");
    EXPECT_NE(entries[0].value("modified"), "2024-02-01T09:00:00Z");
    EXPECT_EQ(entries[0].value("app.Stitch Viewer.count"), "1");
    EXPECT_EQ(entries[0].value("app.Vardelle.count"), "1");
    EXPECT_TRUE(list.contains("<title>Rose</title>"));
    EXPECT_TRUE(list.contains("<bookmark:group>Embroidery</bookmark:group>"));
    EXPECT_TRUE(list.contains(textEntry));

    // Opened again: the same entry, counted twice.
    controller()->closeAllDocumentsForTesting();
    ASSERT_NE(open(dst), nullptr);
    entries = entriesFor(readList(), dst);
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(entries[0].value("app.Vardelle.count"), "2");
    EXPECT_EQ(entriesFor(readList(), jef).size(), 1);

    // Saved As and saved as a copy: both files are listed.
    VDLDocument* again = controller()->documents().first();
    VDLError error;
    ASSERT_TRUE(again->saveCopyToURL(QString::fromStdString(dir.file("copy.pes")), &error)) << error.message();
    ASSERT_TRUE(again->saveToURL(QString::fromStdString(dir.file("renamed.exp")), &error)) << error.message();
    EXPECT_EQ(entriesFor(readList(), QString::fromStdString(dir.file("copy.pes"))).size(), 1);
    entries = entriesFor(readList(), QString::fromStdString(dir.file("renamed.exp")));
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(entries[0].value("mime"), "application/x-exp");
    EXPECT_TRUE(readList().contains(textEntry));
}

// No list yet: one is made with our entry. A list that is not one we understand (damaged, or
// another kind of document) is left byte for byte as it was, and the design opens all the same.
TEST_F(DocumentTest, DesktopRecentFilesNeverLoseTheListNorFailAnOpen) {
    QFile::remove(VDLDesktopRecentFiles::path());
    const QString dst = sample("flower.dst");
    ASSERT_NE(open(dst), nullptr);
    EXPECT_EQ(entriesFor(readList(), dst).size(), 1);
    EXPECT_TRUE(readList().startsWith("<?xml"));
    controller()->closeAllDocumentsForTesting();

    for (const QString& foreign : {QStringLiteral("<xbel version=\"1.0\"><bookmark href=\"file:///a\">"),
                                   QStringLiteral("<?xml version=\"1.0\"?><html><body/></html>\n"),
                                   QStringLiteral("<xbel xmlns:bookmark=\"urn:other\"><bookmark href=\"file:///a\"/></xbel>")}) {
        writeList(foreign);
        VDLDocument* doc = open(dst);
        EXPECT_NE(doc, nullptr);
        EXPECT_EQ(readList(), foreign);
        controller()->closeAllDocumentsForTesting();
    }

    // A bare list without the prefixes our entry needs gets them declared.
    writeList("<?xml version=\"1.0\"?>\n<xbel version=\"1.0\">\n  <bookmark href=\"file:///other.txt\"/>\n</xbel>\n");
    ASSERT_NE(open(dst), nullptr);
    EXPECT_TRUE(readList().contains("<bookmark href=\"file:///other.txt\"/>"));
    EXPECT_EQ(entriesFor(readList(), dst).size(), 1);
}

// Whatever another program left there (here every cut of a real list, and the list with each
// character in turn replaced by '<'), an update either keeps every entry and adds ours once,
// or leaves the list alone; it never crashes.
TEST(DesktopRecentFiles, DamagedListsAreUpdatedWholeOrLeftAlone) {
    const QString file = QStringLiteral("/home/u/rose.dst");
    const QString gtk = QString::fromLatin1(kGtkList).replace("DESIGN", QStringLiteral("file:///home/u/tulip.pes"));
    const QDateTime now = QDateTime::fromString(QStringLiteral("2026-01-02T03:04:05Z"), Qt::ISODate);
    auto check = [&](const QString& list) {
        const std::optional<QString> out = VDLDesktopRecentFiles::updatedList(list, file, "application/x-dst", now);
        if (!out) return;
        QXmlStreamReader before(list), after(*out);
        QStringList hrefsBefore, hrefsAfter;
        while (!before.atEnd())
            if (before.readNext() == QXmlStreamReader::StartElement && before.name() == QLatin1String("bookmark"))
                hrefsBefore << before.attributes().value("href").toString();
        while (!after.atEnd())
            if (after.readNext() == QXmlStreamReader::StartElement && after.name() == QLatin1String("bookmark"))
                hrefsAfter << after.attributes().value("href").toString();
        EXPECT_FALSE(after.hasError()) << list.toStdString();
        if (!hrefsBefore.contains(QUrl::fromLocalFile(file).toString())) hrefsBefore << QUrl::fromLocalFile(file).toString();
        EXPECT_EQ(hrefsAfter, hrefsBefore) << list.toStdString();
    };
    for (qsizetype n = 0; n <= gtk.size(); ++n) check(gtk.left(n));
    for (qsizetype i = 0; i < gtk.size(); ++i) {
        QString damaged = gtk;
        damaged[i] = QLatin1Char('<');
        check(damaged);
    }
    // The updated list updates again: the same entry, counted twice.
    const std::optional<QString> once = VDLDesktopRecentFiles::updatedList(gtk, file, "application/x-dst", now);
    ASSERT_TRUE(once);
    const std::optional<QString> twice = VDLDesktopRecentFiles::updatedList(*once, file, "application/x-dst", now.addSecs(60));
    ASSERT_TRUE(twice);
    const auto entries = entriesFor(*twice, file);
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(entries[0].value("app.Vardelle.count"), "2");
    EXPECT_EQ(entries[0].value("added"), "2026-01-02T03:04:05.000Z");
    EXPECT_EQ(entries[0].value("modified"), "2026-01-02T03:05:05.000Z");
}
