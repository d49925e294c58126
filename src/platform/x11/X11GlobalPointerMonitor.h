// SPDX-License-Identifier: MIT
#pragma once

#include "platform/GlobalPointerMonitor.h"

#include <memory>

// XInput2 raw button presses on the root window, read from an X connection of its own.
class X11GlobalPointerMonitor : public GlobalPointerMonitor {
public:
    explicit X11GlobalPointerMonitor(PressHandler onPress, QObject* parent = nullptr);
    ~X11GlobalPointerMonitor() override;

    bool isActive() const override;

private:
    void readEvents();
    struct Private;
    std::unique_ptr<Private> d;
};
