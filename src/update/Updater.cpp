// SPDX-License-Identifier: MIT
#include "update/Updater.h"

#include "platform/Dispatch.h"
#include "platform/UserDefaults.h"
#include "update/AppcastFeed.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

Q_LOGGING_CATEGORY(lcUpdate, "tindralume.update", QtWarningMsg)

namespace {
bool isWebURL(const QUrl& url) {
    const QString scheme = url.scheme().toLower();
    return url.isValid() && (scheme == QLatin1String("http") || scheme == QLatin1String("https")) &&
           !url.host().isEmpty();
}

// Where a redirect answer points, resolved against the address that gave it.
QUrl redirectTarget(const QNetworkReply* reply) {
    return reply->url().resolved(QUrl::fromEncoded(reply->rawHeader("Location")));
}
} // namespace

Updater::Configuration Updater::Configuration::fromApplication() {
    Configuration configuration;
    UserDefaults& defaults = UserDefaults::standard();
    configuration.feedURL = defaults.objectExists(feedURLKey) ? defaults.string(feedURLKey).trimmed()
                                                              : QStringLiteral(TINDRALUME_UPDATE_FEED_URL);
    configuration.currentVersion = QCoreApplication::applicationVersion();
    return configuration;
}

UpdateCheckResult fetchUpdateCheck(const QString& feedURL, const QString& currentVersion, int checkTimeoutMs) {
    UpdateCheckResult result;
    result.currentVersion = currentVersion;
    if (feedURL.isEmpty()) {
        result.kind = UpdateCheckResult::NotConfigured;
        return result;
    }
    QNetworkAccessManager network;
    QNetworkRequest request{QUrl(feedURL)};
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(5);
    request.setTransferTimeout(Updater::transferTimeoutMs);
    QNetworkReply* reply = network.get(request);
    QByteArray body;
    bool tooLarge = false;
    bool tooSlow = false;
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, [&] {
        body += reply->readAll();
        if (body.size() > Updater::maxFeedBytes) {
            tooLarge = true;
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
        tooSlow = true;
        reply->abort();
    });
    deadline.start(checkTimeoutMs);
    if (!reply->isFinished())
        loop.exec();
    deadline.stop();
    if (!tooLarge && !tooSlow)
        body += reply->readAll();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (tooSlow) {
        result.error =
            QCoreApplication::translate("Updater", "The update feed did not finish loading within %1 seconds.")
                .arg((checkTimeoutMs + 999) / 1000);
    } else if (tooLarge) {
        result.error = QCoreApplication::translate("Updater", "The update feed is larger than %1 MB.")
                           .arg(Updater::maxFeedBytes / (1024 * 1024));
    } else if (status >= 300 && status < 400 && !isWebURL(redirectTarget(reply))) {
        result.error = QCoreApplication::translate(
            "Updater", "The update feed redirects to an address that is not http or https; it was not followed.");
    } else if (reply->error() == QNetworkReply::InsecureRedirectError) {
        result.error = QCoreApplication::translate(
            "Updater", "The update feed redirects from https to http; it was not followed.");
    } else if (status != 0 && status != 200) {
        result.error =
            QCoreApplication::translate("Updater", "The update feed could not be loaded: HTTP status %1").arg(status);
    } else if (reply->error() != QNetworkReply::NoError) {
        result.error =
            QCoreApplication::translate("Updater", "The update feed could not be loaded: %1").arg(reply->errorString());
    }
    delete reply;
    if (!result.error.isEmpty())
        return result;

    QString error;
    const std::optional<AppcastFeed::Item> newest = AppcastFeed::newestItem(body, &error);
    if (!newest) {
        result.error = error;
        return result;
    }
    result.latestVersion = newest->version;
    if (AppcastFeed::compareVersions(newest->version, currentVersion) > 0) {
        result.kind = UpdateCheckResult::UpdateAvailable;
        result.downloadPage = newest->downloadPage;
    } else {
        result.kind = UpdateCheckResult::UpToDate;
    }
    return result;
}

Updater::Updater(Configuration configuration, QObject* parent)
    : QObject(parent), m_configuration(std::move(configuration)), m_alive(std::make_shared<Alive>()) {
    m_alive->self = this;
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &Updater::checkInBackground);
}

Updater::~Updater() {
    QMutexLocker lock(&m_alive->mutex);
    m_alive->self = nullptr;
}

bool Updater::startUpdater(QString* error) {
    if (m_started)
        return true;
    if (!m_configuration.feedURL.isEmpty() && !isWebURL(QUrl(m_configuration.feedURL, QUrl::StrictMode))) {
        if (error)
            *error =
                QCoreApplication::translate("Updater", "The update feed address \"%1\" is not an http or https URL.")
                    .arg(m_configuration.feedURL);
        return false;
    }
    m_started = true;
    setCanCheck(true);
    scheduleNextCheck();
    return true;
}

bool Updater::automaticallyChecksForUpdates() const {
    return UserDefaults::standard().boolean(automaticChecksKey);
}

void Updater::setAutomaticallyChecksForUpdates(bool enabled) {
    if (enabled == automaticallyChecksForUpdates())
        return;
    UserDefaults::standard().setBool(automaticChecksKey, enabled);
    Q_EMIT automaticallyChecksForUpdatesChanged(enabled);
    scheduleNextCheck();
}

void Updater::scheduleNextCheck() {
    m_timer.stop();
    if (!m_started || !automaticallyChecksForUpdates() || m_configuration.feedURL.isEmpty())
        return;
    const qint64 last = UserDefaults::standard().integer(lastCheckKey);
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    const qint64 due = (last <= 0 || last > now) ? 0 : std::max<qint64>(0, last + checkIntervalSeconds - now);
    m_timer.start(int(std::min<qint64>(due, checkIntervalSeconds) * 1000));
}

void Updater::setCanCheck(bool canCheck) {
    if (m_canCheck.exchange(canCheck) != canCheck)
        Q_EMIT canCheckForUpdatesChanged(canCheck);
}

void Updater::checkForUpdates() {
    runCheck(true);
}

void Updater::checkInBackground() {
    runCheck(false);
}

void Updater::runCheck(bool userInitiated) {
    if (!m_started || !m_canCheck.load())
        return;
    setCanCheck(false);
    if (!userInitiated || !m_configuration.feedURL.isEmpty())
        UserDefaults::standard().setInteger(lastCheckKey, QDateTime::currentSecsSinceEpoch());
    const std::shared_ptr<Alive> alive = m_alive;
    const QString feed = m_configuration.feedURL;
    const QString version = m_configuration.currentVersion;
    const int timeoutMs = m_configuration.checkTimeoutMs;
    Dispatch::onGlobal([alive, feed, version, timeoutMs, userInitiated] {
        const UpdateCheckResult result = fetchUpdateCheck(feed, version, timeoutMs);
        QMutexLocker lock(&alive->mutex);
        Updater* self = alive->self;
        if (!self)
            return;
        qCInfo(lcUpdate) << "check finished:" << result.kind << result.latestVersion << result.error;
        // Reported from here; receivers on the main thread get queued calls.
        if (userInitiated)
            Q_EMIT self->userInitiatedCheckFinished(result);
        else if (result.kind == UpdateCheckResult::UpdateAvailable)
            Q_EMIT self->backgroundCheckFoundUpdate(result);
        self->setCanCheck(true);
        Dispatch::onMain(self, [self] { self->scheduleNextCheck(); });
    });
}
