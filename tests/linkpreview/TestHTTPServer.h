// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QSslConfiguration>
#include <QTcpServer>

#include <functional>
#include <memory>

class QTcpSocket;

// A small HTTP/1.1 server on 127.0.0.1 for the link-preview tests, running on the thread that
// creates it (the test's main thread, which spins its event loop while waiting). Every request is
// logged with its arrival time and the number of body bytes actually handed to the OS for it, so
// tests can check what was sent and when a retry arrived.
class TestHTTPServer : public QObject {
public:
    struct Request {
        QByteArray method;
        QByteArray path;                      // with query
        QMap<QByteArray, QByteArray> headers; // names lowercased
        QByteArray header(const QByteArray& name) const { return headers.value(name.toLower()); }
    };

    struct Response {
        int status = 200;
        QList<QPair<QByteArray, QByteArray>> headers;
        QByteArray body;
        bool announceLength = true;  // send Content-Length of body
        qint64 announcedLength = -1; // a Content-Length to claim, whatever is sent
        qint64 streamBytes = 0;      // instead of body: this many bytes of filler
        bool stallAfterHead = false; // send the head, then nothing, never close
        QByteArray fillerByte = "x";
        QList<int> splitBodyAt; // send the body in pieces ending at these offsets, one event each
        int byteIntervalMs = 0; // send the body one byte at a time, this far apart
    };

    struct LogEntry {
        Request request;
        qint64 receivedAtMs = 0; // on the server's clock
        qint64 bodyBytesSent = 0;
        bool closedByPeer = false; // the client went away before everything was sent
        bool complete = false;     // everything was handed to the OS
    };

    using Handler = std::function<Response(const Request&)>;

    TestHTTPServer();
    // Speaks HTTPS with the given certificate and key; its URLs name the host "localhost".
    explicit TestHTTPServer(const QSslConfiguration& tls);
    ~TestHTTPServer() override;

    void route(const QByteArray& path, Handler handler);
    void route(const QByteArray& path, Response response);

    quint16 port() const { return m_server->serverPort(); }
    QByteArray url(const QByteArray& path) const;
    const QList<LogEntry>& log() const { return m_log; }
    QList<LogEntry> requestsFor(const QByteArray& path) const;
    qint64 nowMs() const { return m_clock.elapsed(); }

private:
    struct Connection;
    void accept();
    void readFrom(Connection* connection);
    void respond(Connection* connection, const Response& response);
    void pump(Connection* connection);
    void closed(Connection* connection);

    std::unique_ptr<QTcpServer> m_server;
    bool m_secure = false;
    QElapsedTimer m_clock;
    QMap<QByteArray, Handler> m_routes;
    QList<LogEntry> m_log;
    QList<Connection*> m_connections;
};
