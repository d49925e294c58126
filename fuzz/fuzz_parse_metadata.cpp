// SPDX-License-Identifier: MIT
// Metadata extraction on arbitrary text. Inputs of up to 4 KiB without SVG or MathML are also read
// by gumbo, a full HTML5 parser: the meta tags, the title and the JSON-LD blocks must agree.
#include "linkpreview/HTMLPageReader.h"
#include "linkpreview/URLPreviewService.h"

#include "linkpreview/GumboReading.h"

#include <QRegularExpression>

#include <array>
#include <cstdlib>

namespace {

// gumbo turns control characters and noncharacters into U+FFFD where a browser keeps them, and
// its numeric references wrap around past 32 bits where a browser gives U+FFFD.
bool gumboRewrites(const QString& text) {
    static const QRegularExpression longNumber(QStringLiteral("&#[xX]?[0-9a-fA-F]{8}"));
    if (text.contains(longNumber))
        return true;
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
    const GumboReading tree = readWithGumbo(text); // as UTF-8, which the fuzzer's bytes may not be
    if (tree.unknownHTMLElement || tree.foreignOrNoscript)
        return 0;
    const HTMLPageReader::Page page = HTMLPageReader::read(text, 5);
    if (page.title != tree.title || page.jsonLD != tree.jsonLD)
        std::abort();
    for (const char* key : {"og:title", "description", "content-type"}) {
        for (bool byProperty : {true, false}) {
            const auto attribute =
                byProperty ? HTMLPageReader::KeyAttribute::Property : HTMLPageReader::KeyAttribute::NameOrHttpEquiv;
            if (HTMLPageReader::metaContent(page, attribute, QString::fromUtf8(key)) !=
                firstContent(tree, byProperty, QString::fromUtf8(key)))
                std::abort();
        }
    }
    return 0;
}
