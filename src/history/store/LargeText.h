// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

#include <memory>

// A text too large for a UTF-16 copy to be worth its memory: kept as the UTF-8 it came in, from the
// clipboard to the store, which holds texts as UTF-8 anyway. Made off the main thread (its digest
// is worked out here), immutable afterwards and shared between threads.
class LargeText {
public:
    // Texts from this size on are kept so; the store keeps no folded copy of them either.
    static constexpr qsizetype minimumUtf16Size = 256 * 1024;

    // The same text QString::fromUtf8 makes of the bytes (a leading byte-order mark dropped, invalid
    // sequences replaced).
    static std::shared_ptr<const LargeText> fromUtf8(QByteArray bytes);
    static std::shared_ptr<const LargeText> fromLatin1(const QByteArray& bytes);

    const QByteArray& utf8() const { return m_utf8; }
    qsizetype utf16Size() const { return m_utf16Size; }
    // The store's content digest of a text entry holding this text.
    const QByteArray& digest() const { return m_digest; }

    QString toString() const;
    // The beginning, at most maxUtf16 units, never cutting a character in two.
    QString head(qsizetype maxUtf16) const;
    // Whether the text, leading white space aside, begins with one of the schemes and "://".
    bool startsWithLink(const QStringList& schemes) const;

private:
    explicit LargeText(QByteArray validUtf8);

    QByteArray m_utf8;
    qsizetype m_utf16Size = 0;
    bool m_ascii = true;
    QByteArray m_digest;
};

using LargeTextPtr = std::shared_ptr<const LargeText>;
