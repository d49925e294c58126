// SPDX-License-Identifier: MIT
// How long a fetched page takes to judge: decoding plus metadata, on ordinary and hostile pages
// of 1 MiB. Every page should take well under 50 ms.
#include "linkpreview/URLPreviewService.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStringEncoder>

#include <benchmark/benchmark.h>

namespace {

constexpr qsizetype kPageBytes = 1048576;

QByteArray padded(QByteArray head, const QByteArray& tail = {}) {
    static const QByteArray paragraph =
        "<p class=\"text\">Lorem ipsum dolor sit amet, <a href=\"/x\">consectetur</a> adipiscing elit.</p>\n";
    while (head.size() + tail.size() + paragraph.size() < kPageBytes)
        head += paragraph;
    head += tail;
    head += QByteArray(kPageBytes - head.size(), ' ');
    return head;
}

QByteArray openGraphPage() {
    return padded("<!doctype html><html><head><meta charset=\"utf-8\"><title>Fallback</title>"
                  "<meta property=\"og:title\" content=\"A &amp; B\">"
                  "<meta property=\"og:description\" content=\"Description of the page\">"
                  "<meta property=\"og:image\" content=\"/images/cover.png\"></head><body>",
                  "</body></html>");
}

QByteArray fallThroughPage() {
    return padded("<!doctype html><html><head><title>Only a title</title></head><body>",
                  "<script type=\"application/ld+json\">{\"@type\":\"Article\",\"headline\":\"LD\","
                  "\"image\":[{\"url\":\"/ld.png\"}]}</script></body></html>");
}

QByteArray repeatedTo(const QByteArray& prefix, const QByteArray& unit, qsizetype count,
                      const QByteArray& suffix = {}) {
    QByteArray page = prefix;
    page.reserve(kPageBytes);
    for (qsizetype i = 0; i < count && page.size() + unit.size() + suffix.size() <= kPageBytes; ++i)
        page += unit;
    page += suffix;
    return page;
}

HTTPURLResponse response(const QByteArray& contentType) {
    HTTPURLResponse r;
    r.statusCode = 200;
    r.headerFields = {{"Content-Type", contentType}};
    return r;
}

void judge(benchmark::State& state, const QByteArray& body, const QByteArray& contentType) {
    const QUrl pageURL(QStringLiteral("https://example.test/articles/page.html"));
    const HTTPURLResponse head = response(contentType);
    for (auto _ : state) {
        const QString text = URLPreviewService::decodeHTML(body, head);
        auto metadata = URLPreviewService::parseMetadata(text, pageURL);
        benchmark::DoNotOptimize(metadata);
    }
    state.SetBytesProcessed(state.iterations() * body.size());
}

void BM_OpenGraphPage(benchmark::State& state) {
    judge(state, openGraphPage(), "text/html; charset=utf-8");
}
void BM_FallThroughToTitleAndJSONLD(benchmark::State& state) {
    judge(state, fallThroughPage(), "text/html; charset=utf-8");
}
void BM_Hostile_MetaWithoutClose(benchmark::State& state) {
    judge(state, repeatedTo({}, "<meta ", 100000, QByteArray(kPageBytes - 600000, 'a')), "text/html");
}
void BM_Hostile_UnclosedTitle(benchmark::State& state) {
    judge(state, repeatedTo("<html><head><title>", "x y ", kPageBytes), "text/html; charset=utf-8");
}
void BM_Hostile_DeeplyNestedJSONLD(benchmark::State& state) {
    const qsizetype depth = (kPageBytes - 100) / 2;
    judge(state,
          "<script type=\"application/ld+json\">" + QByteArray(depth, '[') + QByteArray(depth, ']') + "</script>",
          "text/html; charset=utf-8");
}
void BM_Hostile_DeeplyNestedJSONLDObjects(benchmark::State& state) {
    judge(state, repeatedTo("<script type=\"application/ld+json\">", "{\"a\":", kPageBytes, "</script>"),
          "text/html; charset=utf-8");
}
void BM_Hostile_EntityRunWithoutSemicolon(benchmark::State& state) {
    judge(state, repeatedTo("<title>", "&#x", kPageBytes, "</title>"), "text/html; charset=utf-8");
}
void BM_Hostile_ManyPropertiesNoContent(benchmark::State& state) {
    judge(state, repeatedTo("<meta ", "property=\"og:title\" ", kPageBytes), "text/html");
}
void BM_Decode_GBKWithoutDeclaration(benchmark::State& state) {
    QStringEncoder encoder("GBK");
    const QByteArray page = encoder.encode(
        QString::fromUtf8(padded("<title>", "</title>")).replace(QStringLiteral("Lorem"), QStringLiteral(u"中文")));
    judge(state, page, "text/html");
}
void BM_Decode_RandomBytes(benchmark::State& state) {
    QRandomGenerator random(1);
    QByteArray bytes(kPageBytes, Qt::Uninitialized);
    for (auto& b : bytes)
        b = char(random.bounded(256));
    judge(state, bytes, "text/html; charset=utf-8");
}

// For comparison: the backtracking expression for one meta lookup on 150 KB of hostile markup.
// It gives up at the engine's match limit (reporting no match) after tens of milliseconds; a page
// makes about twenty such lookups.
void BM_Reference_BacktrackingMetaLookup(benchmark::State& state) {
    const QString page = QStringLiteral("<meta property=\"og:title\" content=x ").repeated(4000) +
                         QStringLiteral("><meta property=\"og:title\" content=\"real\">");
    const QRegularExpression re(
        QStringLiteral(R"(<meta\b[^>]*\bproperty\s*=\s*["']og:title["'][^>]*\bcontent\s*=\s*["']([^"']*)["'])"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    for (auto _ : state)
        benchmark::DoNotOptimize(re.match(page).hasMatch());
}

} // namespace

BENCHMARK(BM_OpenGraphPage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FallThroughToTitleAndJSONLD)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Hostile_MetaWithoutClose)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Hostile_UnclosedTitle)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Hostile_DeeplyNestedJSONLD)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Hostile_DeeplyNestedJSONLDObjects)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Hostile_EntityRunWithoutSemicolon)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Hostile_ManyPropertiesNoContent)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode_GBKWithoutDeclaration)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Decode_RandomBytes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Reference_BacktrackingMetaLookup)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
