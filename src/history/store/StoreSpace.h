// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

struct sqlite3;

// Gives the space of deleted entries back to the file system. Stores are made with incremental
// auto-vacuum: after a clear or a large retention clean-up, a thread of its own with its own
// connection releases the free pages in short transactions (so the main thread's saves wait at
// most for one slice) and truncates the WAL; with almost nothing left (after a clear) one VACUUM
// does it in a few milliseconds. A store made before that mode existed is converted by one
// VACUUM, run where it is cheap: on that thread when little data is left, else at quit.
class StoreSpace {
public:
    struct Usage {
        qint64 pageSize = 0;
        qint64 pages = 0;
        qint64 freePages = 0;
        int autoVacuum = 0; // 0 none, 1 full, 2 incremental
    };

    explicit StoreSpace(QString storePath);
    // Stops a running reclaim at its next slice and waits for it.
    ~StoreSpace();

    // Starts the reclaim in the background, or has the running one go round once more.
    void reclaimInBackground();
    // Waits until no reclaim runs. Owner's thread only.
    void wait();

    // The reclaim itself, on the calling thread; stops between slices once *stop is set.
    static bool reclaim(const QString& storePath, const std::atomic<bool>* stop = nullptr);
    // At quit: converts an old store whose free pages are worth the rewrite. Blocks for the VACUUM.
    static bool convertIfWorthIt(const QString& storePath);
    static Usage usage(const QString& storePath);
    // The largest new entry, in bytes of content, that the store on db can take now. While it is
    // written its pages go to the WAL and only then into the store, so a store that must grow for
    // it needs about twice its size free on the file system; the store's page limit counts too.
    static qint64 roomForEntry(sqlite3* db, const QString& storePath);
    // The first value of the first row of sql; -1 when there is none.
    static qint64 scalar(sqlite3* db, const char* sql);
    // Bytes free for this process on the store's file system; -1 when that cannot be told.
    static qint64 freeOnDisk(const QString& storePath);

private:
    void run();

    QString m_path;
    std::thread m_thread;
    std::mutex m_mutex;
    bool m_running = false; // guarded by m_mutex
    bool m_again = false;   // guarded by m_mutex
    std::atomic<bool> m_stop{false};
};
