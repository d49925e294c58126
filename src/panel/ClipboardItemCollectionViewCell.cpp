// SPDX-License-Identifier: MIT
#include "panel/ClipboardItemCollectionViewCell.h"

#include "common/AppNames.h"
#include "panel/Appearance.h"
#include "panel/ClipboardItemContentView.h"
#include "platform/UserDefaults.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QVariantAnimation>

QPointer<ClipboardItemCollectionViewCell> ClipboardItemCollectionViewCell::s_currentlySelected;

ClipboardItemCollectionViewCell::ClipboardItemCollectionViewCell(QWidget* parent) : CollectionViewItem(parent) {
    setAttribute(Qt::WA_TranslucentBackground);
    resize(ClipboardItemContentView::CARD_WIDTH, ClipboardItemContentView::CARD_HEIGHT);
    m_itemView = new ClipboardItemContentView(this);
    m_itemView->setGeometry(rect());
    m_itemView->installEventFilter(this);
    m_itemView->onClick = [this] { select(); };
    m_itemView->onDoubleClick = [this] {
        if (auto callback = onDoubleClick)
            callback(isPlainTextModifierPressed());
    };
    buildContextMenu();
}

ClipboardItemCollectionViewCell::~ClipboardItemCollectionViewCell() = default;

ClipboardItemCollectionViewCell* ClipboardItemCollectionViewCell::currentlySelected() {
    return s_currentlySelected;
}

void ClipboardItemCollectionViewCell::buildContextMenu() {
    m_menu = new QMenu(this);
    m_menu->addAction(tr("Add to Favorites"), this, [this] { handleToggleFavorite(); });
    m_menu->addSeparator();
    m_menu->addAction(tr("Delete"), this, [this] { handleDelete(); });
}

void ClipboardItemCollectionViewCell::updateContextMenu() {
    if (!m_menu || m_menu->actions().isEmpty())
        return;
    const bool favorite = item && item->isFavorite().value_or(false);
    m_menu->actions().first()->setText(favorite ? tr("Remove from Favorites") : tr("Add to Favorites"));
}

void ClipboardItemCollectionViewCell::contextMenuEvent(QContextMenuEvent* event) {
    if (!item) // a pooled cell shows no menu for the entry it had before
        return;
    updateContextMenu();
    m_menu->popup(event->globalPos());
}

// The callbacks run on copies: what they do may recycle this cell, which clears its callbacks.
void ClipboardItemCollectionViewCell::handleDelete() {
    if (auto callback = onDelete)
        callback();
}

void ClipboardItemCollectionViewCell::handleToggleFavorite() {
    if (auto callback = onToggleFavorite)
        callback();
}

bool ClipboardItemCollectionViewCell::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_itemView && event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
        m_pressPosition = static_cast<QMouseEvent*>(event)->globalPosition().toPoint();
    if (watched == m_itemView && event->type() == QEvent::MouseMove && m_pressPosition &&
        (static_cast<QMouseEvent*>(event)->buttons() & Qt::LeftButton) && collectionView() &&
        (static_cast<QMouseEvent*>(event)->globalPosition().toPoint() - *m_pressPosition).manhattanLength() >=
            QApplication::startDragDistance()) {
        m_pressPosition.reset();
        QPointer<ClipboardItemCollectionViewCell> self(this);
        if (collectionView()->beginDrag(this)) {
            if (self)
                m_itemView->cancelPendingClick();
            return true;
        }
    }
    if (watched == m_itemView && event->type() == QEvent::MouseButtonRelease)
        m_pressPosition.reset();
    // A left press selects, as a click on an item does; a right press only opens the menu.
    if (watched == m_itemView && event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
        notifyPressed();
    return CollectionViewItem::eventFilter(watched, event);
}

void ClipboardItemCollectionViewCell::prepareForReuse() {
    item.reset();
    m_itemView->reset();
    // The next configuration sets new callbacks; until then none may reach the previous entry.
    onDoubleClick = nullptr;
    onDelete = nullptr;
    onToggleFavorite = nullptr;
}

void ClipboardItemCollectionViewCell::select() {
    ClipboardItemCollectionViewCell* previous = s_currentlySelected;
    if (previous && previous != this && previous->isCellSelected) {
        previous->isCellSelected = false;
        previous->animateSelectionBorder(0);
    }
    if (!isCellSelected) {
        isCellSelected = true;
        animateSelectionBorder(selectionBorderWidth);
        s_currentlySelected = this;
    }
}

void ClipboardItemCollectionViewCell::animateSelectionBorder(double width) {
    if (!m_borderAnimation) {
        m_borderAnimation = new QVariantAnimation(this);
        m_borderAnimation->setDuration(borderAnimationMs);
        connect(m_borderAnimation, &QVariantAnimation::valueChanged, this, [this](const QVariant& value) {
            m_itemView->setBorder(value.toDouble(), Appearance::accentColor(palette()));
        });
    }
    m_borderAnimation->stop();
    m_borderAnimation->setStartValue(m_itemView->borderWidth());
    m_borderAnimation->setEndValue(width);
    m_itemView->setBorder(m_itemView->borderWidth(), Appearance::accentColor(palette()));
    m_borderAnimation->start();
}

void ClipboardItemCollectionViewCell::showSelection(bool selected) {
    if (m_borderAnimation)
        m_borderAnimation->stop();
    isCellSelected = selected;
    m_itemView->setBorder(selected ? selectionBorderWidth : 0, Appearance::accentColor(palette()));
    if (selected) {
        ClipboardItemCollectionViewCell* previous = s_currentlySelected;
        if (previous && previous != this && previous->isCellSelected) {
            previous->isCellSelected = false;
            previous->animateSelectionBorder(0);
        }
        s_currentlySelected = this;
    }
}

bool isPlainTextModifierPressed() {
    auto& defaults = UserDefaults::standard();
    Qt::KeyboardModifier flag = Qt::ShiftModifier;
    if (defaults.objectExists(DefaultsKeys::plainTextModifier)) {
        switch (defaults.integer(DefaultsKeys::plainTextModifier)) {
        case 0:
            flag = Qt::AltModifier;
            break;
        case 1:
            flag = Qt::ControlModifier;
            break;
        case 2:
            flag = Qt::MetaModifier;
            break;
        default:
            flag = Qt::ShiftModifier;
            break;
        }
    }
    return QGuiApplication::queryKeyboardModifiers().testFlag(flag);
}
