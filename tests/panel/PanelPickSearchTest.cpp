// SPDX-License-Identifier: MIT
// Picking, search and filters of the panel's main view, on a real SQLite store.
#include "common/AppNames.h"
#include "panel/ClipboardItemCollectionViewCell.h"
#include "panel/ClipboardItemContentView.h"
#include "panel/PanelContentView.h"
#include "panel/PanelScrollView.h"
#include "panel/PanelTestStore.h"
#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "support/memory/MemoryPasteboard.h"
#include "support/memory/MemorySyntheticKeys.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMutex>
#include <QPushButton>
#include <QSemaphore>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>

#include "panel/PanelTestWait.h"

#include <gtest/gtest.h>

namespace {

void settle(PanelContentView& view) {
    TL_TRY_VERIFY(!view.isReloadingData && !view.isLoadingMore, 10000);
    QTest::qWait(3 * PanelContentView::fillCheckDelayMs); // no load may follow within the fill-check delay
    TL_TRY_VERIFY(!view.isReloadingData && !view.isLoadingMore, 10000);
}

bool press(PanelContentView& view, int key) {
    QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
    return view.handleKeyDown(&event);
}

ClipboardItemCollectionViewCell* cellAt(PanelContentView& view, int index) {
    return dynamic_cast<ClipboardItemCollectionViewCell*>(view.collectionView()->itemAt(index));
}

// Every store request the view makes, on its way to the real store; a query may be held back.
struct Source {
    QMutex mutex;
    std::vector<PageRequest> requests;
    QString heldQuery;
    QSemaphore release;

    PanelContentView::ItemSource wrap(ClipboardDataManager* manager) {
        return [this, manager](const PageRequest& r) {
            bool hold = false;
            {
                QMutexLocker lock(&mutex);
                requests.push_back(r);
                hold = r.query && *r.query == heldQuery;
            }
            if (hold)
                release.acquire();
            std::vector<ClipboardItemPtr> items;
            Dispatch::syncOnMain([&] {
                items = r.query ? manager->searchItems(*r.query, r.limit, r.favoritesOnly, r.typeFilter, r.offset)
                                : manager->fetchItems(r.limit, r.offset, r.favoritesOnly, r.typeFilter);
            });
            return items;
        };
    }
    QStringList queries() {
        QMutexLocker lock(&mutex);
        QStringList out;
        for (const auto& r : requests)
            if (r.query)
                out << *r.query;
        return out;
    }
    PageRequest last() {
        QMutexLocker lock(&mutex);
        return requests.back();
    }
};

struct Fixture {
    PanelTestStore store;
    Source source;
    PanelContentView view;
    MemorySyntheticKeys* keys = nullptr;
    MemoryPasteboard* pasteboard = nullptr;

    explicit Fixture(const QString& name) : store(name) {
        UserDefaults::setStandardPath(TestEnvironment::instance().freshDir(QStringLiteral("defaults")) + "/d.conf");
        auto memoryPasteboard = std::make_unique<MemoryPasteboard>();
        pasteboard = memoryPasteboard.get();
        Pasteboard::setGeneral(std::move(memoryPasteboard));
        auto memoryKeys = std::make_unique<MemorySyntheticKeys>();
        keys = memoryKeys.get();
        SyntheticKeys::setShared(std::move(memoryKeys));
        view.resize(1000, 320);
        view.show();
        view.setDataManager(store.manager.get());
        view.setItemSource(source.wrap(store.manager.get()));
    }
    ~Fixture() { SyntheticKeys::setShared(nullptr); }
    void load() {
        view.reloadContent(false);
        settle(view);
    }
    QStringList texts() {
        QStringList out;
        for (const auto& item : view.clipboardItems)
            out << item->textContent().value_or(QString());
        return out;
    }
};

// Records the "searchFieldStateChanged" posts as (isExpanded, isAnimating) pairs.
struct StatePosts {
    QObject owner;
    std::vector<std::pair<bool, bool>> posts;
    StatePosts() {
        NotificationCenter::defaultCenter().addObserver(
            &owner, Notifications::searchFieldStateChanged, [this](const Notification& n) {
                posts.emplace_back(n.userInfo.value(Notifications::isExpandedKey).toBool(),
                                   n.userInfo.value(Notifications::isAnimatingKey).toBool());
            });
    }
    ~StatePosts() { NotificationCenter::defaultCenter().removeObserver(&owner); }
};

} // namespace

TEST(PanelPicking, PickCopiesHidesAndPastesOnlyWhereItShould) {
    struct Case {
        const char* name;
        bool brokenEntry, pasteDirectly, trusted, frontChanges;
        bool copied, hidden, alert;
        int pastes;
    };
    const std::vector<Case> cases = {
        {"copy only", false, false, true, false, true, true, false, 0},
        {"direct paste", false, true, true, false, true, true, false, 1},
        {"front window changed", false, true, true, true, true, true, false, 0},
        {"no synthetic input", false, true, false, false, true, true, true, 0},
        {"nothing writable", true, true, true, false, false, false, false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Fixture f(QStringLiteral("pick"));
        if (c.brokenEntry) {
            ClipboardItemPtr image = f.store.add(QStringLiteral("image"), QString());
            image->setTextContent(std::nullopt);
            image->setImageData(QByteArray("not an image"));
        } else {
            f.store.add(QStringLiteral("text"), QStringLiteral("picked"));
        }
        f.store.add(QStringLiteral("text"), QStringLiteral("older"));
        f.store.save();
        UserDefaults::standard().setBool(DefaultsKeys::pasteDirectly, c.pasteDirectly);
        f.keys->trusted = c.trusted;
        f.load();
        f.view.noteFrontWindow();
        if (c.frontChanges)
            f.keys->front = SyntheticKeys::FrontWindow{2, QStringLiteral("other"), QStringLiteral("Other")};
        const auto stamp = f.view.clipboardItems[0]->timestamp();
        Pasteboard::general().clearContents();
        Pasteboard::general().setString(QStringLiteral("before"));

        QObject owner;
        int hides = 0;
        NotificationCenter::defaultCenter().addObserver(&owner, Notifications::panelShouldHide,
                                                        [&](const Notification&) { ++hides; });
        bool alertShown = false;
        QTimer::singleShot(200, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                alertShown = box->text() == QStringLiteral("Direct pasting is not available") ||
                             box->text() == QStringLiteral("accessibility_permission_title");
                box->buttons().last()->click();
            }
        });
        EXPECT_TRUE(press(f.view, Qt::Key_Return));
        EXPECT_TRUE(f.keys->pastes.isEmpty()); // never before the delay
        // The paste, if any, comes after the delay.
        QTest::qWait(PanelContentView::pasteDelayMs + 300);
        EXPECT_EQ(f.pasteboard->string() == QStringLiteral("picked"), c.copied);
        EXPECT_EQ(hides, c.hidden ? 1 : 0);
        EXPECT_EQ(alertShown, c.alert);
        EXPECT_EQ(f.keys->pastes.size(), c.pastes);
        // A pick that reached nothing says so in the panel.
        EXPECT_EQ(f.view.noticeText().isEmpty(), c.copied);
        if (!c.copied) {
            EXPECT_EQ(f.pasteboard->string(), QStringLiteral("before"));
            EXPECT_EQ(f.view.clipboardItems[0]->timestamp(), stamp);
        }
        NotificationCenter::defaultCenter().removeObserver(&owner);
    }
}

TEST(PanelPicking, KeysDeleteAndTheSelectionFollowsRemovals) {
    Fixture f(QStringLiteral("keys"));
    f.store.addTexts(3);
    f.load();
    EXPECT_TRUE(press(f.view, Qt::Key_Right));
    EXPECT_TRUE(press(f.view, Qt::Key_Right));
    EXPECT_TRUE(press(f.view, Qt::Key_Backspace)); // the last of several: the new last is selected
    EXPECT_EQ(f.store.all().size(), 2u);
    // Until the deferred reselection runs the selection never points past the end.
    EXPECT_LT(*f.view.selectedIndexPath, 2);
    TL_TRY_VERIFY(cellAt(f.view, 1)->isCellSelected, 5000);
    EXPECT_EQ(f.view.selectedIndexPath, 1);
    EXPECT_TRUE(press(f.view, Qt::Key_Delete));
    EXPECT_TRUE(press(f.view, Qt::Key_Delete));
    EXPECT_TRUE(f.store.all().empty());
    EXPECT_EQ(f.view.emptyStateLabel()->text(), QStringLiteral("No clipboard history yet"));
    // Nothing selected: Return and Delete are not handled (the key monitor treats them as typing).
    EXPECT_FALSE(press(f.view, Qt::Key_Return));
    EXPECT_FALSE(press(f.view, Qt::Key_Delete));
}

TEST(PanelPicking, ReusedCardsWearTheBorderOnlyOfTheSelection) {
    Fixture f(QStringLiteral("border"));
    f.store.addTexts(40);
    f.load();
    ASSERT_EQ(f.view.selectedIndexPath, 0);
    auto* strip = f.view.scrollView();
    // Twelve wheel notches toward older cards; pages arrive on the way.
    for (int notch = 0; notch < 12; ++notch) {
        QWheelEvent wheel(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(strip->viewport(), &wheel);
        QTest::qWait(20); // notches as a hand turns the wheel, pages loading between them
    }
    settle(f.view);
    ASSERT_GT(strip->contentOffset(), 400);
    const QList<int> visible = strip->indexesForVisibleItems();
    ASSERT_FALSE(visible.contains(0));
    for (int index : visible) {
        auto* cell = cellAt(f.view, index);
        EXPECT_FALSE(cell->isCellSelected) << index;
        EXPECT_EQ(cell->itemView()->borderWidth(), 0.0) << index;
    }
    strip->setContentOffset(0);
    EXPECT_TRUE(cellAt(f.view, 0)->isCellSelected);
    EXPECT_EQ(cellAt(f.view, 0)->itemView()->borderWidth(), 2.0);
}

TEST(PanelSearch, TypeAheadDebounceEscapeAndStatePosts) {
    Fixture f(QStringLiteral("search"));
    f.store.add(QStringLiteral("text"), QStringLiteral("abc one"));
    f.store.add(QStringLiteral("text"), QStringLiteral("other"));
    f.store.add(QStringLiteral("text"), QStringLiteral("xabcx"));
    f.store.save();
    f.load();
    StatePosts states;
    QLineEdit* field = f.view.searchField();

    // Letters typed while the field opens are collected; one search runs for all of them at once.
    f.view.beginSearchWithTypedText(QStringLiteral("a"));
    f.view.beginSearchWithTypedText(QStringLiteral("b"));
    f.view.beginSearchWithTypedText(QStringLiteral("c"));
    EXPECT_TRUE(f.source.queries().isEmpty());
    TL_TRY_VERIFY(!f.view.isSearchAnimating, 5000);
    settle(f.view);
    EXPECT_EQ(field->text(), QStringLiteral("abc"));
    EXPECT_EQ(field->cursorPosition(), 3);
    EXPECT_FALSE(field->hasSelectedText());
    EXPECT_EQ(f.source.queries(), QStringList{QStringLiteral("abc")});
    EXPECT_EQ(f.texts(), (QStringList{QStringLiteral("abc one"), QStringLiteral("xabcx")}));
    EXPECT_EQ(f.view.selectedIndexPath, 0);
    EXPECT_EQ(field->width(), PanelContentView::expandedWidth - 24);
    // Keys go to the field while it is open.
    EXPECT_FALSE(press(f.view, Qt::Key_Right));

    // Five edits 0.1 s apart: one search, 0.3 s after the last.
    for (const char* key : {"d", "e", "f", "g", "h"}) {
        QTest::keyClicks(field, QString::fromLatin1(key));
        QTest::qWait(100);
    }
    EXPECT_TRUE(f.view.isSearchTimerActive());
    TL_TRY_VERIFY(!f.view.isSearchTimerActive(), 5000);
    settle(f.view);
    EXPECT_EQ(f.source.queries(), (QStringList{QStringLiteral("abc"), QStringLiteral("abcdefgh")}));
    ASSERT_NE(f.view.emptyStateLabel(), nullptr);
    EXPECT_EQ(f.view.emptyStateLabel()->text(), QStringLiteral("No results found"));
    EXPECT_TRUE(f.view.emptyStateContainer()->isVisible());

    // Spaces only: the full list at once, no search.
    field->selectAll();
    QTest::keyClicks(field, QStringLiteral("  "));
    EXPECT_FALSE(f.view.isSearchTimerActive());
    settle(f.view);
    EXPECT_EQ(f.view.clipboardItems.size(), 3u);
    EXPECT_EQ(f.source.queries().size(), 2);

    // Escape closes the field and, as it held text, reloads the full list; a closed field lets Escape pass.
    QTest::keyClicks(field, QStringLiteral("x"));
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    EXPECT_TRUE(f.view.handleSearchFieldKey(&escape));
    EXPECT_FALSE(f.view.isSearchExpanded);
    EXPECT_TRUE(field->text().isEmpty());
    EXPECT_FALSE(f.view.isSearchTimerActive());
    TL_TRY_VERIFY(states.posts.size() >= 4, 5000);
    EXPECT_FALSE(f.view.handleSearchFieldKey(&escape));
    settle(f.view);
    EXPECT_EQ(f.view.clipboardItems.size(), 3u);
    EXPECT_EQ(f.source.queries().size(), 2);
    const std::vector<std::pair<bool, bool>> expected = {{true, true}, {true, false}, {false, false}, {false, false}};
    EXPECT_EQ(states.posts, expected);

    // A click on the container opens it; a second click does not close it.
    f.view.handleSearchContainerTap();
    f.view.handleSearchContainerTap();
    EXPECT_TRUE(f.view.isSearchExpanded);
    TL_TRY_VERIFY(!f.view.isSearchAnimating, 5000);
}

TEST(PanelSearch, TheOpenFieldTakesTheUsualLineEditKeys) {
    Fixture f(QStringLiteral("field-keys"));
    f.load();
    struct Key {
        int key;
        Qt::KeyboardModifiers modifiers = Qt::NoModifier;
        QString text = {};
    };
    const Key x{Qt::Key_X, Qt::NoModifier, QStringLiteral("x")};
    const struct {
        const char* name;
        std::vector<Key> keys;
        const char* text;
    } cases[] = {
        {"Ctrl+A then typing replaces the text", {{Qt::Key_A, Qt::ControlModifier}, x}, "x"},
        {"Ctrl+Left moves a word back", {{Qt::Key_Left, Qt::ControlModifier}, x}, "one xtwo"},
        {"Home and End", {{Qt::Key_Home}, x, {Qt::Key_End}, x}, "xone twox"},
        {"Shift selects", {{Qt::Key_Left, Qt::ShiftModifier}, {Qt::Key_Left, Qt::ShiftModifier}, x}, "one tx"},
        {"Shift+Home selects to the start", {{Qt::Key_Left}, {Qt::Key_Home, Qt::ShiftModifier}, x}, "xo"},
        {"Ctrl+Backspace deletes a word", {{Qt::Key_Backspace, Qt::ControlModifier}}, "one "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        f.view.beginSearchWithTypedText(QStringLiteral("one two"));
        TL_TRY_VERIFY(!f.view.isSearchAnimating, 5000);
        for (const Key& k : c.keys) {
            QKeyEvent event(QEvent::KeyPress, k.key, k.modifiers, k.text);
            EXPECT_TRUE(f.view.handleSearchFieldKey(&event));
        }
        EXPECT_EQ(f.view.searchField()->text(), QString::fromUtf8(c.text));
        // The panel's own Escape still closes the field.
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        EXPECT_TRUE(f.view.handleSearchFieldKey(&escape));
        EXPECT_FALSE(f.view.isSearchExpanded);
        settle(f.view);
    }
}

TEST(PanelSearch, LateResultsAndPaging) {
    Fixture f(QStringLiteral("stale"));
    for (int i = 0; i < 30; ++i)
        f.store.add(QStringLiteral("text"), QStringLiteral("match %1").arg(i));
    f.store.add(QStringLiteral("text"), QStringLiteral("slow one"));
    f.store.save();
    f.load();

    // A search overtaken by a newer one, and one that returns after the field closed: both dropped.
    f.source.heldQuery = QStringLiteral("slow");
    f.view.beginSearchWithTypedText(QStringLiteral("slow"));
    TL_TRY_VERIFY(f.source.queries().contains(QStringLiteral("slow")), 5000);
    f.view.performSearch(QStringLiteral("match 1"));
    f.source.release.release();
    settle(f.view);
    EXPECT_EQ(f.texts().first(), QStringLiteral("match 1"));

    f.view.performSearch(QStringLiteral("slow"));
    f.view.toggleSearchField();
    f.source.release.release();
    settle(f.view);
    EXPECT_EQ(f.view.clipboardItems.size(), 12u);
    EXPECT_EQ(f.texts().first(), QStringLiteral("match 0"));

    // A broad search pages like the list: 12 first, the rest when scrolled to the end.
    f.view.beginSearchWithTypedText(QStringLiteral("match"));
    TL_TRY_VERIFY(!f.view.isSearchAnimating, 5000);
    settle(f.view);
    EXPECT_EQ(f.view.clipboardItems.size(), 12u);
    EXPECT_EQ(f.source.last().limit, PanelContentView::pageSize);
    for (int i = 0; i < 5 && f.view.hasMoreData; ++i) {
        f.view.scrollView()->setContentOffset(f.view.collectionView()->contentWidth());
        settle(f.view);
    }
    EXPECT_EQ(f.view.clipboardItems.size(), 30u);
    EXPECT_EQ(f.source.last().query, QStringLiteral("match"));
}

TEST(PanelFilters, FiltersFavouritesAndTheirStyles) {
    Fixture f(QStringLiteral("filters"));
    f.store.add(QStringLiteral("text"), QStringLiteral("#a1b2c3"));
    f.store.add(QStringLiteral("text"), QStringLiteral("plain words"), true);
    f.store.add(QStringLiteral("url"), QStringLiteral("https://127.0.0.1/x"));
    f.store.add(QStringLiteral("text"), QStringLiteral("#fff"), true);
    f.store.save();
    f.load();
    const auto& buttons = f.view.filterButtons();
    ASSERT_EQ(buttons.size(), 7u);
    auto selectedButtons = [&] {
        QStringList out;
        for (auto* b : buttons)
            if (b->property("selectedFilter").toBool())
                out << b->text();
        return out;
    };
    EXPECT_EQ(selectedButtons(), QStringList{QStringLiteral("All")});

    struct Case {
        int tag;
        QStringList expected;
    };
    const std::vector<Case> cases = {
        {2, {QStringLiteral("#a1b2c3"), QStringLiteral("#fff")}},
        {5, {QStringLiteral("https://127.0.0.1/x")}},
        {1, {}},
        {0,
         {QStringLiteral("#a1b2c3"), QStringLiteral("plain words"), QStringLiteral("https://127.0.0.1/x"),
          QStringLiteral("#fff")}},
    };
    for (const Case& c : cases) {
        QTest::mouseClick(buttons[static_cast<size_t>(c.tag)], Qt::LeftButton);
        settle(f.view);
        EXPECT_EQ(f.texts(), c.expected) << c.tag;
        EXPECT_EQ(selectedButtons(), QStringList{buttons[static_cast<size_t>(c.tag)]->text()});
    }
    f.view.selectTypeFilter(7); // outside the table: ignored
    f.view.selectTypeFilter(-1);
    EXPECT_EQ(f.view.selectedType, std::nullopt);

    // A filter chosen while a search is open re-runs the search within it.
    f.view.beginSearchWithTypedText(QStringLiteral("#"));
    TL_TRY_VERIFY(!f.view.isSearchAnimating, 5000);
    settle(f.view);
    f.view.selectTypeFilter(2);
    settle(f.view);
    EXPECT_EQ(f.source.last().query, QStringLiteral("#"));
    EXPECT_EQ(f.source.last().typeFilter, QStringLiteral("color"));

    // Favourites mode within the search, then a mark removed: the search runs again.
    QTest::mouseClick(f.view.favoriteButton(), Qt::LeftButton);
    settle(f.view);
    EXPECT_EQ(f.view.favoriteButton()->property("symbol").toString(), QStringLiteral("star.fill"));
    EXPECT_EQ(f.texts(), QStringList{QStringLiteral("#fff")});
    f.view.toggleFavorite(f.view.clipboardItems[0]);
    settle(f.view);
    EXPECT_TRUE(f.view.clipboardItems.empty());
    EXPECT_EQ(f.view.emptyStateLabel()->text(), QStringLiteral("No results found"));

    // Without a search: favourites mode lists every favourite at once.
    f.view.toggleSearchField();
    f.view.selectTypeFilter(0);
    settle(f.view);
    EXPECT_EQ(f.texts(), QStringList{QStringLiteral("plain words")});
    EXPECT_EQ(f.source.last().limit, std::nullopt);
    f.view.toggleFavoriteMode();
    settle(f.view);
    EXPECT_EQ(f.view.favoriteButton()->property("symbol").toString(), QStringLiteral("star"));
    EXPECT_EQ(f.view.clipboardItems.size(), 4u);
}
