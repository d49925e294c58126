// SPDX-License-Identifier: MIT
#include "platform/NotificationCenter.h"

#include <gtest/gtest.h>

#include <memory>

TEST(NotificationCenter, DeliversByNameAndObjectFilter) {
    NotificationCenter center;
    QObject owner;
    int a = 0, b = 0;
    QVariantMap seenInfo;
    const void* seenObject = nullptr;
    int target = 0, other = 0;
    center.addObserver(&owner, QStringLiteral("A"), [&](const Notification& n) {
        ++a;
        seenInfo = n.userInfo;
        seenObject = n.object;
    });
    center.addObserver(&owner, QStringLiteral("B"), &target, [&](const Notification&) { ++b; });

    center.post(QStringLiteral("A"), &other, {{QStringLiteral("isExpanded"), true}});
    center.post(QStringLiteral("B"), &other); // filtered out: another object
    center.post(QStringLiteral("B"), &target);
    center.post(QStringLiteral("C"));

    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 1);
    EXPECT_EQ(seenObject, &other);
    EXPECT_TRUE(seenInfo.value(QStringLiteral("isExpanded")).toBool());
}

TEST(NotificationCenter, ObserversGoAwayWithOwnerOrToken) {
    NotificationCenter center;
    int calls = 0;
    auto owner = std::make_unique<QObject>();
    QObject keeper;
    center.addObserver(owner.get(), QStringLiteral("N"), [&](const Notification&) { ++calls; });
    const auto token = center.addObserver(&keeper, QStringLiteral("N"), [&](const Notification&) { ++calls; });
    center.post(QStringLiteral("N"));
    EXPECT_EQ(calls, 2);

    owner.reset();
    center.post(QStringLiteral("N"));
    EXPECT_EQ(calls, 3);

    center.removeObserver(token);
    center.post(QStringLiteral("N"));
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(center.observerCount(), 0);
}

TEST(NotificationCenter, ObserverRemovedDuringDeliveryIsNotCalled) {
    NotificationCenter center;
    QObject owner;
    int second = 0;
    NotificationCenter::Token secondToken = 0;
    center.addObserver(&owner, QStringLiteral("N"), [&](const Notification&) { center.removeObserver(secondToken); });
    secondToken = center.addObserver(&owner, QStringLiteral("N"), [&](const Notification&) { ++second; });
    center.post(QStringLiteral("N"));
    EXPECT_EQ(second, 0);
}
