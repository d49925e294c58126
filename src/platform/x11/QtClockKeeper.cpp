// SPDX-License-Identifier: MIT
#include "platform/x11/QtClockKeeper.h"

#include <QGuiApplication>
#include <QLoggingCategory>
#include <QMetaObject>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

Q_LOGGING_CATEGORY(lcClock, "tindralume.clock", QtWarningMsg)

namespace {

constexpr uint32_t kThirdOfTheClock = 0x55555555u;
constexpr int kRetryMs = 50;

// How far a is after b on the clock's circle (negative: before).
int32_t after(uint32_t a, uint32_t b) {
    return static_cast<int32_t>(a - b);
}

uint32_t internAtom(xcb_connection_t* c, const char* name) {
    xcb_intern_atom_reply_t* reply =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
    const uint32_t atom = reply ? reply->atom : uint32_t(XCB_ATOM_NONE);
    std::free(reply);
    return atom;
}

} // namespace

QtClockKeeper::QtClockKeeper(std::function<void()> settled) : m_settled(std::move(settled)) {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (!c || xcb_connection_has_error(c))
        return;
    const xcb_screen_iterator_t screens = xcb_setup_roots_iterator(xcb_get_setup(c));
    if (!screens.rem)
        return;
    m_root = screens.data->root;
    m_marker = internAtom(c, "_TINDRALUME_CLOCK");
    m_wmProtocols = internAtom(c, "WM_PROTOCOLS");
    m_takeFocus = internAtom(c, "WM_TAKE_FOCUS");
    m_syncRequest = internAtom(c, "_NET_WM_SYNC_REQUEST");
    // A window only Qt's connection hears about: the markers reach no other client.
    m_window = xcb_generate_id(c);
    const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(c, XCB_COPY_FROM_PARENT, m_window, m_root, -1, -1, 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK, &events);
    xcb_flush(c);
    m_c = c;
    m_retry.setSingleShot(true);
    connect(&m_retry, &QTimer::timeout, this, &QtClockKeeper::tryRepair);
    qGuiApp->installNativeEventFilter(this);
    // Qt's connection closes with the application, which the pasteboard may outlive.
    connect(qGuiApp, &QObject::destroyed, this, [this] {
        m_c = nullptr;
        m_retry.stop();
    });
}

QtClockKeeper::~QtClockKeeper() {
    if (!m_c)
        return;
    if (qGuiApp)
        qGuiApp->removeNativeEventFilter(this);
    xcb_destroy_window(m_c, m_window);
    xcb_flush(m_c);
}

void QtClockKeeper::repair() {
    if (!m_c)
        return;
    m_due = true;
    if (m_markersSeen < 0)
        QMetaObject::invokeMethod(this, &QtClockKeeper::tryRepair, Qt::QueuedConnection);
}

void QtClockKeeper::noteServerTime(uint32_t time) {
    if (m_haveServerTime && after(time, m_serverTime) <= 0)
        return;
    m_haveServerTime = true;
    m_serverTime = time;
    m_sinceServerTime.start();
}

void QtClockKeeper::noteClientTime(uint32_t time) {
    if (time == XCB_CURRENT_TIME)
        return;
    // Never later than the server's clock when it is one of the server's times.
    if (m_haveServerTime && after(time, m_serverTime + uint32_t(m_sinceServerTime.elapsed())) <= aheadSlackMs)
        return;
    qCDebug(lcClock) << "another client's time" << time << "is ahead of the server's clock, last seen at"
                     << m_serverTime;
    repair();
}

bool QtClockKeeper::onMarker(uint32_t& time) {
    if (m_markersSeen < 0) // left over from a repair of a keeper gone before
        return false;
    switch (m_markersSeen++) {
    case 0:
        m_firstMarkerTime = time;
        time = m_firstMarkerTime + kThirdOfTheClock;
        return true;
    case 1:
        time = m_firstMarkerTime + 2 * kThirdOfTheClock;
        return true;
    default:
        break;
    }
    // The last one keeps the server's time, which Qt takes after either of the others or neither.
    m_markersSeen = -1;
    qCDebug(lcClock) << "Qt's time is the server's again:" << time;
    noteServerTime(time);
    if (m_due)
        QMetaObject::invokeMethod(this, &QtClockKeeper::tryRepair, Qt::QueuedConnection);
    else if (m_settled)
        QMetaObject::invokeMethod(this, m_settled, Qt::QueuedConnection); // after Qt read this event
    return true;
}

void QtClockKeeper::tryRepair() {
    if (!m_c || !m_due || m_markersSeen >= 0)
        return;
    xcb_query_pointer_reply_t* pointer = xcb_query_pointer_reply(m_c, xcb_query_pointer(m_c, m_root), nullptr);
    const bool held = pointer && (pointer->mask & (XCB_BUTTON_MASK_1 | XCB_BUTTON_MASK_2 | XCB_BUTTON_MASK_3 |
                                                   XCB_BUTTON_MASK_4 | XCB_BUTTON_MASK_5));
    std::free(pointer);
    if (held) {
        m_retry.start(kRetryMs);
        return;
    }
    qCDebug(lcClock) << "bringing Qt's time back to the server's";
    m_due = false;
    m_markersSeen = 0;
    for (int i = 0; i < 3; ++i)
        xcb_change_property(m_c, XCB_PROP_MODE_APPEND, m_window, m_marker, XCB_ATOM_INTEGER, 32, 0, nullptr);
    xcb_flush(m_c);
}

bool QtClockKeeper::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    if (!m_c || eventType != "xcb_generic_event_t")
        return false;
    auto* event = static_cast<xcb_generic_event_t*>(message);
    const bool sent = event->response_type & 0x80;
    switch (event->response_type & 0x7f) {
    case XCB_KEY_PRESS:
    case XCB_KEY_RELEASE:
    case XCB_BUTTON_PRESS:
    case XCB_BUTTON_RELEASE:
    case XCB_MOTION_NOTIFY:
    case XCB_ENTER_NOTIFY:
    case XCB_LEAVE_NOTIFY:
        if (!sent)
            noteServerTime(reinterpret_cast<xcb_key_press_event_t*>(event)->time);
        break;
    case XCB_PROPERTY_NOTIFY: {
        auto* notify = reinterpret_cast<xcb_property_notify_event_t*>(event);
        if (!sent && notify->window == m_window && notify->atom == m_marker)
            onMarker(notify->time);
        else if (!sent)
            noteServerTime(notify->time);
        break;
    }
    // Times other clients choose.
    case XCB_SELECTION_REQUEST:
        noteClientTime(reinterpret_cast<xcb_selection_request_event_t*>(event)->time);
        break;
    case XCB_SELECTION_NOTIFY:
        noteClientTime(reinterpret_cast<xcb_selection_notify_event_t*>(event)->time);
        break;
    case XCB_CLIENT_MESSAGE: {
        auto* message = reinterpret_cast<xcb_client_message_event_t*>(event);
        if (message->format == 32 && message->type == m_wmProtocols &&
            (message->data.data32[0] == m_takeFocus || message->data.data32[0] == m_syncRequest))
            noteClientTime(message->data.data32[1]);
        break;
    }
    default:
        break;
    }
    return false; // Qt reads every event, some with their times moved
}
