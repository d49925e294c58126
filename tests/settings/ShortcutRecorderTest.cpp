// SPDX-License-Identifier: MIT
#include "settings/ShortcutRecorderRow.h"

#include "common/AppNames.h"
#include "hotkey/HotKeyManager.h"
#include "platform/UserDefaults.h"
#include "support/TestEnvironment.h"
#include "support/memory/MemoryGlobalHotKey.h"

#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {
using Combo = std::pair<quint32, quint32>;
constexpr auto Ctrl = Qt::ControlModifier;
constexpr auto Alt = Qt::AltModifier;
constexpr auto Shift = Qt::ShiftModifier;
constexpr auto Super = Qt::MetaModifier;
} // namespace

TEST(ShortcutRecorder, ShowsShortcutsAsLinuxDesktopsWriteThem) {
    const struct {
        qint64 code;
        qint64 modifiers;
        const char* text;
    } cases[] = {{9, 768, "Super+Shift+V"},
                 {49, 6144, "Ctrl+Alt+Space"},
                 {0, 4096, "Ctrl+A"},
                 {122, 0, "F1"},
                 {126, 7936, "Super+Ctrl+Alt+Shift+Up"},
                 {53, 1 | 2 | 1024, "Esc"},
                 {10, 256, "Super+?"},
                 {127, 0, "?"},
                 {-1, 512, "Shift+?"},
                 {4294967296LL, 256, "Super+?"},
                 {36, 4096, "Ctrl+Return"},
                 {51, 2048, "Alt+Backspace"},
                 {24, 4096, "Ctrl+="},
                 {23, 4096, "Ctrl+5"},
                 {22, 4096, "Ctrl+6"},
                 {116, 4096, "Ctrl+PgUp"},
                 {121, 4096, "Ctrl+PgDown"}};
    for (const auto& c : cases)
        EXPECT_EQ(ShortcutRecorderRow::shortcutString(c.code, c.modifiers), QString::fromUtf8(c.text)) << c.text;
}

TEST(ShortcutRecorder, RecordsChordsWithARealModifierOnly) {
    const struct {
        const char* name;
        int key;
        Qt::KeyboardModifiers modifiers;
        std::optional<Combo> stored; // none: the old shortcut stays
        bool stillRecording;
        bool refusedMessage;
    } cases[] = {
        {"Ctrl+Alt+Space", Qt::Key_Space, Ctrl | Alt, Combo{49, 6144}, false, false},
        {"the A key, code 0", Qt::Key_A, Ctrl, Combo{0, 4096}, false, false},
        {"Super+Shift+1", Qt::Key_1, Super | Shift, Combo{18, 768}, false, false},
        {"Ctrl+5", Qt::Key_5, Ctrl, Combo{23, 4096}, false, false},
        {"Ctrl+6", Qt::Key_6, Ctrl, Combo{22, 4096}, false, false},
        {"Shift with a function key", Qt::Key_F5, Shift, Combo{96, 512}, false, false},
        {"a bare letter ends recording", Qt::Key_B, Qt::NoModifier, std::nullopt, false, false},
        {"a bare digit ends recording", Qt::Key_7, Qt::NoModifier, std::nullopt, false, false},
        {"a bare function key", Qt::Key_F12, Qt::NoModifier, Combo{111, 0}, false, false},
        {"Shift with a letter is refused", Qt::Key_B, Shift, std::nullopt, false, true},
        {"a modifier alone waits", Qt::Key_Control, Ctrl, std::nullopt, true, false},
        {"a key without a code waits", Qt::Key_Print, Ctrl, std::nullopt, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        UserDefaults::setStandardPath(TestEnvironment::instance().freshDir(QStringLiteral("rec")) + "/t.conf");
        MemoryGlobalHotKey layer;
        HotKeyManager manager(layer);
        manager.setup([] {});
        ShortcutRecorderRow row(&manager);
        row.show();
        QTest::mouseClick(row.button(), Qt::LeftButton);
        ASSERT_TRUE(row.isRecording());
        EXPECT_EQ(row.button()->text(), QStringLiteral("Press shortcut..."));
        // The current shortcut is released while recording, so pressing it reaches the recorder.
        EXPECT_TRUE(layer.registered().isEmpty());

        QTest::keyClick(row.button(), Qt::Key(c.key), c.modifiers);
        EXPECT_EQ(row.isRecording(), c.stillRecording);
        EXPECT_EQ(!row.message().isEmpty(), c.refusedMessage) << row.message().toStdString();
        const Combo expected = c.stored.value_or(Combo{9, 768});
        EXPECT_EQ(UserDefaults::standard().objectExists(DefaultsKeys::hotKeyCode), c.stored.has_value());
        if (!c.stillRecording) {
            EXPECT_EQ(layer.registered(), QList<Combo>{expected});
            EXPECT_EQ(row.button()->text(), ShortcutRecorderRow::shortcutString(expected.first, expected.second));
        }
        if (c.stored) {
            EXPECT_EQ(UserDefaults::standard().integer(DefaultsKeys::hotKeyCode), expected.first);
            EXPECT_EQ(UserDefaults::standard().integer(DefaultsKeys::hotKeyModifiers), expected.second);
        }
    }
}

TEST(ShortcutRecorder, ARefusedChordIsShownAndTheOldOneRestored) {
    UserDefaults::setStandardPath(TestEnvironment::instance().freshDir(QStringLiteral("rec")) + "/t.conf");
    UserDefaults::standard().setInteger(DefaultsKeys::hotKeyCode, 49);
    UserDefaults::standard().setInteger(DefaultsKeys::hotKeyModifiers, 6144);
    MemoryGlobalHotKey layer;
    layer.markTaken(9, 4096); // Ctrl+V belongs to another client
    HotKeyManager manager(layer);
    manager.setup([] {});
    ShortcutRecorderRow row(&manager);
    row.show();
    row.startRecording();
    QTest::keyClick(row.button(), Qt::Key_V, Ctrl);
    EXPECT_FALSE(row.isRecording());
    EXPECT_TRUE(row.message().contains(QStringLiteral("Ctrl+V"))) << row.message().toStdString();
    EXPECT_EQ(UserDefaults::standard().integer(DefaultsKeys::hotKeyCode), 49);
    EXPECT_EQ(UserDefaults::standard().integer(DefaultsKeys::hotKeyModifiers), 6144);
    EXPECT_EQ(layer.registered(), QList<Combo>{Combo(49, 6144)});
    EXPECT_TRUE(manager.isRegistered());
}

TEST(ShortcutRecorder, RecordingEndsWithTheWindowAndLaterKeysChangeNothing) {
    UserDefaults::setStandardPath(TestEnvironment::instance().freshDir(QStringLiteral("rec")) + "/t.conf");
    MemoryGlobalHotKey layer;
    HotKeyManager manager(layer);
    manager.setup([] {});
    QWidget window;
    auto* row = new ShortcutRecorderRow(&manager, &window);
    QWidget other;
    window.show();
    other.show();
    row->startRecording();
    window.close();
    EXPECT_FALSE(row->isRecording());
    EXPECT_EQ(layer.registered(), QList<Combo>{Combo(9, 768)});
    QTest::keyClick(&other, Qt::Key_Space, Ctrl | Alt);
    EXPECT_FALSE(UserDefaults::standard().objectExists(DefaultsKeys::hotKeyCode));

    // Clicking the button while recording stops it without change, too.
    window.show();
    QTest::mouseClick(row->button(), Qt::LeftButton);
    QTest::mouseClick(row->button(), Qt::LeftButton);
    EXPECT_FALSE(row->isRecording());
    EXPECT_EQ(layer.registered(), QList<Combo>{Combo(9, 768)});
}
