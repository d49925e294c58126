// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;
class QTimer;

// The head of an HTTP response as the loader's owners judge it.
struct HTTPURLResponse {
    QUrl url; // after redirects
    int statusCode = 0;
    QString mimeType;                  // type/subtype of Content-Type, lowercased; empty when absent
    qint64 expectedContentLength = -1; // Content-Length, or -1 when not announced
    QList<QPair<QByteArray, QByteArray>> headerFields;

    // The value of a header field, looked up without regard to case.
    std::optional<QByteArray> value(const QByteArray& name) const;
};

// A transport failure or time-out.
struct LoadError {
    enum Code { TimedOut, Unsupported, Network, Refused };
    Code code = Network;
    QString localizedDescription;
};

// One HTTP request: the URL, the header fields in the order they are sent, and the idle time-out.
struct HTTPRequest {
    QUrl url;
    QList<QPair<QByteArray, QByteArray>> headerFields;
    int timeoutMs = 15000;
    bool preferCache = false; // no cache is ever kept; recorded for what the request asks
};

// Loads one HTTP resource into memory and never keeps more than maximumBytes of it. The response
// head is put to the validator before any body is kept; the completion runs exactly once, on the
// loader's thread, with (body, response, error). The loader deletes itself after finishing.
//
// It is a QObject living on the thread that calls start() (the service's network thread); each load
// has its own network manager, so no cookie, connection or credential outlives it, and no cache is
// used. Redirects are followed as a browser does, at most maxRedirects, from https to http too (no
// cookie or credential is ever sent). Before every connection, the first and each redirect's, the
// host name is resolved here and every address it has is put to the address check; the connection
// then goes to the checked address, so a name cannot resolve one way for the check and another for
// the connection. A refused address ends the load with a Refused error and no packet sent to it.
// The request still names the linked host everywhere a server routes by it: Host (HTTP/1.1 only),
// TLS server name and certificate check.
class BoundedHTTPDataLoader : public QObject {
public:
    using Validator = std::function<bool(const HTTPURLResponse&)>;
    using Completion = std::function<void(std::optional<QByteArray> body, std::optional<HTTPURLResponse> response,
                                          std::optional<LoadError> error)>;

    using AddressCheck = std::function<bool(const QHostAddress&)>; // true: never connect

    struct Limits {
        int totalTimeoutMs = 30000;
        int maxRedirects = 10;
        AddressCheck isForbiddenAddress; // none: the link-preview policy (AddressPolicy)
    };

    BoundedHTTPDataLoader(qint64 maximumBytes, bool allowsTruncatedData, Validator responseValidator,
                          Completion completion);
    ~BoundedHTTPDataLoader() override;

    // Starts the load; call on the thread the loader lives on, right after creation. The idle
    // time-out is the request's timeoutMs.
    void start(const HTTPRequest& request, const Limits& limits);

    qint64 maximumBytes() const { return m_maximumBytes; }
    // Where a redirect from current to location leads, when it is followed: http and https only,
    // in either direction.
    static std::optional<QUrl> redirectTarget(const QUrl& current, const QByteArray& location);
    bool allowsTruncatedData() const { return m_allowsTruncatedData; }

private:
    void startHop(const QUrl& url);
    void connectHop(const QUrl& url, const QList<QHostAddress>& addresses);
    void connectTo(const QUrl& url, const QHostAddress& address);
    bool tryNextAddress();
    bool followRedirect();
    void refuse(const QString& description);
    void responseHead();
    void bodyBytes();
    void taskCompleted();
    void timedOut();
    bool judgeHead();
    void finish(std::optional<QByteArray> body, std::optional<HTTPURLResponse> response,
                std::optional<LoadError> error);
    void finishAtLimit();

    const qint64 m_maximumBytes;
    const bool m_allowsTruncatedData;
    Validator m_responseValidator;
    Completion m_completion;
    QByteArray m_receivedData;
    std::optional<HTTPURLResponse> m_response;
    bool m_headJudged = false;
    bool m_isFinished = false;
    HTTPRequest m_request;
    QUrl m_currentURL; // the URL as linked, after the redirects so far
    int m_redirectsLeft = 0;
    AddressCheck m_isForbiddenAddress;
    QList<QHostAddress> m_addresses; // the checked addresses of the current host, tried in order
    qsizetype m_addressIndex = 0;
    QNetworkAccessManager* m_session = nullptr;
    QNetworkReply* m_task = nullptr;
    QTimer* m_idleTimer = nullptr;
    QTimer* m_totalTimer = nullptr;
};
