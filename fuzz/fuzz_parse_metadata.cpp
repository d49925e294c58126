// SPDX-License-Identifier: MIT
// Metadata extraction on arbitrary text. Inputs of up to 4 KiB without SVG or MathML are also read
// by gumbo, a full HTML5 parser: the meta tags, the title and the JSON-LD blocks must agree.
#include "linkpreview/HTMLPageReader.h"
#include "linkpreview/URLPreviewService.h"

#include <gumbo.h>

#include <array>
#include <cstdlib>

namespace {

using Metas = std::vector<std::array<std::optional<QString>, 5>>;

struct Tree {
    Metas metas;
    std::optional<QString> title;
    QStringList jsonLD;
    bool comparable = true;
};

std::optional<QString> attribute(const GumboElement& element, const char* name) {
    const GumboAttribute* found = gumbo_get_attribute(&element.attributes, name);
    return found ? std::optional<QString>(QString::fromUtf8(found->value)) : std::nullopt;
}

QString childText(const GumboElement& element) {
    QString text;
    for (unsigned i = 0; i < element.children.length; ++i) {
        const auto* child = static_cast<const GumboNode*>(element.children.data[i]);
        if (child->type == GUMBO_NODE_TEXT || child->type == GUMBO_NODE_WHITESPACE)
            text += QString::fromUtf8(child->v.text.text);
    }
    return text;
}

void walk(const GumboNode* node, Tree& tree) {
    if (node->type != GUMBO_NODE_ELEMENT && node->type != GUMBO_NODE_DOCUMENT)
        return;
    if (node->type == GUMBO_NODE_ELEMENT) {
        const GumboElement& e = node->v.element;
        if (e.tag_namespace != GUMBO_NAMESPACE_HTML || e.tag == GUMBO_TAG_UNKNOWN || e.tag == GUMBO_TAG_NOSCRIPT)
            tree.comparable = false; // foreign content and gumbo's unknown-tag matching: approximations
        if (e.tag == GUMBO_TAG_META) {
            auto content = attribute(e, "content");
            auto charset = attribute(e, "charset");
            if (content || charset)
                tree.metas.push_back(
                    {attribute(e, "property"), attribute(e, "name"), attribute(e, "http-equiv"), content, charset});
        } else if (e.tag == GUMBO_TAG_TITLE && !tree.title) {
            tree.title = childText(e);
        } else if (e.tag == GUMBO_TAG_SCRIPT && tree.jsonLD.size() < 5) {
            const auto type = attribute(e, "type");
            if (type && type->trimmed().compare(u"application/ld+json", Qt::CaseInsensitive) == 0)
                tree.jsonLD.append(childText(e));
        }
    }
    const GumboVector& children =
        node->type == GUMBO_NODE_DOCUMENT ? node->v.document.children : node->v.element.children;
    for (unsigned i = 0; i < children.length; ++i)
        walk(static_cast<const GumboNode*>(children.data[i]), tree);
}

// gumbo turns control characters and noncharacters into U+FFFD where a browser keeps them.
bool gumboRewrites(const QString& text) {
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if ((u < 0x20 && u != u'\t' && u != u'\n' && u != u'\f' && u != u'\r') || (u >= 0x7F && u <= 0x9F) ||
            (u >= 0xFDD0 && u <= 0xFDEF) || u == 0xFFFE || u == 0xFFFF)
            return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto metadata = URLPreviewService::parseMetadata(text, QUrl(QStringLiteral("https://example.test/a/b.html")));
    if (metadata.imageURL && metadata.imageURL->isRelative())
        std::abort();
    (void)URLPreviewService::sniffMetaCharset(text);

    // SVG and MathML are read by the reader's approximations.
    if (size > 4096 || gumboRewrites(text) || text.contains(u"<svg", Qt::CaseInsensitive) ||
        text.contains(u"<math", Qt::CaseInsensitive))
        return 0;
    const QByteArray utf8 = text.toUtf8(); // gumbo reads UTF-8 and the fuzzer's bytes may not be
    GumboOutput* output = gumbo_parse_with_options(&kGumboDefaultOptions, utf8.constData(), size_t(utf8.size()));
    Tree tree;
    walk(output->document, tree);
    gumbo_destroy_output(&kGumboDefaultOptions, output);
    if (!tree.comparable)
        return 0;
    const HTMLPageReader::Page page = HTMLPageReader::read(text, 5);
    Metas metas;
    for (const auto& m : page.metas)
        metas.push_back({m.property, m.name, m.httpEquiv, m.content, m.charset});
    if (metas != tree.metas || page.title != tree.title || page.jsonLD != tree.jsonLD)
        std::abort();
    return 0;
}
