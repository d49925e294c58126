// SPDX-License-Identifier: MIT
#include "history/store/TextFolding.h"

#include "history/store/PrecomputedContent.h"

#include <algorithm>
#include <unordered_map>

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

namespace {

// Every character folds on its own: the marks its decomposition would reorder are dropped anyway,
// so no normalisation of the whole is needed, which is many times slower on large texts.
void appendFolded(char32_t c, QString& out, int depth = 0) {
    if (c < 0x80) {
        out.append(QChar(char16_t(c >= 'A' && c <= 'Z' ? c + 0x20 : c)));
        return;
    }
    if (depth < 8 && QChar::decompositionTag(c) == QChar::Canonical) {
        const QString parts = QChar::decomposition(c);
        for (qsizetype i = 0; i < parts.size(); ++i) {
            char32_t part = parts.at(i).unicode();
            if (parts.at(i).isHighSurrogate() && i + 1 < parts.size() && parts.at(i + 1).isLowSurrogate()) {
                part = QChar::surrogateToUcs4(parts.at(i), parts.at(i + 1));
                ++i;
            }
            appendFolded(part, out, depth + 1);
        }
        return;
    }
    if (isMark(c))
        return;
    const char32_t folded = QChar::toCaseFolded(c);
    if (QChar::requiresSurrogates(folded)) {
        out.append(QChar(QChar::highSurrogate(folded)));
        out.append(QChar(QChar::lowSurrogate(folded)));
    } else {
        out.append(QChar(static_cast<char16_t>(folded)));
    }
}

} // namespace

QString fold(const QString& text) {
    if (std::optional<QString> ahead = PrecomputedContent::folded(text))
        return *ahead;
    // Plain ASCII has nothing to decompose and no marks: folding is lower-casing it.
    if (std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() < 0x80; }))
        return text.toCaseFolded();
    QString out;
    out.reserve(text.size());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        char32_t c = text.at(i).unicode();
        if (text.at(i).isHighSurrogate() && i + 1 < n && text.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
            ++i;
        }
        appendFolded(c, out);
    }
    return out;
}

void foldUtf8(const char* data, qsizetype size, QByteArray& out) {
    // What the few distinct characters of a text fold to, kept while the text is gone through.
    std::unordered_map<char32_t, QByteArray> folded;
    const auto* p = reinterpret_cast<const unsigned char*>(data);
    out.reserve(out.size() + size);
    for (qsizetype i = 0; i < size;) {
        if (p[i] < 0x80) {
            // A run of ASCII at a time: most of a large text.
            qsizetype end = i;
            while (end < size && p[end] < 0x80)
                ++end;
            const qsizetype at = out.size();
            out.resize(at + (end - i));
            char* to = out.data() + at;
            for (; i < end; ++i, ++to)
                *to = char(p[i] >= 'A' && p[i] <= 'Z' ? p[i] + 0x20 : p[i]);
            continue;
        }
        const unsigned char c = p[i];
        const int length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 0;
        char32_t cp = c & (0x7F >> length);
        bool valid = length > 0 && i + length <= size;
        for (int k = 1; valid && k < length; ++k) {
            valid = (p[i + k] & 0xC0) == 0x80;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        if (!valid) {
            // Not what the store writes; decoded the long way, as a string would be.
            out += fold(QString::fromUtf8(data + i, size - i)).toUtf8();
            return;
        }
        auto it = folded.find(cp);
        if (it == folded.end()) {
            QString one;
            appendFolded(cp, one);
            it = folded.emplace(cp, one.toUtf8()).first;
        }
        out += it->second;
        i += length;
    }
}

bool containsFolded(const QString& haystack, const QString& needle) {
    return !needle.isEmpty() && haystack.contains(needle);
}

} // namespace TextFolding
