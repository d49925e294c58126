// SPDX-License-Identifier: MIT
#pragma once
// Small helpers shared by the store tests.
#include "HistoryTestSupport.h"

#include <QFile>

#include <sqlite3.h>

inline ClipboardItemPtr addText(ManagedObjectContext& ctx, const QString& text, const QDateTime& when,
                                const QString& type = QStringLiteral("text")) {
    auto item = ctx.insertClipboardItem();
    item->setId(QUuid::createUuid());
    item->setType(type);
    item->setTextContent(text);
    item->setPreview(text.left(100));
    item->setTimestamp(when);
    item->setIsFavorite(false);
    return item;
}

inline QByteArray fileBytes(const QString& path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

inline int execSql(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

inline FetchRequest newestFirst(std::optional<Predicate> predicate = std::nullopt) {
    FetchRequest r;
    r.sortByTimestampDescending = true;
    r.predicate = std::move(predicate);
    return r;
}

inline const QDateTime kBase = QDateTime::fromSecsSinceEpoch(1'700'000'000);
