// SPDX-License-Identifier: MIT
// The workspace against a real X server: first without a window manager (input focus), then with
// openbox (_NET_ACTIVE_WINDOW), with desktop entries installed into this process's XDG data dir.
#include "platform/x11/X11Workspace.h"
#include "support/TestEnvironment.h"
#include "support/XvfbSession.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <QWidget>
#include <QtConcurrent>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

QString applicationsDir() {
    return TestEnvironment::instance().dataHome() + QStringLiteral("/applications");
}

void installEntry(const QString& fileName, const QByteArray& body) {
    QDir().mkpath(applicationsDir());
    QFile f(applicationsDir() + QLatin1Char('/') + fileName);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[Desktop Entry]\nType=Application\n" + body);
}

QString writeIcon(int size) {
    const QString path = TestEnvironment::instance().freshDir(QStringLiteral("icon")) + QStringLiteral("/icon.png");
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::magenta);
    image.save(path, "PNG");
    return path;
}

TEST(X11WorkspaceTest, NothingInFrontOnABareServer) {
    X11Workspace workspace;
    EXPECT_FALSE(workspace.frontmostApplication());
    EXPECT_FALSE(workspace.applicationPath(QStringLiteral("nothing")));
    EXPECT_TRUE(workspace.iconForFile(QStringLiteral("/nonexistent/app.desktop")).isNull());
}

TEST(X11WorkspaceTest, InputFocusClimbsToTheClientWindowWithoutWindowManager) {
    X11Workspace workspace;
    QWidget top;
    top.resize(200, 100);
    auto* child = new QWidget(&top);
    child->setAttribute(Qt::WA_NativeWindow); // an X window of its own
    child->setGeometry(10, 10, 50, 50);
    top.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&top, 20000));
    ASSERT_NE(child->winId(), top.winId());
    // Qt names every window it creates; an inner window of a toolkit usually has no WM_CLASS.
    ASSERT_EQ(XvfbSession::runClient(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(child->winId()),
                                                               QStringLiteral("-remove"), QStringLiteral("WM_CLASS")}),
              0);

    ASSERT_EQ(
        XvfbSession::runClient(QStringLiteral("xdotool"), {QStringLiteral("windowfocus"), QStringLiteral("--sync"),
                                                           QString::number(child->winId())}),
        0);
    const auto info = workspace.activeWindowInfo();
    ASSERT_TRUE(info);
    EXPECT_EQ(info->window, top.winId());
    EXPECT_EQ(info->wmInstance, QFileInfo(QCoreApplication::applicationFilePath()).fileName());
    EXPECT_EQ(info->wmClass, QCoreApplication::applicationName());
    EXPECT_EQ(info->pid, ::getpid());
    EXPECT_EQ(info->exePath, QCoreApplication::applicationFilePath());

    // No desktop entry: the class names the application.
    auto app = workspace.frontmostApplication();
    ASSERT_TRUE(app);
    EXPECT_EQ(app->bundleIdentifier, info->wmClass);
    EXPECT_EQ(app->localizedName, info->wmClass);
    EXPECT_EQ(app->processId, ::getpid());
    ASSERT_TRUE(workspace.applicationPath(app->bundleIdentifier));

    // With an entry whose Exec names our executable, the entry gives id, name and icon.
    const QString icon = writeIcon(96);
    installEntry(QStringLiteral("org.example.WorkspaceProbe.desktop"),
                 "Name=Workspace Probe\nExec=" + QCoreApplication::applicationFilePath().toUtf8() +
                     " --probe\nIcon=" + icon.toUtf8() + "\n");
    app = workspace.frontmostApplication();
    ASSERT_TRUE(app);
    EXPECT_EQ(app->bundleIdentifier, QStringLiteral("org.example.WorkspaceProbe"));
    EXPECT_EQ(app->localizedName, QStringLiteral("Workspace Probe"));
    const auto path = workspace.applicationPath(app->bundleIdentifier);
    ASSERT_TRUE(path);
    EXPECT_TRUE(path->endsWith(QStringLiteral("/applications/org.example.WorkspaceProbe.desktop")));
    // The icon is fetched on a worker thread, as the store does.
    const QImage image = QtConcurrent::run([&] { return workspace.iconForFile(*path); }).result();
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(96, 96));
    QFile::remove(applicationsDir() + QStringLiteral("/org.example.WorkspaceProbe.desktop"));

    // A window of a client on another machine: its process id names nothing here.
    ASSERT_EQ(XvfbSession::runClient(QStringLiteral("xprop"),
                                     {QStringLiteral("-id"), QString::number(top.winId()), QStringLiteral("-f"),
                                      QStringLiteral("WM_CLIENT_MACHINE"), QStringLiteral("8s"), QStringLiteral("-set"),
                                      QStringLiteral("WM_CLIENT_MACHINE"), QStringLiteral("elsewhere.example.org")}),
              0);
    const auto remote = workspace.activeWindowInfo();
    ASSERT_TRUE(remote);
    EXPECT_EQ(remote->pid, 0);
    EXPECT_TRUE(remote->exePath.isEmpty());
    EXPECT_EQ(remote->wmClass, info->wmClass);
}

TEST(X11WorkspaceTest, ActiveWindowOfTheWindowManager) {
    ASSERT_TRUE(testXServer()->startWindowManager());
    X11Workspace workspace;
    QProcess message;
    auto isActive = [&] {
        const auto info = workspace.activeWindowInfo();
        return info && info->wmClass == QStringLiteral("Xmessage");
    };
    // openbox focuses the new window and announces it in _NET_ACTIVE_WINDOW. A window that appears
    // while openbox is still settling in is sometimes never mapped: start it anew then.
    for (int attempt = 0; attempt < 4 && !isActive(); ++attempt) {
        if (message.state() != QProcess::NotRunning) {
            message.kill();
            message.waitForFinished();
        }
        message.start(QStringLiteral("xmessage"),
                      {QStringLiteral("-name"), QStringLiteral("probe-note"), QStringLiteral("copied from here")});
        ASSERT_TRUE(message.waitForStarted());
        for (int i = 0; i < 100 && !isActive(); ++i)
            QTest::qWait(50);
    }
    ASSERT_TRUE(isActive());
    EXPECT_EQ(workspace.activeWindowInfo()->wmInstance, QStringLiteral("probe-note"));
    auto app = workspace.frontmostApplication();
    ASSERT_TRUE(app);
    EXPECT_EQ(app->bundleIdentifier, QStringLiteral("Xmessage"));

    installEntry(QStringLiteral("message-viewer.desktop"), "Name=Message Viewer\nStartupWMClass=Xmessage\n");
    app = workspace.frontmostApplication();
    ASSERT_TRUE(app);
    EXPECT_EQ(app->bundleIdentifier, QStringLiteral("message-viewer"));
    EXPECT_EQ(app->localizedName, QStringLiteral("Message Viewer"));

    // The window going away while we look must never hurt: ask while it is being destroyed.
    message.terminate();
    for (int i = 0; i < 200 && message.state() != QProcess::NotRunning; ++i) {
        workspace.frontmostApplication();
        message.waitForFinished(5);
    }
    message.waitForFinished();
    // With no window left, the window manager says none is active: no application is in front.
    QTRY_VERIFY_WITH_TIMEOUT(!workspace.frontmostApplication(), 10000);
}

} // namespace
