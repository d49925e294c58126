// SPDX-License-Identifier: MIT
#include "history/store/QuickCheck.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLoggingCategory>
#include <QThread>
#include <QTimer>

#include <sqlite3.h>

#include <atomic>
#include <memory>
#include <mutex>

namespace {

Q_LOGGING_CATEGORY(lcStore, "tindralume.store", QtWarningMsg)

std::function<void()> g_readHook;

// One check: its own file-system layer (whose reads fail once the check is stopped) and its connection,
// which the waiting thread interrupts.
struct CheckState {
    sqlite3_vfs vfs{};
    sqlite3_vfs* real = nullptr;
    QByteArray vfsName;
    std::atomic<bool> stopped{false};
    std::mutex mutex;
    sqlite3* db = nullptr; // guarded by mutex: interrupted only while open
    int rc = SQLITE_OK;
    QString text;
};

// A file of the check: the file of SQLite's own layer follows it in the same block.
struct GuardedFile {
    sqlite3_file base;
    CheckState* state;
};

sqlite3_file* inner(sqlite3_file* f) {
    return reinterpret_cast<sqlite3_file*>(reinterpret_cast<char*>(f) + sizeof(GuardedFile));
}

CheckState* stateOf(sqlite3_vfs* vfs) {
    return static_cast<CheckState*>(vfs->pAppData);
}

sqlite3_vfs* realOf(sqlite3_vfs* vfs) {
    return stateOf(vfs)->real;
}

int guardedRead(sqlite3_file* f, void* buffer, int amount, sqlite3_int64 offset) {
    CheckState* state = reinterpret_cast<GuardedFile*>(f)->state;
    if (!state->stopped && g_readHook)
        g_readHook();
    if (state->stopped)
        return SQLITE_IOERR_READ;
    return inner(f)->pMethods->xRead(inner(f), buffer, amount, offset);
}

// Version 2: without xFetch SQLite maps no page into memory, so every page passes through xRead.
const sqlite3_io_methods kGuardedMethods = {
    2,
    [](sqlite3_file* f) { return inner(f)->pMethods->xClose(inner(f)); },
    guardedRead,
    [](sqlite3_file* f, const void* b, int n, sqlite3_int64 o) {
        return inner(f)->pMethods->xWrite(inner(f), b, n, o);
    },
    [](sqlite3_file* f, sqlite3_int64 size) { return inner(f)->pMethods->xTruncate(inner(f), size); },
    [](sqlite3_file* f, int flags) { return inner(f)->pMethods->xSync(inner(f), flags); },
    [](sqlite3_file* f, sqlite3_int64* size) { return inner(f)->pMethods->xFileSize(inner(f), size); },
    [](sqlite3_file* f, int lock) { return inner(f)->pMethods->xLock(inner(f), lock); },
    [](sqlite3_file* f, int lock) { return inner(f)->pMethods->xUnlock(inner(f), lock); },
    [](sqlite3_file* f, int* out) { return inner(f)->pMethods->xCheckReservedLock(inner(f), out); },
    [](sqlite3_file* f, int op, void* arg) { return inner(f)->pMethods->xFileControl(inner(f), op, arg); },
    [](sqlite3_file* f) { return inner(f)->pMethods->xSectorSize(inner(f)); },
    [](sqlite3_file* f) { return inner(f)->pMethods->xDeviceCharacteristics(inner(f)); },
    [](sqlite3_file* f, int page, int size, int extend, void volatile** out) {
        return inner(f)->pMethods->xShmMap(inner(f), page, size, extend, out);
    },
    [](sqlite3_file* f, int offset, int n, int flags) {
        return inner(f)->pMethods->xShmLock(inner(f), offset, n, flags);
    },
    [](sqlite3_file* f) { inner(f)->pMethods->xShmBarrier(inner(f)); },
    [](sqlite3_file* f, int deleteFlag) { return inner(f)->pMethods->xShmUnmap(inner(f), deleteFlag); },
    nullptr,
    nullptr,
};

int guardedOpen(sqlite3_vfs* vfs, sqlite3_filename name, sqlite3_file* f, int flags, int* outFlags) {
    auto* file = reinterpret_cast<GuardedFile*>(f);
    file->base.pMethods = nullptr;
    file->state = stateOf(vfs);
    inner(f)->pMethods = nullptr;
    const int rc = realOf(vfs)->xOpen(realOf(vfs), name, inner(f), flags, outFlags);
    // SQLite closes a file whose methods are set, also after a failed open.
    if (inner(f)->pMethods)
        file->base.pMethods = &kGuardedMethods;
    return rc;
}

void setUpFileSystem(CheckState& state) {
    state.real = sqlite3_vfs_find(nullptr);
    state.vfsName = "tindralume-check-" + QByteArray::number(quintptr(&state), 16);
    sqlite3_vfs& v = state.vfs;
    v.iVersion = 2;
    v.szOsFile = int(sizeof(GuardedFile)) + state.real->szOsFile;
    v.mxPathname = state.real->mxPathname;
    v.zName = state.vfsName.constData();
    v.pAppData = &state;
    v.xOpen = guardedOpen;
    v.xDelete = [](sqlite3_vfs* s, const char* n, int d) { return realOf(s)->xDelete(realOf(s), n, d); };
    v.xAccess = [](sqlite3_vfs* s, const char* n, int f, int* o) { return realOf(s)->xAccess(realOf(s), n, f, o); };
    v.xFullPathname = [](sqlite3_vfs* s, const char* n, int size, char* o) {
        return realOf(s)->xFullPathname(realOf(s), n, size, o);
    };
    v.xDlOpen = [](sqlite3_vfs* s, const char* n) { return realOf(s)->xDlOpen(realOf(s), n); };
    v.xDlError = [](sqlite3_vfs* s, int n, char* o) { realOf(s)->xDlError(realOf(s), n, o); };
    v.xDlSym = [](sqlite3_vfs* s, void* h, const char* n) { return realOf(s)->xDlSym(realOf(s), h, n); };
    v.xDlClose = [](sqlite3_vfs* s, void* h) { realOf(s)->xDlClose(realOf(s), h); };
    v.xRandomness = [](sqlite3_vfs* s, int n, char* o) { return realOf(s)->xRandomness(realOf(s), n, o); };
    v.xSleep = [](sqlite3_vfs* s, int us) { return realOf(s)->xSleep(realOf(s), us); };
    v.xCurrentTime = [](sqlite3_vfs* s, double* t) { return realOf(s)->xCurrentTime(realOf(s), t); };
    v.xGetLastError = [](sqlite3_vfs* s, int n, char* o) { return realOf(s)->xGetLastError(realOf(s), n, o); };
    v.xCurrentTimeInt64 = [](sqlite3_vfs* s, sqlite3_int64* t) { return realOf(s)->xCurrentTimeInt64(realOf(s), t); };
    sqlite3_vfs_register(&v, 0);
}

// As long as the store's own connection waits for a lock (2 s), unless the check is stopped.
int waitWhileBusy(void* p, int attempts) {
    if (static_cast<CheckState*>(p)->stopped || attempts >= 200)
        return 0;
    QThread::msleep(10);
    return 1;
}

// On the check's thread.
void check(CheckState& state, const QByteArray& path) {
    sqlite3* db = nullptr;
    int rc = sqlite3_open_v2(path.constData(), &db, SQLITE_OPEN_READONLY, state.vfsName.constData());
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        state.db = db;
    }
    sqlite3_stmt* s = nullptr;
    if (rc == SQLITE_OK) {
        sqlite3_extended_result_codes(db, 1);
        sqlite3_busy_handler(db, waitWhileBusy, &state);
        rc = sqlite3_prepare_v2(db, "PRAGMA quick_check(1)", -1, &s, nullptr);
    }
    if (rc == SQLITE_OK)
        rc = sqlite3_step(s);
    if (rc == SQLITE_ROW)
        state.text = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)));
    else
        state.text = QStringLiteral("%1 (SQLite code %2)").arg(QString::fromUtf8(sqlite3_errmsg(db))).arg(rc);
    state.rc = rc;
    sqlite3_finalize(s);
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        state.db = nullptr;
    }
    sqlite3_close(db);
}

void stop(CheckState& state) {
    state.stopped = true;
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.db)
        sqlite3_interrupt(state.db);
}

} // namespace

QuickCheck::Result QuickCheck::run(const QString& path, int budgetMs, Wait wait) {
    CheckState state;
    setUpFileSystem(state);
    const QByteArray file = QFile::encodeName(path);
    std::unique_ptr<QThread> thread(QThread::create([&state, &file] { check(state, file); }));
    QElapsedTimer clock;
    clock.start();
    bool quitting = false;
    if (wait == Wait::HandlingEvents && QCoreApplication::instance() &&
        QThread::currentThread() == QCoreApplication::instance()->thread()) {
        QEventLoop loop;
        bool over = false;
        auto end = [&] {
            over = true;
            loop.quit();
        };
        QObject::connect(thread.get(), &QThread::finished, &loop, end);
        QTimer::singleShot(budgetMs, &loop, end);
        thread->start();
        loop.exec();
        // The loop ended otherwise: QCoreApplication::exit() ends every loop of the thread.
        quitting = !over;
    } else {
        thread->start();
        thread->wait(QDeadlineTimer(budgetMs));
    }
    const bool finished = thread->isFinished();
    if (!finished)
        stop(state);
    thread->wait();
    thread.reset();
    sqlite3_vfs_unregister(&state.vfs);

    Result result;
    if (quitting) {
        result.outcome = Outcome::Abandoned;
    } else if (!finished) {
        result.outcome = Outcome::OutOfTime;
        qCInfo(lcStore) << "The quick check of" << path << "stopped unfinished after" << clock.elapsed()
                        << "ms: the store is used unchecked";
    } else if (state.rc == SQLITE_ROW && state.text == QLatin1String("ok")) {
        qCDebug(lcStore) << "The quick check of" << path << "passed in" << clock.elapsed() << "ms";
    } else {
        result.outcome = Outcome::Damaged;
        result.finding = state.text.simplified(); // one line: SQLite puts its heading on a line of its own
    }
    return result;
}

void QuickCheck::setReadHookForTesting(std::function<void()> hook) {
    g_readHook = std::move(hook);
}
