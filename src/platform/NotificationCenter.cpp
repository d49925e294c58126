// SPDX-License-Identifier: MIT
#include "platform/NotificationCenter.h"

#include <algorithm>

NotificationCenter& NotificationCenter::defaultCenter() {
    static NotificationCenter center;
    return center;
}

NotificationCenter::Token NotificationCenter::addObserver(QObject* owner, const QString& name, const void* object,
                                                          Callback callback) {
    QMutexLocker lock(&m_mutex);
    const Token token = m_next++;
    m_entries.push_back({token, owner, name, object, std::make_shared<Callback>(std::move(callback))});
    if (owner)
        watchOwner(owner);
    return token;
}

void NotificationCenter::watchOwner(QObject* owner) {
    if (m_ownerWatch.contains(owner))
        return;
    m_ownerWatch.insert(owner, QObject::connect(owner, &QObject::destroyed, [this, owner] { removeObserver(owner); }));
}

void NotificationCenter::removeObserver(Token token) {
    QMutexLocker lock(&m_mutex);
    std::erase_if(m_entries, [token](const Entry& e) { return e.token == token; });
}

void NotificationCenter::removeObserver(QObject* owner) {
    QMutexLocker lock(&m_mutex);
    std::erase_if(m_entries, [owner](const Entry& e) { return e.owner == owner; });
    if (auto it = m_ownerWatch.find(owner); it != m_ownerWatch.end()) {
        QObject::disconnect(*it);
        m_ownerWatch.erase(it);
    }
}

void NotificationCenter::removeObserver(QObject* owner, const QString& name) {
    QMutexLocker lock(&m_mutex);
    std::erase_if(m_entries, [&](const Entry& e) { return e.owner == owner && e.name == name; });
}

void NotificationCenter::post(const QString& name, const void* object, const QVariantMap& userInfo) {
    // Snapshot first: a callback may add or remove observers while we deliver.
    std::vector<std::pair<Token, std::shared_ptr<Callback>>> targets;
    {
        QMutexLocker lock(&m_mutex);
        for (const Entry& e : m_entries) {
            if (e.name == name && (e.object == nullptr || e.object == object))
                targets.emplace_back(e.token, e.callback);
        }
    }
    const Notification n{name, object, userInfo};
    for (const auto& [token, callback] : targets) {
        bool stillRegistered;
        {
            QMutexLocker lock(&m_mutex);
            stillRegistered =
                std::any_of(m_entries.begin(), m_entries.end(), [t = token](const Entry& e) { return e.token == t; });
        }
        if (stillRegistered)
            (*callback)(n);
    }
}

int NotificationCenter::observerCount() const {
    QMutexLocker lock(&m_mutex);
    return static_cast<int>(m_entries.size());
}
