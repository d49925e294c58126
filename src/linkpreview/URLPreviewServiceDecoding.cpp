// SPDX-License-Identifier: MIT
// Page bytes to text: the declared charset, the charset named in the head, then likely encodings.
#include "linkpreview/MarkupScanner.h"
#include "linkpreview/URLPreviewService.h"

#include <QStringDecoder>

namespace {

constexpr qsizetype headBytes = 8192;

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
    struct Entry {
        std::initializer_list<const char16_t*> names;
        const char* encoding;
    };
    static const Entry table[] = {
        {{u"utf-8", u"utf8"}, "UTF-8"},
        {{u"gbk", u"gb2312", u"gb-2312", u"gb_2312-80"}, "GBK"},
        {{u"gb18030", u"gb-18030"}, "GB18030"},
        {{u"iso-8859-1", u"latin1", u"latin-1"}, "ISO-8859-1"},
        {{u"windows-1252", u"cp1252"}, "windows-1252"},
        {{u"euc-jp"}, "EUC-JP"},
        {{u"shift_jis", u"shift-jis", u"sjis"}, "Shift_JIS"},
        {{u"big5"}, "Big5"},
    };
    for (const auto& entry : table) {
        for (const char16_t* candidate : entry.names) {
            if (name == QStringView(candidate))
                return QByteArray(entry.encoding);
        }
    }
    if (name.isEmpty())
        return std::nullopt;
    for (QChar c : name) {
        if (c.unicode() > 0x7E || c.unicode() < 0x21)
            return std::nullopt;
    }
    // Other IANA names go to the converter's own table (ICU in Debian's Qt).
    QStringDecoder decoder(name.toLatin1().constData());
    if (!decoder.isValid())
        return std::nullopt;
    return QByteArray(decoder.name());
}

std::optional<QString> URLPreviewService::sniffMetaCharset(const QString& head) {
    MarkupScanner scanner(head);
    if (auto name = scanner.metaCharset())
        return name;
    if (auto content =
            scanner.metaContent(MarkupScanner::KeyAttribute::NameOrHttpEquiv, QStringLiteral("content-type")))
        return MarkupScanner::charsetParameter(*content);
    return std::nullopt;
}

QString URLPreviewService::decodeHTML(const QByteArray& body, const HTTPURLResponse& response) {
    if (auto contentType = response.value("Content-Type")) {
        if (auto charset = MarkupScanner::charsetParameter(QString::fromLatin1(*contentType))) {
            if (auto encoding = encodingForCharset(*charset)) {
                if (auto text = decodeWith(body, *encoding))
                    return *text;
            }
        }
    }

    const QByteArray head = body.left(headBytes);
    const QString headText = decodeWith(head, "UTF-8").value_or(QString::fromLatin1(head));
    if (auto charset = sniffMetaCharset(headText)) {
        if (auto encoding = encodingForCharset(*charset)) {
            if (auto text = decodeWith(body, *encoding))
                return *text;
        }
    }

    for (const char* encoding : {"UTF-8", "GB18030", "GBK", "EUC-JP", "Shift_JIS"}) {
        if (auto text = decodeWith(body, encoding))
            return *text;
    }
    return QString::fromLatin1(body);
}
