// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QObject>

class QSocketNotifier;

// Turns SIGTERM/SIGINT into a Qt signal on the main thread: the handler only writes the signal
// number into a pipe, and the event loop reads it. One instance per process.
class UnixSignalWatcher : public QObject {
    Q_OBJECT
public:
    explicit UnixSignalWatcher(const QList<int>& signalNumbers, QObject* parent = nullptr);
    ~UnixSignalWatcher() override;

    bool isValid() const { return m_notifier != nullptr; }

Q_SIGNALS:
    void unixSignal(int signalNumber);

private:
    void readPipe();

    QList<int> m_signals;
    QSocketNotifier* m_notifier = nullptr;
};
