// SPDX-License-Identifier: MIT
#pragma once

#include <QIcon>
#include <QString>

// The interface symbols by the names the views use ("magnifyingglass", "star", "star.fill",
// "app.fill", "doc.on.clipboard.fill", "gearshape", "info.circle"): the desktop icon theme's
// matching icon when it has one, else a drawing of our own. A null icon for any other name.
namespace Symbols {

QIcon icon(const QString& symbolName);

// The freedesktop icon name looked up in the theme; empty for a name we do not know.
QString themeName(const QString& symbolName);

} // namespace Symbols
