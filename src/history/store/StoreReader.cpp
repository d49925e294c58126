// SPDX-License-Identifier: MIT
#include "history/store/StoreReader.h"

#include "history/store/StoreInternals.h"

#include <QFile>

#include <cstring>

using namespace StoreInternals;

StoreReader::StoreReader(QString path) : m_path(std::move(path)) {}

StoreReader::~StoreReader() {
    if (m_db)
        sqlite3_close_v2(m_db);
}

bool StoreReader::open(StoreError* error) {
    if (m_db)
        return true;
    const int rc = sqlite3_open_v2(QFile::encodeName(m_path).constData(), &m_db, SQLITE_OPEN_READONLY, nullptr);
    if (rc != SQLITE_OK) {
        setError(error, rc, errorText(m_db, rc));
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        return false;
    }
    sqlite3_busy_timeout(m_db, 2000);
    registerFunctions(m_db);
    return true;
}

bool StoreReader::keys(const FetchRequest& request, const QSet<QString>& knownTypes, std::vector<qint64>* out,
                       StoreError* error) {
    std::lock_guard lock(m_mutex);
    out->clear();
    if (request.entityName != QLatin1String("ClipboardItem")) {
        setError(error, SQLITE_MISUSE, QStringLiteral("Not a ClipboardItem request: %1").arg(request.entityName));
        return false;
    }
    if (!open(error))
        return false;
    const int limit = request.fetchLimit.value_or(0) > 0 ? *request.fetchLimit : 0;
    QByteArray sql = "SELECT pk FROM ClipboardItem";
    QVariantList binds;
    if (request.predicate) {
        sql += " WHERE ";
        const CompileContext cc{true, &knownTypes, limit > 0 && request.sortByTimestampDescending};
        if (!compile(*request.predicate, cc, sql, binds)) {
            setError(error, SQLITE_MISUSE,
                     QStringLiteral("Unsupported predicate: %1").arg(request.predicate->format()));
            return false;
        }
    }
    sql += request.sortByTimestampDescending ? " ORDER BY timestamp DESC, pk DESC" : " ORDER BY pk";
    sql += " LIMIT " + QByteArray::number(limit > 0 ? limit : -1) + " OFFSET " +
           QByteArray::number(std::max(0, request.fetchOffset));
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(m_db, sql.constData(), int(sql.size()), &raw, nullptr);
    if (rc != SQLITE_OK) {
        setError(error, rc, errorText(m_db, rc));
        sqlite3_finalize(raw);
        return false;
    }
    {
        Stmt s(m_db, raw);
        s.bindAll(binds);
        while ((rc = s.step()) == SQLITE_ROW)
            out->push_back(sqlite3_column_int64(raw, 0));
    }
    sqlite3_finalize(raw);
    if (rc != SQLITE_DONE) {
        setError(error, rc, errorText(m_db, rc));
        out->clear();
        return false;
    }
    return true;
}

bool StoreReader::itemBlob(qint64 key, ClipboardItem::Field field, OptData* out, StoreError* error) {
    const char* column = field == ClipboardItem::TextContent ? nullptr : ClipboardItem::lazyColumn(field);
    if (!column) {
        out->reset();
        setError(error, SQLITE_MISUSE, QStringLiteral("Not a binary attribute: %1").arg(field));
        return false;
    }
    bool found = false;
    return attribute(key, column, out, &found, error);
}

bool StoreReader::attribute(qint64 key, const char* column, OptData* out, bool* found, StoreError* error) {
    std::lock_guard lock(m_mutex);
    out->reset();
    *found = false;
    if (!open(error))
        return false;
    // The value's type comes from the row's header; the value itself is then read straight into its
    // own buffer, without SQLite's copy of it first: a large text or picture is in memory once.
    sqlite3_exec(m_db, "BEGIN", nullptr, nullptr, nullptr);
    const QByteArray sql = QByteArray("SELECT typeof(") + column + ") FROM ClipboardItem WHERE pk = ?";
    sqlite3_stmt* raw = nullptr;
    bool null = true;
    int rc = sqlite3_prepare_v2(m_db, sql.constData(), int(sql.size()), &raw, nullptr);
    if (rc == SQLITE_OK) {
        Stmt s(m_db, raw);
        s.bind(1, key);
        rc = s.step();
        if (rc == SQLITE_ROW) {
            *found = true;
            null = std::strcmp(reinterpret_cast<const char*>(sqlite3_column_text(raw, 0)), "null") == 0;
        }
    }
    sqlite3_finalize(raw);
    if (rc == SQLITE_ROW && !null) {
        sqlite3_blob* blob = nullptr;
        rc = sqlite3_blob_open(m_db, "main", "ClipboardItem", column, key, 0, &blob);
        if (rc == SQLITE_OK) {
            const int size = sqlite3_blob_bytes(blob);
            QByteArray bytes(size, Qt::Uninitialized);
            rc = size > 0 ? sqlite3_blob_read(blob, bytes.data(), size, 0) : SQLITE_OK;
            if (rc == SQLITE_OK)
                *out = size > 0 ? std::move(bytes) : QByteArray("");
        }
        sqlite3_blob_close(blob);
    }
    if (rc != SQLITE_ROW && rc != SQLITE_DONE && rc != SQLITE_OK)
        setError(error, rc, errorText(m_db, rc));
    sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
    return rc == SQLITE_ROW || rc == SQLITE_DONE || rc == SQLITE_OK;
}

bool StoreReader::binaryBytes(qint64 key, qint64* out, StoreError* error) {
    std::lock_guard lock(m_mutex);
    *out = 0;
    if (!open(error))
        return false;
    // length() of a blob argument is taken from the record header: the blobs are not read.
    static const char sql[] = "SELECT coalesce(length(richTextData), 0) + coalesce(length(imageData), 0) + "
                              "coalesce(length(originalImageData), 0) + coalesce(length(urlPreviewImageData), 0) + "
                              "coalesce(length(documentFormats), 0) FROM ClipboardItem WHERE pk = ?";
    sqlite3_stmt* raw = nullptr;
    int rc = sqlite3_prepare_v2(m_db, sql, -1, &raw, nullptr);
    if (rc == SQLITE_OK) {
        Stmt s(m_db, raw);
        s.bind(1, key);
        rc = s.step();
        if (rc == SQLITE_ROW)
            *out = sqlite3_column_int64(raw, 0);
    }
    sqlite3_finalize(raw);
    if (rc != SQLITE_ROW && rc != SQLITE_DONE) {
        setError(error, rc, errorText(m_db, rc));
        return false;
    }
    return true;
}
