// SPDX-License-Identifier: MIT
#include "linkpreview/BoundedHTTPDataLoader.h"

#include "linkpreview/AddressPolicy.h"

#include <QHostInfo>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

std::optional<QByteArray> HTTPURLResponse::value(const QByteArray& name) const {
    for (const auto& field : headerFields) {
        if (field.first.compare(name, Qt::CaseInsensitive) == 0)
            return field.second;
    }
    return std::nullopt;
}

namespace {

// Statuses the manager reports as errors although the server answered; the status tells the owner.
bool isHTTPStatusError(QNetworkReply::NetworkError error) {
    return (error >= QNetworkReply::ContentAccessDenied && error <= QNetworkReply::UnknownContentError) ||
           error == QNetworkReply::ProtocolInvalidOperationError ||
           (error >= QNetworkReply::InternalServerError && error <= QNetworkReply::UnknownServerError);
}

// A redirect answer; its head is not the response the owner judges.
bool isFollowedRedirect(QNetworkReply* reply) {
    switch (reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt()) {
    case 301:
    case 302:
    case 303:
    case 305:
    case 307:
    case 308:
        return !reply->rawHeader("Location").isEmpty();
    default:
        return false;
    }
}

} // namespace

BoundedHTTPDataLoader::BoundedHTTPDataLoader(qint64 maximumBytes, bool allowsTruncatedData, Validator responseValidator,
                                             Completion completion)
    : m_maximumBytes(maximumBytes), m_allowsTruncatedData(allowsTruncatedData),
      m_responseValidator(std::move(responseValidator)), m_completion(std::move(completion)) {}

BoundedHTTPDataLoader::~BoundedHTTPDataLoader() = default;

void BoundedHTTPDataLoader::start(const HTTPRequest& request, const Limits& limits) {
    const QString scheme = request.url.scheme().toLower();
    if (scheme != u"http" && scheme != u"https") {
        // Only HTTP is spoken: anything else is a response that is not HTTP, and nothing is read.
        QMetaObject::invokeMethod(
            this, [this] { finish(std::nullopt, std::nullopt, std::nullopt); }, Qt::QueuedConnection);
        return;
    }
    m_request = request;
    m_redirectsLeft = limits.maxRedirects;
    m_isForbiddenAddress = limits.isForbiddenAddress ? limits.isForbiddenAddress : &AddressPolicy::isForbiddenAddress;

    m_session = new QNetworkAccessManager(this);
    m_session->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);

    m_idleTimer = new QTimer(this);
    m_idleTimer->setSingleShot(true);
    m_idleTimer->setInterval(request.timeoutMs);
    connect(m_idleTimer, &QTimer::timeout, this, &BoundedHTTPDataLoader::timedOut);
    m_totalTimer = new QTimer(this);
    m_totalTimer->setSingleShot(true);
    m_totalTimer->setInterval(limits.totalTimeoutMs);
    connect(m_totalTimer, &QTimer::timeout, this, &BoundedHTTPDataLoader::timedOut);
    m_idleTimer->start();
    m_totalTimer->start();
    // Asynchronous like every later step, so the completion never runs inside start().
    QMetaObject::invokeMethod(
        this, [this, url = request.url] { startHop(url); }, Qt::QueuedConnection);
}

void BoundedHTTPDataLoader::refuse(const QString& description) {
    finish(std::nullopt, std::nullopt, LoadError{LoadError::Refused, description});
}

void BoundedHTTPDataLoader::startHop(const QUrl& url) {
    if (m_isFinished)
        return;
    m_currentURL = url;
    const QString host = url.host();
    if (host.isEmpty()) {
        finish(std::nullopt, std::nullopt, LoadError{LoadError::Unsupported, QStringLiteral("unsupported URL")});
        return;
    }
    if (AddressPolicy::isForbiddenHostName(host)) {
        refuse(QStringLiteral("The host %1 is not allowed.").arg(host));
        return;
    }
    const QHostAddress literal(host);
    if (!literal.isNull()) {
        connectHop(url, {literal});
        return;
    }
    QHostInfo::lookupHost(host, this, [this, url](const QHostInfo& info) {
        if (m_isFinished)
            return;
        if (info.error() != QHostInfo::NoError || info.addresses().isEmpty()) {
            finish(std::nullopt, std::nullopt,
                   LoadError{LoadError::Network,
                             QStringLiteral("A server with the specified hostname could not be found.")});
            return;
        }
        connectHop(url, info.addresses());
    });
}

void BoundedHTTPDataLoader::connectHop(const QUrl& url, const QList<QHostAddress>& addresses) {
    // Every address counts: a name that also resolves to a forbidden one is not trusted with any.
    for (const QHostAddress& address : addresses) {
        if (m_isForbiddenAddress(address)) {
            refuse(QStringLiteral("The address %1 of %2 is not allowed.").arg(address.toString(), url.host()));
            return;
        }
    }
    m_addresses = addresses;
    m_addressIndex = 0;
    connectTo(url, m_addresses.first());
}

// A host with several addresses is tried address by address while none answers, as a browser does.
bool BoundedHTTPDataLoader::tryNextAddress() {
    if (m_headJudged || m_addressIndex + 1 >= m_addresses.size())
        return false;
    switch (m_task->error()) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::UnknownNetworkError:
        break;
    default:
        return false;
    }
    QNetworkReply* old = m_task;
    m_task = nullptr;
    disconnect(old, nullptr, this, nullptr);
    old->deleteLater();
    connectTo(m_currentURL, m_addresses.at(++m_addressIndex));
    return true;
}

void BoundedHTTPDataLoader::connectTo(const QUrl& url, const QHostAddress& address) {
    QUrl pinned = url;
    pinned.setHost(address.toString());
    QNetworkRequest networkRequest(pinned);
    for (const auto& field : m_request.headerFields)
        networkRequest.setRawHeader(field.first, field.second);
    QByteArray hostField = url.host(QUrl::FullyEncoded).toUtf8();
    if (QHostAddress(url.host()).protocol() == QAbstractSocket::IPv6Protocol)
        hostField = '[' + hostField + ']';
    if (url.port() != -1)
        hostField += ':' + QByteArray::number(url.port());
    networkRequest.setRawHeader("Host", hostField);
    // The certificate is checked against the name linked, not the address connected to.
    if (url.scheme().compare(u"https", Qt::CaseInsensitive) == 0)
        networkRequest.setPeerVerifyName(url.host());
    // HTTP/2 would name the address instead: Qt takes its :authority from the URL and drops Host,
    // and servers that route by name answer 421 or serve another site. Each load makes one request
    // per connection, so HTTP/2 has nothing to multiplex here.
    networkRequest.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    networkRequest.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                                m_request.preferCache ? QNetworkRequest::PreferCache : QNetworkRequest::PreferNetwork);
    networkRequest.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    // No cookie is kept or sent, not even from one redirect of the same load to the next.
    networkRequest.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    networkRequest.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);

    m_task = m_session->get(networkRequest);
    // Keep the manager from buffering the whole body ahead of us; the limit is applied as we read.
    m_task->setReadBufferSize(256 * 1024);
    auto activity = [this] {
        if (!m_isFinished)
            m_idleTimer->start();
    };
    connect(m_task, &QNetworkReply::metaDataChanged, this, [this, activity] {
        activity();
        responseHead();
    });
    connect(m_task, &QNetworkReply::readyRead, this, [this, activity] {
        activity();
        bodyBytes();
    });
    connect(m_task, &QNetworkReply::downloadProgress, this, activity);
    connect(m_task, &QNetworkReply::finished, this, &BoundedHTTPDataLoader::taskCompleted);
}

std::optional<QUrl> BoundedHTTPDataLoader::redirectTarget(const QUrl& current, const QByteArray& location) {
    const QUrl target = current.resolved(QUrl(QString::fromUtf8(location)));
    const QString scheme = target.scheme().toLower();
    if (!target.isValid() || target.host().isEmpty() || (scheme != u"http" && scheme != u"https"))
        return std::nullopt;
    return target;
}

// A redirect answer: the next hop starts, through the same checks. Returns false when the load
// ended instead.
bool BoundedHTTPDataLoader::followRedirect() {
    const auto target = redirectTarget(m_currentURL, m_task->rawHeader("Location"));
    QNetworkReply* old = m_task;
    m_task = nullptr;
    disconnect(old, nullptr, this, nullptr);
    old->abort();
    old->deleteLater();
    if (m_redirectsLeft <= 0) {
        finish(std::nullopt, std::nullopt, LoadError{LoadError::Network, QStringLiteral("too many HTTP redirects")});
        return false;
    }
    --m_redirectsLeft;
    if (!target) {
        finish(std::nullopt, std::nullopt, LoadError{LoadError::Unsupported, QStringLiteral("unsupported URL")});
        return false;
    }
    startHop(*target);
    return true;
}

void BoundedHTTPDataLoader::responseHead() {
    if (m_isFinished || m_headJudged)
        return;
    if (isFollowedRedirect(m_task)) {
        followRedirect();
        return;
    }
    judgeHead();
}

// Returns true when the load may go on.
bool BoundedHTTPDataLoader::judgeHead() {
    m_headJudged = true;
    const QVariant status = m_task->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid()) {
        finish(std::nullopt, std::nullopt, std::nullopt);
        return false;
    }
    HTTPURLResponse response;
    response.url = m_currentURL;
    response.statusCode = status.toInt();
    response.headerFields = m_task->rawHeaderPairs();
    if (auto type = response.value("Content-Type"))
        response.mimeType = QString::fromLatin1(type->split(';').first().trimmed()).toLower();
    if (auto length = response.value("Content-Length")) {
        bool ok = false;
        const qint64 value = length->trimmed().toLongLong(&ok);
        if (ok && value >= 0)
            response.expectedContentLength = value;
    }
    if (!m_responseValidator(response)) {
        finish(std::nullopt, response, std::nullopt);
        return false;
    }
    m_response = response;
    if (!m_allowsTruncatedData && response.expectedContentLength > m_maximumBytes) {
        finish(std::nullopt, m_response, std::nullopt);
        return false;
    }
    return true;
}

void BoundedHTTPDataLoader::bodyBytes() {
    if (m_isFinished)
        return;
    if (!m_headJudged) {
        if (isFollowedRedirect(m_task)) {
            followRedirect();
            return;
        }
        if (!judgeHead())
            return;
    }
    while (!m_isFinished && m_task->bytesAvailable() > 0) {
        const qint64 room = m_maximumBytes - m_receivedData.size();
        if (room <= 0) {
            finishAtLimit();
            return;
        }
        m_receivedData.append(m_task->read(qMin(room, m_task->bytesAvailable())));
        if (m_receivedData.size() >= m_maximumBytes) {
            finishAtLimit();
            return;
        }
    }
}

void BoundedHTTPDataLoader::taskCompleted() {
    if (m_isFinished)
        return;
    if (!m_headJudged && isFollowedRedirect(m_task)) {
        followRedirect();
        return;
    }
    if (tryNextAddress())
        return;
    const auto error = m_task->error();
    const bool answered = m_task->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
    if (answered || error == QNetworkReply::NoError) {
        if (!m_headJudged && !judgeHead())
            return;
        bodyBytes();
        if (m_isFinished)
            return;
    }
    // An error status comes with the manager's error for it; that is the owner's to judge. Any
    // other error (a broken or over-inflating compressed body, too) is a failed load.
    if (error == QNetworkReply::NoError || (m_response && m_response->statusCode >= 400 && isHTTPStatusError(error))) {
        finish(m_receivedData, m_response, std::nullopt);
        return;
    }
    finish(std::nullopt, m_response, LoadError{LoadError::Network, m_task->errorString()});
}

void BoundedHTTPDataLoader::timedOut() {
    finish(std::nullopt, m_response, LoadError{LoadError::TimedOut, QStringLiteral("The request timed out.")});
}

void BoundedHTTPDataLoader::finishAtLimit() {
    if (m_allowsTruncatedData)
        finish(m_receivedData, m_response, std::nullopt);
    else
        finish(std::nullopt, m_response, std::nullopt);
}

void BoundedHTTPDataLoader::finish(std::optional<QByteArray> body, std::optional<HTTPURLResponse> response,
                                   std::optional<LoadError> error) {
    if (m_isFinished)
        return;
    m_isFinished = true;
    if (m_idleTimer)
        m_idleTimer->stop();
    if (m_totalTimer)
        m_totalTimer->stop();
    if (m_task) {
        disconnect(m_task, nullptr, this, nullptr);
        m_task->abort();
    }
    auto completion = std::move(m_completion);
    m_completion = nullptr;
    if (completion)
        completion(std::move(body), std::move(response), std::move(error));
    deleteLater();
}
