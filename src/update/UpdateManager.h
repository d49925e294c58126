// SPDX-License-Identifier: MIT
#pragma once

#include "update/Updater.h"

#include <QObject>
#include <QPointer>

#include <QMessageBox>

// The application's one updater, started at launch, with two of its values mirrored for the
// settings views. The mirrors change on the main thread only, whatever thread the updater reports
// from. Also the updater's user interface: the result of a check the user asked for, a newer version
// found by a scheduled check, and a failed start are shown in alerts. Main thread only.
class UpdateManager : public QObject {
    Q_OBJECT
public:
    // Created on first use from the application's configuration; lives as long as the application.
    static UpdateManager& shared();

    explicit UpdateManager(const Updater::Configuration& configuration, QObject* parent = nullptr);

    // Starts the updater; a failure is shown to the user and the application goes on without it.
    void start();

    bool canCheckForUpdates() const { return m_canCheckForUpdates; }
    bool automaticallyChecksForUpdates() const { return m_automaticallyChecksForUpdates; }
    Updater* controller() const { return m_controller; }

    // The alert shown last (a check's result or the start failure), while it is open.
    QMessageBox* currentAlert() const { return m_alert; }

Q_SIGNALS:
    void canCheckForUpdatesChanged(bool canCheck);
    void automaticallyChecksForUpdatesChanged(bool enabled);

private:
    void setCanCheckForUpdates(bool canCheck);
    void setAutomaticallyChecksForUpdates(bool enabled);
    void showResult(const UpdateCheckResult& result);
    void showAlert(QMessageBox* alert);

    bool m_canCheckForUpdates = false;
    bool m_automaticallyChecksForUpdates = false;
    Updater* m_controller = nullptr; // child
    QPointer<QMessageBox> m_alert;
};
