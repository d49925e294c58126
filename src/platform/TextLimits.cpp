// SPDX-License-Identifier: MIT
#include "platform/TextLimits.h"

#include <QTextBoundaryFinder>

#include <algorithm>

namespace TextLimits {

QString prefixAtGraphemeBoundary(const QString& text, qsizetype maxLength) {
    if (text.size() <= maxLength)
        return text;
    if (maxLength <= 0)
        return QString();
    // Whether a boundary falls before a character depends on what comes before it and on that
    // character alone (two code units at most); nothing further on is read.
    const QString window = text.left(maxLength + 2);
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, window);
    finder.setPosition(maxLength);
    const qsizetype end = finder.isAtBoundary() ? maxLength : finder.toPreviousBoundary();
    return text.left(std::max<qsizetype>(end, 0));
}

} // namespace TextLimits
