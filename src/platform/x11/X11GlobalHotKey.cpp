// SPDX-License-Identifier: MIT
#include "platform/x11/X11GlobalHotKey.h"

#include "platform/Dispatch.h"
#include "platform/KeyCodes.h"

#include <QAbstractNativeEventFilter>
#include <QGuiApplication>
#include <QLoggingCategory>

#include <xcb/xcb.h>

#include <algorithm>
#include <cstdlib>

Q_LOGGING_CATEGORY(lcHotKey, "tindralume.platform.hotkey", QtWarningMsg)

namespace {

constexpr quint32 keysymNumLock = 0xff7f;
constexpr quint8 badAccess = 10;

xcb_connection_t* qtConnection() {
    if (!qGuiApp)
        return nullptr;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    return x11 ? x11->connection() : nullptr;
}

std::vector<xcb_window_t> rootWindows(xcb_connection_t* c) {
    std::vector<xcb_window_t> roots;
    for (auto it = xcb_setup_roots_iterator(xcb_get_setup(c)); it.rem; xcb_screen_next(&it))
        roots.push_back(it.data->root);
    return roots;
}

// Keycodes carrying a keysym anywhere in their row, those with it in the first column first.
std::vector<xcb_keycode_t> keycodesFor(xcb_connection_t* c, xcb_keysym_t keysym) {
    const xcb_setup_t* setup = xcb_get_setup(c);
    const int first = setup->min_keycode;
    const int count = setup->max_keycode - setup->min_keycode + 1;
    std::vector<xcb_keycode_t> primary;
    std::vector<xcb_keycode_t> secondary;
    xcb_get_keyboard_mapping_reply_t* reply =
        xcb_get_keyboard_mapping_reply(c, xcb_get_keyboard_mapping(c, xcb_keycode_t(first), quint8(count)), nullptr);
    if (!reply)
        return {};
    const int perKey = reply->keysyms_per_keycode;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(reply);
    const int length = xcb_get_keyboard_mapping_keysyms_length(reply);
    // Letters are listed by their lower-case keysym; some maps list only the upper case.
    const xcb_keysym_t upper = (keysym >= 'a' && keysym <= 'z') ? keysym - 32 : keysym;
    for (int k = 0; perKey > 0 && k < count && (k + 1) * perKey <= length; ++k) {
        for (int col = 0; col < perKey; ++col) {
            const xcb_keysym_t s = syms[k * perKey + col];
            if (s == keysym || s == upper) {
                (col == 0 ? primary : secondary).push_back(xcb_keycode_t(first + k));
                break;
            }
        }
    }
    std::free(reply);
    primary.insert(primary.end(), secondary.begin(), secondary.end());
    return primary;
}

// The ModN bit the server assigns to NumLock (Mod2 on nearly every layout).
quint16 numLockMask(xcb_connection_t* c) {
    const std::vector<xcb_keycode_t> numLock = keycodesFor(c, keysymNumLock);
    quint16 mask = 0;
    xcb_get_modifier_mapping_reply_t* reply = xcb_get_modifier_mapping_reply(c, xcb_get_modifier_mapping(c), nullptr);
    if (reply) {
        const int perMod = reply->keycodes_per_modifier;
        const xcb_keycode_t* codes = xcb_get_modifier_mapping_keycodes(reply);
        for (int mod = 0; mod < 8 && !mask; ++mod) {
            for (int i = 0; i < perMod; ++i) {
                const xcb_keycode_t code = codes[mod * perMod + i];
                if (code && std::find(numLock.begin(), numLock.end(), code) != numLock.end()) {
                    mask = quint16(1u << mod);
                    break;
                }
            }
        }
        std::free(reply);
    }
    return mask ? mask : quint16(XCB_MOD_MASK_2);
}

} // namespace

class X11GlobalHotKey::EventFilter : public QAbstractNativeEventFilter {
public:
    explicit EventFilter(X11GlobalHotKey* owner) : m_owner(owner) {}
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) override {
        if (eventType != "xcb_generic_event_t" || !message)
            return false;
        const auto* event = static_cast<const xcb_generic_event_t*>(message);
        const quint8 type = event->response_type & 0x7f;
        if (type == XCB_FOCUS_OUT || type == XCB_FOCUS_IN) {
            const auto* focus = static_cast<const xcb_focus_in_event_t*>(message);
            if (type == XCB_FOCUS_OUT && focus->mode == XCB_NOTIFY_MODE_UNGRAB)
                m_owner->keyboardGrabEnded();
            else if (type == XCB_FOCUS_IN && focus->mode == XCB_NOTIFY_MODE_GRAB)
                m_owner->keyboardGrabStarted(focus->event);
            return false;
        }
        if (type != XCB_KEY_PRESS && type != XCB_KEY_RELEASE)
            return false;
        const auto* key = static_cast<const xcb_key_press_event_t*>(message);
        return m_owner->handleKeyEvent(type == XCB_KEY_PRESS, key->detail, key->state, key->time);
    }

private:
    X11GlobalHotKey* m_owner;
};

X11GlobalHotKey::X11GlobalHotKey() : m_context(std::make_unique<QObject>()) {
    m_releaseWatch = new QTimer(m_context.get());
    m_releaseWatch->setInterval(100);
    QObject::connect(m_releaseWatch, &QTimer::timeout, m_context.get(), [this] { checkHeldKeys(); });
}

X11GlobalHotKey::~X11GlobalHotKey() {
    // At process exit Qt's connection may already be gone; the server drops our grabs with it.
    if (m_connection && qtConnection() == m_connection) {
        for (const Grab& grab : m_grabs)
            ungrab(grab);
        if (m_holdingKeyboard)
            xcb_ungrab_keyboard(static_cast<xcb_connection_t*>(m_connection), XCB_CURRENT_TIME);
        xcb_flush(static_cast<xcb_connection_t*>(m_connection));
    }
    if (m_filter && QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(m_filter.get());
}

quint32 X11GlobalHotKey::keysymForKeyCode(quint32 keyCode) {
    return KeyCodes::keysymForKeyCode(keyCode);
}

quint32 X11GlobalHotKey::keysymForScanCode(quint32 scanCode) {
    xcb_connection_t* c = qtConnection();
    if (!c || xcb_connection_has_error(c) || scanCode > 255)
        return 0;
    const xcb_setup_t* setup = xcb_get_setup(c);
    if (scanCode < setup->min_keycode || scanCode > setup->max_keycode)
        return 0;
    xcb_get_keyboard_mapping_reply_t* reply =
        xcb_get_keyboard_mapping_reply(c, xcb_get_keyboard_mapping(c, xcb_keycode_t(scanCode), 1), nullptr);
    if (!reply)
        return 0;
    quint32 keysym = 0;
    if (reply->keysyms_per_keycode > 0 && xcb_get_keyboard_mapping_keysyms_length(reply) > 0)
        keysym = xcb_get_keyboard_mapping_keysyms(reply)[0];
    std::free(reply);
    // Some maps list a letter only by its upper case.
    return (keysym >= 'A' && keysym <= 'Z') ? keysym + 32 : keysym;
}

quint16 X11GlobalHotKey::modifiersForCarbonMask(quint32 modifiers) {
    quint16 mask = 0;
    if (modifiers & commandMask)
        mask |= XCB_MOD_MASK_4;
    if (modifiers & shiftMask)
        mask |= XCB_MOD_MASK_SHIFT;
    if (modifiers & optionMask)
        mask |= XCB_MOD_MASK_1;
    if (modifiers & controlMask)
        mask |= XCB_MOD_MASK_CONTROL;
    return mask;
}

bool X11GlobalHotKey::ensureConnection() {
    xcb_connection_t* c = qtConnection();
    if (!c || xcb_connection_has_error(c))
        return false;
    if (m_connection != c) {
        m_connection = c;
        m_grabs.clear(); // grabs made on another connection died with it
    }
    if (!m_filter) {
        m_filter = std::make_unique<EventFilter>(this);
        QCoreApplication::instance()->installNativeEventFilter(m_filter.get());
    }
    return true;
}

GlobalHotKey::HotKeyRef X11GlobalHotKey::registerHotKey(quint32 keyCode, quint32 modifiers) {
    const quint32 keysym = keysymForKeyCode(keyCode);
    if (!keysym) {
        qCInfo(lcHotKey) << "no X key for key code" << keyCode;
        return 0;
    }
    if (!ensureConnection()) {
        qCInfo(lcHotKey) << "no X connection";
        return 0;
    }
    auto* c = static_cast<xcb_connection_t*>(m_connection);
    const std::vector<xcb_keycode_t> keycodes = keycodesFor(c, keysym);
    if (keycodes.empty()) {
        qCInfo(lcHotKey) << "keysym" << Qt::hex << keysym << "is not on the keyboard";
        return 0;
    }

    Grab grab;
    grab.keycode = keycodes.front();
    grab.modifiers = modifiersForCarbonMask(modifiers);
    const quint16 numLock = numLockMask(c);
    grab.lockMasks = quint16(numLock | XCB_MOD_MASK_LOCK);
    for (quint16 v : {quint16(0), numLock, quint16(XCB_MOD_MASK_LOCK), quint16(numLock | XCB_MOD_MASK_LOCK)}) {
        if (std::find(grab.variants.begin(), grab.variants.end(), v) == grab.variants.end())
            grab.variants.push_back(v);
    }
    // A second grab of the same combination on our own connection would silently replace the first.
    for (const Grab& other : m_grabs) {
        if (other.keycode == grab.keycode && other.modifiers == grab.modifiers)
            return 0;
    }

    std::vector<xcb_void_cookie_t> cookies;
    for (xcb_window_t root : rootWindows(c)) {
        for (quint16 variant : grab.variants) {
            cookies.push_back(xcb_grab_key_checked(c, 1, root, quint16(grab.modifiers | variant), grab.keycode,
                                                   XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC));
        }
    }
    bool refused = false;
    for (const xcb_void_cookie_t& cookie : cookies) {
        if (xcb_generic_error_t* error = xcb_request_check(c, cookie)) {
            qCInfo(lcHotKey) << "grab refused, X error" << error->error_code
                             << (error->error_code == badAccess ? "(held by another client)" : "");
            refused = true;
            std::free(error);
        }
    }
    if (refused) {
        // Only our own grabs can be released, so this leaves the other client's alone.
        ungrab(grab);
        xcb_flush(c);
        return 0;
    }
    grab.ref = m_nextRef++;
    m_grabs.push_back(grab);
    return grab.ref;
}

void X11GlobalHotKey::unregisterHotKey(HotKeyRef hotKey) {
    const auto it = std::find_if(m_grabs.begin(), m_grabs.end(), [&](const Grab& g) { return g.ref == hotKey; });
    if (it == m_grabs.end())
        return;
    if (qtConnection() == m_connection && m_connection) {
        ungrab(*it);
        xcb_flush(static_cast<xcb_connection_t*>(m_connection));
    }
    m_grabs.erase(it);
}

// A release can go to another client: when the shortcut is pressed while a window of ours holds
// the keyboard and that window lets go before the key comes up. Without this check the next real
// press would pass for auto-repeat and be dropped.
void X11GlobalHotKey::checkHeldKeys() {
    auto* c = static_cast<xcb_connection_t*>(m_connection);
    bool anyDown = false;
    if (c) {
        xcb_query_keymap_reply_t* reply = xcb_query_keymap_reply(c, xcb_query_keymap(c), nullptr);
        for (Grab& grab : m_grabs) {
            if (!grab.down)
                continue;
            const bool held = !reply || (reply->keys[grab.keycode / 8] & (1 << (grab.keycode % 8)));
            // The key map is the server's state now, possibly ahead of events still queued for us
            // (auto-repeats of a key released since). Only a release seen on two checks in a row,
            // with none of this key's events in between, is taken as lost.
            if (held) {
                grab.suspectedAt.reset();
            } else if (grab.suspectedAt == grab.events) {
                grab.down = false;
                grab.suspectedAt.reset();
            } else {
                grab.suspectedAt = grab.events;
            }
            anyDown = anyDown || grab.down;
        }
        std::free(reply);
    }
    if (!anyDown)
        m_releaseWatch->stop();
    releaseKeyboardIfIdle();
}

// A keyboard grab of ours (the panel's) ended while a shortcut key was down: the key's release now
// goes to the focused window, and without it the next real press would pass for auto-repeat. Holding
// the keyboard until the key comes up is what the key's own passive grab would have done.
void X11GlobalHotKey::keyboardGrabEnded() {
    auto* c = static_cast<xcb_connection_t*>(m_connection);
    if (!c || m_holdingKeyboard || !anyKeyDown() || qtConnection() != c)
        return;
    const std::vector<xcb_window_t> roots = rootWindows(c);
    if (roots.empty())
        return;
    xcb_grab_keyboard_reply_t* grabbed = xcb_grab_keyboard_reply(
        c, xcb_grab_keyboard(c, 0, roots.front(), XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC), nullptr);
    m_holdingKeyboard = grabbed && grabbed->status == XCB_GRAB_STATUS_SUCCESS;
    std::free(grabbed);
    if (!m_holdingKeyboard)
        return; // another client holds the keyboard; the key-map watch still notices the release
    // A release from now on comes to us; one that came before the grab shows in the key map.
    xcb_query_keymap_reply_t* keys = xcb_query_keymap_reply(c, xcb_query_keymap(c), nullptr);
    if (keys) {
        for (Grab& grab : m_grabs) {
            if (grab.down && !(keys->keys[grab.keycode / 8] & (1 << (grab.keycode % 8)))) {
                grab.down = false;
                ++grab.events;
            }
        }
        std::free(keys);
    }
    releaseKeyboardIfIdle();
}

bool X11GlobalHotKey::anyKeyDown() const {
    return std::any_of(m_grabs.begin(), m_grabs.end(), [](const Grab& g) { return g.down; });
}

void X11GlobalHotKey::keyboardGrabStarted(quint32 window) {
    // A window of ours took the keyboard over from the grab above: releasing ours would end its grab.
    auto* c = static_cast<xcb_connection_t*>(m_connection);
    if (m_holdingKeyboard && c) {
        const std::vector<xcb_window_t> roots = rootWindows(c);
        if (std::find(roots.begin(), roots.end(), window) == roots.end())
            m_holdingKeyboard = false;
    }
}

void X11GlobalHotKey::releaseKeyboardIfIdle() {
    auto* c = static_cast<xcb_connection_t*>(m_connection);
    if (!m_holdingKeyboard || !c || anyKeyDown())
        return;
    m_holdingKeyboard = false;
    if (qtConnection() != c)
        return;
    xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
    xcb_flush(c);
}

void X11GlobalHotKey::ungrab(const Grab& grab) {
    auto* c = static_cast<xcb_connection_t*>(m_connection);
    for (xcb_window_t root : rootWindows(c)) {
        for (quint16 variant : grab.variants)
            xcb_ungrab_key(c, grab.keycode, root, quint16(grab.modifiers | variant));
    }
}

bool X11GlobalHotKey::handleKeyEvent(bool press, quint8 keycode, quint16 state, quint32 time) {
    for (Grab& grab : m_grabs) {
        if (grab.keycode != keycode)
            continue;
        if (!press) {
            if (!grab.down)
                continue;
            grab.down = false;
            grab.lastReleaseTime = time;
            ++grab.events;
            releaseKeyboardIfIdle();
            return true;
        }
        // Only the eight core modifier bits count; the lock keys and the keyboard group do not.
        const quint16 modifiers = quint16(state & 0xff & ~grab.lockMasks);
        if (modifiers != grab.modifiers)
            continue;
        // Auto-repeat shows as presses without releases, or as release/press pairs with one time stamp.
        const bool repeat = grab.down || (grab.lastReleaseTime != 0 && time == grab.lastReleaseTime);
        grab.down = true;
        ++grab.events;
        m_releaseWatch->start();
        if (!repeat) {
            const HotKeyRef ref = grab.ref;
            Dispatch::onMain(m_context.get(), [this, ref] { deliver(ref); });
        }
        return true;
    }
    return false;
}
