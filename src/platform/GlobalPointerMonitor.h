// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QPoint>

#include <functional>

// Sees left and right button presses anywhere on the display without taking them from the window
// they are meant for. The callback gets the pointer position at the time the press is seen. Main
// thread only.
class GlobalPointerMonitor : public QObject {
public:
    using PressHandler = std::function<void(const QPoint& globalPosition)>;

    // The real one (XInput2 raw events on an X connection of its own); inactive where there is no X
    // display.
    static GlobalPointerMonitor* create(PressHandler onPress, QObject* parent = nullptr);

    virtual bool isActive() const = 0;
    // No further callbacks; safe to call from inside the callback (delete later, not there).
    void stop() { m_stopped = true; }

protected:
    GlobalPointerMonitor(PressHandler onPress, QObject* parent) : QObject(parent), m_onPress(std::move(onPress)) {}
    bool isStopped() const { return m_stopped; }
    void deliver(const QPoint& globalPosition) {
        if (m_stopped)
            return;
        if (auto callback = m_onPress) // a copy: the callback may stop and release this monitor
            callback(globalPosition);
    }

private:
    PressHandler m_onPress;
    bool m_stopped = false;
};
