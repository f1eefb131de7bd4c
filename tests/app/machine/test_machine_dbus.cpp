// The UDisks2 path: a mock service on a private bus answers GetManagedObjects, Unmount, Eject and
// PowerOff as UDisks2 does; the lister lists, watches and ejects through it.
#include "VDLMachine.h"
#include "VDLVolumes.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QDir>
#include <QMutex>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

namespace {

const QString kService = QStringLiteral("org.freedesktop.UDisks2");
const QString kRoot = QStringLiteral("/org/freedesktop/UDisks2");

class MockUDisks : public QDBusVirtualObject {
public:
    VDLDBusObjects objects;
    QStringList failing;  // "Member path" answered with an error

    QStringList calls() {
        QMutexLocker lock(&mutex_);
        return calls_;
    }

    QString introspect(const QString&) const override { return {}; }

    bool handleMessage(const QDBusMessage& m, const QDBusConnection& c) override {
        if (m.type() != QDBusMessage::MethodCallMessage) return false;
        if (m.member() == QLatin1String("GetManagedObjects") && m.path() == kRoot) {
            c.send(m.createReply(QVariant::fromValue(objects)));
            return true;
        }
        const QStringList known = {"Unmount", "Eject", "PowerOff"};
        if (!known.contains(m.member())) return false;
        const QString call = m.member() + ' ' + m.path();
        {
            QMutexLocker lock(&mutex_);
            calls_ << call;
        }
        if (failing.contains(call))
            c.send(m.createErrorReply(QStringLiteral("org.freedesktop.UDisks2.Error.Failed"), QStringLiteral("refused")));
        else
            c.send(m.createReply());
        return true;
    }

private:
    QMutex mutex_;
    QStringList calls_;
};

// A private bus with the mock served from its own thread, so the lister's blocking calls from
// the main thread are answered.
struct PrivateBus {
    QProcess daemon;
    QString address;
    QThread thread;
    MockUDisks* mock = nullptr;

    bool start() {
        if (QStandardPaths::findExecutable("dbus-daemon").isEmpty()) return false;
        daemon.start("dbus-daemon", {"--session", "--nofork", "--print-address"});
        if (!daemon.waitForStarted(5000)) return false;
        while (!daemon.canReadLine() && daemon.waitForReadyRead(5000)) {
        }
        address = QString::fromLocal8Bit(daemon.readLine()).trimmed();
        return !address.isEmpty();
    }

    bool serve(MockUDisks* m) {
        mock = m;
        thread.start();
        mock->moveToThread(&thread);
        bool ok = false;
        QMetaObject::invokeMethod(
            mock,
            [&] {
                QDBusConnection c = QDBusConnection::connectToBus(address, "mock-udisks");
                ok = c.isConnected() && c.registerService(kService) &&
                     c.registerVirtualObject(kRoot, mock, QDBusConnection::SubPath);
            },
            Qt::BlockingQueuedConnection);
        return ok;
    }

    void emitInterfacesAdded(const QString& path) {
        QMetaObject::invokeMethod(
            mock,
            [&] {
                QDBusMessage s = QDBusMessage::createSignal(kRoot, "org.freedesktop.DBus.ObjectManager",
                                                            "InterfacesAdded");
                s << QVariant::fromValue(QDBusObjectPath(path)) << QVariant::fromValue(VDLDBusInterfaces());
                QDBusConnection(QStringLiteral("mock-udisks")).send(s);
            },
            Qt::BlockingQueuedConnection);
    }

    ~PrivateBus() {
        if (mock) {
            QMetaObject::invokeMethod(
                mock, [] { QDBusConnection::disconnectFromBus("mock-udisks"); }, Qt::BlockingQueuedConnection);
            thread.quit();
            thread.wait();
            delete mock;
        }
        daemon.terminate();
        daemon.waitForFinished(3000);
    }
};

QByteArray nulTerminated(const QString& s) { return s.toLocal8Bit() + '\0'; }

VDLDBusInterfaces block(const QString& device, const QString& type, const QString& version, const QString& drive,
                        const QStringList& mountPoints) {
    VDLDBusInterfaces i;
    i["org.freedesktop.UDisks2.Block"] = QVariantMap{
        {"Device", nulTerminated(device)},
        {"IdType", type},
        {"IdVersion", version},
        {"Drive", QVariant::fromValue(QDBusObjectPath(drive))},
        {"ReadOnly", false}};
    QList<QByteArray> mps;
    for (const QString& m : mountPoints) mps << nulTerminated(m);
    i["org.freedesktop.UDisks2.Filesystem"] = QVariantMap{{"MountPoints", QVariant::fromValue(mps)}};
    return i;
}

VDLDBusInterfaces drive(bool removable) {
    VDLDBusInterfaces i;
    i["org.freedesktop.UDisks2.Drive"] =
        QVariantMap{{"Removable", removable}, {"MediaRemovable", false}, {"Ejectable", false}, {"CanPowerOff", true}};
    return i;
}

}  // namespace

TEST(MachineDBus, ListsWatchesAndEjectsThroughUDisks) {
    VDLRegisterUDisksTypes();
    PrivateBus bus;
    if (!bus.start()) GTEST_SKIP() << "dbus-daemon is not available";

    QTemporaryDir dir;
    const QString stick = dir.path() + "/STICK", linux = dir.path() + "/LINUX", odd = dir.path() + "/ODD",
                  internal = dir.path() + "/INTERNAL";
    for (const QString& p : {stick, linux, odd, internal}) QDir().mkpath(p);

    auto* mock = new MockUDisks;
    const QString drives = kRoot + "/drives/", blocks = kRoot + "/block_devices/";
    mock->objects[QDBusObjectPath(drives + "Stick")] = drive(true);
    mock->objects[QDBusObjectPath(drives + "Disk")] = drive(false);
    mock->objects[QDBusObjectPath(blocks + "sda1")] = block("/dev/sda1", "vfat", "FAT32", drives + "Disk", {internal});
    mock->objects[QDBusObjectPath(blocks + "sdb1")] = block("/dev/sdb1", "vfat", "FAT32", drives + "Stick", {stick});
    mock->objects[QDBusObjectPath(blocks + "sdb2")] = block("/dev/sdb2", "ext4", "1.0", drives + "Stick", {linux});
    mock->objects[QDBusObjectPath(blocks + "sdb3")] = block("/dev/sdb3", "vfat", "", drives + "Stick", {odd});
    mock->objects[QDBusObjectPath(blocks + "sdb4")] = block("/dev/sdb4", "vfat", "FAT16", drives + "Stick", {});
    mock->objects[QDBusObjectPath(blocks + "loop0")] = block("/dev/loop0", "vfat", "FAT12", "/", {dir.path()});
    mock->failing << "Eject " + drives + "Stick";
    ASSERT_TRUE(bus.serve(mock));

    VDLVolumeLister::Roots roots;
    roots.busAddress = bus.address;
    roots.mountInfo = dir.path() + "/no-mount-table";
    roots.statFileSystem = [](const QString&, VDLFileSystemStats* s) {
        s->freeBytes = 512'000'000ull;
        s->totalBytes = 8'000'000'000ull;
        s->blocks = 1'953'000;
        return true;
    };
    VDLVolumeLister lister(roots);

    QStringList listed;
    for (const VDLVolume& v : lister.removableVolumes()) listed << v.name + "=" + v.fileSystem;
    EXPECT_TRUE(lister.usedUDisks());
    EXPECT_EQ(listed, QStringList({"STICK=MS-DOS (FAT32)", "LINUX=ext4", "ODD=MS-DOS"}));

    const QList<VDLVolume> volumes = lister.volumesForMachine(*VDLMachine::machineWithIdent(1));
    ASSERT_EQ(volumes.size(), 1);
    const VDLVolume& v = volumes.first();
    EXPECT_EQ(v.mountPath, stick);
    EXPECT_EQ(v.device, "/dev/sdb1");
    EXPECT_EQ(v.detail, "MS-DOS (FAT32), 512.0 MB available of 8.0 GB");

    // A medium appearing is reported.
    QSignalSpy changed(&lister, &VDLVolumeLister::volumesChanged);
    lister.startWatching();
    bus.emitInterfacesAdded(blocks + "sdc1");
    EXPECT_TRUE(changed.wait(3000));
    lister.stopWatching();

    // Unmount, then eject; a drive that cannot eject is powered off instead.
    EXPECT_TRUE(lister.ejectVolume(v));
    EXPECT_EQ(mock->calls(), QStringList({"Unmount " + blocks + "sdb1", "Eject " + drives + "Stick",
                                         "PowerOff " + drives + "Stick"}));
    // A busy file system stays mounted: not ejected.
    mock->failing << "Unmount " + blocks + "sdb1";
    QString reason;
    EXPECT_FALSE(lister.ejectVolume(v, &reason));
    EXPECT_EQ(reason, "refused");

    // Another service name does not answer: the mount table (missing here) is used.
    roots.udisksService = "org.example.NoUDisks";
    VDLVolumeLister fallback(roots);
    EXPECT_TRUE(fallback.removableVolumes().isEmpty());
    EXPECT_FALSE(fallback.usedUDisks());
}
