// SPDX-License-Identifier: MIT
#include "HistoryTestSupport.h"

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

namespace {

ClipboardItemPtr addText(ManagedObjectContext& ctx, const QString& text, const QDateTime& when,
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

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    f.open(QIODevice::ReadOnly);
    return f.readAll();
}

int execSql(sqlite3* db, const char* sql) {
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

FetchRequest newestFirst(std::optional<Predicate> predicate = std::nullopt) {
    FetchRequest r;
    r.sortByTimestampDescending = true;
    r.predicate = std::move(predicate);
    return r;
}

const QDateTime kBase = QDateTime::fromSecsSinceEpoch(1'700'000'000);

} // namespace

TEST(Store, CreatesTheFileWithTheNamedTablesAndColumns) {
    QString path;
    auto ctx = openFreshStore(&path);
    ASSERT_TRUE(ctx);
    EXPECT_TRUE(QFile::exists(path));
    sqlite3* db = ctx->connection();
    for (const char* column :
         {"filePath", "id", "imageData", "isFavorite", "originalImageData", "preview", "richTextData", "textContent",
          "timestamp", "type", "urlPreviewDescription", "urlPreviewImageData", "urlPreviewTitle", "sourceApp"}) {
        const QByteArray sql = QByteArray("SELECT ") + column + " FROM ClipboardItem LIMIT 0";
        EXPECT_EQ(execSql(db, sql.constData()), SQLITE_OK) << column;
    }
    for (const char* column : {"appName", "bundleId", "dominantColorData", "iconData"}) {
        const QByteArray sql = QByteArray("SELECT ") + column + " FROM SourceApp LIMIT 0";
        EXPECT_EQ(execSql(db, sql.constData()), SQLITE_OK) << column;
    }
    EXPECT_EQ(execSql(db, "SELECT nosuchcolumn FROM ClipboardItem"), SQLITE_ERROR);
}

TEST(Store, DefaultPathIsUnderXdgDataHome) {
    EXPECT_EQ(ManagedObjectContext::defaultStorePath(),
              TestEnvironment::instance().dataHome() + "/Tindralume/Tindralume.sqlite");
}

TEST(Store, StoredValuesAreReadBackExactlyAfterReopening) {
    QString path;
    const QUuid id = QUuid::createUuid();
    const QString withNul = QStringLiteral("a") + QChar(0) + QStringLiteral("b") + QChar(0);
    const QString replaced = QString::fromUtf8("ok \xff\xfe end"); // invalid bytes became U+FFFD
    const QByteArray blob("\x00\x01\x02\xff", 4);
    {
        auto ctx = openFreshStore(&path);
        auto a = addText(*ctx, withNul, kBase);
        a->setId(id);
        a->setIsFavorite(true);
        auto b = addText(*ctx, QString(), kBase.addSecs(1)); // present but empty
        b->setRichTextData(QByteArray(""));                  // present but empty
        auto c = addText(*ctx, replaced, kBase.addSecs(2));
        c->setImageData(blob);
        c->setFilePath(QStringLiteral("/tmp/Ünïcode file.txt"));
        auto d = ctx->insertClipboardItem(); // every attribute absent
        Q_UNUSED(d);
        ASSERT_TRUE(ctx->save());
    }
    // Read whole, and with the texts read only when asked for.
    for (const bool deferred : {false, true}) {
        SCOPED_TRACE(deferred);
        StoreError error;
        auto ctx = ManagedObjectContext::open(path, &error);
        ASSERT_TRUE(ctx) << error.message.toStdString();
        FetchRequest all;
        all.deferTextContent = deferred;
        auto items = ctx->fetchItems(all);
        ASSERT_EQ(items.size(), 4u);
        EXPECT_EQ(items[0]->textContent(), withNul);
        EXPECT_EQ(items[0]->textContent()->size(), 4);
        EXPECT_EQ(items[0]->id(), id);
        EXPECT_EQ(items[0]->isFavorite(), true);
        EXPECT_EQ(items[0]->timestamp(), kBase);
        EXPECT_EQ(items[1]->textContent(), QString(""));
        EXPECT_TRUE(items[1]->textContent().has_value());
        EXPECT_TRUE(items[1]->richTextData().has_value());
        EXPECT_TRUE(items[1]->richTextData()->isEmpty());
        EXPECT_FALSE(items[1]->imageData().has_value());
        EXPECT_EQ(items[2]->textContent(), replaced);
        EXPECT_TRUE(items[2]->textContent()->contains(QChar(QChar::ReplacementCharacter)));
        EXPECT_EQ(items[2]->imageData(), blob);
        EXPECT_EQ(items[2]->filePath(), QStringLiteral("/tmp/Ünïcode file.txt"));
        for (auto attribute : {&ClipboardItem::type, &ClipboardItem::textContent, &ClipboardItem::preview,
                               &ClipboardItem::filePath, &ClipboardItem::urlPreviewTitle})
            EXPECT_FALSE(((*items[3]).*attribute)().has_value());
        EXPECT_FALSE(items[3]->timestamp().has_value());
        EXPECT_FALSE(items[3]->isFavorite().has_value());
        EXPECT_FALSE(items[3]->id().has_value());
    }
}

TEST(Store, FiftyMegabyteTextRoundTrips) {
    QString path;
    QString big;
    big.reserve(50 * 1024 * 1024);
    const QString chunk = QStringLiteral("0123456789abcdefÄ€\n");
    while (big.size() < 50 * 1024 * 1024)
        big += chunk;
    const QByteArray digest = QCryptographicHash::hash(big.toUtf8(), QCryptographicHash::Sha256);
    {
        auto ctx = openFreshStore(&path);
        addText(*ctx, big, kBase);
        ASSERT_TRUE(ctx->save());
    }
    auto ctx = ManagedObjectContext::open(path, nullptr);
    ASSERT_TRUE(ctx);
    auto items = ctx->fetchItems(FetchRequest{});
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0]->textContent()->size(), big.size());
    EXPECT_EQ(QCryptographicHash::hash(items[0]->textContent()->toUtf8(), QCryptographicHash::Sha256), digest);
}

TEST(Store, OneLiveObjectPerRow) {
    auto ctx = openFreshStore();
    auto inserted = addText(*ctx, "x", kBase);
    ASSERT_TRUE(ctx->save());
    auto fetched = ctx->fetchItems(FetchRequest{});
    ASSERT_EQ(fetched.size(), 1u);
    EXPECT_EQ(fetched[0].get(), inserted.get());
    EXPECT_EQ(ctx->existingClipboardItem(inserted->objectID()).get(), inserted.get());

    // Once nobody holds it, a later fetch makes a new object for the row; two fetches share it.
    const QString id = inserted->objectID();
    inserted.reset();
    fetched.clear();
    auto again = ctx->fetchItems(FetchRequest{});
    auto viaId = ctx->existingClipboardItem(id);
    ASSERT_EQ(again.size(), 1u);
    EXPECT_EQ(again[0].get(), viaId.get());
    EXPECT_EQ(again[0]->textContent(), QStringLiteral("x"));
}

TEST(Store, ChangesStayPendingUntilSaved) {
    QString path;
    auto ctx = openFreshStore(&path);
    EXPECT_FALSE(ctx->hasChanges());
    auto a = addText(*ctx, "first", kBase);
    EXPECT_TRUE(ctx->hasChanges());
    EXPECT_TRUE(a->isInserted());
    // Fetches see pending inserts.
    EXPECT_EQ(ctx->fetchItems(FetchRequest{}).size(), 1u);
    {
        auto other = ManagedObjectContext::open(path, nullptr);
        EXPECT_EQ(other->fetchItems(FetchRequest{}).size(), 0u);
    }
    ASSERT_TRUE(ctx->save());
    EXPECT_FALSE(ctx->hasChanges());
    EXPECT_FALSE(a->isInserted());

    a->setTextContent(QStringLiteral("changed"));
    EXPECT_TRUE(ctx->hasChanges());
    EXPECT_TRUE(a->hasChanges());
    {
        auto other = ManagedObjectContext::open(path, nullptr);
        EXPECT_EQ(other->fetchItems(FetchRequest{})[0]->textContent(), QStringLiteral("first"));
    }
    ctx->deleteObject(a);
    EXPECT_TRUE(a->isDeleted());
    EXPECT_TRUE(ctx->fetchItems(FetchRequest{}).empty());
    ASSERT_TRUE(ctx->save());
    auto other = ManagedObjectContext::open(path, nullptr);
    EXPECT_TRUE(other->fetchItems(FetchRequest{}).empty());
    EXPECT_FALSE(ctx->existingObject(a->objectID()));
}

TEST(Store, FetchMergesPendingChangesIntoOrderLimitAndOffset) {
    auto ctx = openFreshStore();
    std::vector<ClipboardItemPtr> items;
    for (int i = 0; i < 10; ++i)
        items.push_back(addText(*ctx, QStringLiteral("t%1").arg(i), kBase.addSecs(i)));
    ASSERT_TRUE(ctx->save());
    // Unsaved: item 2 moves to the top, item 9 is deleted, a new one is the oldest, item 5 becomes a "url".
    items[2]->setTimestamp(kBase.addSecs(100));
    ctx->deleteObject(items[9]);
    addText(*ctx, "new", kBase.addSecs(-5));
    items[5]->setType(QStringLiteral("url"));

    auto request = newestFirst();
    request.fetchLimit = 3;
    request.fetchOffset = 0;
    auto page = ctx->fetchItems(request);
    ASSERT_EQ(page.size(), 3u);
    EXPECT_EQ(page[0]->textContent(), QStringLiteral("t2"));
    EXPECT_EQ(page[1]->textContent(), QStringLiteral("t8"));
    EXPECT_EQ(page[2]->textContent(), QStringLiteral("t7"));
    request.fetchOffset = 8;
    page = ctx->fetchItems(request);
    ASSERT_EQ(page.size(), 2u);
    EXPECT_EQ(page[0]->textContent(), QStringLiteral("t0"));
    EXPECT_EQ(page[1]->textContent(), QStringLiteral("new"));

    auto texts = ctx->fetchItems(newestFirst(Predicate::typeEquals("text")));
    EXPECT_EQ(texts.size(), 9u); // 10 - deleted - changed to url + new
    auto urls = ctx->fetchItems(newestFirst(Predicate::typeEquals("url")));
    ASSERT_EQ(urls.size(), 1u);
    EXPECT_EQ(urls[0]->textContent(), QStringLiteral("t5"));
    EXPECT_EQ(ctx->count(newestFirst(Predicate::typeEquals("text"))), 9);

    // More unsaved deletions at the top: every page is still as long as its limit allows.
    ctx->deleteObject(items[8]);
    ctx->deleteObject(items[7]);
    auto textsOf = [](const std::vector<ClipboardItemPtr>& found) {
        QStringList result;
        for (const auto& item : found)
            result << *item->textContent();
        return result;
    };
    const QStringList all = textsOf(ctx->fetchItems(newestFirst()));
    ASSERT_EQ(all.size(), 8);
    for (int limit : {1, 3, 4}) {
        for (int offset = 0; offset <= all.size(); ++offset) {
            request.fetchLimit = limit;
            request.fetchOffset = offset;
            EXPECT_EQ(textsOf(ctx->fetchItems(request)), all.mid(offset, limit)) << limit << " from " << offset;
        }
    }
}

TEST(Store, AnEntryThatDoesNotFitKeepsPendingWithoutHoldingBackTheOthers) {
    QString path;
    auto ctx = openFreshStore(&path);
    auto kept = addText(*ctx, "already saved", kBase);
    ASSERT_TRUE(ctx->save());
    sqlite3* db = ctx->connection();
    // A full disk: the file may not grow beyond its present size.
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(db, "PRAGMA page_count", -1, &s, nullptr);
    ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
    const int pages = sqlite3_column_int(s, 0);
    sqlite3_finalize(s);
    ASSERT_EQ(execSql(db, QByteArray("PRAGMA max_page_count = " + QByteArray::number(pages)).constData()), SQLITE_OK);

    auto big = addText(*ctx, "big", kBase.addSecs(1));
    big->setOriginalImageData(QByteArray(512 * 1024, 'x'));
    kept->setIsFavorite(true);
    StoreError error;
    EXPECT_FALSE(ctx->save(&error));
    EXPECT_EQ(error.code, SQLITE_FULL);
    EXPECT_FALSE(error.message.isEmpty());
    EXPECT_TRUE(big->isInserted());
    EXPECT_FALSE(kept->hasChanges());
    // Every later save tries it again; what fits is saved meanwhile.
    auto small = addText(*ctx, "small", kBase.addSecs(2));
    EXPECT_FALSE(ctx->save(&error));
    EXPECT_TRUE(big->isInserted());
    EXPECT_FALSE(small->isInserted());
    EXPECT_TRUE(ctx->hasChanges());
    {
        auto other = ManagedObjectContext::open(path, nullptr);
        auto rows = other->fetchItems(newestFirst());
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_EQ(rows[0]->textContent(), QStringLiteral("small"));
        EXPECT_EQ(rows[1]->textContent(), QStringLiteral("already saved"));
        EXPECT_EQ(rows[1]->isFavorite(), true);
    }
    // Room again: the next save writes what was still pending, in its place by its copy time.
    ASSERT_EQ(execSql(db, "PRAGMA max_page_count = 1073741823"), SQLITE_OK);
    ASSERT_TRUE(ctx->save(&error)) << error.message.toStdString();
    EXPECT_FALSE(ctx->hasChanges());
    auto other = ManagedObjectContext::open(path, nullptr);
    auto rows = other->fetchItems(newestFirst());
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1]->textContent(), QStringLiteral("big"));
    EXPECT_EQ(rows[1]->originalImageData()->size(), 512 * 1024);
}

TEST(Store, ObjectIdsAreStableAndNeverReused) {
    QString path;
    QString firstId, discardedId, lastId;
    {
        auto ctx = openFreshStore(&path);
        auto a = addText(*ctx, "a", kBase);
        firstId = a->objectID();
        EXPECT_TRUE(firstId.startsWith("tindralume://ClipboardItem/p"));
        ASSERT_TRUE(ctx->save());
        EXPECT_EQ(a->objectID(), firstId); // same before and after the first save
        auto discarded = addText(*ctx, "b", kBase);
        discardedId = discarded->objectID();
        ctx->deleteObject(discarded); // never saved
        auto c = addText(*ctx, "c", kBase);
        lastId = c->objectID();
        ASSERT_TRUE(ctx->save());
        ctx->deleteObject(c);
        ASSERT_TRUE(ctx->save());
    }
    auto ctx = ManagedObjectContext::open(path, nullptr);
    ASSERT_TRUE(ctx);
    EXPECT_TRUE(ctx->existingObject(firstId));
    EXPECT_FALSE(ctx->existingObject(discardedId));
    EXPECT_FALSE(ctx->existingObject(lastId));
    auto d = addText(*ctx, "d", kBase);
    EXPECT_NE(d->objectID(), firstId);
    EXPECT_NE(d->objectID(), discardedId);
    EXPECT_NE(d->objectID(), lastId);
    for (const QString& bad : {QStringLiteral(""), QStringLiteral("tindralume://ClipboardItem/pX"),
                               QStringLiteral("tindralume://Other/p1"), QStringLiteral("x-coredata://p1")})
        EXPECT_FALSE(ctx->existingObject(bad)) << bad.toStdString();
}

TEST(Store, BinaryDataIsReadOnFirstUseAndAfterRefresh) {
    QString path;
    auto ctx = openFreshStore(&path);
    auto item = addText(*ctx, "img", kBase, "image");
    item->setImageData(QByteArray("small"));
    item->setOriginalImageData(QByteArray("large"));
    ASSERT_TRUE(ctx->save());
    const QString id = item->objectID();
    item.reset();

    auto fetched = ctx->existingClipboardItem(id);
    ASSERT_TRUE(fetched);
    // Change the row behind the object's back: a lazily read attribute shows the stored value.
    auto other = ManagedObjectContext::open(path, nullptr);
    auto otherItem = other->existingClipboardItem(id);
    otherItem->setImageData(QByteArray("changed"));
    otherItem->setTextContent(QStringLiteral("changed text"));
    ASSERT_TRUE(other->save());
    EXPECT_EQ(fetched->imageData(), QByteArray("changed"));
    EXPECT_EQ(fetched->textContent(), QStringLiteral("img")); // read with the page: cached
    otherItem->setOriginalImageData(QByteArray("after first use"));
    ASSERT_TRUE(other->save());
    EXPECT_EQ(fetched->originalImageData(), QByteArray("after first use"));
    EXPECT_EQ(fetched->imageData(), QByteArray("changed")); // cached after its first use

    ctx->refreshAllObjects();
    EXPECT_EQ(fetched->textContent(), QStringLiteral("changed text"));
    EXPECT_EQ(fetched->originalImageData(), QByteArray("after first use"));

    // A pending change survives a refresh.
    fetched->setTextContent(QStringLiteral("mine"));
    ctx->refreshAllObjects();
    EXPECT_EQ(fetched->textContent(), QStringLiteral("mine"));
}

TEST(Store, FetchFromAWorkerThreadRunsOnTheContextThread) {
    auto ctx = openFreshStore();
    for (int i = 0; i < 5; ++i)
        addText(*ctx, QStringLiteral("w%1").arg(i), kBase.addSecs(i));
    ASSERT_TRUE(ctx->save());
    auto onMain = ctx->fetchItems(newestFirst());
    QFuture<std::vector<ClipboardItemPtr>> future = QtConcurrent::run([&] {
        auto request = newestFirst(Predicate::containsCD(Predicate::Field::TextContent, "w"));
        request.fetchLimit = 3;
        return ctx->fetchItems(request);
    });
    QTRY_VERIFY_WITH_TIMEOUT(future.isFinished(), 10000);
    auto fromWorker = future.result();
    ASSERT_EQ(fromWorker.size(), 3u);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(fromWorker[i].get(), onMain[i].get());
}

TEST(Store, ContainsIsCaseAndDiacriticInsensitive) {
    auto ctx = openFreshStore();
    const QStringList texts = {"Café",           "CAFE", "É",      "é",     "Straße",          "STRASSE",
                               "Ελληνικά ΣΟΦΊΑ", "Ёлка", "カード", "naïve", "日本語のテキスト"};
    for (int i = 0; i < texts.size(); ++i)
        addText(*ctx, texts[i], kBase.addSecs(i));
    ASSERT_TRUE(ctx->save());
    struct Case {
        const char* query;
        QStringList expected;
    };
    const std::vector<Case> cases = {
        {"cafe", {"Café", "CAFE"}},
        {"CAFÉ", {"Café", "CAFE"}},
        {"e", {"Café", "CAFE", "É", "é", "Straße", "STRASSE", "naïve"}},
        {"É", {"Café", "CAFE", "É", "é", "Straße", "STRASSE", "naïve"}},
        {"ß", {"Straße"}},             // simple case folding: no expansion to "ss"
        {"ss", {"STRASSE"}},           // and "ss" does not find "ß"
        {"σοφια", {"Ελληνικά ΣΟΦΊΑ"}}, // Greek: case and tonos folded
        {"елка", {"Ёлка"}},            // Cyrillic: Ё folds to е
        {"カート", {"カード"}},        // Kana: the voicing mark counts as a diacritic
        {"naive", {"naïve"}},
        {"テキスト", {"日本語のテキスト"}},
        {"xyz", {}},
    };
    for (const Case& c : cases) {
        auto found = ctx->fetchItems(where(Predicate::containsCD(Predicate::Field::TextContent, c.query)));
        QStringList got;
        for (const auto& item : found)
            got << *item->textContent();
        EXPECT_EQ(got, c.expected) << c.query;
        // The in-memory judgement of unsaved objects agrees with the store's.
        QStringList inMemory;
        for (const QString& t : texts)
            if (TextFolding::containsFolded(TextFolding::fold(t), TextFolding::fold(QString::fromUtf8(c.query))))
                inMemory << t;
        EXPECT_EQ(inMemory, c.expected) << c.query;
    }
}

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
        EXPECT_TRUE(page[0]->additionalFilePaths().isEmpty()) << damaged;
    }
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

TEST(Store, ObjectsOutliveTheirContextSafely) {
    auto ctx = openFreshStore();
    auto item = addText(*ctx, "survivor", kBase, "image");
    item->setImageData(QByteArray("png"));
    ASSERT_TRUE(ctx->save());
    const QString id = item->objectID();
    item.reset();
    item = ctx->existingClipboardItem(id);
    ctx.reset();
    EXPECT_EQ(item->textContent(), QStringLiteral("survivor"));
    EXPECT_FALSE(item->imageData().has_value()); // not read before the context went away
}

// The search table keeps only what a preview can add to its text's matches; every search must still
// give what testing the whole text and preview would.
TEST(Store, SearchAgreesWithTestingTheWholeTexts) {
    auto ctx = openFreshStore();
    const QString longText = QStringLiteral("Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod "
                                            "tempor incididunt ut labore et dolore magna aliqua end");
    struct Entry {
        OptString text;
        OptString preview;
        QString type;
    };
    const std::vector<Entry> entries = {
        {longText, longText.left(100) + "...", "text"}, // preview is a prefix plus dots
        {longText, longText, "richText"},               // preview is the text
        {"  https://host.example/Path  ", "https://host.example/Path", "url"},
        {std::nullopt, QStringLiteral("Résumé final.PDF"), "file"}, // preview without text
        {QStringLiteral("short"), QStringLiteral("Something else entirely"), "text"},
        {QStringLiteral("no preview"), std::nullopt, "text"},
        // Too large to be kept folded: searched in the text itself, folded a megabyte at a time
        // (the first piece ends after its "y").
        {QStringLiteral("Ünïcödé INCIDIDUNT ") + QString(2000, u'\u00e9') + QStringLiteral("lorem") +
             QString(1044547, u'x') + QStringLiteral("ylorem"),
         QStringLiteral("xxx..."), "text"},
    };
    auto app = ctx->insertSourceApp();
    app->setBundleId(QStringLiteral("org.example.editor"));
    app->setAppName(QStringLiteral("Éditeur de texte"));
    for (size_t i = 0; i < entries.size(); ++i) {
        auto item = ctx->insertClipboardItem();
        item->setTextContent(entries[i].text);
        item->setPreview(entries[i].preview);
        item->setType(entries[i].type);
        item->setTimestamp(kBase.addSecs(qint64(i)));
        if (i % 2)
            item->setSourceApp(app);
    }
    ASSERT_TRUE(ctx->save());
    StoreReader reader(ctx->path());
    const QStringList needles = {
        "lorem",
        "ADIPISCING",
        "ut labore et dolore ma...",
        "a...",
        "...",
        ".",
        "e.",
        "elit, sed do eiusmod tempor...",
        "resume",
        "final.pdf",
        "https://host",
        "else",
        "short", // the whole text: equal lengths
        "text",
        "rich",
        "editeur",
        "url",
        "path  ",
        "end",
        "zzz",
        QString(40, '.'),
        "ma..",
        "labore ...",
        "e ..",
        "incididunt ut labore ...",
        "incididunt ut labore ... and more than thirty-two",
        "unicode incididunt",
        "eeeeelorem",
        "ylorem",
    };
    using F = Predicate::Field;
    for (const QString& needle : needles) {
        const std::vector<Predicate> predicates = {
            Predicate::orOf({Predicate::containsCD(F::TextContent, needle), Predicate::containsCD(F::Preview, needle),
                             Predicate::containsCD(F::Type, needle), Predicate::containsCD(F::SourceAppName, needle)}),
            Predicate::containsCD(F::TextContent, needle),
            Predicate::containsCD(F::Preview, needle),
            Predicate::containsCD(F::Type, needle),
            Predicate::containsCD(F::SourceAppName, needle),
        };
        for (const Predicate& predicate : predicates) {
            QList<qint64> fromStore, expected;
            for (const auto& item : ctx->fetchItems(where(predicate)))
                fromStore << item->primaryKey();
            for (const auto& item : ctx->fetchItems(FetchRequest{}))
                if (predicate.evaluate(*item))
                    expected << item->primaryKey();
            EXPECT_EQ(fromStore, expected) << predicate.format().toStdString();
            // The same query on a reader's own connection, newest first as the panel asks.
            FetchRequest paged = where(predicate);
            paged.sortByTimestampDescending = true;
            std::vector<qint64> keys;
            EXPECT_TRUE(reader.keys(paged, ctx->knownTypes(), &keys, nullptr));
            QList<qint64> newestFirst;
            for (const auto& item : ctx->itemsForKeys(keys))
                newestFirst.prepend(item->primaryKey());
            EXPECT_EQ(newestFirst, expected) << predicate.format().toStdString();
        }
    }
}

// Another process writing the same file (a second instance, a second display): every save of both
// succeeds, nothing is lost and nothing is shown twice.
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
