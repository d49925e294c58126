// SPDX-License-Identifier: MIT
#include "platform/Localization.h"

#include "platform/UserDefaults.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace {
const QString kAppleLanguages = QStringLiteral("AppleLanguages");

QString tableFor(const QString& language) {
    // BCP 47 ("zh-Hans-CN") and POSIX ("zh_CN.UTF-8") spellings alike.
    QString tag = language.trimmed().toLower();
    tag.replace(QLatin1Char('_'), QLatin1Char('-'));
    tag = tag.section(QLatin1Char('.'), 0, 0).section(QLatin1Char('@'), 0, 0);
    const QStringList parts = tag.split(QLatin1Char('-'), Qt::SkipEmptyParts);
    if (parts.isEmpty())
        return {};
    if (parts.first() == QLatin1String("en"))
        return QStringLiteral("en");
    if (parts.first() == QLatin1String("zh")) {
        // Traditional script or a region that writes it has no table of ours.
        const bool traditional = parts.contains(QLatin1String("hant")) || parts.contains(QLatin1String("tw")) ||
                                 parts.contains(QLatin1String("hk")) || parts.contains(QLatin1String("mo"));
        return traditional ? QString() : QStringLiteral("zh_CN");
    }
    return {};
}

bool loadTable(QCoreApplication* app, const QString& name, const QString& directory) {
    auto* translator = new QTranslator(app);
    if (!translator->load(name, directory) || !QCoreApplication::installTranslator(translator)) {
        delete translator;
        return false;
    }
    return true;
}
} // namespace

namespace Localization {

QStringList availableLanguages() {
    return {QStringLiteral("en"), QStringLiteral("zh_CN")};
}

QString chooseLanguage(const QStringList& preferredLanguages) {
    for (const QString& language : preferredLanguages) {
        const QString table = tableFor(language);
        if (!table.isEmpty())
            return table;
    }
    return QStringLiteral("en");
}

QStringList preferredLanguages() {
    const QStringList stored = UserDefaults::standard().stringList(kAppleLanguages);
    for (const QString& language : stored) {
        if (!language.trimmed().isEmpty())
            return stored;
    }
    return QLocale::system().uiLanguages();
}

QString installTranslators(QCoreApplication* app) {
    const QString chosen = chooseLanguage(preferredLanguages());
    loadTable(app, QStringLiteral("tindralume_en"), QStringLiteral(":/i18n"));
    if (chosen != QLatin1String("en")) {
        loadTable(app, QStringLiteral("qtbase_") + chosen, QLibraryInfo::path(QLibraryInfo::TranslationsPath));
        loadTable(app, QStringLiteral("tindralume_") + chosen, QStringLiteral(":/i18n"));
    }
    return chosen;
}

} // namespace Localization
