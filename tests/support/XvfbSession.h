// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>

// A private X server for one test process: Xvfb on a free display number, optionally with openbox
// (which sets _NET_ACTIVE_WINDOW). Stops everything it started when destroyed.
class XvfbSession {
public:
    XvfbSession() = default;
    ~XvfbSession();
    XvfbSession(const XvfbSession&) = delete;
    XvfbSession& operator=(const XvfbSession&) = delete;

    // Starts Xvfb and exports DISPLAY. Returns false (with a reason in error()) when it cannot.
    bool start(const QString& geometry = QStringLiteral("1280x800x24"));
    bool startWindowManager();
    void stop();

    QString display() const { return m_display; }
    QString error() const { return m_error; }

    // Runs an X client on this display and waits for it (for xdotool, xprop and friends).
    static int runClient(const QString& program, const QStringList& args, QByteArray* out = nullptr,
                         int timeoutMs = 10000);

private:
    bool windowManagerMapsWindows();

    qint64 m_xvfbPid = 0;
    qint64 m_wmPid = 0;
    QString m_display;
    QString m_error;
};
