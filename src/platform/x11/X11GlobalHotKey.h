// SPDX-License-Identifier: MIT
#pragma once

#include "platform/GlobalHotKey.h"

#include <QObject>
#include <QTimer>

#include <memory>
#include <optional>
#include <vector>

// Hot keys as passive key grabs on the root window, on Qt's own X connection. Each shortcut is
// grabbed four times (plain, with NumLock, with CapsLock, with both) so the lock keys do not
// disable it. Presses reach the handlers through a native event filter, queued to the main loop.
class X11GlobalHotKey : public GlobalHotKey {
public:
    X11GlobalHotKey();
    ~X11GlobalHotKey() override;

    HotKeyRef registerHotKey(quint32 keyCode, quint32 modifiers) override;
    void unregisterHotKey(HotKeyRef hotKey) override;

    // The X keysym of a Carbon virtual key code; 0 for a key the table does not know.
    static quint32 keysymForKeyCode(quint32 keyCode);
    quint32 keysymForScanCode(quint32 scanCode) override;
    // The X core modifier bits of a Carbon modifier mask (Command is Super on Mod4, Option is Alt on
    // Mod1); bits other than the four modifiers are ignored.
    static quint16 modifiersForCarbonMask(quint32 modifiers);

    // Called by the event filter with the fields of a core key event; true when it was ours.
    bool handleKeyEvent(bool press, quint8 keycode, quint16 state, quint32 time);
    // Called by the event filter when a keyboard grab of this client ends or starts on a window.
    void keyboardGrabEnded();
    void keyboardGrabStarted(quint32 window);

private:
    class EventFilter;
    struct Grab {
        HotKeyRef ref = 0;
        quint8 keycode = 0;
        quint16 modifiers = 0;
        quint16 lockMasks = 0; // NumLock and CapsLock bits at the time of the grab
        std::vector<quint16> variants;
        bool down = false;
        quint32 lastReleaseTime = 0;
        quint64 events = 0;                 // presses and releases of this key handled so far
        std::optional<quint64> suspectedAt; // events when the key map last showed the key up
    };

    bool ensureConnection();
    void ungrab(const Grab& grab);
    void checkHeldKeys();
    void releaseKeyboardIfIdle();
    bool anyKeyDown() const;

    void* m_connection = nullptr; // xcb_connection_t, owned by Qt
    std::unique_ptr<EventFilter> m_filter;
    std::unique_ptr<QObject> m_context; // queued deliveries die with this object
    QTimer* m_releaseWatch = nullptr;   // child of m_context
    std::vector<Grab> m_grabs;
    bool m_holdingKeyboard = false; // held on the root window until a shortcut key comes up
    HotKeyRef m_nextRef = 1;
};
