// SPDX-License-Identifier: MIT
#include "TestHTTPServer.h"

#include <QSslServer>
#include <QTcpSocket>
#include <QTimer>

namespace {

QByteArray reason(int status) {
    switch (status) {
    case 200:
        return "OK";
    case 206:
        return "Partial Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 404:
        return "Not Found";
    case 429:
        return "Too Many Requests";
    case 503:
        return "Service Unavailable";
    default:
        return "Status";
    }
}

constexpr qint64 pumpChunk = 64 * 1024;

} // namespace

struct TestHTTPServer::Connection {
    QPointer<QTcpSocket> socket;
    QByteArray buffer;
    int logIndex = -1;
    QByteArray pending;    // body bytes still to hand over
    qint64 streamLeft = 0; // filler bytes still to produce
    QByteArray filler;
    QList<QByteArray> pieces; // body pieces sent one per event-loop turn
    bool stalled = false;
    bool responding = false;
    int byteIntervalMs = 0;
    bool byteDue = true;
};

TestHTTPServer::TestHTTPServer() : m_server(std::make_unique<QTcpServer>()) {
    m_clock.start();
    connect(m_server.get(), &QTcpServer::pendingConnectionAvailable, this, &TestHTTPServer::accept);
    m_server->listen(QHostAddress::LocalHost, 0);
}

TestHTTPServer::TestHTTPServer(const QSslConfiguration& tls) : m_secure(true) {
    auto server = std::make_unique<QSslServer>();
    server->setSslConfiguration(tls);
    m_server = std::move(server);
    m_clock.start();
    connect(m_server.get(), &QTcpServer::pendingConnectionAvailable, this, &TestHTTPServer::accept);
    m_server->listen(QHostAddress::LocalHost, 0);
}

TestHTTPServer::~TestHTTPServer() {
    for (Connection* connection : std::as_const(m_connections)) {
        if (connection->socket) {
            connection->socket->disconnect(this);
            connection->socket->abort();
            delete connection->socket;
        }
        delete connection;
    }
}

void TestHTTPServer::route(const QByteArray& path, Handler handler) {
    m_routes.insert(path, std::move(handler));
}

void TestHTTPServer::route(const QByteArray& path, Response response) {
    route(path, [response](const Request&) { return response; });
}

QByteArray TestHTTPServer::url(const QByteArray& path) const {
    if (m_secure)
        return "https://localhost:" + QByteArray::number(port()) + path;
    return "http://127.0.0.1:" + QByteArray::number(port()) + path;
}

QList<TestHTTPServer::LogEntry> TestHTTPServer::requestsFor(const QByteArray& path) const {
    QList<LogEntry> found;
    for (const auto& entry : m_log) {
        if (entry.request.path == path)
            found.append(entry);
    }
    return found;
}

void TestHTTPServer::accept() {
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        // A small send buffer keeps what the kernel holds for a slow reader small, so the bytes
        // counted as sent are close to what the client really took.
        socket->setSocketOption(QAbstractSocket::SendBufferSizeSocketOption, 64 * 1024);
        auto* connection = new Connection;
        connection->socket = socket;
        m_connections.append(connection);
        connect(socket, &QTcpSocket::readyRead, this, [this, connection] { readFrom(connection); });
        connect(socket, &QTcpSocket::bytesWritten, this, [this, connection](qint64 written) {
            if (connection->logIndex >= 0 && connection->responding)
                m_log[connection->logIndex].bodyBytesSent += written;
            pump(connection);
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, connection] { closed(connection); });
        connect(socket, &QTcpSocket::errorOccurred, this, [this, connection] { closed(connection); });
    }
}

void TestHTTPServer::readFrom(Connection* connection) {
    connection->buffer.append(connection->socket->readAll());
    if (connection->responding)
        return;
    const qsizetype end = connection->buffer.indexOf("\r\n\r\n");
    if (end < 0)
        return;
    const QList<QByteArray> lines = connection->buffer.left(end).split('\n');
    connection->buffer.remove(0, end + 4);
    Request request;
    const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
    request.method = first.value(0);
    request.path = first.value(1);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon > 0)
            request.headers.insert(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
    }
    LogEntry entry;
    entry.request = request;
    entry.receivedAtMs = m_clock.elapsed();
    m_log.append(entry);
    connection->logIndex = static_cast<int>(m_log.size() - 1);

    Response response;
    auto route = m_routes.constFind(request.path);
    if (route == m_routes.constEnd()) {
        response.status = 404;
        response.body = "no such page";
        response.headers = {{"Content-Type", "text/plain"}};
    } else {
        response = (*route)(request);
    }
    respond(connection, response);
}

void TestHTTPServer::respond(Connection* connection, const Response& response) {
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + reason(response.status) + "\r\n";
    for (const auto& header : response.headers)
        head += header.first + ": " + header.second + "\r\n";
    const bool streaming = response.streamBytes > 0;
    if (response.announcedLength >= 0)
        head += "Content-Length: " + QByteArray::number(response.announcedLength) + "\r\n";
    else if (!streaming && response.announceLength)
        head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    head += "Connection: close\r\n\r\n";
    connection->responding = true;
    // The head is counted by bytesWritten too; start counting body bytes from zero.
    m_log[connection->logIndex].bodyBytesSent = -head.size();
    connection->socket->write(head);
    if (response.stallAfterHead) {
        connection->stalled = true;
        return;
    }
    if (streaming) {
        connection->streamLeft = response.streamBytes;
        connection->filler = response.fillerByte.repeated(pumpChunk);
    } else if (!response.splitBodyAt.isEmpty()) {
        int from = 0;
        for (int at : response.splitBodyAt) {
            connection->pieces.append(response.body.mid(from, at - from));
            from = at;
        }
        connection->pieces.append(response.body.mid(from));
    } else {
        connection->pending = response.body;
        connection->byteIntervalMs = response.byteIntervalMs;
    }
    pump(connection);
}

void TestHTTPServer::pump(Connection* connection) {
    QTcpSocket* socket = connection->socket;
    if (!socket || !connection->responding || connection->stalled)
        return;
    if (socket->bytesToWrite() > 0)
        return; // wait for the OS to take what is queued
    if (!connection->pieces.isEmpty()) {
        const QByteArray piece = connection->pieces.takeFirst();
        socket->write(piece);
        if (piece.isEmpty())
            QTimer::singleShot(0, this, [this, connection] { pump(connection); });
        return;
    }
    if (!connection->pending.isEmpty() && connection->byteIntervalMs > 0) {
        if (!connection->byteDue)
            return;
        socket->write(connection->pending.left(1));
        connection->pending.remove(0, 1);
        connection->byteDue = false;
        QTimer::singleShot(connection->byteIntervalMs, this, [this, connection] {
            connection->byteDue = true;
            pump(connection);
        });
        return;
    }
    if (!connection->pending.isEmpty()) {
        socket->write(connection->pending.left(pumpChunk));
        connection->pending.remove(0, pumpChunk);
        return;
    }
    if (connection->streamLeft > 0) {
        const qint64 n = qMin(connection->streamLeft, pumpChunk);
        socket->write(connection->filler.constData(), n);
        connection->streamLeft -= n;
        return;
    }
    if (connection->logIndex >= 0)
        m_log[connection->logIndex].complete = true;
    connection->responding = false;
    socket->disconnectFromHost();
}

void TestHTTPServer::closed(Connection* connection) {
    if (connection->logIndex >= 0 && !m_log[connection->logIndex].complete && connection->responding)
        m_log[connection->logIndex].closedByPeer = true;
    connection->responding = false;
    connection->stalled = false;
}
