// SPDX-License-Identifier: MIT
#pragma once

#include <QAbstractScrollArea>
#include <QList>
#include <QMargins>
#include <QSet>
#include <QSize>

#include <functional>
#include <map>
#include <vector>

class CollectionView;
class QMimeData;

// One realised item of a CollectionView. Items are pooled: once scrolled out of view (or removed)
// an item goes back to the pool after prepareForReuse() and may later show another index.
class CollectionViewItem : public QWidget {
public:
    explicit CollectionViewItem(QWidget* parent = nullptr);

    // Called when the item leaves the strip, before it waits in the pool.
    virtual void prepareForReuse() {}

    int index() const { return m_index; } // -1 while pooled
    CollectionView* collectionView() const { return m_collectionView; }

protected:
    // A press on the item: lets the collection view make it the selection (as a click would).
    void notifyPressed();

private:
    friend class CollectionView;
    int m_index = -1;
    CollectionView* m_collectionView = nullptr;
};

class CollectionViewDataSource {
public:
    virtual ~CollectionViewDataSource() = default;
    virtual int numberOfItems(CollectionView* view) = 0;
    // Returns a configured item for the index, normally from CollectionView::makeItem().
    virtual CollectionViewItem* itemForIndex(CollectionView* view, int index) = 0;
    // Drag source: whether these items may be dragged out, and the data a drag of one carries
    // (owned by the caller; none: nothing is dragged).
    virtual bool canDragItems(CollectionView*, const QList<int>&) { return false; }
    virtual QMimeData* pasteboardWriterForItem(CollectionView*, int) { return nullptr; }
    // A left press on an item, which a drag may follow: the source may start making its data.
    virtual void itemMayBeDragged(CollectionView*, int) {}
};

// A horizontal strip of fixed-size items in one row. Only the items that intersect the visible area
// exist as widgets; everything else is arithmetic, so a strip of thousands scrolls like a short one.
// Coordinates of item frames are in content space (x = 0 at the strip's left end).
class CollectionView : public QAbstractScrollArea {
    Q_OBJECT
public:
    struct FlowLayout {
        QSize itemSize{220, 240};
        int spacing = 16;
        QMargins insets{24, 12, 24, 16}; // left, top, right, bottom
    };

    explicit CollectionView(QWidget* parent = nullptr);
    ~CollectionView() override;

    void setFlowLayout(const FlowLayout& layout);
    const FlowLayout& flowLayout() const { return m_layout; }
    void setDataSource(CollectionViewDataSource* dataSource) { m_dataSource = dataSource; }
    void setItemFactory(std::function<CollectionViewItem*()> factory) { m_factory = std::move(factory); }

    // A pooled item, or a new one from the factory; parented to the viewport.
    CollectionViewItem* makeItem(int index);

    void reloadData();
    // Index lists refer to positions after the change (insert) or before it (delete).
    void insertItems(QList<int> indexes);
    void deleteItems(QList<int> indexes);
    void reloadItems(const QList<int>& indexes);

    int numberOfItems() const { return m_count; }
    CollectionViewItem* itemAt(int index) const; // nullptr when the index is not realised
    QList<int> indexesForVisibleItems() const;   // realised indexes, ascending
    QRect itemFrame(int index) const;            // null rect for an index out of range
    int contentWidth() const;
    int viewportWidth() const;
    int contentOffset() const;
    void setContentOffset(int x); // clamped to the scrollable range
    QRect visibleRect() const;    // in content space
    void scrollRectToVisible(const QRect& rect);

    QList<int> selectionIndexes() const;
    // Programmatic selection: no didSelect/didDeselect signals, as with the platform's own.
    void selectItems(const QList<int>& indexes);
    void deselectAll();
    void setSelectable(bool on) { m_selectable = on; }

    // Drags the item out when the data source allows it (copy only); returns once the drag ended.
    bool beginDrag(CollectionViewItem* item);
    bool isDragging() const { return m_dragging; }

    int pooledItemCount() const { return static_cast<int>(m_pool.size()); }
    int createdItemCount() const { return m_created; }

Q_SIGNALS:
    // Selection changes made by a click on an item.
    void didSelectItems(const QList<int>& indexes);
    void didDeselectItems(const QList<int>& indexes);
    // The visible area moved (the clip view's bounds changed).
    void contentOffsetChanged(int x);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    bool viewportEvent(QEvent* event) override;

private:
    friend class CollectionViewItem;
    void itemPressed(CollectionViewItem* item);
    void updateScrollRange();
    void layoutItems();
    void recycle(CollectionViewItem* item);
    std::pair<int, int> visibleRange() const; // [first, last], empty when first > last

    FlowLayout m_layout;
    CollectionViewDataSource* m_dataSource = nullptr;
    std::function<CollectionViewItem*()> m_factory;
    int m_count = 0;
    std::map<int, CollectionViewItem*> m_realised;
    std::vector<CollectionViewItem*> m_pool;
    QSet<int> m_selection;
    bool m_selectable = true;
    bool m_inLayout = false;
    bool m_dragging = false;
    int m_created = 0;
};
