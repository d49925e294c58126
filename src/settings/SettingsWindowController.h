// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QWidget>

class HotKeyManager;
class SettingsView;

// The one settings window of the process, made on first use and kept: closing it only hides it.
// Each showing centres it on the screen under the pointer; a hidden window fades in. Main thread only.
class SettingsWindowController {
public:
    static constexpr int fadeInMs = 160;

    // The hot-key manager the shortcut recorder works with; set at start-up, before the first show.
    static void setHotKeyManager(HotKeyManager* hotKeyManager);

    static void showWindow();
    // The controller once made; null before the first showWindow().
    static SettingsWindowController* shared();

    struct ScreenArea {
        QRect frame;
        QRect visibleFrame;
    };
    // The window frame centred in the visible area of the first screen containing the pointer, else
    // the primary screen (`primary` indexes screens, -1 for none), else the first; unchanged
    // without screens.
    static QRect centerOnMouseScreen(const QRect& windowFrame, const QPoint& mouse, const QList<ScreenArea>& screens,
                                     int primary);

    SettingsWindowController();
    ~SettingsWindowController();

    QWidget* window() const { return m_window; }
    SettingsView* settingsView() const { return m_view; }

private:
    void show();

    QPointer<QWidget> m_window;
    SettingsView* m_view = nullptr;
};
