// SPDX-License-Identifier: MIT
#pragma once

#include <QImage>
#include <QString>
#include <QUrl>

#include <memory>
#include <optional>

// An application as the workspace knows it.
struct RunningApplication {
    QString localizedName;    // may be empty
    QString bundleIdentifier; // desktop-file id without ".desktop"; may be empty
    qint64 processId = 0;
};

// The desktop's view of applications: which one is in front, where an application lives, its icon.
// applicationPath() and iconForFile() may be called from worker threads.
class Workspace {
public:
    virtual ~Workspace() = default;

    // The real one (X11 + XDG desktop entries) is created on first use; tests install another.
    static Workspace& shared();
    static void setShared(std::unique_ptr<Workspace> workspace);

    // Main thread. None when there is no window manager, no active window or no application behind it.
    virtual std::optional<RunningApplication> frontmostApplication() = 0;
    // The path of the application's desktop entry (or executable) for an identifier; none when unknown.
    virtual std::optional<QString> applicationPath(const QString& bundleIdentifier) = 0;
    // The icon of the application at a path given by applicationPath(); a null image when it has none.
    virtual QImage iconForFile(const QString& path) = 0;
    virtual bool openUrl(const QUrl& url) = 0;
};
