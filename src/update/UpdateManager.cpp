// SPDX-License-Identifier: MIT
#include "update/UpdateManager.h"

#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

UpdateManager& UpdateManager::shared() {
    static QPointer<UpdateManager> instance;
    if (!instance)
        instance = new UpdateManager(Updater::Configuration::fromApplication(), QCoreApplication::instance());
    return *instance;
}

UpdateManager::UpdateManager(const Updater::Configuration& configuration, QObject* parent)
    : QObject(parent), m_controller(new Updater(configuration, this)) {
    // Queued: the updater reports from its worker thread; the mirrors change here only.
    connect(m_controller, &Updater::canCheckForUpdatesChanged, this, &UpdateManager::setCanCheckForUpdates,
            Qt::QueuedConnection);
    connect(m_controller, &Updater::automaticallyChecksForUpdatesChanged, this,
            &UpdateManager::setAutomaticallyChecksForUpdates, Qt::QueuedConnection);
    connect(m_controller, &Updater::userInitiatedCheckFinished, this, &UpdateManager::showResult, Qt::QueuedConnection);
    connect(m_controller, &Updater::backgroundCheckFoundUpdate, this, &UpdateManager::showResult, Qt::QueuedConnection);
    // The initial values at once.
    m_canCheckForUpdates = m_controller->canCheckForUpdates();
    m_automaticallyChecksForUpdates = m_controller->automaticallyChecksForUpdates();
}

void UpdateManager::start() {
    QString error;
    if (m_controller->startUpdater(&error))
        return;
    auto* alert = new QMessageBox(QMessageBox::Critical, QCoreApplication::applicationName(), error, QMessageBox::Ok);
    showAlert(alert);
}

void UpdateManager::setCanCheckForUpdates(bool canCheck) {
    // Reports arrive in the order the updater made them, so the last one is its state.
    if (canCheck == m_canCheckForUpdates)
        return;
    m_canCheckForUpdates = canCheck;
    Q_EMIT canCheckForUpdatesChanged(canCheck);
}

void UpdateManager::setAutomaticallyChecksForUpdates(bool enabled) {
    if (enabled == m_automaticallyChecksForUpdates)
        return;
    m_automaticallyChecksForUpdates = enabled;
    Q_EMIT automaticallyChecksForUpdatesChanged(enabled);
}

void UpdateManager::showResult(const UpdateCheckResult& result) {
    auto* alert = new QMessageBox;
    alert->setWindowTitle(QCoreApplication::applicationName());
    switch (result.kind) {
    case UpdateCheckResult::UpdateAvailable: {
        alert->setIcon(QMessageBox::Information);
        alert->setText(tr("A new version of Tindralume is available!"));
        alert->setInformativeText(
            tr("Tindralume %1 is now available. You have %2.").arg(result.latestVersion, result.currentVersion));
        QPushButton* open = alert->addButton(tr("Open Download Page"), QMessageBox::AcceptRole);
        alert->addButton(tr("Later"), QMessageBox::RejectRole);
        const QUrl page = result.downloadPage;
        connect(open, &QPushButton::clicked, this, [page] { QDesktopServices::openUrl(page); });
        break;
    }
    case UpdateCheckResult::UpToDate:
        alert->setIcon(QMessageBox::Information);
        alert->setText(tr("You're up to date!"));
        alert->setInformativeText(
            tr("Tindralume %1 is currently the newest version available.").arg(result.currentVersion));
        alert->addButton(QMessageBox::Ok);
        break;
    case UpdateCheckResult::NotConfigured:
        alert->setIcon(QMessageBox::Information);
        alert->setText(tr("No update feed is configured."));
        alert->addButton(QMessageBox::Ok);
        break;
    case UpdateCheckResult::Failed:
        alert->setIcon(QMessageBox::Warning);
        alert->setText(tr("Update Error!"));
        alert->setInformativeText(result.error);
        alert->addButton(QMessageBox::Ok);
        break;
    }
    showAlert(alert);
}

void UpdateManager::showAlert(QMessageBox* alert) {
    // The words come partly from the feed and the network: never read as markup, whose images
    // would be loaded from wherever they name and whose links could be followed. The message box
    // passes its format to its main text only, so every label is set.
    alert->setTextFormat(Qt::PlainText);
    for (QLabel* label : alert->findChildren<QLabel*>())
        label->setTextFormat(Qt::PlainText);
    // Not modal: start-up and the event loop go on while it is open.
    alert->setAttribute(Qt::WA_DeleteOnClose);
    // Message boxes size themselves to their words: keep a title and a sentence on a line.
    alert->setStyleSheet(QStringLiteral("QLabel#qt_msgbox_label { min-width: 300px; }"));
    alert->setModal(false);
    if (m_alert)
        m_alert->close();
    m_alert = alert;
    alert->show();
    alert->raise();
    alert->activateWindow();
}
