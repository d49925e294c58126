// SPDX-License-Identifier: MIT
// Files of the user's that decide what runs or how: private whatever the umask; the login entry
// starts the program a login can still find.
#include "platform/PrivateFiles.h"
#include "platform/LoginItem.h"
#include "platform/UserDefaults.h"

#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <functional>

#include <sys/stat.h>

namespace {

unsigned modeOf(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0xffff;
}

// Sets an environment variable for the scope and restores it.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QByteArray& value) : m_name(name), m_had(qEnvironmentVariableIsSet(name)) {
        m_old = qgetenv(name);
        qputenv(name, value);
    }
    ~ScopedEnv() { m_had ? qputenv(m_name, m_old) : qunsetenv(m_name); }

private:
    const char* m_name;
    bool m_had;
    QByteArray m_old;
};

void writeFile(const QString& path, const QByteArray& bytes, QFile::Permissions perms = {}) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    f.close();
    if (perms)
        f.setPermissions(perms);
}

} // namespace

TEST(PrivateFiles, SettingsAndLoginEntryAreTheUsersAloneUnderAnOpenUmask) {
    const QString config = TestEnvironment::instance().freshDir(QStringLiteral("open-umask")) + "/config";
    const ScopedEnv configHome("XDG_CONFIG_HOME", QFile::encodeName(config));
    const mode_t saved = ::umask(0);
    UserDefaults defaults(config + "/Tindralume/Tindralume.conf");
    defaults.setInteger(QStringLiteral("historyRetentionDays"), 7);
    QString error;
    const QString program = TestEnvironment::instance().freshDir(QStringLiteral("program")) + "/tindralume";
    QFile::copy(QStringLiteral("/bin/true"), program);
    const bool registered = LoginItem::registerItem(&error, program);
    ::umask(saved);
    ASSERT_TRUE(registered) << error.toStdString();
    EXPECT_EQ(LoginItem::entryPath(), config + "/autostart/tindralume.desktop");

    const struct {
        QString path;
        unsigned mode;
    } expected[] = {{config, 0700},
                    {config + "/Tindralume", 0700},
                    {config + "/Tindralume/Tindralume.conf", 0600},
                    {config + "/autostart", 0700},
                    {config + "/autostart/tindralume.desktop", 0600}};
    for (const auto& e : expected)
        EXPECT_EQ(modeOf(e.path), e.mode) << qPrintable(e.path);
    // The entry says it starts the application at login.
    EXPECT_EQ(LoginItem::execArguments(LoginItem::entryPath()), (QStringList{program, QStringLiteral("--autostart")}));

    // A settings folder an older version left open to others is closed again on the next write.
    QFile::setPermissions(config + "/Tindralume", QFile::Permissions(0x7777));
    defaults.setInteger(QStringLiteral("historyRetentionDays"), 30);
    EXPECT_EQ(modeOf(config + "/Tindralume"), 0700u);
}

// Only a folder of the user's that nobody else may write to is trusted; restricting takes every
// group and other bit away, from files and folders alike, and leaves a symbolic link's target alone.
TEST(PrivateFiles, TrustAndRestrictionLookAtGroupAndOthersAlike) {
    const QString root = TestEnvironment::instance().freshDir(QStringLiteral("private-modes"));
    const QString open = root + "/open";
    ASSERT_TRUE(QDir().mkdir(open));
    const struct {
        const char* name;
        bool folder;
        mode_t mode;
        bool trusted;
        unsigned restricted;
    } cases[] = {
        {"private folder", true, 0700, true, 0700},
        {"folder others may read", true, 0755, true, 0700},
        {"folder the group may read", true, 0750, true, 0700},
        {"folder the group may write", true, 0770, false, 0700},
        {"file the group may read", false, 0640, false, 0600},
    };
    for (const auto& c : cases) {
        const QString path = root + QLatin1Char('/') + QString::fromLatin1(c.name);
        if (c.folder)
            ASSERT_TRUE(QDir().mkdir(path));
        else
            writeFile(path, "x");
        ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), c.mode), 0);
        EXPECT_EQ(PrivateFiles::isOwnPrivateFolder(path), c.trusted) << c.name;
        PrivateFiles::restrictToOwner(path);
        EXPECT_EQ(modeOf(path), c.restricted) << c.name;
    }
    ASSERT_EQ(::chmod(QFile::encodeName(open).constData(), 0700), 0);
    ASSERT_TRUE(QFile::link(open, root + "/link"));
    EXPECT_FALSE(PrivateFiles::isOwnPrivateFolder(root + "/link"));
    ASSERT_EQ(::chmod(QFile::encodeName(open).constData(), 0777), 0);
    PrivateFiles::restrictToOwner(root + "/link");
    EXPECT_EQ(modeOf(open), 0777u);
}

TEST(LoginItem, EntryStartsTheInstalledProgramWhenThatIsTheRunningOne) {
    const QString root = TestEnvironment::instance().freshDir(QStringLiteral("installed"));
    const QString build = root + "/build/src/app/tindralume";
    const QString prefix = root + "/usr";
    const QString installed = prefix + "/bin/tindralume";
    const QString linked = root + "/links/tindralume"; // a PATH entry that links to the installed program
    writeFile(build, "#!/bin/true\n", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    writeFile(installed, "#!/bin/true\n", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QDir().mkpath(root + "/links");
    ASSERT_TRUE(QFile::link(installed, linked));
    const ScopedEnv dataDirs("XDG_DATA_DIRS", QFile::encodeName(prefix + "/share"));
    const ScopedEnv path("PATH", QFile::encodeName(root + "/links:/usr/bin:/bin"));
    const QString entry = prefix + "/share/applications/tindralume.desktop";

    const struct {
        const char* what;
        QByteArray exec; // the installed entry's Exec; empty: none installed
        QString running;
        QString expected;
    } cases[] = {
        {"nothing installed", {}, build, build},
        {"running the installed program", QFile::encodeName(installed), installed, installed},
        {"running the build while another is installed", QFile::encodeName(installed), build, build},
        {"installed by name on the PATH", "tindralume", installed, linked},
        {"by name, no such program", "tindralume-missing", installed, installed},
    };
    for (const auto& c : cases) {
        QFile::remove(entry);
        if (!c.exec.isEmpty())
            writeFile(entry, "[Desktop Entry]\nType=Application\nName=Tindralume\nExec=" + c.exec + "\n");
        EXPECT_EQ(LoginItem::programForLogin(c.running), c.expected) << c.what;
    }
}

// A symbolic link at a path the application writes is replaced by a file of its own, or removed;
// the file it points to (or the absence of one) stays exactly as it was.
TEST(PrivateFiles, ALinkInPlaceOfAWrittenFileIsReplacedNeverWrittenThrough) {
    const QString root = TestEnvironment::instance().freshDir(QStringLiteral("planted-links"));
    const QString config = root + "/config";
    const ScopedEnv configHome("XDG_CONFIG_HOME", QFile::encodeName(config));
    const QString program = root + "/tindralume";
    QFile::copy(QStringLiteral("/bin/true"), program);
    const QString settings = config + "/Tindralume/Tindralume.conf";
    const QString entry = LoginItem::entryPath();
    QString error;
    const std::function<bool()> turnOn = [&] { return LoginItem::registerItem(&error, program); };
    const std::function<bool()> turnOff = [&] { return LoginItem::unregisterItem(&error); };
    const std::function<bool()> save = [&] {
        UserDefaults(settings).setInteger(QStringLiteral("historyRetentionDays"), 7);
        return true;
    };
    const QByteArray other = "[General]\nforceEnglish=true\n";
    const struct {
        const char* what;
        QString path;
        QByteArray target; // the link target's contents; empty: the link points nowhere
        std::function<bool()> write;
        QByteArray expected; // held by the path afterwards; empty: nothing is left there
    } cases[] = {
        {"login entry turned on", entry, other, turnOn, "\" --autostart"},
        {"login entry turned on, dangling link", entry, {}, turnOn, "\" --autostart"},
        {"login entry turned off", entry, other, turnOff, {}},
        {"login entry turned off, dangling link", entry, {}, turnOff, {}},
        // The settings the link led to are kept in the file that replaces it.
        {"settings file", settings, other, save, "forceEnglish=true\nhistoryRetentionDays=7"},
        {"settings file, dangling link", settings, {}, save, "historyRetentionDays=7"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const QString target = root + "/target";
        QFile::remove(target);
        if (!c.target.isEmpty())
            writeFile(target, c.target, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
        QDir().mkpath(QFileInfo(c.path).absolutePath());
        QFile::remove(c.path);
        ASSERT_TRUE(QFile::link(target, c.path));

        EXPECT_TRUE(c.write()) << error.toStdString();
        if (c.target.isEmpty()) {
            EXPECT_FALSE(QFileInfo::exists(target));
        } else {
            QFile kept(target);
            ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
            EXPECT_EQ(kept.readAll(), c.target);
            EXPECT_EQ(modeOf(target), 0644u);
        }
        EXPECT_FALSE(QFileInfo(c.path).isSymLink());
        if (c.expected.isEmpty()) {
            EXPECT_FALSE(QFileInfo::exists(c.path));
            continue;
        }
        EXPECT_EQ(modeOf(c.path), 0600u);
        QFile written(c.path);
        ASSERT_TRUE(written.open(QIODevice::ReadOnly));
        EXPECT_TRUE(written.readAll().contains(c.expected));
    }
}
