// SPDX-License-Identifier: MIT
#include "richtext/RtfTokenizer.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace {

constexpr qsizetype maxWordLength = 32;
constexpr int maxDigits = 10;
// Long runs come in pieces so that a reader with a character limit can stop without scanning them whole.
constexpr qsizetype maxTextRun = 4096;

bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Bytes that end a text run, and the ones that matter inside a skipped group.
constexpr auto makeTable(std::initializer_list<char> stops) {
    std::array<bool, 256> table{};
    for (char c : stops)
        table[static_cast<unsigned char>(c)] = true;
    return table;
}
constexpr auto textStops = makeTable({'{', '}', '\\', '\r', '\n'});
constexpr auto skipStops = makeTable({'{', '}', '\\'});

qsizetype findStop(QByteArrayView data, qsizetype from, qsizetype to, const std::array<bool, 256>& stops) {
    const auto* p = reinterpret_cast<const unsigned char*>(data.data());
    while (from < to && !stops[p[from]])
        ++from;
    return from;
}

} // namespace

RtfTokenizer::Token RtfTokenizer::next() {
    const qsizetype n = m_data.size();
    while (m_pos < n) {
        const char c = m_data[m_pos];
        if (c == '{' || c == '}') {
            ++m_pos;
            return {c == '{' ? Kind::GroupStart : Kind::GroupEnd, {}, false, 0, 0};
        }
        if (c == '\r' || c == '\n') {
            ++m_pos; // line breaks in the source are not text
            continue;
        }
        if (c != '\\') {
            const qsizetype start = m_pos;
            m_pos = findStop(m_data, m_pos, std::min(n, m_pos + maxTextRun), textStops);
            return {Kind::Text, m_data.sliced(start, m_pos - start), false, 0, 0};
        }
        ++m_pos;
        if (m_pos >= n)
            break;
        const char d = m_data[m_pos];
        if (isLetter(d)) {
            const Token word = readControlWord();
            if (word.kind == Kind::ControlWord)
                return word;
            continue; // \bin data
        }
        ++m_pos;
        if (d != '\'')
            return {Kind::ControlSymbol, {}, false, 0, d};
        int value = 0;
        int got = 0;
        for (; got < 2 && m_pos < n && hexValue(m_data[m_pos]) >= 0; ++got, ++m_pos)
            value = value * 16 + hexValue(m_data[m_pos]);
        if (got > 0)
            return {Kind::HexByte, {}, false, 0, char(value)};
    }
    return {};
}

// At the first letter after a backslash. Returns End after passing over \binN data.
RtfTokenizer::Token RtfTokenizer::readControlWord() {
    const qsizetype n = m_data.size();
    const qsizetype start = m_pos;
    while (m_pos < n && isLetter(m_data[m_pos]))
        ++m_pos;
    Token token{Kind::ControlWord, m_data.sliced(start, std::min(m_pos - start, maxWordLength)), false, 0, 0};
    bool negative = false;
    if (m_pos + 1 < n && m_data[m_pos] == '-' && isDigit(m_data[m_pos + 1])) {
        negative = true;
        ++m_pos;
    }
    qint64 value = 0;
    for (int digits = 0; m_pos < n && isDigit(m_data[m_pos]); ++digits, ++m_pos) {
        token.hasParam = true;
        if (digits < maxDigits)
            value = value * 10 + (m_data[m_pos] - '0');
    }
    if (m_pos < n && m_data[m_pos] == ' ')
        ++m_pos; // the delimiter belongs to the control word
    value = std::clamp<qint64>(negative ? -value : value, INT32_MIN, INT32_MAX);
    token.param = int(value);
    if (token.text == "bin" && token.hasParam) {
        // Binary data: exactly that many bytes, whatever they are.
        m_pos += std::clamp<qint64>(value, 0, n - m_pos);
        return {};
    }
    return token;
}

bool RtfTokenizer::skipGroup() {
    const qsizetype n = m_data.size();
    qint64 depth = 1;
    while (m_pos < n) {
        m_pos = findStop(m_data, m_pos, n, skipStops);
        if (m_pos >= n)
            break;
        const char c = m_data[m_pos++];
        if (c == '{') {
            ++depth;
        } else if (c == '}') {
            if (--depth == 0)
                return true;
        } else if (m_pos < n) {
            if (isLetter(m_data[m_pos]))
                readControlWord(); // for \bin, whose data may hold braces
            else
                ++m_pos; // \{ \} \\ and other symbols
        }
    }
    return false;
}
