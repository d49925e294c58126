// SPDX-License-Identifier: MIT
#pragma once

#include <QAbstractNativeEventFilter>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>

struct xcb_connection_t;

// Keeps the time of Qt's X connection at the server's. Qt takes the newest time of every event it
// reads for the server's time and never goes back, so one time made up by another client (a file
// manager asks for a drag's data stamped with the Unix time in seconds) leaves it ahead of the
// server for good: Qt then sets selection owners with a time the server refuses, and answers
// TIMESTAMP and turns requests away by it. Such times are seen before Qt reads them; once no button
// is held (during a drag Qt matches the target's requests by that very time), three zero-length
// property changes on a window of our own reach Qt with their times moved a third of the clock's
// circle apart: whatever time Qt holds, it takes the last of them, the server's own.
class QtClockKeeper : public QObject, public QAbstractNativeEventFilter {
public:
    // settled runs on this thread after a repair brought Qt's time back to the server's.
    explicit QtClockKeeper(std::function<void()> settled);
    ~QtClockKeeper() override;

    bool isActive() const { return m_c != nullptr; }
    // Whether Qt's time may be off the server's: a repair is due or under way.
    bool isUnsettled() const { return m_due || m_markersSeen >= 0; }
    // Brings Qt's time back to the server's soon (e.g. after the server refused an owner Qt set).
    void repair();

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

    // A time is ahead when it passes the server's clock, as last seen and run on since, by more than this.
    static constexpr int aheadSlackMs = 5000;

private:
    void noteServerTime(uint32_t time);
    void noteClientTime(uint32_t time);
    bool onMarker(uint32_t& time);
    void tryRepair();

    std::function<void()> m_settled;
    xcb_connection_t* m_c = nullptr; // Qt's connection
    uint32_t m_root = 0, m_window = 0;
    uint32_t m_marker = 0, m_wmProtocols = 0, m_takeFocus = 0, m_syncRequest = 0;
    bool m_haveServerTime = false;
    uint32_t m_serverTime = 0;
    QElapsedTimer m_sinceServerTime;
    bool m_due = false;
    int m_markersSeen = -1; // -1: no repair under way
    uint32_t m_firstMarkerTime = 0;
    QTimer m_retry; // while a button is held
};
