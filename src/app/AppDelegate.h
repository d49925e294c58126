// SPDX-License-Identifier: MIT
#pragma once

#include "platform/CrashReporter.h"

#include <QMessageBox>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

class ClipboardDataManager;
class ClipboardMonitor;
class HotKeyManager;
class ManagedObjectContext;
class PanelWindowController;
class SingleInstance;
class StatusBarManager;
struct StoreError;

// Builds and wires every long-lived component at launch, answers the termination question, saves
// at shutdown and clears the history on request. Main thread only; owns what it creates.
class AppDelegate : public QObject {
    Q_OBJECT
public:
    enum TerminateReply { TerminateCancel = 0, TerminateNow = 1 };

    // storePath: the store file; empty means ManagedObjectContext::defaultStorePath().
    explicit AppDelegate(const QString& storePath = QString(), QObject* parent = nullptr);
    ~AppDelegate() override;

    // Start-up. False when the process must end without going on, with exitStatus(): the store could
    // not be opened ("Unresolved error " was printed and shown in an alert), or a signal came while
    // the store was being checked (the store is left as it was). Events are handled while the store
    // is checked.
    bool setUpApplication();
    int exitStatus() const { return m_exitStatus; }
    // Shows the panel or the settings when a later launch asks; a request that comes while the store
    // is checked is carried out once the start is over.
    void answerLaterLaunches(SingleInstance& instance);
    void applyHistoryRetention();
    // Shutdown: stops polling, removes the observers, saves. Runs once, on QCoreApplication::aboutToQuit.
    void tearDown();
    // SIGTERM/SIGINT/SIGHUP: the shutdown above with one save and no question; a failed save prints its
    // line and makes the exit status 1 (a large copy given up for want of disk space does not).
    void terminateFromSignal();
    void clearHistory();
    void showPanelAfterLaunch();
    // False for a start at login: start-up then schedules no first show.
    void setShowsPanelAfterLaunch(bool shows) { m_showsPanelAfterLaunch = shows; }
    // The store, opened on first use; null when it cannot be opened.
    ManagedObjectContext* persistentContainer();
    void saveAction();
    TerminateReply terminateReply();
    void togglePanelFromHotKey();
    // The tray menu's commands, also reached without a tray (the panel's keys, a second launch).
    void openSettings();
    void quitApplication();
    static void configureCrashReporting(CrashReporter::Options& options);

    ClipboardDataManager* clipboardDataManager() const { return m_clipboardDataManager.get(); }
    ClipboardMonitor* clipboardMonitor() const { return m_clipboardMonitor.get(); }
    PanelWindowController* panelController() const { return m_panelController.get(); }
    HotKeyManager* hotKeyManager() const { return m_hotKeyManager.get(); }
    StatusBarManager* statusBarManager() const { return m_statusBarManager.get(); }

protected:
    // Every quit request (QCoreApplication::quit(), the session, SIGTERM/SIGINT) passes here first.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool presentError(const StoreError& error);
    // Runs fn now when the start is over, else once it is.
    void whenStarted(std::function<void()> fn);
    // The history cannot be saved for want of disk space: told once, without waiting for an answer.
    void showStoreFullAlert();
    // A large copy was given up for want of disk space: told without waiting, one alert at a time.
    void showEntryGivenUpAlert(qint64 bytes);
    void showStoreOpenFailure();
    // The first half of the shutdown; false when it already ran.
    bool stopForShutdown();

    // Each lives as long as the delegate; the destructor releases them users first, the store last.
    std::unique_ptr<HotKeyManager> m_hotKeyManager;
    std::unique_ptr<PanelWindowController> m_panelController;
    std::unique_ptr<ClipboardMonitor> m_clipboardMonitor;
    std::unique_ptr<ClipboardDataManager> m_clipboardDataManager;
    std::unique_ptr<StatusBarManager> m_statusBarManager;
    std::unique_ptr<ManagedObjectContext> m_persistentContainer;

    QPointer<QMessageBox> m_storeFullAlert;
    QPointer<QMessageBox> m_entryGivenUpAlert;
    QString m_storePath;
    bool m_showsPanelAfterLaunch = true;
    bool m_storeFailed = false;
    bool m_openingStore = false;
    bool m_started = false;
    std::vector<std::function<void()>> m_afterStart;
    int m_exitStatus = 0;
    QString m_storeFailure; // why the store could not be opened
    bool m_askingToTerminate = false;
    bool m_terminating = false;
    bool m_endedBySignal = false;
    bool m_tornDown = false;
};
