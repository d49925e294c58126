// SPDX-License-Identifier: MIT
#include "StoreTestHelpers.h"

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
        auto b = addText(*ctx, QString(), kBase.addSecs(1), QStringLiteral("url")); // present but empty
        b->setRichTextData(QByteArray(""));                                         // present but empty
        auto c = addText(*ctx, replaced, kBase.addSecs(2), QStringLiteral("richText"));
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
        EXPECT_EQ(ctx->knownTypes(), (QSet<QString>{"richText", "text", "url"}));
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
