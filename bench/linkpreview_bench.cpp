// SPDX-License-Identifier: MIT
// How long a fetched page takes to judge: decoding plus metadata, on ordinary and hostile pages
// of 1 MiB. Every page should take well under 50 ms. For comparison, the same pages through gumbo,
// a full HTML5 parser building a document tree, with the memory it allocates.
#include "linkpreview/URLPreviewService.h"

#include <QRandomGenerator>
#include <QStringEncoder>

#include <benchmark/benchmark.h>
#include <gumbo.h>

#include <cstdlib>

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

void BM_Hostile_UnclosedComment(benchmark::State& state) {
    judge(state, repeatedTo("<title>T</title><!--", "<meta property=\"og:title\" content=\"x\"> - -- ", kPageBytes),
          "text/html; charset=utf-8");
}
void BM_Hostile_UnclosedAttributeValue(benchmark::State& state) {
    judge(state, repeatedTo("<meta property=\"og:title\" content=\"", "a' <b> &amp; ", kPageBytes),
          "text/html; charset=utf-8");
}
void BM_Hostile_OneTagManyAttributes(benchmark::State& state) {
    judge(state, repeatedTo("<meta ", "content=x property=og:title name=y ", kPageBytes, ">"),
          "text/html; charset=utf-8");
}
void BM_Hostile_ManyMetaTags(benchmark::State& state) {
    judge(state, repeatedTo({}, "<meta content=x>", kPageBytes), "text/html; charset=utf-8");
}
void BM_Hostile_LongReferenceNames(benchmark::State& state) {
    judge(state, repeatedTo("<title>", "&CounterClockwiseContourIntegralX", kPageBytes, "</title>"),
          "text/html; charset=utf-8");
}
void BM_Hostile_ManyShortTags(benchmark::State& state) {
    judge(state, repeatedTo({}, "<var>", kPageBytes), "text/html; charset=utf-8");
}
void BM_Hostile_UnmatchedEndTagsInSVG(benchmark::State& state) {
    judge(state, repeatedTo("<svg>" + QByteArray("<g>").repeated(300), "</x>", kPageBytes), "text/html; charset=utf-8");
}
void BM_Hostile_NestedSVG(benchmark::State& state) {
    judge(state, repeatedTo("<svg>", "<g><title>", kPageBytes), "text/html; charset=utf-8");
}
void BM_Hostile_ScriptEscapes(benchmark::State& state) {
    judge(state, repeatedTo("<script type=\"application/ld+json\">", "<!--<script></script>-", kPageBytes),
          "text/html; charset=utf-8");
}

// gumbo's allocations, counted to report the memory a document tree of the page takes.
struct GumboMemory {
    size_t current = 0;
    size_t peak = 0;
};

void* countingAlloc(void* userdata, size_t size) {
    auto* memory = static_cast<GumboMemory*>(userdata);
    auto* block = static_cast<size_t*>(std::malloc(size + sizeof(size_t)));
    *block = size;
    memory->current += size;
    memory->peak = std::max(memory->peak, memory->current);
    return block + 1;
}

void countingFree(void* userdata, void* pointer) {
    if (!pointer)
        return;
    auto* block = static_cast<size_t*>(pointer) - 1;
    static_cast<GumboMemory*>(userdata)->current -= *block;
    std::free(block);
}

void gumboParse(benchmark::State& state, const QByteArray& page) {
    GumboMemory memory;
    GumboOptions options = kGumboDefaultOptions;
    options.allocator = countingAlloc;
    options.deallocator = countingFree;
    options.userdata = &memory;
    for (auto _ : state) {
        GumboOutput* output = gumbo_parse_with_options(&options, page.constData(), size_t(page.size()));
        benchmark::DoNotOptimize(output);
        gumbo_destroy_output(&options, output);
    }
    state.counters["tree_MiB"] = double(memory.peak) / 1048576.0;
    state.SetBytesProcessed(state.iterations() * page.size());
}

void BM_Reference_Gumbo_OpenGraphPage(benchmark::State& state) {
    gumboParse(state, openGraphPage());
}
void BM_Reference_Gumbo_ManyMetaTags(benchmark::State& state) {
    gumboParse(state, repeatedTo({}, "<meta content=x>", kPageBytes));
}
void BM_Reference_Gumbo_NestedSVG(benchmark::State& state) {
    gumboParse(state, repeatedTo("<svg>", "<g><title>", kPageBytes));
}
void BM_Reference_Gumbo_UnclosedFormatting(benchmark::State& state) {
    gumboParse(state, repeatedTo("<title>T</title>", "<b><i><p>", kPageBytes));
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
BENCHMARK(BM_Hostile_UnclosedComment)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Hostile_UnclosedAttributeValue)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Hostile_OneTagManyAttributes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Hostile_ManyMetaTags)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Hostile_LongReferenceNames)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Hostile_ManyShortTags)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Hostile_UnmatchedEndTagsInSVG)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Hostile_NestedSVG)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Hostile_ScriptEscapes)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Reference_Gumbo_OpenGraphPage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Reference_Gumbo_ManyMetaTags)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Reference_Gumbo_NestedSVG)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Reference_Gumbo_UnclosedFormatting)->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK_MAIN();
