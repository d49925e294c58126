// SPDX-License-Identifier: MIT
// The panel's keys, the selection along the strip, and the actions on one entry: pick (copy, hide
// and paste), delete and favourite toggle.
#include "common/AppNames.h"
#include "panel/Appearance.h"
#include "panel/ClipboardItemCollectionViewCell.h"
#include "panel/PanelContentView.h"
#include "panel/PanelScrollView.h"
#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QLoggingCategory>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

namespace {
Q_LOGGING_CATEGORY(lcPick, "tindralume.panel.pick", QtWarningMsg)
} // namespace

bool PanelContentView::handleKeyDown(QKeyEvent* event) {
    if (isSearchExpanded)
        return false;
    const int count = static_cast<int>(clipboardItems.size());
    // Between a removal and its deferred reselection the selection may point past the end.
    const bool selectionValid = selectedIndexPath && *selectedIndexPath >= 0 && *selectedIndexPath < count;
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        if (!selectionValid)
            return false;
        auto* cell = dynamic_cast<ClipboardItemCollectionViewCell*>(m_scrollView->itemAt(*selectedIndexPath));
        if (!cell)
            return false;
        const bool plain = isPlainTextModifierPressed();
        if (auto pick = cell->onDoubleClick)
            pick(plain);
        return true;
    }
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
        if (!selectionValid)
            return false;
        deleteItem(clipboardItems[static_cast<size_t>(*selectedIndexPath)]);
        return true;
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

void PanelContentView::noteFrontWindow() {
    frontWindowAtShow = SyntheticKeys::shared().frontWindow();
}

void PanelContentView::pasteItem(const ClipboardItemPtr& entry, bool plainText) {
    const ClipboardItemPtr item = entry; // the caller's copy may go with a recycled cell
    if (!m_dataManager || !item)
        return;
    QPointer<PanelContentView> self(this);
    m_dataManager->pickToPasteboard(item, plainText, [self](bool written) {
        if (self)
            self->pickWritten(written);
    });
}

void PanelContentView::pickWritten(bool written) {
    if (!written) {
        // Nothing reached the clipboard: the panel stays, says so, and nothing is pasted.
        qCWarning(lcPick) << "the entry could not be put on the clipboard";
        showNotice(tr("This entry could not be put on the clipboard."));
        return;
    }
    NotificationCenter::defaultCenter().post(Notifications::panelShouldHide);
    if (!UserDefaults::standard().boolean(DefaultsKeys::pasteDirectly))
        return;
    if (!SyntheticKeys::shared().isTrusted()) {
        showAccessibilityAlert();
        return;
    }
    const std::optional<SyntheticKeys::FrontWindow> target = frontWindowAtShow;
    Dispatch::afterOnMain(pasteDelayMs, this, [this, target] { postCommandV(target); });
}

void PanelContentView::showNotice(const QString& text) {
    if (!m_notice) {
        m_notice = new QLabel(this);
        m_notice->setTextFormat(Qt::PlainText);
        m_notice->setAttribute(Qt::WA_TransparentForMouseEvents);
        m_noticeTimer = new QTimer(this);
        m_noticeTimer->setSingleShot(true);
        connect(m_noticeTimer, &QTimer::timeout, m_notice, &QWidget::hide);
    }
    const QPalette palette = QApplication::palette();
    m_notice->setStyleSheet(
        QStringLiteral("QLabel { background: %1; color: %2; border-radius: 10px; padding: 6px 14px; }")
            .arg(Appearance::labelColor(palette).name(), Appearance::windowBackgroundColor(palette).name()));
    m_notice->setText(text);
    m_notice->adjustSize();
    // Over the bottom of the strip, centred, clear of the toolbar.
    m_notice->move((width() - m_notice->width()) / 2, height() - m_notice->height() - 14);
    m_notice->raise();
    m_notice->show();
    m_noticeTimer->start(noticeMs);
}

QString PanelContentView::noticeText() const {
    return m_notice && !m_notice->isHidden() ? m_notice->text() : QString();
}

bool PanelContentView::postCommandV(const std::optional<SyntheticKeys::FrontWindow>& target) {
    SyntheticKeys& keys = SyntheticKeys::shared();
    // The strokes go only to the window that was in front when the panel showed: another window
    // that came to the front meanwhile never receives a paste it was not meant to get.
    const std::optional<SyntheticKeys::FrontWindow> now = keys.frontWindow();
    if (!target || !now || !(*now == *target)) {
        qCWarning(lcPick) << "the window in front changed since the panel showed; not pasting";
        return false;
    }
    return keys.postPaste(*now);
}

void PanelContentView::showAccessibilityAlert() {
    QMessageBox alert;
    alert.setIcon(QMessageBox::Warning);
    alert.setText(tr("accessibility_permission_title"));
    alert.setInformativeText(tr("accessibility_permission_message"));
    QPushButton* open = alert.addButton(tr("open_settings"), QMessageBox::AcceptRole);
    alert.addButton(tr("Cancel"), QMessageBox::RejectRole);
    alert.exec();
    if (alert.clickedButton() == open)
        openAccessibilitySettings();
}

void PanelContentView::openAccessibilitySettings() {
    // This desktop has no settings page that grants synthetic input; the alert's text says what to
    // install or enable instead.
}

void PanelContentView::deleteItem(const ClipboardItemPtr& entry) {
    const ClipboardItemPtr item = entry;
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
    removedAt(index);
}

// After an entry left the strip: the empty state, or the entry now at its place becomes selected.
void PanelContentView::removedAt(int index) {
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
        removedAt(index);
    } else {
        m_scrollView->reloadItems({index});
    }
}
