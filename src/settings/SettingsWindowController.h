// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QMargins>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QWidget>

#include <functional>

class HotKeyManager;
class SettingsView;

// The one settings window of the process, made on first use and kept: closing it only hides it.
// Each showing centres it on the screen under the pointer, no larger than that screen's free area
// (its pages scroll instead); a hidden window fades in. Escape and Ctrl+W close it. Main thread only.
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
    static constexpr QSize preferredSize{900, 650};

    // The window frame, cut to the visible area and centred in it, of the first screen containing
    // the pointer, else the primary screen (`primary` indexes screens, -1 for none), else the
    // first; unchanged without screens.
    static QRect centerOnMouseScreen(const QRect& windowFrame, const QPoint& mouse, const QList<ScreenArea>& screens,
                                     int primary);

    SettingsWindowController();
    ~SettingsWindowController();

    QWidget* window() const { return m_window; }
    SettingsView* settingsView() const { return m_view; }

private:
    struct WindowWatch : QObject {
        std::function<void()> onFrameChange;
        bool eventFilter(QObject* watched, QEvent* event) override;
    };

    void show();
    QMargins frameMargins() const;
    void keepFrameOnScreen();

    WindowWatch m_windowWatch;
    bool m_fitAfterFraming = false;

    QPointer<QWidget> m_window;
    SettingsView* m_view = nullptr;
};
