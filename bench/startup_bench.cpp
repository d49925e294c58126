// SPDX-License-Identifier: MIT
// Opening a large history at start-up (the file checks, the integrity check and the migration) with
// the file in the page cache and with the file evicted from it, as after a reboot. The history, 9
// million short text entries (about 2.7 GB), is written once per run by SQL into a temporary folder,
// or kept in the file TINDRALUME_BENCH_LARGE_STORE names (written there when it does not exist yet).
#include "history/store/ManagedObjectContext.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

constexpr qint64 kEntries = 9000000;

QString g_storePath;

bool exec(sqlite3* db, const char* sql) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK)
        return true;
    std::fprintf(stderr, "%s: %s\n", sql, message);
    sqlite3_free(message);
    return false;
}

// The schema comes from the store itself; the rows are written by SQL, a million per transaction.
bool generate(const QString& path) {
    {
        StoreError error;
        if (!ManagedObjectContext::open(path, &error)) {
            std::fprintf(stderr, "cannot create %s: %s\n", qPrintable(path), qPrintable(error.message));
            return false;
        }
    }
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    bool ok = exec(db, "PRAGMA synchronous = OFF");
    for (qint64 from = 0; ok && from < kEntries; from += 1000000) {
        const QByteArray sql = QByteArray("BEGIN; WITH RECURSIVE n(x) AS (SELECT ") + QByteArray::number(from + 1) +
                               " UNION ALL SELECT x + 1 FROM n WHERE x < " +
                               QByteArray::number(std::min(from + 1000000, kEntries)) +
                               ") INSERT INTO ClipboardItem (pk, id, type, timestamp, isFavorite, preview, "
                               "textContent, contentDigest, isColor) SELECT x, lower(hex(randomblob(16))), 'text', "
                               "700000000 + x, x % 100 = 0, printf('Entry %d: copied text', x), "
                               "printf('Entry %d: copied text', x), randomblob(20), 0 FROM n; "
                               "INSERT INTO ClipboardItemSearch (pk, textFolded, previewFolded, previewInText) "
                               "SELECT pk, lower(textContent), NULL, 1 FROM ClipboardItem WHERE pk > " +
                               QByteArray::number(from) + "; COMMIT;";
        ok = exec(db, sql.constData());
    }
    ok = ok && exec(db, "PRAGMA wal_checkpoint(TRUNCATE)");
    sqlite3_close(db);
    return ok;
}

// Drops the store's pages from the page cache: the next open reads them from the disk.
void evict(const QString& path) {
    for (const QString& file : {path, path + QStringLiteral("-wal")}) {
        const int fd = ::open(QFile::encodeName(file).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            continue;
        ::fdatasync(fd);
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
}

void startUp(benchmark::State& state, bool cold) {
    for (auto _ : state) {
        if (cold) {
            state.PauseTiming();
            evict(g_storePath);
            state.ResumeTiming();
        }
        StoreError error;
        auto context = ManagedObjectContext::open(g_storePath, &error);
        if (!context)
            state.SkipWithError(qPrintable(error.message));
    }
    state.counters["store_MB"] = QFileInfo(g_storePath).size() / 1e6;
}

void BM_StartUpOnALargeHistory_Cached(benchmark::State& state) {
    startUp(state, false);
}
BENCHMARK(BM_StartUpOnALargeHistory_Cached)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_StartUpOnALargeHistory_FromDisk(benchmark::State& state) {
    startUp(state, true);
}
BENCHMARK(BM_StartUpOnALargeHistory_FromDisk)->Iterations(3)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/tindralume-startup-bench-XXXXXX"));
    g_storePath = qEnvironmentVariable("TINDRALUME_BENCH_LARGE_STORE");
    if (g_storePath.isEmpty())
        g_storePath = dir.path() + QStringLiteral("/Tindralume.sqlite");
    if (!QFileInfo::exists(g_storePath)) {
        std::fprintf(stderr, "generating %lld entries into %s ...\n", kEntries, qPrintable(g_storePath));
        if (!generate(g_storePath))
            return 1;
    }
    std::fprintf(stderr, "store file: %.1f MB\n", QFileInfo(g_storePath).size() / 1e6);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
