// SPDX-License-Identifier: MIT
// The search control of the panel's toolbar: opening and closing with its animation, type-ahead,
// the debounce of edits, and running a search into the strip.
#include "common/AppNames.h"
#include "panel/Appearance.h"
#include "panel/NonSelectingTextField.h"
#include "panel/PanelContentView.h"
#include "panel/PanelScrollView.h"
#include "panel/RoundedContainer.h"
#include "platform/Dispatch.h"
#include "platform/Symbols.h"

#include <QApplication>
#include <QEasingCurve>
#include <QGraphicsOpacityEffect>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QToolButton>
#include <QVariantAnimation>

namespace {

// A click on the container (the button inside is disabled and passes clicks through).
class TapFilter : public QObject {
public:
    TapFilter(QObject* parent, std::function<void()> onTap) : QObject(parent), m_onTap(std::move(onTap)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            m_onTap();
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_onTap;
};

void setOpacity(QWidget* widget, double opacity) {
    auto* effect = qobject_cast<QGraphicsOpacityEffect*>(widget->graphicsEffect());
    if (!effect) {
        effect = new QGraphicsOpacityEffect(widget);
        widget->setGraphicsEffect(effect);
    }
    effect->setOpacity(opacity);
    widget->setVisible(opacity > 0);
}

} // namespace

QLineEdit* PanelContentView::searchField() const {
    return m_searchField;
}

// A symbol in the appearance's own colour, as the star is: the theme's full-colour icon is dark on
// a dark panel.
void PanelContentView::updateSearchButton() {
    const QPixmap glass = Symbols::tintedPixmap(QStringLiteral("magnifyingglass"), QSize(16, 16), devicePixelRatioF(),
                                                Appearance::secondaryLabelColor(QApplication::palette()));
    // The button is disabled (the container takes the clicks) but must not look greyed out.
    QIcon icon;
    icon.addPixmap(glass, QIcon::Normal);
    icon.addPixmap(glass, QIcon::Disabled);
    m_searchButton->setIcon(icon);
}

void PanelContentView::setupSearchControls() {
    auto* search = new RoundedContainer(m_toolbarView);
    m_searchContainerView = search;
    search->installEventFilter(new TapFilter(search, [this] { handleSearchContainerTap(); }));
    m_searchButton = new QToolButton(search);
    updateSearchButton();
    m_searchButton->setToolTip(tr("Search"));
    m_searchButton->setAutoRaise(true);
    m_searchButton->setEnabled(false);
    m_searchButton->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_searchButton->setFocusPolicy(Qt::NoFocus);
    m_searchButton->setStyleSheet(QStringLiteral("QToolButton { border: none; background: transparent; }"));
    m_searchField = new NonSelectingTextField(search);
    m_searchField->setPlaceholderText(tr("Search..."));
    m_searchField->setFrame(false);
    m_searchField->setFont(systemFont(14));
    m_searchField->setStyleSheet(QStringLiteral("QLineEdit { background: transparent; border: none; }"));
    m_searchField->onCancelOperation = [this] {
        if (!isSearchExpanded)
            return false;
        toggleSearchField();
        return true;
    };
    connect(m_searchField, &QLineEdit::textEdited, this, [this] { handleSearchTextChange(); });
    m_searchAnimation = new QVariantAnimation(this);
    m_searchAnimation->setDuration(searchAnimationMs);
    m_searchAnimation->setEasingCurve(QEasingCurve::OutQuad);
    connect(m_searchAnimation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
        m_searchProgress = value.toDouble();
        applySearchFieldLayout();
    });
    m_searchTimer = new QTimer(this);
    m_searchTimer->setSingleShot(true);
    setOpacity(m_searchButton, 1);
    setOpacity(m_searchField, 0);
}

// Width, border, and the alphas of button and field for the current progress of the animation.
void PanelContentView::applySearchFieldLayout() {
    auto* container = static_cast<RoundedContainer*>(m_searchContainerView);
    container->borderWidth = isSearchExpanded ? 2 : 0;
    container->borderColor = Appearance::systemBlueColor(QApplication::palette());
    container->update();
    setOpacity(m_searchButton, 1 - m_searchProgress);
    setOpacity(m_searchField, m_searchProgress);
    layoutToolbar();
}

int PanelContentView::searchContainerWidth() const {
    // The open width shrinks to the room between the filters and the star button.
    const int room = m_toolbarView->width() - filterRowLeft - m_filterStackView->sizeHint().width() - toolbarGap -
                     toolbarGap - collapsedSize - toolbarRightMargin;
    const int openWidth = std::clamp(room, collapsedSize, int(expandedWidth));
    return static_cast<int>(std::lround(collapsedSize + (openWidth - collapsedSize) * m_searchProgress));
}

void PanelContentView::animateSearchField(bool opening, std::function<void()> completion) {
    m_searchAnimation->stop();
    disconnect(m_searchAnimation, &QVariantAnimation::finished, nullptr, nullptr);
    m_searchAnimation->setStartValue(m_searchProgress);
    m_searchAnimation->setEndValue(opening ? 1.0 : 0.0);
    connect(m_searchAnimation, &QVariantAnimation::finished, this, std::move(completion));
    applySearchFieldLayout();
    m_searchAnimation->start();
}

void PanelContentView::toggleSearchField() {
    isSearchExpanded = !isSearchExpanded;
    m_scrollView->isSearchExpanded = isSearchExpanded;
    isSearchAnimating = isSearchExpanded;
    postSearchFieldState(isSearchExpanded, isSearchExpanded);
    if (!isSearchExpanded) {
        m_searchTimer->stop();
        const QString noted = m_searchField->text();
        isProgrammaticSearchChange = true;
        m_searchField->clear();
        isProgrammaticSearchChange = false;
        if (!noted.isEmpty()) {
            // A search still in flight must not refill the strip after the field has closed.
            ++dataLoadGeneration;
            Dispatch::onMain(this, [this] { reloadContent(false); });
        }
    }
    animateSearchField(isSearchExpanded, [this] {
        isSearchAnimating = false;
        postSearchFieldState(isSearchExpanded, false);
        if (isSearchExpanded)
            m_searchField->becomeFirstResponder();
    });
}

void PanelContentView::handleSearchContainerTap() {
    if (!isSearchExpanded)
        toggleSearchField();
}

void PanelContentView::beginSearchWithTypedText(const QString& text) {
    if (!isSearchExpanded) {
        isSearchExpanded = true;
        m_scrollView->isSearchExpanded = true;
        isSearchAnimating = true;
        pendingSearchText = text;
        postSearchFieldState(true, true);
        animateSearchField(true, [this] {
            isSearchAnimating = false;
            postSearchFieldState(true, false);
            m_searchField->setText(pendingSearchText);
            m_searchField->becomeFirstResponder();
            const QString query = pendingSearchText;
            pendingSearchText.clear();
            performSearch(query);
        });
        return;
    }
    if (isSearchAnimating) {
        pendingSearchText += text;
        return;
    }
    m_searchField->setText(m_searchField->text() + text);
    m_searchField->becomeFirstResponder();
    performSearch(m_searchField->text());
}

bool PanelContentView::handleSearchFieldKey(QKeyEvent* event) {
    if (!isSearchExpanded)
        return false;
    // Only a field that lacks the focus gets the caret put back at the end: doing it on every key
    // would undo Ctrl+A and Shift selections before the next key could act on them.
    if (window()->focusWidget() != m_searchField)
        m_searchField->becomeFirstResponder();
    // Straight to the field: the grab delivers keys to the panel window, not to its focus widget.
    static_cast<QObject*>(m_searchField)->event(event);
    return true;
}

void PanelContentView::handleSearchTextChange() {
    if (isProgrammaticSearchChange)
        return;
    m_searchTimer->stop();
    const QString text = m_searchField->text();
    if (text.trimmed().isEmpty()) {
        reloadContent(false);
        return;
    }
    m_searchTimer->disconnect();
    connect(m_searchTimer, &QTimer::timeout, this, [this, text] { performSearch(text); });
    m_searchTimer->start(searchDebounceMs);
}

bool PanelContentView::isSearchTimerActive() const {
    return m_searchTimer->isActive();
}

void PanelContentView::performSearch(const QString& text) {
    if (!canFetch())
        return;
    ++dataLoadGeneration;
    currentOffset = 0;
    hasMoreData = false;
    isLoadingMore = false;
    isReloadingData = true;
    m_searchQuery = text;
    // Results come a page at a time like the unfiltered list, so a one-letter search over a large
    // history never holds every match at once.
    loadFirstPage(nullptr);
}
