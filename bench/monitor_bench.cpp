// SPDX-License-Identifier: MIT
// What one clipboard change costs the main thread: reading, deciding and storing, against a real
// SQLite store. Run: ./build/bench/monitor_bench
#include "BenchSupport.h"
#include "history/ClipboardDataManager.h"
#include "history/ClipboardMonitor.h"
#include "history/store/ManagedObjectContext.h"
#include "support/memory/MemoryPasteboard.h"
#include "support/memory/MemoryWorkspace.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QUuid>

#include <benchmark/benchmark.h>

namespace {

struct Fixture {
    QTemporaryDir dir;
    std::unique_ptr<ManagedObjectContext> context;
    std::unique_ptr<ClipboardDataManager> manager;
    std::unique_ptr<ClipboardMonitor> monitor;
    MemoryPasteboard* pasteboard = nullptr;

    explicit Fixture(int entries) {
        auto pb = std::make_unique<MemoryPasteboard>();
        pasteboard = pb.get();
        Pasteboard::setGeneral(std::move(pb));
        auto ws = std::make_unique<MemoryWorkspace>();
        ws->front = RunningApplication{QStringLiteral("Bench"), QStringLiteral("org.example.Bench"), 1};
        Workspace::setShared(std::move(ws));
        StoreError error;
        context = ManagedObjectContext::open(dir.filePath(QStringLiteral("Tindralume.sqlite")), &error);
        const QDateTime now = QDateTime::currentDateTime();
        for (int i = 0; i < entries; ++i) {
            auto item = context->insertClipboardItem();
            item->setId(QUuid::createUuid());
            item->setType(QStringLiteral("text"));
            item->setTextContent(QStringLiteral("Stored entry %1 with a few ordinary words").arg(i));
            item->setPreview(item->textContent());
            item->setTimestamp(now.addSecs(-10 * i));
            item->setIsFavorite(false);
            if (i % 5000 == 4999)
                context->save();
        }
        context->save();
        manager = std::make_unique<ClipboardDataManager>(context.get());
        monitor = std::make_unique<ClipboardMonitor>(manager.get(), pasteboard->changeCount());
        manager->setClipboardMonitor(monitor.get());
    }
};

void BM_ImageChangeToSavedRow(benchmark::State& state) {
    Fixture f(0);
    quint32 seed = 1;
    for (auto _ : state) {
        state.PauseTiming();
        const QByteArray png = photoPng(int(state.range(0)), int(state.range(1)), seed++);
        f.pasteboard->simulateCopy({{Pasteboard::Type::PNG, png}});
        state.ResumeTiming();
        f.monitor->checkClipboard();
    }
}
BENCHMARK(BM_ImageChangeToSavedRow)->Args({4000, 3000})->Args({800, 200})->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_TextChangeToSavedRow(benchmark::State& state) {
    Fixture f(int(state.range(0)));
    int n = 0;
    for (auto _ : state) {
        f.pasteboard->simulateCopy({{Pasteboard::Type::String, QStringLiteral("new text %1").arg(n++).toUtf8()}});
        f.monitor->checkClipboard();
    }
}
BENCHMARK(BM_TextChangeToSavedRow)->Arg(0)->Arg(100000)->Iterations(200)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
