// SPDX-License-Identifier: MIT
#include "platform/x11/XTestSyntheticKeys.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QLoggingCategory>
#include <QMimeData>
#include <QTimer>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {
Q_LOGGING_CATEGORY(lcKeys, "tindralume.platform.keys", QtWarningMsg)

constexpr int borrowedKeyHoldMs = 500;

// Puts the text of the clipboard we own on PRIMARY too. Only our own clipboard: reading another
// owner's would block the main thread on that client.
bool copyClipboardTextToPrimary() {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard || !clipboard->supportsSelection() || !clipboard->ownsClipboard())
        return false;
    const QMimeData* mime = clipboard->mimeData(QClipboard::Clipboard);
    if (!mime || !mime->hasText())
        return false;
    auto* copy = new QMimeData;
    copy->setText(mime->text());
    clipboard->setMimeData(copy, QClipboard::Selection);
    return clipboard->ownsSelection();
}

bool isDown(const char keys[32], KeyCode code) {
    return (keys[code / 8] >> (code % 8)) & 1;
}

// The keyboard mapping as the server has it now. Xlib's own lookup (XKeysymToKeycode) answers from
// a copy refreshed only by events this connection never reads, so a layout switch would go unseen.
struct KeyboardMapping {
    int minCode = 0, maxCode = 0, perCode = 0;
    KeySym* syms = nullptr;

    explicit KeyboardMapping(Display* dpy) {
        XDisplayKeycodes(dpy, &minCode, &maxCode);
        syms = XGetKeyboardMapping(dpy, static_cast<KeyCode>(minCode), maxCode - minCode + 1, &perCode);
    }
    ~KeyboardMapping() {
        if (syms)
            XFree(syms);
    }
    KeySym at(int code, int column) const { return syms[(code - minCode) * perCode + column]; }
    // The first key code carrying the symbol in any column; 0 when none does.
    KeyCode find(KeySym sym) const {
        for (int code = minCode; syms && code <= maxCode; ++code) {
            for (int i = 0; i < perCode; ++i) {
                if (at(code, i) == sym)
                    return static_cast<KeyCode>(code);
            }
        }
        return 0;
    }
    // A key code with no symbols at all, free to carry one for a moment; 0 when there is none.
    KeyCode unused() const {
        for (int code = maxCode; syms && code >= minCode; --code) {
            bool empty = true;
            for (int i = 0; i < perCode && empty; ++i)
                empty = at(code, i) == NoSymbol;
            if (empty)
                return static_cast<KeyCode>(code);
        }
        return 0;
    }
};
} // namespace

struct XTestSyntheticKeys::Connection {
    Display* dpy = nullptr;
    bool tried = false;
    bool xtest = false;
    bool xwayland = false;

    ~Connection() {
        if (dpy)
            XCloseDisplay(dpy);
    }
    void clearKey(KeyCode code) {
        KeySym none = NoSymbol;
        XChangeKeyboardMapping(dpy, code, 1, &none, 1);
        XFlush(dpy);
    }
    bool open() {
        if (!tried) {
            tried = true;
            dpy = XOpenDisplay(nullptr);
            if (dpy) {
                int event = 0, error = 0, major = 0, minor = 0, opcode = 0;
                xtest = XTestQueryExtension(dpy, &event, &error, &major, &minor);
                // XWayland passes XTest events to its own X clients only, never to native windows.
                xwayland = XQueryExtension(dpy, "XWAYLAND", &opcode, &event, &error);
            }
        }
        return dpy != nullptr;
    }
};

XTestSyntheticKeys::XTestSyntheticKeys() : m_x(std::make_shared<Connection>()) {}

XTestSyntheticKeys::~XTestSyntheticKeys() = default;

bool XTestSyntheticKeys::isTrusted() {
    if (!m_x->open())
        return false;
    const bool waylandSession = !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
    return m_x->xtest && !m_x->xwayland && !waylandSession;
}

std::optional<SyntheticKeys::FrontWindow> XTestSyntheticKeys::frontWindow() {
    const auto info = m_workspace.activeWindowInfo();
    if (!info)
        return std::nullopt;
    return FrontWindow{info->window, info->wmInstance, info->wmClass};
}

bool XTestSyntheticKeys::postPaste(const FrontWindow& target) {
    if (!isTrusted())
        return false;
    Display* dpy = m_x->dpy;
    const KeyboardMapping mapping(dpy);
    const PasteChord chord = pasteChord(target);
    const bool fromPrimary = chord == PasteChord::ShiftInsertFromPrimary;
    const KeyCode control = mapping.find(XK_Control_L);
    const KeyCode shift = mapping.find(XK_Shift_L);
    const KeyCode insert = mapping.find(XK_Insert);
    if (fromPrimary ? (!shift || !insert) : (!control || (chord == PasteChord::ControlShiftV && !shift))) {
        qCWarning(lcKeys) << "no key code for the paste chord";
        return false;
    }
    // Without the text on PRIMARY, Shift+Insert would paste whatever was selected last: send nothing.
    if (fromPrimary && !copyClipboardTextToPrimary()) {
        qCWarning(lcKeys) << "xterm pastes only the primary selection, and it could not be set; not pasting";
        return false;
    }
    KeyCode v = fromPrimary ? 0 : mapping.find(XK_v);
    KeyCode borrowed = 0;
    if (!fromPrimary && !v) {
        // A layout without Latin letters (ru alone): applications would read its V-position key as a
        // Cyrillic letter, not as V. A free key code carries "v" for the chord and is cleared after.
        borrowed = mapping.unused();
        if (!borrowed) {
            qCWarning(lcKeys) << "no key code for the paste chord";
            return false;
        }
        KeySym v_and_V[2] = {XK_v, XK_V};
        XChangeKeyboardMapping(dpy, borrowed, 2, v_and_V, 1);
        XSync(dpy, False);
        v = borrowed;
    }
    qCDebug(lcKeys) << "paste chord" << int(chord) << "for" << target.wmInstance << target.wmClass;
    // A modifier the user still holds (the plain-text modifier, typically) would turn the chord into
    // another shortcut: release every held modifier key in the synthetic stream first.
    char keys[32] = {};
    XQueryKeymap(dpy, keys);
    if (XModifierKeymap* map = XGetModifierMapping(dpy)) {
        for (int i = 0; i < 8 * map->max_keypermod; ++i) {
            const KeyCode code = map->modifiermap[i];
            if (code && isDown(keys, code))
                XTestFakeKeyEvent(dpy, code, False, CurrentTime);
        }
        XFreeModifiermap(map);
    }
    const bool withControl = !fromPrimary;
    const bool withShift = chord != PasteChord::ControlV;
    const KeyCode key = fromPrimary ? insert : v;
    if (withControl)
        XTestFakeKeyEvent(dpy, control, True, CurrentTime);
    if (withShift)
        XTestFakeKeyEvent(dpy, shift, True, CurrentTime);
    XTestFakeKeyEvent(dpy, key, True, CurrentTime);
    XTestFakeKeyEvent(dpy, key, False, CurrentTime);
    if (withShift)
        XTestFakeKeyEvent(dpy, shift, False, CurrentTime);
    if (withControl)
        XTestFakeKeyEvent(dpy, control, False, CurrentTime);
    XFlush(dpy);
    if (borrowed) {
        // Cleared once the target has read the key: a client that gets the mapping change before the
        // strokes would read something else.
        std::weak_ptr<Connection> connection = m_x;
        QTimer::singleShot(borrowedKeyHoldMs, [connection, borrowed] {
            if (auto x = connection.lock())
                x->clearKey(borrowed);
        });
    }
    return true;
}
