// SPDX-License-Identifier: MIT
#include "linkpreview/CharacterReferences.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

struct NamedReference {
    const char* name; // without the ampersand; with the semicolon where the table has it
    char32_t first;
    char32_t second; // 0 when the reference stands for one character
};

constexpr NamedReference kNamed[] = {
#include "linkpreview/NamedCharacterReferences.inc"
};

constexpr int kLongestName = 32;

// Windows-1252 characters for the C1 codes 0x80-0x9F that numeric references name.
constexpr char16_t kC1[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
                              0x2039, 0x0152, 0x8D,   0x017D, 0x8F,   0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
                              0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};

bool isASCIIAlnum(QChar c) {
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z');
}

int hexValue(char16_t u) {
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    return -1;
}

void appendCodePoint(QString& out, char32_t code) {
    out.append(QString::fromUcs4(&code, 1));
}

// The longest table name that the text at `at` (just after '&') begins with; nullptr if none. The
// range of names sharing the prefix read so far narrows with each character, so a long run of
// letters costs a few binary searches, not one per prefix length.
const NamedReference* longestNamedMatch(QStringView text, qsizetype at) {
    const NamedReference* lo = std::begin(kNamed);
    const NamedReference* hi = std::end(kNamed);
    const NamedReference* best = nullptr;
    for (int k = 0; k < kLongestName && at + k < text.size(); ++k) {
        const QChar c = text[at + k];
        if (!isASCIIAlnum(c) && c != u';')
            break;
        const char ch = char(c.unicode());
        // Within [lo, hi) every name shares the first k characters; shorter names sort first.
        lo = std::lower_bound(lo, hi, ch, [k](const NamedReference& e, char key) { return e.name[k] < key; });
        hi = std::upper_bound(lo, hi, ch, [k](char key, const NamedReference& e) { return key < e.name[k]; });
        if (lo == hi)
            break;
        if (lo->name[k + 1] == '\0')
            best = lo;
        if (ch == ';')
            break;
    }
    return best;
}

enum class Mode { Text, Attribute, NamedOnly };

// Resolves the reference at text[at] == '&'. Returns the number of characters consumed (0 when the
// ampersand stays as written) and appends what it stands for.
qsizetype resolveAt(QStringView text, qsizetype at, Mode mode, QString& out) {
    const qsizetype n = text.size();
    qsizetype pos = at + 1;
    if (pos < n && text[pos] == u'#') {
        if (mode == Mode::NamedOnly)
            return 0;
        ++pos;
        const bool hex = pos < n && (text[pos] == u'x' || text[pos] == u'X');
        if (hex)
            ++pos;
        const qsizetype digitsStart = pos;
        char32_t code = 0;
        bool overflow = false;
        while (pos < n) {
            const int digit = hex ? hexValue(text[pos].unicode())
                                  : (text[pos] >= u'0' && text[pos] <= u'9' ? text[pos].unicode() - u'0' : -1);
            if (digit < 0)
                break;
            if (!overflow) {
                code = code * (hex ? 16 : 10) + char32_t(digit);
                overflow = code > 0x10FFFF;
            }
            ++pos;
        }
        if (pos == digitsStart)
            return 0; // "&#" or "&#x" with no digits: nothing consumed
        if (pos < n && text[pos] == u';')
            ++pos;
        if (overflow || code == 0 || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            code = 0xFFFD;
        else if (code >= 0x80 && code <= 0x9F)
            code = kC1[code - 0x80];
        appendCodePoint(out, code);
        return pos - at;
    }
    const NamedReference* match = longestNamedMatch(text, pos);
    if (!match)
        return 0;
    const qsizetype length = qsizetype(std::strlen(match->name));
    const bool closed = match->name[length - 1] == ';';
    if (!closed && mode == Mode::Attribute) {
        const qsizetype next = pos + length;
        if (next < n && (text[next] == u'=' || isASCIIAlnum(text[next])))
            return 0;
    }
    appendCodePoint(out, match->first);
    if (match->second)
        appendCodePoint(out, match->second);
    return 1 + length;
}

QString decode(QStringView raw, Mode mode) {
    qsizetype at = raw.indexOf(u'&');
    if (at < 0)
        return raw.toString();
    QString out;
    out.reserve(raw.size());
    qsizetype copied = 0;
    while (at >= 0) {
        out.append(raw.sliced(copied, at - copied));
        const qsizetype consumed = resolveAt(raw, at, mode, out);
        if (consumed == 0) {
            out.append(u'&');
            copied = at + 1;
        } else {
            copied = at + consumed;
        }
        at = raw.indexOf(u'&', copied);
    }
    out.append(raw.sliced(copied));
    return out;
}

} // namespace

namespace CharacterReferences {

QString decodeText(QStringView raw) {
    return decode(raw, Mode::Text);
}

QString decodeAttribute(QStringView raw) {
    return decode(raw, Mode::Attribute);
}

QString decodeNamed(QStringView raw) {
    return decode(raw, Mode::NamedOnly);
}

} // namespace CharacterReferences
