// SPDX-License-Identifier: MIT
// The settings window's closing keys, pressed on a real X server with a window manager.
#include "platform/UserDefaults.h"
#include "settings/GeneralSettingsView.h"
#include "settings/SettingsView.h"
#include "settings/SettingsWindowController.h"
#include "support/TestEnvironment.h"
#include "support/XvfbSession.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QTest>

#include <gtest/gtest.h>

namespace {
void xdotool(const QStringList& args) {
    XvfbSession::runClient(QStringLiteral("xdotool"), args);
}
} // namespace

TEST(SettingsWindowKeys, EscapeClosesAnOpenListFirstThenTheWindow) {
    ASSERT_TRUE(testXServer()->startWindowManager()) << testXServer()->error().toStdString();
    UserDefaults::setStandardPath(TestEnvironment::instance().freshDir(QStringLiteral("keys")) + "/t.conf");
    SettingsWindowController::showWindow();
    QWidget* window = SettingsWindowController::shared()->window();
    auto* general = static_cast<GeneralSettingsView*>(
        SettingsWindowController::shared()->settingsView()->page(SettingsView::Tabs::general));
    QComboBox* keepHistory = general->retentionPicker();
    const auto waitActive = [window] {
        window->activateWindow();
        return QTest::qWaitFor([window] { return window->isActiveWindow(); }, 10000);
    };
    ASSERT_TRUE(waitActive());

    const struct {
        const char* name;
        const char* key; // pressed with the list open
        bool listStaysOpen;
    } cases[] = {{"Escape", "Escape", false}, {"Ctrl+W", "ctrl+w", true}};
    for (const auto& c : cases) {
        if (!window->isVisible())
            SettingsWindowController::showWindow();
        ASSERT_TRUE(waitActive()) << c.name;
        const QPoint centre = keepHistory->mapToGlobal(keepHistory->rect().center());
        xdotool({"mousemove", QString::number(centre.x()), QString::number(centre.y()), "click", "1"});
        QTRY_VERIFY_WITH_TIMEOUT(keepHistory->view()->isVisible(), 5000);
        xdotool({"key", c.key});
        QTRY_VERIFY_WITH_TIMEOUT(keepHistory->view()->isVisible() == c.listStaysOpen, 5000);
        QTest::qWait(300);
        EXPECT_TRUE(window->isVisible()) << c.name;
        if (keepHistory->view()->isVisible())
            keepHistory->hidePopup();
        ASSERT_TRUE(waitActive());
        xdotool({"key", c.key});
        QTRY_VERIFY_WITH_TIMEOUT(!window->isVisible(), 5000);
    }
}
