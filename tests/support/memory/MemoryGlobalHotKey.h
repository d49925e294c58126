// SPDX-License-Identifier: MIT
#pragma once

#include "platform/GlobalHotKey.h"

#include <QSet>

#include <map>
#include <utility>

// Hot keys without a display, for unit tests: registrations are recorded, combinations marked as
// taken are refused, and press() plays a key press through the installed handlers at once.
class MemoryGlobalHotKey : public GlobalHotKey {
public:
    HotKeyRef registerHotKey(quint32 keyCode, quint32 modifiers) override;
    void unregisterHotKey(HotKeyRef hotKey) override;

    // Makes later registrations of this combination fail, as if another client held it.
    void markTaken(quint32 keyCode, quint32 modifiers);
    // Returns true when the combination was registered (and the handlers ran).
    bool press(quint32 keyCode, quint32 modifiers);

    // Registered combinations, in no particular order.
    QList<std::pair<quint32, quint32>> registered() const;
    int registerCalls() const { return m_registerCalls; }

private:
    std::map<HotKeyRef, std::pair<quint32, quint32>> m_registered;
    QSet<quint64> m_taken;
    HotKeyRef m_next = 1;
    int m_registerCalls = 0;
};
