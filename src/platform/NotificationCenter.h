// SPDX-License-Identifier: MIT
#pragma once

#include <QHash>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QVariantMap>

#include <functional>
#include <vector>

// A notification: a name (one of the strings in common/AppNames.h), an optional object identified by
// address (valid only while the notification is delivered), and user info.
struct Notification {
    QString name;
    const void* object = nullptr;
    QVariantMap userInfo;
};

// In-process notification center. Delivery is synchronous on the posting thread. An observer is
// tied to an owner QObject and goes away with it, so a callback never outlives what it captures.
class NotificationCenter {
public:
    using Callback = std::function<void(const Notification&)>;
    using Token = quint64;

    static NotificationCenter& defaultCenter();

    // object: deliver only notifications posted with this object (nullptr: any object).
    Token addObserver(QObject* owner, const QString& name, const void* object, Callback callback);
    Token addObserver(QObject* owner, const QString& name, Callback callback) {
        return addObserver(owner, name, nullptr, std::move(callback));
    }
    void removeObserver(Token token);
    void removeObserver(QObject* owner); // every observer of that owner
    void removeObserver(QObject* owner, const QString& name);

    void post(const QString& name, const void* object = nullptr, const QVariantMap& userInfo = {});
    void post(const Notification& notification) { post(notification.name, notification.object, notification.userInfo); }

    int observerCount() const;

private:
    struct Entry {
        Token token;
        QObject* owner;
        QString name;
        const void* object;
        std::shared_ptr<Callback> callback;
    };
    void watchOwner(QObject* owner);

    mutable QRecursiveMutex m_mutex;
    std::vector<Entry> m_entries;
    QHash<QObject*, QMetaObject::Connection> m_ownerWatch;
    Token m_next = 1;
};
