// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// The text of a colour entry, matched against the whole text with Unicode-aware classes: "#" and 3,
// 4, 6 or 8 hex digits (RGB, RGBA, RRGGBB, RRGGBBAA), white space around allowed; the digits are
// the first capture. The store keeps the match as an indexed column for the colour filter, and the
// panel draws a swatch for exactly these texts.
namespace ColorPattern {
inline const QString wholeText = QStringLiteral("\\s*#([0-9A-Fa-f]{3,4}|[0-9A-Fa-f]{6}|[0-9A-Fa-f]{8})\\s*");
} // namespace ColorPattern
