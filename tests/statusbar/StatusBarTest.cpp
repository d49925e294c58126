// SPDX-License-Identifier: MIT
// The tray item in a real tray host (trayer, XEmbed) under Xvfb with openbox.
#include "statusbar/StatusBarManager.h"

#include "panel/PanelWindowController.h"
#include "platform/Localization.h"
#include "platform/RelativeTime.h"
#include "platform/ShortcutText.h"
#include "platform/UserDefaults.h"
#include "settings/AboutSettingsView.h"
#include "settings/GeneralSettingsView.h"
#include "settings/SettingsView.h"
#include "settings/SettingsWindowController.h"
#include "support/TestEnvironment.h"
#include "support/XvfbSession.h"
#include "update/UpdateManager.h"

#include <QGuiApplication>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QScopeGuard>
#include <QStyleHints>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <QTranslator>

#include <gtest/gtest.h>

namespace {

void xdotool(const QStringList& args) {
    XvfbSession::runClient(QStringLiteral("xdotool"), args);
}

QStringList menuTitles(QMenu* menu) {
    QStringList titles;
    for (QAction* action : menu->actions())
        titles << action->text();
    return titles;
}

class StatusBarTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(testXServer()->startWindowManager()) << testXServer()->error().toStdString();
        tray = new QProcess;
        tray->start(QStringLiteral("trayer"), {"--edge", "top", "--align", "right", "--widthtype", "pixel", "--width",
                                               "120", "--height", "28", "--transparent", "false"});
        ASSERT_TRUE(tray->waitForStarted());
        ASSERT_TRUE(QTest::qWaitFor([] { return QSystemTrayIcon::isSystemTrayAvailable(); }, 10000));
        // The English table: the show-panel title is a key.
        Localization::installTranslators(qApp);
    }
    static void TearDownTestSuite() {
        tray->kill();
        tray->waitForFinished();
        delete tray;
    }
    void SetUp() override {
        UserDefaults::setStandardPath(TestEnvironment::instance().freshDir(QStringLiteral("tray")) + "/t.conf");
    }
    static inline QProcess* tray = nullptr;
};

} // namespace

TEST_F(StatusBarTest, TheIconTogglesThePanelAndItsMenuRunsTheCommands) {
    PanelWindowController panel;
    StatusBarManager manager(&panel);
    manager.setupStatusItem();
    QSystemTrayIcon* icon = manager.statusItem();
    ASSERT_TRUE(icon);
    // Placed in the host at the top right of the screen.
    QTRY_VERIFY_WITH_TIMEOUT(icon->isVisible() && icon->geometry().x() > 0, 10000);
    EXPECT_EQ(menuTitles(manager.menu()),
              (QStringList{"Show Panel", "", "Settings...", "Check for Updates\u2026", "", "Quit Tindralume"}));

    // The host may still be laying the icon out: wait until two looks 300 ms apart agree.
    QRect place;
    for (int i = 0; i < 30 && place != icon->geometry(); ++i) {
        place = icon->geometry();
        QTest::qWait(300);
    }

    // Clicks on the icon come from the tray host's window: show, then hide, and it stays hidden.
    const QPoint centre = icon->geometry().center();
    xdotool({"mousemove", QString::number(centre.x()), QString::number(centre.y()), "click", "1"});
    // Under load the first click can land before the host has mapped the icon; nothing toggled then.
    if (!QTest::qWaitFor([&panel] { return panel.isVisible(); }, 5000))
        xdotool({"click", "1"});
    QTRY_VERIFY_WITH_TIMEOUT(panel.isVisible() && panel.hasGrabs(), 5000);
    // A second press within the double-click time reaches the icon as a double click only, not as
    // a click: the user's next click comes later than that.
    QTest::qWait(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 100);
    xdotool({"click", "1"});
    QTRY_VERIFY_WITH_TIMEOUT(!panel.isVisible(), 5000);
    QTest::qWait(800); // no late toggle shows it again
    EXPECT_FALSE(panel.isVisible());

    // A tray host that reports the click after the press was seen outside the panel (as over D-Bus):
    // the press hid it, and the toggle that follows keeps it hidden.
    panel.showPanel();
    QTRY_VERIFY(panel.isVisible());
    ASSERT_TRUE(panel.handleClickOutside(QPoint(5, 5)));
    manager.togglePanel();
    EXPECT_FALSE(panel.isVisible());
    QTest::qWait(StatusBarManager::clickThroughMs + 100); // past the time a click counts as the press's
    manager.togglePanel();
    EXPECT_TRUE(panel.isVisible());
    panel.hidePanel();

    // The right button opens the menu.
    xdotool({"click", "3"});
    QTRY_VERIFY_WITH_TIMEOUT(manager.menu()->isVisible(), 5000);
    manager.menu()->hide();

    const QList<QAction*> actions = manager.menu()->actions();
    actions[0]->trigger();
    QTRY_VERIFY(panel.isVisible());
    panel.hidePanel();
    actions[2]->trigger();
    ASSERT_TRUE(SettingsWindowController::shared());
    QTRY_VERIFY(SettingsWindowController::shared()->window()->isVisible());
    SettingsWindowController::shared()->window()->close();
    // Quitting ends the application's event loop the ordinary way.
    QTimer::singleShot(0, actions[5], &QAction::trigger);
    QTimer::singleShot(10000, qApp, [] { QCoreApplication::exit(99); });
    EXPECT_EQ(QCoreApplication::exec(), 0);

    // Without a panel controller the commands do nothing.
    StatusBarManager bare(nullptr);
    bare.togglePanel();
    bare.showPanel();
}

TEST_F(StatusBarTest, StartingInSimplifiedChineseShowsTheChineseTexts) {
    // The tables installed here are taken out again, so the other tests see English in any order.
    const QList<QTranslator*> before = qApp->findChildren<QTranslator*>();
    const auto restore = qScopeGuard([&before] {
        for (QTranslator* translator : qApp->findChildren<QTranslator*>())
            if (!before.contains(translator)) {
                QCoreApplication::removeTranslator(translator);
                delete translator;
            }
    });
    UserDefaults::standard().setValue(QStringLiteral("AppleLanguages"), QStringList{QStringLiteral("zh-Hans")});
    ASSERT_EQ(Localization::installTranslators(qApp), QLatin1String("zh_CN"));
    StatusBarManager manager(nullptr);
    manager.setupStatusItem();
    EXPECT_EQ(menuTitles(manager.menu()), (QStringList{"显示面板", "", "设置...", "检查更新…", "", "退出 Tindralume"}));
    SettingsView view(nullptr);
    EXPECT_EQ(view.sidebar()->item(0)->text(), QStringLiteral("通用"));
    EXPECT_EQ(view.sidebar()->item(1)->text(), QStringLiteral("关于"));
    EXPECT_EQ(GeneralSettingsView::retentionLabel(30), QStringLiteral("30 天"));
    const QDateTime now = QDateTime::currentDateTime();
    EXPECT_EQ(RelativeTime::shortString(now.addSecs(-120), now), QStringLiteral("2 分钟前"));
    EXPECT_EQ(RelativeTime::shortString(now.addDays(-1), now), QStringLiteral("昨天"));
    // Key names follow Qt's own Chinese table, as in other Qt programs.
    EXPECT_EQ(ShortcutText::text(49, 6144), QStringLiteral("Ctrl+Alt+空格"));
    EXPECT_EQ(ShortcutText::text(9, 768), QStringLiteral("Super+Shift+V"));

    // The version's digits stay as they are; the words around them and the update alerts translate.
    const QString version = QCoreApplication::applicationVersion();
    QCoreApplication::setApplicationVersion(QStringLiteral("0.1.0"));
    qApp->setProperty("buildNumber", QStringLiteral("1"));
    EXPECT_EQ(AboutSettingsView::versionText(), QStringLiteral("版本 0.1.0 (1)"));
    QCoreApplication::setApplicationVersion(version);
    qApp->setProperty("buildNumber", QVariant());
    UpdateManager updates(Updater::Configuration{QString(), QStringLiteral("0.1.0")});
    updates.start();
    updates.controller()->checkForUpdates();
    QTRY_VERIFY(updates.currentAlert());
    EXPECT_EQ(updates.currentAlert()->text(), QStringLiteral("未配置更新源。"));
    updates.currentAlert()->close();
}
