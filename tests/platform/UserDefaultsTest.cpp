// SPDX-License-Identifier: MIT
#include "platform/UserDefaults.h"

#include "support/TestEnvironment.h"

#include <QFile>

#include <gtest/gtest.h>

#include <limits>

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

TEST(UserDefaults, OverLongValuesAreRefusedAtLoadAndTheFileKeepsThem) {
    const QString path = TestEnvironment::instance().freshDir(QStringLiteral("defaults")) + "/t.conf";
    const QByteArray huge = "http://127.0.0.1/" + QByteArray(UserDefaults::longestValue, 'a');
    const QByteArray contents = "[General]\nupdateFeedURL=" + huge + "\nhistoryRetentionDays=7\n";
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(contents);
    }
    testing::internal::CaptureStdout();
    UserDefaults d(path);
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("updateFeedURL"), std::string::npos) << out;
    EXPECT_FALSE(d.objectExists(QStringLiteral("updateFeedURL")));
    EXPECT_TRUE(d.string(QStringLiteral("updateFeedURL")).isEmpty());
    EXPECT_EQ(d.integer(QStringLiteral("historyRetentionDays")), 7);
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), contents);
    // Written anew, the setting counts again.
    d.setValue(QStringLiteral("updateFeedURL"), QStringLiteral("http://127.0.0.1/feed"));
    EXPECT_EQ(d.string(QStringLiteral("updateFeedURL")), QStringLiteral("http://127.0.0.1/feed"));
}

TEST(UserDefaults, NumbersBeyondTheIntegersSaturate) {
    const QString path = TestEnvironment::instance().freshDir(QStringLiteral("defaults")) + "/t.conf";
    const struct {
        const char* stored;
        qint64 integer;
        bool boolean;
    } cases[] = {
        {"1e300", std::numeric_limits<qint64>::max(), true},
        {"-1e300", std::numeric_limits<qint64>::min(), true},
        {"inf", std::numeric_limits<qint64>::max(), true},
        {"-inf", std::numeric_limits<qint64>::min(), true},
        {"nan", 0, false},
        {"99999999999999999999", std::numeric_limits<qint64>::max(), true},
        {"9223372036854775807", std::numeric_limits<qint64>::max(), true},
        {"-9223372036854775808", std::numeric_limits<qint64>::min(), true},
        {"-7.9", -7, true},
    };
    for (const auto& c : cases) {
        {
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(QByteArray("[General]\nhistoryRetentionDays=") + c.stored + "\n");
        }
        UserDefaults d(path);
        EXPECT_EQ(d.integer(QStringLiteral("historyRetentionDays")), c.integer) << c.stored;
        EXPECT_EQ(d.boolean(QStringLiteral("historyRetentionDays")), c.boolean) << c.stored;
    }
}
