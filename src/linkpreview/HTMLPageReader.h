// SPDX-License-Identifier: MIT
#pragma once

#include <QSet>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>
#include <vector>

// Reads what a link preview needs from page text the way an HTML parser tokenizes it: tags, quoted
// and unquoted attribute values with their character references, comments, and the raw text of
// script, style, title, textarea and the like, in which nothing is a tag.
//
// It keeps no document tree. The few decisions of a parser's tree construction that change the
// tokens are made here too: which elements hold raw text, the contents of template elements
// (parsed, but not part of the page), and SVG/MathML content (where title and style are not HTML).
// Time is linear in the text and memory is bounded by what is kept: one title, the meta tags that
// carry a value, and the first few JSON-LD blocks.
class HTMLPageReader {
public:
    struct Meta {
        // Attribute values with references resolved; absent when the tag has no such attribute.
        std::optional<QString> property;
        std::optional<QString> name;
        std::optional<QString> httpEquiv;
        std::optional<QString> content;
        std::optional<QString> charset;
    };

    struct Page {
        // In document order: for each key, the first meta tag with that key and a content attribute
        // (later ones can never be found), and the first few that name a charset.
        std::vector<Meta> metas;
        std::optional<QString> title; // text of the first HTML title element, references resolved
        QStringList jsonLD;           // raw text of the first JSON-LD script elements
    };

    // keys: the only key attribute values (lowercase) whose meta tags are kept; empty keeps every
    // key. Either way memory stays a fraction of the page's, whatever the page repeats.
    static Page read(QStringView text, int maximumJSONLDBlocks, const QSet<QString>& keys = {});

    // The first meta tag whose key attribute equals key (ASCII case-insensitively) and that has a
    // content attribute: that content.
    enum class KeyAttribute { Property, NameOrHttpEquiv };
    static std::optional<QString> metaContent(const Page& page, KeyAttribute attribute, QStringView key);

    // The charsets a page's meta tags declare, in document order, as a browser's pre-scan finds
    // them: a charset attribute, or http-equiv "content-type" with a content naming a charset.
    static QStringList declaredCharsets(const Page& page);

    // The charset parameter of a Content-Type value ("text/html; charset=gbk"), quotes removed.
    static std::optional<QString> charsetParameter(QStringView contentType);
};
