// SPDX-License-Identifier: MIT
// Entity decoding, white-space cleaning and image URL resolution of arbitrary text.
#include "linkpreview/URLPreviewService.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const auto cleaned = URLPreviewService::cleanText(text);
    if (cleaned) {
        // A cleaned text is never empty, never padded and holds no run of two spaces.
        if (cleaned->isEmpty() || cleaned->front().isSpace() || cleaned->back().isSpace() ||
            cleaned->contains(QStringLiteral("  ")))
            std::abort();
    }
    const auto url = URLPreviewService::resolveImageURL(text, QUrl(QStringLiteral("https://example.test/dir/page")));
    if (url && url->isRelative())
        std::abort();
    return 0;
}
