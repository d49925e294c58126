// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QPointer>

#include <memory>

class PanelWindowController;
class QAction;
class QMenu;
class QSystemTrayIcon;

// The application's item in the desktop's tray (StatusNotifierItem or XEmbed, whichever host runs):
// a click toggles the panel, its menu shows the panel, opens the settings, checks for updates and
// quits. Where no tray host runs the item stays hidden until one appears; the hot key still works.
// Main thread only.
class StatusBarManager : public QObject {
    Q_OBJECT
public:
    // A press outside the panel that hid it this recently was the click on the icon itself.
    static constexpr int clickThroughMs = 400;

    explicit StatusBarManager(PanelWindowController* panelController, QObject* parent = nullptr);
    ~StatusBarManager() override;

    void setupStatusItem();

    QSystemTrayIcon* statusItem() const { return m_statusItem.get(); }
    QMenu* menu() const { return m_menu.get(); }
    PanelWindowController* panelController() const { return m_panelController; }

    void togglePanel();
    void showPanel();
    void openSettings();
    void quitApplication();

    // The menu titles, looked up when the menu is built.
    static QString showPanelTitle();

private:
    PanelWindowController* m_panelController;
    std::unique_ptr<QMenu> m_menu;
    std::unique_ptr<QSystemTrayIcon> m_statusItem;
};
