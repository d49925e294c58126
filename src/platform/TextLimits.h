// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

namespace TextLimits {

// The longest beginning of text that has at most maxLength UTF-16 code units and ends between two
// user-perceived characters; the text itself when it is short enough. Costs no more for a huge
// text than for one of maxLength.
QString prefixAtGraphemeBoundary(const QString& text, qsizetype maxLength);

} // namespace TextLimits
