// SPDX-License-Identifier: MIT
// The history store on a generated history of 100,000 entries. The store is generated once per run
// by a child process (so its memory does not count here) into a temporary directory.
#include "history/ClipboardDataManager.h"
#include "history/store/ManagedObjectContext.h"
#include "platform/ImageUtils.h"
#include "support/memory/MemoryWorkspace.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QUuid>

#include <benchmark/benchmark.h>

#include <sqlite3.h>

#include <cstdio>
#include <memory>

namespace {

constexpr int kEntries = 100000;
constexpr int kImages = 2000;
constexpr int kApps = 50;
const QString kWord3 = QStringLiteral("owl");
const QString kWord10 = QStringLiteral("chrysolite");

QString g_storePath;
std::unique_ptr<ManagedObjectContext> g_context;
std::unique_ptr<ClipboardDataManager> g_manager;
QByteArray g_sampleImage; // full-size bytes of a stored image
QString g_sampleText;     // text of a stored entry

double residentKiB() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble();
    return 0;
}

QString word(QRandomGenerator& rng) {
    static const char* const syllables[] = {"ka", "lo", "mi", "ne", "ta", "ru", "si", "po", "de", "va",
                                            "bi", "gu", "fe", "ha", "jo", "qu", "ze", "xi", "ny", "ci"};
    QString w;
    const int n = 1 + rng.bounded(4);
    for (int i = 0; i < n; ++i)
        w += QLatin1String(syllables[rng.bounded(20)]);
    return w;
}

QString sentence(QRandomGenerator& rng, int words) {
    QStringList out;
    for (int i = 0; i < words; ++i)
        out << word(rng);
    if (rng.bounded(100) < 2)
        out.insert(rng.bounded(out.size() + 1), kWord3);
    if (rng.bounded(1000) < 5)
        out.insert(rng.bounded(out.size() + 1), kWord10);
    if (rng.bounded(10) == 0)
        out.insert(rng.bounded(out.size() + 1), QStringLiteral("Café Déjà-vu"));
    return out.join(QLatin1Char(' '));
}

QByteArray noisePng(QRandomGenerator& rng, int side) {
    QImage image(side, side, QImage::Format_RGB32);
    for (int y = 0; y < side; ++y) {
        auto* line = reinterpret_cast<quint32*>(image.scanLine(y));
        for (int x = 0; x < side; ++x)
            line[x] = 0xff000000u | (rng.generate() & 0xffffffu);
    }
    return *ImageUtils::pngData(image);
}

// Writes the history straight through the object context, in batches.
int generate(const QString& path) {
    StoreError error;
    auto ctx = ManagedObjectContext::open(path, &error);
    if (!ctx) {
        std::fprintf(stderr, "cannot create %s: %s\n", qPrintable(path), qPrintable(error.message));
        return 1;
    }
    QRandomGenerator rng(42);
    std::vector<SourceAppPtr> apps;
    for (int i = 0; i < kApps; ++i) {
        auto app = ctx->insertSourceApp();
        app->setBundleId(QStringLiteral("org.example.app%1").arg(i));
        app->setAppName(QStringLiteral("Application %1 %2").arg(i).arg(word(rng)));
        app->setIconData(noisePng(rng, 32));
        apps.push_back(app);
    }
    const QDateTime start = QDateTime::currentDateTime().addDays(-90);
    const qint64 spanMs = qint64(90) * 86400 * 1000;
    const int imageEvery = kEntries / kImages;
    for (int i = 0; i < kEntries; ++i) {
        auto item = ctx->insertClipboardItem();
        item->setId(QUuid::createUuid());
        item->setTimestamp(start.addMSecs(spanMs * i / kEntries));
        item->setIsFavorite(rng.bounded(100) == 0);
        item->setSourceApp(apps[rng.bounded(kApps)]);
        QString type;
        if (i % imageEvery == 0) {
            type = QStringLiteral("image");
            item->setOriginalImageData(noisePng(rng, 128)); // about 50 KB of noise
            item->setImageData(noisePng(rng, 48));
            item->setPreview(QStringLiteral("Image"));
        } else {
            const int kind = rng.bounded(100);
            QString text;
            if (kind < 1) {
                type = QStringLiteral("text");
                text = QStringLiteral("#%1").arg(rng.bounded(0x1000000), 6, 16, QLatin1Char('0'));
            } else if (kind < 11) {
                type = QStringLiteral("url");
                text = QStringLiteral("https://%1.example/%2/%3").arg(word(rng), word(rng), word(rng));
            } else if (kind < 21) {
                type = QStringLiteral("richText");
                text = sentence(rng, 5 + rng.bounded(40));
                item->setRichTextData(("{\\rtf1\\ansi " + text + "}").toUtf8());
            } else if (kind < 26) {
                type = QStringLiteral("file");
                item->setFilePath(QStringLiteral("/home/user/Documents/%1.pdf").arg(word(rng)));
                item->setPreview(word(rng) + QStringLiteral(".pdf"));
                if (i % 5 == 0)
                    item->setAdditionalFilePaths({QStringLiteral("/home/user/Documents/a%1.pdf").arg(i),
                                                  QStringLiteral("/home/user/Documents/b%1.odt").arg(i),
                                                  QStringLiteral("/home/user/Pictures/c%1.jpeg").arg(i)});
            } else {
                type = QStringLiteral("text");
                text = sentence(rng, 3 + rng.bounded(50));
            }
            if (type != QLatin1String("file")) {
                item->setTextContent(text);
                item->setPreview(text.size() > 100 ? text.left(100) + QStringLiteral("...") : text);
            }
        }
        item->setType(type);
        if ((i + 1) % 5000 == 0 || i + 1 == kEntries) {
            if (!ctx->save(&error)) {
                std::fprintf(stderr, "save failed: %s\n", qPrintable(error.message));
                return 1;
            }
        }
    }
    return 0;
}

void openShared() {
    if (g_context)
        return;
    StoreError error;
    g_context = ManagedObjectContext::open(g_storePath, &error);
    if (!g_context)
        qFatal("cannot open the generated store: %s", qPrintable(error.message));
    g_manager = std::make_unique<ClipboardDataManager>(g_context.get());
    auto images = g_manager->fetchItems(1, 10, false, QStringLiteral("image"));
    g_sampleImage = *images.at(0)->originalImageData();
    auto texts = g_manager->fetchItems(1, 5000, false, QStringLiteral("text"));
    g_sampleText = *texts.at(0)->textContent();
}

// Runs first, before anything else has touched the store in this process.
void BM_ResidentMemory(benchmark::State& state) {
    double before = 0, afterOpen = 0, afterPage = 0, afterImagePages = 0;
    for (auto _ : state) {
        before = residentKiB();
        openShared();
        afterOpen = residentKiB();
        auto page = g_manager->fetchItems(12, 0, false, std::nullopt);
        benchmark::DoNotOptimize(page);
        afterPage = residentKiB();
        // Page through every image entry without looking at the pictures.
        for (int offset = 0; offset < kImages; offset += 12) {
            auto images = g_manager->fetchItems(12, offset, false, QStringLiteral("image"));
            benchmark::DoNotOptimize(images);
        }
        afterImagePages = residentKiB();
    }
    state.counters["rss_before_open_KiB"] = before;
    state.counters["rss_after_open_KiB"] = afterOpen;
    state.counters["rss_after_first_page_KiB"] = afterPage;
    state.counters["rss_after_all_image_pages_KiB"] = afterImagePages;
}
BENCHMARK(BM_ResidentMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

// Opening reads every page of the store once (its quick check) before the store is used.
void BM_OpenWithQuickCheck(benchmark::State& state) {
    openShared();
    for (auto _ : state) {
        StoreError error;
        auto context = ManagedObjectContext::open(g_storePath, &error);
        if (!context)
            state.SkipWithError(qPrintable(error.message));
    }
}
BENCHMARK(BM_OpenWithQuickCheck)->Iterations(5)->Unit(benchmark::kMillisecond);

// The first open by this version of a store an older one wrote: the search rows of the copies of
// several files are written again.
void BM_OpenUpgradingSearchRows(benchmark::State& state) {
    openShared();
    for (auto _ : state) {
        state.PauseTiming();
        sqlite3* db = nullptr;
        sqlite3_open(QFile::encodeName(g_storePath).constData(), &db);
        sqlite3_exec(db, "PRAGMA user_version = 3", nullptr, nullptr, nullptr);
        sqlite3_close(db);
        state.ResumeTiming();
        StoreError error;
        auto context = ManagedObjectContext::open(g_storePath, &error);
        if (!context)
            state.SkipWithError(qPrintable(error.message));
    }
}
BENCHMARK(BM_OpenUpgradingSearchRows)->Iterations(5)->Unit(benchmark::kMillisecond);

void BM_FirstPage(benchmark::State& state) {
    openShared();
    for (auto _ : state) {
        auto page = g_manager->fetchItems(12, 0, false, std::nullopt);
        benchmark::DoNotOptimize(page);
    }
}
BENCHMARK(BM_FirstPage)->Unit(benchmark::kMicrosecond);

// A first page holding three copies of 100,000 files each (about 7 MB of paths apiece), read as the
// panel reads it (arg 0), and with every file's path read too (arg 1).
void BM_FirstPageOfCopiesOfManyFiles(benchmark::State& state) {
    QTemporaryDir dir;
    StoreError error;
    auto context = ManagedObjectContext::open(dir.filePath(QStringLiteral("files.sqlite")), &error);
    for (int copy = 0; copy < 3; ++copy) {
        QStringList more;
        for (int i = 0; i < 100000; ++i)
            more << QStringLiteral("/home/someone/Pictures/holiday %1/IMG_%2.jpeg").arg(copy).arg(100000 + i);
        auto item = context->insertClipboardItem();
        item->setId(QUuid::createUuid());
        item->setType(QStringLiteral("file"));
        item->setTimestamp(QDateTime::currentDateTime().addSecs(copy));
        item->setFilePath(more.takeFirst());
        item->setPreview(QStringLiteral("IMG_100000.jpeg"));
        item->setAdditionalFilePaths(more);
    }
    if (!context->save(&error))
        state.SkipWithError(qPrintable(error.message));
    ClipboardDataManager manager(context.get());
    qsizetype files = 0;
    for (auto _ : state) {
        // The rows are read again: the page's objects from the last round are gone.
        const auto page = manager.fetchItems(12, 0, false, std::nullopt);
        for (const auto& item : page)
            files += state.range(0) ? item->additionalFilePaths().size() : item->additionalFileCount();
    }
    benchmark::DoNotOptimize(files);
}
BENCHMARK(BM_FirstPageOfCopiesOfManyFiles)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_PageAtOffset10000(benchmark::State& state) {
    openShared();
    for (auto _ : state) {
        auto page = g_manager->fetchItems(12, 10000, false, std::nullopt);
        benchmark::DoNotOptimize(page);
    }
}
BENCHMARK(BM_PageAtOffset10000)->Unit(benchmark::kMicrosecond);

void search(benchmark::State& state, const QString& query) {
    openShared();
    size_t matches = 0;
    for (auto _ : state) {
        auto found = g_manager->searchItems(query, std::nullopt, false, std::nullopt);
        matches = found.size();
        benchmark::DoNotOptimize(found);
    }
    state.counters["matches"] = double(matches);
}

void BM_Search3Letters(benchmark::State& state) {
    search(state, kWord3);
}
BENCHMARK(BM_Search3Letters)->Unit(benchmark::kMillisecond);

void BM_Search10Letters(benchmark::State& state) {
    search(state, kWord10);
}
BENCHMARK(BM_Search10Letters)->Unit(benchmark::kMillisecond);

void BM_ColourFilterFirstPage(benchmark::State& state) {
    openShared();
    for (auto _ : state) {
        auto page = g_manager->fetchItems(12, 0, false, QStringLiteral("color"));
        benchmark::DoNotOptimize(page);
    }
}
BENCHMARK(BM_ColourFilterFirstPage)->Unit(benchmark::kMicrosecond);

void BM_FindDuplicateText(benchmark::State& state) {
    openShared();
    for (auto _ : state) {
        auto found = g_manager->findDuplicate(QStringLiteral("text"), g_sampleText, {}, {}, {});
        if (!found)
            state.SkipWithError("the stored text was not found");
        benchmark::DoNotOptimize(found);
    }
}
BENCHMARK(BM_FindDuplicateText)->Unit(benchmark::kMicrosecond);

void BM_FindDuplicateImage(benchmark::State& state) {
    openShared();
    for (auto _ : state) {
        auto found = g_manager->findDuplicate(QStringLiteral("image"), {}, {}, g_sampleImage, {});
        if (!found)
            state.SkipWithError("the stored image was not found");
        benchmark::DoNotOptimize(found);
    }
}
BENCHMARK(BM_FindDuplicateImage)->Unit(benchmark::kMicrosecond);

void BM_SaveOneEntry(benchmark::State& state) {
    openShared();
    qint64 n = 0;
    for (auto _ : state) {
        g_manager->saveClipboardItem(QStringLiteral("text"), QStringLiteral("new entry number %1").arg(++n), {}, {}, {},
                                     {}, QStringLiteral("Application 7"), QStringLiteral("org.example.app7"));
    }
    if (g_context->hasChanges())
        state.SkipWithError("a save failed");
}
BENCHMARK(BM_SaveOneEntry)->Unit(benchmark::kMicrosecond);

void BM_RetentionOf10000(benchmark::State& state) {
    openShared();
    const QDateTime old = QDateTime::currentDateTime().addDays(-400);
    for (auto _ : state) {
        state.PauseTiming();
        for (int i = 0; i < 10000; ++i) {
            auto item = g_context->insertClipboardItem();
            item->setType(QStringLiteral("text"));
            item->setTextContent(QStringLiteral("old entry %1").arg(i));
            item->setTimestamp(old.addSecs(i));
            item->setIsFavorite(false);
        }
        g_context->save();
        state.ResumeTiming();
        g_manager->deleteItemsOlderThan(365);
    }
}
BENCHMARK(BM_RetentionOf10000)->Iterations(3)->Unit(benchmark::kMillisecond);

// A search that finds nothing reads and folds the whole of a 100 MB text with accents in every line.
void BM_SearchThroughAHundredMegabyteText(benchmark::State& state) {
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/tindralume-huge-XXXXXX"));
    StoreError error;
    auto context = ManagedObjectContext::open(dir.filePath(QStringLiteral("Tindralume.sqlite")), &error);
    if (!context) {
        state.SkipWithError(qPrintable(error.message));
        return;
    }
    ClipboardDataManager manager(context.get());
    QByteArray text;
    for (int i = 0; text.size() < 100 * 1024 * 1024; ++i)
        text += "line " + QByteArray::number(i) +
                ": Caf\xC3\xA9 r\xC3\xA9sum\xC3\xA9 na\xC3\xAFve Stra\xC3\x9F"
                "e words\n";
    manager.saveLargeText(QStringLiteral("text"), LargeText::fromUtf8(text), std::nullopt, std::nullopt, std::nullopt);
    manager.finishLargeSaves();
    text.clear();
    size_t matches = 0;
    for (auto _ : state) {
        auto found = manager.searchItems(QStringLiteral("zebrafisch"), std::nullopt, false, std::nullopt);
        matches = found.size();
    }
    state.counters["matches"] = double(matches);
}
BENCHMARK(BM_SearchThroughAHundredMegabyteText)->Iterations(3)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && QByteArray(argv[1]) == "--generate") {
        QCoreApplication app(argc, argv);
        return generate(QString::fromLocal8Bit(argv[2]));
    }
    QCoreApplication app(argc, argv);
    Workspace::setShared(std::make_unique<MemoryWorkspace>());
    QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/tindralume-store-bench-XXXXXX"));
    g_storePath = dir.path() + QStringLiteral("/Tindralume.sqlite");
    // A copy of a store generated earlier (store_bench --generate PATH) may be given for profiling.
    const QString given = qEnvironmentVariable("TINDRALUME_BENCH_STORE");
    if (!given.isEmpty()) {
        QFile::copy(given, g_storePath);
    } else {
        std::fprintf(stderr, "generating %d entries into %s ...\n", kEntries, qPrintable(g_storePath));
        if (QProcess::execute(QCoreApplication::applicationFilePath(), {QStringLiteral("--generate"), g_storePath}) !=
            0)
            return 1;
    }
    std::fprintf(stderr, "store file: %.1f MB\n", QFileInfo(g_storePath).size() / 1e6);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_manager.reset();
    g_context.reset();
    return 0;
}
