// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <memory>
#include <optional>

// Synthetic key strokes into the application in front. Main thread only.
class SyntheticKeys {
public:
    // A window as the paste path needs to know it: its id and its WM_CLASS parts.
    struct FrontWindow {
        quint64 window = 0;
        QString wmInstance;
        QString wmClass;
        bool operator==(const FrontWindow& other) const { return window == other.window; }
    };

    virtual ~SyntheticKeys() = default;

    // The real one (XTest) is created on first use; tests install another.
    static SyntheticKeys& shared();
    static void setShared(std::unique_ptr<SyntheticKeys> keys);

    // Whether strokes can reach other applications at all (the XTest extension on a native X server).
    virtual bool isTrusted() = 0;
    // The window that has the keyboard focus now; none without one.
    virtual std::optional<FrontWindow> frontWindow() = 0;
    // Sends the paste chord of the given window (see pasteChord). Modifiers still held are released
    // first. False when nothing could be sent.
    virtual bool postPaste(const FrontWindow& target) = 0;

    enum class PasteChord {
        ControlV,
        // Terminal emulators take Ctrl+V as a control character; most paste CLIPBOARD on Ctrl+Shift+V.
        ControlShiftV,
        // xterm binds no key to CLIPBOARD by default (Ctrl+Shift+V sends ^V); Shift+Insert pastes
        // PRIMARY, so the clipboard's text is put on PRIMARY first.
        ShiftInsertFromPrimary,
    };
    static PasteChord pasteChord(const FrontWindow& window);
};
