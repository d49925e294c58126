// SPDX-License-Identifier: MIT
#pragma once

#include "support/StdoutCapture.h"
#include "support/TestEnvironment.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <unistd.h>

// Reads the store file from outside the application, as another program would.
class StoreFileReader {
public:
    explicit StoreFileReader(const QString& path) {
        if (sqlite3_open_v2(QFile::encodeName(path).constData(), &m_db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
            sqlite3_close(m_db);
            m_db = nullptr;
        }
        if (m_db)
            sqlite3_busy_timeout(m_db, 5000);
    }
    ~StoreFileReader() { close(); }
    void close() {
        sqlite3_close(m_db);
        m_db = nullptr;
    }
    bool isOpen() const { return m_db != nullptr; }

    struct Row {
        QString type;
        QByteArray text; // null when absent
        QString preview;
        QByteArray filePath;
        QByteArray imageData;
        QByteArray originalImageData;
        QByteArray richTextData;
        QString appName;
        QString bundleId;
        double timestamp = 0;
        bool isFavorite = false;
        bool appHasIcon = false;
    };
    // Newest first; empty when the store cannot be read.
    std::vector<Row> rows() {
        std::vector<Row> out;
        if (!m_db)
            return out;
        sqlite3_stmt* st = nullptr;
        const char* sql =
            "SELECT i.type, i.textContent, i.preview, i.filePath, i.imageData, i.originalImageData, i.richTextData, "
            "a.appName, a.bundleId, i.timestamp, i.isFavorite, a.iconData IS NOT NULL "
            "FROM ClipboardItem i LEFT JOIN SourceApp a ON a.pk = i.sourceApp ORDER BY i.timestamp DESC";
        if (sqlite3_prepare_v2(m_db, sql, -1, &st, nullptr) != SQLITE_OK)
            return out;
        auto bytes = [st](int col) {
            if (sqlite3_column_type(st, col) == SQLITE_NULL)
                return QByteArray();
            const void* p = sqlite3_column_blob(st, col);
            const int n = sqlite3_column_bytes(st, col);
            return n == 0 ? QByteArray("") : QByteArray(static_cast<const char*>(p), n);
        };
        while (sqlite3_step(st) == SQLITE_ROW) {
            Row r;
            r.type = QString::fromUtf8(bytes(0));
            r.text = bytes(1);
            r.preview = QString::fromUtf8(bytes(2));
            r.filePath = bytes(3);
            r.imageData = bytes(4);
            r.originalImageData = bytes(5);
            r.richTextData = bytes(6);
            r.appName = QString::fromUtf8(bytes(7));
            r.bundleId = QString::fromUtf8(bytes(8));
            r.timestamp = sqlite3_column_double(st, 9);
            r.isFavorite = sqlite3_column_int(st, 10) != 0;
            r.appHasIcon = sqlite3_column_int(st, 11) != 0;
            out.push_back(r);
        }
        sqlite3_finalize(st);
        return out;
    }

private:
    sqlite3* m_db = nullptr;
};

inline QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << qPrintable(path);
    f.write(bytes);
}
