// SPDX-License-Identifier: MIT
#pragma once

#include <QHash>
#include <QImage>
#include <QMutex>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

// One application entry of the XDG data directories (applications/*.desktop).
struct DesktopEntry {
    QString id;   // desktop-file id without ".desktop" ("org.example.App", "kde-foo" for kde/foo.desktop)
    QString path; // absolute path of the .desktop file
    QString name;
    QString icon; // theme name or absolute path, as written
    QString exec;
    QString startupWMClass;
};

// The desktop entries of the XDG data directories, read once and read again when one of the
// applications directories changes. Safe to use from any thread.
class DesktopEntries {
public:
    DesktopEntries();

    // $XDG_DATA_HOME then $XDG_DATA_DIRS, with their defaults.
    static QStringList dataDirs();
    // Parses one .desktop file; none when it is not a visible application entry.
    static std::optional<DesktopEntry> parse(const QString& path, const QString& id);
    // The program an Exec line starts, without arguments, quoting or a leading "env VAR=value".
    static QString execProgram(const QString& exec);

    // The entry for a window: StartupWMClass first, then the file name, then the program of Exec.
    std::optional<DesktopEntry> match(const QString& wmInstance, const QString& wmClass, const QString& exePath);
    std::optional<DesktopEntry> byId(const QString& id);

    // Finds an icon by theme name, file name or absolute path in the icon themes, ~/.icons and the
    // pixmaps directory (PNG, SVG, XPM); a null image when there is none. Never touches QPixmap.
    static QImage loadIcon(const QString& icon, int preferredSize = 128);

private:
    void refreshIfChanged();

    QMutex m_mutex;
    std::vector<DesktopEntry> m_entries;
    // Each entry's program and its file name, worked out once per reading: a match runs at every copy.
    std::vector<std::pair<QString, QString>> m_programs;
    QHash<QString, QString> m_dirStamps; // applications dir (and subdirs) -> modification time and size
    bool m_loaded = false;
};
