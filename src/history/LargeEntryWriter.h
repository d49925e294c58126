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
struct sqlite3;
class PrecomputedContent;

// Saves entries too large to be written on the main thread, and the entries that come while it is
// at work, so that they keep their order. A thread of its own, with its own
// connection to the store, writes them one at a time in the order they came, each in one
// transaction: a repeat of a stored entry moves that entry to the top instead, as on the main
// thread. The main thread sees the rows as it sees another process's. A change that does not fit
// on the disk stays pending on this thread and is tried again before the next and at retry(). A
// large new entry is written only when the disk has room for it (see StoreSpace::roomForEntry):
// otherwise it is put aside, so that the entries after it are saved first, and tried again at
// retry(); a retry that finds it still without room after space was freed, or the last one, gives
// it up.
// Saves on other connections of this process take turns with it (beginTurn), so that they never
// wait for its write lock.
class LargeEntryWriter {
public:
    struct Entry {
        QString type;
        OptString text;
        LargeTextPtr largeText; // instead of text
        OptData richTextData, imageData, originalImageData, documentFormats;
        OptString filePath;
        QStringList additionalFilePaths;
        QString preview;
        qint64 sourceAppKey = 0; // 0: none
        QString newAppBundleId;  // an application not stored yet: found or made here
        OptString newAppName;
        QDateTime timestamp;                             // the time of the copy
        QString link;                                    // a web link to fetch a preview for once saved, or empty
        std::shared_ptr<PrecomputedContent> precomputed; // kept alive while the entry is written
        // A stored entry picked from the history: only its time is set (to timestamp).
        QString pickedObjectID;
        qint64 pickedKey = 0;
    };
    struct Outcome {
        QString objectID; // the new or repeated entry; empty when nothing was saved
        QString type;
        QString link;
        bool repeated = false;
        int errorCode = 0; // 0: saved
        QString error;
        bool pendingLeft = false; // an entry is still waiting for room on the disk
        qint64 givenUpBytes = 0;  // an entry given up for want of room: its size
        QString newAppBundleId;   // an application this save added to the store
    };
    // done runs on the writer's thread after each save, turn when it stops for another's save
    // (see beginTurn); both must pass the call on themselves.
    LargeEntryWriter(QString storePath, std::function<void(const Outcome&)> done, std::function<void()> turn);
    // Writes what was handed over (one more try for what is pending), then ends the thread.
    ~LargeEntryWriter();

    // Above this much content a save takes long enough (some 8 ms a megabyte) to be felt on the
    // main thread; SQLite writes a whole row again for a change of any of its values.
    static constexpr qsizetype largeBytes = 512 * 1024;
    static bool isLarge(const OptString& text, const OptData& richTextData, const OptData& imageData,
                        const OptData& originalImageData, const OptData& documentFormats = std::nullopt,
                        const QStringList& additionalFilePaths = {});

    void save(Entry entry);
    // Tries again what did not fit, as the next piece of work: asked for by the owner, so that the
    // owner knows the writer is busy with it. A last retry, before quitting, comes after the entries
    // handed over and gives up every large entry that still has no room.
    void retry(bool last = false);
    // Writing or with entries waiting: a save made elsewhere now would wait for this one's write,
    // and would come before the entries waiting.
    bool isBusy();
    // Before a save on another connection: true when nothing is being written, and then nothing is
    // started until endTurn(). Otherwise false, and the writer calls turn before its next write and
    // then waits for endTurn(): the save is made then, before any entry handed over after it.
    bool beginTurn();
    bool holdsForTurn();
    void endTurn();
    // Blocks until every entry handed over was tried, running takeTurn when the writer holds for
    // one; true when nothing is left unsaved.
    bool waitUntilIdle(const std::function<void()>& takeTurn);
    // For tests: runs on the writer's thread with its connection before each write.
    void setConnectionHookForTesting(std::function<void(sqlite3*)> hook);

private:
    struct PutAside {
        Entry entry;
        qint64 bytes = 0;
        qint64 roomThen = 0; // the room there was when it was put aside
    };

    void run();
    // reported: a failure is told (a retry's was told when the entry first failed).
    void write(Entry& entry, bool reported = true);
    // A new copy: its repeat moved up, or a new row; not saved yet. Null, with *noRoom set, for a
    // large new entry the disk has no room for.
    ClipboardItemPtr writeCopy(const Entry& entry, Outcome* outcome, SourceAppPtr* app, bool* noRoom);
    void retryPending(bool last);
    qint64 room();
    void runConnectionHook();

    const QString m_path;
    const std::function<void(const Outcome&)> m_done;
    const std::function<void()> m_turn;
    std::unique_ptr<ManagedObjectContext> m_context; // the writer thread's own
    std::mutex m_mutex;
    std::condition_variable m_wake, m_idle;
    std::deque<Entry> m_queue;
    std::deque<PutAside> m_putAside; // the writer thread's own, oldest first
    bool m_busy = false;
    bool m_pending = false; // unsaved changes left in m_context, or entries put aside
    bool m_retryWanted = false;
    bool m_lastRetry = false;
    bool m_stop = false;
    bool m_turnWanted = false, m_turnHeld = false;
    std::function<void(sqlite3*)> m_connectionHook;
    std::thread m_thread;
};
