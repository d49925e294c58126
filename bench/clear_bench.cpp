// SPDX-License-Identifier: MIT
// Clearing a 100,000-entry, 800 MB history: how long the main thread is held, and the size of the
// store and its WAL once the space is given back. Arg 0: a store made by this version; arg 1: a
// store made before incremental auto-vacuum (converted along the way); arg 2: no clear, but the
// 30-day retention removing 90% of a store made by this version; arg 3: the same retention over
// 100,000 short texts instead of pictures.
#include "history/ClipboardDataManager.h"
#include "history/store/ManagedObjectContext.h"
#include "history/store/StoreSpace.h"
#include "support/memory/MemoryWorkspace.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>
#include <QUuid>

#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <atomic>
#include <cstdio>
#include <thread>

namespace {

constexpr int kEntries = 100000;
constexpr int kEntryBytes = 8000; // 100,000 x 8 KB = 800 MB

double megabytes(const QString& path) {
    return QFileInfo(path).size() / 1e6;
}

void fill(const QString& path, bool oldStore, bool shortTexts) {
    StoreError error;
    if (oldStore) {
        // What earlier versions made: no auto-vacuum.
        ManagedObjectContext::open(path, &error).reset();
        sqlite3* db = nullptr;
        sqlite3_open(QFile::encodeName(path).constData(), &db);
        sqlite3_exec(db, "PRAGMA auto_vacuum = NONE; VACUUM", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    auto ctx = ManagedObjectContext::open(path, &error);
    if (!ctx)
        qFatal("cannot open %s", qPrintable(error.message));
    QRandomGenerator rng(7);
    QByteArray bytes(kEntryBytes, Qt::Uninitialized);
    const QDateTime now = QDateTime::currentDateTime();
    for (int i = 0; i < kEntries; ++i) {
        for (int j = 0; j < kEntryBytes; j += 4)
            *reinterpret_cast<quint32*>(bytes.data() + j) = rng.generate();
        auto item = ctx->insertClipboardItem();
        item->setId(QUuid::createUuid());
        if (shortTexts) {
            const QString text = QStringLiteral("copied line %1 of a short text").arg(i);
            item->setType(QStringLiteral("text"));
            item->setTextContent(text);
            item->setPreview(text);
        } else {
            item->setType(QStringLiteral("image"));
            item->setPreview(QStringLiteral("Image"));
            item->setImageData(bytes);
        }
        // One entry in ten is recent; the others are older than 30 days.
        item->setTimestamp(i % 10 == 0 ? now.addSecs(-i - 1) : now.addDays(-40).addSecs(-i));
        if ((i + 1) % 5000 == 0 && !ctx->save(&error))
            qFatal("cannot save: %s", qPrintable(error.message));
    }
}

void BM_ClearLargeHistory(benchmark::State& state) {
    const bool oldStore = state.range(0) == 1;
    const bool shortTexts = state.range(0) == 3;
    const bool retention = state.range(0) >= 2;
    for (auto _ : state) {
        state.PauseTiming();
        QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/tindralume-clear-bench-XXXXXX"));
        const QString path = dir.path() + QStringLiteral("/Tindralume.sqlite");
        fill(path, oldStore, shortTexts);
        StoreError error;
        auto ctx = ManagedObjectContext::open(path, &error);
        ClipboardDataManager manager(ctx.get());
        const double before = megabytes(path) + megabytes(path + "-wal");
        state.ResumeTiming();

        // The deletion itself runs on the main thread.
        QElapsedTimer clock;
        clock.start();
        if (retention)
            manager.deleteItemsOlderThan(30);
        else
            manager.clearAllHistory();
        const double clearMs = clock.nsecsElapsed() / 1e6;

        // Meanwhile the main thread goes on: a frame tick every 16 ms and a small save on each,
        // as captures would; the longest gap between ticks is the longest block.
        double longestMs = 0;
        QElapsedTimer sinceTick;
        sinceTick.start();
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, [&] {
            longestMs = std::max(longestMs, sinceTick.nsecsElapsed() / 1e6 - 16);
            auto item = ctx->insertClipboardItem();
            item->setId(QUuid::createUuid());
            item->setType(QStringLiteral("text"));
            item->setTextContent(QStringLiteral("copied while the space comes back"));
            item->setTimestamp(QDateTime::currentDateTime());
            ctx->save(nullptr);
            sinceTick.restart();
        });
        tick.start(16);
        QElapsedTimer reclaim;
        reclaim.start();
        std::atomic<bool> done{false};
        std::thread waiter([&] {
            manager.storeSpace()->wait();
            done = true;
        });
        while (!done)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        waiter.join();
        tick.stop();
        const double reclaimMs = reclaim.nsecsElapsed() / 1e6;
        // At quit an old store not yet converted is.
        manager.finishStoreSpace();
        const double walAfter = megabytes(path + "-wal");
        ctx.reset();

        state.counters["before_MB"] = before;
        state.counters["clear_main_ms"] = clearMs;
        state.counters["longest_block_ms"] = longestMs;
        state.counters["reclaim_ms"] = reclaimMs;
        state.counters["after_MB"] = megabytes(path);
        state.counters["wal_after_MB"] = walAfter;
    }
}
BENCHMARK(BM_ClearLargeHistory)->Arg(0)->Arg(1)->Arg(2)->Arg(3)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    Workspace::setShared(std::make_unique<MemoryWorkspace>());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
