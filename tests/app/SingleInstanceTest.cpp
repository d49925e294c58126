// SPDX-License-Identifier: MIT
// The single-instance guard in this process; the real program's hand-over is in the end-to-end test.
#include "app/SingleInstance.h"

#include "support/TestEnvironment.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

TEST(SingleInstance, OneHistoryAndDisplayHasOneOwner) {
    const QString store = TestEnvironment::instance().freshDir(QStringLiteral("single")) + "/Tindralume.sqlite";
    SingleInstance running(store, QStringLiteral(":7.0"));
    ASSERT_EQ(running.claim(), SingleInstance::Role::Running) << qPrintable(running.errorString());

    // The same display under another spelling, and another display or history, each with their owner.
    SingleInstance sameDisplay(store, QStringLiteral(":7"));
    EXPECT_EQ(sameDisplay.socketPath(), running.socketPath());
    SingleInstance otherDisplay(store, QStringLiteral(":8"));
    EXPECT_EQ(otherDisplay.claim(), SingleInstance::Role::Running);
    SingleInstance otherHistory(store + QStringLiteral("-other"), QStringLiteral(":7"));
    EXPECT_EQ(otherHistory.claim(), SingleInstance::Role::Running);

    // The owner holds the lock but cannot answer (its event loop is not running): a later launch gives
    // up after its time limit, with a reason, instead of starting a second owner.
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(sameDisplay.claim(300), SingleInstance::Role::Failed);
    EXPECT_LT(clock.elapsed(), 5000);
    EXPECT_TRUE(sameDisplay.errorString().contains(QStringLiteral("does not answer")))
        << qPrintable(sameDisplay.errorString());

    const struct {
        const char* given;
        const char* name;
    } displays[] = {{":0", ":0"}, {":0.1", ":0"}, {"host:10.0", "host:10"}, {"[::1]:3.2", "[::1]:3"}, {"", ""}};
    for (const auto& d : displays)
        EXPECT_EQ(SingleInstance::displayName(QString::fromLatin1(d.given)), QString::fromLatin1(d.name)) << d.given;
}
