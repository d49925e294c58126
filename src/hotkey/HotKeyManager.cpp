// SPDX-License-Identifier: MIT
#include "hotkey/HotKeyManager.h"

#include "common/AppNames.h"
#include "platform/Console.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"

#include <QVariant>

#include <cmath>

HotKeyManager::HotKeyManager() : HotKeyManager(GlobalHotKey::shared()) {}

HotKeyManager::HotKeyManager(GlobalHotKey& hotKeys) : hotKeys(hotKeys), observerOwner(std::make_unique<QObject>()) {}

HotKeyManager::~HotKeyManager() {
    if (hotKeyRef) {
        hotKeys.unregisterHotKey(*hotKeyRef);
        hotKeyRef.reset();
    }
    if (eventHandler) {
        hotKeys.removeHandler(*eventHandler);
        eventHandler.reset();
    }
    NotificationCenter::defaultCenter().removeObserver(observerOwner.get());
    callback = nullptr;
}

std::optional<quint32> HotKeyManager::storedValue(const QString& key) {
    UserDefaults& defaults = UserDefaults::standard();
    if (!defaults.objectExists(key))
        return std::nullopt;
    const QVariant value = defaults.object(key);
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? 1u : 0u;
    const QString text = value.toString().trimmed();
    bool ok = false;
    const qlonglong whole = text.toLongLong(&ok);
    if (ok)
        return (whole >= 0 && whole <= 4294967295LL) ? std::optional<quint32>(quint32(whole)) : std::nullopt;
    // Fractions are cut as integer reading does; huge or non-finite numbers are not key codes.
    const double number = text.toDouble(&ok);
    if (ok && std::isfinite(number) && number >= 0 && number < 4294967296.0)
        return quint32(number);
    return std::nullopt;
}

std::pair<quint32, quint32> HotKeyManager::usableShortcut(quint32 keyCode, quint32 modifiers) {
    if (GlobalHotKey::isUsableShortcut(keyCode, modifiers))
        return {keyCode, modifiers};
    // Only a hand-edited settings file holds one: a plain key would be taken from every application.
    consoleLine(QStringLiteral("The stored shortcut (key code %1, modifiers %2) cannot be a hot key; the default "
                               "shortcut is used instead")
                    .arg(keyCode)
                    .arg(modifiers));
    return {defaultKeyCode, defaultModifiers};
}

void HotKeyManager::setup(std::function<void()> newCallback) {
    callback = std::move(newCallback);
    const auto [keyCode, modifiers] =
        usableShortcut(storedValue(DefaultsKeys::hotKeyCode).value_or(defaultKeyCode),
                       storedValue(DefaultsKeys::hotKeyModifiers).value_or(defaultModifiers));
    registerHotKey(keyCode, modifiers);
    NotificationCenter::defaultCenter().addObserver(observerOwner.get(), Notifications::hotKeyDidChange,
                                                    [this](const Notification&) { handleHotKeyChange(); });
}

void HotKeyManager::handleHotKeyChange() {
    reregister();
}

void HotKeyManager::suspend() {
    suspended = true;
    if (hotKeyRef) {
        hotKeys.unregisterHotKey(*hotKeyRef);
        hotKeyRef.reset();
    }
}

void HotKeyManager::resume() {
    if (!suspended)
        return;
    const auto [keyCode, modifiers] =
        usableShortcut(storedValue(DefaultsKeys::hotKeyCode).value_or(defaultKeyCode),
                       storedValue(DefaultsKeys::hotKeyModifiers).value_or(defaultModifiers));
    registerHotKey(keyCode, modifiers);
}

void HotKeyManager::reregister() {
    if (hotKeyRef) {
        hotKeys.unregisterHotKey(*hotKeyRef);
        hotKeyRef.reset();
    }
    const auto [keyCode, modifiers] = usableShortcut(storedValue(DefaultsKeys::hotKeyCode).value_or(0),
                                                     storedValue(DefaultsKeys::hotKeyModifiers).value_or(0));
    registerHotKey(keyCode, modifiers);
}

void HotKeyManager::registerHotKey(quint32 keyCode, quint32 modifiers) {
    suspended = false;
    if (!eventHandler) {
        // The handler is removed in the destructor before the manager goes, so `this` stays valid.
        eventHandler = hotKeys.installHandler([this](GlobalHotKey::HotKeyRef) {
            if (callback)
                callback();
        });
    }
    if (hotKeyRef) {
        // Never leave an earlier shortcut registered behind the one that replaces it.
        hotKeys.unregisterHotKey(*hotKeyRef);
        hotKeyRef.reset();
    }
    const GlobalHotKey::HotKeyRef ref = hotKeys.registerHotKey(keyCode, modifiers);
    if (!ref) {
        consoleLine(registrationFailedLine);
        return;
    }
    hotKeyRef = ref;
}
