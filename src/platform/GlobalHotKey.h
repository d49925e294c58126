// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

#include <functional>
#include <map>
#include <memory>

// System-wide hot keys named the way the settings store them: a Carbon virtual key code and a
// Carbon modifier mask (Command 256, Shift 512, Option 2048, Control 4096). Main thread only.
//
// Like the application event target it stands in for, presses of every registered hot key go to
// every installed handler; a handler is told which hot key was pressed.
class GlobalHotKey {
public:
    using HotKeyRef = quint64; // 0 is never a valid reference
    using HandlerRef = quint64;
    using Handler = std::function<void(HotKeyRef)>;

    static constexpr quint32 commandMask = 256;
    static constexpr quint32 shiftMask = 512;
    static constexpr quint32 optionMask = 2048;
    static constexpr quint32 controlMask = 4096;
    // What the shortcut recorder accepts: a key of the key-code table with Ctrl, Alt or Super
    // (Shift may be added), or a function key F1-F12 with any of them or alone.
    static bool isUsableShortcut(quint32 keyCode, quint32 modifiers);

    // The real one (X11 key grabs on the root window) is created on first use; tests install another
    // before they build what they test.
    static GlobalHotKey& shared();
    static void setShared(std::unique_ptr<GlobalHotKey> hotKeys);

    virtual ~GlobalHotKey() = default;

    HandlerRef installHandler(Handler handler);
    void removeHandler(HandlerRef handler);

    // Registers the shortcut; 0 when it is refused: a key the layer cannot name, no display, or the
    // combination already taken by another client.
    virtual HotKeyRef registerHotKey(quint32 keyCode, quint32 modifiers) = 0;
    // Unknown or already removed references are ignored.
    virtual void unregisterHotKey(HotKeyRef hotKey) = 0;

    // The keysym printed on a key (its unshifted symbol, letters lower-case) from the scan code of
    // a key event; 0 when unknown. Recording a shortcut names keys this way, whatever is held.
    virtual quint32 keysymForScanCode(quint32) { return 0; }

protected:
    // Runs the installed handlers for a press; a handler removed by an earlier one is not run.
    void deliver(HotKeyRef hotKey);

private:
    std::map<HandlerRef, std::shared_ptr<Handler>> m_handlers;
    HandlerRef m_nextHandler = 1;
};
