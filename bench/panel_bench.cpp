// SPDX-License-Identifier: MIT
// The panel's costs on a large history: from showPanel to the first page drawn (also with a 100 MB
// text, or five 20 MB rich texts, as the newest entries), a search that scans every entry, and adding
// a further page of 12 cards to a strip of 1,000; with the longest time the main thread went without
// answering.
#include "BenchHistory.h"
#include "BenchSupport.h"
#include "BenchWidgetMain.h"
#include "history/ClipboardDataManager.h"
#include "history/store/ManagedObjectContext.h"
#include "panel/CardTextLabel.h"
#include "panel/ClipboardItemContentView.h"
#include "panel/FloatingPanel.h"
#include "panel/PanelContentView.h"
#include "panel/PanelScrollView.h"
#include "panel/PanelWindowController.h"
#include "platform/Dispatch.h"
#include "platform/UserDefaults.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <memory>

namespace {

struct BenchStore {
    QTemporaryDir dir;
    std::unique_ptr<ManagedObjectContext> context;
    std::unique_ptr<ClipboardDataManager> manager;
};

enum class Newest { Ordinary, HugeText, HugeRich };

// A copied rich text of about 20 MB: RTF or HTML with some styling on every line.
QByteArray hugeRich(bool rtf) {
    constexpr int kBytes = 20 * 1024 * 1024;
    const QByteArray line = rtf ? QByteArray("{\\b bold} words of a very large rich copy\\par\n")
                                : QByteArray("<p><b>bold</b> words of a very large rich copy</p>\n");
    const QByteArray head = rtf ? "{\\rtf1\\ansi{\\fonttbl\\f0\\fswiss Helvetica;}\\f0\\fs24 " : "<html><body>";
    return head + line.repeated(kBytes / line.size()) + (rtf ? "}" : "</body></html>");
}

// HugeText: a text of 100 MB saved after the others, so it heads the first page; HugeRich: five
// rich texts of 20 MB each (RTF and HTML in turn) on top.
BenchStore& storeOf(int entries, Newest newest = Newest::Ordinary) {
    static std::map<std::pair<int, Newest>, std::unique_ptr<BenchStore>> stores;
    auto& slot = stores[{entries, newest}];
    if (slot)
        return *slot;
    slot = std::make_unique<BenchStore>();
    StoreError error;
    slot->context = ManagedObjectContext::open(slot->dir.path() + "/Tindralume.sqlite", &error);
    if (!slot->context)
        qFatal("cannot open the store: %s", qPrintable(error.message));
    addBenchEntries(*slot->context, entries, 97);
    slot->manager = std::make_unique<ClipboardDataManager>(slot->context.get());
    auto addNewest = [&](const QString& type, const QString& text, const OptData& rich, int secondsAgo) {
        ClipboardItemPtr item = slot->context->insertClipboardItem();
        item->setId(QUuid::createUuid());
        item->setType(type);
        item->setTextContent(text);
        item->setRichTextData(rich);
        item->setPreview(slot->manager->makePreview(type, text, std::nullopt));
        item->setTimestamp(QDateTime::currentDateTime().addSecs(-secondsAgo));
        item->setIsFavorite(false);
        if (!slot->context->save(&error))
            qFatal("cannot save: %s", qPrintable(error.message));
    };
    if (newest == Newest::HugeText)
        addNewest(QStringLiteral("text"),
                  QStringLiteral("a line of a very large copied text\n").repeated(100 * 1024 * 1024 / 35), std::nullopt,
                  0);
    if (newest == Newest::HugeRich)
        for (int i = 0; i < 5; ++i)
            addNewest(QStringLiteral("richText"), QStringLiteral("a line of a very large rich copy"),
                      hugeRich(i % 2 == 0), 4 - i);
    return *slot;
}

// Whether every card made for the first five entries (the rich ones) shows its document (light
// appearance); only the cards in view are made.
bool richCardsDrawn(PanelWindowController* controller) {
    int shown = 0, drawn = 0;
    for (auto* card : controller->window()->findChildren<ClipboardItemContentView*>()) {
        if (!card->isVisible())
            continue;
        ++shown;
        if (card->previewLabel()->document())
            ++drawn;
    }
    return shown > 0 && drawn == std::min(5, shown);
}

// Runs the event loop until the view has applied a page (or the empty state).
void waitForContent(PanelContentView* view) {
    QEventLoop loop;
    auto connection = QObject::connect(view, &PanelContentView::contentApplied, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    loop.exec();
    QObject::disconnect(connection);
}

void waitFor(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

// showPanel until the first page is on screen, with the window made anew (the launch show) or
// kept from an earlier show (every later show). The slide runs alongside and is not waited for.
// With rich entries on top, the time until their documents are drawn is counted as well.
void showToFirstPage(benchmark::State& state, bool firstShow, Newest newest = Newest::Ordinary) {
    BenchStore& store = storeOf(static_cast<int>(state.range(0)), newest);
    double richDrawnMs = 0;
    MainThreadProbe probe(5, 20);
    double longestGap = 0;
    std::unique_ptr<PanelWindowController> kept;
    if (!firstShow) {
        kept = std::make_unique<PanelWindowController>();
        kept->setDataManager(store.manager.get());
        kept->showPanel();
        waitFor([&] { return kept->window()->panelContentView()->clipboardItems.size() == 12; });
        kept->hidePanel();
        waitFor([&] { return !kept->window()->isVisible(); });
    }
    for (auto _ : state) {
        std::unique_ptr<PanelWindowController> fresh;
        PanelWindowController* controller = kept.get();
        if (firstShow) {
            fresh = std::make_unique<PanelWindowController>();
            fresh->setDataManager(store.manager.get());
            controller = fresh.get();
        }
        probe.start();
        QElapsedTimer timer;
        timer.start();
        controller->showPanel();
        PanelContentView* view = controller->window()->panelContentView();
        // The launch show loads twice (creation, then the deferred reload); the second one counts.
        while (view->clipboardItems.size() != 12 || view->dataLoadGeneration < (firstShow ? 2u : 1u))
            waitForContent(view);
        controller->window()->repaint();
        state.SetIterationTime(static_cast<double>(timer.nsecsElapsed()) / 1e9);
        if (newest == Newest::HugeRich) {
            waitFor([&] { return richCardsDrawn(controller); });
            richDrawnMs = std::max(richDrawnMs, timer.nsecsElapsed() / 1e6);
            if (!richCardsDrawn(controller))
                state.SkipWithError("the rich texts were not drawn");
        }
        longestGap = std::max(longestGap, probe.stopMs());
        if (view->clipboardItems.size() != 12)
            state.SkipWithError("the first page did not arrive");
        else if (newest != Newest::Ordinary &&
                 !view->clipboardItems.front()->preview().value_or(QString()).startsWith("a line"))
            state.SkipWithError("the large entry does not head the page");
        controller->hidePanel();
        waitFor([&] { return !controller->window()->isVisible(); });
    }
    state.counters["longest_main_gap_ms"] = longestGap;
    if (newest == Newest::HugeRich)
        state.counters["rich_drawn_ms"] = richDrawnMs;
}

void BM_ShowToFirstPage_Launch(benchmark::State& state) {
    showToFirstPage(state, true);
}
void BM_ShowToFirstPage_Later(benchmark::State& state) {
    showToFirstPage(state, false);
}
void BM_ShowToFirstPage_HugeNewest_Launch(benchmark::State& state) {
    showToFirstPage(state, true, Newest::HugeText);
}
void BM_ShowToFirstPage_HugeNewest_Later(benchmark::State& state) {
    showToFirstPage(state, false, Newest::HugeText);
}
void BM_ShowToFirstPage_HugeRich_Launch(benchmark::State& state) {
    showToFirstPage(state, true, Newest::HugeRich);
}
void BM_ShowToFirstPage_HugeRich_Later(benchmark::State& state) {
    showToFirstPage(state, false, Newest::HugeRich);
}

// A search that matches one entry of 100,000, so every entry is scanned: from performSearch to
// the result in the strip, drawn.
void BM_SearchFullScan(benchmark::State& state) {
    BenchStore& store = storeOf(100000);
    PanelWindowController controller;
    controller.setDataManager(store.manager.get());
    controller.showPanel();
    PanelContentView* view = controller.window()->panelContentView();
    waitFor([&] { return view->clipboardItems.size() == 12 && view->dataLoadGeneration >= 2; });
    int applied = 0;
    QObject::connect(view, &PanelContentView::contentApplied, view, [&] { ++applied; });
    MainThreadProbe probe(5, 20);
    double longestGap = 0;
    for (auto _ : state) {
        probe.start();
        QElapsedTimer timer;
        timer.start();
        const int before = applied;
        view->performSearch(QStringLiteral("99999"));
        while ((applied == before || view->clipboardItems.size() != 1) && timer.elapsed() < 60000)
            waitForContent(view);
        view->repaint();
        state.SetIterationTime(static_cast<double>(timer.nsecsElapsed()) / 1e9);
        longestGap = std::max(longestGap, probe.stopMs());
        if (view->clipboardItems.size() != 1)
            state.SkipWithError("the search result did not arrive");
        state.PauseTiming();
        view->reloadContent(false);
        waitFor([&] { return view->clipboardItems.size() == 12; });
        state.ResumeTiming();
    }
    state.counters["longest_main_gap_ms"] = longestGap;
}

// Appending a page of 12 cards to a strip of 1,000 scrolled to its end, drawn.
void BM_InsertPageIntoStrip(benchmark::State& state) {
    BenchStore& store = storeOf(100000);
    const int base = static_cast<int>(state.range(0));
    const auto entries = store.manager->fetchItems(base + 12, 0, false, std::nullopt);
    PanelContentView view;
    view.resize(1260, 320);
    view.show();
    for (auto _ : state) {
        state.PauseTiming();
        view.clipboardItems.assign(entries.begin(), entries.begin() + base);
        view.collectionView()->reloadData();
        view.collectionView()->setContentOffset(view.collectionView()->contentWidth());
        QCoreApplication::processEvents();
        state.ResumeTiming();
        view.clipboardItems.insert(view.clipboardItems.end(), entries.begin() + base, entries.end());
        QList<int> indexes;
        for (int i = base; i < base + 12; ++i)
            indexes.append(i);
        view.collectionView()->insertItems(indexes);
        view.collectionView()->setContentOffset(view.collectionView()->contentWidth());
        view.repaint();
    }
}

// The whole further-page path: the fetch of 12 at offset 1,000 through the store and the insert.
void BM_LoadMoreAt1000(benchmark::State& state) {
    BenchStore& store = storeOf(100000);
    const auto first = store.manager->fetchItems(1000, 0, false, std::nullopt);
    PanelContentView view;
    view.setDataManager(store.manager.get());
    view.resize(1260, 320);
    view.show();
    for (auto _ : state) {
        state.PauseTiming();
        view.clipboardItems = first;
        view.currentOffset = 1000;
        view.hasMoreData = true;
        view.isLoadingMore = false;
        view.isReloadingData = false;
        view.collectionView()->reloadData();
        view.collectionView()->setContentOffset(view.collectionView()->contentWidth());
        QCoreApplication::processEvents();
        state.ResumeTiming();
        QElapsedTimer timer;
        timer.start();
        view.loadMore();
        waitForContent(&view);
        view.repaint();
        state.SetIterationTime(static_cast<double>(timer.nsecsElapsed()) / 1e9);
        if (view.clipboardItems.size() != 1012)
            state.SkipWithError("the further page did not arrive");
    }
}

// One wheel notch on a strip of N loaded cards, drawn: the cost must not grow with N.
void BM_WheelStepOnStrip(benchmark::State& state) {
    BenchStore& store = storeOf(100000);
    const auto entries = store.manager->fetchItems(static_cast<int>(state.range(0)), 0, false, std::nullopt);
    PanelContentView view;
    view.resize(1260, 320);
    view.show();
    view.clipboardItems = entries;
    view.collectionView()->reloadData();
    QCoreApplication::processEvents();
    auto* strip = view.scrollView();
    double direction = -1; // a notch towards the user scrolls back
    for (auto _ : state) {
        if (strip->contentOffset() == 0 || strip->contentOffset() >= strip->contentWidth() - strip->viewportWidth())
            direction = -direction;
        strip->handleScrollWheel(0, direction, false);
        view.repaint();
    }
}

} // namespace

BENCHMARK(BM_ShowToFirstPage_Launch)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_ShowToFirstPage_Later)->Arg(100000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);
BENCHMARK(BM_ShowToFirstPage_HugeNewest_Launch)
    ->Arg(100000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(BM_ShowToFirstPage_HugeNewest_Later)
    ->Arg(100000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(BM_ShowToFirstPage_HugeRich_Launch)
    ->Arg(100000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(BM_ShowToFirstPage_HugeRich_Later)
    ->Arg(100000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond)
    ->Iterations(5);
BENCHMARK(BM_SearchFullScan)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_InsertPageIntoStrip)->Arg(1000)->Arg(12)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_WheelStepOnStrip)->Arg(12)->Arg(5000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_LoadMoreAt1000)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

int main(int argc, char** argv) {
    return runWidgetBenchmarks(argc, argv);
}
