// SPDX-License-Identifier: MIT
#pragma once

#include "history/ClipboardDataManager.h"
#include "panel/FloatingPanel.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QVariantMap>

#include <functional>

class GlobalPointerMonitor;
class QKeyEvent;
class QPropertyAnimation;
class QScreen;
class QTimer;

// Shows and hides the floating panel. While the panel shows, it holds the keyboard grab and watches
// pointer presses anywhere: Escape and a press outside the panel hide it, navigation keys go to the
// content view and typed characters to type-ahead. The application in front keeps the input focus
// throughout; a press outside still reaches the window it was meant for.
class PanelWindowController : public QObject {
    Q_OBJECT
public:
    static constexpr int panelHeight = 320;
    static constexpr int screenMargin = 10;
    static constexpr int slideDurationMs = 200;

    PanelWindowController();
    ~PanelWindowController() override;

    void showPanel();
    void hidePanel();
    bool isVisible() const { return m_isVisible; }
    bool isFirstShow() const { return m_isFirstShow; }

    ClipboardDataManager* dataManager() const { return m_dataManager; }
    void setDataManager(ClipboardDataManager* manager) { m_dataManager = manager; }

    FloatingPanel* window() const { return m_window; }
    bool isSearchFieldExpanded() const { return m_isSearchFieldExpanded; }
    bool isSearchFieldAnimating() const { return m_isSearchFieldAnimating; }
    void applySearchFieldState(const QVariantMap& userInfo);
    // The application menu's commands behind Ctrl+, and Ctrl+Q while the panel shows: the panel
    // hides first, then the command runs.
    void setMenuCommands(std::function<void()> openSettings, std::function<void()> quit);

    // The key and press handling of the shown panel; true when the event was consumed.
    bool handleLocalKeyDown(QKeyEvent* event);
    bool handleClickOutside(const QPoint& globalPosition);
    // True when a press outside hid the panel less than `milliseconds` ago: a click on the tray icon
    // is such a press, seen before or after the icon's own toggle.
    bool wasHiddenByClickOutsideWithin(int milliseconds) const;

    // Frames for a screen geometry (top-left origin): where the panel rests, and where it slides
    // in from (just below the screen's bottom edge).
    static QRect shownFrame(const QRect& screen);
    static QRect hiddenFrame(const QRect& screen);
    static QScreen* targetScreen(const QPoint& pointer);

    // True while the keyboard grab is held and presses anywhere are watched (false where the
    // platform offers neither, as offscreen).
    bool hasGrabs() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void installEventMonitors();
    void removeEventMonitors();
    void tryGrab(int attemptsLeft);
    bool takeKeyboard();
    void releaseKeyboard();
    // False only when the X server says the panel is unmapped, or where it rests is mostly covered.
    bool isSeenOnScreen() const;
    void watchVisibility();
    void refreshContent();
    void handleClearHistory();
    void completeHide();

    QPointer<FloatingPanel> m_window;
    bool m_isVisible = false;
    bool m_isFirstShow = true;
    bool m_monitorsInstalled = false;
    bool m_keyboardGrabbed = false;
    GlobalPointerMonitor* m_clickMonitor = nullptr;
    quint64 m_grabSerial = 0;
    QTimer* m_visibilityWatch = nullptr;
    QRect m_restingFrame;
    int m_coveredChecks = 0;
    QPointer<ClipboardDataManager> m_dataManager;
    bool m_isSearchFieldExpanded = false;
    bool m_isSearchFieldAnimating = false;
    QPropertyAnimation* m_animation = nullptr;
    bool m_hiding = false;
    QElapsedTimer m_clickOutsideHide;
    QMetaObject::Connection m_firstPageLog;
    std::function<void()> m_openSettings;
    std::function<void()> m_quit;
};
