#pragma once
// The application's user defaults: registered defaults plus the values the user changed, kept in
// the preferences file that the plug-ins read ($XDG_CONFIG_HOME/vardelle/vardelle.app.plist).
// A missing, unreadable or corrupt file reads as the registered defaults (with one log line) and
// is only replaced when the user changes a setting. Writes replace the file atomically.
#include <QDateTime>
#include <QObject>
#include <QString>
#include <QVariant>
#include <QVariantMap>

class VDLDefaults : public QObject {
    Q_OBJECT
public:
    // The one store of the process.
    static VDLDefaults& standard();

    // Registered defaults are never written; a key set by the user hides its registered value.
    void registerDefaults(const QVariantMap& defaults);
    QVariant value(const QString& key) const;  // invalid when neither set nor registered
    bool contains(const QString& key) const { return value(key).isValid(); }
    bool boolForKey(const QString& key) const;
    int integerForKey(const QString& key) const;
    float floatForKey(const QString& key) const;
    QString stringForKey(const QString& key) const;
    QByteArray dataForKey(const QString& key) const;
    QDateTime dateForKey(const QString& key) const;  // invalid when absent

    // Stores the value (bool, int, double/float, QString, QByteArray, QDateTime) and writes the
    // file. Returns false (after a log line) when the file could not be written; the value stays
    // in memory for this run.
    bool setValue(const QString& key, const QVariant& value);
    bool removeValue(const QString& key);

    // Re-reads the file (tests; a changed path through XDG_CONFIG_HOME).
    void reload();
    // Forgets the registered defaults too (tests).
    void resetForTesting();

    QString path() const;

signals:
    void valueChanged(const QString& key);

private:
    VDLDefaults();
    bool write();
    QVariantMap registered_;
    QVariantMap user_;
};
