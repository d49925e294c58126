// SPDX-License-Identifier: MIT
// The single-instance guard in this process; the real program's hand-over is in the end-to-end test.
#include "app/SingleInstance.h"
#include "platform/PrivateFiles.h"

#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <atomic>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

TEST(SingleInstance, OneHistoryAndDisplayHasOneOwner) {
    const QString store = TestEnvironment::instance().freshDir(QStringLiteral("single")) + "/Tindralume.sqlite";
    SingleInstance running(store, QStringLiteral(":7.0"));
    ASSERT_EQ(running.claim(), SingleInstance::Role::Running) << qPrintable(running.errorString());

    // The same display under another spelling, and another display or history, each with their owner.
    SingleInstance sameDisplay(store, QStringLiteral(":7"));
    EXPECT_EQ(sameDisplay.socketPath(), running.socketPath());
    SingleInstance otherDisplay(store, QStringLiteral(":8"));
    EXPECT_EQ(otherDisplay.claim(), SingleInstance::Role::Running);
    SingleInstance otherHistory(store + QStringLiteral("-other"), QStringLiteral(":7"));
    EXPECT_EQ(otherHistory.claim(), SingleInstance::Role::Running);

    // The owner holds the lock but cannot answer (its event loop is not running): a later launch gives
    // up after its time limit, with a reason, instead of starting a second owner.
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(sameDisplay.claim(300), SingleInstance::Role::Failed);
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_TRUE(sameDisplay.errorString().contains(QStringLiteral("does not answer")))
        << qPrintable(sameDisplay.errorString());

    const struct {
        const char* given;
        const char* name;
    } displays[] = {{":0", ":0"}, {":0.1", ":0"}, {"host:10.0", "host:10"}, {"[::1]:3.2", "[::1]:3"}, {"", ""}};
    for (const auto& d : displays)
        EXPECT_EQ(SingleInstance::displayName(QString::fromLatin1(d.given)), QString::fromLatin1(d.name)) << d.given;
}

TEST(SingleInstance, LockAndSocketLiveWhereOnlyTheUserCanWrite) {
    // A short root: a socket's path has a length limit.
    QTemporaryDir shortRoot(QDir::tempPath() + QStringLiteral("/tl-XXXXXX"));
    const QString root = shortRoot.path();
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    const QString cacheFolder =
        QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/Tindralume/instance");
    // Without a usable variable the session's usual folder is taken where this user has one.
    const QString fallback = PrivateFiles::isOwnPrivateFolder(SingleInstance::sessionFolder())
                                 ? SingleInstance::sessionFolder()
                                 : cacheFolder;
    const QString privateRuntime = root + "/runtime";
    const QString sharedRuntime = root + "/shared"; // writable by everyone, like /tmp
    QDir().mkpath(privateRuntime);
    QDir().mkpath(sharedRuntime);
    QFile::setPermissions(privateRuntime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ::chmod(QFile::encodeName(sharedRuntime).constData(), 01777);
    const struct {
        const char* what;
        std::optional<QString> runtime; // none: XDG_RUNTIME_DIR unset
        QString folder;
    } cases[] = {{"private runtime folder", privateRuntime, privateRuntime},
                 {"no runtime folder", std::nullopt, fallback},
                 {"runtime folder others can write", sharedRuntime, fallback}};
    const mode_t savedMask = ::umask(0);
    for (const auto& c : cases) {
        if (c.runtime)
            qputenv("XDG_RUNTIME_DIR", QFile::encodeName(*c.runtime));
        else
            qunsetenv("XDG_RUNTIME_DIR");
        SingleInstance instance(root + "/Tindralume.sqlite", QStringLiteral(":9"));
        EXPECT_EQ(QFileInfo(instance.socketPath()).absolutePath(), c.folder) << c.what;
        ASSERT_EQ(instance.claim(), SingleInstance::Role::Running) << c.what << qPrintable(instance.errorString());
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(c.folder).constData(), &st), 0) << c.what;
        EXPECT_EQ(st.st_mode & 0777, 0700u) << c.what;
        ASSERT_EQ(::stat(QFile::encodeName(instance.socketPath().chopped(7) + ".lock").constData(), &st), 0) << c.what;
        EXPECT_EQ(st.st_mode & 0777, 0600u) << c.what;
    }
    ::umask(savedMask);

    // A socket someone else made under the name is not asked anything: the launch fails, saying why.
    if (::geteuid() == 0) {
        const QString store = root + "/planted.sqlite";
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(privateRuntime));
        const QString planted = SingleInstance(store, QStringLiteral(":9")).socketPath();
        QFile(planted).open(QIODevice::WriteOnly);
        ASSERT_EQ(::chown(QFile::encodeName(planted).constData(), 65534, 65534), 0);
        SingleInstance victim(store, QStringLiteral(":9"));
        EXPECT_EQ(victim.claim(), SingleInstance::Role::Failed);
        EXPECT_TRUE(victim.errorString().contains(QStringLiteral("another user"))) << qPrintable(victim.errorString());
    }
    qputenv("XDG_RUNTIME_DIR", savedRuntime);
}

// A link planted for the lock refuses the launch, saying why; one for the socket is replaced. The
// file either points to stays as it was.
TEST(SingleInstance, LinksInPlaceOfTheLockOrSocketAreNotWrittenThrough) {
    QTemporaryDir shortRoot(QDir::tempPath() + QStringLiteral("/tl-XXXXXX"));
    const QString runtime = shortRoot.path() + "/runtime";
    QDir().mkpath(runtime);
    QFile::setPermissions(runtime, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime));
    const QString target = shortRoot.path() + "/someone-elses";
    const struct {
        const char* suffix;
        SingleInstance::Role role;
    } cases[] = {{".lock", SingleInstance::Role::Failed}, {".socket", SingleInstance::Role::Running}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.suffix);
        QFile victim(target);
        ASSERT_TRUE(victim.open(QIODevice::WriteOnly));
        victim.write("kept\n");
        victim.close();
        ::chmod(QFile::encodeName(target).constData(), 0644);
        SingleInstance instance(shortRoot.path() + "/Tindralume.sqlite", QStringLiteral(":9"));
        const QString planted = instance.socketPath().chopped(7) + QLatin1String(c.suffix);
        ASSERT_TRUE(QFile::link(target, planted));
        EXPECT_EQ(instance.claim(300), c.role) << qPrintable(instance.errorString());
        if (c.role == SingleInstance::Role::Failed)
            EXPECT_TRUE(instance.errorString().contains(QStringLiteral("symbolic link")))
                << qPrintable(instance.errorString());
        else
            EXPECT_FALSE(QFileInfo(planted).isSymLink());
        ASSERT_TRUE(victim.open(QIODevice::ReadOnly));
        EXPECT_EQ(victim.readAll(), QByteArray("kept\n"));
        victim.close();
        struct stat st {};
        ASSERT_EQ(::stat(QFile::encodeName(target).constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0644u);
        QFile::remove(planted);
    }
    qputenv("XDG_RUNTIME_DIR", savedRuntime);
}

TEST(SingleInstance, EachRequestReachesTheRunningOneAsItsOwn) {
    const QString store = TestEnvironment::instance().freshDir(QStringLiteral("requests")) + "/Tindralume.sqlite";
    SingleInstance running(store, QStringLiteral(":9"));
    ASSERT_EQ(running.claim(), SingleInstance::Role::Running) << qPrintable(running.errorString());
    int shows = 0, settings = 0;
    QObject::connect(&running, &SingleInstance::activationRequested, [&] { ++shows; });
    QObject::connect(&running, &SingleInstance::settingsRequested, [&] { ++settings; });

    const struct {
        SingleInstance::Request request;
        int shows, settings;
    } rows[] = {{SingleInstance::Request::ShowPanel, 1, 0},
                {SingleInstance::Request::OpenSettings, 0, 1},
                {SingleInstance::Request::StayQuiet, 0, 0}};
    for (const auto& row : rows) {
        shows = settings = 0;
        // The later launch waits for its answer; the running one answers from its event loop.
        std::atomic<int> role{-1};
        std::thread later([&] {
            SingleInstance other(store, QStringLiteral(":9"));
            role = int(other.claim(10000, row.request));
        });
        while (role == -1)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        later.join();
        EXPECT_EQ(role, int(SingleInstance::Role::HandedOver)) << int(row.request);
        EXPECT_EQ(shows, row.shows) << int(row.request);
        EXPECT_EQ(settings, row.settings) << int(row.request);
    }
}
