// SPDX-License-Identifier: MIT
#include "platform/x11/SelectionOwnerWatch.h"

#include <QGuiApplication>
#include <QMetaObject>
#include <QSocketNotifier>

#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>
#include <xcb/xcb.h>

#include <cstdlib>

SelectionOwnerWatch::SelectionOwnerWatch(std::function<void()> ownerChanged) : m_ownerChanged(std::move(ownerChanged)) {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (!x11 || !x11->connection())
        return;
    const xcb_setup_t* setup = xcb_get_setup(x11->connection());
    m_qt = x11->connection();
    m_idBase = setup->resource_id_base;
    m_idMask = setup->resource_id_mask;
    Display* d = XOpenDisplay(nullptr);
    if (!d)
        return;
    int errorBase = 0;
    if (!XFixesQueryExtension(d, &m_eventBase, &errorBase)) {
        XCloseDisplay(d);
        return;
    }
    m_display = d;
    // A lost server must not end the process: the watch just stops.
    XSetIOErrorExitHandler(
        d, [](Display*, void* self) { static_cast<SelectionOwnerWatch*>(self)->m_broken = true; }, this);
    m_clipboard = XInternAtom(d, "CLIPBOARD", False);
    m_dndSelection = XInternAtom(d, "XdndSelection", False);
    XFixesSelectSelectionInput(d, DefaultRootWindow(d), m_clipboard,
                               XFixesSetSelectionOwnerNotifyMask | XFixesSelectionWindowDestroyNotifyMask |
                                   XFixesSelectionClientCloseNotifyMask);
    XFlush(d);
    m_notifier = std::make_unique<QSocketNotifier>(ConnectionNumber(d), QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &SelectionOwnerWatch::drain);
    // The pasteboard may outlive the application (and the X server with it): the connection goes
    // with the application.
    connect(qGuiApp, &QObject::destroyed, this, &SelectionOwnerWatch::close);
}

SelectionOwnerWatch::~SelectionOwnerWatch() {
    close();
}

void SelectionOwnerWatch::close() {
    m_notifier.reset();
    if (m_display)
        XCloseDisplay(m_display);
    m_display = nullptr;
}

bool SelectionOwnerWatch::isOurs(unsigned long window) const {
    return window != None && (window & ~m_idMask) == m_idBase;
}

void SelectionOwnerWatch::drain() {
    if (!isActive())
        return;
    bool foreign = false;
    while (XPending(m_display) && !m_broken) {
        XEvent event;
        XNextEvent(m_display, &event);
        if (event.type != m_eventBase + XFixesSelectionNotify)
            continue;
        const auto& notify = reinterpret_cast<const XFixesSelectionNotifyEvent&>(event);
        if (isOurs(notify.owner))
            m_qtOwner = notify.owner;
        else
            foreign = true;
    }
    if (m_broken)
        m_notifier->setEnabled(false);
    if (foreign && m_ownerChanged)
        m_ownerChanged();
}

bool SelectionOwnerWatch::weOwnClipboard() {
    if (!isActive())
        return true; // nothing to ask: Qt's word stands
    const Window owner = XGetSelectionOwner(m_display, m_clipboard);
    // The round trip may have queued events the socket notifier will not announce again.
    QMetaObject::invokeMethod(this, &SelectionOwnerWatch::drain, Qt::QueuedConnection);
    if (m_broken)
        return true;
    if (!isOurs(owner))
        return false;
    m_qtOwner = owner;
    return true;
}

bool SelectionOwnerWatch::takeClipboardForQt() {
    if (!isActive())
        return false;
    Window window = m_qtOwner;
    // Qt's drag source and its clipboard share one owner window.
    if (window == None) {
        const Window dnd = XGetSelectionOwner(m_display, m_dndSelection);
        if (isOurs(dnd))
            window = dnd;
    }
    if (window == None)
        return false;
    // On Qt's own connection: the server sends the selection's requests to the client that set
    // its owner, and Qt has to answer them.
    xcb_set_selection_owner(m_qt, xcb_window_t(window), xcb_atom_t(m_clipboard), XCB_CURRENT_TIME);
    // The reply comes after the request above was carried out.
    std::free(xcb_get_selection_owner_reply(m_qt, xcb_get_selection_owner(m_qt, xcb_atom_t(m_clipboard)), nullptr));
    return weOwnClipboard();
}
