// SPDX-License-Identifier: MIT
#include "app/AppDelegate.h"

#include "app/SingleInstance.h"
#include "common/AppNames.h"
#include "history/ClipboardDataManager.h"
#include "history/ClipboardMonitor.h"
#include "history/store/ManagedObjectContext.h"
#include "history/store/StoreFiles.h"
#include "hotkey/HotKeyManager.h"
#include "panel/PanelWindowController.h"
#include "platform/Console.h"
#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"
#include "platform/Pasteboard.h"
#include "platform/UserDefaults.h"
#include "settings/SettingsWindowController.h"
#include "statusbar/StatusBarManager.h"
#include "update/UpdateManager.h"

#include <QApplication>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

#include <utility>

namespace {
constexpr int kDefaultRetentionDays = 30;

// Store errors carry file names and SQLite's words: never read as markup. The message box passes
// its format to its main text only, so every label is set.
void showAsPlainText(QMessageBox& box) {
    box.setTextFormat(Qt::PlainText);
    for (QLabel* label : box.findChildren<QLabel*>())
        label->setTextFormat(Qt::PlainText);
}
} // namespace

AppDelegate::AppDelegate(const QString& storePath, QObject* parent) : QObject(parent), m_storePath(storePath) {
    if (auto* app = QCoreApplication::instance()) {
        app->installEventFilter(this);
        connect(app, &QCoreApplication::aboutToQuit, this, &AppDelegate::tearDown);
    }
}

AppDelegate::~AppDelegate() {
    NotificationCenter::defaultCenter().removeObserver(this);
    SettingsWindowController::setHotKeyManager(nullptr);
    // The tray item holds the panel controller, and the panel reads through the store manager.
    m_statusBarManager.reset();
    m_panelController.reset();
    // The monitor holds the manager and the manager the context: release them in that order.
    m_clipboardMonitor.reset();
    m_clipboardDataManager.reset();
    m_persistentContainer.reset();
}

bool AppDelegate::setUpApplication() {
    // 1. Updates: a failed start is shown and start-up goes on.
    UpdateManager::shared().start();

    // 2. Defaults.
    UserDefaults::standard().registerDefaults({{DefaultsKeys::reverseScrollDirection, false}});

    // 3. Crash reporting.
    CrashReporter::start(&AppDelegate::configureCrashReporting);

    // Hot key, ahead of its turn (10): registered before the store is checked, so that a press while
    // the check runs is answered once the start is done. The callback holds the delegate weakly.
    m_hotKeyManager = std::make_unique<HotKeyManager>();
    m_hotKeyManager->setup([self = QPointer<AppDelegate>(this)] {
        if (self)
            self->whenStarted([self] {
                if (self)
                    self->togglePanelFromHotKey();
            });
    });

    // 4. Store.
    ManagedObjectContext* viewContext = persistentContainer();
    if (!viewContext) {
        m_hotKeyManager.reset();
        if (!m_storeFailure.isEmpty()) {
            showStoreOpenFailure();
            m_exitStatus = 1;
        }
        return false;
    }

    // 5. Store manager.
    m_clipboardDataManager = std::make_unique<ClipboardDataManager>(viewContext);

    // 6. Retention clean-up, once per launch, before anything can show or add entries.
    applyHistoryRetention();

    // 7. Panel controller; its window is made on the first show.
    m_panelController = std::make_unique<PanelWindowController>();
    // 8. Its store manager, before the first show hands it to the panel's view.
    m_panelController->setDataManager(m_clipboardDataManager.get());

    // 9. Monitor: what is on the pasteboard now is never recorded.
    m_clipboardMonitor =
        std::make_unique<ClipboardMonitor>(m_clipboardDataManager.get(), Pasteboard::general().changeCount());
    m_clipboardMonitor->startMonitoring();
    m_clipboardDataManager->setClipboardMonitor(m_clipboardMonitor.get());

    // 10. Hot key (registered above). The shortcut recorder releases and re-registers it.
    SettingsWindowController::setHotKeyManager(m_hotKeyManager.get());

    // 11. Delayed first show, except at login.
    if (m_showsPanelAfterLaunch)
        showPanelAfterLaunch();

    // 12. Tray icon and its menu.
    m_statusBarManager = std::make_unique<StatusBarManager>(m_panelController.get());
    m_statusBarManager->setupStatusItem();
    m_panelController->setMenuCommands([this] { openSettings(); }, [this] { quitApplication(); });

    // 13. "Clear History".
    NotificationCenter::defaultCenter().addObserver(this, Notifications::clearClipboardHistory,
                                                    [this](const Notification&) { clearHistory(); });
    NotificationCenter::defaultCenter().addObserver(this, Notifications::historyStoreFull,
                                                    [this](const Notification&) { showStoreFullAlert(); });
    NotificationCenter::defaultCenter().addObserver(
        this, Notifications::historyEntryGivenUp, [this](const Notification& n) {
            showEntryGivenUpAlert(n.userInfo.value(Notifications::bytesKey).toLongLong());
        });
    m_started = true;
    for (const auto& fn : std::exchange(m_afterStart, {}))
        fn();
    return true;
}

void AppDelegate::answerLaterLaunches(SingleInstance& instance) {
    connect(&instance, &SingleInstance::activationRequested, this, [this] {
        whenStarted([this] {
            if (m_panelController)
                m_panelController->showPanel();
        });
    });
    connect(&instance, &SingleInstance::settingsRequested, this, [this] { whenStarted([this] { openSettings(); }); });
}

void AppDelegate::whenStarted(std::function<void()> fn) {
    if (m_started)
        fn();
    else
        m_afterStart.push_back(std::move(fn));
}

void AppDelegate::configureCrashReporting(CrashReporter::Options& options) {
    options.dsn = CrashReporter::defaultDsn();
    options.debug = false;
    options.enableAppHangTracking = false;
    options.tracesSampleRate = 1.0;
}

ManagedObjectContext* AppDelegate::persistentContainer() {
    // Asked again while the store is checked (by a signal or a quit request): there is none yet.
    if (m_persistentContainer || m_storeFailed || m_openingStore)
        return m_persistentContainer.get();
    const QString path = m_storePath.isEmpty() ? ManagedObjectContext::defaultStorePath() : m_storePath;
    // The folder holds the whole history; an older version made it readable by others.
    StoreFiles::restrictFolderToOwner(QFileInfo(path).absolutePath());
    StoreError error;
    // A second launch and a signal are answered while the store is checked.
    m_openingStore = true;
    m_persistentContainer = ManagedObjectContext::open(path, &error, QuickCheck::Wait::HandlingEvents);
    m_openingStore = false;
    if (!m_persistentContainer) {
        m_storeFailed = true;
        // The application is quitting: nothing failed, and there is nothing to tell.
        if (error.code == ManagedObjectContext::kOpenAbandoned)
            return nullptr;
        m_storeFailure = error.description();
        consoleLine(QStringLiteral("Unresolved error ") + m_storeFailure);
    }
    return m_persistentContainer.get();
}

void AppDelegate::applyHistoryRetention() {
    if (!m_clipboardDataManager)
        return;
    UserDefaults& defaults = UserDefaults::standard();
    const qint64 days = defaults.objectExists(DefaultsKeys::historyRetentionDays)
                            ? defaults.integer(DefaultsKeys::historyRetentionDays)
                            : kDefaultRetentionDays;
    if (days < 1)
        return;
    m_clipboardDataManager->deleteItemsOlderThan(static_cast<int>(std::min<qint64>(days, INT_MAX)));
}

void AppDelegate::showPanelAfterLaunch() {
    Dispatch::afterOnMain(500, this, [this] {
        if (m_panelController)
            m_panelController->showPanel();
    });
}

void AppDelegate::openSettings() {
    // Asked from a second launch or the tray while the panel shows: the panel lies above every
    // window and holds the keyboard, so the settings window would open under it, deaf to keys.
    if (m_panelController && m_panelController->isVisible())
        m_panelController->hidePanel();
    if (m_statusBarManager)
        m_statusBarManager->openSettings();
}

void AppDelegate::quitApplication() {
    if (m_statusBarManager)
        m_statusBarManager->quitApplication();
}

void AppDelegate::togglePanelFromHotKey() {
    if (!m_panelController)
        return;
    if (m_panelController->isVisible())
        m_panelController->hidePanel();
    else
        m_panelController->showPanel();
}

void AppDelegate::clearHistory() {
    // Whoever asked learns whether the history is really gone.
    const bool cleared = m_clipboardDataManager && m_clipboardDataManager->clearAllHistory();
    NotificationCenter::defaultCenter().post(Notifications::clipboardHistoryDidClear, nullptr,
                                             {{Notifications::clearedKey, cleared}});
}

void AppDelegate::tearDown() {
    if (!stopForShutdown())
        return;
    saveAction();
    if (m_clipboardDataManager)
        m_clipboardDataManager->finishStoreSpace();
}

bool AppDelegate::stopForShutdown() {
    if (m_tornDown)
        return false;
    m_tornDown = true;
    if (m_clipboardMonitor)
        m_clipboardMonitor->stopMonitoring();
    NotificationCenter::defaultCenter().removeObserver(this);
    return true;
}

void AppDelegate::terminateFromSignal() {
    if (m_terminating)
        return;
    // Nobody may be there to answer: the session is ending or a terminal pressed Ctrl+C.
    m_terminating = true;
    m_endedBySignal = true;
    bool saved = true;
    ManagedObjectContext* context = stopForShutdown() ? persistentContainer() : nullptr;
    if (context && m_clipboardDataManager && !m_clipboardDataManager->finishLargeSaves(true))
        saved = false;
    StoreError error;
    if (context && context->hasChanges() && !context->save(&error)) {
        consoleLine(QStringLiteral("Error saving context: ") + error.description());
        saved = false;
    }
    if (context && m_clipboardDataManager)
        m_clipboardDataManager->finishStoreSpace();
    m_exitStatus = saved ? 0 : 1;
    QCoreApplication::exit(m_exitStatus);
}

void AppDelegate::saveAction() {
    // Nothing edits outside the context (no editors to commit), so committing cannot fail here.
    ManagedObjectContext* context = persistentContainer();
    if (m_clipboardDataManager)
        m_clipboardDataManager->finishLargeSaves(true);
    if (!context || !context->hasChanges())
        return;
    StoreError error;
    if (!context->save(&error))
        presentError(error);
}

void AppDelegate::showStoreFullAlert() {
    // One alert at a time, and it never waits for an answer: copying goes on behind it.
    if (m_storeFullAlert)
        return;
    auto* alert = new QMessageBox(QMessageBox::Warning, QCoreApplication::applicationName(),
                                  tr("The clipboard history cannot be saved: the disk is full."), QMessageBox::Ok);
    alert->setInformativeText(
        tr("New copies are kept and saved as soon as there is space again; quitting before then loses them."));
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setModal(false);
    m_storeFullAlert = alert;
    alert->show();
}

void AppDelegate::showEntryGivenUpAlert(qint64 bytes) {
    if (m_entryGivenUpAlert)
        return;
    const QString size = QLocale().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
    auto* alert = new QMessageBox(
        QMessageBox::Warning, QCoreApplication::applicationName(),
        tr("A copy of %1 was not saved in the clipboard history: the disk has no room for it.").arg(size),
        QMessageBox::Ok);
    alert->setInformativeText(
        tr("Saving it needs about twice its size in free disk space. The copies made after it are saved."));
    alert->setAttribute(Qt::WA_DeleteOnClose);
    alert->setModal(false);
    m_entryGivenUpAlert = alert;
    alert->show();
}

void AppDelegate::showStoreOpenFailure() {
    // Started from a menu, nobody reads standard output: the reason is shown before the process ends.
    QMessageBox alert(QMessageBox::Critical, QCoreApplication::applicationName(),
                      tr("Tindralume cannot open its clipboard history and will quit."), QMessageBox::Ok);
    alert.setInformativeText(m_storeFailure);
    showAsPlainText(alert);
    alert.exec();
}

bool AppDelegate::presentError(const StoreError& error) {
    QMessageBox box(QMessageBox::Critical, QCoreApplication::applicationName(), error.description(), QMessageBox::Ok);
    showAsPlainText(box);
    box.exec();
    // Our errors offer no recovery.
    return false;
}

AppDelegate::TerminateReply AppDelegate::terminateReply() {
    ManagedObjectContext* context = persistentContainer();
    // What waits for the writer thread is saved in its turn, and its own write is not waited for
    // by the save below.
    if (m_clipboardDataManager)
        m_clipboardDataManager->finishLargeSaves(true);
    if (!context || !context->hasChanges())
        return TerminateNow;
    StoreError error;
    if (context->save(&error))
        return TerminateNow;
    if (presentError(error))
        return TerminateCancel;

    QMessageBox alert;
    alert.setWindowTitle(QCoreApplication::applicationName());
    alert.setText(QCoreApplication::translate("AppDelegate", "Could not save changes while quitting. Quit anyway?",
                                              "Quit without saves error question message"));
    alert.setInformativeText(QCoreApplication::translate(
        "AppDelegate", "Quitting now will lose any changes you have made since the last successful save",
        "Quit without saves error question info"));
    QPushButton* quitButton = alert.addButton(
        QCoreApplication::translate("AppDelegate", "Quit anyway", "Quit anyway button title"), QMessageBox::AcceptRole);
    QPushButton* cancelButton = alert.addButton(
        QCoreApplication::translate("AppDelegate", "Cancel", "Cancel button title"), QMessageBox::RejectRole);
    alert.setDefaultButton(quitButton);
    alert.setEscapeButton(cancelButton);
    alert.exec();
    return alert.clickedButton() == cancelButton ? TerminateCancel : TerminateNow;
}

bool AppDelegate::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::Quit && watched == QCoreApplication::instance()) {
        // A signal has ended the run and set its exit status, also under a question the user was
        // asked: a Quit event would set the status to 0.
        if (m_endedBySignal)
            return true;
        // Qt delivers one request as up to two Quit events (the platform's, then its own): once the
        // answer is "now", the rest pass without asking again.
        if (m_terminating)
            return QObject::eventFilter(watched, event);
        // An ignored Quit event is what cancels the quit; a request while the user is still being
        // asked changes nothing.
        if (m_askingToTerminate) {
            event->ignore();
            return true;
        }
        m_askingToTerminate = true;
        const TerminateReply reply = terminateReply();
        m_askingToTerminate = false;
        if (m_endedBySignal)
            return true;
        if (reply == TerminateCancel) {
            event->ignore();
            return true;
        }
        m_terminating = true;
    }
    return QObject::eventFilter(watched, event);
}
