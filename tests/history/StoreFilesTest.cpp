// SPDX-License-Identifier: MIT
// The store as a file: foreign and older files, kills, other processes and permissions.
#include "StoreTestHelpers.h"

#include "history/ClipboardDataManager.h"
#include "history/store/StoreFiles.h"
#include "history/store/StoreReader.h"
#include "history/store/TextFolding.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QThread>
#include <QtConcurrent>
#include <QtTest>

#include <sqlite3.h>
#include <sys/stat.h>

#include <atomic>

TEST(Store, ForeignOrNewerFilesAreRefusedAndLeftUntouched) {
    const QString dir = TestEnvironment::instance().freshDir("refused");
    // Not SQLite at all.
    const QString text = dir + "/text.sqlite";
    {
        QFile f(text);
        f.open(QIODevice::WriteOnly);
        f.write(QByteArray("this is not a database, just text\n").repeated(200));
    }
    // A valid SQLite file of someone else.
    const QString foreign = dir + "/foreign.sqlite";
    {
        sqlite3* db = nullptr;
        sqlite3_open(foreign.toUtf8().constData(), &db);
        execSql(db, "CREATE TABLE notes(body TEXT); INSERT INTO notes VALUES ('hello')");
        sqlite3_close(db);
    }
    // Ours, from a newer version.
    const QString newer = dir + "/newer.sqlite";
    {
        auto ctx = ManagedObjectContext::open(newer, nullptr);
        ASSERT_TRUE(ctx);
        addText(*ctx, "keep me", kBase);
        ASSERT_TRUE(ctx->save());
        execSql(ctx->connection(), "PRAGMA user_version = 99");
    }
    // Our tables, but a layout that cannot be migrated.
    const QString broken = dir + "/broken.sqlite";
    {
        sqlite3* db = nullptr;
        sqlite3_open(broken.toUtf8().constData(), &db);
        execSql(db, "CREATE TABLE ClipboardItem(textContent TEXT); PRAGMA user_version = 1");
        sqlite3_close(db);
    }
    // SQLite's header followed by garbage.
    const QString garbage = dir + "/garbage.sqlite";
    {
        QFile f(garbage);
        f.open(QIODevice::WriteOnly);
        f.write(QByteArray("SQLite format 3\0", 16) + QByteArray(8192, '\x5a'));
    }
    for (const QString& path : {text, foreign, newer, broken, garbage}) {
        const QByteArray before = fileBytes(path);
        StoreError error;
        auto ctx = ManagedObjectContext::open(path, &error);
        EXPECT_FALSE(ctx) << path.toStdString();
        EXPECT_NE(error.code, 0) << path.toStdString();
        EXPECT_FALSE(error.message.isEmpty()) << path.toStdString();
        EXPECT_EQ(fileBytes(path), before) << path.toStdString();
    }
}

TEST(Store, OlderLayoutIsMigratedAdditively) {
    const QString path = TestEnvironment::instance().freshDir("migrate") + "/Tindralume.sqlite";
    {
        // A version-1 store written before the colour and search columns existed.
        sqlite3* db = nullptr;
        sqlite3_open(path.toUtf8().constData(), &db);
        execSql(db, "CREATE TABLE SourceApp(pk INTEGER PRIMARY KEY AUTOINCREMENT, appName TEXT, bundleId TEXT);"
                    "CREATE TABLE ClipboardItem(pk INTEGER PRIMARY KEY AUTOINCREMENT, id TEXT, type TEXT,"
                    " timestamp REAL, isFavorite INTEGER, sourceApp INTEGER, textContent TEXT, preview TEXT);"
                    "INSERT INTO SourceApp(appName, bundleId) VALUES ('Éditeur', 'org.example.editor');"
                    "INSERT INTO ClipboardItem(type, timestamp, isFavorite, sourceApp, textContent, preview)"
                    " VALUES ('text', 1700000000, 0, 1, ' #A1B2C3\n', ' #A1B2C3\n');"
                    "INSERT INTO ClipboardItem(type, timestamp, isFavorite, textContent, preview)"
                    " VALUES ('text', 1700000001, 1, 'Crème brûlée', 'Crème brûlée');"
                    "PRAGMA user_version = 1;");
        sqlite3_close(db);
    }
    StoreError error;
    auto ctx = ManagedObjectContext::open(path, &error);
    ASSERT_TRUE(ctx) << error.message.toStdString();
    EXPECT_EQ(ctx->fetchItems(FetchRequest{}).size(), 2u);
    auto colors = ctx->fetchItems(where(Predicate::isColor()));
    ASSERT_EQ(colors.size(), 1u);
    EXPECT_EQ(colors[0]->textContent(), QStringLiteral(" #A1B2C3\n"));
    EXPECT_EQ(ctx->fetchItems(where(Predicate::containsCD(Predicate::Field::TextContent, "creme"))).size(), 1u);
    EXPECT_EQ(ctx->fetchItems(where(Predicate::containsCD(Predicate::Field::SourceAppName, "editeur"))).size(), 1u);
    EXPECT_EQ(ctx->fetchItems(where(Predicate::isFavorite())).size(), 1u);
    // New rows get keys after the old ones.
    auto fresh = addText(*ctx, "new", kBase);
    EXPECT_EQ(fresh->primaryKey(), 3);
    EXPECT_TRUE(ctx->save());
}

TEST(Store, AStoreOfTheFirstVersionGainsTheListOfFurtherFiles) {
    const QString path = TestEnvironment::instance().freshDir("version1") + "/Tindralume.sqlite";
    {
        // The first version's layout, its file entry included: today's without the newer columns.
        auto ctx = ManagedObjectContext::open(path, nullptr);
        ASSERT_TRUE(ctx);
        auto file = addText(*ctx, "unused", kBase, "file");
        file->setTextContent(std::nullopt);
        file->setFilePath(QStringLiteral("/home/u/report.pdf"));
        ASSERT_TRUE(ctx->save());
        ASSERT_EQ(execSql(ctx->connection(), "ALTER TABLE ClipboardItem DROP COLUMN additionalFilePaths;"
                                             "ALTER TABLE ClipboardItem DROP COLUMN documentFormats;"
                                             "PRAGMA user_version = 1"),
                  SQLITE_OK);
    }
    const QStringList more{QStringLiteral("/home/u/b.odt"), QStringLiteral("/home/u/line\nbreak \"q\".rtf")};
    {
        auto ctx = ManagedObjectContext::open(path, nullptr);
        ASSERT_TRUE(ctx);
        auto rows = ctx->fetchItems(newestFirst());
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0]->filePath(), QStringLiteral("/home/u/report.pdf"));
        EXPECT_TRUE(rows[0]->additionalFilePaths().isEmpty());
        auto several = addText(*ctx, "unused", kBase.addSecs(1), "file");
        several->setFilePath(QStringLiteral("/home/u/a.png"));
        several->setAdditionalFilePaths(more);
        ASSERT_TRUE(ctx->save());
        // A single file is stored exactly as the first version stored it.
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(ctx->connection(), "SELECT count(*) FROM ClipboardItem WHERE additionalFilePaths IS NULL",
                           -1, &s, nullptr);
        ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
        EXPECT_EQ(sqlite3_column_int(s, 0), 1);
        sqlite3_finalize(s);
    }
    auto ctx = ManagedObjectContext::open(path, nullptr);
    ASSERT_TRUE(ctx);
    auto rows = ctx->fetchItems(newestFirst());
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0]->additionalFilePaths(), more);
    EXPECT_TRUE(rows[1]->additionalFilePaths().isEmpty());
    // A damaged list reads as none rather than failing the page.
    for (const char* damaged : {"'not json'", "'[1, 2]'", "'{\"a\": 1}'", "x'00ff'"}) {
        const QByteArray sql = QByteArray("UPDATE ClipboardItem SET additionalFilePaths = ") + damaged +
                               " WHERE filePath = '/home/u/a.png'";
        ASSERT_EQ(execSql(ctx->connection(), sql.constData()), SQLITE_OK) << damaged;
        auto reopened = ManagedObjectContext::open(path, nullptr);
        ASSERT_TRUE(reopened);
        auto page = reopened->fetchItems(newestFirst());
        ASSERT_EQ(page.size(), 2u) << damaged;
        EXPECT_EQ(page[0]->filePath(), QStringLiteral("/home/u/a.png")) << damaged;
        EXPECT_EQ(page[0]->additionalFileCount(), 0) << damaged;
        EXPECT_TRUE(page[0]->additionalFilePaths().isEmpty()) << damaged;
    }
}

TEST(Store, EveryFileOfACopyIsSearchedInOlderStoresToo) {
    const QString path = TestEnvironment::instance().freshDir("file-names") + "/Tindralume.sqlite";
    // Quotes and backslashes are escaped in the stored list: the count of a page must not trip on them.
    const QStringList more{"/home/u/Fotos/Ítem2.jpeg", "/home/u/Fotos/Ítem3.jpeg", "/home/u/Fotos/Ítem4 \"q\".jpeg",
                           "/home/u/Fotos/Ítem5.jpeg\\", "/home/u/Fotos/Ítem6.jpeg"};
    auto found = [](ManagedObjectContext& ctx, const QString& query) {
        return int(
            ctx.fetchItems(ClipboardDataManager::pageRequest(query, std::nullopt, 0, false, std::nullopt)).size());
    };
    {
        auto ctx = ManagedObjectContext::open(path, nullptr);
        ASSERT_TRUE(ctx);
        auto six = addText(*ctx, "unused", kBase, "file");
        six->setTextContent(std::nullopt);
        six->setFilePath(QStringLiteral("/home/u/Fotos/item1.jpeg"));
        six->setPreview(QStringLiteral("item1.jpeg"));
        six->setAdditionalFilePaths(more);
        // Judged in memory while unsaved, from the stored search row once saved.
        EXPECT_EQ(found(*ctx, QStringLiteral("ITEM3")), 1);
        ASSERT_TRUE(ctx->save());
        ctx.reset();
        ctx = ManagedObjectContext::open(path, nullptr);
        // Names are searched, as the first file's is, not the folders they are in.
        const std::pair<const char*, int> queries[] = {{"item3", 1}, {"ITEM6.JPEG", 1}, {"item1", 1}, {"fotos", 0}};
        for (const auto& [query, expected] : queries)
            EXPECT_EQ(found(*ctx, QString::fromUtf8(query)), expected) << query;
        // A page reads how many further files there are; their list comes on first use.
        const auto page = ctx->fetchItems(ClipboardDataManager::pageRequest({}, 20, 0, false, std::nullopt));
        ASSERT_EQ(page.size(), 1u);
        EXPECT_EQ(page[0]->additionalFileCount(), 5);
        EXPECT_FALSE(page[0]->isLoaded(ClipboardItem::AdditionalFilePaths));
        EXPECT_EQ(page[0]->additionalFilePaths(), more);
        // The search row as an older version wrote it: the first name only.
        ASSERT_EQ(execSql(ctx->connection(), "UPDATE ClipboardItemSearch SET previewFolded = 'item1.jpeg';"
                                             "PRAGMA user_version = 3"),
                  SQLITE_OK);
        EXPECT_EQ(found(*ctx, QStringLiteral("item3")), 0);
    }
    auto ctx = ManagedObjectContext::open(path, nullptr);
    ASSERT_TRUE(ctx);
    EXPECT_EQ(found(*ctx, QStringLiteral("item3")), 1);
    EXPECT_EQ(found(*ctx, QStringLiteral("item1")), 1);
}

TEST(Store, KilledRightAfterASaveLosesNothing) {
    const QString path = TestEnvironment::instance().freshDir("killed") + "/Tindralume.sqlite";
    QProcess helper;
    helper.start(QStringLiteral(STORE_CRASH_HELPER), {path, QStringLiteral("25")});
    ASSERT_TRUE(helper.waitForFinished(60000));
    EXPECT_EQ(helper.exitStatus(), QProcess::CrashExit);
    const QStringList ids = QString::fromUtf8(helper.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(ids.size(), 25) << ids.join(' ').toStdString();
    StoreError error;
    auto ctx = ManagedObjectContext::open(path, &error);
    ASSERT_TRUE(ctx) << error.message.toStdString();
    EXPECT_EQ(ctx->fetchItems(FetchRequest{}).size(), 25u);
    for (const QString& id : ids)
        EXPECT_TRUE(ctx->existingObject(id)) << id.toStdString();
    EXPECT_EQ(ctx->existingClipboardItem(ids.last())->textContent(), QStringLiteral("entry 24"));
}

TEST(Store, ALargeSaveKilledMidwayLeavesEachEntryWholeOrAbsent) {
    const QString path = TestEnvironment::instance().freshDir("killed-large") + "/Tindralume.sqlite";
    QProcess helper;
    helper.start(QStringLiteral(STORE_CRASH_HELPER), {path, QStringLiteral("4"), QStringLiteral("large")});
    QByteArray out;
    // Killed once the first is saved: the second is on its way into the file.
    ASSERT_TRUE(QTest::qWaitFor([&] { return (out += helper.readAllStandardOutput()).contains("saved"); }, 120000))
        << out.constData();
    ::kill(pid_t(helper.processId()), SIGKILL);
    ASSERT_TRUE(helper.waitForFinished(60000));
    out += helper.readAllStandardOutput();
    EXPECT_FALSE(out.contains("failed")) << out.constData();
    const int saved = int(out.count("saved"));

    StoreError error;
    auto ctx = ManagedObjectContext::open(path, &error);
    ASSERT_TRUE(ctx) << error.message.toStdString();
    sqlite3_stmt* s = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(ctx->connection(), "PRAGMA quick_check", -1, &s, nullptr), SQLITE_OK);
    ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
    EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(s, 0)), "ok");
    sqlite3_finalize(s);
    const auto rows = ctx->fetchItems(FetchRequest{});
    EXPECT_GE(int(rows.size()), saved);
    EXPECT_LE(rows.size(), 4u);
    for (size_t i = 0; i < rows.size(); ++i) {
        const QString expected = QString::number(i) + QString(16 * 1024 * 1024, QChar(u'a' + int(i) % 26));
        EXPECT_TRUE(rows[i]->textContent() == expected) << i;
    }
}

// A second connection of the process (the large-entry writer's) must not cost the first its locks:
// another program closing the store would then take it for unused and remove its log, and later
// saves would go where nobody reads them.
TEST(Store, AnotherConnectionKeepsTheStoreLockedForOtherPrograms) {
    QString path;
    auto ctx = openFreshStore(&path);
    addText(*ctx, "one", kBase);
    ASSERT_TRUE(ctx->save());
    auto second = ManagedObjectContext::openAnother(path, nullptr);
    ASSERT_TRUE(second);
    auto countElsewhere = [&] {
        QProcess helper;
        helper.start(QStringLiteral(STORE_CRASH_HELPER), {path, QStringLiteral("count")});
        EXPECT_TRUE(helper.waitForFinished(60000));
        return helper.readAllStandardOutput().trimmed().toInt();
    };
    EXPECT_EQ(countElsewhere(), 1);
    addText(*ctx, "two", kBase.addSecs(1));
    ASSERT_TRUE(ctx->save());
    EXPECT_EQ(countElsewhere(), 2);
    EXPECT_TRUE(QFile::exists(path + "-wal"));
}

TEST(Store, TwoProcessesWritingOneStoreNeverCollide) {
    QString path;
    auto ctx = openFreshStore(&path);
    QStringList expected;
    auto runHelper = [&](QProcess& helper, int count) {
        helper.start(QStringLiteral(STORE_CRASH_HELPER), {path, QString::number(count)});
        for (int i = 0; i < count; ++i)
            expected << QStringLiteral("entry %1").arg(i);
    };
    auto finishHelper = [&](QProcess& helper, int count) {
        ASSERT_TRUE(helper.waitForFinished(120000));
        const QByteArray out = helper.readAllStandardOutput();
        EXPECT_EQ(out.count('\n'), count) << out.constData(); // a failed save prints "save failed"
    };
    // Inserted here before the other process saves, saved here after it.
    addText(*ctx, "mine before", kBase);
    expected << QStringLiteral("mine before");
    {
        QProcess helper;
        runHelper(helper, 20);
        ASSERT_NO_FATAL_FAILURE(finishHelper(helper, 20));
    }
    StoreError error;
    ASSERT_TRUE(ctx->save(&error)) << error.message.toStdString();
    // Both at once.
    QProcess helper;
    runHelper(helper, 150);
    for (int i = 0; i < 150; ++i) {
        addText(*ctx, QStringLiteral("mine %1").arg(i), kBase.addSecs(i));
        expected << QStringLiteral("mine %1").arg(i);
        ASSERT_TRUE(ctx->save(&error)) << i << " " << error.message.toStdString();
    }
    ASSERT_NO_FATAL_FAILURE(finishHelper(helper, 150));

    // A key handed out while the store is locked by the other writer and then taken by it.
    sqlite3_busy_timeout(ctx->connection(), 50);
    sqlite3* other = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &other), SQLITE_OK);
    ASSERT_EQ(execSql(other, "BEGIN IMMEDIATE"), SQLITE_OK);
    auto unclaimed = addText(*ctx, "mine unclaimed", kBase);
    const QString taken = QString::number(unclaimed->primaryKey());
    ASSERT_EQ(execSql(other, qPrintable("INSERT INTO ClipboardItem (pk, type, textContent, timestamp) VALUES (" +
                                        taken + ", 'text', 'theirs on my key', 1); COMMIT")),
              SQLITE_OK);
    sqlite3_close(other);
    expected << QStringLiteral("mine unclaimed") << QStringLiteral("theirs on my key");
    ASSERT_TRUE(ctx->save(&error)) << error.message.toStdString();
    EXPECT_NE(QString::number(unclaimed->primaryKey()), taken);

    QStringList texts, ids;
    for (const auto& item : ctx->fetchItems(FetchRequest{})) {
        texts << item->textContent().value_or(QString());
        ids << item->objectID();
    }
    ids.removeDuplicates();
    EXPECT_EQ(ids.size(), texts.size());
    texts.sort();
    expected.sort();
    EXPECT_EQ(texts, expected);
}

TEST(Store, FilesArePrivateWhateverTheUmask) {
    auto modeOf = [](const QString& path) {
        struct stat st {};
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0xffff;
    };
    const mode_t saved = ::umask(022);
    for (const mode_t mask : {mode_t(022), mode_t(0), mode_t(0277)}) {
        ::umask(mask);
        const QString dir = TestEnvironment::instance().freshDir("modes") + "/new/Tindralume";
        const QString path = dir + "/Tindralume.sqlite";
        auto ctx = ManagedObjectContext::open(path, nullptr);
        ASSERT_TRUE(ctx) << mask;
        addText(*ctx, "secret", kBase);
        ASSERT_TRUE(ctx->save());
        EXPECT_EQ(modeOf(dir), 0700u) << "umask " << mask;
        for (const char* suffix : {"", "-wal", "-shm"})
            EXPECT_EQ(modeOf(path + suffix), 0600u) << suffix << " umask " << mask;
    }
    ::umask(saved);
    // A store an older version left readable by others is closed to them when opened.
    QString path;
    openFreshStore(&path).reset();
    sqlite3* db = nullptr;
    sqlite3_open(QFile::encodeName(path).constData(), &db);
    execSql(db, "SELECT count(*) FROM ClipboardItem"); // keeps a -wal and a -shm
    for (const char* suffix : {"", "-wal", "-shm"})
        ::chmod(QFile::encodeName(path + suffix).constData(), 0644);
    auto ctx = ManagedObjectContext::open(path, nullptr);
    ASSERT_TRUE(ctx);
    for (const char* suffix : {"", "-wal", "-shm"})
        EXPECT_EQ(modeOf(path + suffix), 0600u) << suffix;
    sqlite3_close(db);
}

// A link planted for the store or its log is refused before anything is written: the file it
// points to keeps its bytes and mode. A linked store folder is the user's layout and is used as is.
TEST(Store, ALinkInPlaceOfAStoreFileIsRefusedAndItsTargetKept) {
    auto modeOf = [](const QString& path) {
        struct stat st {};
        return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0xffff;
    };
    for (const char* suffix : {"", "-wal", "-shm"}) {
        SCOPED_TRACE(suffix);
        const QString dir = TestEnvironment::instance().freshDir("linked-store");
        const QString path = dir + "/Tindralume.sqlite";
        if (*suffix) {
            auto ctx = ManagedObjectContext::open(path, nullptr);
            ASSERT_TRUE(ctx);
            addText(*ctx, "kept", kBase);
            ASSERT_TRUE(ctx->save());
        }
        const QString target = dir + "/someone-elses";
        QFile victim(target);
        ASSERT_TRUE(victim.open(QIODevice::WriteOnly));
        victim.close(); // empty, as a new store would be
        ::chmod(QFile::encodeName(target).constData(), 0644);
        QFile::remove(path + suffix);
        ASSERT_TRUE(QFile::link(target, path + suffix));

        StoreError error;
        EXPECT_FALSE(ManagedObjectContext::open(path, &error));
        EXPECT_TRUE(error.message.contains(QStringLiteral("symbolic link"))) << error.message.toStdString();
        EXPECT_EQ(QFileInfo(target).size(), 0);
        EXPECT_EQ(modeOf(target), 0644u);
        EXPECT_TRUE(QFileInfo(path + suffix).isSymLink());
    }

    const QString elsewhere = TestEnvironment::instance().freshDir("store-elsewhere");
    ::chmod(QFile::encodeName(elsewhere).constData(), 0755);
    const QString folder = TestEnvironment::instance().freshDir("store-linked-folder") + "/Tindralume";
    ASSERT_TRUE(QFile::link(elsewhere, folder));
    StoreFiles::restrictFolderToOwner(folder);
    EXPECT_TRUE(ManagedObjectContext::open(folder + "/Tindralume.sqlite", nullptr));
    EXPECT_EQ(modeOf(elsewhere), 0755u);
    EXPECT_EQ(modeOf(elsewhere + "/Tindralume.sqlite"), 0600u);
}

// A check that outlasts its time (a slow disk, a huge history) is stopped rather than waited for,
// whatever the SQLite in use does: the store then opens unchecked, with everything in it.
TEST(Store, AnIntegrityCheckThatOutlastsItsTimeIsStoppedAndTheStoreOpens) {
    QString path;
    {
        auto ctx = openFreshStore(&path);
        for (int i = 0; i < 50; ++i)
            addText(*ctx, QStringLiteral("entry %1 ").arg(i).repeated(40), kBase.addSecs(i));
        ASSERT_TRUE(ctx->save());
    }
    std::atomic<int> reads{0};
    QuickCheck::setReadHookForTesting([&reads] { ++reads; });
    ASSERT_TRUE(ManagedObjectContext::open(path, nullptr));
    const int readsOfAWholeCheck = reads;
    ASSERT_GT(readsOfAWholeCheck, 20);

    reads = 0;
    QuickCheck::setReadHookForTesting([&reads] {
        ++reads;
        QThread::msleep(400);
    });
    StoreError error;
    auto ctx = ManagedObjectContext::open(path, &error);
    QuickCheck::setReadHookForTesting({});
    ASSERT_TRUE(ctx) << qPrintable(error.message);
    EXPECT_LT(reads, readsOfAWholeCheck);
    EXPECT_EQ(ctx->fetchItems(FetchRequest{}).size(), 50u);
}
