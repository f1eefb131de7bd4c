#include "VDLDefaults.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>

#include <gtest/gtest.h>

namespace {
void writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}
}  // namespace

// Values the user sets survive a re-read in their own types and hide the registered ones; a
// corrupt file reads as the registered defaults and is only replaced by the next change.
TEST(Defaults, WrittenValuesAndCorruptFile) {
    VDLDefaults& d = VDLDefaults::standard();
    d.registerDefaults({{"TestFlag", true}, {"TestCount", 7}});
    const QDateTime when = QDateTime::fromSecsSinceEpoch(1790000000, Qt::UTC);
    ASSERT_TRUE(d.setValue("TestCount", 5));
    ASSERT_TRUE(d.setValue("TestLength", 2.5));
    ASSERT_TRUE(d.setValue("TestWhen", when));
    ASSERT_TRUE(d.setValue("TestData", QByteArray("\x00\x01\x02", 3)));
    d.reload();
    EXPECT_TRUE(d.boolForKey("TestFlag"));
    EXPECT_EQ(d.integerForKey("TestCount"), 5);
    EXPECT_FLOAT_EQ(d.floatForKey("TestLength"), 2.5f);
    EXPECT_EQ(d.dateForKey("TestWhen"), when);
    EXPECT_EQ(d.dataForKey("TestData"), QByteArray("\x00\x01\x02", 3));
    EXPECT_FALSE(d.dateForKey("Missing").isValid());

    writeFile(d.path(), "not a property list");
    d.reload();
    EXPECT_EQ(d.integerForKey("TestCount"), 7);
    QFile f(d.path());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), QByteArray("not a property list"));
    f.close();
    ASSERT_TRUE(d.setValue("TestCount", 9));
    d.reload();
    EXPECT_EQ(d.integerForKey("TestCount"), 9);
    d.removeValue("TestCount");
    d.removeValue("TestLength");
    d.removeValue("TestWhen");
    d.removeValue("TestData");
}

// A preferences file that is a FIFO, the endless /dev/zero, or a list nested far deeper than
// ours reads as the registered defaults at once (the launch used to block, grow without bound
// or crash); a symbolic link to the preferences stays a link when a value is written.
TEST(Defaults, SpecialOrDeepPreferencesFilesReadAsDefaults) {
    VDLDefaults& d = VDLDefaults::standard();
    d.registerDefaults({{"TestCount", 7}});
    ASSERT_TRUE(d.setValue("TestCount", 5));
    const QString path = d.path();
    const QString real = path + QStringLiteral(".real");
    ASSERT_TRUE(QFile::rename(path, real));

    ASSERT_EQ(::mkfifo(path.toLocal8Bit().constData(), 0600), 0);
    QElapsedTimer clock;
    clock.start();
    d.reload();
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_EQ(d.integerForKey("TestCount"), 7);
    QFile::remove(path);

    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/zero"), path));
    d.reload();
    EXPECT_EQ(d.integerForKey("TestCount"), 7);
    QFile::remove(path);

    QByteArray deep = "<plist version=\"1.0\">";
    for (int i = 0; i < 100000; ++i) deep += "<dict><key>TestCount</key>";
    writeFile(path, deep);
    d.reload();
    EXPECT_EQ(d.integerForKey("TestCount"), 7);
    QFile::remove(path);

    // Preferences kept elsewhere behind a link (as dotfile managers do).
    ASSERT_TRUE(QFile::link(real, path));
    d.reload();
    EXPECT_EQ(d.integerForKey("TestCount"), 5);
    ASSERT_TRUE(d.setValue("TestCount", 6));
    EXPECT_TRUE(QFileInfo(path).isSymLink());
    d.reload();
    EXPECT_EQ(d.integerForKey("TestCount"), 6);
    d.removeValue("TestCount");
    QFile::remove(path);
    QFile::remove(real);
}
