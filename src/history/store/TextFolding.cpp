// SPDX-License-Identifier: MIT
#include "history/store/TextFolding.h"

#include "history/store/PrecomputedContent.h"

#include <algorithm>

namespace TextFolding {

namespace {

// Small pieces: QString::normalized() is quadratic in the decomposed characters of what it is given.
constexpr qsizetype kPiece = 512;

bool isMark(char32_t c) {
    switch (QChar::category(c)) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
        return true;
    default:
        return false;
    }
}

bool isJamo(char32_t c) {
    return (c >= 0x1100 && c <= 0x11FF) || (c >= 0xA960 && c <= 0xA97F) || (c >= 0xD7B0 && c <= 0xD7FF);
}

} // namespace

bool isNormalizationBoundary(char32_t c) {
    if (c < 0x80)
        return true; // ASCII is a starter that neither decomposes nor composes with what precedes it
    // What decomposes starts where its decomposition starts; a starter that is no mark and no jamo
    // is never the second of a composed pair.
    for (int depth = 0; depth < 4 && QChar::decompositionTag(c) == QChar::Canonical; ++depth) {
        const QString parts = QChar::decomposition(c);
        if (parts.isEmpty())
            break;
        c = parts.at(0).isHighSurrogate() && parts.size() > 1 ? QChar::surrogateToUcs4(parts.at(0), parts.at(1))
                                                              : char32_t(parts.at(0).unicode());
    }
    return QChar::combiningClass(c) == 0 && !isMark(c) && !isJamo(c);
}

namespace {

// Whether normalisation may cut the text just before position i.
bool safeCut(const QString& text, qsizetype i) {
    const QChar c = text.at(i);
    if (c.unicode() < 0x80)
        return true;
    if (c.isLowSurrogate())
        return false;
    if (c.isHighSurrogate())
        return i + 1 < text.size() && text.at(i + 1).isLowSurrogate() &&
               isNormalizationBoundary(QChar::surrogateToUcs4(c, text.at(i + 1)));
    return isNormalizationBoundary(c.unicode());
}

} // namespace

QString normalized(const QString& text, QString::NormalizationForm form) {
    if (text.size() <= kPiece)
        return text.normalized(form);
    QString out;
    out.reserve(text.size() + text.size() / 8);
    qsizetype start = 0;
    const qsizetype n = text.size();
    while (start < n) {
        qsizetype end = std::min(n, start + kPiece);
        while (end < n && !safeCut(text, end))
            ++end;
        out += QStringView(text).mid(start, end - start).toString().normalized(form);
        start = end;
    }
    return out;
}

QString fold(const QString& text) {
    if (std::optional<QString> ahead = PrecomputedContent::folded(text))
        return *ahead;
    // Plain ASCII has nothing to decompose and no marks: folding is lower-casing it.
    if (std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; }))
        return text.toCaseFolded();
    const QString decomposed = normalized(text, QString::NormalizationForm_D);
    QString out;
    out.reserve(decomposed.size());
    const qsizetype n = decomposed.size();
    for (qsizetype i = 0; i < n; ++i) {
        char32_t c = decomposed.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < n && decomposed.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(decomposed.at(i), decomposed.at(i + 1));
            ++i;
        }
        if (isMark(c))
            continue;
        if (QChar::requiresSurrogates(c)) {
            out.append(QChar(QChar::highSurrogate(c)));
            out.append(QChar(QChar::lowSurrogate(c)));
        } else {
            out.append(QChar(static_cast<char16_t>(c)));
        }
    }
    return out.toCaseFolded();
}

bool containsFolded(const QString& haystack, const QString& needle) {
    return !needle.isEmpty() && haystack.contains(needle);
}

} // namespace TextFolding
