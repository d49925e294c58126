// SPDX-License-Identifier: MIT
// Title, description and image of a page, from its meta tags, title element and JSON-LD.
#include "linkpreview/CharacterReferences.h"
#include "linkpreview/HTMLPageReader.h"
#include "linkpreview/URLPreviewService.h"
#include "platform/TextLimits.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

using Key = HTMLPageReader::KeyAttribute;

constexpr int maximumJSONLDBlocks = 5;

bool isHexDigit(QChar c) {
    const char16_t u = c.unicode();
    return (u >= u'0' && u <= u'9') || (u >= u'a' && u <= u'f') || (u >= u'A' && u <= u'F');
}

// Hexadecimal, decimal, then named entities; no white-space handling.
QString decodeEntities(const QString& text) {
    QString result = URLPreviewService::replaceNumericEntities(text, 16);
    result = URLPreviewService::replaceNumericEntities(result, 10);
    return CharacterReferences::decodeNamed(result);
}

// Runs of white space (every character Unicode counts as one, U+000B and U+0085 too) become one
// space; the ends are trimmed; nothing left is none. What is kept ends at a character boundary
// within maximumTextLength. Controls that embed, override or isolate a direction are dropped: a
// page could use them to show a title's words in another order than they are written.
bool isDirectionControl(QChar c) {
    const char16_t u = c.unicode();
    return (u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069);
}

std::optional<QString> collapseWhiteSpace(const QString& text) {
    QString collapsed(text.size(), Qt::Uninitialized);
    QChar* out = collapsed.data();
    bool inSpace = true; // drops leading white space
    for (QChar c : text) {
        if (isDirectionControl(c))
            continue;
        if (c.isSpace()) {
            if (!inSpace)
                *out++ = u' ';
            inSpace = true;
        } else {
            *out++ = c;
            inSpace = false;
        }
    }
    collapsed.truncate(out - collapsed.constData());
    collapsed = TextLimits::prefixAtGraphemeBoundary(collapsed, URLPreviewService::maximumTextLength);
    if (collapsed.endsWith(u' '))
        collapsed.chop(1);
    if (collapsed.isEmpty())
        return std::nullopt;
    return collapsed;
}

// A value the page reader found: its references are resolved already.
std::optional<QString> cleanReadText(const std::optional<QString>& text) {
    return text ? collapseWhiteSpace(*text) : std::nullopt;
}

URLPreviewService::JSONLDValues parseJSONLDBlocks(const QStringList& blocks) {
    URLPreviewService::JSONLDValues values;
    for (const QString& block : blocks) {
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(block.trimmed().toUtf8(), &error);
        if (error.error != QJsonParseError::NoError)
            continue;
        QList<QJsonObject> nodes;
        if (document.isObject()) {
            nodes.append(document.object());
        } else if (document.isArray()) {
            const QJsonArray array = document.array();
            bool allObjects = true;
            for (const auto& element : array)
                allObjects = allObjects && element.isObject();
            if (!allObjects)
                continue;
            for (const auto& element : array)
                nodes.append(element.toObject());
        } else {
            continue;
        }
        for (const QJsonObject& node : nodes) {
            if (!values.title) {
                if (node.value(u"headline").isString())
                    values.title = node.value(u"headline").toString();
                else if (node.value(u"name").isString())
                    values.title = node.value(u"name").toString();
            }
            if (!values.description && node.value(u"description").isString())
                values.description = node.value(u"description").toString();
            if (!values.image)
                values.image = URLPreviewService::jsonLDImageString(node.value(u"image"));
        }
    }
    return values;
}

} // namespace

std::optional<QString> URLPreviewService::metaPropertyContent(const QString& html, const QString& key) {
    return HTMLPageReader::metaContent(HTMLPageReader::read(html, 0, {key.toLower()}), Key::Property, key);
}

std::optional<QString> URLPreviewService::metaNameContent(const QString& html, const QString& key) {
    return HTMLPageReader::metaContent(HTMLPageReader::read(html, 0, {key.toLower()}), Key::NameOrHttpEquiv, key);
}

URLPreviewService::JSONLDValues URLPreviewService::parseJSONLD(const QString& html) {
    return parseJSONLDBlocks(HTMLPageReader::read(html, maximumJSONLDBlocks).jsonLD);
}

std::optional<QString> URLPreviewService::jsonLDImageString(const QJsonValue& value) {
    if (value.isString())
        return value.toString();
    if (value.isObject()) {
        const QJsonValue url = value.toObject().value(u"url");
        if (url.isString())
            return url.toString();
        return std::nullopt;
    }
    if (value.isArray()) {
        for (const auto& element : value.toArray()) {
            if (auto found = jsonLDImageString(element))
                return found;
        }
    }
    return std::nullopt;
}

QString URLPreviewService::replaceNumericEntities(const QString& text, int radix) {
    const bool hex = radix == 16;
    const qsizetype prefixLength = hex ? 3 : 2;
    const qsizetype n = text.size();
    const QChar* chars = text.constData();
    QString result;
    qsizetype copied = 0;
    for (qsizetype i = 0; i + prefixLength < n; ++i) {
        if (chars[i] != u'&' || chars[i + 1] != u'#' || (hex && chars[i + 2] != u'x'))
            continue;
        const qsizetype start = i + prefixLength;
        qsizetype j = start;
        while (j < n && (hex ? isHexDigit(chars[j]) : chars[j].isDigit()))
            ++j;
        if (j == start || j >= n || chars[j] != u';')
            continue;
        // A match: whatever it holds, the next search starts after it.
        const QStringView digits = QStringView(text).sliced(start, j - start);
        bool ok = std::all_of(digits.begin(), digits.end(), [](QChar c) { return c.unicode() < 0x80; });
        const uint code = ok ? digits.toUInt(&ok, radix) : 0;
        if (ok && code <= 0x10FFFF && !(code >= 0xD800 && code <= 0xDFFF)) {
            if (result.isNull())
                result.reserve(n);
            result.append(QStringView(text).sliced(copied, i - copied));
            const char32_t scalar = code;
            result.append(QString::fromUcs4(&scalar, 1));
            copied = j + 1;
        }
        i = j;
    }
    if (copied == 0)
        return text;
    result.append(QStringView(text).sliced(copied));
    return result;
}

std::optional<QString> URLPreviewService::cleanText(const std::optional<QString>& text) {
    if (!text)
        return std::nullopt;
    return collapseWhiteSpace(decodeEntities(*text));
}

std::optional<QUrl> URLPreviewService::resolveImageURL(const QString& string, const QUrl& pageURL) {
    const QString trimmed = string.trimmed();
    if (trimmed.isEmpty() || trimmed.startsWith(u"data:"))
        return std::nullopt;
    QUrl url;
    if (trimmed.startsWith(u"http://") || trimmed.startsWith(u"https://")) {
        url = QUrl(trimmed, QUrl::TolerantMode);
    } else if (trimmed.startsWith(u"//")) {
        const QString scheme = pageURL.scheme().isEmpty() ? QStringLiteral("https") : pageURL.scheme();
        url = QUrl(scheme + u':' + trimmed, QUrl::TolerantMode);
    } else {
        const QUrl relative(trimmed, QUrl::TolerantMode);
        if (!relative.isValid())
            return std::nullopt;
        url = pageURL.resolved(relative);
    }
    if (!url.isValid() || url.isRelative())
        return std::nullopt;
    return url;
}

URLPreviewService::PageMetadata URLPreviewService::parseMetadata(const QString& html, const QUrl& pageURL) {
    // One reading of the page serves every lookup; each source is still consulted only when an
    // earlier one left its field empty. Values read from the markup have their references resolved
    // once, as a browser resolves them; the JSON-LD strings get the entity decoding of cleanText.
    static const QSet<QString> keys = {QStringLiteral("og:title"),
                                       QStringLiteral("og:description"),
                                       QStringLiteral("og:image"),
                                       QStringLiteral("og:image:secure_url"),
                                       QStringLiteral("og:image:url"),
                                       twitterTitleKey,
                                       QStringLiteral("twitter:description"),
                                       QStringLiteral("twitter:image"),
                                       QStringLiteral("twitter:image:src"),
                                       QStringLiteral("description")};
    const HTMLPageReader::Page page = HTMLPageReader::read(html, maximumJSONLDBlocks, keys);
    auto property = [&page](QStringView key) { return HTMLPageReader::metaContent(page, Key::Property, key); };
    auto name = [&page](QStringView key) { return HTMLPageReader::metaContent(page, Key::NameOrHttpEquiv, key); };

    PageMetadata metadata;
    metadata.title = cleanReadText(property(u"og:title"));
    metadata.description = cleanReadText(property(u"og:description"));
    std::optional<QString> image = property(u"og:image");
    if (!image)
        image = property(u"og:image:secure_url");
    if (!image)
        image = property(u"og:image:url");

    if (!metadata.title)
        metadata.title = cleanReadText(name(twitterTitleKey));
    if (!metadata.description)
        metadata.description = cleanReadText(name(u"twitter:description"));
    if (!image)
        image = name(u"twitter:image");
    if (!image)
        image = name(u"twitter:image:src");

    if (!metadata.title)
        metadata.title = cleanReadText(page.title);
    if (!metadata.description)
        metadata.description = cleanReadText(name(u"description"));

    if (!metadata.title || !image) {
        const JSONLDValues structured = parseJSONLDBlocks(page.jsonLD);
        if (!metadata.title)
            metadata.title = cleanText(structured.title);
        if (!image && structured.image)
            image = decodeEntities(*structured.image);
        if (!metadata.description)
            metadata.description = cleanText(structured.description);
    }

    if (image)
        metadata.imageURL = resolveImageURL(*image, pageURL);
    return metadata;
}
