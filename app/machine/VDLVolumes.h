#pragma once
// The mounted removable media a design can be exported to, and how to eject them.
//
// Listing: UDisks2 on the system D-Bus when it answers (the block devices with a mounted
// file system on a removable drive; "vfat" with IdVersion FAT12/FAT16/FAT32 names the FAT
// variant); otherwise the mount table (/proc/self/mountinfo), /sys/block/*/removable (or a USB
// device path) and statvfs, where the FAT variant follows from the cluster count as the FAT
// specification decides it. Free and total bytes always come from statvfs.
//
// Ejecting: UDisks2 Filesystem.Unmount, then Drive.Eject (or Drive.PowerOff when the drive
// cannot eject). Without UDisks: "udisksctl unmount/power-off", else "eject", when present.
//
// Every root (mount table, sysfs tree, bus and service name, statvfs) can be replaced, so tests
// list a fake mount table, a fake sysfs tree and a mock UDisks2 service on a private bus.
#include <QByteArray>
#include <QDBusConnection>
#include <QDBusObjectPath>
#include <QList>
#include <QMap>
#include <QVariantMap>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QFileSystemWatcher;
class QSocketNotifier;
class QTimer;
class VDLMachine;

// The answer of org.freedesktop.DBus.ObjectManager.GetManagedObjects: a{oa{sa{sv}}}.
using VDLDBusInterfaces = QMap<QString, QVariantMap>;
using VDLDBusObjects = QMap<QDBusObjectPath, VDLDBusInterfaces>;
Q_DECLARE_METATYPE(VDLDBusInterfaces)
Q_DECLARE_METATYPE(VDLDBusObjects)
// Registers the D-Bus types above and aay (mount points); safe to call more than once.
void VDLRegisterUDisksTypes();

struct VDLVolume {
    QString mountPath;    // the mount point, as mounted
    QString name;         // the volume name: the last component of the mount path
    QString fileSystem;   // "MS-DOS (FAT32)", "MS-DOS", "ext4", ...
    QString device;       // "/dev/sdb1"; may be empty
    QString blockObject;  // UDisks2 object of the block device ("" without UDisks)
    QString driveObject;  // UDisks2 object of the drive ("" without UDisks)
    bool removable = false;
    bool writable = false;
    quint64 freeBytes = 0;
    quint64 totalBytes = 0;
    QString detail;       // the detail line of the volume table
};

// What statvfs tells of a mounted file system.
struct VDLFileSystemStats {
    quint64 freeBytes = 0;   // available to the user (f_bavail)
    quint64 totalBytes = 0;
    quint64 blocks = 0;      // f_blocks in units of f_frsize; on FAT the data cluster count
    bool readOnly = false;
};

class VDLVolumeLister : public QObject {
    Q_OBJECT
public:
    struct Roots {
        QString mountInfo = QStringLiteral("/proc/self/mountinfo");
        QString sysfs = QStringLiteral("/sys");
        // UDisks2: used when the bus is connected and the service answers.
        bool useUDisks = true;
        QString busAddress;  // empty: the system bus
        QString udisksService = QStringLiteral("org.freedesktop.UDisks2");
        // Replaces statvfs (tests); answers false when the path cannot be read.
        std::function<bool(const QString& path, VDLFileSystemStats* stats)> statFileSystem;
        // Programs for ejecting without UDisks (tests replace them); empty = not present.
        QString udisksctlProgram = QStringLiteral("udisksctl");
        QString ejectProgram = QStringLiteral("eject");
    };

    explicit VDLVolumeLister(QObject* parent = nullptr);
    VDLVolumeLister(Roots roots, QObject* parent = nullptr);
    ~VDLVolumeLister() override;

    // Every mounted, writable, removable medium, in mount order.
    QList<VDLVolume> removableVolumes();
    // Those a machine reads (its file systems), each with its detail line.
    QList<VDLVolume> volumesForMachine(const VDLMachine& machine);
    // Whether the last listing came from UDisks2.
    bool usedUDisks() const { return usedUDisks_; }

    // Unmounts and ejects the medium. False with a reason when it stays mounted.
    bool ejectVolume(const VDLVolume& volume, QString* reason = nullptr);

    // Starts watching for media being mounted or unmounted; volumesChanged() follows each change.
    void startWatching();
    void stopWatching();

    // "MS-DOS (FAT12)" below 4,085 clusters, "MS-DOS (FAT16)" below 65,525, else "MS-DOS (FAT32)";
    // "MS-DOS" when the count is 0 (unknown).
    static QString fatNameForClusterCount(quint64 clusters);
    // The name of a UDisks2 file system: "vfat" with IdVersion FAT12/16/32 is "MS-DOS (FATnn)",
    // other "vfat"/"msdos" is "MS-DOS"; other types are used as reported.
    static QString fileSystemNameForUDisks(const QString& idType, const QString& idVersion);
    // "N, F GB available of T GB" and its MB forms (decimal units).
    static QString detailLine(const QString& fileSystem, quint64 freeBytes, quint64 totalBytes);
    // statvfs of a real path.
    static bool statvfsFileSystem(const QString& path, VDLFileSystemStats* stats);

signals:
    void volumesChanged();

private slots:
    void scheduleChanged();

private:
    std::optional<QList<VDLVolume>> listFromUDisks();
    QList<VDLVolume> listFromMountTable();
    bool isRemovableBlockDevice(const QString& device) const;
    bool stat(const QString& path, VDLFileSystemStats* stats) const;
    QDBusConnection bus() const;
    bool runTool(const QString& program, const QStringList& arguments, QString* output) const;

    Roots roots_;
    QString busName_;
    bool usedUDisks_ = false;
    bool watching_ = false;
    QFileSystemWatcher* watcher_ = nullptr;
    QSocketNotifier* notifier_ = nullptr;
    QTimer* debounce_ = nullptr;
    int mountInfoFd_ = -1;
};
