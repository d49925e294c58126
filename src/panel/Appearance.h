// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QPalette>

// The panel's named colours, resolved from the application palette: the palette's window colour
// decides between the light and the dark appearance.
namespace Appearance {

inline bool isDark(const QPalette& palette) {
    return palette.color(QPalette::Window).lightness() < 128;
}

inline QColor labelColor(const QPalette& palette) {
    return palette.color(QPalette::WindowText);
}

inline QColor secondaryLabelColor(const QPalette& palette) {
    QColor c = palette.color(QPalette::WindowText);
    c.setAlphaF(isDark(palette) ? 0.55f : 0.5f);
    return c;
}

inline QColor windowBackgroundColor(const QPalette& palette) {
    return palette.color(QPalette::Window);
}

inline QColor accentColor(const QPalette& palette) {
    return palette.color(QPalette::Highlight);
}

inline QColor withAlpha(QColor c, double alpha) {
    c.setAlphaF(static_cast<float>(alpha));
    return c;
}

inline QColor systemYellowColor(const QPalette& palette) {
    return isDark(palette) ? QColor(255, 214, 10) : QColor(255, 204, 0);
}

inline QColor systemBlueColor(const QPalette& palette) {
    return isDark(palette) ? QColor(10, 132, 255) : QColor(0, 122, 255);
}

inline QColor systemGrayColor() {
    return QColor(142, 142, 147);
}

// "rgba(r,g,b,a)" for style sheets.
inline QString css(const QColor& c) {
    return QStringLiteral("rgba(%1,%2,%3,%4)").arg(c.red()).arg(c.green()).arg(c.blue()).arg(c.alpha());
}

} // namespace Appearance
