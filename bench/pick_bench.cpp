// SPDX-License-Identifier: MIT
// Searching and picking on a history of 100,000 entries: a keystroke (after the debounce) until
// the results are drawn, with the memory the results hold; Return until the clipboard holds the
// entry (text, and a 4000 x 3000 picture); the same for a 100 MB text and the picture read back
// from the store as a page shows them; edits made while a large text is saved; and, on a real
// X display with a window manager, Return until the text has arrived in another program's focused
// line edit.
#include "BenchHistory.h"
#include "BenchSupport.h"
#include "BenchWidgetMain.h"
#include "common/AppNames.h"
#include "history/ClipboardDataManager.h"
#include "history/store/LargeText.h"
#include "history/store/ManagedObjectContext.h"
#include "panel/ClipboardImageFilePromiseProvider.h"
#include "panel/PanelContentView.h"
#include "platform/Dispatch.h"
#include "platform/ImageUtils.h"
#include "platform/Pasteboard.h"
#include "platform/UserDefaults.h"

#include <QApplication>
#include <QClipboard>
#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QMimeData>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

constexpr int kEntries = 100000;

struct BenchStore {
    QTemporaryDir dir;
    std::unique_ptr<ManagedObjectContext> context;
    std::unique_ptr<ClipboardDataManager> manager;
    ClipboardItemPtr picture;
};

BenchStore& store() {
    static std::unique_ptr<BenchStore> slot;
    if (slot)
        return *slot;
    slot = std::make_unique<BenchStore>();
    StoreError error;
    slot->context = ManagedObjectContext::open(slot->dir.path() + "/Tindralume.sqlite", &error);
    if (!slot->context)
        qFatal("cannot open the store: %s", qPrintable(error.message));
    addBenchEntries(*slot->context, kEntries);
    // A photograph-sized picture: noise keeps the PNG from shrinking to nothing.
    QImage photo(4000, 3000, QImage::Format_RGB32);
    for (int y = 0; y < photo.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(photo.scanLine(y));
        for (int x = 0; x < photo.width(); ++x)
            line[x] = qRgb((x * 7 + y) & 0xff, (y * 3) & 0xff, ((x ^ y) * 13) & 0xff);
    }
    slot->picture = slot->context->insertClipboardItem();
    slot->picture->setId(QUuid::createUuid());
    slot->picture->setType(QStringLiteral("image"));
    slot->picture->setPreview(QStringLiteral("Image"));
    slot->picture->setOriginalImageData(ImageUtils::pngData(photo).value_or(QByteArray()));
    slot->picture->setImageData(ImageUtils::pngData(photo.scaled(400, 300)).value_or(QByteArray()));
    slot->picture->setTimestamp(QDateTime::currentDateTime());
    if (!slot->context->save(&error))
        qFatal("cannot save: %s", qPrintable(error.message));
    slot->manager = std::make_unique<ClipboardDataManager>(slot->context.get());
    return *slot;
}

qsizetype largeTextEntrySize = 0;

// A 100 MB text entry (ASCII lines) and a 4000 x 3000 photograph-like picture, stored once and
// kept for the benchmark that picks them.
ClipboardItemPtr largeEntry(bool picture) {
    static ClipboardItemPtr entries[2];
    ClipboardItemPtr& entry = entries[picture ? 1 : 0];
    if (entry)
        return entry;
    BenchStore& s = store();
    StoreError error;
    if (picture) {
        entry = s.context->insertClipboardItem();
        entry->setId(QUuid::createUuid());
        entry->setType(QStringLiteral("image"));
        entry->setPreview(QStringLiteral("Image"));
        const QByteArray png = photoPng(4000, 3000, 7);
        entry->setOriginalImageData(png);
        entry->setImageData(ImageUtils::pngData(ImageUtils::decode(png).scaled(400, 300)).value_or(QByteArray()));
        entry->setTimestamp(QDateTime::currentDateTime());
        if (!s.context->save(&error))
            qFatal("cannot save: %s", qPrintable(error.message));
        return entry;
    }
    QByteArray bytes;
    bytes.reserve(100 * 1024 * 1024 + 128);
    for (int line = 0; bytes.size() < 100 * 1024 * 1024; ++line)
        bytes += "line " + QByteArray::number(line) + " of a long text picked from the panel as a whole\n";
    largeTextEntrySize = bytes.size();
    const LargeTextPtr text = LargeText::fromUtf8(std::move(bytes));
    entry = s.context->insertClipboardItem();
    entry->setId(QUuid::createUuid());
    entry->setType(QStringLiteral("text"));
    entry->setPreview(ClipboardDataManager::makePreview(*text));
    entry->setLargeTextContent(text);
    entry->setTimestamp(QDateTime::currentDateTime());
    if (!s.context->save(&error))
        qFatal("cannot save: %s", qPrintable(error.message));
    // Read back as the application reads an entry another thread saved: without the text kept
    // from its capture.
    const QString id = entry->objectID();
    entry.reset();
    entry = s.context->existingClipboardItem(id);
    return entry;
}

double residentMegabytes() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    }
    return 0;
}

void waitForContent(PanelContentView* view) {
    QEventLoop loop;
    auto connection = QObject::connect(view, &PanelContentView::contentApplied, &loop, &QEventLoop::quit);
    QTimer::singleShot(30000, &loop, &QEventLoop::quit);
    loop.exec();
    QObject::disconnect(connection);
}

void waitFor(const std::function<bool()>& done, int ms = 10000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
}

// The search the debounce timer starts, until its results are drawn; range(1) = 1 asks the store
// for every match at once (the unpaged form) instead of a page. Memory: resident size with the
// results shown, above the same panel showing the unfiltered first page.
void BM_SearchToResultsDrawn(benchmark::State& state, const QString& query) {
    BenchStore& s = store();
    const bool unpaged = state.range(0) == 1;
    PanelContentView view;
    view.setDataManager(s.manager.get());
    if (unpaged) {
        ClipboardDataManager* manager = s.manager.get();
        view.setItemSource([manager](const PageRequest& r) {
            std::vector<ClipboardItemPtr> items;
            Dispatch::syncOnMain([&] {
                items = r.query ? manager->searchItems(*r.query, std::nullopt, r.favoritesOnly, r.typeFilter)
                                : manager->fetchItems(r.limit, r.offset, r.favoritesOnly, r.typeFilter);
            });
            return items;
        });
    }
    view.resize(1260, 320);
    view.show();
    double extra = 0;
    size_t shown = 0;
    for (auto _ : state) {
        view.reloadContent(false);
        waitFor([&] { return !view.isReloadingData; });
        s.manager->refreshAllObjects();
        const double base = residentMegabytes();
        QElapsedTimer timer;
        timer.start();
        view.performSearch(query);
        waitForContent(&view);
        view.repaint();
        state.SetIterationTime(static_cast<double>(timer.nsecsElapsed()) / 1e9);
        extra = std::max(extra, residentMegabytes() - base);
        shown = view.clipboardItems.size();
        waitFor([&] { return !view.isReloadingData && !view.isLoadingMore; });
    }
    state.counters["entries_shown"] = static_cast<double>(shown);
    state.counters["rss_above_list_MB"] = extra;
}

// Return on a card until the clipboard holds the entry (the pick's copy, with the entry moved up).
void BM_ReturnToClipboard(benchmark::State& state) {
    BenchStore& s = store();
    const bool picture = state.range(0) == 1;
    PanelContentView view;
    view.setDataManager(s.manager.get());
    UserDefaults::standard().setBool(DefaultsKeys::pasteDirectly, false);
    const ClipboardItemPtr text = s.manager->fetchItems(1, 5, false, QStringLiteral("text")).front();
    const ClipboardItemPtr item = picture ? s.picture : text;
    for (auto _ : state) {
        QGuiApplication::clipboard()->clear();
        QCoreApplication::processEvents();
        QElapsedTimer timer;
        timer.start();
        view.pasteItem(item, false);
        auto held = [picture] {
            const QMimeData* data = QGuiApplication::clipboard()->mimeData();
            return data && data->hasFormat(picture ? QStringLiteral("image/png") : QStringLiteral("UTF8_STRING"));
        };
        waitFor(held);
        state.SetIterationTime(static_cast<double>(timer.nsecsElapsed()) / 1e9);
        if (!held())
            state.SkipWithError("the clipboard does not hold the entry");
    }
}

// Return on the 100 MB text's card (range 0) or the 4000 x 3000 picture's (1; 2: with a caption,
// picked as plain text, so only the caption is written), each read again as a page shows it
// (without its text or picture): the longest the main thread went without running its 1 ms timer,
// and the time until the clipboard holds the entry.
void BM_PickLargeEntry(benchmark::State& state) {
    BenchStore& s = store();
    const bool picture = state.range(0) >= 1, plain = state.range(0) == 2;
    const ClipboardItemPtr item = largeEntry(picture);
    if (plain && !item->textContent()) {
        item->setTextContent(QStringLiteral("A caption copied with the picture"));
        s.manager->saveContext();
    }
    const QString format = picture && !plain ? QStringLiteral("image/png") : QStringLiteral("UTF8_STRING");
    PanelContentView view;
    view.setDataManager(s.manager.get());
    UserDefaults::standard().setBool(DefaultsKeys::pasteDirectly, false);
    auto held = [&] {
        const QMimeData* data = QGuiApplication::clipboard()->mimeData();
        return data && data->hasFormat(format);
    };
    double longestBlock = 0;
    state.counters["entry_MB"] = double(picture ? item->originalImageData()->size() : largeTextEntrySize) / 1e6;
    for (auto _ : state) {
        QGuiApplication::clipboard()->clear();
        s.manager->refreshAllObjects();
        QCoreApplication::processEvents();
        MainThreadProbe probe(1, 50);
        probe.start();
        QElapsedTimer timer;
        timer.start();
        view.pasteItem(item, plain);
        waitFor(held, 60000);
        state.SetIterationTime(static_cast<double>(timer.nsecsElapsed()) / 1e9);
        longestBlock = std::max(longestBlock, probe.stopMs());
        if (!held())
            state.SkipWithError("the clipboard does not hold the entry");
    }
    state.counters["longest_block_ms"] = longestBlock;
}

// A drag of the 4000 x 3000 picture's card (read again as a page shows it): the press, then the
// drag's start range(0) ms later, then a drop target that asks for the file at once. Time: the main
// thread's in all three; start_ms: the longest press and start alone. The first round writes the
// file, the others find it in place.
void BM_DragStartOfALargePicture(benchmark::State& state) {
    BenchStore& s = store();
    const ClipboardItemPtr item = largeEntry(true);
    const QByteArray original = *item->originalImageData();
    QString error;
    if (const auto base = ClipboardImageFilePromiseProvider::privateBaseDirectory(&error))
        QDir(*base + QLatin1Char('/') + ClipboardImageFilePromiseProvider::folderName + QLatin1Char('/') +
             QString::fromLatin1(QCryptographicHash::hash(original, QCryptographicHash::Sha256).toHex()))
            .removeRecursively();
    PanelContentView view;
    view.setDataManager(s.manager.get());
    double first = -1, longest = 0, start = 0;
    for (auto _ : state) {
        view.clipboardItems = {item};
        s.manager->refreshAllObjects();
        QElapsedTimer timer;
        timer.start();
        view.itemMayBeDragged(nullptr, 0);
        double ms = double(timer.nsecsElapsed()) / 1e6;
        waitFor([] { return false; }, int(state.range(0)));
        timer.restart();
        std::unique_ptr<QMimeData> data(view.pasteboardWriterForItem(nullptr, 0));
        const bool announced = data && data->hasUrls();
        start = std::max(start, ms + double(timer.nsecsElapsed()) / 1e6);
        const QList<QUrl> urls = data ? data->urls() : QList<QUrl>();
        ms += double(timer.nsecsElapsed()) / 1e6;
        state.SetIterationTime(ms / 1e3);
        if (first < 0)
            first = ms;
        longest = std::max(longest, ms);
        QFile file(urls.isEmpty() ? QString() : urls.first().toLocalFile());
        if (!announced || !file.open(QIODevice::ReadOnly) || file.readAll() != original)
            state.SkipWithError("the drag carries no complete file");
    }
    state.counters["first_ms"] = first;
    state.counters["longest_ms"] = longest;
    state.counters["start_ms"] = start;
}

// A favourite toggled and an entry picked every 20 ms while a 100 MB text (50 M characters) is
// being saved: the longest the main thread went without running its 1 ms timer, and the longest
// one edit took. Time: the text handed over until it is stored.
void BM_EditsWhileALargeTextIsSaved(benchmark::State& state) {
    BenchStore& s = store();
    const auto items = s.manager->fetchItems(2, 3, false, QStringLiteral("text"));
    const QString base(50 * 1024 * 1024, QLatin1Char('x'));
    double longestBlock = 0, longestEdit = 0;
    int edits = 0, round = 0;
    for (auto _ : state) {
        QString text = base;
        text.replace(0, 16, QStringLiteral("round %1 ").arg(++round, 8)); // no repeat of the last round
        MainThreadProbe probe(1, 50);
        QTimer editor;
        editor.setInterval(20);
        QObject::connect(&editor, &QTimer::timeout, [&] {
            QElapsedTimer took;
            took.start();
            s.manager->toggleFavorite(items[0]);
            s.manager->copyToPasteboard(items[1], false);
            longestEdit = std::max(longestEdit, double(took.nsecsElapsed()) / 1e6);
            ++edits;
        });
        QElapsedTimer timer;
        timer.start();
        s.manager->saveClipboardItem(QStringLiteral("text"), text, std::nullopt, std::nullopt, std::nullopt,
                                     std::nullopt, std::nullopt, std::nullopt);
        text.clear();
        probe.start();
        editor.start();
        waitFor([&] { return !s.manager->largeSaveInProgress(); }, 120000);
        editor.stop();
        longestBlock = std::max(longestBlock, probe.stopMs());
        state.SetIterationTime(static_cast<double>(timer.nsecsElapsed()) / 1e9);
        s.manager->finishLargeSaves();
        s.manager->saveContext();
        // The next round starts from the same store.
        const ClipboardItemPtr large = s.manager->fetchItems(1, 0, false, std::nullopt).front();
        s.context->deleteObject(large);
        s.manager->saveContext();
    }
    state.counters["longest_block_ms"] = longestBlock;
    state.counters["longest_edit_ms"] = longestEdit;
    state.counters["edits"] = edits;
}

// Return until another program's focused line edit shows the text: the 0.3 s delay, the synthetic
// chord, and that program asking us for the clipboard. Needs BENCH_FOCUS_CLIENT (the test's
// one-line editor) and an X display with a window manager; skipped otherwise.
void BM_ReturnToTextInFocusedWindow(benchmark::State& state) {
    const QString client = qEnvironmentVariable("BENCH_FOCUS_CLIENT");
    if (client.isEmpty() || QGuiApplication::platformName() != QLatin1String("xcb")) {
        state.SkipWithError("set BENCH_FOCUS_CLIENT and run on an X display");
        return;
    }
    BenchStore& s = store();
    QTemporaryDir dir;
    const QString file = dir.path() + "/text";
    QProcess editor;
    editor.start(client, {file});
    editor.waitForReadyRead(10000);
    const QString window = QString::fromUtf8(editor.readLine()).trimmed();
    QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), QStringLiteral("--sync"), window});
    PanelContentView view;
    view.setDataManager(s.manager.get());
    UserDefaults::standard().setBool(DefaultsKeys::pasteDirectly, true);
    const auto items = s.manager->fetchItems(200, 10, false, QStringLiteral("text"));
    size_t next = 0;
    for (auto _ : state) {
        QFile::remove(file);
        QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("ctrl+a")});
        const ClipboardItemPtr item = items[next++ % items.size()];
        const QByteArray expected = item->textContent()->toUtf8();
        view.noteFrontWindow();
        QElapsedTimer timer;
        timer.start();
        view.pasteItem(item, false);
        auto arrived = [&] {
            QFile f(file);
            return f.open(QIODevice::ReadOnly) && f.readAll().endsWith(expected);
        };
        waitFor(arrived, 5000);
        state.SetIterationTime(static_cast<double>(timer.nsecsElapsed()) / 1e9);
        if (!arrived())
            state.SkipWithError("the text never arrived");
    }
    editor.terminate();
    editor.waitForFinished(3000);
}

} // namespace

BENCHMARK_CAPTURE(BM_SearchToResultsDrawn, one_letter, QStringLiteral("E"))
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_SearchToResultsDrawn, one_match, QStringLiteral("Entry 99999:"))
    ->Arg(0)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK_CAPTURE(BM_SearchToResultsDrawn, whitespace, QStringLiteral(" "))
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(BM_ReturnToClipboard)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_PickLargeEntry)->Arg(0)->Arg(1)->Arg(2)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_DragStartOfALargePicture)->Arg(0)->Arg(100)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_EditsWhileALargeTextIsSaved)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_ReturnToTextInFocusedWindow)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

int main(int argc, char** argv) {
    return runWidgetBenchmarks(argc, argv);
}
