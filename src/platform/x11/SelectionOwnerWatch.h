// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>

#include <functional>
#include <memory>

class QSocketNotifier;
struct _XDisplay;
struct xcb_connection_t;

// Who owns CLIPBOARD, asked of the server over an X connection of its own. Changes are reported
// from XFixes events, so they are seen whatever Qt believes about its own ownership (after a refused
// write Qt goes on believing it owns the selection and would hide every later change).
class SelectionOwnerWatch : public QObject {
public:
    // ownerChanged runs on this thread after a client other than this process took the selection.
    explicit SelectionOwnerWatch(std::function<void()> ownerChanged);
    ~SelectionOwnerWatch() override;

    bool isActive() const { return m_display != nullptr && !m_broken; }
    // Whether this process's Qt connection holds CLIPBOARD now (a round trip).
    bool weOwnClipboard();
    // Makes Qt's selection owner window the owner, on Qt's connection, with the server's current time. Qt stamps its
    // writes with its connection's time, which the server refuses when it is off its own clock (see
    // QtClockKeeper).
    bool takeClipboardForQt();

private:
    bool isOurs(unsigned long window) const;
    void drain();
    void close();

    std::function<void()> m_ownerChanged;
    _XDisplay* m_display = nullptr;
    xcb_connection_t* m_qt = nullptr; // Qt's own connection
    bool m_broken = false;
    int m_eventBase = 0;
    unsigned long m_clipboard = 0, m_dndSelection = 0;
    unsigned long m_qtOwner = 0;              // Qt's selection owner window, once seen
    unsigned long m_idBase = 0, m_idMask = 0; // the window ids Qt's connection makes
    std::unique_ptr<QSocketNotifier> m_notifier;
};
