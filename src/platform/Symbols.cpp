// SPDX-License-Identifier: MIT
#include "platform/Symbols.h"

#include "platform/FileIcons.h"

#include <QFile>

// Resources of a static library must be registered by hand, once.
static void initSymbolResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(symbols);
        return true;
    }();
    (void)done;
}

namespace {

struct Entry {
    const char* symbol;
    const char* theme;
};

constexpr Entry table[] = {
    {"magnifyingglass", "edit-find"},
    {"star", "non-starred"},
    {"star.fill", "starred"},
    {"app.fill", "application-x-executable"},
    {"doc.on.clipboard.fill", "edit-paste"},
    {"gearshape", "preferences-system"},
    {"info.circle", "help-about"},
};

} // namespace

namespace Symbols {

QString themeName(const QString& symbolName) {
    for (const Entry& e : table) {
        if (symbolName == QLatin1String(e.symbol))
            return QString::fromLatin1(e.theme);
    }
    return {};
}

QIcon icon(const QString& symbolName) {
    const QString theme = themeName(symbolName);
    if (theme.isEmpty())
        return {};
    FileIcons::ensureIconTheme();
    if (QIcon::hasThemeIcon(theme))
        return QIcon::fromTheme(theme);
    initSymbolResources();
    const QString path = QStringLiteral(":/symbols/%1.svg").arg(symbolName);
    return QFile::exists(path) ? QIcon(path) : QIcon();
}

} // namespace Symbols
