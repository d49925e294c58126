// SPDX-License-Identifier: MIT
// Deleting many entries gives their space back to the file system, for stores of this version and
// for stores made before incremental auto-vacuum.
#include "history/store/StoreSpace.h"
#include "HistoryTestSupport.h"
#include "history/ClipboardDataManager.h"
#include "support/memory/MemoryWorkspace.h"

#include <QFileInfo>
#include <QRandomGenerator>
#include <QtTest>
#include <sqlite3.h>

namespace {

constexpr int kEntries = 2500;
constexpr int kEntryBytes = 8000; // 20 MB in all

qint64 scalar(const QString& path, const char* sql) {
    sqlite3* db = nullptr;
    qint64 value = -1;
    sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(db, sql, -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW)
        value = sqlite3_column_int64(s, 0);
    sqlite3_finalize(s);
    sqlite3_close(db);
    return value;
}

// Half the entries are older than 30 days, every one of them 8 KB of noise.
void fill(ManagedObjectContext& ctx) {
    QRandomGenerator rng(3);
    QByteArray bytes(kEntryBytes, Qt::Uninitialized);
    const QDateTime now = QDateTime::currentDateTime();
    for (int i = 0; i < kEntries; ++i) {
        for (int j = 0; j < kEntryBytes; j += 4)
            *reinterpret_cast<quint32*>(bytes.data() + j) = rng.generate();
        auto item = ctx.insertClipboardItem();
        item->setId(QUuid::createUuid());
        item->setType(QStringLiteral("image"));
        item->setPreview(QStringLiteral("Image"));
        item->setImageData(bytes);
        item->setTimestamp(i % 2 ? now.addDays(-40) : now.addSecs(-i - 1));
    }
    StoreError error;
    ASSERT_TRUE(ctx.save(&error)) << qPrintable(error.message);
}

} // namespace

TEST(StoreSpace, DeletedEntriesGiveTheirSpaceBack) {
    Workspace::setShared(std::make_unique<MemoryWorkspace>());
    const struct {
        const char* what;
        bool oldStore; // made before incremental auto-vacuum
        bool clear;    // else the retention clean-up, which keeps half
        qint64 maxBytesAfter;
    } cases[] = {{"clear", false, true, 1 << 20},
                 {"clear of an old store", true, true, 1 << 20},
                 {"retention", false, false, 12 << 20},
                 {"retention in an old store", true, false, 12 << 20}};
    for (const auto& c : cases) {
        QString path;
        openFreshStore(&path).reset();
        if (c.oldStore) {
            sqlite3* db = nullptr;
            sqlite3_open(QFile::encodeName(path).constData(), &db);
            ASSERT_EQ(sqlite3_exec(db, "PRAGMA auto_vacuum = NONE; VACUUM", nullptr, nullptr, nullptr), SQLITE_OK);
            sqlite3_close(db);
            ASSERT_EQ(scalar(path, "PRAGMA auto_vacuum"), 0) << c.what;
        }
        StoreError error;
        auto ctx = ManagedObjectContext::open(path, &error);
        ASSERT_TRUE(ctx) << qPrintable(error.message);
        ASSERT_NO_FATAL_FAILURE(fill(*ctx));
        EXPECT_EQ(scalar(path, "PRAGMA auto_vacuum"), c.oldStore ? 0 : 2) << c.what;
        ASSERT_GT(QFileInfo(path).size() + QFileInfo(path + "-wal").size(), qint64(kEntries) * kEntryBytes);

        auto manager = std::make_unique<ClipboardDataManager>(ctx.get());
        if (c.clear)
            ASSERT_TRUE(manager->clearAllHistory()) << c.what;
        else
            manager->deleteItemsOlderThan(30);
        // The space comes back in the background while the store stays usable.
        ASSERT_TRUE(manager->storeSpace()) << c.what;
        manager->storeSpace()->wait();
        EXPECT_EQ(scalar(path, "PRAGMA freelist_count"), 0) << c.what;
        EXPECT_LE(QFileInfo(path).size(), c.maxBytesAfter) << c.what;
        EXPECT_LE(QFileInfo(path + "-wal").size(), 1 << 20) << c.what;
        EXPECT_EQ(ctx->count(FetchRequest{}), c.clear ? 0 : kEntries / 2) << c.what;
        manager->finishStoreSpace();
        // Old stores are converted on the way, so the next deletion needs no rewrite.
        EXPECT_EQ(scalar(path, "PRAGMA auto_vacuum"), 2) << c.what;
    }
}
