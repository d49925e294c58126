// SPDX-License-Identifier: MIT
#include "settings/AboutSettingsView.h"
#include "settings/GeneralSettingsView.h"
#include "settings/LanguageManager.h"
#include "settings/SettingsView.h"
#include "settings/SettingsWindowController.h"

#include "common/AppNames.h"
#include "platform/LoginItem.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "support/StdoutCapture.h"
#include "support/TestEnvironment.h"
#include "update/UpdateManager.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <csignal>

namespace {

void freshDefaults(const QByteArray& generalLines = {}) {
    const QString path = TestEnvironment::instance().freshDir(QStringLiteral("settings")) + "/Tindralume.conf";
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[General]\n" + generalLines);
    file.close();
    UserDefaults::setStandardPath(path);
}

QPushButton* buttonNamed(QMessageBox* box, const QString& text) {
    for (QAbstractButton* button : box->buttons()) {
        if (button->text() == text)
            return qobject_cast<QPushButton*>(button);
    }
    return nullptr;
}

} // namespace

TEST(GeneralSettings, ShowsStoredValuesAndWritesEveryChange) {
    const struct {
        QByteArray stored;
        int modifierIndex; // -1: no row selected
        int retentionIndex;
    } cases[] = {{"", 3, 1},
                 {"plainTextModifier=0\nhistoryRetentionDays=0\n", 0, 3},
                 {"plainTextModifier=7\nhistoryRetentionDays=14\n", -1, -1}};
    for (const auto& c : cases) {
        freshDefaults(c.stored);
        GeneralSettingsView page(nullptr);
        page.show();
        EXPECT_EQ(page.plainTextModifierPicker()->currentIndex(), c.modifierIndex) << c.stored.constData();
        EXPECT_EQ(page.retentionPicker()->currentIndex(), c.retentionIndex) << c.stored.constData();
        EXPECT_FALSE(page.pasteDirectlyToggle()->isChecked());
    }
    QStringList modifierRows, retentionRows;
    GeneralSettingsView page(nullptr);
    for (int i = 0; i < 4; ++i) {
        modifierRows << page.plainTextModifierPicker()->itemText(i);
        retentionRows << page.retentionPicker()->itemText(i);
    }
    EXPECT_EQ(modifierRows, (QStringList{"Alt", "Ctrl", "Super", "Shift"}));
    EXPECT_EQ(retentionRows, (QStringList{"7 days", "30 days", "90 days", "Forever"}));

    page.pasteDirectlyToggle()->click();
    // A click on a switch's label flips the switch.
    QLabel* reverseLabel = nullptr;
    for (QLabel* label : page.findChildren<QLabel*>())
        reverseLabel = label->buddy() == page.reverseScrollToggle() ? label : reverseLabel;
    ASSERT_NE(reverseLabel, nullptr);
    QTest::mouseClick(reverseLabel, Qt::LeftButton);
    page.plainTextModifierPicker()->activated(1);
    page.retentionPicker()->activated(3);
    UserDefaults& defaults = UserDefaults::standard();
    EXPECT_TRUE(defaults.boolean(DefaultsKeys::pasteDirectly));
    EXPECT_TRUE(defaults.boolean(DefaultsKeys::reverseScrollDirection));
    EXPECT_EQ(defaults.integer(DefaultsKeys::plainTextModifier), 1);
    EXPECT_TRUE(defaults.persistentExists(DefaultsKeys::historyRetentionDays));
    EXPECT_EQ(defaults.integer(DefaultsKeys::historyRetentionDays), 0);

    // An off toggle stands out from its row's base colour in a dark palette.
    const QPalette saved = QApplication::palette();
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(40, 40, 40));
    dark.setColor(QPalette::Base, QColor(30, 30, 30));
    dark.setColor(QPalette::Text, QColor(235, 235, 235));
    QApplication::setPalette(dark);
    GeneralSettingsView darkPage(nullptr);
    darkPage.resize(600, 700);
    QCheckBox* off = darkPage.startAtLoginToggle();
    const QImage row = off->parentWidget()->grab().toImage();
    int contrasting = 0;
    for (int y = off->y(); y <= off->geometry().bottom(); ++y)
        for (int x = off->x(); x <= off->geometry().right(); ++x)
            contrasting += std::abs(qGray(row.pixel(x, y)) - 30) > 40 ? 1 : 0;
    QApplication::setPalette(saved);
    EXPECT_FALSE(off->isChecked());
    EXPECT_GT(contrasting, 20);
}

TEST(GeneralSettings, ClearHistoryReportsWhatHappened) {
    freshDefaults();
    // Stands in for the application delegate, which answers with the outcome.
    const struct {
        const char* name;
        std::optional<bool> reply;
        const char* title;
    } cases[] = {{"cleared", true, "History Cleared"},
                 {"failed", false, "History Not Cleared"},
                 {"nobody listening", std::nullopt, "History Not Cleared"}};
    for (const auto& c : cases) {
        QObject delegate;
        int requests = 0;
        if (c.reply) {
            NotificationCenter::defaultCenter().addObserver(
                &delegate, Notifications::clearClipboardHistory, [&requests, &c](const Notification&) {
                    ++requests;
                    NotificationCenter::defaultCenter().post(Notifications::clipboardHistoryDidClear, nullptr,
                                                             {{Notifications::clearedKey, *c.reply}});
                });
        }
        GeneralSettingsView page(nullptr);
        page.show();
        page.clearHistoryButton()->click();
        ASSERT_TRUE(page.currentAlert()) << c.name;
        EXPECT_EQ(
            page.currentAlert()->informativeText(),
            QStringLiteral("Are you sure you want to clear all clipboard history? This action cannot be undone."));
        // Cancelling asks nothing further and clears nothing.
        buttonNamed(page.currentAlert(), QStringLiteral("Cancel"))->click();
        QTRY_VERIFY(!page.currentAlert());
        EXPECT_EQ(requests, 0);

        page.clearHistoryButton()->click();
        buttonNamed(page.currentAlert(), QStringLiteral("Clear"))->click();
        QTRY_VERIFY(page.currentAlert() && page.currentAlert()->text() == QLatin1String(c.title));
        EXPECT_EQ(requests, c.reply ? 1 : 0) << c.name;
        page.currentAlert()->close();
    }
}

TEST(GeneralSettings, LaunchAtLoginWritesAnEntryThatStartsTheApplication) {
    freshDefaults();
    const QString entry = LoginItem::entryPath();
    GeneralSettingsView page(nullptr);
    page.show();
    EXPECT_FALSE(page.startAtLoginToggle()->isChecked());
    page.startAtLoginToggle()->click();
    ASSERT_TRUE(QFile::exists(entry));
    EXPECT_TRUE(LoginItem::isEnabled());
    // The entry's Exec is this program; point it at the application, as it reads when the application writes it.
    QString error;
    ASSERT_TRUE(LoginItem::registerItem(&error, QStringLiteral(TINDRALUME_APP_PATH))) << error.toStdString();
    const QStringList exec = LoginItem::execArguments(entry);
    ASSERT_EQ(exec, (QStringList{QStringLiteral(TINDRALUME_APP_PATH), QStringLiteral("--autostart")}));

    QProcess app;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    app.setProcessEnvironment(env);
    app.start(exec.first(), exec.mid(1));
    ASSERT_TRUE(app.waitForStarted());
    EXPECT_FALSE(app.waitForFinished(1500)) << app.readAll().constData();
    ::kill(pid_t(app.processId()), SIGTERM);
    EXPECT_TRUE(app.waitForFinished(10000));
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);

    page.startAtLoginToggle()->click();
    EXPECT_FALSE(QFile::exists(entry));

    // A folder that cannot be made: the toggle returns and the failure line is printed.
    QDir().mkpath(QFileInfo(entry).absolutePath() + "/..");
    QDir(QFileInfo(entry).absolutePath()).removeRecursively();
    QFile blocker(QFileInfo(entry).absolutePath());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    StdoutCapture out;
    page.startAtLoginToggle()->click();
    EXPECT_FALSE(page.startAtLoginToggle()->isChecked());
    ASSERT_EQ(out.lines().size(), 1);
    EXPECT_TRUE(out.lines().first().startsWith(QLatin1String("Failed to register login item: ")));
    blocker.remove();
}

TEST(LoginItem, ExecQuotingRoundTrips) {
    const QString dir = TestEnvironment::instance().freshDir(QStringLiteral("odd $dir \"q\" `b` 100%\\x"));
    const QString program = dir + "/tindralume";
    QFile::copy(QStringLiteral("/bin/true"), program);
    QString error;
    ASSERT_TRUE(LoginItem::registerItem(&error, program)) << error.toStdString();
    EXPECT_EQ(LoginItem::execArguments(LoginItem::entryPath()), (QStringList{program, QStringLiteral("--autostart")}));
    EXPECT_FALSE(LoginItem::registerItem(&error, dir + "/missing"));
    EXPECT_TRUE(LoginItem::unregisterItem(&error));
    EXPECT_TRUE(LoginItem::unregisterItem(&error)); // already gone counts as removed
}

TEST(AboutPage, LanguageChoiceVersionAndUpdateControls) {
    freshDefaults("AppleLanguages=zh-Hans\n");
    // Building the page creates the language manager, which applies "forceEnglish" (absent: false).
    UpdateManager updates(Updater::Configuration{QString(), QStringLiteral("1.0")});
    AboutSettingsView page(updates);
    EXPECT_FALSE(UserDefaults::standard().objectExists(DefaultsKeys::appleLanguages));
    LanguageManager::shared().setForceEnglish(true);
    EXPECT_EQ(UserDefaults::standard().stringList(DefaultsKeys::appleLanguages), QStringList{"en"});
    LanguageManager::shared().setForceEnglish(false);

    const QString version = QCoreApplication::applicationVersion();
    QCoreApplication::setApplicationVersion(QString());
    EXPECT_EQ(AboutSettingsView::versionText(), QStringLiteral("Version 1.0.0 (0)"));
    QCoreApplication::setApplicationVersion(QStringLiteral("2.3.4"));
    qApp->setProperty("buildNumber", QStringLiteral("57"));
    EXPECT_EQ(AboutSettingsView::versionText(), QStringLiteral("Version 2.3.4 (57)"));
    QCoreApplication::setApplicationVersion(version);

    // Not started: the button is off, and a click arriving anyway does nothing.
    EXPECT_FALSE(page.checkForUpdatesButton()->isEnabled());
    page.checkForUpdates();
    QTest::qWait(50); // time for an alert that must not come
    EXPECT_FALSE(updates.currentAlert());
    updates.start();
    QTRY_VERIFY(page.checkForUpdatesButton()->isEnabled());
    page.checkForUpdatesButton()->click();
    QTRY_VERIFY(updates.currentAlert() && updates.currentAlert()->isVisible());
    EXPECT_EQ(updates.currentAlert()->text(), QStringLiteral("No update feed is configured."));
    updates.currentAlert()->close();

    page.automaticChecksToggle()->click();
    QTRY_VERIFY(updates.automaticallyChecksForUpdates());
    EXPECT_TRUE(page.automaticChecksToggle()->isChecked());
    page.automaticChecksToggle()->click();
    QTRY_VERIFY(!updates.automaticallyChecksForUpdates());
    EXPECT_FALSE(page.automaticChecksToggle()->isChecked());
}

TEST(SettingsWindow, CentresOnTheScreenUnderThePointer) {
    using Area = SettingsWindowController::ScreenArea;
    const QList<Area> screens{{QRect(0, 0, 1920, 1080), QRect(0, 30, 1920, 1010)},
                              {QRect(1920, 0, 1280, 1024), QRect(1920, 0, 1280, 984)}};
    const QRect window(5, 5, 900, 650);
    const struct {
        QPoint mouse;
        int primary;
        QRect expected;
    } cases[] = {{{100, 100}, 0, QRect(510, 210, 900, 650)},
                 {{2000, 10}, 0, QRect(2110, 167, 900, 650)},
                 {{-50, -50}, 1, QRect(2110, 167, 900, 650)},
                 {{-50, -50}, -1, QRect(510, 210, 900, 650)}};
    for (const auto& c : cases)
        EXPECT_EQ(SettingsWindowController::centerOnMouseScreen(window, c.mouse, screens, c.primary), c.expected);
    EXPECT_EQ(SettingsWindowController::centerOnMouseScreen(window, {0, 0}, {}, -1), window);
    // Never larger than the visible area: 1366 x 768 at 1.25, and 800 x 450 under a 24-pixel bar.
    EXPECT_EQ(SettingsWindowController::centerOnMouseScreen(QRect(0, 0, 900, 677), {9, 9},
                                                            {{QRect(0, 0, 1093, 614), QRect(0, 0, 1093, 614)}}, 0),
              QRect(96, 0, 900, 614));
    EXPECT_EQ(SettingsWindowController::centerOnMouseScreen(QRect(0, 0, 900, 677), {9, 9},
                                                            {{QRect(0, 0, 800, 450), QRect(0, 24, 800, 426)}}, 0),
              QRect(0, 24, 800, 426));

    EXPECT_EQ(SettingsView::tabForKey(QStringLiteral("About")), SettingsView::Tabs::about);
    EXPECT_EQ(SettingsView::tabForKey(QStringLiteral("General")), SettingsView::Tabs::general);
    EXPECT_FALSE(SettingsView::tabForKey(QStringLiteral("general")).has_value());

    freshDefaults();
    SettingsWindowController::showWindow();
    SettingsWindowController* controller = SettingsWindowController::shared();
    ASSERT_TRUE(controller && controller->window()->isVisible());
    EXPECT_TRUE(controller->settingsView()->page(SettingsView::Tabs::general));
    EXPECT_FALSE(controller->settingsView()->page(SettingsView::Tabs::about)); // built when first chosen
    controller->window()->close();
    SettingsWindowController::showWindow();
    EXPECT_EQ(SettingsWindowController::shared(), controller);
    EXPECT_TRUE(controller->window()->isVisible());
}
