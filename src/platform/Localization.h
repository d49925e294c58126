// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>

class QCoreApplication;

// The interface language: the translation tables built into the program, and the choice among
// them made once at start-up from "AppleLanguages" in our settings, else the system's languages.
namespace Localization {

// The languages the program has a table for, as table suffixes ("en", "zh_CN").
QStringList availableLanguages();

// The table for the first preferred language we have one for ("zh-Hans", "zh-CN" and "zh" name
// Simplified Chinese; "en-GB" names English); "en" when none matches.
QString chooseLanguage(const QStringList& preferredLanguages);

// "AppleLanguages" from the standard user defaults when it holds a language, else the system
// locale's interface languages.
QStringList preferredLanguages();

// Installs the English table (it holds the English texts of keys that are not English themselves)
// and, when another language is chosen, that table above it, plus Qt's own table for it when the
// system has one. Returns the chosen table's suffix. Call once, before any window exists.
QString installTranslators(QCoreApplication* app);

} // namespace Localization
