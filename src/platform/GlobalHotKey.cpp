// SPDX-License-Identifier: MIT
#include "platform/GlobalHotKey.h"

#include "platform/KeyCodes.h"
#include "platform/x11/X11GlobalHotKey.h"

#include <vector>

namespace {
std::unique_ptr<GlobalHotKey>& sharedInstance() {
    static std::unique_ptr<GlobalHotKey> instance;
    return instance;
}
} // namespace

GlobalHotKey& GlobalHotKey::shared() {
    auto& instance = sharedInstance();
    if (!instance)
        instance = std::make_unique<X11GlobalHotKey>();
    return *instance;
}

bool GlobalHotKey::isUsableShortcut(quint32 keyCode, quint32 modifiers) {
    constexpr quint32 allMasks = commandMask | shiftMask | optionMask | controlMask;
    const quint32 keysym = KeyCodes::keysymForKeyCode(keyCode);
    if (keysym == 0 || (modifiers & ~allMasks) != 0)
        return false;
    constexpr quint32 f1 = 0xffbe, f12 = 0xffc9;
    // Without Ctrl, Alt or Super a typing key would be taken from every application.
    return (modifiers & (commandMask | optionMask | controlMask)) != 0 || (keysym >= f1 && keysym <= f12);
}

void GlobalHotKey::setShared(std::unique_ptr<GlobalHotKey> hotKeys) {
    sharedInstance() = std::move(hotKeys);
}

GlobalHotKey::HandlerRef GlobalHotKey::installHandler(Handler handler) {
    const HandlerRef ref = m_nextHandler++;
    m_handlers.emplace(ref, std::make_shared<Handler>(std::move(handler)));
    return ref;
}

void GlobalHotKey::removeHandler(HandlerRef handler) {
    m_handlers.erase(handler);
}

void GlobalHotKey::deliver(HotKeyRef hotKey) {
    std::vector<HandlerRef> refs;
    for (const auto& [ref, handler] : m_handlers)
        refs.push_back(ref);
    for (HandlerRef ref : refs) {
        const auto it = m_handlers.find(ref);
        if (it == m_handlers.end())
            continue;
        const std::shared_ptr<Handler> handler = it->second; // survives its own removal
        if (*handler)
            (*handler)(hotKey);
    }
}
