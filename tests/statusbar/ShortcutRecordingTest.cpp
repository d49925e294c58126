// SPDX-License-Identifier: MIT
// Recording a new shortcut in the settings window moves the real X hot key at once.
#include "common/AppNames.h"
#include "hotkey/HotKeyManager.h"
#include "panel/PanelWindowController.h"
#include "platform/UserDefaults.h"
#include "settings/GeneralSettingsView.h"
#include "settings/SettingsView.h"
#include "settings/SettingsWindowController.h"
#include "settings/ShortcutRecorderRow.h"
#include "support/TestEnvironment.h"
#include "support/XvfbSession.h"

#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace {
void xdotool(const QStringList& args) {
    XvfbSession::runClient(QStringLiteral("xdotool"), args);
}
} // namespace

TEST(ShortcutRecording, TheRecordedChordTogglesThePanelAndTheOldOneNoLonger) {
    ASSERT_TRUE(testXServer()->startWindowManager());
    UserDefaults::setStandardPath(TestEnvironment::instance().freshDir(QStringLiteral("recording")) + "/t.conf");
    PanelWindowController panel;
    HotKeyManager hotKey;
    hotKey.setup([&panel] { panel.isVisible() ? panel.hidePanel() : panel.showPanel(); });
    ASSERT_TRUE(hotKey.isRegistered());
    const auto pressShowsPanel = [&panel](const QString& chord) {
        xdotool({"key", chord});
        const bool shown = QTest::qWaitFor([&panel] { return panel.isVisible(); }, 3000);
        if (shown) {
            panel.hidePanel();
            // The slide-out ends and the keyboard grab is let go before the next chord.
            (void)QTest::qWaitFor([&panel] { return !panel.window()->isVisible() && !panel.hasGrabs(); }, 5000);
        }
        return shown;
    };
    SettingsWindowController::setHotKeyManager(&hotKey);
    SettingsWindowController settings;
    settings.window()->show();
    settings.window()->activateWindow();
    QTRY_VERIFY_WITH_TIMEOUT(settings.window()->isActiveWindow(), 10000);

    // The panel is up (and holds the keyboard) when the user starts recording.
    xdotool({"key", "super+shift+v"});
    QTRY_VERIFY_WITH_TIMEOUT(panel.isVisible(), 3000);
    auto* general = static_cast<GeneralSettingsView*>(settings.settingsView()->page(SettingsView::Tabs::general));
    ShortcutRecorderRow* recorder = general->shortcutRecorder();
    const QPoint button = recorder->button()->mapToGlobal(recorder->button()->rect().center());
    xdotool({"mousemove", QString::number(button.x()), QString::number(button.y()), "click", "1"});
    QTRY_VERIFY_WITH_TIMEOUT(recorder->isRecording(), 5000);
    EXPECT_FALSE(hotKey.isRegistered()); // released while recording
    QTRY_VERIFY_WITH_TIMEOUT(!panel.window()->isVisible() && !panel.hasGrabs(), 5000);

    xdotool({"key", "ctrl+alt+space"});
    QTRY_VERIFY_WITH_TIMEOUT(!recorder->isRecording(), 5000);
    EXPECT_EQ(UserDefaults::standard().integer(DefaultsKeys::hotKeyCode), 49);
    EXPECT_EQ(UserDefaults::standard().integer(DefaultsKeys::hotKeyModifiers), 6144);
    EXPECT_EQ(recorder->button()->text(), QStringLiteral("Ctrl+Alt+Space"));
    ASSERT_TRUE(hotKey.isRegistered());

    EXPECT_TRUE(pressShowsPanel(QStringLiteral("ctrl+alt+space")));
    EXPECT_FALSE(pressShowsPanel(QStringLiteral("super+shift+v")));
    SettingsWindowController::setHotKeyManager(nullptr);
}
