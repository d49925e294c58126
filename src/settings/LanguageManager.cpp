// SPDX-License-Identifier: MIT
#include "settings/LanguageManager.h"

#include "common/AppNames.h"
#include "platform/UserDefaults.h"

#include <QStringList>

LanguageManager& LanguageManager::shared() {
    static LanguageManager instance;
    return instance;
}

LanguageManager::LanguageManager() : m_forceEnglish(UserDefaults::standard().boolean(DefaultsKeys::forceEnglish)) {
    applyLanguage();
}

void LanguageManager::setForceEnglish(bool forceEnglish) {
    m_forceEnglish = forceEnglish;
    UserDefaults::standard().setBool(DefaultsKeys::forceEnglish, forceEnglish);
    applyLanguage();
}

void LanguageManager::applyLanguage() {
    UserDefaults& defaults = UserDefaults::standard();
    if (m_forceEnglish)
        defaults.setValue(DefaultsKeys::appleLanguages, QStringList{QStringLiteral("en")});
    else
        defaults.remove(DefaultsKeys::appleLanguages);
}
