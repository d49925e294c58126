// SPDX-License-Identifier: MIT
// Page bytes to text: a byte-order mark, the declared charsets, UTF-8, then likely encodings.
#include "linkpreview/EncodingLabels.h"
#include "linkpreview/HTMLPageReader.h"
#include "linkpreview/URLPreviewService.h"

#include <QStringDecoder>

namespace {

constexpr qsizetype headBytes = 8192;

const QSet<QString>& contentTypeKey() {
    static const QSet<QString> key = {QStringLiteral("content-type")};
    return key;
}

struct UTF8Counts {
    qsizetype multiByte = 0; // well-formed sequences of two to four bytes
    qsizetype invalid = 0;   // bytes that start no well-formed sequence
};

UTF8Counts countUTF8(const QByteArray& bytes) {
    UTF8Counts counts;
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const unsigned char c = b[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        int length = 0;
        unsigned char low = 0x80, high = 0xBF; // bounds of the second byte
        if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            low = c == 0xE0 ? 0xA0 : 0x80;
            high = c == 0xED ? 0x9F : 0xBF;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            low = c == 0xF0 ? 0x90 : 0x80;
            high = c == 0xF4 ? 0x8F : 0xBF;
        }
        bool ok = length > 0 && i + length <= n && b[i + 1] >= low && b[i + 1] <= high;
        for (int k = 2; ok && k < length; ++k)
            ok = b[i + k] >= 0x80 && b[i + k] <= 0xBF;
        if (ok) {
            ++counts.multiByte;
            i += length;
        } else if (i + length > n && length > 0) {
            break; // cut at the byte limit inside a character
        } else {
            ++counts.invalid;
            ++i;
        }
    }
    return counts;
}

// Bytes that are UTF-8 but for a few stray bytes of another charset (an alt text pasted in Latin-1):
// other multi-byte charsets read as UTF-8 give several invalid bytes per valid sequence.
bool isMostlyUTF8(const QByteArray& bytes) {
    const UTF8Counts counts = countUTF8(bytes);
    return counts.multiByte > 0 && counts.invalid * 3 <= counts.multiByte;
}

std::optional<QString> decodeLenient(const QByteArray& bytes, const QByteArray& encoding) {
    QStringDecoder decoder(encoding.constData());
    if (!decoder.isValid())
        return std::nullopt;
    QString text = decoder.decode(bytes);
    if (!bytes.isEmpty() && text.isEmpty())
        return std::nullopt;
    return text;
}

QString decodeOrLatin(const QByteArray& bytes, const QByteArray& encoding) {
    if (auto text = decodeLenient(bytes, encoding))
        return *text;
    return decodeLenient(bytes, "windows-1252").value_or(QString::fromLatin1(bytes));
}

} // namespace

std::optional<QString> URLPreviewService::decodeWith(const QByteArray& bytes, const QByteArray& encoding) {
    QStringDecoder decoder(encoding.constData());
    if (!decoder.isValid())
        return std::nullopt;
    // In pieces, so bytes that do not fit are given up on at the first bad piece, not after 1 MiB.
    constexpr qsizetype piece = 64 * 1024;
    QString text;
    text.reserve(bytes.size());
    for (qsizetype at = 0; at < bytes.size(); at += piece) {
        text += decoder.decode(QByteArrayView(bytes).sliced(at, qMin(piece, bytes.size() - at)));
        if (decoder.hasError())
            return std::nullopt;
    }
    // Bytes that make no character at all (one byte of a two-byte encoding) do not fit either.
    if (!bytes.isEmpty() && text.isEmpty())
        return std::nullopt;
    return text;
}

std::optional<QByteArray> URLPreviewService::encodingForCharset(const QString& charset) {
    const QString name = charset.trimmed().toLower();
    if (name.isEmpty())
        return std::nullopt;
    if (auto encoding = EncodingLabels::encodingForLabel(name))
        return encoding;
    for (QChar c : name) {
        if (c.unicode() > 0x7E || c.unicode() < 0x21)
            return std::nullopt;
    }
    // Other names go to the converter's own table (ICU in Debian's Qt). The name given is the one
    // kept: the converter reports no name for some encodings it decodes.
    const QByteArray latin = name.toLatin1();
    if (!QStringDecoder(latin.constData()).isValid())
        return std::nullopt;
    return latin;
}

std::optional<QString> URLPreviewService::sniffMetaCharset(const QString& head) {
    const QStringList names = HTMLPageReader::declaredCharsets(HTMLPageReader::read(head, 0, contentTypeKey()));
    if (names.isEmpty())
        return std::nullopt;
    return names.first();
}

QString URLPreviewService::decodeHTML(const QByteArray& body, const HTTPURLResponse& response) {
    // A byte-order mark decides before anything else, as in a browser.
    if (body.startsWith("\xEF\xBB\xBF"))
        return decodeOrLatin(body.mid(3), "UTF-8");
    if (body.startsWith("\xFE\xFF"))
        return decodeOrLatin(body.mid(2), "UTF-16BE");
    if (body.startsWith("\xFF\xFE"))
        return decodeOrLatin(body.mid(2), "UTF-16LE");

    QList<QByteArray> declared;
    if (auto contentType = response.value("Content-Type")) {
        if (auto charset = HTMLPageReader::charsetParameter(QString::fromLatin1(*contentType))) {
            if (auto encoding = encodingForCharset(*charset))
                declared.append(*encoding);
        }
    }
    const QByteArray head = body.left(headBytes);
    const QString headText = decodeWith(head, "UTF-8").value_or(QString::fromLatin1(head));
    for (const QString& charset :
         HTMLPageReader::declaredCharsets(HTMLPageReader::read(headText, 0, contentTypeKey()))) {
        if (auto encoding = encodingForCharset(charset)) {
            // A page that names UTF-16 in its own ASCII text cannot be UTF-16.
            declared.append(encoding->startsWith("UTF-16") ? QByteArray("UTF-8") : *encoding);
            break;
        }
    }

    for (const QByteArray& encoding : declared) {
        if (auto text = decodeWith(body, encoding))
            return *text;
    }
    if (auto text = decodeWith(body, "UTF-8"))
        return *text;
    if ((!declared.isEmpty() && declared.first() == "UTF-8") || isMostlyUTF8(body))
        return decodeOrLatin(body, "UTF-8");
    if (!declared.isEmpty())
        return decodeOrLatin(body, declared.first());
    for (const char* encoding : {"GB18030", "GBK", "EUC-JP", "Shift_JIS"}) {
        if (auto text = decodeWith(body, encoding))
            return *text;
    }
    return decodeOrLatin(body, "windows-1252");
}
