// SPDX-License-Identifier: MIT
#include "history/store/LargeText.h"

#include "history/store/TextFolding.h"

#include <QCryptographicHash>
#include <QStringDecoder>
#include <QStringList>

namespace {

constexpr qsizetype kDigestPiece = 1024 * 1024;

// The UTF-16 units of valid UTF-8: one for each character, two for each of four bytes.
qsizetype utf16SizeOf(const QByteArray& utf8, bool* ascii) {
    qsizetype units = 0;
    bool high = false;
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        high |= byte >= 0x80;
        units += ((byte & 0xC0) != 0x80) + (byte >= 0xF0);
    }
    *ascii = !high;
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
    m_utf16Size = utf16SizeOf(m_utf8, &m_ascii);
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
    if (!bytes.isValidUtf8()) {
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
