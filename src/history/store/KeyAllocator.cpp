// SPDX-License-Identifier: MIT
#include "history/store/KeyAllocator.h"

#include <sqlite3.h>

#include <algorithm>

namespace {

constexpr qint64 kLargestBlock = 256;

qint64 singleValue(sqlite3* db, const QByteArray& sql, const QByteArray& name, bool* ok) {
    sqlite3_stmt* s = nullptr;
    qint64 value = 0;
    bool good = sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &s, nullptr) == SQLITE_OK;
    if (good) {
        sqlite3_bind_text(s, 1, name.constData(), int(name.size()), SQLITE_TRANSIENT);
        const int rc = sqlite3_step(s);
        if (rc == SQLITE_ROW)
            value = sqlite3_column_int64(s, 0);
        good = rc == SQLITE_ROW || rc == SQLITE_DONE;
    }
    sqlite3_finalize(s);
    if (ok)
        *ok = good;
    return value;
}

bool run(sqlite3* db, const QByteArray& sql, const QByteArray& name, qint64 value) {
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db, sql.constData(), int(sql.size()), &s, nullptr) != SQLITE_OK) {
        sqlite3_finalize(s);
        return false;
    }
    sqlite3_bind_text(s, 1, name.constData(), int(name.size()), SQLITE_TRANSIENT);
    sqlite3_bind_int64(s, 2, value);
    const bool good = sqlite3_step(s) == SQLITE_DONE;
    sqlite3_finalize(s);
    return good;
}

} // namespace

qint64 KeyAllocator::highestInStore(sqlite3* db, bool* ok) const {
    return singleValue(db,
                       "SELECT max(coalesce((SELECT seq FROM sqlite_sequence WHERE name = ?1), 0), "
                       "coalesce((SELECT max(pk) FROM " +
                           m_table + "), 0))",
                       m_table, ok);
}

bool KeyAllocator::claim(sqlite3* db, qint64 count) {
    // Inside another transaction the claim would not be seen by others until that one ends.
    if (!sqlite3_get_autocommit(db) || sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
        return false;
    bool ok = false;
    const qint64 end = std::max(highestInStore(db, &ok), m_last) + count;
    ok = ok && run(db, "UPDATE sqlite_sequence SET seq = ?2 WHERE name = ?1", m_table, end);
    if (ok && sqlite3_changes(db) == 0)
        ok = run(db, "INSERT INTO sqlite_sequence (name, seq) VALUES (?1, ?2)", m_table, end);
    if (!ok || sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        return false;
    }
    m_last = end - count;
    m_reservedEnd = end;
    return true;
}

KeyAllocator::Key KeyAllocator::next(sqlite3* db, qsizetype pending) {
    if (m_last < m_reservedEnd || claim(db, std::clamp<qint64>(pending, 1, kLargestBlock)))
        return {++m_last, true};
    // Readers are not blocked by a writer: at least skip the keys already in the store.
    bool ok = false;
    const qint64 seen = highestInStore(db, &ok);
    m_last = std::max(m_last, ok ? seen : 0) + 1;
    return {m_last, false};
}

qint64 KeyAllocator::replacement(qint64 highest) {
    m_last = std::max(m_last, highest) + 1;
    return m_last;
}
