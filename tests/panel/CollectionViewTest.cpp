// SPDX-License-Identifier: MIT
#include "panel/CollectionView.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <vector>

namespace {

// An item that remembers which entry it was configured with.
class TestItem : public CollectionViewItem {
public:
    int shownEntry = -1;
    int reuseCount = 0;
    void prepareForReuse() override {
        shownEntry = -1;
        ++reuseCount;
    }
    void press() { notifyPressed(); }
};

// Entries are plain integers; the source counts every configuration it is asked for.
class TestSource : public CollectionViewDataSource {
public:
    std::vector<int> entries;
    int configured = 0;
    int numberOfItems(CollectionView*) override { return static_cast<int>(entries.size()); }
    CollectionViewItem* itemForIndex(CollectionView* view, int index) override {
        auto* item = static_cast<TestItem*>(view->makeItem(index));
        item->shownEntry = entries[static_cast<size_t>(index)];
        ++configured;
        return item;
    }
};

struct Strip {
    TestSource source;
    CollectionView view;
    explicit Strip(int count, int width = 1000) {
        for (int i = 0; i < count; ++i)
            source.entries.push_back(i);
        view.setItemFactory([] { return new TestItem; });
        view.setDataSource(&source);
        view.resize(width, 268);
        view.show();
        view.reloadData();
    }
    TestItem* at(int index) const { return static_cast<TestItem*>(view.itemAt(index)); }
    // Every realised item shows the entry of its index.
    void expectConsistent() const {
        for (int index : view.indexesForVisibleItems()) {
            ASSERT_NE(at(index), nullptr);
            EXPECT_EQ(at(index)->shownEntry, source.entries[static_cast<size_t>(index)]) << "index " << index;
            EXPECT_EQ(at(index)->index(), index);
            EXPECT_EQ(at(index)->geometry().x(), view.itemFrame(index).x() - view.contentOffset());
        }
    }
};

} // namespace

TEST(CollectionView, GeometryOfTheStrip) {
    Strip strip(12);
    // 24 + 12 x 220 + 11 x 16 + 24
    EXPECT_EQ(strip.view.contentWidth(), 2864);
    EXPECT_EQ(strip.view.itemFrame(0), QRect(24, 12, 220, 240));
    EXPECT_EQ(strip.view.itemFrame(3), QRect(24 + 3 * 236, 12, 220, 240));
    EXPECT_TRUE(strip.view.itemFrame(12).isNull());
    EXPECT_TRUE(strip.view.itemFrame(-1).isNull());

    Strip empty(0);
    EXPECT_EQ(empty.view.numberOfItems(), 0);
    EXPECT_TRUE(empty.view.indexesForVisibleItems().isEmpty());
    EXPECT_EQ(empty.view.contentOffset(), 0);
}

TEST(CollectionView, RealisesOnlyTheVisibleItemsAndReusesThem) {
    Strip strip(5000);
    // 1000 points show items 0..4 (item 4 starts at 968).
    EXPECT_EQ(strip.view.indexesForVisibleItems(), (QList<int>{0, 1, 2, 3, 4}));
    EXPECT_EQ(strip.view.itemAt(5), nullptr);
    EXPECT_EQ(strip.view.itemAt(4999), nullptr);
    strip.expectConsistent();

    // Walk the whole strip: the number of widgets ever made stays that of one screenful.
    for (int x = 0; x <= strip.view.contentWidth(); x += 333) {
        strip.view.setContentOffset(x);
        strip.expectConsistent();
    }
    EXPECT_LE(strip.view.createdItemCount(), 7);
    strip.view.setContentOffset(strip.view.contentWidth());
    EXPECT_EQ(strip.view.contentOffset(), strip.view.contentWidth() - 1000);
    EXPECT_EQ(strip.view.indexesForVisibleItems().last(), 4999);
    EXPECT_NE(strip.view.itemAt(4999), nullptr);
    EXPECT_EQ(strip.view.itemAt(0), nullptr);
}

TEST(CollectionView, InsertAndDeleteKeepTheOtherItems) {
    struct Case {
        const char* name;
        bool insert;
        QList<int> indexes;
        std::vector<int> after;
    };
    const std::vector<Case> cases = {
        {"append beyond view", true, {12, 13}, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 100, 101}},
        {"insert at front", true, {0}, {100, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
        {"delete visible", false, {1}, {0, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}},
        {"delete two", false, {3, 0}, {1, 2, 4, 5, 6, 7, 8, 9, 10, 11}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Strip strip(12);
        std::map<int, TestItem*> before;
        for (int i : strip.view.indexesForVisibleItems())
            before[strip.at(i)->shownEntry] = strip.at(i);
        strip.source.entries = c.after;
        const int configuredBefore = strip.source.configured;
        if (c.insert)
            strip.view.insertItems(c.indexes);
        else
            strip.view.deleteItems(c.indexes);
        EXPECT_EQ(strip.view.numberOfItems(), static_cast<int>(c.after.size()));
        strip.expectConsistent();
        // Items that stayed realised keep their widget and were not configured again.
        int reconfigured = strip.source.configured - configuredBefore;
        int kept = 0;
        for (int i : strip.view.indexesForVisibleItems()) {
            auto it = before.find(strip.at(i)->shownEntry);
            if (it != before.end() && it->second == strip.at(i))
                ++kept;
        }
        EXPECT_EQ(kept + reconfigured, strip.view.indexesForVisibleItems().size());
        EXPECT_LE(reconfigured, 2);
    }
}

TEST(CollectionView, ReloadItemsConfiguresOnlyThoseIndexes) {
    Strip strip(12);
    strip.source.entries[2] = 42;
    const int configuredBefore = strip.source.configured;
    strip.view.reloadItems({2, 9}); // 9 is not realised: nothing to do for it
    EXPECT_EQ(strip.source.configured - configuredBefore, 1);
    EXPECT_EQ(strip.at(2)->shownEntry, 42);
    strip.expectConsistent();
}

TEST(CollectionView, DisagreeingDataSourceFallsBackToReload) {
    Strip strip(12);
    strip.source.entries.push_back(12);
    strip.source.entries.push_back(13);
    strip.view.insertItems({12}); // says one, the source has two more
    EXPECT_EQ(strip.view.numberOfItems(), 14);
    strip.expectConsistent();
    strip.view.deleteItems({40}); // out of range
    EXPECT_EQ(strip.view.numberOfItems(), 14);
    strip.expectConsistent();
}

TEST(CollectionView, SelectionFollowsEditsAndClicks) {
    Strip strip(12);
    QSignalSpy selected(&strip.view, &CollectionView::didSelectItems);
    QSignalSpy deselected(&strip.view, &CollectionView::didDeselectItems);

    strip.view.selectItems({2});
    EXPECT_EQ(strip.view.selectionIndexes(), QList<int>{2});
    EXPECT_EQ(selected.count(), 0); // programmatic selection is silent

    strip.source.entries.insert(strip.source.entries.begin(), 100);
    strip.view.insertItems({0});
    EXPECT_EQ(strip.view.selectionIndexes(), QList<int>{3});
    strip.source.entries.erase(strip.source.entries.begin() + 3);
    strip.view.deleteItems({3});
    EXPECT_TRUE(strip.view.selectionIndexes().isEmpty());

    strip.at(1)->press();
    ASSERT_EQ(selected.count(), 1);
    EXPECT_EQ(selected.at(0).at(0).value<QList<int>>(), QList<int>{1});
    EXPECT_EQ(deselected.count(), 0);
    strip.at(1)->press(); // already the selection: nothing
    EXPECT_EQ(selected.count(), 1);
    strip.at(0)->press();
    EXPECT_EQ(selected.count(), 2);
    ASSERT_EQ(deselected.count(), 1);
    EXPECT_EQ(deselected.at(0).at(0).value<QList<int>>(), QList<int>{1});
    EXPECT_EQ(strip.view.selectionIndexes(), QList<int>{0});
}

TEST(CollectionView, ScrollRectToVisible) {
    Strip strip(12);
    const QRect frame = strip.view.itemFrame(8).adjusted(-24, 0, 24, 0);
    strip.view.scrollRectToVisible(frame);
    EXPECT_EQ(strip.view.contentOffset(), frame.x() + frame.width() - 1000);
    EXPECT_NE(strip.view.itemAt(8), nullptr);
    strip.view.scrollRectToVisible(strip.view.itemFrame(1).adjusted(-24, 0, 24, 0));
    EXPECT_EQ(strip.view.contentOffset(), strip.view.itemFrame(1).x() - 24);
    const int offset = strip.view.contentOffset();
    strip.view.scrollRectToVisible(strip.view.itemFrame(2)); // already visible: no move
    EXPECT_EQ(strip.view.contentOffset(), offset);
}
