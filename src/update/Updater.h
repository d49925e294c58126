// SPDX-License-Identifier: MIT
#pragma once

#include <QDateTime>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <atomic>
#include <memory>

// What one update check found.
struct UpdateCheckResult {
    // NotConfigured: there is no feed to check, which is no failure.
    enum Kind { UpdateAvailable, UpToDate, Failed, NotConfigured };
    Kind kind = Failed;
    QString currentVersion;
    QString latestVersion; // UpdateAvailable and UpToDate
    QUrl downloadPage;     // UpdateAvailable
    QString error;         // Failed
};

// Our updater: reads an appcast-style feed over HTTP and compares its newest version with ours. It
// never downloads or runs anything; a newer version is offered with its download page. Lives on the
// main thread; a check runs on a worker thread, which also reports the check's end, as the updater
// it stands in for does.
class Updater : public QObject {
    Q_OBJECT
public:
    static inline const QString feedURLKey = QStringLiteral("updateFeedURL");
    static inline const QString automaticChecksKey = QStringLiteral("automaticallyChecksForUpdates");
    static inline const QString lastCheckKey = QStringLiteral("lastUpdateCheckDate");
    static constexpr qint64 checkIntervalSeconds = 24 * 60 * 60;
    static constexpr qint64 maxFeedBytes = 2 * 1024 * 1024;
    static constexpr int transferTimeoutMs = 20000; // of silence
    static constexpr int checkTimeoutMs = 60000;    // for a whole check, redirects included

    struct Configuration {
        QString feedURL; // empty: none configured
        QString currentVersion;
        int checkTimeoutMs = Updater::checkTimeoutMs;
        // "updateFeedURL" from the settings, else the feed built into the program; the running
        // application's version.
        static Configuration fromApplication();
    };

    explicit Updater(Configuration configuration, QObject* parent = nullptr);
    ~Updater() override;

    // Validates the configuration and schedules the automatic checks. False, with the reason in
    // *error, for a feed URL that is not an http or https URL; an absent feed is no error here.
    bool startUpdater(QString* error);
    bool isStarted() const { return m_started; }

    bool canCheckForUpdates() const { return m_canCheck.load(); }
    bool automaticallyChecksForUpdates() const;
    void setAutomaticallyChecksForUpdates(bool enabled);

    // A check the user asked for: its result, whatever it is, goes to userInitiatedCheckFinished.
    void checkForUpdates();
    // A scheduled check: only a newer version is reported (backgroundCheckFoundUpdate).
    void checkInBackground();

Q_SIGNALS:
    // Emitted on the thread where the value changed (a worker at the end of a check).
    void canCheckForUpdatesChanged(bool canCheck);
    void automaticallyChecksForUpdatesChanged(bool enabled);
    void userInitiatedCheckFinished(const UpdateCheckResult& result);
    void backgroundCheckFoundUpdate(const UpdateCheckResult& result);

private:
    void runCheck(bool userInitiated);
    void scheduleNextCheck();
    void setCanCheck(bool canCheck);

    Configuration m_configuration;
    bool m_started = false;
    std::atomic<bool> m_canCheck{false};
    QTimer m_timer;
    // Guards the worker's report against the updater's destruction.
    struct Alive {
        QMutex mutex;
        Updater* self;
    };
    std::shared_ptr<Alive> m_alive;
};

// Fetches and reads the feed; blocking, for a worker thread. A check still running after
// checkTimeoutMs, however steadily its bytes come, is stopped and fails.
UpdateCheckResult fetchUpdateCheck(const QString& feedURL, const QString& currentVersion,
                                   int checkTimeoutMs = Updater::checkTimeoutMs);
