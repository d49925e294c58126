// SPDX-License-Identifier: MIT
#include "panel/PanelContentView.h"

#include "common/AppNames.h"
#include "history/ClipboardDataManager.h"
#include "history/store/StoreReader.h"
#include "panel/Appearance.h"
#include "panel/ClipboardItemCollectionViewCell.h"
#include "panel/ClipboardItemContentView.h"
#include "panel/ClipboardPreviewImageLoader.h"
#include "panel/NonSelectingTextField.h"
#include "panel/PanelScrollView.h"
#include "panel/RoundedContainer.h"
#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLoggingCategory>
#include <QTimer>
#include <QToolButton>
#include <QVariantAnimation>

#include <algorithm>

namespace {
Q_LOGGING_CATEGORY(lcSearch, "tindralume.panel.search", QtWarningMsg)
} // namespace

PanelContentView::PanelContentView(QWidget* parent) : QWidget(parent), typeFilters(TypeFilter::all()) {
    m_scrollView = new PanelScrollView(this);
    CollectionView::FlowLayout layout;
    layout.itemSize = QSize(itemWidth, itemHeight);
    layout.spacing = itemSpacing;
    layout.insets = QMargins(24, 12, 24, 16);
    m_scrollView->setFlowLayout(layout);
    setupUI();
    m_scrollView->setDataSource(this);
    m_scrollView->setItemFactory([] { return new ClipboardItemCollectionViewCell; });
    QPointer<PanelContentView> self(this);
    m_scrollView->onLoadMore = [self] {
        if (self)
            self->loadMoreIfNeeded();
    };
    connect(m_scrollView, &CollectionView::didSelectItems, this, &PanelContentView::onCellSelected);
    connect(m_scrollView, &CollectionView::didDeselectItems, this, &PanelContentView::onCellsDeselected);
}

PanelContentView::~PanelContentView() {
    NotificationCenter::defaultCenter().removeObserver(this);
    m_scrollView->setDataSource(nullptr);
}

CollectionView* PanelContentView::collectionView() const {
    return m_scrollView;
}

void PanelContentView::setupUI() {
    setAttribute(Qt::WA_TranslucentBackground);
    setupToolbar();
    setupScrollView();
    m_emptyStateContainer = new QWidget(this);
    m_emptyStateContainer->hide();
    NotificationCenter::defaultCenter().addObserver(
        this, Notifications::itemFavoriteStatusChanged,
        [this](const Notification& n) { handleFavoriteStatusChanged(n.object); });
}

void PanelContentView::setupToolbar() {
    m_toolbarView = new QWidget(this);
    setupFilterButtons();
    setupSearchControls();
    setupFavoriteButton();
}

void PanelContentView::setupScrollView() {
    connect(m_scrollView, &CollectionView::contentOffsetChanged, this, [this] { handleScrollViewDidScroll(); });
}

void PanelContentView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    m_toolbarView->setGeometry(0, toolbarTop, width(), toolbarHeight);
    m_scrollView->setGeometry(0, toolbarTop + toolbarHeight, width(),
                              std::max(0, height() - toolbarTop - toolbarHeight));
    layoutToolbar();
    layoutEmptyState();
}

void PanelContentView::layoutToolbar() {
    const int w = m_toolbarView->width();
    const int h = m_toolbarView->height();
    const QSize stack = m_filterStackView->sizeHint();
    m_filterStackView->setGeometry(filterRowLeft, (h - stack.height()) / 2, stack.width(), stack.height());

    // Centred when there is room; on narrow screens it keeps clear of the filters and of the star
    // button's place at the right, and the open field gives up width before anything overlaps.
    const int searchWidth = searchContainerWidth();
    const int lowestX = filterRowLeft + stack.width() + toolbarGap;
    const int highestX = std::max(lowestX, w - toolbarRightMargin - collapsedSize - toolbarGap - searchWidth);
    const int searchX = std::clamp((w - searchWidth) / 2, lowestX, highestX);
    m_searchContainerView->setGeometry(searchX, (h - collapsedSize) / 2, searchWidth, collapsedSize);
    // The button slides from the container's centre to 2 points from its leading edge.
    const double centred = (searchWidth - 32) / 2.0;
    const int buttonX = static_cast<int>(std::lround(centred + (2 - centred) * m_searchProgress));
    m_searchButton->setGeometry(buttonX, 0, 32, 32);
    // The field's centre sits 1.5 points below the container's (rounded to whole pixels).
    m_searchField->setGeometry(12, (collapsedSize - 20) / 2 + 2, std::max(0, searchWidth - 24), 20);

    m_favoriteContainerView->setGeometry(searchX + searchWidth + toolbarGap, (h - collapsedSize) / 2, collapsedSize,
                                         collapsedSize);
    m_favoriteButton->setGeometry(0, 0, 32, 32);
}

void PanelContentView::layoutEmptyState() {
    if (m_emptyStateLabel)
        m_emptyStateLabel->adjustSize();
    const QSize size = m_emptyStateLabel ? m_emptyStateLabel->size() : QSize(0, 0);
    m_emptyStateContainer->resize(size);
    const QRect strip = m_scrollView->geometry();
    m_emptyStateContainer->move(strip.center().x() - size.width() / 2, strip.center().y() - size.height() / 2);
    if (m_emptyStateLabel)
        m_emptyStateLabel->move(0, 0);
    m_emptyStateContainer->raise();
}

void PanelContentView::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::ThemeChange ||
        event->type() == QEvent::ApplicationPaletteChange)
        updateColors();
}

void PanelContentView::updateColors() {
    updateFilterButtonStyles();
    updateFavoriteButton();
    updateSearchButton();
    if (m_emptyStateLabel) {
        QPalette p = m_emptyStateLabel->palette();
        p.setColor(QPalette::WindowText, Appearance::secondaryLabelColor(QApplication::palette()));
        m_emptyStateLabel->setPalette(p);
    }
    m_searchContainerView->update();
}

void PanelContentView::postSearchFieldState(bool isExpanded, bool isAnimating) {
    NotificationCenter::defaultCenter().post(
        Notifications::searchFieldStateChanged, nullptr,
        {{Notifications::isExpandedKey, isExpanded}, {Notifications::isAnimatingKey, isAnimating}});
}

bool PanelContentView::isSearchActive() const {
    return isSearchExpanded && !m_searchField->text().isEmpty();
}

bool PanelContentView::canFetch() const {
    return m_itemSource || m_dataManager;
}

std::shared_ptr<StoreReader> PanelContentView::reader() {
    if (!m_storeReader)
        m_storeReader = std::make_shared<StoreReader>(m_dataManager->context()->path());
    return m_storeReader;
}

void PanelContentView::fetchInBackground(const PageRequest& request,
                                         std::function<void(std::vector<ClipboardItemPtr>)> apply) {
    ItemSource source = m_itemSource;
    if (!source) {
        QPointer<ClipboardDataManager> manager = m_dataManager;
        // The query runs here, on its own connection; the main thread only reads the page's rows
        // (without their texts). Pending changes, which only the context knows, and a query the
        // reader cannot run take the context's own way, which also prints its failures.
        source = [manager, reader = reader()](const PageRequest& r) {
            const FetchRequest request = ClipboardDataManager::pageRequest(r.query.value_or(QString()), r.limit,
                                                                           r.offset, r.favoritesOnly, r.typeFilter);
            QSet<QString> types;
            bool direct = true;
            Dispatch::syncOnMain([&] {
                if (manager) {
                    types = manager->context()->knownTypes();
                    direct = manager->context()->hasChanges();
                }
            });
            std::vector<qint64> keys;
            StoreError error;
            if (!direct && !reader->keys(request, types, &keys, &error))
                direct = true;
            std::vector<ClipboardItemPtr> items;
            Dispatch::syncOnMain([&] {
                if (!manager)
                    return;
                if (!direct)
                    items = manager->context()->itemsForKeys(keys);
                else if (r.query)
                    items = manager->searchItems(*r.query, r.limit, r.favoritesOnly, r.typeFilter, r.offset);
                else
                    items = manager->fetchItems(r.limit, r.offset, r.favoritesOnly, r.typeFilter);
            });
            return items;
        };
    }
    std::weak_ptr<int> alive = m_alive;
    QPointer<PanelContentView> guard(this);
    Dispatch::onGlobal([alive, guard, source = std::move(source), request, apply = std::move(apply)]() mutable {
        if (alive.expired())
            return;
        auto items = source(request);
        Dispatch::onMain([guard, apply = std::move(apply), items = std::move(items)]() mutable {
            if (guard)
                apply(std::move(items));
        });
    });
}

void PanelContentView::reloadContent(bool preserveState) {
    if (!canFetch())
        return;
    const QString notedText = m_searchField->text();
    const bool wasOpen = isSearchExpanded;
    const int origin = m_scrollView->contentOffset();
    startOver();
    if (preserveState && wasOpen && !notedText.isEmpty()) {
        // An open search survives hiding: shown again open, without animation, and run again.
        m_searchAnimation->stop();
        isSearchExpanded = true;
        m_scrollView->isSearchExpanded = true;
        m_searchField->setText(notedText);
        m_searchProgress = 1;
        applySearchFieldLayout();
        performSearch(notedText);
        return;
    }
    m_searchQuery.reset();
    QPointer<PanelContentView> self(this);
    loadFirstPage([self, preserveState, origin] {
        if (preserveState && self)
            self->m_scrollView->setContentOffset(origin);
    });
}

// A new load begins: older results are dropped and the strip is emptied. Marked as reloading
// first: emptying the strip moves it, and a move may ask for a further page.
void PanelContentView::startOver() {
    ++dataLoadGeneration;
    currentOffset = 0;
    hasMoreData = true;
    isLoadingMore = false;
    isReloadingData = true;
    clipboardItems.clear();
    m_scrollView->reloadData();
    selectedIndexPath.reset();
    m_emptyStateContainer->hide();
}

void PanelContentView::loadFirstPage(std::function<void()> completion) {
    const quint64 generation = dataLoadGeneration;
    const bool favorites = isFavoriteMode;
    PageRequest request;
    request.limit = favorites ? std::nullopt : std::optional<int>(pageSize);
    request.offset = 0;
    request.favoritesOnly = favorites;
    request.typeFilter = selectedType;
    request.query = m_searchQuery;
    fetchInBackground(request, [this, generation, favorites, completion](std::vector<ClipboardItemPtr> items) {
        // Dropped when a newer load, search or the closing of the search has overtaken it.
        if (dataLoadGeneration != generation)
            return;
        if (m_searchQuery)
            qCDebug(lcSearch) << "search" << *m_searchQuery << "first page:" << items.size() << "entries";
        if (items.empty()) {
            if (!clipboardItems.empty()) { // a search replaces the list only when it returns
                clipboardItems.clear();
                m_scrollView->reloadData();
            }
            selectedIndexPath.reset();
            if (m_searchQuery)
                showNoResultsState();
            else
                showEmptyState();
            isReloadingData = false;
            if (completion)
                completion();
            Q_EMIT contentApplied();
            return;
        }
        const int count = static_cast<int>(items.size());
        currentOffset = count;
        hasMoreData = count >= pageSize && !favorites;
        clipboardItems = std::move(items);
        m_emptyStateContainer->hide();
        selectedIndexPath.reset();
        m_scrollView->reloadData();
        selectAndScroll();
        Q_EMIT contentApplied();
        Dispatch::afterOnMain(fillCheckDelayMs, this, [this, generation, completion] {
            // A newer load owns the flags now; this check and its completion are superseded.
            if (dataLoadGeneration != generation)
                return;
            isReloadingData = false;
            if (!isFavoriteMode)
                loadMoreIfNeeded();
            if (completion)
                completion();
        });
    });
}

bool PanelContentView::canLoadMore() const {
    return canFetch() && !isLoadingMore && !isReloadingData && hasMoreData && !isFavoriteMode;
}

void PanelContentView::loadMore() {
    if (!canLoadMore())
        return;
    isLoadingMore = true;
    const quint64 generation = dataLoadGeneration;
    PageRequest request;
    request.limit = pageSize;
    request.offset = currentOffset;
    request.favoritesOnly = false;
    request.typeFilter = selectedType;
    request.query = m_searchQuery; // search results page like the list
    fetchInBackground(request, [this, generation](std::vector<ClipboardItemPtr> items) {
        // A reload clears the flag itself; a page of an older load must not clear a newer load's.
        if (dataLoadGeneration != generation)
            return;
        isLoadingMore = false;
        if (items.empty()) {
            hasMoreData = false;
            return;
        }
        const int count = static_cast<int>(items.size());
        currentOffset += count;
        hasMoreData = count >= pageSize;
        const int oldCount = static_cast<int>(clipboardItems.size());
        clipboardItems.insert(clipboardItems.end(), std::make_move_iterator(items.begin()),
                              std::make_move_iterator(items.end()));
        QList<int> indexes;
        for (int i = oldCount; i < oldCount + count; ++i)
            indexes.append(i);
        m_scrollView->insertItems(indexes);
        Q_EMIT contentApplied();
        Dispatch::afterOnMain(fillCheckDelayMs, this, [this] { loadMoreIfNeeded(); });
    });
}

void PanelContentView::loadMoreIfNeeded() {
    if (!canLoadMore())
        return;
    const QRect visible = m_scrollView->visibleRect();
    const int documentWidth = std::max(m_scrollView->contentWidth(), m_scrollView->viewportWidth());
    if (visible.x() + visible.width() + loadAheadDistance >= documentWidth)
        loadMore();
}

void PanelContentView::handleScrollViewDidScroll() {
    loadMoreIfNeeded();
}

void PanelContentView::resetAndReload() {
    m_searchTimer->stop();
    for (int index : m_scrollView->indexesForVisibleItems()) {
        if (auto* cell = dynamic_cast<ClipboardItemCollectionViewCell*>(m_scrollView->itemAt(index))) {
            cell->item.reset();
            cell->itemView()->reset();
        }
    }
    clipboardItems.clear();
    m_dragEntry.reset();
    selectedIndexPath.reset();
    currentOffset = 0;
    hasMoreData = true;
    isLoadingMore = false;
    isReloadingData = false;
    m_scrollView->deselectAll();
    m_scrollView->reloadData();
    m_emptyStateContainer->hide();
    ClipboardPreviewImageLoader::shared().removeAllObjects();
    if (m_dataManager) {
        QPointer<ClipboardDataManager> manager = m_dataManager;
        m_dataManager->context()->performBlock([manager] {
            if (manager)
                manager->refreshAllObjects();
        });
    }
}

void PanelContentView::showEmptyState() {
    installEmptyStateLabel(isFavoriteMode ? tr("No favorite items yet") : tr("No clipboard history yet"));
}

void PanelContentView::showNoResultsState() {
    installEmptyStateLabel(tr("No results found"));
}

// The empty-state place holds one label at a time: the last one installed shows while the strip is empty.
void PanelContentView::installEmptyStateLabel(const QString& text) {
    if (m_emptyStateLabel) {
        m_emptyStateLabel->deleteLater();
        m_emptyStateLabel->setParent(nullptr);
        m_emptyStateLabel = nullptr;
    }
    m_emptyStateLabel = new QLabel(text, m_emptyStateContainer);
    m_emptyStateLabel->setFont(systemFont(14));
    m_emptyStateLabel->setAlignment(Qt::AlignCenter);
    updateColors();
    m_emptyStateLabel->show();
    layoutEmptyState();
    m_emptyStateContainer->show();
}

int PanelContentView::numberOfItems(CollectionView*) {
    const int count = static_cast<int>(clipboardItems.size());
    m_emptyStateContainer->setVisible(count == 0 && m_emptyStateLabel);
    return count;
}

CollectionViewItem* PanelContentView::itemForIndex(CollectionView* view, int index) {
    return makeItem(view, index);
}

CollectionViewItem* PanelContentView::makeItem(CollectionView* view, int index) {
    CollectionViewItem* made = view->makeItem(index);
    auto* cell = dynamic_cast<ClipboardItemCollectionViewCell*>(made);
    if (!cell || index < 0 || index >= static_cast<int>(clipboardItems.size()))
        return made;
    const ClipboardItemPtr entry = clipboardItems[static_cast<size_t>(index)];
    cell->item = entry;
    cell->itemView()->configure(entry);
    // A pooled cell may still wear the border of the entry it showed before.
    cell->showSelection(selectedIndexPath == index);
    QPointer<PanelContentView> self(this);
    cell->onDoubleClick = [self, entry](bool plainText) {
        if (self)
            self->pasteItem(entry, plainText);
    };
    cell->onDelete = [self, entry] {
        if (self)
            self->deleteItem(entry);
    };
    cell->onToggleFavorite = [self, entry] {
        if (self)
            self->toggleFavorite(entry);
    };
    return cell;
}

void PanelContentView::onCellSelected(const QList<int>& indexes) {
    if (indexes.isEmpty())
        return;
    const int chosen = indexes.first();
    selectedIndexPath = chosen;
    for (int index : m_scrollView->indexesForVisibleItems()) {
        if (index == chosen)
            continue;
        auto* cell = dynamic_cast<ClipboardItemCollectionViewCell*>(m_scrollView->itemAt(index));
        if (cell && cell->isCellSelected) {
            cell->isCellSelected = false;
            cell->animateSelectionBorder(0);
        }
    }
    if (auto* cell = dynamic_cast<ClipboardItemCollectionViewCell*>(m_scrollView->itemAt(chosen)))
        cell->select();
}

void PanelContentView::onCellsDeselected(const QList<int>& indexes) {
    for (int index : indexes) {
        auto* cell = dynamic_cast<ClipboardItemCollectionViewCell*>(m_scrollView->itemAt(index));
        if (cell && cell->isCellSelected) {
            cell->isCellSelected = false;
            cell->animateSelectionBorder(0);
        }
    }
}
