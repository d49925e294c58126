// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <QPoint>

#include <functional>
#include <memory>

// Sees left and right button presses anywhere on the X display without taking them from the
// window they are meant for (XInput2 raw events on a connection of its own). The callback gets the
// pointer position at the time the press is seen. Inactive where there is no X display.
class GlobalPointerMonitor : public QObject {
public:
    explicit GlobalPointerMonitor(std::function<void(const QPoint& globalPosition)> onPress, QObject* parent = nullptr);
    ~GlobalPointerMonitor() override;

    bool isActive() const;
    // No further callbacks; safe to call from inside the callback (delete later, not there).
    void stop() { m_stopped = true; }

private:
    void readEvents();
    struct Private;
    std::unique_ptr<Private> d;
    std::function<void(const QPoint&)> m_onPress;
    bool m_stopped = false;
};
