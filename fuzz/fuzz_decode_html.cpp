// SPDX-License-Identifier: MIT
// Page decoding of arbitrary bytes under a few Content-Type headers chosen by the first byte.
#include "linkpreview/URLPreviewService.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    static const char* const types[] = {"text/html",
                                        "text/html; charset=utf-8",
                                        "text/html; charset=\"gbk\"",
                                        "text/html; charset=shift_jis",
                                        "text/html; charset=windows-1251",
                                        "text/html; charset=bogus-name",
                                        "text/html; charset=euc-kr",
                                        "text/html; charset=utf-16"};
    HTTPURLResponse response;
    response.statusCode = 200;
    response.headerFields = {{"Content-Type", types[data[0] % std::size(types)]}};
    const QByteArray body(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    const QString text = URLPreviewService::decodeHTML(body, response);
    // Decoding never fails: something comes out for any body with more than a byte-order mark.
    const bool onlyMark = body == "\xEF\xBB\xBF" || body == "\xFE\xFF" || body == "\xFF\xFE";
    if (!body.isEmpty() && !onlyMark && text.isEmpty())
        std::abort();
    return 0;
}
