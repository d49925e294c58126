// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>

class QCheckBox;
class QPushButton;
class UpdateManager;

// The About page: icon, name, version, tagline, the update button and checkbox, a footer line.
// Building it creates the shared language manager, which applies the stored language choice.
class AboutSettingsView : public QWidget {
    Q_OBJECT
public:
    explicit AboutSettingsView(UpdateManager& updateManager, QWidget* parent = nullptr);

    // "Version x.y.z (n)" in the interface language: the application's version ("1.0.0" when unset)
    // and build number (the application property "buildNumber", "0" when unset).
    static QString versionText();

    QPushButton* checkForUpdatesButton() const { return m_checkButton; }
    QCheckBox* automaticChecksToggle() const { return m_automaticChecks; }

    void checkForUpdates();
    void setAutomaticChecks(bool enabled);

private:
    void refresh();

    UpdateManager& m_updateManager;
    QPushButton* m_checkButton;
    QCheckBox* m_automaticChecks;
};
