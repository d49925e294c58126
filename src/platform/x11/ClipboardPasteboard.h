// SPDX-License-Identifier: MIT
#pragma once

#include "platform/Dispatch.h"
#include "platform/Pasteboard.h"

#include <QObject>

#include <atomic>

#include <memory>

class LazyMimeData;
class QtClockKeeper;
class SelectionOwnerWatch;
class SelectionReader;

// The X11 CLIPBOARD selection. The change count moves when another client takes the selection
// (XFixes, on a connection of our own) and when we clear it for a write of our own. Other clients' data is
// read on a worker thread over a connection of its own, so the main thread never waits on them.
class ClipboardPasteboard : public QObject, public Pasteboard {
    Q_OBJECT
public:
    ClipboardPasteboard();
    ~ClipboardPasteboard() override;

    qint64 changeCount() override { return m_changeCount; }
    void readContents(std::function<void(PasteboardContents&)> work) override;

    qint64 clearContents() override;
    void setData(Type type, const QByteArray& data) override;
    void setString(const QString& text) override;
    void setURLs(const QList<QUrl>& urls) override;
    void setFormat(const QString& mime, const QByteArray& data) override;
    void setDataProvider(Type type, std::function<QByteArray()> make) override;
    bool lastWriteSucceeded() override { return !m_writeRefused; }

    // The time budget of one change for all the formats read from it.
    static constexpr int readBudgetMs = 5000;

private:
    void onClipboardChanged();
    void onForeignOwner();
    void publish();
    void onClockSettled();

    qint64 m_changeCount = 0;
    std::atomic<qint64> m_ownWrites{0};      // our own writes so far; read on the reader thread
    std::unique_ptr<LazyMimeData> m_pending; // what we are writing; a copy is handed to QClipboard
    bool m_publishing = false;
    bool m_writeRefused = false;
    bool m_publishAgain = false; // published while Qt's time was off: again once it is right
    std::unique_ptr<QtClockKeeper> m_clock;
    std::unique_ptr<SelectionOwnerWatch> m_owners;
    std::unique_ptr<SelectionReader> m_reader; // used only on m_readerQueue
    SerialQueue m_readerQueue;                 // declared last: it finishes before the reader goes
};
