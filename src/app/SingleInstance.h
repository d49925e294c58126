// SPDX-License-Identifier: MIT
#pragma once

#include <QLockFile>
#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;
class QLocalSocket;

// One process per history and display. The first launch holds a lock file and listens on a local
// socket, both in a folder only the user can write (the runtime directory, else one in the user's
// cache); a later launch finds the lock taken, asks the running process over the socket to show
// its panel and ends.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Role { Running, HandedOver, Failed };
    // What a later launch asks of the running one. StayQuiet: only that it runs (a login start
    // while one already runs must not bring its panel up).
    enum class Request { ShowPanel, OpenSettings, StayQuiet };

    // storePath names the history; display the X display ("" when there is none).
    SingleInstance(const QString& storePath, const QString& display, QObject* parent = nullptr);
    ~SingleInstance() override;

    // Running: this process is the one and listens for later launches. HandedOver: another one
    // runs and has been asked to show its panel. Failed: another one holds the lock but did not
    // answer within the time allowed; errorString() says why.
    Role claim(int answerTimeoutMs = 5000, Request request = Request::ShowPanel);
    QString errorString() const { return m_error; }
    QString socketPath() const { return m_socketPath; }

    // Where the lock and the socket live: $XDG_RUNTIME_DIR when it is the user's alone, else the
    // session's folder when it is, else $XDG_CACHE_HOME/Tindralume/instance, made 0700.
    static QString privateFolder();
    // Where a login session keeps its runtime folder when the variable naming it is set.
    static QString sessionFolder();

    // The display as X names it, without the screen number (":1.0" and ":1" are one display).
    static QString displayName(const QString& display);

Q_SIGNALS:
    // Another launch asked for the panel.
    void activationRequested();
    // Another launch asked for the settings window.
    void settingsRequested();

private:
    bool listen();
    bool askRunningInstance(int timeoutMs, Request request);
    void serve(QLocalSocket* socket);

    QString m_folder;
    QString m_socketPath;
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
    QString m_error;
};
