#include "VDLDefaults.h"

#include "VDLError.h"
#include "VDLPropertyList.h"
#include "VDLUserDefaults.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>

#include <cstdlib>

namespace {
// Property-list dates count seconds from 2001-01-01 00:00:00 UTC.
constexpr qint64 kPlistEpoch = 978307200;

QVariant fromNode(plist_t node) {
    switch (plist_get_node_type(node)) {
    case PLIST_BOOLEAN: {
        uint8_t b = 0;
        plist_get_bool_val(node, &b);
        return QVariant(b != 0);
    }
    case PLIST_UINT: {
        uint64_t v = 0;
        plist_get_uint_val(node, &v);
        return QVariant(static_cast<qlonglong>(v));
    }
    case PLIST_REAL: {
        double v = 0;
        plist_get_real_val(node, &v);
        return QVariant(v);
    }
    case PLIST_STRING:
        if (auto s = VDLPlistString(node)) return QVariant(QString::fromStdString(*s));
        return {};
    case PLIST_DATA: {
        char* data = nullptr;
        uint64_t length = 0;
        plist_get_data_val(node, &data, &length);
        QByteArray bytes(data, static_cast<qsizetype>(length));
        std::free(data);
        return QVariant(bytes);
    }
    case PLIST_DATE: {
        int32_t sec = 0, usec = 0;
        plist_get_date_val(node, &sec, &usec);
        return QVariant(QDateTime::fromMSecsSinceEpoch((kPlistEpoch + sec) * 1000 + usec / 1000, Qt::UTC));
    }
    default:
        return {};  // arrays and dictionaries are not settings of ours
    }
}

plist_t toNode(const QVariant& v) {
    switch (v.typeId()) {
    case QMetaType::Bool: return plist_new_bool(v.toBool());
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong: return plist_new_uint(static_cast<uint64_t>(v.toLongLong()));
    case QMetaType::Float:
    case QMetaType::Double: return plist_new_real(v.toDouble());
    case QMetaType::QByteArray: {
        const QByteArray b = v.toByteArray();
        return plist_new_data(b.constData(), static_cast<uint64_t>(b.size()));
    }
    case QMetaType::QDateTime: {
        const qint64 ms = v.toDateTime().toMSecsSinceEpoch() - kPlistEpoch * 1000;
        return plist_new_date(static_cast<int32_t>(ms / 1000), static_cast<int32_t>((ms % 1000) * 1000));
    }
    default: return plist_new_string(v.toString().toStdString().c_str());
    }
}
}  // namespace

VDLDefaults& VDLDefaults::standard() {
    static VDLDefaults* defaults = new VDLDefaults;  // lives as long as the process
    return *defaults;
}

VDLDefaults::VDLDefaults() { reload(); }

QString VDLDefaults::path() const { return QString::fromStdString(VDLPreferencesPath()); }

void VDLDefaults::reload() {
    user_.clear();
    const QString file = path();
    if (!QFileInfo::exists(file)) return;
    VDLError error;
    VDLPlist root = VDLReadPlistFile(file.toStdString(), &error, kVDLPreferencesMaxBytes);
    if (!root || plist_get_node_type(root.get()) != PLIST_DICT) {
        qWarning().noquote() << "vardelle: ignoring unreadable preferences file" << file;
        return;
    }
    plist_dict_iter it = nullptr;
    plist_dict_new_iter(root.get(), &it);
    for (;;) {
        char* key = nullptr;
        plist_t node = nullptr;
        plist_dict_next_item(root.get(), it, &key, &node);
        if (!key) break;
        QVariant v = fromNode(node);
        if (v.isValid()) user_.insert(QString::fromUtf8(key), v);
        std::free(key);
    }
    std::free(it);
}

void VDLDefaults::resetForTesting() {
    registered_.clear();
    reload();
}

void VDLDefaults::registerDefaults(const QVariantMap& defaults) {
    for (auto it = defaults.begin(); it != defaults.end(); ++it) registered_.insert(it.key(), it.value());
}

QVariant VDLDefaults::value(const QString& key) const {
    auto it = user_.find(key);
    if (it != user_.end()) return *it;
    return registered_.value(key);
}

bool VDLDefaults::boolForKey(const QString& key) const {
    const QVariant v = value(key);
    if (v.typeId() == QMetaType::QString) {
        const QString s = v.toString().trimmed().toLower();
        return s == "yes" || s == "true" || s.toInt() != 0;
    }
    return v.toBool();
}
int VDLDefaults::integerForKey(const QString& key) const { return static_cast<int>(value(key).toLongLong()); }
float VDLDefaults::floatForKey(const QString& key) const { return value(key).toFloat(); }
QString VDLDefaults::stringForKey(const QString& key) const { return value(key).toString(); }
QByteArray VDLDefaults::dataForKey(const QString& key) const { return value(key).toByteArray(); }
QDateTime VDLDefaults::dateForKey(const QString& key) const {
    const QVariant v = value(key);
    return v.typeId() == QMetaType::QDateTime ? v.toDateTime() : QDateTime();
}

bool VDLDefaults::setValue(const QString& key, const QVariant& v) {
    user_.insert(key, v);
    const bool ok = write();
    emit valueChanged(key);
    return ok;
}

bool VDLDefaults::removeValue(const QString& key) {
    if (!user_.remove(key)) return true;
    const bool ok = write();
    emit valueChanged(key);
    return ok;
}

bool VDLDefaults::write() {
    const QString file = path();
    QDir().mkpath(QFileInfo(file).absolutePath());
    VDLPlist root(plist_new_dict());
    for (auto it = user_.begin(); it != user_.end(); ++it)
        plist_dict_set_item(root.get(), it.key().toUtf8().constData(), toNode(it.value()));
    VDLError error;
    if (!VDLWritePlistFile(file.toStdString(), root.get(), &error)) {
        qWarning().noquote() << "vardelle: could not write the preferences file" << file << "(errno" << error.code << ")";
        return false;
    }
    return true;
}
