// SPDX-License-Identifier: MIT
#include "panel/CollectionView.h"

#include <QDrag>
#include <QMimeData>
#include <QResizeEvent>
#include <QScrollBar>

#include <algorithm>
#include <cmath>

CollectionViewItem::CollectionViewItem(QWidget* parent) : QWidget(parent) {}

void CollectionViewItem::notifyPressed() {
    if (m_collectionView && m_index >= 0)
        m_collectionView->itemPressed(this);
}

CollectionView::CollectionView(QWidget* parent) : QAbstractScrollArea(parent) {
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    horizontalScrollBar()->setSingleStep(40);
    updateScrollRange();
}

CollectionView::~CollectionView() = default; // items are children of the viewport

void CollectionView::setFlowLayout(const FlowLayout& layout) {
    m_layout = layout;
    updateScrollRange();
    layoutItems();
}

CollectionViewItem* CollectionView::makeItem(int index) {
    Q_UNUSED(index);
    CollectionViewItem* item = nullptr;
    if (!m_pool.empty()) {
        item = m_pool.back();
        m_pool.pop_back();
    } else if (m_factory) {
        item = m_factory();
        ++m_created;
    }
    if (!item)
        return nullptr;
    if (item->parentWidget() != viewport())
        item->setParent(viewport());
    item->m_collectionView = this;
    item->resize(m_layout.itemSize);
    return item;
}

void CollectionView::recycle(CollectionViewItem* item) {
    item->hide();
    item->m_index = -1;
    item->prepareForReuse();
    m_pool.push_back(item);
}

void CollectionView::reloadData() {
    for (auto& [index, item] : m_realised)
        recycle(item);
    m_realised.clear();
    m_selection.clear();
    m_count = m_dataSource ? std::max(0, m_dataSource->numberOfItems(this)) : 0;
    updateScrollRange();
    layoutItems();
}

void CollectionView::insertItems(QList<int> indexes) {
    std::sort(indexes.begin(), indexes.end());
    indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
    const int expected = m_count + static_cast<int>(indexes.size());
    const int reported = m_dataSource ? m_dataSource->numberOfItems(this) : expected;
    if (reported != expected || (!indexes.isEmpty() && (indexes.front() < 0 || indexes.back() >= expected))) {
        // The data source disagrees with the edit: start over rather than show the wrong entries.
        reloadData();
        return;
    }
    for (int k : indexes) {
        std::map<int, CollectionViewItem*> moved;
        for (auto& [index, item] : m_realised) {
            const int to = index >= k ? index + 1 : index;
            item->m_index = to;
            moved[to] = item;
        }
        m_realised.swap(moved);
        QSet<int> selection;
        for (int s : std::as_const(m_selection))
            selection.insert(s >= k ? s + 1 : s);
        m_selection.swap(selection);
    }
    m_count = expected;
    updateScrollRange();
    layoutItems();
}

void CollectionView::deleteItems(QList<int> indexes) {
    std::sort(indexes.begin(), indexes.end(), std::greater<int>());
    indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
    const int expected = m_count - static_cast<int>(indexes.size());
    const int reported = m_dataSource ? m_dataSource->numberOfItems(this) : expected;
    if (reported != expected || (!indexes.isEmpty() && (indexes.back() < 0 || indexes.front() >= m_count))) {
        reloadData();
        return;
    }
    for (int k : indexes) {
        std::map<int, CollectionViewItem*> moved;
        for (auto& [index, item] : m_realised) {
            if (index == k) {
                recycle(item);
                continue;
            }
            const int to = index > k ? index - 1 : index;
            item->m_index = to;
            moved[to] = item;
        }
        m_realised.swap(moved);
        QSet<int> selection;
        for (int s : std::as_const(m_selection)) {
            if (s != k)
                selection.insert(s > k ? s - 1 : s);
        }
        m_selection.swap(selection);
    }
    m_count = expected;
    updateScrollRange();
    layoutItems();
}

void CollectionView::reloadItems(const QList<int>& indexes) {
    if (!m_dataSource)
        return;
    for (int index : indexes) {
        auto it = m_realised.find(index);
        if (it == m_realised.end())
            continue;
        recycle(it->second);
        m_realised.erase(it);
    }
    layoutItems();
}

CollectionViewItem* CollectionView::itemAt(int index) const {
    auto it = m_realised.find(index);
    return it == m_realised.end() ? nullptr : it->second;
}

QList<int> CollectionView::indexesForVisibleItems() const {
    QList<int> result;
    result.reserve(static_cast<qsizetype>(m_realised.size()));
    for (const auto& entry : m_realised)
        result.append(entry.first);
    return result;
}

QRect CollectionView::itemFrame(int index) const {
    if (index < 0 || index >= m_count)
        return {};
    const int step = m_layout.itemSize.width() + m_layout.spacing;
    return QRect(QPoint(m_layout.insets.left() + index * step, m_layout.insets.top()), m_layout.itemSize);
}

int CollectionView::contentWidth() const {
    const int items = m_count > 0 ? m_count * m_layout.itemSize.width() + (m_count - 1) * m_layout.spacing : 0;
    return m_layout.insets.left() + items + m_layout.insets.right();
}

int CollectionView::viewportWidth() const {
    return viewport()->width();
}

int CollectionView::contentOffset() const {
    return horizontalScrollBar()->value();
}

void CollectionView::setContentOffset(int x) {
    horizontalScrollBar()->setValue(x);
}

QRect CollectionView::visibleRect() const {
    return QRect(contentOffset(), 0, viewportWidth(), viewport()->height());
}

void CollectionView::scrollRectToVisible(const QRect& rect) {
    const int offset = contentOffset();
    const int width = viewportWidth();
    if (rect.left() < offset || rect.width() > width)
        setContentOffset(rect.left());
    else if (rect.left() + rect.width() > offset + width)
        setContentOffset(rect.left() + rect.width() - width);
}

QList<int> CollectionView::selectionIndexes() const {
    QList<int> result(m_selection.begin(), m_selection.end());
    std::sort(result.begin(), result.end());
    return result;
}

void CollectionView::selectItems(const QList<int>& indexes) {
    m_selection.clear();
    for (int index : indexes) {
        if (index >= 0 && index < m_count) {
            m_selection.insert(index);
            break; // one row, single selection
        }
    }
}

void CollectionView::deselectAll() {
    m_selection.clear();
}

void CollectionView::itemPressed(CollectionViewItem* item) {
    if (m_dataSource && item->m_index >= 0)
        m_dataSource->itemMayBeDragged(this, item->m_index);
    if (!m_selectable || item->m_index < 0)
        return;
    const int index = item->m_index;
    if (m_selection.size() == 1 && m_selection.contains(index))
        return;
    QList<int> previous = selectionIndexes();
    m_selection = {index};
    if (!previous.isEmpty())
        Q_EMIT didDeselectItems(previous);
    Q_EMIT didSelectItems({index});
}

bool CollectionView::beginDrag(CollectionViewItem* item) {
    if (m_dragging || !m_dataSource || !item || item->m_index < 0)
        return false;
    const int index = item->m_index;
    if (!m_dataSource->canDragItems(this, {index}))
        return false;
    QMimeData* data = m_dataSource->pasteboardWriterForItem(this, index);
    if (!data)
        return false;
    // The platform keeps the drag (and its data) until the drop target has read what it wants.
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    const QPixmap picture = item->grab();
    drag->setPixmap(picture.scaled(picture.size() / 2, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    drag->setHotSpot(QPoint(picture.width() / 4, picture.height() / 4));
    m_dragging = true;
    // Escape during the drag ends the drag only: the drag takes the key first.
    drag->exec(Qt::CopyAction, Qt::CopyAction);
    m_dragging = false;
    return true;
}

void CollectionView::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    updateScrollRange();
    layoutItems();
}

void CollectionView::scrollContentsBy(int, int) {
    layoutItems();
    Q_EMIT contentOffsetChanged(contentOffset());
}

bool CollectionView::viewportEvent(QEvent* event) {
    // Wheel events are the subclass's to map; everything else as usual.
    return QAbstractScrollArea::viewportEvent(event);
}

void CollectionView::updateScrollRange() {
    auto* bar = horizontalScrollBar();
    bar->setPageStep(std::max(1, viewportWidth()));
    bar->setRange(0, std::max(0, contentWidth() - viewportWidth()));
}

std::pair<int, int> CollectionView::visibleRange() const {
    if (m_count == 0 || viewportWidth() <= 0)
        return {0, -1};
    const double step = m_layout.itemSize.width() + m_layout.spacing;
    const double offset = contentOffset() - m_layout.insets.left();
    const int first = std::max(0, static_cast<int>(std::floor((offset - m_layout.itemSize.width()) / step)) + 1);
    const int last = std::min(m_count - 1, static_cast<int>(std::ceil((offset + viewportWidth()) / step)) - 1);
    return {first, last};
}

void CollectionView::layoutItems() {
    if (m_inLayout)
        return;
    m_inLayout = true;
    const auto [first, last] = visibleRange();
    for (auto it = m_realised.begin(); it != m_realised.end();) {
        if (it->first < first || it->first > last) {
            recycle(it->second);
            it = m_realised.erase(it);
        } else {
            ++it;
        }
    }
    const int offset = contentOffset();
    for (int index = first; index <= last && m_dataSource; ++index) {
        CollectionViewItem* item = itemAt(index);
        if (!item) {
            item = m_dataSource->itemForIndex(this, index);
            if (!item)
                continue;
            item->m_index = index;
            item->m_collectionView = this;
            if (item->parentWidget() != viewport())
                item->setParent(viewport());
            m_realised[index] = item;
        }
        const QRect frame = itemFrame(index);
        item->setGeometry(frame.translated(-offset, 0));
        if (!item->isVisible())
            item->show();
    }
    m_inLayout = false;
}
