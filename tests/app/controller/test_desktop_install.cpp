// The installed desktop integration: launcher entry (validated), icon, AppStream metadata and
// the MIME types the entry claims, which must be those of our MIME package.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {
QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
int run(const QString& program, const QStringList& args, QByteArray* out = nullptr) {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, args);
    if (!p.waitForFinished(120000)) return -1;
    if (out) *out = p.readAll();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}
}  // namespace

TEST(DesktopIntegration, InstalledTreeValidates) {
    const QString cmake = QStandardPaths::findExecutable("cmake");
    const QString validate = QStandardPaths::findExecutable("desktop-file-validate");
    if (cmake.isEmpty() || validate.isEmpty()) GTEST_SKIP() << "cmake or desktop-file-validate missing";
    QTemporaryDir prefix;
    QByteArray out;
    ASSERT_EQ(run(cmake, {"--install", VARDELLE_BINARY_DIR, "--prefix", prefix.path(), "--component", "desktop"}, &out), 0)
        << out.toStdString();
    const QString share = prefix.path() + "/share";
    const QString entry = share + "/applications/vardelle.desktop";
    ASSERT_TRUE(QFile::exists(entry));
    EXPECT_EQ(run(validate, {entry}, &out), 0) << out.toStdString();
    EXPECT_TRUE(out.trimmed().isEmpty()) << out.toStdString();  // no warnings either
    EXPECT_TRUE(readAll(share + "/icons/hicolor/scalable/apps/vardelle.svg").contains("<svg"));
    const QString metainfo = share + "/metainfo/io.github.vardelle.Vardelle.metainfo.xml";
    ASSERT_TRUE(QFile::exists(metainfo));
    if (const QString as = QStandardPaths::findExecutable("appstreamcli"); !as.isEmpty()) {
        EXPECT_EQ(run(as, {"validate", "--no-net", metainfo}, &out), 0) << out.toStdString();
    }

    // MimeType= lists exactly the types of our MIME package (the application/ ones: the image
    // types there only add magic to the database's own).
    QStringList claimed;
    for (const QByteArray& line : readAll(entry).split('\n'))
        if (line.startsWith("MimeType=")) claimed = QString::fromUtf8(line.mid(9)).split(';', Qt::SkipEmptyParts);
    QStringList known;
    const QString package = QString::fromUtf8(readAll(QStringLiteral(VARDELLE_SOURCE_DIR "/resources/vardelle-embroidery.xml")));
    QRegularExpression mime("<mime-type\\s+type=\"(application/[^\"]+)\"");
    for (auto it = mime.globalMatch(package); it.hasNext();) known << it.next().captured(1);
    claimed.sort();
    known.sort();
    EXPECT_FALSE(known.isEmpty());
    EXPECT_EQ(claimed, known);
    EXPECT_TRUE(readAll(metainfo).contains("<launchable type=\"desktop-id\">vardelle.desktop</launchable>"));
}
