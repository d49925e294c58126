// SPDX-License-Identifier: MIT
#pragma once

#include "platform/Workspace.h"

// The workspace on X11: the active window (EWMH) and the XDG desktop entries.
class X11Workspace : public Workspace {
public:
    X11Workspace();
    ~X11Workspace() override;

    std::optional<RunningApplication> frontmostApplication() override;
    std::optional<QString> applicationPath(const QString& bundleIdentifier) override;
    QImage iconForFile(const QString& path) override;
    bool openUrl(const QUrl& url) override;
};
