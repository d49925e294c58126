// SPDX-License-Identifier: MIT
// Placeholder until the X11 implementation lands: knows no applications.
#include "platform/x11/X11Workspace.h"

X11Workspace::X11Workspace() = default;
X11Workspace::~X11Workspace() = default;

std::optional<RunningApplication> X11Workspace::frontmostApplication() { return std::nullopt; }
std::optional<QString> X11Workspace::applicationPath(const QString&) { return std::nullopt; }
QImage X11Workspace::iconForFile(const QString&) { return {}; }
bool X11Workspace::openUrl(const QUrl&) { return false; }
