// SPDX-License-Identifier: MIT
#pragma once

#include <QMutex>
#include <QSet>
#include <QSettings>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <memory>

// User defaults over an INI file ($XDG_CONFIG_HOME/Tindralume/Tindralume.conf). Registered defaults
// answer for keys the file does not hold and are never written to it. A value in the file longer
// than longestValue characters (only a hand edit makes one) is refused at load: it reads as absent,
// a line says so, and the file keeps it until the setting is written anew.
class UserDefaults {
public:
    static UserDefaults& standard();
    // Tests point the standard defaults at another file; the registered defaults are kept.
    static void setStandardPath(const QString& iniPath);
    static QString defaultPath();

    static constexpr qsizetype longestValue = 64 * 1024;

    explicit UserDefaults(const QString& iniPath);

    void registerDefaults(const QVariantMap& defaults);

    bool objectExists(const QString& key) const;     // stored or registered
    bool persistentExists(const QString& key) const; // stored only
    QVariant object(const QString& key) const;       // stored, else registered, else invalid

    qint64 integer(const QString& key) const; // 0 when absent or not a number
    bool boolean(const QString& key) const;   // false when absent
    QString string(const QString& key) const;
    QStringList stringList(const QString& key) const;

    void setInteger(const QString& key, qint64 value);
    void setBool(const QString& key, bool value);
    void setValue(const QString& key, const QVariant& value);
    void remove(const QString& key);
    void sync();

    QString path() const;

private:
    // Syncs to disk with the file 0600 and its folder 0700; called with the mutex held.
    void writePrivately();

    mutable QMutex m_mutex;
    std::unique_ptr<QSettings> m_settings;
    QVariantMap m_registered;
    QSet<QString> m_refused;
};
