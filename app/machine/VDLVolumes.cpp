#include "VDLVolumes.h"

#include "VDLFormat.h"
#include "VDLLocalization.h"
#include "VDLMachine.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QProcess>
#include <QSocketNotifier>
#include <QStandardPaths>
#include <QTimer>
#include <QDebug>

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

const char* const kUDisksPath = "/org/freedesktop/UDisks2";
const char* const kBlock = "org.freedesktop.UDisks2.Block";
const char* const kFilesystem = "org.freedesktop.UDisks2.Filesystem";
const char* const kDrive = "org.freedesktop.UDisks2.Drive";
constexpr int kListTimeoutMs = 3000;
constexpr int kEjectTimeoutMs = 60000;

// UDisks strings of bytes end in a NUL.
QString bytesToPath(QByteArray b) {
    while (b.endsWith('\0')) b.chop(1);
    return QString::fromLocal8Bit(b);
}

QList<QByteArray> byteArrays(const QVariant& v) {
    if (v.canConvert<QDBusArgument>()) return qdbus_cast<QList<QByteArray>>(v.value<QDBusArgument>());
    return v.value<QList<QByteArray>>();
}

QString objectPath(const QVariant& v) {
    if (v.canConvert<QDBusArgument>()) return qdbus_cast<QDBusObjectPath>(v.value<QDBusArgument>()).path();
    return v.value<QDBusObjectPath>().path();
}

// The mount table escapes blanks, tabs, new lines and backslashes as octal.
QString unescapeMountField(const QByteArray& field) {
    QByteArray out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const QByteArray oct = field.mid(i + 1, 3);
            bool ok = false;
            const int c = oct.toInt(&ok, 8);
            if (ok && oct.size() == 3) {
                out.append(char(c));
                i += 3;
                continue;
            }
        }
        out.append(field[i]);
    }
    return QString::fromLocal8Bit(out);
}

QString volumeNameOf(const QString& mountPath) {
    const QString name = QFileInfo(mountPath).fileName();
    return name.isEmpty() ? mountPath : name;
}

bool hasReadOnlyOption(const QByteArray& options) {
    return options.split(',').contains("ro");
}

}  // namespace

void VDLRegisterUDisksTypes() {
    static const bool done = [] {
        qDBusRegisterMetaType<QList<QByteArray>>();
        qDBusRegisterMetaType<VDLDBusInterfaces>();
        qDBusRegisterMetaType<VDLDBusObjects>();
        return true;
    }();
    (void)done;
}

VDLVolumeLister::VDLVolumeLister(QObject* parent) : VDLVolumeLister(Roots(), parent) {}

VDLVolumeLister::VDLVolumeLister(Roots roots, QObject* parent) : QObject(parent), roots_(std::move(roots)) {
    VDLRegisterUDisksTypes();
    if (roots_.useUDisks && !roots_.busAddress.isEmpty()) {
        busName_ = QStringLiteral("vardelle-volumes-%1").arg(quintptr(this), 0, 16);
        QDBusConnection::connectToBus(roots_.busAddress, busName_);
    }
}

VDLVolumeLister::~VDLVolumeLister() {
    stopWatching();
    if (!busName_.isEmpty()) QDBusConnection::disconnectFromBus(busName_);
}

QDBusConnection VDLVolumeLister::bus() const {
    return busName_.isEmpty() ? QDBusConnection::systemBus() : QDBusConnection(busName_);
}

QString VDLVolumeLister::fatNameForClusterCount(quint64 clusters) {
    if (clusters == 0) return QStringLiteral("MS-DOS");
    if (clusters < 4085) return QStringLiteral("MS-DOS (FAT12)");
    if (clusters < 65525) return QStringLiteral("MS-DOS (FAT16)");
    return QStringLiteral("MS-DOS (FAT32)");
}

QString VDLVolumeLister::fileSystemNameForUDisks(const QString& idType, const QString& idVersion) {
    if (idType == QLatin1String("vfat") || idType == QLatin1String("msdos")) {
        if (idVersion == QLatin1String("FAT12") || idVersion == QLatin1String("FAT16") ||
            idVersion == QLatin1String("FAT32"))
            return QStringLiteral("MS-DOS (%1)").arg(idVersion);
        return QStringLiteral("MS-DOS");
    }
    return idType;
}

QString VDLVolumeLister::detailLine(const QString& fileSystem, quint64 freeBytes, quint64 totalBytes) {
    const std::string n = fileSystem.toUpper().toStdString();
    const std::string l = VDLLocalizedString("EXPORT_AVAIL", "VDLDocument", "available of");
    const double f = double(freeBytes), t = double(totalBytes);
    std::string text;
    if (f > 1e9 && t > 1e9)
        text = VDLFormat("%@, %1.1f GB %@ %1.1f GB", n, f / 1e9, l, t / 1e9);
    else if (t > 1e9)
        text = VDLFormat("%@, %1.1f MB %@ %1.1f GB", n, f / 1e6, l, t / 1e9);
    else
        text = VDLFormat("%@, %1.1f MB %@ %1.1f MB", n, f / 1e6, l, t / 1e6);
    return QString::fromStdString(text);
}

bool VDLVolumeLister::statvfsFileSystem(const QString& path, VDLFileSystemStats* stats) {
    struct statvfs s {};
    if (::statvfs(QFile::encodeName(path).constData(), &s) != 0) return false;
    const quint64 unit = s.f_frsize ? s.f_frsize : s.f_bsize;
    stats->freeBytes = quint64(s.f_bavail) * unit;
    stats->totalBytes = quint64(s.f_blocks) * unit;
    stats->blocks = quint64(s.f_blocks);
    stats->readOnly = (s.f_flag & ST_RDONLY) != 0;
    return true;
}

bool VDLVolumeLister::stat(const QString& path, VDLFileSystemStats* stats) const {
    return roots_.statFileSystem ? roots_.statFileSystem(path, stats) : statvfsFileSystem(path, stats);
}

QList<VDLVolume> VDLVolumeLister::removableVolumes() {
    if (roots_.useUDisks) {
        if (auto list = listFromUDisks()) {
            usedUDisks_ = true;
            return *list;
        }
    }
    usedUDisks_ = false;
    return listFromMountTable();
}

QList<VDLVolume> VDLVolumeLister::volumesForMachine(const VDLMachine& machine) {
    QList<VDLVolume> out;
    for (VDLVolume& v : removableVolumes()) {
        if (!machine.allowsFileSystem(v.fileSystem.toStdString())) continue;
        v.detail = detailLine(v.fileSystem, v.freeBytes, v.totalBytes);
        out.append(v);
    }
    return out;
}

std::optional<QList<VDLVolume>> VDLVolumeLister::listFromUDisks() {
    QDBusConnection b = bus();
    if (!b.isConnected()) return std::nullopt;
    QDBusMessage call = QDBusMessage::createMethodCall(roots_.udisksService, kUDisksPath,
                                                       QStringLiteral("org.freedesktop.DBus.ObjectManager"),
                                                       QStringLiteral("GetManagedObjects"));
    const QDBusMessage reply = b.call(call, QDBus::Block, kListTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return std::nullopt;
    const QVariant arg = reply.arguments().first();
    if (!arg.canConvert<QDBusArgument>()) return std::nullopt;
    const VDLDBusObjects objects = qdbus_cast<VDLDBusObjects>(arg.value<QDBusArgument>());

    QList<VDLVolume> out;
    for (auto it = objects.cbegin(); it != objects.cend(); ++it) {
        const VDLDBusInterfaces& ifaces = it.value();
        if (!ifaces.contains(kBlock) || !ifaces.contains(kFilesystem)) continue;
        const QVariantMap block = ifaces.value(kBlock);
        const QVariantMap fs = ifaces.value(kFilesystem);
        const QString drivePath = objectPath(block.value("Drive"));
        if (drivePath.isEmpty() || drivePath == QLatin1String("/")) continue;
        const QVariantMap drive = objects.value(QDBusObjectPath(drivePath)).value(kDrive);
        const bool removable = drive.value("Removable").toBool() || drive.value("MediaRemovable").toBool() ||
                               drive.value("Ejectable").toBool();
        if (!removable) continue;
        const QString name = fileSystemNameForUDisks(block.value("IdType").toString(),
                                                     block.value("IdVersion").toString());
        const QString device = bytesToPath(block.value("PreferredDevice").toByteArray()).isEmpty()
                                   ? bytesToPath(block.value("Device").toByteArray())
                                   : bytesToPath(block.value("PreferredDevice").toByteArray());
        for (const QByteArray& mp : byteArrays(fs.value("MountPoints"))) {
            VDLVolume v;
            v.mountPath = bytesToPath(mp);
            if (v.mountPath.isEmpty()) continue;
            v.name = volumeNameOf(v.mountPath);
            v.fileSystem = name;
            v.device = device;
            v.blockObject = it.key().path();
            v.driveObject = drivePath;
            v.removable = true;
            VDLFileSystemStats st;
            if (!stat(v.mountPath, &st)) continue;
            v.freeBytes = st.freeBytes;
            v.totalBytes = st.totalBytes;
            v.writable = !block.value("ReadOnly").toBool() && !st.readOnly && QFileInfo(v.mountPath).isWritable();
            if (v.writable) out.append(v);
        }
    }
    return out;
}

bool VDLVolumeLister::isRemovableBlockDevice(const QString& device) const {
    if (!device.startsWith(QLatin1String("/dev/"))) return false;
    QString name = QFileInfo(device).fileName();
    const QFileInfo devInfo(device);
    if (devInfo.isSymLink()) name = QFileInfo(devInfo.canonicalFilePath()).fileName();
    if (name.isEmpty()) return false;
    const QString blockRoot = roots_.sysfs + "/block";
    QString disk;
    if (QFileInfo::exists(blockRoot + "/" + name)) {
        disk = name;
    } else {
        const QStringList disks = QDir(blockRoot).entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System);
        for (const QString& d : disks)
            if (QFileInfo::exists(blockRoot + "/" + d + "/" + name)) {
                disk = d;
                break;
            }
    }
    if (disk.isEmpty()) return false;
    QFile f(blockRoot + "/" + disk + "/removable");
    if (f.open(QIODevice::ReadOnly) && f.readAll().trimmed() == "1") return true;
    // USB sticks that do not set the removable bit still hang below a USB port.
    const QString real = QFileInfo(blockRoot + "/" + disk).canonicalFilePath();
    return real.contains(QLatin1String("/usb"));
}

QList<VDLVolume> VDLVolumeLister::listFromMountTable() {
    QList<VDLVolume> out;
    QFile f(roots_.mountInfo);
    if (!f.open(QIODevice::ReadOnly)) return out;
    const QList<QByteArray> lines = f.readAll().split('\n');
    for (const QByteArray& line : lines) {
        const QList<QByteArray> fields = line.split(' ');
        // id parent major:minor root mountpoint options [optional...] - fstype source superoptions
        const qsizetype dash = fields.indexOf("-");
        if (fields.size() < 6 || dash < 6 || dash + 2 >= fields.size()) continue;
        const QByteArray fstype = fields[dash + 1];
        const QString source = unescapeMountField(fields[dash + 2]);
        const QByteArray superOptions = dash + 3 < fields.size() ? fields[dash + 3] : QByteArray();
        if (!isRemovableBlockDevice(source)) continue;
        VDLVolume v;
        v.mountPath = unescapeMountField(fields[4]);
        v.name = volumeNameOf(v.mountPath);
        v.device = source;
        v.removable = true;
        VDLFileSystemStats st;
        const bool haveStats = stat(v.mountPath, &st);
        if (!haveStats) continue;
        if (fstype == "vfat" || fstype == "msdos")
            v.fileSystem = fatNameForClusterCount(st.blocks);
        else
            v.fileSystem = QString::fromLocal8Bit(fstype);
        v.freeBytes = st.freeBytes;
        v.totalBytes = st.totalBytes;
        v.writable = !hasReadOnlyOption(fields[5]) && !hasReadOnlyOption(superOptions) && !st.readOnly &&
                     QFileInfo(v.mountPath).isWritable();
        if (v.writable) out.append(v);
    }
    return out;
}

bool VDLVolumeLister::runTool(const QString& program, const QStringList& arguments, QString* output) const {
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(program, arguments);
    if (!p.waitForStarted(5000)) {
        if (output) *output = p.errorString();
        return false;
    }
    const bool finished = p.waitForFinished(kEjectTimeoutMs);
    if (output) *output = QString::fromLocal8Bit(p.readAll()).trimmed();
    if (!finished) {
        p.kill();
        p.waitForFinished(1000);
        return false;
    }
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

bool VDLVolumeLister::ejectVolume(const VDLVolume& volume, QString* reason) {
    auto fail = [&](const QString& why) {
        if (reason) *reason = why;
        qWarning().noquote() << "vardelle: not ejected:" << volume.mountPath << why;
        return false;
    };
    if (!volume.blockObject.isEmpty()) {
        QDBusConnection b = bus();
        const QVariantMap noOptions;
        QDBusMessage unmount = QDBusMessage::createMethodCall(roots_.udisksService, volume.blockObject,
                                                              kFilesystem, QStringLiteral("Unmount"));
        unmount << noOptions;
        const QDBusMessage r = b.call(unmount, QDBus::Block, kEjectTimeoutMs);
        if (r.type() != QDBusMessage::ReplyMessage) return fail(r.errorMessage());
        if (!volume.driveObject.isEmpty()) {
            QDBusMessage eject = QDBusMessage::createMethodCall(roots_.udisksService, volume.driveObject, kDrive,
                                                                QStringLiteral("Eject"));
            eject << noOptions;
            QDBusMessage er = b.call(eject, QDBus::Block, kEjectTimeoutMs);
            if (er.type() != QDBusMessage::ReplyMessage) {
                QDBusMessage off = QDBusMessage::createMethodCall(roots_.udisksService, volume.driveObject, kDrive,
                                                                  QStringLiteral("PowerOff"));
                off << noOptions;
                const QDBusMessage pr = b.call(off, QDBus::Block, kEjectTimeoutMs);
                // Unmounted is safe to pull out; the drive merely stays powered.
                if (pr.type() != QDBusMessage::ReplyMessage)
                    qWarning().noquote() << "vardelle: unmounted, but the drive did not eject:" << er.errorMessage();
            }
        }
        return true;
    }
    if (volume.device.isEmpty()) return fail(QStringLiteral("no device"));
    QString out;
    const QString udisksctl = roots_.udisksctlProgram.isEmpty()
                                  ? QString()
                                  : QStandardPaths::findExecutable(roots_.udisksctlProgram);
    if (!udisksctl.isEmpty() && runTool(udisksctl, {"unmount", "-b", volume.device}, &out)) {
        if (!runTool(udisksctl, {"power-off", "-b", volume.device}, &out))
            qWarning().noquote() << "vardelle: unmounted, but the drive did not power off:" << out;
        return true;
    }
    const QString eject = roots_.ejectProgram.isEmpty() ? QString() : QStandardPaths::findExecutable(roots_.ejectProgram);
    if (!eject.isEmpty()) {
        if (runTool(eject, {volume.device}, &out)) return true;
        return fail(out);
    }
    return fail(udisksctl.isEmpty() ? QStringLiteral("neither udisksctl nor eject is installed") : out);
}

void VDLVolumeLister::startWatching() {
    if (watching_) return;
    watching_ = true;
    if (!debounce_) {
        debounce_ = new QTimer(this);
        debounce_->setSingleShot(true);
        debounce_->setInterval(100);
        connect(debounce_, &QTimer::timeout, this, &VDLVolumeLister::volumesChanged);
    }
    auto changed = [this] { scheduleChanged(); };

    // The mount table: regular files (tests) report through the watcher; the kernel's table
    // signals a change by POLLPRI and must be read again to re-arm.
    watcher_ = new QFileSystemWatcher(this);
    watcher_->addPath(roots_.mountInfo);
    connect(watcher_, &QFileSystemWatcher::fileChanged, this, [this, changed](const QString& path) {
        if (!watcher_->files().contains(path)) watcher_->addPath(path);  // replaced, not rewritten
        changed();
    });
    mountInfoFd_ = ::open(QFile::encodeName(roots_.mountInfo).constData(), O_RDONLY | O_CLOEXEC);
    if (mountInfoFd_ >= 0 && roots_.mountInfo.startsWith(QLatin1String("/proc/"))) {
        notifier_ = new QSocketNotifier(qintptr(mountInfoFd_), QSocketNotifier::Exception, this);
        connect(notifier_, &QSocketNotifier::activated, this, [this, changed] {
            char buf[4096];
            ::lseek(mountInfoFd_, 0, SEEK_SET);
            while (::read(mountInfoFd_, buf, sizeof buf) > 0) {
            }
            changed();
        });
    }
    if (roots_.useUDisks) {
        QDBusConnection b = bus();
        if (b.isConnected()) {
            const QString om = QStringLiteral("org.freedesktop.DBus.ObjectManager");
            b.connect(roots_.udisksService, kUDisksPath, om, QStringLiteral("InterfacesAdded"), this,
                      SLOT(scheduleChanged()));
            b.connect(roots_.udisksService, kUDisksPath, om, QStringLiteral("InterfacesRemoved"), this,
                      SLOT(scheduleChanged()));
            b.connect(roots_.udisksService, QString(), QStringLiteral("org.freedesktop.DBus.Properties"),
                      QStringLiteral("PropertiesChanged"), this, SLOT(scheduleChanged()));
        }
    }
}

void VDLVolumeLister::stopWatching() {
    if (!watching_) return;
    watching_ = false;
    if (roots_.useUDisks) {
        QDBusConnection b = bus();
        if (b.isConnected()) {
            const QString om = QStringLiteral("org.freedesktop.DBus.ObjectManager");
            b.disconnect(roots_.udisksService, kUDisksPath, om, QStringLiteral("InterfacesAdded"), this,
                         SLOT(scheduleChanged()));
            b.disconnect(roots_.udisksService, kUDisksPath, om, QStringLiteral("InterfacesRemoved"), this,
                         SLOT(scheduleChanged()));
            b.disconnect(roots_.udisksService, QString(), QStringLiteral("org.freedesktop.DBus.Properties"),
                         QStringLiteral("PropertiesChanged"), this, SLOT(scheduleChanged()));
        }
    }
    delete notifier_;
    notifier_ = nullptr;
    if (mountInfoFd_ >= 0) ::close(mountInfoFd_);
    mountInfoFd_ = -1;
    delete watcher_;
    watcher_ = nullptr;
    if (debounce_) debounce_->stop();
}

void VDLVolumeLister::scheduleChanged() {
    if (watching_ && debounce_) debounce_->start();
}
