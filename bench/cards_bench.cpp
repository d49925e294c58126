// SPDX-License-Identifier: MIT
// The cards' costs: a card for a 5 MB rich-text entry on the main thread, the thumbnails of 200
// 1080p images while the strip scrolls, and the memory of a strip scrolled through 1,000 images.
#include "BenchWidgetMain.h"
#include "history/ClipboardDataManager.h"
#include "history/store/ManagedObjectContext.h"
#include "panel/ClipboardItemContentView.h"
#include "panel/ClipboardPreviewImageLoader.h"
#include "panel/PanelContentView.h"
#include "panel/PanelScrollView.h"
#include "panel/RichTextPreview.h"
#include "platform/ImageUtils.h"
#include "platform/UserDefaults.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

struct BenchStore {
    QTemporaryDir dir;
    std::unique_ptr<ManagedObjectContext> context;
    std::unique_ptr<ClipboardDataManager> manager;

    BenchStore() {
        StoreError error;
        context = ManagedObjectContext::open(dir.path() + "/Tindralume.sqlite", &error);
        if (!context)
            qFatal("cannot open the store: %s", qPrintable(error.message));
        manager = std::make_unique<ClipboardDataManager>(context.get());
    }
    ClipboardItemPtr add(const QString& type, int age) {
        ClipboardItemPtr item = context->insertClipboardItem();
        item->setId(QUuid::createUuid());
        item->setType(type);
        item->setTimestamp(QDateTime::currentDateTime().addSecs(-age));
        return item;
    }
    void save() {
        StoreError error;
        if (!context->save(&error))
            qFatal("cannot save: %s", qPrintable(error.message));
    }
};

// About 5 MB of RTF as a word processor writes it: a font and colour table, styled runs.
QByteArray bigRtf(bool html) {
    QByteArray out = html ? "<html><body>"
                          : "{\\rtf1\\ansi\\ansicpg1252{\\fonttbl\\f0\\fswiss Helvetica;}"
                            "{\\colortbl;\\red200\\green0\\blue0;}\\f0\\fs24 ";
    int i = 0;
    while (out.size() < 5 * 1024 * 1024) {
        if (html)
            out += "<p>Paragraph " + QByteArray::number(i) + " with <b>bold</b> and <i>italic</i> words.</p>\n";
        else
            out += "Paragraph " + QByteArray::number(i) + " with {\\b bold} and {\\i\\cf1 italic} words.\\par\n";
        ++i;
    }
    out += html ? "</body></html>" : "}";
    return out;
}

// A 1080p picture with noise, so that its PNG is as large as a photograph's.
QImage photo(int seed) {
    QImage image(1920, 1080, QImage::Format_RGB32);
    QRandomGenerator random(static_cast<quint32>(seed));
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x)
            line[x] = qRgb((x + seed * 37) & 255, (y + seed * 11) & 255, int(random.bounded(64)) + 96);
    }
    return image;
}

// The main thread's cost of showing a card for a 5 MB rich-text entry the first time (the entry's
// data read from the store included) and again from the kept result.
void richTextCard(benchmark::State& state, bool html, bool again) {
    static std::map<bool, std::unique_ptr<BenchStore>> stores;
    auto& store = stores[html];
    if (!store) {
        store = std::make_unique<BenchStore>();
        ClipboardItemPtr item = store->add(QStringLiteral("richText"), 0);
        item->setPreview(QStringLiteral("Paragraph 0 with bold and italic words."));
        item->setRichTextData(bigRtf(html));
        store->save();
    }
    const ClipboardItemPtr entry = store->manager->fetchItems(1, 0, false, std::nullopt).front();
    ClipboardItemContentView card;
    card.show();
    for (auto _ : state) {
        state.PauseTiming();
        if (!again) {
            RichTextPreview::clearCache();
            store->context->refreshAllObjects(); // the data is read from the store again
        }
        card.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
        card.configure(entry);
        card.repaint();
        state.PauseTiming();
        // The document arrives from the background queue; wait for it outside the timing.
        QElapsedTimer wait;
        wait.start();
        while (!card.previewLabel()->document() && wait.elapsed() < 20000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        if (!card.previewLabel()->document())
            state.SkipWithError("the rich text never arrived");
        state.counters["ready_ms"] = double(wait.elapsed());
        state.ResumeTiming();
    }
}

void BM_RichTextCard5MB_FirstShow(benchmark::State& state) {
    richTextCard(state, false, false);
}
void BM_RichTextCard5MB_Again(benchmark::State& state) {
    richTextCard(state, false, true);
}
void BM_HtmlCard5MB_FirstShow(benchmark::State& state) {
    richTextCard(state, true, false);
}

// Wheel steps through a strip of 200 image entries (1080p pictures, kept as the store keeps them:
// shrunk to 400 x 400, or, with range(0) = 1, at full size) while the thumbnails decode: the
// longest step on the main thread (its drawing and the thumbnails applied in it) is the number.
void BM_ScrollThroughThumbnails(benchmark::State& state) {
    const bool fullSize = state.range(0) == 1;
    static std::map<bool, std::unique_ptr<BenchStore>> stores;
    auto& store = stores[fullSize];
    if (!store) {
        store = std::make_unique<BenchStore>();
        for (int i = 0; i < 200; ++i) {
            const QImage image = photo(i);
            ClipboardItemPtr item = store->add(QStringLiteral("image"), i);
            item->setPreview(QStringLiteral("Image"));
            item->setImageData(ImageUtils::pngData(fullSize ? image : ImageUtils::resized(image, 400, 400)));
        }
        store->save();
    }
    const auto entries = store->manager->fetchItems(std::nullopt, 0, false, std::nullopt);
    PanelContentView view;
    view.resize(1260, 320);
    view.show();
    for (auto _ : state) {
        ClipboardPreviewImageLoader::shared().removeAllObjects();
        view.clipboardItems = entries;
        view.collectionView()->reloadData();
        view.collectionView()->setContentOffset(0);
        QCoreApplication::processEvents();
        auto* strip = view.scrollView();
        qint64 longest = 0, total = 0;
        int steps = 0, over16 = 0;
        QElapsedTimer all;
        all.start();
        while (strip->contentOffset() < strip->contentWidth() - strip->viewportWidth() && steps < 5000) {
            QElapsedTimer step;
            step.start();
            strip->handleScrollWheel(0, 1, false);
            view.repaint();
            QCoreApplication::processEvents(); // thumbnails that arrived are applied here
            const qint64 ns = step.nsecsElapsed();
            longest = std::max(longest, ns);
            over16 += ns > 16000000 ? 1 : 0;
            total += ns;
            ++steps;
        }
        // Until the last thumbnails are in: the cache has stopped growing for half a second.
        QElapsedTimer quiet;
        quiet.start();
        int seen = -1;
        while (quiet.elapsed() < 500 && all.elapsed() < 60000) {
            QElapsedTimer step;
            step.start();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            longest = std::max(longest, step.nsecsElapsed());
            if (const int now = ClipboardPreviewImageLoader::shared().count(); now != seen) {
                seen = now;
                quiet.restart();
            }
        }
        state.SetIterationTime(double(all.nsecsElapsed()) / 1e9);
        state.counters["steps"] = steps;
        state.counters["steps_over_16ms"] = over16;
        state.counters["longest_step_ms"] = double(longest) / 1e6;
        state.counters["mean_step_ms"] = double(total) / 1e6 / std::max(1, steps);
        state.counters["cached"] = ClipboardPreviewImageLoader::shared().count();
        state.counters["cached_MiB"] = double(ClipboardPreviewImageLoader::shared().totalCost()) / (1 << 20);
    }
}

qint64 statusKiB(const char* field) {
    QFile file(QStringLiteral("/proc/self/status"));
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : file.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').first().toLongLong();
    return -1;
}

// The peak memory above the empty panel while the strip pages through 1,000 image entries.
void BM_PeakMemoryScrolling1000Images(benchmark::State& state) {
    static std::unique_ptr<BenchStore> store;
    if (!store) {
        store = std::make_unique<BenchStore>();
        for (int i = 0; i < 1000; ++i) {
            ClipboardItemPtr item = store->add(QStringLiteral("image"), i);
            item->setPreview(QStringLiteral("Image"));
            item->setImageData(ImageUtils::pngData(ImageUtils::resized(photo(i % 50), 400, 400)));
            if (i % 100 == 99)
                store->save();
        }
        store->save();
        store->context->refreshAllObjects();
    }
    for (auto _ : state) {
        PanelContentView view;
        view.setDataManager(store->manager.get());
        view.resize(1260, 320);
        view.show();
        view.reloadContent(false);
        QElapsedTimer wait;
        wait.start();
        while (view.clipboardItems.size() < 12 && wait.elapsed() < 10000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QCoreApplication::processEvents();
        const qint64 baseline = statusKiB("VmRSS:");
        QFile clear(QStringLiteral("/proc/self/clear_refs"));
        if (clear.open(QIODevice::WriteOnly))
            clear.write("5"); // the peak counts from here
        clear.close();
        auto* strip = view.scrollView();
        wait.restart();
        while (view.clipboardItems.size() < 1000 && wait.elapsed() < 120000) {
            strip->handleScrollWheel(0, 3, false);
            view.repaint();
            QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        }
        for (int i = 0; i < 400; ++i) { // to the end, with the last thumbnails in
            strip->handleScrollWheel(0, 3, false);
            QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
        }
        const qint64 peak = statusKiB("VmHWM:");
        state.counters["entries"] = double(view.clipboardItems.size());
        state.counters["peak_above_empty_MiB"] = double(peak - baseline) / 1024.0;
        state.counters["cache_MiB"] = double(ClipboardPreviewImageLoader::shared().totalCost()) / (1 << 20);
        view.resetAndReload();
        QCoreApplication::processEvents();
    }
}

} // namespace

BENCHMARK(BM_RichTextCard5MB_FirstShow)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_RichTextCard5MB_Again)->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_HtmlCard5MB_FirstShow)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_ScrollThroughThumbnails)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_PeakMemoryScrolling1000Images)->Unit(benchmark::kMillisecond)->Iterations(1);

int main(int argc, char** argv) {
    return runWidgetBenchmarks(argc, argv);
}
