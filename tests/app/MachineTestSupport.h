#pragma once
// A fake machine for the export tests: a mount table, a sysfs tree with fixed and removable
// disks, and statvfs answers per mount point.
#include "VDLVolumes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace machine_test {

inline void writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
}

inline QByteArray mountLine(int id, const QString& mountPoint, const char* fstype, const char* device,
                     const char* options = "rw,nosuid,nodev") {
    QByteArray mp = mountPoint.toLocal8Bit();
    mp.replace(" ", "\\040");
    return QByteArray::number(id) + " 30 8:17 / " + mp + " " + options + " shared:1 - " + fstype + " " + device +
           " rw,fmask=0022\n";
}

// A fake machine: mount table, sysfs tree with one fixed disk (sda) and removable ones, and
// statvfs answers per mount point.
struct FakeSystem {
    QTemporaryDir dir;
    QMap<QString, VDLFileSystemStats> stats;
    QString root() const { return dir.path(); }
    QString mountPoint(const QString& name) const {
        const QString p = dir.path() + "/media/anna/" + name;
        QDir().mkpath(p);
        return p;
    }
    void disk(const QString& name, bool removable, const QStringList& partitions) {
        writeFile(root() + "/sys/block/" + name + "/removable", removable ? "1\n" : "0\n");
        for (const QString& p : partitions) QDir().mkpath(root() + "/sys/block/" + name + "/" + p);
    }
    VDLVolumeLister::Roots roots() {
        VDLVolumeLister::Roots r;
        r.useUDisks = false;
        r.mountInfo = root() + "/mountinfo";
        r.sysfs = root() + "/sys";
        r.statFileSystem = [this](const QString& path, VDLFileSystemStats* s) {
            if (!stats.contains(path)) return false;
            *s = stats.value(path);
            return true;
        };
        return r;
    }
};

inline VDLFileSystemStats fat(quint64 clusters, quint64 freeBytes, quint64 totalBytes) {
    VDLFileSystemStats s;
    s.blocks = clusters;
    s.freeBytes = freeBytes;
    s.totalBytes = totalBytes;
    return s;
}

}  // namespace machine_test
