// SPDX-License-Identifier: MIT
#include "app/SingleInstance.h"

#include "platform/PrivateFiles.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>

#include <unistd.h>

namespace {

const QByteArray kShowRequest = "show\n";
const QByteArray kSettingsRequest = "settings\n";
const QByteArray kQuietRequest = "present\n";
constexpr qint64 kLongestRequest = 16;
const QByteArray kShownReply = "shown\n";
// A client that says nothing useful within this time is dropped.
constexpr int kClientTimeoutMs = 2000;

} // namespace

QString SingleInstance::displayName(const QString& display) {
    const qsizetype colon = display.lastIndexOf(QLatin1Char(':'));
    const qsizetype dot = display.indexOf(QLatin1Char('.'), colon + 1);
    return colon >= 0 && dot > colon ? display.left(dot) : display;
}

SingleInstance::SingleInstance(const QString& storePath, const QString& display, QObject* parent) : QObject(parent) {
    const QByteArray key = QFileInfo(storePath).absoluteFilePath().toUtf8() + '\n' + displayName(display).toUtf8();
    const QString name =
        QStringLiteral("tindralume-") +
        QString::fromLatin1(QCryptographicHash::hash(key, QCryptographicHash::Sha256).toHex().left(16));
    m_folder = privateFolder();
    m_socketPath = m_folder + QLatin1Char('/') + name + QStringLiteral(".socket");
    m_lock = std::make_unique<QLockFile>(m_folder + QLatin1Char('/') + name + QStringLiteral(".lock"));
    // Only a dead holder makes the lock stale, never its age.
    m_lock->setStaleLockTime(0);
}

QString SingleInstance::privateFolder() {
    // Another user who could plant the lock or the socket could stop every launch: only a folder
    // that this user alone can write will do. $XDG_RUNTIME_DIR is one; without it, a folder of
    // the user's cache (never the shared temporary folder, where anyone can create the names first).
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && PrivateFiles::isOwnPrivateFolder(runtime))
        return runtime;
    // A shell that lacks the variable (su, sudo, cron) beside a session that has it: the session's
    // folder by its usual name, so such a launch reaches the running one instead of starting a second
    // on the same history.
    if (const QString session = sessionFolder(); PrivateFiles::isOwnPrivateFolder(session))
        return session;
    const QString cache =
        QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/Tindralume/instance");
    PrivateFiles::makeFolders(cache);
    return cache;
}

QString SingleInstance::sessionFolder() {
    return QStringLiteral("/run/user/%1").arg(::geteuid());
}

SingleInstance::~SingleInstance() {
    if (m_server)
        m_server->close();
}

SingleInstance::Role SingleInstance::claim(int answerTimeoutMs, Request request) {
    if (!PrivateFiles::isOwnPrivateFolder(m_folder)) {
        m_error = QStringLiteral("%1 is not a folder that only this user can change").arg(m_folder);
        return Role::Failed;
    }
    for (const QString& path : {m_lock->fileName(), m_socketPath}) {
        if (!PrivateFiles::isAbsentOrOwn(path)) {
            m_error = QStringLiteral("%1 belongs to another user").arg(path);
            return Role::Failed;
        }
    }
    // The lock is written in place, and a link there would never look stale.
    if (QFileInfo(m_lock->fileName()).isSymLink()) {
        m_error = QStringLiteral("%1 is a symbolic link, which is never written through").arg(m_lock->fileName());
        return Role::Failed;
    }
    const QDeadlineTimer deadline(answerTimeoutMs);
    while (true) {
        if (m_lock->tryLock(0)) {
            PrivateFiles::restrictToOwner(m_lock->fileName());
            return listen() ? Role::Running : Role::Failed;
        }
        // The holder may still be starting: it listens right after taking the lock.
        if (askRunningInstance(int(std::max<qint64>(deadline.remainingTime(), 1)), request))
            return Role::HandedOver;
        if (deadline.hasExpired()) {
            m_error = QStringLiteral("Another Tindralume is running on this history and display but does not "
                                     "answer (%1)")
                          .arg(m_error);
            return Role::Failed;
        }
        QThread::msleep(50);
    }
}

bool SingleInstance::listen() {
    // A socket left by a process that died without closing it would refuse the name.
    QLocalServer::removeServer(m_socketPath);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_socketPath)) {
        m_error = QStringLiteral("Cannot listen on %1: %2").arg(m_socketPath, m_server->errorString());
        return false;
    }
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* socket = m_server->nextPendingConnection())
            serve(socket);
    });
    return true;
}

void SingleInstance::serve(QLocalSocket* socket) {
    // The event loop never waits on a client: it reads what arrives and drops a silent one.
    QTimer::singleShot(kClientTimeoutMs, socket, &QLocalSocket::abort);
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
        if (!socket->canReadLine() && socket->bytesAvailable() < kLongestRequest)
            return;
        const QByteArray request = socket->readLine(kLongestRequest + 1);
        if (request == kShowRequest || request == kSettingsRequest || request == kQuietRequest) {
            if (request == kShowRequest)
                Q_EMIT activationRequested();
            else if (request == kSettingsRequest)
                Q_EMIT settingsRequested();
            socket->write(kShownReply);
            socket->flush();
        }
        socket->disconnectFromServer();
    });
}

bool SingleInstance::askRunningInstance(int timeoutMs, Request request) {
    QLocalSocket socket;
    socket.connectToServer(m_socketPath);
    const QDeadlineTimer deadline(timeoutMs);
    if (!socket.waitForConnected(timeoutMs)) {
        m_error = socket.errorString();
        return false;
    }
    socket.write(request == Request::OpenSettings ? kSettingsRequest
                 : request == Request::StayQuiet  ? kQuietRequest
                                                  : kShowRequest);
    QByteArray reply;
    while (reply.size() < kShownReply.size() && !deadline.hasExpired()) {
        if (!socket.waitForReadyRead(int(std::max<qint64>(deadline.remainingTime(), 1))) && !socket.bytesAvailable())
            break;
        reply += socket.readAll();
    }
    if (reply != kShownReply) {
        m_error = QStringLiteral("no answer on %1").arg(m_socketPath);
        return false;
    }
    return true;
}
