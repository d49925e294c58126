// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// Launch at login as an XDG autostart entry, $XDG_CONFIG_HOME/autostart/tindralume.desktop, whose
// Exec is the given executable (by default programForLogin() of the running one) followed by
// atLoginArgument. Main thread only.
namespace LoginItem {

QString entryPath();

// The argument the entry passes, by which the application knows it was started at login.
inline constexpr QLatin1String atLoginArgument{"--autostart"};

// The program a login starts: the installed one (the program that the installed desktop entry of
// the application starts) when the running program is that one, else the running program itself,
// which stops working when its folder goes away. running: the running program's path.
QString programForLogin(const QString& running);

// True when the entry exists and the session would start it (an application entry, not Hidden).
bool isEnabled();

// Writes the entry atomically. False with a reason in *error when it cannot be written.
bool registerItem(QString* error, const QString& executable = QString());
// Removes the entry; an entry that is not there counts as removed.
bool unregisterItem(QString* error);

// The Exec line's argument vector, unquoted as the desktop entry rules say; empty when unreadable.
QStringList execArguments(const QString& desktopFile);

} // namespace LoginItem
