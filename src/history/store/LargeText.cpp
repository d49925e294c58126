// SPDX-License-Identifier: MIT
#include "history/store/LargeText.h"

#include "history/store/TextFolding.h"

#include <QCryptographicHash>
#include <QStringDecoder>
#include <QStringList>

#include <cstring>

namespace {

constexpr qsizetype kDigestPiece = 1024 * 1024;

// Counts the UTF-16 units of valid UTF-8 (RFC 3629: no overlong forms, no surrogates, nothing
// above U+10FFFF); -1 when the bytes are not valid.
qsizetype utf16SizeOfValid(const QByteArray& bytes, bool* ascii) {
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype i = 0, units = 0;
    *ascii = true;
    while (i < n) {
        // Eight ASCII bytes at a time: most large texts are mostly ASCII.
        if (i + 8 <= n) {
            quint64 word;
            std::memcpy(&word, p + i, 8);
            if ((word & 0x8080808080808080ULL) == 0) {
                i += 8;
                units += 8;
                continue;
            }
        }
        const unsigned char c = p[i];
        if (c < 0x80) {
            ++i;
            ++units;
            continue;
        }
        *ascii = false;
        int length = 0;
        char32_t min = 0, cp = 0;
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2, min = 0x80, cp = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3, min = 0x800, cp = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4, min = 0x10000, cp = c & 0x07;
        } else {
            return -1;
        }
        if (i + length > n)
            return -1;
        for (int k = 1; k < length; ++k) {
            if ((p[i + k] & 0xC0) != 0x80)
                return -1;
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return -1;
        i += length;
        units += length == 4 ? 2 : 1;
    }
    return units;
}

// Valid UTF-8 decoded as it stands: a byte-order mark in the middle of a text is a character.
QString decode(const char* data, qsizetype size) {
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    return decoder(QByteArrayView(data, size));
}

// Where a piece of the text may end for normalisation: before an ASCII byte or a character that
// never interacts with what precedes it.
qsizetype pieceEnd(const QByteArray& utf8, qsizetype from) {
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.constData());
    const qsizetype n = utf8.size();
    for (qsizetype i = from; i < n; ++i) {
        const unsigned char c = p[i];
        if (c < 0x80)
            return i;
        if ((c & 0xC0) == 0x80)
            continue;
        const int length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
        char32_t cp = c & (0x7F >> length);
        for (int k = 1; k < length && i + k < n; ++k)
            cp = (cp << 6) | (p[i + k] & 0x3F);
        if (TextFolding::isNormalizationBoundary(cp))
            return i;
    }
    return n;
}

} // namespace

LargeText::LargeText(QByteArray validUtf8) : m_utf8(std::move(validUtf8)) {
    m_utf16Size = utf16SizeOfValid(m_utf8, &m_ascii);
    // Canonically equivalent texts share a digest: it is taken over the composed form, which an
    // ASCII text already is. Piece by piece, so no whole second copy is made.
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (m_ascii) {
        hash.addData(m_utf8);
    } else {
        qsizetype start = 0;
        while (start < m_utf8.size()) {
            const qsizetype end = pieceEnd(m_utf8, std::min(m_utf8.size(), start + kDigestPiece));
            const QString piece = decode(m_utf8.constData() + start, end - start);
            hash.addData(TextFolding::normalized(piece, QString::NormalizationForm_C).toUtf8());
            start = end;
        }
    }
    m_digest = hash.result();
}

std::shared_ptr<const LargeText> LargeText::fromUtf8(QByteArray bytes) {
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    bool ascii = true;
    if (utf16SizeOfValid(bytes, &ascii) < 0) {
        // Rare enough to go the long way: exactly what a UTF-16 copy would have made of it.
        QString text = QString::fromUtf8(bytes);
        bytes = QByteArray();
        bytes = text.toUtf8();
    }
    return std::shared_ptr<const LargeText>(new LargeText(std::move(bytes)));
}

std::shared_ptr<const LargeText> LargeText::fromLatin1(const QByteArray& bytes) {
    qsizetype high = 0;
    for (const char c : bytes)
        high += (static_cast<unsigned char>(c) >= 0x80);
    QByteArray utf8;
    utf8.reserve(bytes.size() + high);
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u < 0x80) {
            utf8.append(c);
        } else {
            utf8.append(char(0xC0 | (u >> 6)));
            utf8.append(char(0x80 | (u & 0x3F)));
        }
    }
    return std::shared_ptr<const LargeText>(new LargeText(std::move(utf8)));
}

QString LargeText::toString() const {
    return decode(m_utf8.constData(), m_utf8.size());
}

QString LargeText::head(qsizetype maxUtf16) const {
    // A UTF-16 unit takes at least one byte; back off continuation bytes to a character's start.
    qsizetype end = std::min(m_utf8.size(), maxUtf16);
    while (end > 0 && end < m_utf8.size() && (static_cast<unsigned char>(m_utf8.at(end)) & 0xC0) == 0x80)
        --end;
    QString out = decode(m_utf8.constData(), end);
    if (out.size() > maxUtf16) {
        out.truncate(maxUtf16);
        if (out.back().isHighSurrogate())
            out.chop(1);
    }
    return out;
}

bool LargeText::startsWithLink(const QStringList& schemes) const {
    const QString start = head(4096).trimmed();
    for (const QString& scheme : schemes) {
        if (start.startsWith(scheme, Qt::CaseInsensitive) && QStringView(start).mid(scheme.size()).startsWith(u"://"))
            return true;
    }
    return false;
}
