// SPDX-License-Identifier: MIT
#pragma once

#include "history/store/Entities.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class ManagedObjectContext;
class PrecomputedContent;

// Saves entries too large to be written on the main thread, and the entries that come while it is
// at work, so that they keep their order. A thread of its own, with its own
// connection to the store, writes them one at a time in the order they came, each in one
// transaction: a repeat of a stored entry moves that entry to the top instead, as on the main
// thread. The main thread sees the rows as it sees another process's. An entry that does not fit
// on the disk stays pending on this thread and is tried again now and then and before the next.
class LargeEntryWriter {
public:
    struct Entry {
        QString type;
        OptString text;
        LargeTextPtr largeText; // instead of text
        OptData richTextData, imageData, originalImageData;
        OptString filePath;
        QStringList additionalFilePaths;
        QString preview;
        qint64 sourceAppKey = 0;                         // 0: none
        QDateTime timestamp;                             // the time of the copy
        QString link;                                    // a web link to fetch a preview for once saved, or empty
        std::shared_ptr<PrecomputedContent> precomputed; // kept alive while the entry is written
    };
    struct Outcome {
        QString objectID; // the new or repeated entry; empty when nothing was saved
        QString type;
        QString link;
        bool repeated = false;
        int errorCode = 0; // 0: saved
        QString error;
        bool pendingLeft = false; // an entry is still waiting for room on the disk
    };
    // done runs on the writer's thread after each save; it must pass the outcome on itself.
    LargeEntryWriter(QString storePath, std::function<void(const Outcome&)> done);
    // Writes what was handed over (one more try for what is pending), then ends the thread.
    ~LargeEntryWriter();

    static bool isLarge(const OptString& text, const OptData& richTextData, const OptData& imageData,
                        const OptData& originalImageData);

    void save(Entry entry);
    // Writing or with entries waiting: a save made elsewhere now would wait for this one's write,
    // and would come before the entries waiting.
    bool isBusy();
    // Blocks until every entry handed over was tried; true when nothing is left unsaved.
    bool waitUntilIdle();

private:
    void run();
    void write(Entry& entry);
    void retryPending();

    const QString m_path;
    const std::function<void(const Outcome&)> m_done;
    std::unique_ptr<ManagedObjectContext> m_context; // the writer thread's own
    std::mutex m_mutex;
    std::condition_variable m_wake, m_idle;
    std::deque<Entry> m_queue;
    bool m_busy = false;
    bool m_pending = false; // unsaved changes left in m_context
    bool m_stop = false;
    std::thread m_thread;
};
