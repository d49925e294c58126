// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>

// The interface symbols by the names the views use ("magnifyingglass", "star", "star.fill",
// "app.fill", "doc.on.clipboard.fill", "gearshape", "info.circle"): the desktop icon theme's
// matching icon when it has one, else a drawing of our own. A null icon for any other name.
namespace Symbols {

QIcon icon(const QString& symbolName);

// The freedesktop icon name looked up in the theme; empty for a name we do not know.
QString themeName(const QString& symbolName);

// The symbol's shape in `color`, so it reads on any background: the theme's grey (symbolic)
// drawing, else ours; a colourful theme icon is passed over. Null for an unknown name.
QPixmap tintedPixmap(const QString& symbolName, QSize size, qreal devicePixelRatio, const QColor& color);

} // namespace Symbols
