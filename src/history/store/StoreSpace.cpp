// SPDX-License-Identifier: MIT
#include "history/store/StoreSpace.h"

#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>
#include <sys/statvfs.h>

#include <algorithm>

namespace {

// One slice of incremental vacuum: 2,048 pages (8 MB at 4 KB pages) per transaction.
constexpr int kSlicePages = 2048;
// With this little data left (after a clear) one VACUUM is quicker than the slices: a few ms.
constexpr qint64 kSmallVacuumBytes = 8LL * 1024 * 1024;
// An old store is rewritten by the background thread only when this little data is left.
constexpr qint64 kBackgroundVacuumBytes = 64LL * 1024 * 1024;
// At quit it is rewritten when at least this share of its pages is free, and this much is won.
constexpr double kQuitFreeShare = 0.25;
constexpr qint64 kQuitMinimumBytes = 16LL * 1024 * 1024;
// Left free on the file system beside a large entry: the saves that come meanwhile and the -shm file.
constexpr qint64 kFreeMarginBytes = 1024 * 1024;

class Connection {
public:
    explicit Connection(const QString& path) {
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
            sqlite3_close(m_db);
            m_db = nullptr;
            return;
        }
        // The application's own connection may be saving: wait for it, slice by slice.
        sqlite3_busy_timeout(m_db, 5000);
    }
    ~Connection() { sqlite3_close(m_db); }
    bool isOpen() const { return m_db != nullptr; }
    bool exec(const char* sql) { return m_db && sqlite3_exec(m_db, sql, nullptr, nullptr, nullptr) == SQLITE_OK; }
    qint64 scalar(const char* sql) { return StoreSpace::scalar(m_db, sql); }
    StoreSpace::Usage usage() {
        return {scalar("PRAGMA page_size"), scalar("PRAGMA page_count"), scalar("PRAGMA freelist_count"),
                int(scalar("PRAGMA auto_vacuum"))};
    }
    // Converts to incremental auto-vacuum and drops every free page in one rewrite.
    bool vacuumIntoIncremental() { return exec("PRAGMA auto_vacuum = INCREMENTAL") && exec("VACUUM"); }

private:
    sqlite3* m_db = nullptr;
};

} // namespace

StoreSpace::StoreSpace(QString storePath) : m_path(std::move(storePath)) {}

StoreSpace::~StoreSpace() {
    m_stop = true;
    wait();
}

void StoreSpace::reclaimInBackground() {
    std::lock_guard lock(m_mutex);
    // A running reclaim goes round once more: the main thread never waits for it here.
    if (m_running) {
        m_again = true;
        return;
    }
    if (m_thread.joinable())
        m_thread.join(); // it has finished
    m_running = true;
    m_stop = false;
    m_thread = std::thread([this] { run(); });
}

void StoreSpace::run() {
    while (true) {
        reclaim(m_path, &m_stop);
        std::lock_guard lock(m_mutex);
        if (!m_again || m_stop) {
            m_running = false;
            return;
        }
        m_again = false;
    }
}

void StoreSpace::wait() {
    if (m_thread.joinable())
        m_thread.join();
}

StoreSpace::Usage StoreSpace::usage(const QString& storePath) {
    Connection db(storePath);
    return db.isOpen() ? db.usage() : Usage{};
}

bool StoreSpace::reclaim(const QString& storePath, const std::atomic<bool>* stop) {
    Connection db(storePath);
    if (!db.isOpen())
        return false;
    const Usage u = db.usage();
    bool ok = true;
    const qint64 liveBytes = (u.pages - u.freePages) * u.pageSize;
    if (u.freePages > 0 && liveBytes <= kSmallVacuumBytes) {
        ok = db.vacuumIntoIncremental();
    } else if (u.autoVacuum == 2) {
        const QByteArray slice = "PRAGMA incremental_vacuum(" + QByteArray::number(kSlicePages) + ")";
        while (ok && !(stop && *stop) && db.scalar("PRAGMA freelist_count") > 0)
            ok = db.exec(slice.constData());
    } else if (u.autoVacuum == 0 && u.freePages > 0 && liveBytes <= kBackgroundVacuumBytes) {
        ok = db.vacuumIntoIncremental();
    }
    // The WAL holds every page the deletion and the slices wrote: back into the store, and emptied.
    return db.exec("PRAGMA wal_checkpoint(TRUNCATE)") && ok;
}

bool StoreSpace::convertIfWorthIt(const QString& storePath) {
    Connection db(storePath);
    if (!db.isOpen())
        return false;
    const Usage u = db.usage();
    if (u.autoVacuum != 0 || u.pages <= 0 || u.freePages < u.pages * kQuitFreeShare ||
        u.freePages * u.pageSize < kQuitMinimumBytes)
        return true;
    return db.vacuumIntoIncremental();
}

qint64 StoreSpace::scalar(sqlite3* db, const char* sql) {
    sqlite3_stmt* s = nullptr;
    qint64 value = -1;
    if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW)
        value = sqlite3_column_int64(s, 0);
    sqlite3_finalize(s);
    return value;
}

qint64 StoreSpace::freeOnDisk(const QString& storePath) {
    struct statvfs fs {};
    if (statvfs(QFile::encodeName(QFileInfo(storePath).absolutePath()).constData(), &fs) != 0)
        return -1;
    return qint64(fs.f_bavail) * qint64(fs.f_frsize);
}

qint64 StoreSpace::roomForEntry(sqlite3* db, const QString& storePath) {
    const qint64 pageSize = scalar(db, "PRAGMA page_size");
    const qint64 pages = scalar(db, "PRAGMA page_count");
    const qint64 freePages = scalar(db, "PRAGMA freelist_count");
    const qint64 maxPages = scalar(db, "PRAGMA max_page_count");
    if (pageSize <= 0 || pages < 0 || freePages < 0 || maxPages <= 0)
        return 0;
    const qint64 freeInStore = freePages * pageSize;
    qint64 room = (maxPages - pages) * pageSize + freeInStore;
    if (const qint64 free = freeOnDisk(storePath); free >= 0) {
        const qint64 onDisk = free - kFreeMarginBytes;
        // The WAL takes the whole entry; the store grows by what its free pages cannot hold.
        room = std::min(room, onDisk <= freeInStore ? onDisk : (onDisk + freeInStore) / 2);
    }
    // Page headers, the WAL's frame headers, the search row and the indexes.
    return std::max<qint64>(0, room - room / 32 - 16 * pageSize);
}
