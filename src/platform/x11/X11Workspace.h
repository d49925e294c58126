// SPDX-License-Identifier: MIT
#pragma once

#include "platform/Workspace.h"
#include "platform/x11/DesktopEntries.h"

#include <QHash>
#include <QMutex>

#include <memory>

// The workspace on X11: the active window (EWMH, or the input focus without a window manager)
// named through the XDG desktop entries. The X connection is its own, opened on first use.
class X11Workspace : public Workspace {
public:
    X11Workspace();
    ~X11Workspace() override;

    std::optional<RunningApplication> frontmostApplication() override;
    std::optional<QString> applicationPath(const QString& bundleIdentifier) override;
    QImage iconForFile(const QString& path) override;
    bool openUrl(const QUrl& url) override;

    // What the active window says about itself, before any desktop entry is consulted.
    struct WindowInfo {
        quint32 window = 0;
        QString wmInstance;
        QString wmClass;
        qint64 pid = 0;
        QString exePath;
    };
    std::optional<WindowInfo> activeWindowInfo();

private:
    struct Connection;
    std::unique_ptr<Connection> m_x;
    DesktopEntries m_entries;
    QMutex m_mutex;
    QHash<QString, QString> m_exeForId; // ids without a desktop entry -> executable, for their icon
};
