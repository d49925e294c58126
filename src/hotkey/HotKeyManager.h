// SPDX-License-Identifier: MIT
#pragma once

#include "platform/GlobalHotKey.h"

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

// The one system-wide shortcut that toggles the panel: registered from the stored "hotKeyCode" and
// "hotKeyModifiers" (Command-Shift-V when absent) and registered anew on "hotKeyDidChange".
// Main thread only.
class HotKeyManager {
public:
    static constexpr quint32 defaultKeyCode = 9;     // V
    static constexpr quint32 defaultModifiers = 768; // Command + Shift
    static inline const QString registrationFailedLine = QStringLiteral("hot_key_registration_failed");
    // The shortcut to register for stored values: the default one, with a line saying why, for
    // values the recorder would refuse.
    static std::pair<quint32, quint32> usableShortcut(quint32 keyCode, quint32 modifiers);

    // Uses the hot-key layer that is shared at construction time.
    HotKeyManager();
    explicit HotKeyManager(GlobalHotKey& hotKeys);
    ~HotKeyManager();
    HotKeyManager(const HotKeyManager&) = delete;
    HotKeyManager& operator=(const HotKeyManager&) = delete;

    // Stores the callback, registers the stored shortcut and starts observing "hotKeyDidChange".
    // The callback runs on the main thread once per press.
    void setup(std::function<void()> callback);
    // Drops the current shortcut and registers the stored one; absent keys read as 0 here.
    void reregister();
    // Prints "hot_key_registration_failed" when the shortcut is refused; no hot key is left then.
    void registerHotKey(quint32 keyCode, quint32 modifiers);

    bool isRegistered() const { return hotKeyRef.has_value(); }

    // While a new shortcut is recorded the current one is released, so pressing it reaches the
    // recorder instead of toggling the panel. resume() registers the stored one again; so does a
    // "hotKeyDidChange" in between.
    void suspend();
    void resume();
    bool isSuspended() const { return suspended; }

    // A stored key code or mask: none when the key is absent, not a number, or outside 0..4294967295
    // (a hand-edited settings file must not reach the key grab).
    static std::optional<quint32> storedValue(const QString& key);

private:
    void handleHotKeyChange();

    GlobalHotKey& hotKeys;
    std::optional<GlobalHotKey::HotKeyRef> hotKeyRef;
    std::optional<GlobalHotKey::HandlerRef> eventHandler;
    std::function<void()> callback;
    bool suspended = false;
    std::unique_ptr<QObject> observerOwner; // notification observers end with the manager
};
