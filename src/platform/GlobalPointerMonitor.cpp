// SPDX-License-Identifier: MIT
#include "platform/GlobalPointerMonitor.h"

#include "platform/x11/X11GlobalPointerMonitor.h"

GlobalPointerMonitor* GlobalPointerMonitor::create(PressHandler onPress, QObject* parent) {
    return new X11GlobalPointerMonitor(std::move(onPress), parent);
}
