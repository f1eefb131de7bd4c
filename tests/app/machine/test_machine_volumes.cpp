// Listing removable media from a mount table and a sysfs tree, the detail lines, the FAT
// variant from the cluster count (checked on real FAT images), watching and ejecting without
// UDisks.
#include "VDLMachine.h"
#include "VDLVolumes.h"
#include "MachineTestSupport.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace machine_test;

TEST(MachineVolumes, DetailLinesAndFatVariants) {
    EXPECT_EQ(VDLVolumeLister::detailLine("MS-DOS (FAT32)", 512'000'000ull, 8'000'000'000ull),
              "MS-DOS (FAT32), 512.0 MB available of 8.0 GB");
    EXPECT_EQ(VDLVolumeLister::detailLine("MS-DOS (FAT32)", 2'460'000'000ull, 7'990'000'000ull),
              "MS-DOS (FAT32), 2.5 GB available of 8.0 GB");
    EXPECT_EQ(VDLVolumeLister::detailLine("MS-DOS (FAT32)", 1'000'000'000ull, 4'000'000'000ull),
              "MS-DOS (FAT32), 1000.0 MB available of 4.0 GB");
    EXPECT_EQ(VDLVolumeLister::detailLine("ms-dos (fat16)", 1'500'000ull, 64'000'000ull),
              "MS-DOS (FAT16), 1.5 MB available of 64.0 MB");

    EXPECT_EQ(VDLVolumeLister::fatNameForClusterCount(0), "MS-DOS");
    EXPECT_EQ(VDLVolumeLister::fatNameForClusterCount(4084), "MS-DOS (FAT12)");
    EXPECT_EQ(VDLVolumeLister::fatNameForClusterCount(4085), "MS-DOS (FAT16)");
    EXPECT_EQ(VDLVolumeLister::fatNameForClusterCount(65524), "MS-DOS (FAT16)");
    EXPECT_EQ(VDLVolumeLister::fatNameForClusterCount(65525), "MS-DOS (FAT32)");
    EXPECT_EQ(VDLVolumeLister::fileSystemNameForUDisks("vfat", "FAT32"), "MS-DOS (FAT32)");
    EXPECT_EQ(VDLVolumeLister::fileSystemNameForUDisks("vfat", "FAT12"), "MS-DOS (FAT12)");
    EXPECT_EQ(VDLVolumeLister::fileSystemNameForUDisks("vfat", ""), "MS-DOS");
    EXPECT_EQ(VDLVolumeLister::fileSystemNameForUDisks("ext4", "1.0"), "ext4");
}

// Real FAT file systems made by mkfs.vfat: the data cluster count read from each boot sector
// (through mtools' minfo) gives the variant mkfs wrote into the boot sector. On Linux statvfs of
// a mounted FAT volume reports exactly this count as f_blocks.
TEST(MachineVolumes, ClusterCountOfRealFatImages) {
    const QString mkfs = QStandardPaths::findExecutable("mkfs.vfat", {"/usr/sbin", "/sbin", "/usr/bin"});
    const QString minfo = QStandardPaths::findExecutable("minfo");
    if (mkfs.isEmpty() || minfo.isEmpty()) GTEST_SKIP() << "dosfstools or mtools missing";
    QTemporaryDir dir;
    struct Case {
        const char* fatBits;
        const char* kilobytes;
        const char* sectorsPerCluster;
        const char* expected;
    } cases[] = {{"12", "1440", "1", "MS-DOS (FAT12)"},
                 {"16", "16384", "1", "MS-DOS (FAT16)"},
                 {"32", "40000", "1", "MS-DOS (FAT32)"}};
    for (const Case& c : cases) {
        const QString image = dir.path() + "/fat" + c.fatBits + ".img";
        QProcess make;
        make.start(mkfs, {"-C", "-F", c.fatBits, "-s", c.sectorsPerCluster, "-S", "512", image, c.kilobytes});
        ASSERT_TRUE(make.waitForFinished(20000));
        ASSERT_EQ(make.exitCode(), 0) << make.readAllStandardError().toStdString();
        QProcess info;
        info.start(minfo, {"-i", image, "::"});
        ASSERT_TRUE(info.waitForFinished(20000));
        const QString text = QString::fromLocal8Bit(info.readAllStandardOutput());
        auto field = [&](const QString& name) -> quint64 {
            const auto m = QRegularExpression("^" + QRegularExpression::escape(name) + "[:=] ?(\\d+)",
                                              QRegularExpression::MultilineOption)
                               .match(text);
            return m.hasMatch() ? m.captured(1).toULongLong() : 0;
        };
        const quint64 sectorSize = field("sector size");
        const quint64 perCluster = field("cluster size");
        const quint64 total = field("small size") ? field("small size") : field("big size");
        const quint64 fatLength = field("sectors per fat") ? field("sectors per fat") : field("Big fatlen");
        const quint64 rootSectors = (field("max available root directory slots") * 32 + sectorSize - 1) / sectorSize;
        ASSERT_GT(sectorSize * perCluster * total * fatLength, 0u) << text.toStdString();
        const quint64 dataSectors = total - field("reserved (boot) sectors") - field("fats") * fatLength - rootSectors;
        const quint64 clusters = dataSectors / perCluster;
        EXPECT_EQ(VDLVolumeLister::fatNameForClusterCount(clusters), c.expected) << clusters;
        EXPECT_TRUE(text.contains(QStringLiteral("disk type=\"FAT%1").arg(c.fatBits))) << text.toStdString();
    }
}

TEST(MachineVolumes, MountTableListing) {
    FakeSystem sys;
    sys.disk("sda", false, {"sda1", "sda2"});
    sys.disk("sdb", true, {"sdb1"});
    sys.disk("sdc", true, {"sdc1"});
    sys.disk("sdd", true, {"sdd1"});
    sys.disk("sde", true, {"sde1"});
    // A USB stick that does not set the removable bit: its sysfs entry leads through a USB port.
    const QString usbDevice = sys.root() + "/sys/devices/pci0000:00/usb2/2-1/block/sdf";
    writeFile(usbDevice + "/removable", "0\n");
    QDir().mkpath(usbDevice + "/sdf1");
    ASSERT_TRUE(QFile::link(usbDevice, sys.root() + "/sys/block/sdf"));

    const QString stick = sys.mountPoint("STICK");
    const QString spaced = sys.mountPoint("MY CARD");
    const QString linux = sys.mountPoint("LINUX");
    const QString odd = sys.mountPoint("ODD");
    const QString locked = sys.mountPoint("LOCKED");
    const QString boot = sys.root() + "/boot/efi";
    QDir().mkpath(boot);
    sys.stats[stick] = fat(1'953'000, 512'000'000ull, 8'000'000'000ull);
    sys.stats[spaced] = fat(60'000, 20'000'000ull, 64'000'000ull);
    sys.stats[linux] = fat(2'000'000, 1'000'000ull, 8'000'000'000ull);
    sys.stats[odd] = fat(0, 1'000'000ull, 2'000'000ull);  // variant cannot be told
    sys.stats[locked] = fat(100'000, 1'000'000ull, 2'000'000'000ull);
    sys.stats[boot] = fat(100'000, 1'000'000ull, 500'000'000ull);
    writeFile(sys.root() + "/mountinfo",
              mountLine(21, "/", "ext4", "/dev/sda2") + mountLine(22, boot, "vfat", "/dev/sda1") +
                  mountLine(23, stick, "vfat", "/dev/sdb1") + mountLine(24, linux, "ext4", "/dev/sdc1") +
                  mountLine(25, odd, "msdos", "/dev/sdd1") + mountLine(26, locked, "vfat", "/dev/sde1", "ro,nosuid") +
                  mountLine(27, spaced, "vfat", "/dev/sdf1") + "garbage line\n\n" +
                  mountLine(28, "/run/user/1000", "tmpfs", "tmpfs"));

    VDLVolumeLister lister(sys.roots());
    const QList<VDLVolume> all = lister.removableVolumes();
    EXPECT_FALSE(lister.usedUDisks());
    QStringList listed;
    for (const VDLVolume& v : all) listed << v.name + "=" + v.fileSystem;
    EXPECT_EQ(listed, QStringList({"STICK=MS-DOS (FAT32)", "LINUX=ext4", "ODD=MS-DOS", "MY CARD=MS-DOS (FAT16)"}));
    EXPECT_EQ(all.first().device, "/dev/sdb1");
    EXPECT_EQ(all.first().mountPath, stick);

    const QList<VDLVolume> forMachine = lister.volumesForMachine(*VDLMachine::machineWithIdent(1));
    ASSERT_EQ(forMachine.size(), 2);
    EXPECT_EQ(forMachine[0].mountPath, stick);
    EXPECT_EQ(forMachine[0].detail, "MS-DOS (FAT32), 512.0 MB available of 8.0 GB");
    EXPECT_EQ(forMachine[1].mountPath, spaced);
    EXPECT_EQ(forMachine[1].detail, "MS-DOS (FAT16), 20.0 MB available of 64.0 MB");
}

// statvfs of a real directory, and a missing mount table lists nothing.
TEST(MachineVolumes, RealStatvfsAndMissingTable) {
    FakeSystem sys;
    sys.disk("sdb", true, {"sdb1"});
    const QString mount = sys.mountPoint("DATA");
    writeFile(sys.root() + "/mountinfo", mountLine(30, mount, "ext4", "/dev/sdb1"));
    VDLVolumeLister::Roots roots = sys.roots();
    roots.statFileSystem = nullptr;
    VDLVolumeLister lister(roots);
    const auto volumes = lister.removableVolumes();
    ASSERT_EQ(volumes.size(), 1);
    EXPECT_GT(volumes[0].totalBytes, 0u);
    EXPECT_LE(volumes[0].freeBytes, volumes[0].totalBytes);
    EXPECT_TRUE(volumes[0].writable);

    roots.mountInfo = sys.root() + "/none";
    VDLVolumeLister missing(roots);
    EXPECT_TRUE(missing.removableVolumes().isEmpty());
}

TEST(MachineVolumes, WatchesTheMountTable) {
    FakeSystem sys;
    sys.disk("sdb", true, {"sdb1"});
    const QString stick = sys.mountPoint("STICK");
    sys.stats[stick] = fat(1'953'000, 512'000'000ull, 8'000'000'000ull);
    writeFile(sys.root() + "/mountinfo", mountLine(21, "/", "ext4", "/dev/sda2"));
    VDLVolumeLister lister(sys.roots());
    QSignalSpy changed(&lister, &VDLVolumeLister::volumesChanged);
    lister.startWatching();
    EXPECT_TRUE(lister.removableVolumes().isEmpty());
    writeFile(sys.root() + "/mountinfo",
              mountLine(21, "/", "ext4", "/dev/sda2") + mountLine(23, stick, "vfat", "/dev/sdb1"));
    ASSERT_TRUE(changed.wait(3000));
    EXPECT_EQ(lister.removableVolumes().size(), 1);
    lister.stopWatching();
}

// Without UDisks: udisksctl when present, else eject; neither present means not ejected.
TEST(MachineVolumes, EjectWithoutUDisks) {
    QTemporaryDir tools;
    const QString log = tools.path() + "/calls";
    auto script = [&](const QString& name, int exitCode) {
        const QString path = tools.path() + "/" + name;
        writeFile(path, QStringLiteral("#!/bin/sh\necho \"%1 $*\" >> '%2'\nexit %3\n")
                            .arg(name, log)
                            .arg(exitCode)
                            .toLocal8Bit());
        QFile::setPermissions(path, QFile::permissions(path) | QFile::ExeOwner);
        return path;
    };
    auto calls = [&] {
        QFile f(log);
        f.open(QIODevice::ReadOnly);
        const QString text = QString::fromLocal8Bit(f.readAll()).trimmed();
        f.close();
        QFile::remove(log);
        return text.split('\n', Qt::SkipEmptyParts);
    };
    VDLVolume stick;
    stick.mountPath = "/media/anna/STICK";
    stick.device = "/dev/sdb1";

    VDLVolumeLister::Roots roots;
    roots.useUDisks = false;
    roots.udisksctlProgram = script("udisksctl", 0);
    roots.ejectProgram = script("eject", 0);
    {
        VDLVolumeLister lister(roots);
        EXPECT_TRUE(lister.ejectVolume(stick));
        EXPECT_EQ(calls(), QStringList({"udisksctl unmount -b /dev/sdb1", "udisksctl power-off -b /dev/sdb1"}));
    }
    roots.udisksctlProgram = script("udisksctl-refusing", 1);
    {
        VDLVolumeLister lister(roots);
        EXPECT_TRUE(lister.ejectVolume(stick));
        EXPECT_EQ(calls(), QStringList({"udisksctl-refusing unmount -b /dev/sdb1", "eject /dev/sdb1"}));
    }
    roots.udisksctlProgram.clear();
    roots.ejectProgram = script("eject-busy", 1);
    {
        VDLVolumeLister lister(roots);
        QString reason;
        EXPECT_FALSE(lister.ejectVolume(stick, &reason));
        EXPECT_EQ(calls(), QStringList({"eject-busy /dev/sdb1"}));
    }
    roots.ejectProgram.clear();
    {
        VDLVolumeLister lister(roots);
        QString reason;
        EXPECT_FALSE(lister.ejectVolume(stick, &reason));
        EXPECT_FALSE(reason.isEmpty());
        EXPECT_TRUE(calls().isEmpty());
    }
}
