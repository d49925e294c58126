// SPDX-License-Identifier: MIT
#pragma once
// What gumbo, a full HTML5 parser, reads from a page: the reference the page reader is compared
// with in the tests and the fuzzer.

#include <QString>
#include <QStringList>

#include <gumbo.h>

#include <array>
#include <optional>
#include <vector>

// The meta tags with a content and a key attribute, or a charset (property, name, http-equiv,
// content, charset), the first HTML title element's text and the JSON-LD scripts; template contents are not
// part of the page.
struct GumboReading {
    std::vector<std::array<std::optional<QString>, 5>> metas;
    std::optional<QString> title;
    QStringList jsonLD;
    bool unknownHTMLElement = false; // gumbo takes two elements of unknown names for the same one
    bool foreignOrNoscript = false;  // SVG/MathML or noscript elements in the tree
};

namespace gumboreading {

inline std::optional<QString> attribute(const GumboElement& element, const char* name) {
    const GumboAttribute* found = gumbo_get_attribute(&element.attributes, name);
    return found ? std::optional<QString>(QString::fromUtf8(found->value)) : std::nullopt;
}

inline QString childText(const GumboElement& element) {
    QString text;
    for (unsigned i = 0; i < element.children.length; ++i) {
        const auto* child = static_cast<const GumboNode*>(element.children.data[i]);
        if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_WHITESPACE)
            text += QString::fromUtf8(child->v.text.text);
    }
    return text;
}

inline void walk(const GumboNode* node, GumboReading& reading) {
    if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_DOCUMENT)
        return; // text, comments, and template contents (GUMBO_NODE_TEMPLATE)
    if (node->type == GUMBO_NODE_ELEMENT) {
        const GumboElement& element = node->v.element;
        const bool html = element.tag_namespace == GUMBO_NAMESPACE_HTML;
        reading.unknownHTMLElement = reading.unknownHTMLElement || (html && element.tag == GUMBO_TAG_UNKNOWN);
        reading.foreignOrNoscript = reading.foreignOrNoscript || !html || element.tag == GUMBO_TAG_NOSCRIPT;
        if (html && element.tag == GUMBO_TAG_META) {
            auto property = attribute(element, "property");
            auto name = attribute(element, "name");
            auto httpEquiv = attribute(element, "http-equiv");
            auto content = attribute(element, "content");
            auto charset = attribute(element, "charset");
            if ((content && (property || name || httpEquiv)) || charset)
                reading.metas.push_back({property, name, httpEquiv, content, charset});
        } else if (html && element.tag == GUMBO_TAG_TITLE && !reading.title) {
            reading.title = childText(element);
        } else if (html && element.tag == GUMBO_TAG_SCRIPT && reading.jsonLD.size() < 5) {
            const auto type = attribute(element, "type");
            if (type && type->trimmed().compare(u"application/ld+json", Qt::CaseInsensitive) == 0)
                reading.jsonLD.append(childText(element));
        }
    }
    const GumboVector& children =
        node->type == GUMBO_NODE_DOCUMENT ? node->v.document.children : node->v.element.children;
    for (unsigned i = 0; i < children.length; ++i)
        walk(static_cast<const GumboNode*>(children.data[i]), reading);
}

} // namespace gumboreading

// The content of the first meta tag whose property (or else name or http-equiv) is key, ASCII
// case-insensitively.
inline std::optional<QString> firstContent(const GumboReading& reading, bool byProperty, const QString& key) {
    auto is = [&key](const std::optional<QString>& value) {
        return value && value->compare(key, Qt::CaseInsensitive) == 0 && !value->contains(QChar(0x17F)) &&
               !value->contains(QChar(0x212A));
    };
    for (const auto& [property, name, httpEquiv, content, charset] : reading.metas) {
        if (content && (byProperty ? is(property) : (is(name) || is(httpEquiv))))
            return content;
    }
    return std::nullopt;
}

inline GumboReading readWithGumbo(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    GumboOutput* output = gumbo_parse_with_options(&kGumboDefaultOptions, utf8.constData(), size_t(utf8.size()));
    GumboReading reading;
    gumboreading::walk(output->document, reading);
    gumbo_destroy_output(&kGumboDefaultOptions, output);
    return reading;
}
