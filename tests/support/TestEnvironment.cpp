// SPDX-License-Identifier: MIT
#include "support/TestEnvironment.h"

#include <QDir>
#include <QUuid>

TestEnvironment& TestEnvironment::instance() {
    static TestEnvironment env;
    return env;
}

TestEnvironment::TestEnvironment() : m_dir(QDir::tempPath() + QStringLiteral("/tindralume-test-XXXXXX")) {
    const QString r = m_dir.path();
    for (const char* sub : {"home", "data", "config", "cache", "runtime"})
        QDir(r).mkpath(QString::fromLatin1(sub));
    QFile::setPermissions(r + QStringLiteral("/runtime"),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("HOME", (r + QStringLiteral("/home")).toUtf8());
    qputenv("XDG_DATA_HOME", (r + QStringLiteral("/data")).toUtf8());
    qputenv("XDG_CONFIG_HOME", (r + QStringLiteral("/config")).toUtf8());
    qputenv("XDG_CACHE_HOME", (r + QStringLiteral("/cache")).toUtf8());
    qputenv("XDG_RUNTIME_DIR", (r + QStringLiteral("/runtime")).toUtf8());
}

QString TestEnvironment::dataHome() const {
    return m_dir.path() + QStringLiteral("/data");
}
QString TestEnvironment::configHome() const {
    return m_dir.path() + QStringLiteral("/config");
}

QString TestEnvironment::freshDir(const QString& name) const {
    const QString path =
        m_dir.path() + QStringLiteral("/t/") + name + QLatin1Char('-') + QUuid::createUuid().toString(QUuid::Id128);
    QDir().mkpath(path);
    return path;
}
