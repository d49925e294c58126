// SPDX-License-Identifier: MIT
#include "panel/PanelContentView.h"
#include "common/AppNames.h"
#include "panel/ClipboardItemCollectionViewCell.h"
#include "panel/ClipboardItemContentView.h"
#include "panel/PanelScrollView.h"
#include "panel/PanelTestStore.h"
#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"
#include "platform/Pasteboard.h"
#include "platform/UserDefaults.h"
#include "support/memory/MemoryPasteboard.h"

#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMutex>
#include <QSemaphore>
#include <QTest>

#include "panel/PanelTestWait.h"

#include <gtest/gtest.h>

#include <atomic>
#include <set>

namespace {

// Waits until no load is running and none follows within the fill-check delay.
void settle(PanelContentView& view) {
    for (int round = 0; round < 50; ++round) {
        TL_TRY_VERIFY(!view.isReloadingData && !view.isLoadingMore, 10000);
        QTest::qWait(3 * PanelContentView::fillCheckDelayMs);
        if (!view.isReloadingData && !view.isLoadingMore)
            return;
    }
    ADD_FAILURE() << "loads never settled";
}

// Records every page request on its way to the real store.
struct RecordingSource {
    QMutex mutex;
    std::vector<PageRequest> requests;
    PanelContentView::ItemSource wrap(ClipboardDataManager* manager) {
        return [this, manager](const PageRequest& r) {
            {
                QMutexLocker lock(&mutex);
                requests.push_back(r);
            }
            std::vector<ClipboardItemPtr> items;
            Dispatch::syncOnMain(
                [&] { items = manager->fetchItems(r.limit, r.offset, r.favoritesOnly, r.typeFilter); });
            return items;
        };
    }
    std::vector<int> offsets() {
        QMutexLocker lock(&mutex);
        std::vector<int> result;
        for (const auto& r : requests)
            result.push_back(r.offset);
        return result;
    }
};

ClipboardItemCollectionViewCell* cellAt(PanelContentView& view, int index) {
    return dynamic_cast<ClipboardItemCollectionViewCell*>(view.collectionView()->itemAt(index));
}

void pressKey(PanelContentView& view, int key, bool* handled) {
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
    *handled = view.handleKeyDown(&event);
}

struct ShownView {
    PanelContentView view;
    explicit ShownView(int width = 1000) {
        UserDefaults::setStandardPath(TestEnvironment::instance().freshDir(QStringLiteral("defaults")) + "/d.conf");
        view.resize(width, 320);
        view.show();
    }
};

} // namespace

TEST(PanelContentView, EmptyStates) {
    PanelTestStore store(QStringLiteral("empty"));
    ShownView shown;
    PanelContentView& view = shown.view;
    view.reloadContent(false); // no data manager: nothing happens
    EXPECT_FALSE(view.isReloadingData);

    view.setDataManager(store.manager.get());
    view.reloadContent(false);
    settle(view);
    ASSERT_NE(view.emptyStateLabel(), nullptr);
    EXPECT_EQ(view.emptyStateLabel()->text(), QStringLiteral("No clipboard history yet"));
    EXPECT_TRUE(view.emptyStateContainer()->isVisible());
    EXPECT_EQ(view.emptyStateLabel()->font().pixelSize(), 14);
    // Centred on the strip.
    const QPoint centre = view.emptyStateContainer()->geometry().center();
    EXPECT_NEAR(centre.x(), view.scrollView()->geometry().center().x(), 2);
    EXPECT_NEAR(centre.y(), view.scrollView()->geometry().center().y(), 2);

    view.isFavoriteMode = true;
    view.reloadContent(false);
    settle(view);
    EXPECT_EQ(view.emptyStateLabel()->text(), QStringLiteral("No favorite items yet"));

    view.isFavoriteMode = false;
    store.addTexts(3);
    view.reloadContent(false);
    settle(view);
    EXPECT_EQ(view.clipboardItems.size(), 3u);
    EXPECT_FALSE(view.emptyStateContainer()->isVisible());
}

TEST(PanelContentView, Paging) {
    struct Case {
        const char* name;
        int entries;
        int favorites;
        int width;
        bool favoriteMode;
        size_t loaded;
        std::vector<int> offsets;
        bool hasMore;
    };
    const std::vector<Case> cases = {
        {"11 entries: no further page", 11, 0, 1000, false, 11, {0}, false},
        {"12 entries: more may exist", 12, 0, 1000, false, 12, {0}, true},
        // 4000 + 200 points need 18 cards: two pages arrive without scrolling.
        {"wide screen fills itself", 40, 0, 4000, false, 24, {0, 12}, true},
        {"favourites all at once", 30, 15, 1000, true, 15, {0}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PanelTestStore store(QStringLiteral("paging"));
        for (int i = 0; i < c.entries; ++i)
            store.add(QStringLiteral("text"), QStringLiteral("e%1").arg(i), i < c.favorites);
        store.save();
        ShownView shown(c.width);
        RecordingSource recorder;
        shown.view.setDataManager(store.manager.get());
        shown.view.setItemSource(recorder.wrap(store.manager.get()));
        shown.view.isFavoriteMode = c.favoriteMode;
        shown.view.reloadContent(false);
        settle(shown.view);
        EXPECT_EQ(shown.view.clipboardItems.size(), c.loaded);
        EXPECT_EQ(recorder.offsets(), c.offsets);
        EXPECT_EQ(shown.view.hasMoreData, c.hasMore);
        EXPECT_EQ(shown.view.currentOffset, static_cast<int>(c.loaded));
        if (c.favoriteMode) {
            EXPECT_FALSE(recorder.requests.front().limit.has_value());
            EXPECT_TRUE(recorder.requests.front().favoritesOnly);
        }
    }
}

TEST(PanelContentView, ScrollingToTheEndFetchesUntilExhausted) {
    PanelTestStore store(QStringLiteral("scrolling"));
    store.addTexts(12);
    ShownView shown;
    RecordingSource recorder;
    shown.view.setDataManager(store.manager.get());
    shown.view.setItemSource(recorder.wrap(store.manager.get()));
    shown.view.reloadContent(false);
    settle(shown.view);
    ASSERT_TRUE(shown.view.hasMoreData);

    shown.view.scrollView()->setContentOffset(shown.view.collectionView()->contentWidth());
    settle(shown.view);
    EXPECT_EQ(recorder.offsets(), (std::vector<int>{0, 12}));
    EXPECT_FALSE(shown.view.hasMoreData);
    EXPECT_EQ(shown.view.clipboardItems.size(), 12u);
    shown.view.scrollView()->handleScrollWheel(0, 3, false);
    settle(shown.view);
    EXPECT_EQ(recorder.offsets().size(), 2u); // nothing more is asked for

    // With more in the store, every page is appended in store order, none twice, none skipped, even
    // after a card of the first page is deleted.
    PanelTestStore big(QStringLiteral("scrolling-big"));
    big.addTexts(100);
    shown.view.setDataManager(big.manager.get());
    shown.view.setItemSource({});
    shown.view.reloadContent(false);
    settle(shown.view);
    ASSERT_EQ(shown.view.clipboardItems.size(), 12u);
    shown.view.deleteItem(shown.view.clipboardItems[3]);
    for (int i = 0; i < 20 && shown.view.hasMoreData; ++i) {
        shown.view.scrollView()->setContentOffset(shown.view.collectionView()->contentWidth());
        settle(shown.view);
    }
    const auto expected = big.all();
    ASSERT_EQ(shown.view.clipboardItems.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(shown.view.clipboardItems[i], expected[i]) << i;
}

TEST(PanelContentView, StaleResultsAreDropped) {
    PanelTestStore store(QStringLiteral("generation"));
    store.addTexts(30);
    const auto all = store.all();
    const std::vector<ClipboardItemPtr> oldPage(all.begin(), all.begin() + 12);
    const std::vector<ClipboardItemPtr> newPage(all.begin() + 12, all.begin() + 24);

    // The first load (told apart by its filter) is held back until the second has been applied.
    QSemaphore release;
    std::atomic<int> calls{0};
    ShownView shown;
    shown.view.setItemSource([&](const PageRequest& r) -> std::vector<ClipboardItemPtr> {
        ++calls;
        if (r.typeFilter == QStringLiteral("image")) {
            release.acquire();
            return oldPage;
        }
        return r.offset == 0 ? newPage : std::vector<ClipboardItemPtr>{};
    });
    shown.view.selectedType = QStringLiteral("image");
    shown.view.reloadContent(false);
    shown.view.selectedType.reset();
    shown.view.reloadContent(false);
    TL_TRY_COMPARE(shown.view.clipboardItems.size(), size_t(12), 10000);
    EXPECT_EQ(shown.view.clipboardItems, newPage);
    release.release();
    TL_TRY_VERIFY(calls >= 2, 5000);
    settle(shown.view);
    EXPECT_EQ(shown.view.clipboardItems, newPage);

    // A further page that returns after a reload is dropped, and it does not clear the loading
    // flag of the newer list's own further page: otherwise a second request for the same offset
    // would start and the page would be appended twice.
    QSemaphore gates[3];
    std::atomic<int> furtherCalls{0};
    std::atomic<int> furtherReturned{0};
    shown.view.setItemSource([&](const PageRequest& r) -> std::vector<ClipboardItemPtr> {
        if (r.offset == 0)
            return oldPage;
        const int call = furtherCalls++;
        gates[std::min(call, 2)].acquire();
        ++furtherReturned;
        return std::vector<ClipboardItemPtr>(all.begin() + 12, all.begin() + 24);
    });
    auto toEnd = [&] { shown.view.scrollView()->setContentOffset(shown.view.collectionView()->contentWidth()); };
    shown.view.reloadContent(false);
    settle(shown.view);
    toEnd();
    TL_TRY_VERIFY(furtherCalls == 1, 5000); // the older list's further page, held
    shown.view.reloadContent(false);
    settle(shown.view);
    toEnd();
    TL_TRY_VERIFY(furtherCalls == 2, 5000); // the newer list's further page, held
    gates[0].release();
    TL_TRY_VERIFY(furtherReturned == 1, 5000);
    QTest::qWait(50); // the stale page arrives and must not end the newer load
    EXPECT_TRUE(shown.view.isLoadingMore);
    shown.view.scrollView()->handleScrollWheel(0, 1, false); // asks for more while the page is on its way
    gates[1].release();
    gates[2].release(5);
    settle(shown.view);
    EXPECT_EQ(furtherCalls, 2);
    ASSERT_EQ(shown.view.clipboardItems.size(), 24u);
    EXPECT_EQ(shown.view.clipboardItems, std::vector<ClipboardItemPtr>(all.begin(), all.begin() + 24));

    // The fill check of a superseded first page neither ends the newer reload nor asks for a
    // further page while the newer first page is still on its way.
    QSemaphore slowFirst;
    std::atomic<int> requests{0};
    std::atomic<bool> holdFirst{false};
    shown.view.setItemSource([&](const PageRequest&) -> std::vector<ClipboardItemPtr> {
        ++requests;
        if (holdFirst.exchange(false))
            slowFirst.acquire();
        return oldPage;
    });
    QEventLoop applied;
    auto connection = QObject::connect(&shown.view, &PanelContentView::contentApplied, &applied, &QEventLoop::quit);
    shown.view.reloadContent(false);
    applied.exec(); // the first page is applied; its fill check is pending
    QObject::disconnect(connection);
    holdFirst = true;
    shown.view.reloadContent(false);
    QTest::qWait(3 * PanelContentView::fillCheckDelayMs); // the superseded fill check comes due, to no effect
    EXPECT_TRUE(shown.view.isReloadingData);
    EXPECT_EQ(requests, 2);
    slowFirst.release();
    settle(shown.view);
    EXPECT_EQ(shown.view.clipboardItems, oldPage);
}

TEST(PanelContentView, ResetAfterHidingBlanksEverything) {
    PanelTestStore store(QStringLiteral("reset"));
    store.addTexts(20);
    ShownView shown;
    shown.view.setDataManager(store.manager.get());
    shown.view.reloadContent(false);
    settle(shown.view);
    std::vector<ClipboardItemCollectionViewCell*> cells;
    for (int index : shown.view.collectionView()->indexesForVisibleItems())
        cells.push_back(cellAt(shown.view, index));
    ASSERT_FALSE(cells.empty());
    ASSERT_TRUE(shown.view.selectedIndexPath.has_value());

    shown.view.resetAndReload();
    EXPECT_TRUE(shown.view.clipboardItems.empty());
    EXPECT_FALSE(shown.view.selectedIndexPath.has_value());
    EXPECT_EQ(shown.view.currentOffset, 0);
    EXPECT_TRUE(shown.view.hasMoreData);
    EXPECT_TRUE(shown.view.collectionView()->indexesForVisibleItems().isEmpty());
    EXPECT_TRUE(shown.view.collectionView()->selectionIndexes().isEmpty());
    for (auto* cell : cells) {
        EXPECT_EQ(cell->item, nullptr);
        EXPECT_EQ(cell->itemView()->item(), nullptr);
        EXPECT_TRUE(cell->itemView()->imageLoadIdentifier().isEmpty());
        EXPECT_FALSE(cell->itemView()->previewLabel()->isVisible());
    }
}

TEST(PanelContentView, ReusedCellsShowOnlyTheirOwnEntry) {
    PanelTestStore store(QStringLiteral("reuse"));
    store.addTexts(60);
    ShownView shown;
    shown.view.setDataManager(store.manager.get());
    shown.view.reloadContent(false);
    settle(shown.view);
    for (int i = 0; i < 10 && shown.view.hasMoreData; ++i) {
        shown.view.scrollView()->setContentOffset(shown.view.collectionView()->contentWidth());
        settle(shown.view);
    }
    ASSERT_EQ(shown.view.clipboardItems.size(), 60u);
    auto* strip = shown.view.collectionView();
    for (int x = 0; x < strip->contentWidth(); x += 517) {
        strip->setContentOffset(x);
        for (int index : strip->indexesForVisibleItems()) {
            auto* cell = cellAt(shown.view, index);
            ASSERT_NE(cell, nullptr);
            const auto& entry = shown.view.clipboardItems[static_cast<size_t>(index)];
            EXPECT_EQ(cell->item, entry);
            EXPECT_EQ(cell->itemView()->item(), entry);
            EXPECT_EQ(cell->itemView()->previewLabel()->text(), *entry->preview());
        }
    }
    EXPECT_LE(strip->createdItemCount(), 8);

    // A cell back in the pool answers nothing for the entry it showed: its callbacks are gone.
    strip->setContentOffset(0);
    auto* leaving = cellAt(shown.view, 3);
    ASSERT_NE(leaving, nullptr);
    shown.view.resize(300, 320); // now only cards 0 and 1 are visible
    EXPECT_EQ(leaving->index(), -1);
    EXPECT_FALSE(leaving->isVisible());
    EXPECT_EQ(leaving->item, nullptr);
    EXPECT_EQ(leaving->itemView()->item(), nullptr);
    EXPECT_FALSE(leaving->onDelete);
    EXPECT_FALSE(leaving->onDoubleClick);
    EXPECT_FALSE(leaving->onToggleFavorite);
    settle(shown.view);
}

TEST(PanelContentView, KeyboardAndClickSelection) {
    PanelTestStore store(QStringLiteral("selection"));
    store.addTexts(12);
    ShownView shown;
    PanelContentView& view = shown.view;
    bool handled = false;
    pressKey(view, Qt::Key_Right, &handled); // empty strip: handled, nothing selected
    EXPECT_TRUE(handled);
    EXPECT_FALSE(view.selectedIndexPath.has_value());

    view.setDataManager(store.manager.get());
    view.reloadContent(false);
    settle(view);
    ASSERT_EQ(view.selectedIndexPath, 0);
    EXPECT_TRUE(cellAt(view, 0)->isCellSelected);

    pressKey(view, Qt::Key_Left, &handled); // first card: no wrap-around
    EXPECT_TRUE(handled);
    EXPECT_EQ(view.selectedIndexPath, 0);
    pressKey(view, Qt::Key_Right, &handled);
    EXPECT_EQ(view.selectedIndexPath, 1);
    EXPECT_FALSE(cellAt(view, 0)->isCellSelected);
    EXPECT_TRUE(cellAt(view, 1)->isCellSelected);
    EXPECT_EQ(ClipboardItemCollectionViewCell::currentlySelected(), cellAt(view, 1));
    TL_TRY_COMPARE(cellAt(view, 1)->itemView()->borderWidth(), 2.0, 5000);
    TL_TRY_COMPARE(cellAt(view, 0)->itemView()->borderWidth(), 0.0, 5000);

    for (int i = 0; i < 15; ++i)
        pressKey(view, Qt::Key_Right, &handled);
    EXPECT_TRUE(handled);
    EXPECT_EQ(view.selectedIndexPath, 11);
    // The last card is fully visible with its 24-point margin.
    const QRect frame = view.collectionView()->itemFrame(11);
    const QRect visible = view.collectionView()->visibleRect();
    EXPECT_GE(visible.x() + visible.width(), frame.x() + frame.width() + 24);
    EXPECT_TRUE(cellAt(view, 11)->isCellSelected);

    pressKey(view, Qt::Key_A, &handled);
    EXPECT_FALSE(handled);

    // A click on another visible card moves the selection there.
    auto* target = cellAt(view, 9);
    ASSERT_NE(target, nullptr);
    QTest::mouseClick(target->itemView(), Qt::LeftButton, Qt::NoModifier, QPoint(100, 120));
    EXPECT_EQ(view.selectedIndexPath, 9);
    EXPECT_TRUE(target->isCellSelected);
    EXPECT_FALSE(cellAt(view, 11)->isCellSelected);
}

TEST(PanelContentView, ContextMenuFavoriteAndDelete) {
    PanelTestStore store(QStringLiteral("menu"));
    store.add(QStringLiteral("text"), QStringLiteral("first"), true);
    store.add(QStringLiteral("text"), QStringLiteral("second"));
    store.add(QStringLiteral("text"), QStringLiteral("third"));
    store.save();
    ShownView shown;
    PanelContentView& view = shown.view;
    view.setDataManager(store.manager.get());
    view.reloadContent(false);
    settle(view);
    ASSERT_EQ(view.clipboardItems.size(), 3u);

    auto* favorite = cellAt(view, 0);
    favorite->updateContextMenu();
    EXPECT_EQ(favorite->contextMenu()->actions().at(0)->text(), QStringLiteral("Remove from Favorites"));
    EXPECT_TRUE(favorite->itemView()->starView()->isVisible());
    auto* plain = cellAt(view, 1);
    plain->updateContextMenu();
    EXPECT_EQ(plain->contextMenu()->actions().at(0)->text(), QStringLiteral("Add to Favorites"));
    EXPECT_FALSE(plain->itemView()->starView()->isVisible());
    EXPECT_EQ(plain->contextMenu()->actions().at(2)->text(), QStringLiteral("Delete"));

    // Favourite toggle through the menu: stored and redrawn with the star.
    plain->contextMenu()->actions().at(0)->trigger();
    EXPECT_TRUE(view.clipboardItems[1]->isFavorite().value_or(false));
    EXPECT_TRUE(cellAt(view, 1)->itemView()->starView()->isVisible());

    // Delete the middle card: it leaves the strip and the store; the next one moves up.
    const auto third = view.clipboardItems[2];
    cellAt(view, 1)->contextMenu()->actions().at(2)->trigger();
    ASSERT_EQ(view.clipboardItems.size(), 2u);
    EXPECT_EQ(view.clipboardItems[1], third);
    EXPECT_EQ(cellAt(view, 1)->item, third);
    EXPECT_EQ(store.all().size(), 2u);
    TL_TRY_COMPARE(view.selectedIndexPath, 1, 5000);

    cellAt(view, 0)->contextMenu()->actions().at(2)->trigger();
    cellAt(view, 0)->contextMenu()->actions().at(2)->trigger();
    EXPECT_TRUE(view.clipboardItems.empty());
    EXPECT_TRUE(store.all().empty());
    ASSERT_NE(view.emptyStateLabel(), nullptr);
    EXPECT_TRUE(view.emptyStateContainer()->isVisible());
}

TEST(PanelContentView, DoubleClickPicksSingleClickSelects) {
    Pasteboard::setGeneral(std::make_unique<MemoryPasteboard>());
    PanelTestStore store(QStringLiteral("pick"));
    store.addTexts(4, QStringLiteral("pick me "));
    ShownView shown;
    PanelContentView& view = shown.view;
    view.setDataManager(store.manager.get());
    view.reloadContent(false);
    settle(view);
    QObject owner;
    int hideRequests = 0;
    NotificationCenter::defaultCenter().addObserver(&owner, Notifications::panelShouldHide,
                                                    [&](const Notification&) { ++hideRequests; });
    auto* card = cellAt(view, 2)->itemView();
    int clicks = 0;
    auto cellClick = card->onClick;
    card->onClick = [&] {
        ++clicks;
        cellClick();
    };
    const QString text = *view.clipboardItems[2]->textContent();
    QTest::mouseDClick(card, Qt::LeftButton, Qt::NoModifier, QPoint(100, 100));
    TL_TRY_COMPARE(hideRequests, 1, 5000);
    EXPECT_EQ(static_cast<MemoryPasteboard&>(Pasteboard::general()).string().value_or(QString()), text);
    QTest::qWait(QApplication::doubleClickInterval() + 100);
    EXPECT_EQ(clicks, 0); // a double click is not also a single click

    QTest::mouseClick(card, Qt::LeftButton, Qt::NoModifier, QPoint(100, 100));
    TL_TRY_COMPARE(clicks, 1, 5000);
    EXPECT_EQ(hideRequests, 1);
}
