// SPDX-License-Identifier: MIT
#include "hotkey/HotKeyManager.h"

#include "common/AppNames.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "support/TestEnvironment.h"
#include "support/memory/MemoryGlobalHotKey.h"

#include <QFile>

#include <gtest/gtest.h>

#include <utility>

namespace {

using Combo = std::pair<quint32, quint32>;

// Points the standard defaults at a settings file with exactly these lines under [General].
void useSettingsFile(const QByteArray& generalLines) {
    const QString path = TestEnvironment::instance().freshDir(QStringLiteral("hotkey")) + "/Tindralume.conf";
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[General]\n" + generalLines);
    file.close();
    UserDefaults::setStandardPath(path);
}

class HotKeyManagerTest : public ::testing::Test {
protected:
    MemoryGlobalHotKey hotKeys;
    int presses = 0;
};

} // namespace

TEST_F(HotKeyManagerTest, SetupRegistersStoredShortcutOrDefaults) {
    struct Case {
        const char* name;
        QByteArray settings;
        Combo expected;
    };
    const Case cases[] = {
        {"absent", "", {9, 768}},
        {"stored", "hotKeyCode=49\nhotKeyModifiers=6144\n", {49, 6144}},
        {"only the code stored", "hotKeyCode=122\n", {122, 768}},
        {"only the mask stored", "hotKeyModifiers=4096\n", {9, 4096}},
        {"code above 32 bits", "hotKeyCode=4294967296\nhotKeyModifiers=256\n", {9, 256}},
        {"negative mask", "hotKeyCode=49\nhotKeyModifiers=-1\n", {49, 768}},
        {"far out of range", "hotKeyCode=99999999999999999999999\nhotKeyModifiers=1e40\n", {9, 768}},
        {"not a number", "hotKeyCode=vee\nhotKeyModifiers=768\n", {9, 768}},
        // Values the recorder would refuse fall back to the default shortcut, with a line.
        {"refused: no such key", "hotKeyCode=4294967295\nhotKeyModifiers=0\n", {9, 768}},
        {"refused: a plain v", "hotKeyModifiers=0\n", {9, 768}},
        {"refused: Shift alone", "hotKeyCode=49\nhotKeyModifiers=512\n", {9, 768}},
        {"refused: a bit that is no modifier", "hotKeyCode=49\nhotKeyModifiers=4097\n", {9, 768}},
        {"a function key alone", "hotKeyCode=122\nhotKeyModifiers=0\n", {122, 0}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        useSettingsFile(c.settings);
        MemoryGlobalHotKey layer;
        HotKeyManager manager(layer);
        testing::internal::CaptureStdout();
        manager.setup([] {});
        const std::string out = testing::internal::GetCapturedStdout();
        const bool fellBack = QByteArray(c.name).startsWith("refused:");
        EXPECT_EQ(out.find("cannot be a hot key") != std::string::npos, fellBack) << out;
        ASSERT_EQ(layer.registered().size(), 1);
        EXPECT_EQ(layer.registered().front(), c.expected);
        EXPECT_TRUE(manager.isRegistered());
    }
}

TEST_F(HotKeyManagerTest, RefusedRegistrationPrintsTheLineAndLeavesNoHotKey) {
    useSettingsFile("");
    hotKeys.markTaken(9, 768);
    HotKeyManager manager(hotKeys);
    testing::internal::CaptureStdout();
    manager.setup([this] { ++presses; });
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(out, "hot_key_registration_failed\n");
    EXPECT_FALSE(manager.isRegistered());
    EXPECT_TRUE(hotKeys.registered().isEmpty());

    // A shortcut that registers brings the hot key back.
    UserDefaults::standard().setInteger(DefaultsKeys::hotKeyCode, 49);
    UserDefaults::standard().setInteger(DefaultsKeys::hotKeyModifiers, 6144);
    testing::internal::CaptureStdout();
    NotificationCenter::defaultCenter().post(Notifications::hotKeyDidChange);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_TRUE(manager.isRegistered());
    EXPECT_TRUE(hotKeys.press(49, 6144));
    EXPECT_EQ(presses, 1);
}

TEST_F(HotKeyManagerTest, ReregisterReadsAbsentKeysAsZeroAndFallsBackToTheDefault) {
    // After a change, absent or invalid keys read as 0, unlike at set-up: key code 0 with no
    // modifier is a plain "a", which the recorder refuses.
    useSettingsFile("");
    HotKeyManager manager(hotKeys);
    manager.setup([] {});
    UserDefaults::standard().setValue(DefaultsKeys::hotKeyModifiers, QStringLiteral("5000000000"));
    manager.reregister();
    ASSERT_EQ(hotKeys.registered().size(), 1);
    EXPECT_EQ(hotKeys.registered().front(), Combo(9, 768));
    UserDefaults::standard().setValue(DefaultsKeys::hotKeyModifiers, 4096);
    manager.reregister();
    EXPECT_EQ(hotKeys.registered().front(), Combo(0, 4096));
}

TEST_F(HotKeyManagerTest, DestructionUnregistersAndStopsObserving) {
    useSettingsFile("");
    const int observersBefore = NotificationCenter::defaultCenter().observerCount();
    {
        HotKeyManager manager(hotKeys);
        manager.setup([this] { ++presses; });
        EXPECT_EQ(NotificationCenter::defaultCenter().observerCount(), observersBefore + 1);
    }
    EXPECT_EQ(NotificationCenter::defaultCenter().observerCount(), observersBefore);
    EXPECT_TRUE(hotKeys.registered().isEmpty());
    const int calls = hotKeys.registerCalls();
    NotificationCenter::defaultCenter().post(Notifications::hotKeyDidChange); // must not reach a dead manager
    EXPECT_EQ(hotKeys.registerCalls(), calls);
    EXPECT_EQ(presses, 0);
}
