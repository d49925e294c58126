// SPDX-License-Identifier: MIT
#include "support/memory/MemoryGlobalHotKey.h"

namespace {
quint64 combination(quint32 keyCode, quint32 modifiers) {
    return (quint64(keyCode) << 32) | modifiers;
}
} // namespace

GlobalHotKey::HotKeyRef MemoryGlobalHotKey::registerHotKey(quint32 keyCode, quint32 modifiers) {
    ++m_registerCalls;
    if (m_taken.contains(combination(keyCode, modifiers)))
        return 0;
    for (const auto& [ref, combo] : m_registered) {
        if (combo == std::make_pair(keyCode, modifiers))
            return 0;
    }
    const HotKeyRef ref = m_next++;
    m_registered.emplace(ref, std::make_pair(keyCode, modifiers));
    return ref;
}

void MemoryGlobalHotKey::unregisterHotKey(HotKeyRef hotKey) {
    m_registered.erase(hotKey);
}

void MemoryGlobalHotKey::markTaken(quint32 keyCode, quint32 modifiers) {
    m_taken.insert(combination(keyCode, modifiers));
}

bool MemoryGlobalHotKey::press(quint32 keyCode, quint32 modifiers) {
    for (const auto& [ref, combo] : m_registered) {
        if (combo == std::make_pair(keyCode, modifiers)) {
            deliver(ref);
            return true;
        }
    }
    return false;
}

QList<std::pair<quint32, quint32>> MemoryGlobalHotKey::registered() const {
    QList<std::pair<quint32, quint32>> out;
    for (const auto& [ref, combo] : m_registered)
        out.append(combo);
    return out;
}
