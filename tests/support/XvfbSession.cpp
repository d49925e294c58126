// SPDX-License-Identifier: MIT
#include "support/XvfbSession.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <QWidget>
#include <QWindow>

#include <csignal>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <vector>

namespace {

bool displayInUse(int n) {
    return QFile::exists(QStringLiteral("/tmp/.X%1-lock").arg(n)) ||
           QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n));
}

// Detached processes are not our children (waitpid answers -1), so ask the kernel instead; a zombie
// whose reaper has not collected it yet counts as gone.
bool processGone(qint64 pid) {
    if (::waitpid(static_cast<pid_t>(pid), nullptr, WNOHANG) > 0 || ::kill(static_cast<pid_t>(pid), 0) != 0)
        return true;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return true;
    const QByteArray line = stat.readAll();
    const qsizetype paren = line.lastIndexOf(')');
    return paren > 0 && line.size() > paren + 2 && line.at(paren + 2) == 'Z';
}

void killAndReap(qint64& pid) {
    if (pid <= 0)
        return;
    ::kill(static_cast<pid_t>(pid), SIGTERM);
    for (int i = 0; i < 50; ++i) {
        if (processGone(pid))
            break;
        QThread::msleep(20);
    }
    ::kill(static_cast<pid_t>(pid), SIGKILL);
    ::waitpid(static_cast<pid_t>(pid), nullptr, WNOHANG);
    pid = 0;
}

// Starts a child that the kernel ends when this test process dies, however it dies (a crash or a
// ctest time-out must not leave X servers behind).
qint64 spawnTied(const QString& program, const QStringList& args) {
    std::vector<QByteArray> storage{program.toLocal8Bit()};
    for (const QString& a : args)
        storage.push_back(a.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& b : storage)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid < 0)
        return 0;
    if (pid == 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (::getppid() != parent)
            ::_exit(127);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    return pid;
}

} // namespace

XvfbSession::~XvfbSession() {
    stop();
}

bool XvfbSession::start(const QString& geometry) {
    // Start at a number derived from the pid so parallel ctest jobs rarely race for the same one.
    const int base = 100 + (::getpid() % 400);
    for (int attempt = 0; attempt < 60; ++attempt) {
        const int n = base + attempt * 7;
        if (displayInUse(n))
            continue;
        const QString display = QStringLiteral(":%1").arg(n);
        const qint64 pid = spawnTied(QStringLiteral("Xvfb"),
                                     {display, QStringLiteral("-screen"), QStringLiteral("0"), geometry,
                                      QStringLiteral("-nolisten"), QStringLiteral("tcp"), QStringLiteral("-noreset")});
        if (pid <= 0) {
            m_error = QStringLiteral("Xvfb could not be started (is it installed?)");
            return false;
        }
        // Wait for the socket; a lost race shows as Xvfb exiting early.
        for (int i = 0; i < 100; ++i) {
            if (QFile::exists(QStringLiteral("/tmp/.X11-unix/X%1").arg(n))) {
                m_xvfbPid = pid;
                m_display = display;
                qputenv("DISPLAY", display.toUtf8());
                // The socket is there before the server answers: wait for a client's round trip.
                for (int tries = 0; tries < 100 && runClient(QStringLiteral("xprop"), {QStringLiteral("-root")}) != 0;
                     ++tries)
                    QThread::msleep(50);
                return true;
            }
            if (processGone(pid))
                break;
            QThread::msleep(30);
        }
        qint64 p = pid;
        killAndReap(p);
    }
    m_error = QStringLiteral("no free X display found");
    return false;
}

bool XvfbSession::startWindowManager() {
    if (m_display.isEmpty())
        return false;
    const qint64 pid = spawnTied(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    if (pid <= 0)
        return false;
    m_wmPid = pid;
    // openbox announces itself through _NET_SUPPORTING_WM_CHECK on the root window.
    bool announced = false;
    for (int i = 0; i < 100 && !announced; ++i) {
        QByteArray out;
        runClient(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")}, &out);
        announced = out.contains("window id");
        if (!announced)
            QThread::msleep(50);
    }
    return announced && windowManagerMapsWindows();
}

// openbox announces itself before it manages new windows, and a window shown in between is sometimes
// never mapped. A probe window that it maps shows it is ready; a missed probe is shown anew.
bool XvfbSession::windowManagerMapsWindows() {
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()) ||
        QGuiApplication::platformName() != QLatin1String("xcb"))
        return true;
    for (int attempt = 0; attempt < 10; ++attempt) {
        QWidget probe;
        probe.setWindowTitle(QStringLiteral("window manager probe"));
        probe.resize(10, 10);
        probe.show();
        QElapsedTimer waited;
        waited.start();
        while (waited.elapsed() < 2000) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            if (probe.windowHandle() && probe.windowHandle()->isExposed())
                return true;
            QThread::msleep(10);
        }
    }
    m_error = QStringLiteral("the window manager maps no window");
    return false;
}

void XvfbSession::stop() {
    killAndReap(m_wmPid);
    killAndReap(m_xvfbPid);
    m_display.clear();
}

int XvfbSession::runClient(const QString& program, const QStringList& args, QByteArray* out, int timeoutMs) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted(timeoutMs))
        return -1;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return -1;
    }
    if (out)
        *out = p.readAllStandardOutput();
    return p.exitCode();
}
