// SPDX-License-Identifier: MIT
// The RTF reader on 5 MB documents, whole and to the beginning a card shows: formatted text written
// the way word processors write it, and the same text behind a large picture.
#include "richtext/RtfReader.h"

#include <QGuiApplication>
#include <QTextDocument>

#include <benchmark/benchmark.h>

namespace {

constexpr qsizetype documentSize = 5 * 1024 * 1024;
constexpr qsizetype cardLimit = 1024; // comfortably more than the 200 characters a card shows

QByteArray header() {
    return "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss\\fcharset0 Helvetica;}{\\f1\\fcharset2 Symbol;}}"
           "{\\colortbl;\\red255\\green0\\blue0;}\n";
}

QByteArray formattedText(qsizetype size) {
    QByteArray rtf;
    for (int i = 0; rtf.size() < size; ++i)
        rtf += "{\\listtext\\pard\\plain\\f1 \\'b7\\tab}\\pard\\li720\\fi-360\\ls1\\ilvl0\\f0\\fs24 Item " +
               QByteArray::number(i) + " with {\\b bold}, {\\i italic}, {\\cf1 red} and caf\\'e9 text.\\par\n";
    return rtf;
}

const QByteArray& textDocument() {
    static const QByteArray rtf = header() + formattedText(documentSize) + "}";
    return rtf;
}

const QByteArray& pictureDocument() {
    static const QByteArray rtf = header() + "{\\pict\\pngblip\\picw100\\pich100 " +
                                  QByteArray(documentSize - 64 * 1024, 'a') + "}\n" + formattedText(64 * 1024) + "}";
    return rtf;
}

void read(benchmark::State& state, const QByteArray& rtf, qsizetype limit) {
    for (auto _ : state) {
        QTextDocument document;
        RtfReader::read(rtf, &document, limit);
        benchmark::DoNotOptimize(document.characterCount());
    }
    state.SetLabel((QByteArray::number(rtf.size() / 1024) + " KiB").toStdString());
}

void plainText(benchmark::State& state, const QByteArray& rtf, qsizetype limit) {
    for (auto _ : state)
        benchmark::DoNotOptimize(RtfReader::plainText(rtf, limit));
}

void BM_ReadWholeText(benchmark::State& state) {
    read(state, textDocument(), -1);
}
void BM_ReadBeginningOfText(benchmark::State& state) {
    read(state, textDocument(), cardLimit);
}
void BM_ReadBeginningBehindPicture(benchmark::State& state) {
    read(state, pictureDocument(), cardLimit);
}
void BM_PlainTextBeginningOfText(benchmark::State& state) {
    plainText(state, textDocument(), cardLimit);
}

BENCHMARK(BM_ReadWholeText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadBeginningOfText)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ReadBeginningBehindPicture)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainTextBeginningOfText)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
