// SPDX-License-Identifier: MIT
#include "platform/FileIcons.h"

#include <QFileInfo>
#include <QMimeDatabase>
#include <QStandardPaths>

namespace FileIcons {

// Without a desktop environment Qt's theme is empty or the near-empty "hicolor": switch to a full
// theme that is installed, so files and symbols get real icons.
void ensureIconTheme() {
    static const bool done = [] {
        if (QIcon::hasThemeIcon(QStringLiteral("text-x-generic")))
            return true;
        // Some platform plugins search only the resources: add the XDG icon folders.
        QStringList paths = QIcon::themeSearchPaths();
        for (const QString& dir : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
            const QString icons = dir + QStringLiteral("/icons");
            if (!paths.contains(icons))
                paths << icons;
        }
        QIcon::setThemeSearchPaths(paths);
        if (QIcon::hasThemeIcon(QStringLiteral("text-x-generic")))
            return true;
        const QStringList candidates = {QStringLiteral("Adwaita"), QStringLiteral("breeze"), QStringLiteral("gnome"),
                                        QStringLiteral("Tango"), QStringLiteral("nuoveXT2")};
        for (const QString& theme : candidates) {
            for (const QString& dir : paths) {
                if (QFileInfo::exists(dir + QLatin1Char('/') + theme + QStringLiteral("/index.theme"))) {
                    QIcon::setThemeName(theme);
                    return true;
                }
            }
        }
        return false;
    }();
    (void)done;
}

QIcon iconForFile(const QString& path) {
    ensureIconTheme();
    static QMimeDatabase database;
    const QFileInfo info(path);
    const QMimeType type = info.isDir() ? database.mimeTypeForName(QStringLiteral("inode/directory"))
                                        : database.mimeTypeForFile(info, QMimeDatabase::MatchDefault);
    QStringList names = {type.iconName(), type.genericIconName()};
    if (info.isDir())
        names.prepend(QStringLiteral("folder"));
    names << QStringLiteral("text-x-generic") << QStringLiteral("application-octet-stream");
    for (const QString& name : names) {
        if (!name.isEmpty() && QIcon::hasThemeIcon(name))
            return QIcon::fromTheme(name);
    }
    return {};
}

} // namespace FileIcons
