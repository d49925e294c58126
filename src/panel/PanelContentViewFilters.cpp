// SPDX-License-Identifier: MIT
// The type-filter buttons and favourites mode of the panel's toolbar, and the strip's answer to a
// changed favourite mark.
#include "common/AppNames.h"
#include "panel/Appearance.h"
#include "panel/NonSelectingTextField.h"
#include "panel/PanelContentView.h"
#include "panel/PanelScrollView.h"
#include "panel/RoundedContainer.h"
#include "platform/Symbols.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QToolButton>

void PanelContentView::setupFilterButtons() {
    m_filterStackView = new QWidget(m_toolbarView);
    auto* row = new QHBoxLayout(m_filterStackView);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(6);
    for (size_t i = 0; i < typeFilters.size(); ++i) {
        auto* button = new QPushButton(tr(typeFilters[i].titleKey.toUtf8().constData()), m_filterStackView);
        button->setProperty("tag", static_cast<int>(i));
        button->setFlat(true);
        button->setFocusPolicy(Qt::NoFocus);
        button->setFont(systemFont(12, QFont::Medium));
        button->setFixedHeight(26);
        button->setMinimumWidth(48);
        button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        connect(button, &QPushButton::clicked, this,
                [this, button] { selectTypeFilter(button->property("tag").toInt()); });
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
        // A borderless button is as wide as its title (at least 48): only a slim inset at the sides.
        m_filterButtons[i]->setStyleSheet(
            QStringLiteral("QPushButton { color: %1; background: %2; border: none; border-radius: 13px;"
                           " padding: 0 4px; }")
                .arg(Appearance::css(text), Appearance::css(back)));
    }
}

void PanelContentView::selectTypeFilter(int tag) {
    if (tag < 0 || tag >= static_cast<int>(typeFilters.size()))
        return;
    selectedType = typeFilters[static_cast<size_t>(tag)].type;
    updateFilterButtonStyles();
    reloadContent(true);
}

void PanelContentView::setupFavoriteButton() {
    auto* favorite = new RoundedContainer(m_toolbarView);
    m_favoriteContainerView = favorite;
    m_favoriteButton = new QToolButton(favorite);
    m_favoriteButton->setAutoRaise(true);
    m_favoriteButton->setToolTip(tr("Show Favorites"));
    m_favoriteButton->setFocusPolicy(Qt::NoFocus);
    m_favoriteButton->setStyleSheet(QStringLiteral("QToolButton { border: none; background: transparent; }"));
    connect(m_favoriteButton, &QToolButton::clicked, this, [this] { toggleFavoriteMode(); });
    updateFavoriteButton();
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
    m_favoriteButton->setProperty("symbol", isFavoriteMode ? QStringLiteral("star.fill") : QStringLiteral("star"));
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

void PanelContentView::toggleFavoriteModeImpl() {
    isFavoriteMode = !isFavoriteMode;
    updateFavoriteButton();
    startOver();
    if (isSearchActive())
        performSearch(m_searchField->text());
    else
        reloadContent(false);
}

void PanelContentView::handleFavoriteStatusChanged(const void* object) {
    if (!object)
        return;
    if (isSearchActive()) {
        performSearch(m_searchField->text());
        return;
    }
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
