// SPDX-License-Identifier: MIT
#include "panel/PanelContentView.h"

#include "history/ClipboardDataManager.h"
#include "history/Notifications.h"
#include "panel/Appearance.h"
#include "panel/ClipboardItemCollectionViewCell.h"
#include "panel/ClipboardItemContentView.h"
#include "panel/ClipboardPreviewImageLoader.h"
#include "panel/PanelScrollView.h"
#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"
#include "platform/Symbols.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

namespace {

// A rounded toolbar container (search, favourites): 10 % label colour, corner radius 16.
class RoundedContainer : public QWidget {
public:
    using QWidget::QWidget;
    double borderWidth = 0;
    QColor borderColor;
    std::optional<QColor> background; // none: 10 % of the label colour

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QPalette pal = QApplication::palette();
        QPainterPath path;
        const double half = borderWidth / 2;
        path.addRoundedRect(QRectF(rect()).adjusted(half, half, -half, -half), 16, 16);
        p.fillPath(path, background ? *background : Appearance::withAlpha(Appearance::labelColor(pal), 0.1));
        if (borderWidth > 0)
            p.strokePath(path, QPen(borderColor, borderWidth));
    }
};

QFont systemFont(int pixelSize, QFont::Weight weight = QFont::Normal) {
    QFont font = QApplication::font();
    font.setPixelSize(pixelSize);
    font.setWeight(weight);
    return font;
}

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
    m_searchTimer = new QTimer(this);
    m_searchTimer->setSingleShot(true);
    NotificationCenter::defaultCenter().addObserver(
        this, Notifications::itemFavoriteStatusChanged,
        [this](const Notification& n) { handleFavoriteStatusChanged(n.object); });
}

void PanelContentView::setupToolbar() {
    m_toolbarView = new QWidget(this);
    setupFilterButtons();

    auto* search = new RoundedContainer(m_toolbarView);
    m_searchContainerView = search;
    m_searchButton = new QToolButton(search);
    {
        // The button is disabled (the container takes the clicks) but must not look greyed out.
        const QPixmap glass =
            Symbols::icon(QStringLiteral("magnifyingglass")).pixmap(QSize(16, 16), devicePixelRatioF());
        QIcon icon;
        icon.addPixmap(glass, QIcon::Normal);
        icon.addPixmap(glass, QIcon::Disabled);
        m_searchButton->setIcon(icon);
    }
    m_searchButton->setToolTip(tr("Search"));
    m_searchButton->setAutoRaise(true);
    m_searchButton->setEnabled(false); // clicks belong to the container
    m_searchButton->setFocusPolicy(Qt::NoFocus);
    m_searchButton->setStyleSheet(QStringLiteral("QToolButton { border: none; background: transparent; }"));
    m_searchField = new QLineEdit(search);
    m_searchField->setPlaceholderText(tr("Search..."));
    m_searchField->setFrame(false);
    m_searchField->setFont(systemFont(14));
    m_searchField->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; border: none; }"));
    m_searchField->hide(); // shown only while the field is open

    auto* favorite = new RoundedContainer(m_toolbarView);
    m_favoriteContainerView = favorite;
    m_favoriteButton = new QToolButton(favorite);
    m_favoriteButton->setAutoRaise(true);
    m_favoriteButton->setToolTip(tr("Show Favorites"));
    m_favoriteButton->setFocusPolicy(Qt::NoFocus);
    m_favoriteButton->setStyleSheet(QStringLiteral("QToolButton { border: none; background: transparent; }"));
    updateFavoriteButton();
}

void PanelContentView::setupFilterButtons() {
    m_filterStackView = new QWidget(m_toolbarView);
    auto* row = new QHBoxLayout(m_filterStackView);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    for (size_t i = 0; i < typeFilters.size(); ++i) {
        auto* button = new QPushButton(tr(typeFilters[i].titleKey.toUtf8().constData()), m_filterStackView);
        button->setFlat(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setFont(systemFont(12, QFont::Medium));
        button->setFixedHeight(26);
        button->setMinimumWidth(48);
        button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        row->addWidget(button);
        m_filterButtons.push_back(button);
    }
    updateFilterButtonStyles();
    m_filterStackView->adjustSize();
}

void PanelContentView::updateFilterButtonStyles() {
    const QPalette pal = QApplication::palette();
    for (size_t i = 0; i < m_filterButtons.size(); ++i) {
        const bool selected = typeFilters[i].type == selectedType;
        const QColor text = selected ? QColor(Qt::white) : Appearance::secondaryLabelColor(pal);
        const QColor back =
            selected ? Appearance::accentColor(pal) : Appearance::withAlpha(Appearance::labelColor(pal), 0.1);
        m_filterButtons[i]->setProperty("selectedFilter", selected);
        m_filterButtons[i]->setStyleSheet(
            QStringLiteral("QPushButton { color: %1; background: %2; border: none; border-radius: 13px;"
                           " padding: 0 12px; }")
                .arg(Appearance::css(text), Appearance::css(back)));
    }
}

void PanelContentView::updateFavoriteButton() {
    const QPalette pal = QApplication::palette();
    auto* container = static_cast<RoundedContainer*>(m_favoriteContainerView);
    const QColor tint = isFavoriteMode ? Appearance::systemYellowColor(pal) : Appearance::secondaryLabelColor(pal);
    QPixmap star = Symbols::icon(isFavoriteMode ? QStringLiteral("star.fill") : QStringLiteral("star"))
                       .pixmap(QSize(16, 16), devicePixelRatioF());
    {
        QPainter p(&star);
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(star.rect(), tint);
    }
    m_favoriteButton->setIcon(QIcon(star));
    if (isFavoriteMode) {
        container->background = Appearance::withAlpha(Appearance::systemYellowColor(pal), 0.15);
        container->borderWidth = 1.0;
        container->borderColor = Appearance::withAlpha(Appearance::systemYellowColor(pal), 0.6);
    } else {
        container->background.reset();
        container->borderWidth = 0;
    }
    container->update();
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
    m_filterStackView->setGeometry(30, (h - stack.height()) / 2, stack.width(), stack.height());

    const int searchWidth = isSearchExpanded ? expandedWidth : collapsedSize;
    const int searchX = (w - searchWidth) / 2;
    m_searchContainerView->setGeometry(searchX, (h - collapsedSize) / 2, searchWidth, collapsedSize);
    const int buttonX = isSearchExpanded ? 2 : (searchWidth - 32) / 2;
    m_searchButton->setGeometry(buttonX, 0, 32, 32);
    // The field's centre sits 1.5 points below the container's (rounded to whole pixels).
    m_searchField->setGeometry(12, (collapsedSize - 20) / 2 + 2, std::max(0, searchWidth - 24), 20);

    m_favoriteContainerView->setGeometry(searchX + searchWidth + 12, (h - collapsedSize) / 2, collapsedSize,
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

void PanelContentView::fetchInBackground(const PageRequest& request,
                                         std::function<void(std::vector<ClipboardItemPtr>)> apply) {
    ItemSource source = m_itemSource;
    if (!source) {
        QPointer<ClipboardDataManager> manager = m_dataManager;
        // The fetch runs on the context's (main) thread in any case; checking the manager there,
        // where it is destroyed, keeps a late load from reaching a store that is gone.
        source = [manager](const PageRequest& r) {
            std::vector<ClipboardItemPtr> items;
            Dispatch::syncOnMain([&] {
                if (manager)
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
    const int origin = m_scrollView->contentOffset();
    ++dataLoadGeneration;
    currentOffset = 0;
    hasMoreData = true;
    isLoadingMore = false;
    isReloadingData = true;
    clipboardItems.clear();
    m_scrollView->reloadData();
    selectedIndexPath.reset();
    m_emptyStateContainer->hide();
    QPointer<PanelContentView> self(this);
    loadFirstPage([self, preserveState, origin] {
        if (preserveState && self)
            self->m_scrollView->setContentOffset(origin);
    });
}

void PanelContentView::loadFirstPage(std::function<void()> completion) {
    const quint64 generation = dataLoadGeneration;
    const bool favorites = isFavoriteMode;
    PageRequest request;
    request.limit = favorites ? std::nullopt : std::optional<int>(pageSize);
    request.offset = 0;
    request.favoritesOnly = favorites;
    request.typeFilter = selectedType;
    fetchInBackground(request, [this, generation, favorites, completion](std::vector<ClipboardItemPtr> items) {
        if (dataLoadGeneration != generation)
            return;
        if (items.empty()) {
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
        m_scrollView->reloadData();
        selectAndScroll();
        Q_EMIT contentApplied();
        Dispatch::afterOnMain(fillCheckDelayMs, this, [this, generation, completion] {
            // A newer load owns the flags now; this check and its completion are superseded.
            if (dataLoadGeneration != generation)
                return;
            isReloadingData = false;
            if (!isFavoriteMode && !isSearchActive())
                loadMoreIfNeeded();
            if (completion)
                completion();
        });
    });
}

bool PanelContentView::canLoadMore() const {
    return canFetch() && !isLoadingMore && !isReloadingData && hasMoreData && !isSearchActive() && !isFavoriteMode;
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
    if (!isSearchExpanded)
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

bool PanelContentView::handleKeyDown(QKeyEvent* event) {
    if (isSearchExpanded)
        return false;
    switch (event->key()) {
    case Qt::Key_Left:
        selectPreviousItem();
        return true;
    case Qt::Key_Right:
        selectNextItem();
        return true;
    default:
        return false;
    }
}

void PanelContentView::beginSearchWithTypedText(const QString& text) {
    // Type-ahead opens the search field and searches; that behaviour arrives with the search.
    Q_UNUSED(text);
}

void PanelContentView::applySelection(int index) {
    selectedIndexPath = index;
    m_scrollView->selectItems({index});
    const QRect frame = m_scrollView->itemFrame(index);
    if (!frame.isNull())
        m_scrollView->scrollRectToVisible(frame.adjusted(-24, 0, 24, 0));
    if (auto* cell = dynamic_cast<ClipboardItemCollectionViewCell*>(m_scrollView->itemAt(index)))
        cell->select();
}

void PanelContentView::selectAndScroll() {
    if (clipboardItems.empty())
        return;
    applySelection(0);
}

void PanelContentView::selectPreviousItem() {
    if (!selectedIndexPath) {
        selectAndScroll();
        return;
    }
    if (*selectedIndexPath <= 0)
        return;
    applySelection(std::min(*selectedIndexPath, static_cast<int>(clipboardItems.size())) - 1);
}

void PanelContentView::selectNextItem() {
    if (!selectedIndexPath) {
        selectAndScroll();
        return;
    }
    if (*selectedIndexPath >= static_cast<int>(clipboardItems.size()) - 1)
        return;
    applySelection(*selectedIndexPath + 1);
}

void PanelContentView::selectItem(int index) {
    if (clipboardItems.empty()) {
        selectedIndexPath.reset();
        return;
    }
    const int i = std::clamp(index, 0, static_cast<int>(clipboardItems.size()) - 1);
    selectedIndexPath = i;
    m_scrollView->selectItems({i});
    if (auto* cell = dynamic_cast<ClipboardItemCollectionViewCell*>(m_scrollView->itemAt(i)))
        cell->select();
}

int PanelContentView::indexOfItem(const ClipboardItemPtr& item) const {
    for (size_t i = 0; i < clipboardItems.size(); ++i) {
        if (clipboardItems[i] == item)
            return static_cast<int>(i);
    }
    return -1;
}

void PanelContentView::pasteItem(const ClipboardItemPtr& entry, bool plainText) {
    const ClipboardItemPtr item = entry;
    if (!m_dataManager || !item)
        return;
    m_dataManager->copyToPasteboard(item, plainText);
    NotificationCenter::defaultCenter().post(Notifications::panelShouldHide);
}

void PanelContentView::deleteItem(const ClipboardItemPtr& entry) {
    const ClipboardItemPtr item = entry; // the caller's copy may go with a recycled cell
    if (!m_dataManager || !item)
        return;
    const int index = indexOfItem(item);
    if (index < 0)
        return;
    clipboardItems.erase(clipboardItems.begin() + index);
    m_scrollView->deleteItems({index});
    m_dataManager->context()->deleteObject(item);
    m_dataManager->saveContext();
    currentOffset = std::max(0, currentOffset - 1);
    if (clipboardItems.empty()) {
        selectedIndexPath.reset();
        showEmptyState();
        return;
    }
    // Until the deferred reselection runs the old index may point past the end: clamp it now.
    if (selectedIndexPath && *selectedIndexPath >= static_cast<int>(clipboardItems.size()))
        selectedIndexPath = static_cast<int>(clipboardItems.size()) - 1;
    Dispatch::onMain(this, [this, index] { selectItem(index); });
}

void PanelContentView::toggleFavorite(const ClipboardItemPtr& entry) {
    const ClipboardItemPtr item = entry;
    if (!m_dataManager || !item)
        return;
    m_dataManager->toggleFavorite(item);
    const int index = indexOfItem(item);
    if (index < 0)
        return;
    if (isFavoriteMode) {
        clipboardItems.erase(clipboardItems.begin() + index);
        m_scrollView->deleteItems({index});
        currentOffset = std::max(0, currentOffset - 1);
        if (clipboardItems.empty()) {
            selectedIndexPath.reset();
            showEmptyState();
        } else {
            if (selectedIndexPath && *selectedIndexPath >= static_cast<int>(clipboardItems.size()))
                selectedIndexPath = static_cast<int>(clipboardItems.size()) - 1;
            Dispatch::onMain(this, [this, index] { selectItem(index); });
        }
    } else {
        m_scrollView->reloadItems({index});
    }
}

void PanelContentView::handleFavoriteStatusChanged(const void* object) {
    if (!object)
        return;
    if (isSearchActive())
        return; // the search re-runs itself once it exists
    if (isFavoriteMode) {
        reloadContent(true);
        return;
    }
    for (size_t i = 0; i < clipboardItems.size(); ++i) {
        if (clipboardItems[i].get() == object) {
            m_scrollView->reloadItems({static_cast<int>(i)});
            return;
        }
    }
}
