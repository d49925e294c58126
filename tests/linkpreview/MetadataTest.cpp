// SPDX-License-Identifier: MIT
#include "linkpreview/MarkupScanner.h"
#include "linkpreview/URLPreviewService.h"

#include "PrintQt.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

using Key = MarkupScanner::KeyAttribute;

std::optional<QString> str(const char* s) {
    return s ? std::optional<QString>(QString::fromUtf8(s)) : std::nullopt;
}

// The page expressions the scanner stands in for, run by a backtracking engine. The scanner must
// find exactly what these find.
std::optional<QString> regexFirst(const QString& pattern, QRegularExpression::PatternOptions options,
                                  const QString& text) {
    static QHash<QPair<QString, int>, QRegularExpression> compiled;
    auto it = compiled.find({pattern, int(options)});
    if (it == compiled.end())
        it = compiled.insert({pattern, int(options)}, QRegularExpression(pattern, options));
    const QRegularExpression& re = *it;
    EXPECT_TRUE(re.isValid()) << pattern.toStdString();
    const auto match = re.match(text);
    if (!match.hasMatch() || match.capturedStart(1) < 0)
        return std::nullopt;
    return match.captured(1);
}

constexpr auto ci = QRegularExpression::CaseInsensitiveOption;
constexpr auto ciDot = QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption;

QString keyFirstPattern(Key attribute, const QString& key) {
    const QString attr =
        attribute == Key::Property ? QStringLiteral("property") : QStringLiteral("(?:name|http-equiv)");
    return QStringLiteral(R"(<meta\b[^>]*\b)") + attr + QStringLiteral(R"(\s*=\s*["'])") +
           QRegularExpression::escape(key) + QStringLiteral(R"(["'][^>]*\bcontent\s*=\s*["']([^"']*)["'])");
}

QString contentFirstPattern(Key attribute, const QString& key) {
    const QString attr =
        attribute == Key::Property ? QStringLiteral("property") : QStringLiteral("(?:name|http-equiv)");
    return QStringLiteral(R"(<meta\b[^>]*\bcontent\s*=\s*["']([^"']*)["'][^>]*\b)") + attr +
           QStringLiteral(R"(\s*=\s*["'])") + QRegularExpression::escape(key) + QStringLiteral(R"(["'])");
}

QStringList regexAll(const QString& pattern, QRegularExpression::PatternOptions options, const QString& text, int max) {
    QStringList found;
    auto it = QRegularExpression(pattern, options).globalMatch(text);
    while (it.hasNext() && found.size() < max)
        found.append(it.next().captured(1));
    return found;
}

const QString kTitlePattern = QStringLiteral(R"(<title[^>]*>([\s\S]*?)</title>)");
const QString kJSONLDPattern =
    QStringLiteral(R"(<script[^>]*type\s*=\s*["']application/ld\+json["'][^>]*>([\s\S]*?)</script>)");
const QString kMetaCharsetPattern = QStringLiteral(R"(<meta[^>]*charset\s*=\s*["']?([\w-]+))");
const QString kCharsetPattern = QStringLiteral(R"(charset\s*=\s*['"]?([\w-]+))");

// Pieces of markup that exercise every branch of the expressions: attributes in both orders,
// quotes that do not pair, '>' inside values, missing quotes and tags that never close.
const char* const kTokens[] = {
    "<meta",
    "<META",
    " ",
    "  ",
    "\n",
    "\t",
    "property",
    "name",
    "http-equiv",
    "content",
    "=",
    "\"",
    "'",
    ">",
    "og:title",
    "OG:Title",
    "x",
    "a b",
    "<meta property=\"og:title\" ",
    "content=\"v1\"",
    "content='v2'",
    "<title>",
    "</title>",
    "<TITLE lang=en>",
    "<script",
    " type=\"application/ld+json\"",
    "</script>",
    "charset",
    "charset=utf-8",
    "charset = 'gbk'",
    "type",
    "<metadata",
    "_",
    "description",
    "twitter:title",
    "-",
    "/>",
    "<",
    "content-type",
    "text/html; charset=big5",
};

QString randomMarkup(QRandomGenerator& random) {
    QString text;
    const int count = random.bounded(1, 28);
    for (int i = 0; i < count; ++i)
        text += QString::fromUtf8(kTokens[random.bounded(int(std::size(kTokens)))]);
    return text;
}

} // namespace

TEST(MarkupScanner, FindsExactlyWhatThePageExpressionsFind) {
    QRandomGenerator random(20261207);
    int found = 0; // the inputs must make the expressions match often, or the comparison proves little
    const QString keys[] = {QStringLiteral("og:title"), QStringLiteral("description"), QStringLiteral("content-type"),
                            QStringLiteral("twitter:title")};
    for (int round = 0; round < 6000; ++round) {
        const QString text = randomMarkup(random);
        SCOPED_TRACE(text.toStdString());
        MarkupScanner scanner(text);
        for (const QString& key : keys) {
            for (Key attribute : {Key::Property, Key::NameOrHttpEquiv}) {
                ASSERT_EQ(scanner.metaContentKeyFirst(attribute, key),
                          regexFirst(keyFirstPattern(attribute, key), ciDot, text))
                    << "key first " << key.toStdString();
                ASSERT_EQ(scanner.metaContentContentFirst(attribute, key),
                          regexFirst(contentFirstPattern(attribute, key), ciDot, text))
                    << "content first " << key.toStdString();
            }
        }
        ASSERT_EQ(scanner.titleElement(), regexFirst(kTitlePattern, ciDot, text));
        ASSERT_EQ(scanner.jsonLDBlocks(5), regexAll(kJSONLDPattern, ci, text, 5));
        ASSERT_EQ(scanner.metaCharset(), regexFirst(kMetaCharsetPattern, ciDot, text));
        if (scanner.metaContent(Key::Property, keys[0]) || scanner.titleElement() || scanner.metaCharset())
            ++found;
        ASSERT_EQ(MarkupScanner::charsetParameter(text), regexFirst(kCharsetPattern, ciDot, text));
    }
    EXPECT_GT(found, 1000);
}

TEST(MarkupScanner, HostileMarkupGivesTheSameAnswersAsTheExpressions) {
    const QString runs[] = {
        QStringLiteral("<meta ").repeated(2000),
        QStringLiteral("<meta property=\"og:title\" ").repeated(500) + QStringLiteral("content=\"late\">"),
        QStringLiteral("<meta content=\"a\" ").repeated(500) + QStringLiteral("property='og:title'>"),
        QStringLiteral("<title>") + QStringLiteral("x").repeated(5000),
        QStringLiteral("<script type='application/ld+json'>{}").repeated(300),
    };
    for (const QString& text : runs) {
        MarkupScanner scanner(text);
        EXPECT_EQ(scanner.metaContentKeyFirst(Key::Property, QStringLiteral("og:title")),
                  regexFirst(keyFirstPattern(Key::Property, QStringLiteral("og:title")), ciDot, text));
        EXPECT_EQ(scanner.metaContentContentFirst(Key::Property, QStringLiteral("og:title")),
                  regexFirst(contentFirstPattern(Key::Property, QStringLiteral("og:title")), ciDot, text));
        EXPECT_EQ(scanner.titleElement(), regexFirst(kTitlePattern, ciDot, text));
        EXPECT_EQ(scanner.jsonLDBlocks(5), regexAll(kJSONLDPattern, ci, text, 5));
    }
}

TEST(MarkupScanner, HostileRunDoesNotHideALaterTag) {
    // A backtracking engine gives up on this at its match limit and reports no match at all.
    const QString text = QStringLiteral("<meta property=\"og:title\" content=x ").repeated(4000) +
                         QStringLiteral("><meta property=\"og:title\" content=\"real\">");
    MarkupScanner scanner(text);
    EXPECT_EQ(scanner.metaContent(Key::Property, QStringLiteral("og:title")), QStringLiteral("real"));
}

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
        {"unquoted property is not found", R"(<meta property=og:title content="No"><title>Yes</title>)", "Yes", nullptr,
         nullptr},
        {"apostrophe cuts a description", R"(<title>T</title><meta name="description" content="It's here">)", "T", "It",
         nullptr},
        {"emoji and bad numeric entities", "<title>Hi &#x1F600; &#55296; &#99999999999; &#X41;</title>",
         "Hi \xF0\x9F\x98\x80 &#55296; &#99999999999; &#X41;", nullptr, nullptr},
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
    EXPECT_EQ(URLPreviewService::cleanText(text), QString(100000, u'A'));
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
