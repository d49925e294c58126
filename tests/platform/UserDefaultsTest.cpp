// SPDX-License-Identifier: MIT
#include "platform/UserDefaults.h"

#include "support/TestEnvironment.h"

#include <QFile>

#include <gtest/gtest.h>

TEST(UserDefaults, AbsentRegisteredAndStoredValues) {
    const QString path = TestEnvironment::instance().freshDir(QStringLiteral("defaults")) + "/t.conf";
    UserDefaults d(path);
    EXPECT_FALSE(d.objectExists(QStringLiteral("historyRetentionDays")));
    EXPECT_EQ(d.integer(QStringLiteral("historyRetentionDays")), 0);

    d.registerDefaults({{QStringLiteral("reverseScrollDirection"), false}});
    EXPECT_TRUE(d.objectExists(QStringLiteral("reverseScrollDirection")));
    EXPECT_FALSE(d.persistentExists(QStringLiteral("reverseScrollDirection")));
    EXPECT_FALSE(d.boolean(QStringLiteral("reverseScrollDirection")));

    d.setBool(QStringLiteral("reverseScrollDirection"), true);
    d.setInteger(QStringLiteral("historyRetentionDays"), -5);
    d.setInteger(QStringLiteral("hotKeyModifiers"), 4294967295LL);

    // A second instance on the same file sees what the first wrote (the INI round trip).
    UserDefaults again(path);
    EXPECT_TRUE(again.boolean(QStringLiteral("reverseScrollDirection")));
    EXPECT_EQ(again.integer(QStringLiteral("historyRetentionDays")), -5);
    EXPECT_EQ(again.integer(QStringLiteral("hotKeyModifiers")), 4294967295LL);

    again.remove(QStringLiteral("historyRetentionDays"));
    EXPECT_FALSE(again.objectExists(QStringLiteral("historyRetentionDays")));
}

TEST(UserDefaults, UnreadableValuesReadAsZeroAndFalse) {
    const QString path = TestEnvironment::instance().freshDir(QStringLiteral("defaults")) + "/t.conf";
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[General]\nhotKeyCode=banana\npasteDirectly=maybe\nhistoryRetentionDays=7\n");
    }
    UserDefaults d(path);
    EXPECT_TRUE(d.objectExists(QStringLiteral("hotKeyCode")));
    EXPECT_EQ(d.integer(QStringLiteral("hotKeyCode")), 0);
    EXPECT_FALSE(d.boolean(QStringLiteral("pasteDirectly")));
    EXPECT_EQ(d.integer(QStringLiteral("historyRetentionDays")), 7);
}
