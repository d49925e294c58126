// SPDX-License-Identifier: MIT
#pragma once

#include "history/ClipboardDataManager.h"
#include "history/store/Entities.h"
#include "panel/CollectionView.h"
#include "panel/TypeFilter.h"
#include "platform/SyntheticKeys.h"

#include <QPointer>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class PanelScrollView;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;
class QTimer;
class QVariantAnimation;
class NonSelectingTextField;

// What one page load asks the store for.
class StoreReader;

struct PageRequest {
    std::optional<int> limit;
    int offset = 0;
    bool favoritesOnly = false;
    std::optional<QString> typeFilter;
    std::optional<QString> query; // set: a search page
};

// The panel's main view: the toolbar row and, below it, the strip of cards loaded page by page.
class PanelContentView : public QWidget, public CollectionViewDataSource {
    Q_OBJECT
public:
    // Runs on a worker thread; returns entries newest first, empty on failure.
    using ItemSource = std::function<std::vector<ClipboardItemPtr>(const PageRequest&)>;

    static constexpr int pageSize = 12;
    static constexpr int collapsedSize = 32;
    static constexpr int expandedWidth = 300;
    static constexpr int itemWidth = 220;
    static constexpr int itemHeight = 240;
    static constexpr int itemSpacing = 16;
    static constexpr int toolbarTop = 8;
    static constexpr int toolbarHeight = 44;
    static constexpr int filterRowLeft = 30;
    static constexpr int toolbarGap = 12;
    static constexpr int toolbarRightMargin = 24;
    // How far past the visible area the strip must reach before no further page is fetched.
    static constexpr int loadAheadDistance = 200;
    static constexpr int fillCheckDelayMs = 100;
    static constexpr int searchAnimationMs = 150;
    static constexpr int searchDebounceMs = 300;
    static constexpr int pasteDelayMs = 300;

    explicit PanelContentView(QWidget* parent = nullptr);
    ~PanelContentView() override;

    ClipboardDataManager* dataManager() const { return m_dataManager; }
    void setDataManager(ClipboardDataManager* manager) { m_dataManager = manager; }
    // Replaces the store as the source of pages (tests, benchmarks). With neither a source nor a
    // data manager, loads do nothing.
    void setItemSource(ItemSource source) { m_itemSource = std::move(source); }

    void reloadContent(bool preserveState);
    void resetAndReload();
    void loadFirstPage(std::function<void()> completion);
    void loadMore();
    void loadMoreIfNeeded();
    void handleScrollViewDidScroll();
    void showEmptyState();
    void showNoResultsState();
    bool isSearchActive() const;

    // Keys from the panel's key monitor; true when handled (the caller swallows the key).
    bool handleKeyDown(QKeyEvent* event);
    // A key the panel's grab delivered while the search field is open: handed to the field.
    bool handleSearchFieldKey(QKeyEvent* event);

    // Search (field, type-ahead, debounce, results).
    void toggleSearchField();
    void toggleSearch() { toggleSearchField(); }
    void handleSearchContainerTap();
    void beginSearchWithTypedText(const QString& text);
    void handleSearchTextChange();
    void performSearch(const QString& text);
    bool isSearchTimerActive() const;

    // Type filters and favourites mode.
    void selectTypeFilter(int tag);
    void toggleFavoriteMode() { toggleFavoriteModeImpl(); }
    void toggleFavoriteModeImpl();

    void selectAndScroll();
    void selectPreviousItem();
    void selectNextItem();
    void selectItem(int index);

    // Notes the window in front when the panel shows: the only one a direct paste may go to.
    void noteFrontWindow();
    std::optional<SyntheticKeys::FrontWindow> frontWindowAtShow;
    // The entry goes to the clipboard once its text or picture was read off the main thread; the
    // panel hides, or says it could not, then.
    void pasteItem(const ClipboardItemPtr& item, bool plainText);
    // Sends the paste chord when the window in front is still the target; true when sent.
    bool postCommandV(const std::optional<SyntheticKeys::FrontWindow>& target);
    void showAccessibilityAlert();
    // A short message over the strip that goes by itself; noticeText() is empty while none shows.
    void showNotice(const QString& text);
    QString noticeText() const;
    static constexpr int noticeMs = 3000;
    void openAccessibilitySettings();
    void deleteItem(const ClipboardItemPtr& item);
    void toggleFavorite(const ClipboardItemPtr& item);

    // CollectionViewDataSource
    int numberOfItems(CollectionView* view) override;
    CollectionViewItem* itemForIndex(CollectionView* view, int index) override;
    CollectionViewItem* makeItem(CollectionView* view, int index);
    // Drag source: one image card at a time, dragged out as a PNG file.
    bool canDragItems(CollectionView* view, const QList<int>& indexes) override;
    QMimeData* pasteboardWriterForItem(CollectionView* view, int index) override;
    static QString dragFileName(const ClipboardItemPtr& entry);

    void updateFilterButtonStyles();
    void updateFavoriteButton();
    void updateSearchButton();
    void postSearchFieldState(bool isExpanded, bool isAnimating);

    CollectionView* collectionView() const;
    PanelScrollView* scrollView() const { return m_scrollView; }
    QWidget* toolbarView() const { return m_toolbarView; }
    QWidget* searchContainerView() const { return m_searchContainerView; }
    QToolButton* searchButton() const { return m_searchButton; }
    QLineEdit* searchField() const;
    QWidget* filterStackView() const { return m_filterStackView; }
    const std::vector<QPushButton*>& filterButtons() const { return m_filterButtons; }
    QWidget* favoriteContainerView() const { return m_favoriteContainerView; }
    QToolButton* favoriteButton() const { return m_favoriteButton; }
    QWidget* emptyStateContainer() const { return m_emptyStateContainer; }
    QLabel* emptyStateLabel() const { return m_emptyStateLabel; }

    // List and paging state.
    std::vector<ClipboardItemPtr> clipboardItems;
    std::optional<int> selectedIndexPath;
    int currentOffset = 0;
    bool isLoadingMore = false;
    bool isReloadingData = false;
    bool hasMoreData = true;
    quint64 dataLoadGeneration = 0;
    // Search, filter and favourites state (their behaviour lives with the search and filter code).
    bool isSearchExpanded = false;
    bool isSearchAnimating = false;
    QString pendingSearchText;
    bool isProgrammaticSearchChange = false;
    std::optional<QString> selectedType;
    bool isFavoriteMode = false;
    const std::array<TypeFilter, 7>& typeFilters;

Q_SIGNALS:
    // A page (first or further) or the empty state has been applied; for observers such as tests.
    void contentApplied();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void pickWritten(bool written);
    void setupUI();
    void setupToolbar();
    void setupFilterButtons();
    void setupScrollView();
    void layoutToolbar();
    void layoutEmptyState();
    void installEmptyStateLabel(const QString& text);
    void updateColors();
    void applySelection(int index);
    void handleFavoriteStatusChanged(const void* object);
    void setupSearchControls();
    void setupFavoriteButton();
    int searchContainerWidth() const;
    void animateSearchField(bool opening, std::function<void()> completion);
    void applySearchFieldLayout();
    void removedAt(int index);
    void startOver();
    void fetchInBackground(const PageRequest& request, std::function<void(std::vector<ClipboardItemPtr>)> apply);
    std::shared_ptr<StoreReader> m_storeReader; // runs page and search queries off the main thread
    bool canFetch() const;
    bool canLoadMore() const;
    int indexOfItem(const ClipboardItemPtr& item) const;
    void onCellSelected(const QList<int>& indexes);
    void onCellsDeselected(const QList<int>& indexes);

    QPointer<ClipboardDataManager> m_dataManager;
    ItemSource m_itemSource;
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);

    PanelScrollView* m_scrollView = nullptr;
    QWidget* m_toolbarView = nullptr;
    QWidget* m_searchContainerView = nullptr;
    QToolButton* m_searchButton = nullptr;
    NonSelectingTextField* m_searchField = nullptr;
    QVariantAnimation* m_searchAnimation = nullptr;
    double m_searchProgress = 0;          // 0 closed .. 1 open, drives the container's width and alphas
    std::optional<QString> m_searchQuery; // the search whose results the strip shows
    QWidget* m_filterStackView = nullptr;
    std::vector<QPushButton*> m_filterButtons;
    QWidget* m_favoriteContainerView = nullptr;
    QToolButton* m_favoriteButton = nullptr;
    QWidget* m_emptyStateContainer = nullptr;
    QLabel* m_emptyStateLabel = nullptr;
    QLabel* m_notice = nullptr;
    QTimer* m_noticeTimer = nullptr;
    QTimer* m_searchTimer = nullptr;
};
