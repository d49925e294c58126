// SPDX-License-Identifier: MIT
#include "platform/x11/X11GlobalPointerMonitor.h"

#include <QGuiApplication>
#include <QSocketNotifier>

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>

struct X11GlobalPointerMonitor::Private {
    Display* display = nullptr;
    int xiOpcode = 0;
    QSocketNotifier* notifier = nullptr;
};

X11GlobalPointerMonitor::X11GlobalPointerMonitor(PressHandler onPress, QObject* parent)
    : GlobalPointerMonitor(std::move(onPress), parent), d(std::make_unique<Private>()) {
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return;
    d->display = XOpenDisplay(nullptr);
    if (!d->display)
        return;
    int event = 0, error = 0, major = 2, minor = 0;
    if (!XQueryExtension(d->display, "XInputExtension", &d->xiOpcode, &event, &error) ||
        XIQueryVersion(d->display, &major, &minor) != Success) {
        XCloseDisplay(d->display);
        d->display = nullptr;
        return;
    }
    unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
    XISetMask(bits, XI_RawButtonPress);
    XIEventMask mask;
    mask.deviceid = XIAllMasterDevices;
    mask.mask_len = sizeof(bits);
    mask.mask = bits;
    XISelectEvents(d->display, DefaultRootWindow(d->display), &mask, 1);
    XFlush(d->display);
    d->notifier = new QSocketNotifier(ConnectionNumber(d->display), QSocketNotifier::Read, this);
    connect(d->notifier, &QSocketNotifier::activated, this, [this] { readEvents(); });
}

X11GlobalPointerMonitor::~X11GlobalPointerMonitor() {
    delete d->notifier;
    if (d->display)
        XCloseDisplay(d->display);
}

bool X11GlobalPointerMonitor::isActive() const {
    return d->display != nullptr;
}

void X11GlobalPointerMonitor::readEvents() {
    while (!isStopped() && d->display && XPending(d->display) > 0) {
        XEvent event;
        XNextEvent(d->display, &event);
        XGenericEventCookie* cookie = &event.xcookie;
        if (cookie->type != GenericEvent || cookie->extension != d->xiOpcode || !XGetEventData(d->display, cookie))
            continue;
        int button = 0;
        if (cookie->evtype == XI_RawButtonPress)
            button = static_cast<XIRawEvent*>(cookie->data)->detail;
        XFreeEventData(d->display, cookie);
        if (button != Button1 && button != Button3) // left and right; wheels and the middle button are not clicks here
            continue;
        Window root = 0, child = 0;
        int rootX = 0, rootY = 0, winX = 0, winY = 0;
        unsigned int modifiers = 0;
        if (!XQueryPointer(d->display, DefaultRootWindow(d->display), &root, &child, &rootX, &rootY, &winX, &winY,
                           &modifiers))
            continue;
        deliver(QPoint(rootX, rootY));
    }
}
