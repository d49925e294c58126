// SPDX-License-Identifier: MIT
#include "statusbar/StatusBarManager.h"

#include "panel/PanelWindowController.h"
#include "platform/Symbols.h"
#include "settings/SettingsWindowController.h"
#include "update/UpdateManager.h"

#include <QCoreApplication>
#include <QMenu>
#include <QSystemTrayIcon>

StatusBarManager::StatusBarManager(PanelWindowController* panelController, QObject* parent)
    : QObject(parent), m_panelController(panelController) {}

StatusBarManager::~StatusBarManager() = default;

// The show-panel key, for the translation tables.
[[maybe_unused]] static const char* const showPanelKey = QT_TRANSLATE_NOOP("StatusBarManager", "show_panel");

QString StatusBarManager::showPanelTitle() {
    // A ten-character key whose English text is in the English table.
    return tr(QByteArray("show_").append("panel").constData());
}

void StatusBarManager::setupStatusItem() {
    m_statusItem = std::make_unique<QSystemTrayIcon>();
    QIcon icon = Symbols::icon(QStringLiteral("doc.on.clipboard.fill"));
    icon.setIsMask(true);
    m_statusItem->setIcon(icon);
    m_statusItem->setToolTip(tr("Tindralume"));
    connect(m_statusItem.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            togglePanel();
    });

    m_menu = std::make_unique<QMenu>();
    m_menu->addAction(showPanelTitle(), this, &StatusBarManager::showPanel);
    m_menu->addSeparator();
    QAction* settings = m_menu->addAction(tr("Settings..."), this, &StatusBarManager::openSettings);
    settings->setShortcut(QKeySequence(QStringLiteral("Ctrl+,")));
    Updater* updater = UpdateManager::shared().controller();
    QAction* updates = m_menu->addAction(tr("Check for Updates\u2026", "Check for application updates"), updater,
                                         &Updater::checkForUpdates);
    // Like the About page's button: only while the updater can check.
    updates->setEnabled(UpdateManager::shared().canCheckForUpdates());
    connect(&UpdateManager::shared(), &UpdateManager::canCheckForUpdatesChanged, updates, &QAction::setEnabled);
    m_menu->addSeparator();
    QAction* quit = m_menu->addAction(tr("Quit Tindralume"), this, &StatusBarManager::quitApplication);
    quit->setShortcut(QKeySequence(QStringLiteral("Ctrl+Q")));

    m_statusItem->setContextMenu(m_menu.get());
    m_statusItem->show();
}

void StatusBarManager::togglePanel() {
    if (!m_panelController)
        return;
    if (m_panelController->isVisible()) {
        m_panelController->hidePanel();
        return;
    }
    // The press on the icon already hid the panel as a click outside it: that was the toggle.
    if (m_panelController->wasHiddenByClickOutsideWithin(clickThroughMs))
        return;
    m_panelController->showPanel();
}

void StatusBarManager::showPanel() {
    if (m_panelController)
        m_panelController->showPanel();
}

void StatusBarManager::openSettings() {
    SettingsWindowController::showWindow();
}

void StatusBarManager::quitApplication() {
    QCoreApplication::quit();
}
