// SPDX-License-Identifier: MIT
#include "platform/Localization.h"

#include "platform/UserDefaults.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

TEST(Localization, ChoosesTheFirstPreferredLanguageWithATable) {
    const struct {
        QStringList preferred;
        const char* table;
    } cases[] = {
        {{}, "en"},
        {{"fr-FR", "de"}, "en"},
        {{"zh-Hans"}, "zh_CN"},
        {{"zh-Hans-CN", "en"}, "zh_CN"},
        {{"zh_CN.UTF-8"}, "zh_CN"},
        {{"zh"}, "zh_CN"},
        {{"zh-Hant-TW", "zh-TW", "fr"}, "en"},
        {{"zh-Hant"}, "en"},
        {{"zh_Hant_TW"}, "en"},
        {{"zh-HK", "fr"}, "en"},
        {{"fr", "zh-CN"}, "zh_CN"},
        {{"en-GB", "zh-Hans"}, "en"},
        {{"", "  "}, "en"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Localization::chooseLanguage(c.preferred), QLatin1String(c.table))
            << c.preferred.join(',').toStdString();
}

TEST(Localization, StoredLanguagesDecideAndTheTablesAreBuiltIn) {
    UserDefaults::setStandardPath(TestEnvironment::instance().freshDir(QStringLiteral("l10n")) + "/t.conf");
    UserDefaults& defaults = UserDefaults::standard();
    EXPECT_EQ(Localization::preferredLanguages(), QLocale::system().uiLanguages());
    defaults.setValue(QStringLiteral("AppleLanguages"), QStringList{QStringLiteral("zh-Hans")});
    EXPECT_EQ(Localization::preferredLanguages(), QStringList{QStringLiteral("zh-Hans")});

    EXPECT_EQ(Localization::installTranslators(QCoreApplication::instance()), QLatin1String("zh_CN"));
    EXPECT_EQ(QCoreApplication::translate("AppDelegate", "Cancel", "Cancel button title"), QStringLiteral("取消"));
    // A text the Chinese table lacks falls back to its key.
    EXPECT_EQ(QCoreApplication::translate("AppDelegate", "no such text"), QStringLiteral("no such text"));
}
