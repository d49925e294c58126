// SPDX-License-Identifier: MIT
#include "platform/UserDefaults.h"

#include "platform/Console.h"
#include "platform/PrivateFiles.h"

#include <QFileInfo>
#include <QStandardPaths>

#include <cmath>
#include <limits>

namespace {
std::unique_ptr<UserDefaults>& standardInstance() {
    static std::unique_ptr<UserDefaults> instance;
    return instance;
}
// A number beyond the integers (1e300, inf) reads as the nearest one; nan as 0. Converting such a
// double to an integer directly is undefined behaviour.
qint64 saturatedInteger(double d) {
    constexpr double kTwoTo63 = 9223372036854775808.0;
    if (std::isnan(d))
        return 0;
    if (d >= kTwoTo63)
        return std::numeric_limits<qint64>::max();
    if (d < -kTwoTo63)
        return std::numeric_limits<qint64>::min();
    return static_cast<qint64>(d);
}
} // namespace

QString UserDefaults::defaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/Tindralume/Tindralume.conf");
}

UserDefaults& UserDefaults::standard() {
    auto& instance = standardInstance();
    if (!instance)
        instance = std::make_unique<UserDefaults>(defaultPath());
    return *instance;
}

void UserDefaults::setStandardPath(const QString& iniPath) {
    auto& instance = standardInstance();
    QVariantMap registered;
    if (instance) {
        QMutexLocker lock(&instance->m_mutex);
        registered = instance->m_registered;
    }
    instance = std::make_unique<UserDefaults>(iniPath);
    instance->m_registered = registered;
}

UserDefaults::UserDefaults(const QString& iniPath)
    : m_settings(std::make_unique<QSettings>(iniPath, QSettings::IniFormat)) {
    for (const QString& key : m_settings->allKeys()) {
        const QVariant value = m_settings->value(key);
        qsizetype length = 0;
        for (const QString& part : value.toStringList())
            length += part.size();
        length = std::max(length, value.toByteArray().size());
        if (length <= longestValue)
            continue;
        m_refused.insert(key);
        consoleLine(QStringLiteral("The setting %1 in %2 is %3 characters long (at most %4 are read): it is ignored")
                        .arg(key, iniPath)
                        .arg(length)
                        .arg(longestValue));
    }
}

void UserDefaults::registerDefaults(const QVariantMap& defaults) {
    QMutexLocker lock(&m_mutex);
    for (auto it = defaults.begin(); it != defaults.end(); ++it)
        m_registered.insert(it.key(), it.value());
}

bool UserDefaults::objectExists(const QString& key) const {
    QMutexLocker lock(&m_mutex);
    return (m_settings->contains(key) && !m_refused.contains(key)) || m_registered.contains(key);
}

bool UserDefaults::persistentExists(const QString& key) const {
    QMutexLocker lock(&m_mutex);
    return m_settings->contains(key) && !m_refused.contains(key);
}

QVariant UserDefaults::object(const QString& key) const {
    QMutexLocker lock(&m_mutex);
    if (m_settings->contains(key) && !m_refused.contains(key))
        return m_settings->value(key);
    return m_registered.value(key);
}

qint64 UserDefaults::integer(const QString& key) const {
    const QVariant v = object(key);
    if (v.typeId() == QMetaType::Bool)
        return v.toBool() ? 1 : 0;
    bool ok = false;
    const QString s = v.toString().trimmed();
    if (s.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return 1;
    const qint64 n = s.toLongLong(&ok);
    if (ok)
        return n;
    const double d = s.toDouble(&ok);
    return ok ? saturatedInteger(d) : 0;
}

bool UserDefaults::boolean(const QString& key) const {
    const QVariant v = object(key);
    if (!v.isValid())
        return false;
    if (v.typeId() == QMetaType::Bool)
        return v.toBool();
    const QString s = v.toString().trimmed().toLower();
    if (s == QLatin1String("true") || s == QLatin1String("yes"))
        return true;
    bool ok = false;
    const double d = s.toDouble(&ok);
    return ok && !std::isnan(d) && d != 0.0;
}

QString UserDefaults::string(const QString& key) const {
    return object(key).toString();
}

QStringList UserDefaults::stringList(const QString& key) const {
    return object(key).toStringList();
}

void UserDefaults::setInteger(const QString& key, qint64 value) {
    setValue(key, value);
}

void UserDefaults::setBool(const QString& key, bool value) {
    setValue(key, value);
}

void UserDefaults::setValue(const QString& key, const QVariant& value) {
    QMutexLocker lock(&m_mutex);
    m_refused.remove(key);
    m_settings->setValue(key, value);
    writePrivately();
}

void UserDefaults::remove(const QString& key) {
    QMutexLocker lock(&m_mutex);
    m_settings->remove(key);
    writePrivately();
}

void UserDefaults::sync() {
    QMutexLocker lock(&m_mutex);
    writePrivately();
}

void UserDefaults::writePrivately() {
    // The file and our folder are the user's alone; folders above it that we create too.
    const QString file = m_settings->fileName();
    const QString folder = QFileInfo(file).absolutePath();
    PrivateFiles::makeFolders(folder);
    PrivateFiles::restrictToOwner(folder);
    // QSettings follows a link there and writes the file it points to.
    if (QString error; !PrivateFiles::replaceLinkWithCopy(file, &error)) {
        consoleLine(QStringLiteral("The settings are not saved: %1").arg(error));
        return;
    }
    m_settings->sync();
    PrivateFiles::restrictToOwner(file);
}

QString UserDefaults::path() const {
    QMutexLocker lock(&m_mutex);
    return m_settings->fileName();
}
