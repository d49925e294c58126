// SPDX-License-Identifier: MIT
#include "platform/x11/XTestSyntheticKeys.h"

#include <QLoggingCategory>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <cstring>

namespace {
Q_LOGGING_CATEGORY(lcKeys, "tindralume.platform.keys", QtWarningMsg)

bool isDown(const char keys[32], KeyCode code) {
    return (keys[code / 8] >> (code % 8)) & 1;
}

// The key that types "v" in some group of the keymap; under a layout without Latin letters (ru
// alone) the key at the V position (XKB name AB04), which applications read as V for shortcuts.
KeyCode keyCodeForV(Display* dpy) {
    if (const KeyCode code = XKeysymToKeycode(dpy, XK_v))
        return code;
    KeyCode found = 0;
    XkbDescPtr desc = XkbGetMap(dpy, 0, XkbUseCoreKbd);
    if (!desc)
        return 0;
    if (XkbGetNames(dpy, XkbKeyNamesMask, desc) == Success && desc->names && desc->names->keys) {
        for (int code = desc->min_key_code; code <= desc->max_key_code && !found; ++code) {
            if (std::strncmp(desc->names->keys[code].name, "AB04", XkbKeyNameLength) == 0)
                found = static_cast<KeyCode>(code);
        }
    }
    XkbFreeKeyboard(desc, 0, True);
    return found;
}
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

XTestSyntheticKeys::XTestSyntheticKeys() : m_x(std::make_unique<Connection>()) {}

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
    const KeyCode v = keyCodeForV(dpy);
    const KeyCode control = XKeysymToKeycode(dpy, XK_Control_L);
    const KeyCode shift = XKeysymToKeycode(dpy, XK_Shift_L);
    const bool terminal = isTerminalEmulator(target);
    if (!v || !control || (terminal && !shift)) {
        qCWarning(lcKeys) << "no key code for the paste chord";
        return false;
    }
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
    XTestFakeKeyEvent(dpy, control, True, CurrentTime);
    if (terminal)
        XTestFakeKeyEvent(dpy, shift, True, CurrentTime);
    XTestFakeKeyEvent(dpy, v, True, CurrentTime);
    XTestFakeKeyEvent(dpy, v, False, CurrentTime);
    if (terminal)
        XTestFakeKeyEvent(dpy, shift, False, CurrentTime);
    XTestFakeKeyEvent(dpy, control, False, CurrentTime);
    XFlush(dpy);
    return true;
}
