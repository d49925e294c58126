// SPDX-License-Identifier: MIT
// Saves entries into the store named on the command line, reports on stdout, then kills itself
// without any clean-up, as a crash right after a successful save would. With "large" as a third
// argument it hands large texts to the large-entry writer one after another and waits to be killed,
// reporting each one saved. With "count" as the second argument it prints the number of entries, read
// on a plain connection that it then closes as any other program would.
#include "history/LargeEntryWriter.h"
#include "history/store/ManagedObjectContext.h"

#include <QCoreApplication>

#include <sqlite3.h>

#include <csignal>
#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc < 3)
        return 2;
    if (QByteArray(argv[2]) == "count") {
        sqlite3* db = nullptr;
        sqlite3_stmt* s = nullptr;
        if (sqlite3_open_v2(argv[1], &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK ||
            sqlite3_prepare_v2(db, "SELECT count(*) FROM ClipboardItem", -1, &s, nullptr) != SQLITE_OK ||
            sqlite3_step(s) != SQLITE_ROW)
            return 5;
        std::printf("%d\n", sqlite3_column_int(s, 0));
        sqlite3_finalize(s);
        return sqlite3_close(db) == SQLITE_OK ? 0 : 6;
    }
    StoreError error;
    auto ctx = ManagedObjectContext::open(QString::fromLocal8Bit(argv[1]), &error);
    if (!ctx) {
        std::printf("open failed: %s\n", qPrintable(error.message));
        return 3;
    }
    const int count = std::atoi(argv[2]);
    if (argc > 3 && QByteArray(argv[3]) == "large") {
        ctx.reset();
        LargeEntryWriter writer(
            QString::fromLocal8Bit(argv[1]),
            [](const LargeEntryWriter::Outcome& outcome) {
                std::printf("%s\n", outcome.errorCode ? "save failed" : "saved");
                std::fflush(stdout);
            },
            [] {});
        for (int i = 0; i < count; ++i) {
            LargeEntryWriter::Entry entry;
            entry.type = QStringLiteral("text");
            const QString text = QString::number(i) + QString(16 * 1024 * 1024, QChar(u'a' + i % 26));
            // Both ways large texts come: as a string, and as captured from the clipboard.
            if (i % 2)
                entry.largeText = LargeText::fromUtf8(text.toUtf8());
            else
                entry.text = text;
            entry.preview = QStringLiteral("large");
            entry.timestamp = QDateTime::currentDateTime();
            writer.save(std::move(entry));
        }
        writer.waitUntilIdle([] {});
        for (;;)
            ::pause(); // until killed
    }
    for (int i = 0; i < count; ++i) {
        auto item = ctx->insertClipboardItem();
        item->setType(QStringLiteral("text"));
        item->setTextContent(QStringLiteral("entry %1").arg(i));
        item->setTimestamp(QDateTime::currentDateTime());
        item->setIsFavorite(false);
        if (!ctx->save(&error)) {
            std::printf("save failed: %s\n", qPrintable(error.message));
            return 4;
        }
        std::printf("%s\n", qPrintable(item->objectID()));
    }
    std::fflush(stdout);
    std::raise(SIGKILL);
    return 0;
}
