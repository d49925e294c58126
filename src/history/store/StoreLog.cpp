// SPDX-License-Identifier: MIT
#include "history/store/StoreLog.h"

#include "history/store/StoreSpace.h"

#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <algorithm>
#include <memory>

namespace {

using Value = std::unique_ptr<sqlite3_value, decltype(&sqlite3_value_free)>;

// A row of a table, column by column, as SQLite holds it.
struct Row {
    std::vector<Value> values;
};

struct TakenOut {
    qint64 key = 0;
    qint64 bytes = 0;
    Row item, search;
};

int checkpoint(sqlite3* db) {
    return sqlite3_wal_checkpoint_v2(db, nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr) & 0xff;
}

bool exec(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

bool readRow(sqlite3* db, const char* table, qint64 key, Row* row) {
    sqlite3_stmt* s = nullptr;
    const QByteArray sql = QByteArray("SELECT * FROM ") + table + " WHERE pk = ?";
    bool found = false;
    if (sqlite3_prepare_v2(db, sql.constData(), -1, &s, nullptr) == SQLITE_OK) {
        sqlite3_bind_int64(s, 1, key);
        if (sqlite3_step(s) == SQLITE_ROW) {
            found = true;
            for (int i = 0; i < sqlite3_column_count(s); ++i)
                row->values.emplace_back(sqlite3_value_dup(sqlite3_column_value(s, i)), &sqlite3_value_free);
        }
    }
    sqlite3_finalize(s);
    return found;
}

bool writeRow(sqlite3* db, const char* table, const Row& row) {
    if (row.values.empty())
        return true;
    QByteArray sql = QByteArray("INSERT INTO ") + table + " VALUES (?";
    for (size_t i = 1; i < row.values.size(); ++i)
        sql += ", ?";
    sql += ")";
    sqlite3_stmt* s = nullptr;
    bool ok = sqlite3_prepare_v2(db, sql.constData(), -1, &s, nullptr) == SQLITE_OK;
    for (size_t i = 0; ok && i < row.values.size(); ++i)
        ok = sqlite3_bind_value(s, int(i) + 1, row.values[i].get()) == SQLITE_OK;
    ok = ok && sqlite3_step(s) == SQLITE_DONE;
    sqlite3_finalize(s);
    return ok;
}

// Room the checkpoint lacks on the disk: what the store file must grow by to take in the WAL, and a
// margin for the saves after it.
qint64 missingRoom(sqlite3* db, const QString& storePath) {
    return StoreSpace::scalar(db, "PRAGMA page_count") * StoreSpace::scalar(db, "PRAGMA page_size") -
           QFileInfo(storePath).size() - std::max<qint64>(0, StoreSpace::freeOnDisk(storePath)) + 1024 * 1024;
}

// Takes out the newest large entries, as many as the checkpoint needs room for, in one transaction.
std::vector<TakenOut> takeOut(sqlite3* db, const QString& storePath, qint64 minBytes) {
    qint64 missing = missingRoom(db, storePath);
    std::vector<TakenOut> out;
    sqlite3_stmt* s = nullptr;
    const char* sql = "SELECT pk, ifnull(length(CAST(textContent AS BLOB)), 0) + ifnull(length(imageData), 0) + "
                      "ifnull(length(originalImageData), 0) + ifnull(length(richTextData), 0) AS bytes "
                      "FROM ClipboardItem WHERE bytes >= ? ORDER BY pk DESC";
    if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) == SQLITE_OK) {
        sqlite3_bind_int64(s, 1, minBytes);
        while (missing > 0 && sqlite3_step(s) == SQLITE_ROW) {
            out.push_back({sqlite3_column_int64(s, 0), sqlite3_column_int64(s, 1), {}, {}});
            missing -= out.back().bytes;
        }
    }
    sqlite3_finalize(s);
    if (out.empty() || !exec(db, "BEGIN IMMEDIATE"))
        return {};
    bool ok = true;
    for (TakenOut& entry : out) {
        ok = ok && readRow(db, "ClipboardItem", entry.key, &entry.item);
        readRow(db, "ClipboardItemSearch", entry.key, &entry.search);
        const QByteArray key = QByteArray::number(entry.key);
        ok = ok && exec(db, ("DELETE FROM ClipboardItemSearch WHERE pk = " + key).constData()) &&
             exec(db, ("DELETE FROM ClipboardItem WHERE pk = " + key).constData());
    }
    // The store's end is given up too, so that the checkpoint needs no room beyond it.
    if (ok && exec(db, "PRAGMA incremental_vacuum") && exec(db, "COMMIT"))
        return out;
    exec(db, "ROLLBACK");
    return {};
}

} // namespace

std::vector<qint64> StoreLog::settle(sqlite3* db, const QString& storePath, qint64 minBytes) {
    // Nothing to take in: the last connection to close emptied the WAL.
    if (QFileInfo(storePath + QStringLiteral("-wal")).size() == 0)
        return {};
    // A checkpoint that cannot finish would take the last free space for the store's growth. Only
    // a store with incremental auto-vacuum gets shorter when entries leave it.
    if (missingRoom(db, storePath) <= 0) {
        checkpoint(db);
        return {};
    }
    if (StoreSpace::scalar(db, "PRAGMA auto_vacuum") != 2)
        return {};
    std::vector<TakenOut> out = takeOut(db, storePath, minBytes);
    checkpoint(db);
    std::vector<qint64> givenUp;
    // Oldest first, as they were saved.
    for (auto it = out.rbegin(); it != out.rend(); ++it) {
        bool back = it->bytes <= StoreSpace::roomForEntry(db, storePath) && exec(db, "BEGIN IMMEDIATE");
        if (back) {
            back = writeRow(db, "ClipboardItem", it->item) && writeRow(db, "ClipboardItemSearch", it->search) &&
                   exec(db, "COMMIT");
            if (!back)
                exec(db, "ROLLBACK");
        }
        if (back)
            checkpoint(db);
        else
            givenUp.push_back(it->bytes);
    }
    return givenUp;
}
