// SPDX-License-Identifier: MIT
#include "linkpreview/URLPreviewService.h"

#include "PrintQt.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

namespace {

std::optional<QString> str(const char* s) {
    return s ? std::optional<QString>(QString::fromUtf8(s)) : std::nullopt;
}

} // namespace

struct MetadataCase {
    const char* name;
    const char* html;
    const char* title;
    const char* description;
    const char* imageURL;
};

TEST(ParseMetadata, PrecedenceAndCleaning) {
    const MetadataCase cases[] = {
        {"og title with entity wins over title element",
         R"(<title>Other</title><meta property="og:title" content="Tom &amp; Jerry">)", "Tom & Jerry", nullptr,
         nullptr},
        {"empty og title falls through to title element",
         R"(<meta property="og:title" content=""><title> Real  Title </title>)", "Real Title", nullptr, nullptr},
        {"empty og image ends the image search",
         R"(<meta property="og:image" content=""><meta name="twitter:image" content="/t.png"><title>T</title>)", "T",
         nullptr, nullptr},
        {"content first, property second", R"(<meta content="Reversed" property="og:title">)", "Reversed", nullptr,
         nullptr},
        {"emoji and bad numeric references", "<title>Hi &#x1F600; &#55296; &#99999999999; &#X41;</title>",
         "Hi \xF0\x9F\x98\x80 \xEF\xBF\xBD \xEF\xBF\xBD A", nullptr, nullptr},
        {"multi-line title with tabs and nbsp", "<title>\n\tOne\n\t&nbsp;two\t\tthree\n</title>", "One two three",
         nullptr, nullptr},
        {"twitter card title and description",
         R"(<meta name="twitter:title" content="Tw"><meta name="twitter:description" content="TwD">)", "Tw", "TwD",
         nullptr},
        {"twitter title wins over title element", R"(<title>Element</title><meta name="twitter:title" content="Card">)",
         "Card", nullptr, nullptr},
        {"og image secure url then twitter image src",
         R"(<meta property="og:image:secure_url" content="https://cdn.test/a.png"><title>T</title>)", "T", nullptr,
         "https://cdn.test/a.png"},
        {"twitter image src", R"(<meta name="twitter:image:src" content="/s.png"><title>T</title>)", "T", nullptr,
         "https://example.test/s.png"},
        {"protocol relative image", R"(<meta property="og:image" content="//cdn.test/p.png"><title>T</title>)", "T",
         nullptr, "https://cdn.test/p.png"},
        {"bare file name in subdirectory", R"(<meta property="og:image" content="pic.png"><title>T</title>)", "T",
         nullptr, "https://example.test/dir/pic.png"},
        {"data url gives no image", R"(<meta property="og:image" content="data:image/png;base64,AAA"><title>T</title>)",
         "T", nullptr, nullptr},
        {"entities in image url are decoded",
         R"(<meta property="og:image" content="/i.png?a=1&amp;b=2"><title>T</title>)", "T", nullptr,
         "https://example.test/i.png?a=1&b=2"},
        {"json-ld headline and image list",
         R"(<script type="application/ld+json">{"headline":"LD","description":"LDD","image":[{"x":1},{"url":"/ld.png"}]}</script>)",
         "LD", "LDD", "https://example.test/ld.png"},
        {"json-ld array of objects, name used when no headline",
         R"(<script type="application/ld+json">[{"name":"N1"},{"image":"/n.png"}]</script>)", "N1", nullptr,
         "https://example.test/n.png"},
        {"json-ld array with a non-object is skipped",
         R"(<script type="application/ld+json">[{"name":"N1"}, 3]</script>)", nullptr, nullptr, nullptr},
        {"json-ld runs for a missing image when a title exists",
         R"(<title>T</title><script type="application/ld+json">{"image":{"url":"/o.png"},"description":"D"}</script>)",
         "T", "D", "https://example.test/o.png"},
        {"json-ld does not run only for a description",
         R"(<title>T</title><meta property="og:image" content="/i.png"><script type="application/ld+json">{"description":"D"}</script>)",
         "T", nullptr, "https://example.test/i.png"},
        {"invalid json-ld is skipped, later block used",
         R"(<script type="application/ld+json">{bad</script><script type="application/ld+json">{"name":"Good"}</script>)",
         "Good", nullptr, nullptr},
        {"nothing at all", "<html><body>plain</body></html>", nullptr, nullptr, nullptr},
        {"escaped entity stays an entity", "<title>&amp;lt;b&amp;gt;</title>", "&lt;b&gt;", nullptr, nullptr},
    };
    const QUrl page(QStringLiteral("https://example.test/dir/page.html"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto metadata = URLPreviewService::parseMetadata(QString::fromUtf8(c.html), page);
        EXPECT_EQ(metadata.title, str(c.title));
        EXPECT_EQ(metadata.description, str(c.description));
        const std::optional<QString> image =
            metadata.imageURL ? std::optional<QString>(metadata.imageURL->toString()) : std::nullopt;
        EXPECT_EQ(image, str(c.imageURL));
    }
}

TEST(ParseMetadata, OnlyTheFirstFiveJSONLDBlocksAreRead) {
    QString html;
    for (int i = 1; i <= 7; ++i) {
        const QString body = i == 6 ? QStringLiteral(R"({"image":"/six.png"})") : QStringLiteral("{}");
        html += QStringLiteral(R"(<script type="application/ld+json">)") + body + QStringLiteral("</script>");
    }
    const auto metadata = URLPreviewService::parseMetadata(html, QUrl(QStringLiteral("https://example.test/")));
    EXPECT_FALSE(metadata.imageURL.has_value());
    EXPECT_EQ(URLPreviewService::parseJSONLD(html).image, std::nullopt);
}

TEST(ParseMetadata, JSONLDImageValueShapes) {
    auto parse = [](const char* json) { return QJsonDocument::fromJson(QByteArray("[") + json + "]").array().at(0); };
    EXPECT_EQ(URLPreviewService::jsonLDImageString(parse(R"("a.png")")), QStringLiteral("a.png"));
    EXPECT_EQ(URLPreviewService::jsonLDImageString(parse(R"({"url":"b.png"})")), QStringLiteral("b.png"));
    EXPECT_EQ(URLPreviewService::jsonLDImageString(parse(R"({"url":5})")), std::nullopt);
    EXPECT_EQ(URLPreviewService::jsonLDImageString(parse(R"([1,{"u":2},[["c.png"]],"d.png"])")),
              QStringLiteral("c.png"));
    EXPECT_EQ(URLPreviewService::jsonLDImageString(parse("null")), std::nullopt);
    EXPECT_EQ(URLPreviewService::jsonLDImageString(QJsonValue(QJsonValue::Undefined)), std::nullopt);
}

TEST(CleanText, EntitiesAndWhiteSpace) {
    const std::pair<const char*, const char*> cases[] = {
        {"  a \n\n b  ", "a b"},
        {"&#x41;&#66;&lt;&gt;&quot;&apos;&#39;", "AB<>\"''"},
        {"&#x;&#;&#xZZ;&#12", "&#x;&#;&#xZZ;&#12"},
        {"&#x26;#65;", "A"}, // hexadecimal first, then decimal over the result
        {"&#x0;", "\0"},
        {"&#1114111;x", "\xF4\x8F\xBF\xBFx"},
        {"&#1114112;", "&#1114112;"},
        {"&#x&#x41;", "&#xA"},
        {"pay \xE2\x80\xAEtxt.exe\xE2\x80\xAC &#x2067;x&#x2069;", "pay txt.exe x"},
        {" \t ", nullptr},
        {"&nbsp;", nullptr},
        {"", nullptr},
    };
    for (const auto& [input, expected] : cases) {
        SCOPED_TRACE(input);
        const auto result = URLPreviewService::cleanText(QString::fromUtf8(input));
        if (expected && expected[0] == '\0' && std::string(input) == "&#x0;") {
            ASSERT_TRUE(result.has_value());
            EXPECT_EQ(*result, QString(QChar(0)));
            continue;
        }
        EXPECT_EQ(result, str(expected));
    }
    EXPECT_EQ(URLPreviewService::cleanText(std::nullopt), std::nullopt);
}

TEST(CleanText, ManyEntitiesAreReplacedInOnePass) {
    const QString text = QStringLiteral("&#x41;").repeated(100000);
    EXPECT_EQ(URLPreviewService::cleanText(text), QString(URLPreviewService::maximumTextLength, u'A'));
}

// A page may hold a title of nearly its whole megabyte; what is kept is a beginning of it that ends
// between two characters, whatever source it came from.
TEST(ParseMetadata, HugeValuesAreCutBetweenCharacters) {
    const QString accented = QStringLiteral(u"e\u0301\u0302");                            // 3 code units
    const QString family = QStringLiteral(u"\U0001F468\u200D\U0001F469\u200D\U0001F467"); // 8 code units
    const struct {
        QString unit;
        QString lead;
        qsizetype kept;
    } texts[] = {{accented, QString(), 1998}, {family, QStringLiteral("x"), 1993}};
    const char* const pages[] = {"<title>%1</title>", R"(<meta property="og:title" content="%1">)",
                                 R"(<script type="application/ld+json">{"headline":"%1"}</script>)"};
    const char* const descriptions[] = {
        R"(<title>T</title><meta name="description" content="%1">)",
        R"(<title>T</title><script type="application/ld+json">{"description":"%1"}</script>)"};
    for (const auto& text : texts) {
        const QString value = text.lead + text.unit.repeated(300000 / text.unit.size());
        const QString expected = value.left(text.kept);
        for (const char* page : pages) {
            SCOPED_TRACE(page);
            const auto metadata = URLPreviewService::parseMetadata(QString::fromUtf8(page).arg(value), QUrl());
            EXPECT_EQ(metadata.title, expected);
        }
        for (const char* page : descriptions) {
            SCOPED_TRACE(page);
            const auto metadata = URLPreviewService::parseMetadata(QString::fromUtf8(page).arg(value), QUrl());
            EXPECT_EQ(metadata.description, expected);
        }
    }
}

TEST(ResolveImageURL, Forms) {
    const QUrl https(QStringLiteral("https://example.test/a/b/page"));
    const QUrl http(QStringLiteral("http://example.test/page"));
    const std::tuple<const char*, QUrl, const char*> cases[] = {
        {"  https://cdn.test/x.png  ", https, "https://cdn.test/x.png"},
        {"//cdn.test/y.png", http, "http://cdn.test/y.png"},
        {"//cdn.test/y.png", QUrl(), "https://cdn.test/y.png"},
        {"/root.png", https, "https://example.test/root.png"},
        {"../up.png", https, "https://example.test/a/up.png"},
        {"with space.png", https, "https://example.test/a/b/with%20space.png"},
        {"data:image/png;base64,xyz", https, nullptr},
        {"   ", https, nullptr},
        {"http://[bad", https, nullptr},
    };
    for (const auto& [input, page, expected] : cases) {
        SCOPED_TRACE(input);
        const auto url = URLPreviewService::resolveImageURL(QString::fromUtf8(input), page);
        EXPECT_EQ(url ? std::optional<QString>(url->toString(QUrl::FullyEncoded)) : std::nullopt, str(expected));
    }
}

TEST(MetaLookup, PublicHelpersAndTwitterTitleKey) {
    const QString html = QStringLiteral(R"(<META HTTP-EQUIV="Content-Type" CONTENT="text/html; charset=gbk">)"
                                        R"(<meta name="twitter:title" content="TT">)");
    EXPECT_EQ(URLPreviewService::metaNameContent(html, QStringLiteral("content-type")),
              QStringLiteral("text/html; charset=gbk"));
    EXPECT_EQ(URLPreviewService::metaNameContent(html, URLPreviewService::twitterTitleKey), QStringLiteral("TT"));
    EXPECT_EQ(URLPreviewService::metaPropertyContent(html, URLPreviewService::twitterTitleKey), std::nullopt);
}
