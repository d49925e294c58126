// SPDX-License-Identifier: MIT
// Metadata extraction on arbitrary text. Small ASCII inputs are also checked against the
// backtracking expressions the scanner stands in for: any difference aborts.
#include "linkpreview/MarkupScanner.h"
#include "linkpreview/URLPreviewService.h"

#include <QRegularExpression>

#include <cstdlib>

namespace {

std::optional<QString> first(const QRegularExpression& re, const QString& text) {
    const auto match = re.match(text);
    if (!match.hasMatch() || match.capturedStart(1) < 0)
        return std::nullopt;
    return match.captured(1);
}

bool comparable(const uint8_t* data, size_t size) {
    if (size > 4096)
        return false;
    for (size_t i = 0; i < size; ++i) {
        // Outside ASCII, and for the vertical tab, the engines' character classes differ.
        if (data[i] >= 0x80 || data[i] == 0x0B || data[i] == 0)
            return false;
    }
    return true;
}

void check(bool same) {
    if (!same)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto metadata = URLPreviewService::parseMetadata(text, QUrl(QStringLiteral("https://example.test/a/b.html")));
    (void)metadata;
    (void)URLPreviewService::sniffMetaCharset(text);

    if (comparable(data, size)) {
        static const auto options =
            QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption;
        static const QRegularExpression keyFirst(
            QStringLiteral(R"(<meta\b[^>]*\bproperty\s*=\s*["']og:title["'][^>]*\bcontent\s*=\s*["']([^"']*)["'])"),
            options);
        static const QRegularExpression contentFirst(
            QStringLiteral(
                R"(<meta\b[^>]*\bcontent\s*=\s*["']([^"']*)["'][^>]*\b(?:name|http-equiv)\s*=\s*["']description["'])"),
            options);
        static const QRegularExpression title(QStringLiteral(R"(<title[^>]*>([\s\S]*?)</title>)"), options);
        static const QRegularExpression metaCharset(QStringLiteral(R"(<meta[^>]*charset\s*=\s*["']?([\w-]+))"),
                                                    options);
        static const QRegularExpression jsonLD(
            QStringLiteral(R"(<script[^>]*type\s*=\s*["']application/ld\+json["'][^>]*>([\s\S]*?)</script>)"),
            QRegularExpression::CaseInsensitiveOption);
        MarkupScanner scanner(text);
        check(scanner.metaContentKeyFirst(MarkupScanner::KeyAttribute::Property, QStringLiteral("og:title")) ==
              first(keyFirst, text));
        check(scanner.metaContentContentFirst(MarkupScanner::KeyAttribute::NameOrHttpEquiv,
                                              QStringLiteral("description")) == first(contentFirst, text));
        check(scanner.titleElement() == first(title, text));
        check(scanner.metaCharset() == first(metaCharset, text));
        QStringList blocks;
        auto it = jsonLD.globalMatch(text);
        while (it.hasNext() && blocks.size() < 5)
            blocks.append(it.next().captured(1));
        check(scanner.jsonLDBlocks(5) == blocks);
    }
    return 0;
}
