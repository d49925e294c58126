// SPDX-License-Identifier: MIT
#include "platform/Symbols.h"

#include "platform/FileIcons.h"

#include <QFile>
#include <QImage>
#include <QPainter>

#include <algorithm>

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

// Grey drawings (symbolic theme icons, ours) are meant to be recoloured; colourful ones are not.
bool isMonochrome(const QPixmap& pixmap) {
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    bool drawn = false;
    for (int y = 0; y < image.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(line[x]) < 32)
                continue;
            drawn = true;
            const int r = qRed(line[x]), g = qGreen(line[x]), b = qBlue(line[x]);
            if (std::max({r, g, b}) - std::min({r, g, b}) > 40)
                return false;
        }
    }
    return drawn;
}

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

QPixmap tintedPixmap(const QString& symbolName, QSize size, qreal devicePixelRatio, const QColor& color) {
    const QString theme = themeName(symbolName);
    if (theme.isEmpty())
        return {};
    FileIcons::ensureIconTheme();
    initSymbolResources();
    // The theme's symbolic drawing, its ordinary one, then ours, which is always grey.
    const QIcon candidates[] = {QIcon::fromTheme(theme + QStringLiteral("-symbolic")), QIcon::fromTheme(theme),
                                QIcon(QStringLiteral(":/symbols/%1.svg").arg(symbolName))};
    for (const QIcon& candidate : candidates) {
        QPixmap pixmap = candidate.pixmap(size, devicePixelRatio);
        if (!isMonochrome(pixmap))
            continue;
        QPainter painter(&pixmap);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(pixmap.rect(), color);
        return pixmap;
    }
    return {};
}

} // namespace Symbols
