// SPDX-License-Identifier: MIT
#pragma once

#include "history/store/Entities.h"
#include "panel/CollectionView.h"

#include <QPointer>

#include <functional>
#include <optional>

class ClipboardItemContentView;
class QMenu;
class QAction;
class QVariantAnimation;

// One card of the strip: owns its ClipboardItemContentView, turns clicks into selection and paste
// requests, offers the favourite/delete context menu and draws the selection border.
class ClipboardItemCollectionViewCell : public CollectionViewItem {
    Q_OBJECT
public:
    static inline const QString identifier = QStringLiteral("ClipboardItemCollectionViewCell");
    static constexpr int selectionBorderWidth = 2;
    static constexpr int borderAnimationMs = 200;

    explicit ClipboardItemCollectionViewCell(QWidget* parent = nullptr);
    ~ClipboardItemCollectionViewCell() override;

    ClipboardItemContentView* itemView() const { return m_itemView; }
    ClipboardItemPtr item;
    bool isCellSelected = false;
    std::function<void(bool plainText)> onDoubleClick;
    std::function<void()> onDelete;
    std::function<void()> onToggleFavorite;

    // The cell last made the selection; weak, never keeps a cell alive.
    static ClipboardItemCollectionViewCell* currentlySelected();

    void select();
    void animateSelectionBorder(double width);
    // Shows or clears the selection at once (no animation), as a freshly configured cell must.
    void showSelection(bool selected);
    void prepareForReuse() override;
    void updateContextMenu();
    QMenu* contextMenu() const { return m_menu; }
    void handleDelete();
    void handleToggleFavorite();

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildContextMenu();

    ClipboardItemContentView* m_itemView = nullptr;
    QMenu* m_menu = nullptr;
    QVariantAnimation* m_borderAnimation = nullptr;
    std::optional<QPoint> m_pressPosition; // where a drag may start from
    static QPointer<ClipboardItemCollectionViewCell> s_currentlySelected;
};

// Whether the modifier chosen in the settings for plain-text pastes is held right now.
bool isPlainTextModifierPressed();
