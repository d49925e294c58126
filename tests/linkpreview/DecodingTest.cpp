// SPDX-License-Identifier: MIT
#include "linkpreview/URLPreviewService.h"

#include "PrintQt.h"

#include <QRandomGenerator>
#include <QStringEncoder>

#include <gtest/gtest.h>

namespace {

QByteArray encode(const char* encoding, const QString& text) {
    QStringEncoder encoder(encoding);
    EXPECT_TRUE(encoder.isValid()) << encoding;
    QByteArray bytes = encoder.encode(text);
    EXPECT_FALSE(encoder.hasError()) << encoding;
    return bytes;
}

HTTPURLResponse withContentType(const QByteArray& value) {
    HTTPURLResponse response;
    response.statusCode = 200;
    if (!value.isEmpty())
        response.headerFields.append({"Content-Type", value});
    return response;
}

const QString kChinese = QStringLiteral(u"中文标题：网页预览");
const QString kJapanese = QStringLiteral(u"日本語のタイトル");
const QString kRussian = QStringLiteral(u"Заголовок страницы");

} // namespace

TEST(EncodingForCharset, NameTable) {
    const std::tuple<const char*, const char*, QString> cases[] = {
        {"utf-8", "UTF-8", kChinese},
        {"UTF8", "UTF-8", kChinese},
        {"GB2312", "GBK", kChinese},
        {"gb_2312-80", "GBK", kChinese},
        {"gb-18030", "GB18030", kChinese},
        {"latin-1", "ISO-8859-1", QStringLiteral(u"Aé")},
        {"cp1252", "windows-1252", QStringLiteral(u"A€")},
        {"EUC-JP", "EUC-JP", kJapanese},
        {"sjis", "Shift_JIS", kJapanese},
        {"  Big5 \n", "Big5", QStringLiteral(u"中文")},
        {"windows-1251", "windows-1251", kRussian},
        {"koi8-r", "KOI8-R", kRussian},
        {"", nullptr, {}},
        {"no-such-charset-x", nullptr, {}},
        {"utf 8", nullptr, {}},
    };
    for (const auto& [name, expected, sampleText] : cases) {
        SCOPED_TRACE(name);
        const auto encoding = URLPreviewService::encodingForCharset(QString::fromUtf8(name));
        if (!expected) {
            EXPECT_FALSE(encoding.has_value());
            continue;
        }
        ASSERT_TRUE(encoding.has_value());
        // Compare by what the decoder does, not by its spelling of the name.
        const QByteArray sample = encode(expected, sampleText);
        EXPECT_EQ(URLPreviewService::decodeWith(sample, *encoding), sampleText);
    }
}

TEST(DecodeHTML, DeclarationsInOrder) {
    const QString gbkPage = QStringLiteral("<html><head><meta charset=\"utf-8\"><title>") + kChinese +
                            QStringLiteral("</title></head></html>");
    const QString padding = QStringLiteral("<!--") + QString(9000, u'p') + QStringLiteral("-->");

    struct Case {
        const char* name;
        QByteArray body;
        QByteArray contentType;
        QString expectedContains;
    };
    const Case cases[] = {
        {"header charset wins over meta", encode("GBK", gbkPage), "text/html; charset=GBK", kChinese},
        {"quoted header charset", encode("GBK", gbkPage), "text/html; charset=\"gbk\"", kChinese},
        {"header utf-8 but bytes are not: meta decides",
         encode("Shift_JIS",
                QStringLiteral("<meta charset=\"Shift_JIS\"><title>") + kJapanese + QStringLiteral("</title>")),
         "text/html; charset=utf-8", kJapanese},
        {"meta charset Shift_JIS, no header",
         encode("Shift_JIS",
                QStringLiteral("<meta charset=Shift_JIS><title>") + kJapanese + QStringLiteral("</title>")),
         "text/html", kJapanese},
        {"http-equiv with content first",
         encode("windows-1251", QStringLiteral("<meta content=\"text/html; charset=windows-1251\" "
                                               "http-equiv=\"Content-Type\"><title>") +
                                    kRussian + QStringLiteral("</title>")),
         "", kRussian},
        {"windows-1251 in the header",
         encode("windows-1251", QStringLiteral("<title>") + kRussian + QStringLiteral("</title>")),
         "text/html;charset=windows-1251", kRussian},
        {"utf-8 without any declaration", (QStringLiteral("<title>") + kChinese + QStringLiteral("</title>")).toUtf8(),
         "", kChinese},
        // C3 A9 is "é" in UTF-8 and a Chinese character in GB 18030: UTF-8 is tried first.
        {"valid in utf-8 and gb 18030", QByteArray("<title>caf\xC3\xA9</title>"), "", QStringLiteral(u"café")},
        {"gbk without declaration falls to GB 18030", encode("GBK", QStringLiteral("<title>") + kChinese), "",
         kChinese},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString text = URLPreviewService::decodeHTML(c.body, withContentType(c.contentType));
        EXPECT_TRUE(text.contains(c.expectedContains)) << text.left(200).toStdString();
    }
}

TEST(DecodeHTML, MetaCharsetAfterTheHeadIsNotSeen) {
    // windows-1251 bytes that are not UTF-8, declared only after the first 8192 bytes.
    const QString page =
        QStringLiteral("<!--") + QString(9000, u'p') + QStringLiteral("--><meta charset=windows-1251>") + kRussian;
    const QByteArray body = encode("windows-1251", page);
    const QString text = URLPreviewService::decodeHTML(body, withContentType("text/html"));
    EXPECT_FALSE(text.contains(kRussian));
    EXPECT_TRUE(text.contains(QStringLiteral("<meta charset=windows-1251>")));
}

TEST(DecodeHTML, UTF8CutInsideACharacterStaysUTF8) {
    // A page cut at the byte limit may end in the middle of a character.
    QByteArray body = (QStringLiteral("<title>") + kChinese + QStringLiteral("</title>")).toUtf8();
    body.chop(9); // "</title>" and one byte of the last character
    const QString text = URLPreviewService::decodeHTML(body, withContentType("text/html; charset=utf-8"));
    EXPECT_TRUE(text.startsWith(QStringLiteral("<title>") + kChinese.chopped(1)));
}

TEST(DecodeHTML, BytesThatMakeNoCharacterDoNotFit) {
    // Found by fuzzing: one byte under a two-byte charset decoded to an empty page.
    const QString text =
        URLPreviewService::decodeHTML(QByteArray("\x9e"), withContentType("text/html; charset=utf-16"));
    EXPECT_FALSE(text.isEmpty());
    EXPECT_EQ(URLPreviewService::decodeWith(QByteArray("\xe4\xb8"), "UTF-8"), std::nullopt);
}

TEST(DecodeHTML, RandomBytesAlwaysDecode) {
    QRandomGenerator random(7);
    for (int round = 0; round < 50; ++round) {
        QByteArray bytes(random.bounded(1, 4000), Qt::Uninitialized);
        for (auto& b : bytes)
            b = char(random.bounded(256));
        const QString text = URLPreviewService::decodeHTML(bytes, withContentType("text/html; charset=bogus"));
        EXPECT_FALSE(text.isEmpty());
    }
}

TEST(SniffMetaCharset, Forms) {
    const std::pair<const char*, const char*> cases[] = {
        {"<meta charset=\"gbk\">", "gbk"},
        {"<META CHARSET='Shift_JIS' />", "Shift_JIS"},
        {"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=euc-jp\">", "euc-jp"},
        {"<meta content='text/html; charset=big5' http-equiv='content-type'>", "big5"},
        {"<meta name=\"x\"><p>charset=utf-8</p>", nullptr},
        {"<meta charset=>", nullptr},
        {"", nullptr},
    };
    for (const auto& [head, expected] : cases) {
        SCOPED_TRACE(head);
        const auto found = URLPreviewService::sniffMetaCharset(QString::fromUtf8(head));
        EXPECT_EQ(found, expected ? std::optional<QString>(QString::fromUtf8(expected)) : std::nullopt);
    }
}
