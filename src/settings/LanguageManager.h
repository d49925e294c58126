// SPDX-License-Identifier: MIT
#pragma once

// The stored choice to run in English ("forceEnglish"), applied to "AppleLanguages" in our settings,
// which decides the translation loaded at the next start. Nothing is reloaded now. Main thread only.
class LanguageManager {
public:
    // Created on first use; applying the stored choice is part of creating it.
    static LanguageManager& shared();

    LanguageManager();

    bool forceEnglish() const { return m_forceEnglish; }
    void setForceEnglish(bool forceEnglish);
    void applyLanguage();

private:
    bool m_forceEnglish = false;
};
