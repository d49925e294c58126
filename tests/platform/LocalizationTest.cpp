// SPDX-License-Identifier: MIT
#include "platform/Localization.h"

#include "platform/UserDefaults.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTranslator>
#include <QXmlStreamReader>

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

namespace {
struct TableMessage {
    QString context, source, comment;
    bool plural = false;
    bool finished = true; // has words, and is not marked unfinished
};

// The messages of a translation table refreshed from the sources, as the update_translations
// target refreshes it: texts the code no longer asks for are gone, and new or moved ones show up
// unfinished.
QList<TableMessage> refreshedTable(const QString& table) {
    const QString copy = TestEnvironment::instance().freshDir(QStringLiteral("ts")) + "/" + table;
    EXPECT_TRUE(QFile::copy(QStringLiteral(TINDRALUME_SOURCE_DIR "/resources/translations/") + table, copy));
    QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
    QProcess lupdate;
    lupdate.start(QStringLiteral(TINDRALUME_LUPDATE), {"-silent", "-locations", "none", "-no-obsolete",
                                                       QStringLiteral(TINDRALUME_SOURCE_DIR "/src"), "-ts", copy});
    EXPECT_TRUE(lupdate.waitForFinished(120000) && lupdate.exitCode() == 0) << lupdate.readAll().constData();
    QFile file(copy);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly));
    QList<TableMessage> messages;
    QString context;
    QXmlStreamReader xml(&file);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == QLatin1String("name")) {
            context = xml.readElementText();
        } else if (xml.name() == QLatin1String("message")) {
            messages.append({context, {}, {}, xml.attributes().value("numerus") == QLatin1String("yes")});
        } else if (xml.name() == QLatin1String("source")) {
            messages.last().source = xml.readElementText();
        } else if (xml.name() == QLatin1String("comment")) {
            messages.last().comment = xml.readElementText();
        } else if (xml.name() == QLatin1String("translation")) {
            const bool unfinished = xml.attributes().value("type") == QLatin1String("unfinished");
            // A plural translation holds its words in its forms.
            const QString text = xml.readElementText(QXmlStreamReader::IncludeChildElements);
            messages.last().finished = !unfinished && !text.trimmed().isEmpty();
        }
    }
    EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_FALSE(messages.isEmpty());
    return messages;
}
} // namespace

TEST(Localization, EveryTextTheCodeAsksForHasAFinishedChineseTranslation) {
    QTranslator compiled;
    ASSERT_TRUE(compiled.load(QStringLiteral("tindralume_zh_CN"), QStringLiteral(":/i18n")));
    for (const TableMessage& m : refreshedTable(QStringLiteral("tindralume_zh_CN.ts"))) {
        const QByteArray source = m.source.toUtf8(), comment = m.comment.toUtf8();
        EXPECT_TRUE(m.finished) << m.context.toStdString() << ": " << source.constData();
        EXPECT_FALSE(compiled
                         .translate(m.context.toUtf8().constData(), source.constData(),
                                    comment.isEmpty() ? nullptr : comment.constData(), m.plural ? 2 : -1)
                         .isEmpty())
            << m.context.toStdString() << ": " << source.constData();
    }
    // Keys that are not English text need their English words in the English table.
    static const QRegularExpression key(QStringLiteral("^[a-z]+(_[a-z]+)+$"));
    int keys = 0;
    for (const TableMessage& m : refreshedTable(QStringLiteral("tindralume_en.ts"))) {
        if (!key.match(m.source).hasMatch())
            continue;
        ++keys;
        EXPECT_TRUE(m.finished) << m.context.toStdString() << ": " << m.source.toStdString();
    }
    EXPECT_GE(keys, 4);
}
