// SPDX-License-Identifier: MIT
#include "ManagerTestFixture.h"

TEST_F(ManagerTest, RepeatedTextFoldsIntoOneEntryMovedToTheTop) {
    saveText("same", "text", QStringLiteral("org.example.first"));
    auto first = all();
    ASSERT_EQ(first.size(), 1u);
    ClipboardItemPtr entry = first[0];
    manager->toggleFavorite(entry);
    const QString preview = *entry->preview();
    saveText("other");
    restamp({all()[0], entry});
    ASSERT_EQ(all()[0]->textContent(), QStringLiteral("other"));

    saveText("same", "text", QStringLiteral("org.example.second"));
    auto rows = all();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].get(), entry.get());
    EXPECT_EQ(entry->preview(), preview);
    EXPECT_EQ(entry->isFavorite(), true);
    ASSERT_TRUE(entry->sourceApp());
    EXPECT_EQ(entry->sourceApp()->bundleId(), QStringLiteral("org.example.second"));

    saveText("same"); // without an application: the entry's source application is cleared
    EXPECT_FALSE(entry->sourceApp());
    EXPECT_EQ(all().size(), 2u);
}

TEST_F(ManagerTest, DuplicatesAreFoundWithinOneTypeOnly) {
    saveText("shared text", "text");
    saveText("shared text", "url");
    saveText("shared text", "richText", std::nullopt, QByteArray("{\\rtf1 one}"));
    saveText("shared text", "richText", std::nullopt, QByteArray("{\\rtf1 two}"));
    EXPECT_EQ(all().size(), 3u);
    // Canonically equivalent texts are equal: precomposed and decomposed "é".
    saveText(QString::fromUtf8("caf\xc3\xa9"));
    saveText(QStringLiteral("cafe") + QChar(0x0301));
    EXPECT_EQ(all().size(), 4u);
    EXPECT_FALSE(manager->findDuplicate("color", QStringLiteral("shared text"), {}, {}, {}));
    EXPECT_FALSE(manager->findDuplicate("text", std::nullopt, {}, {}, {}));
}

TEST_F(ManagerTest, ImagesCompareByFullSizeBytesElseScaledBytes) {
    const QByteArray full = png(Qt::red, 800, 600);
    manager->saveClipboardItem("image", {}, {}, png(Qt::red), full, {}, {}, {});
    manager->saveClipboardItem("image", {}, {}, png(Qt::red, 40, 30), full, {}, {}, {});
    EXPECT_EQ(all().size(), 1u);
    // Without full-size data the scaled bytes are compared, on both sides.
    const QByteArray scaledOnly = png(Qt::blue);
    manager->saveClipboardItem("image", {}, {}, scaledOnly, std::nullopt, {}, {}, {});
    manager->saveClipboardItem("image", {}, {}, png(Qt::green), scaledOnly, {}, {}, {});
    EXPECT_EQ(all().size(), 2u);
    manager->saveClipboardItem("image", {}, {}, png(Qt::red), png(Qt::red, 801, 600), {}, {}, {});
    EXPECT_EQ(all().size(), 3u);
    // Files compare by path.
    manager->saveClipboardItem("file", {}, {}, {}, {}, QStringLiteral("/tmp/a.txt"), {}, {});
    manager->saveClipboardItem("file", {}, {}, {}, {}, QStringLiteral("/tmp/a.txt"), {}, {});
    manager->saveClipboardItem("file", {}, {}, {}, {}, QStringLiteral("/tmp/b.txt"), {}, {});
    EXPECT_EQ(all().size(), 5u);
    // A copy of several files repeats only the same list.
    const ClipboardItemPtr single = manager->findDuplicate("file", {}, {}, {}, QStringLiteral("/tmp/a.txt"));
    ASSERT_TRUE(single);
    EXPECT_FALSE(manager->findDuplicate("file", {}, {}, {}, QStringLiteral("/tmp/a.txt"), {"/tmp/b.txt"}));
    single->setAdditionalFilePaths({"/tmp/b.txt", "/tmp/c.txt"});
    EXPECT_FALSE(manager->findDuplicate("file", {}, {}, {}, QStringLiteral("/tmp/a.txt")));
    EXPECT_FALSE(
        manager->findDuplicate("file", {}, {}, {}, QStringLiteral("/tmp/a.txt"), {"/tmp/c.txt", "/tmp/b.txt"}));
    EXPECT_EQ(manager->findDuplicate("file", {}, {}, {}, QStringLiteral("/tmp/a.txt"), {"/tmp/b.txt", "/tmp/c.txt"}),
              single);
}

TEST_F(ManagerTest, DuplicateOfAnUnsavedEntryIsFoundToo) {
    fillDisk();
    StdoutCapture out;
    saveText(QString(60000, 'x'));
    EXPECT_EQ(out.linesStartingWith("Error saving context: ").size(), 1);
    saveText(QString(60000, 'x'));
    EXPECT_EQ(all().size(), 1u);
    freeDisk();
    manager->saveContext();
    EXPECT_FALSE(context->hasChanges());
    EXPECT_EQ(all().size(), 1u);
}

TEST_F(ManagerTest, PreviewTexts) {
    const QString hundred(100, 'a');
    const QString family =
        QString::fromUtf8("\xf0\x9f\x91\xa8\xe2\x80\x8d\xf0\x9f\x91\xa9\xe2\x80\x8d\xf0\x9f\x91\xa7");
    QString hundredAndOneEmoji;
    for (int i = 0; i < 101; ++i)
        hundredAndOneEmoji += family;
    // Graphemes of 21 code units each: the first hundred reach well past any short prefix.
    const QString heavy = QStringLiteral("e") + QString(20, QChar(0x0301));
    QString heavyText;
    for (int i = 0; i < 101; ++i)
        heavyText += heavy;
    const QString longFtp = QStringLiteral("ftp://files.example.org/") + QString(300, 'p');
    struct Case {
        QString type;
        OptString text;
        OptString path;
        QString expected;
    };
    const std::vector<Case> cases = {
        {"text", hundred, {}, hundred},
        {"text", hundred + "b", {}, hundred + "..."},
        {"richText", hundredAndOneEmoji, {}, hundredAndOneEmoji.left(family.size() * 100) + "..."},
        {"text", heavyText, {}, heavyText.left(heavy.size() * 100) + "..."},
        {"text", heavyText.left(heavy.size() * 100), {}, heavyText.left(heavy.size() * 100)},
        {"text", "  short with spaces  ", {}, "  short with spaces  "},
        {"text", "", {}, ""},
        {"url", std::nullopt, {}, "Empty text"},
        {"url", "  " + longFtp + "\n", {}, longFtp},
        {"text", "  https://example.org/a  ", {}, "https://example.org/a"},
        {"image", {}, {}, "Image"},
        {"file", {}, "/home/u/Documents/report.pdf", "report.pdf"},
        {"file", {}, "/home/u/folder/", "folder"},
        {"file", {}, std::nullopt, "File"},
        {"other", "text", {}, "Unknown type"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(manager->makePreview(c.type, c.text, c.path), c.expected)
            << c.type.toStdString() << " " << c.text.value_or("<none>").left(40).toStdString();
}

TEST_F(ManagerTest, WebLinkTest) {
    const QStringList web = {"http", "https"};
    const QStringList links = {"http", "https", "ftp", "ftps"};
    struct Case {
        const char* text;
        bool webLink;
        bool anyLink;
    };
    const std::vector<Case> cases = {
        {"https://example.com", true, true},
        {"HTTPS://EXAMPLE.COM/PATH", true, true},
        {"  http://example.org/a?b=c  \n", true, true},
        {"ftp://files.example.org/x", false, true},
        {"FTPS://files.example.org", false, true},
        {"http:/example.com", false, false},
        {"http:///path/only", false, false},
        {"example.com", false, false},
        {"www.example.com/page", false, false},
        {"", false, false},
        {"   \n", false, false},
        {"mailto:someone@example.com", false, false},
        {"https://exa mple.com", false, false},
        {"javascript:alert(1)", false, false},
        {"http://", false, false},
        {"file:///etc/passwd", false, false},
        {"https://example.com\nsecond line", false, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ClipboardDataManager::isWebURL(QString::fromUtf8(c.text), web), c.webLink) << c.text;
        EXPECT_EQ(ClipboardDataManager::isWebURL(QString::fromUtf8(c.text), links), c.anyLink) << c.text;
    }
}

TEST_F(ManagerTest, PagesAreNewestFirstWithLimitAndOffset) {
    std::vector<ClipboardItemPtr> made;
    for (int i = 0; i < 60; ++i) {
        saveText(QStringLiteral("entry %1").arg(i));
        made.insert(made.begin(), all()[0]);
    }
    restamp(made); // made[0] ("entry 59") newest
    auto page = manager->fetchItems(20, 40, false, std::nullopt);
    ASSERT_EQ(page.size(), 20u);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(page[i].get(), made[40 + i].get());
    EXPECT_EQ(manager->fetchItems(std::nullopt, 40, false, std::nullopt).size(), 20u);
    EXPECT_TRUE(manager->fetchItems(12, 60, false, std::nullopt).empty());

    manager->toggleFavorite(made[3]);
    manager->toggleFavorite(made[50]);
    auto favourites = manager->fetchItems(12, 0, true, std::nullopt);
    ASSERT_EQ(favourites.size(), 2u);
    EXPECT_EQ(favourites[0].get(), made[3].get());
    EXPECT_TRUE(manager->fetchItems(12, 0, true, QStringLiteral("image")).empty());
    EXPECT_EQ(manager->fetchItems(12, 0, false, QStringLiteral("text")).size(), 12u);

    // From a worker thread the fetch runs on the main thread and returns the same objects.
    auto future = QtConcurrent::run([&] { return manager->fetchItems(5, 0, false, std::nullopt); });
    QTRY_VERIFY_WITH_TIMEOUT(future.isFinished(), 10000);
    ASSERT_EQ(future.result().size(), 5u);
    EXPECT_EQ(future.result()[0].get(), made[0].get());
}

TEST_F(ManagerTest, ColourFilter) {
    struct Case {
        QString type;
        QString text;
        bool admitted;
    };
    const std::vector<Case> cases = {
        {"text", "#fff", true},
        {"text", "#FFFF", true},
        {"text", " #a1b2c3\n", true},
        {"url", "#A1B2C3D4", true},
        {"richText", "\t#abc\r\n", true},
        {"text", QString(QChar(0x00A0)) + "#abc", true}, // Unicode white space counts
        {"text", "#a1b2c", false},
        {"text", "#a1b2c3d", false},
        {"text", "fff", false},
        {"text", "color: #fff;", false},
        {"text", "#fff\n#000", false},
        {"text", "#ggg", false},
        {"text", "#", false},
        {"file", "#fff", false},
    };
    for (const Case& c : cases)
        saveText(c.text, c.type);
    manager->saveClipboardItem("image", QStringLiteral("#abc"), {}, png(Qt::gray), {}, {}, {}, {});
    QStringList expected;
    for (const Case& c : cases)
        if (c.admitted)
            expected << c.text;
    auto check = [&](const char* when) {
        QStringList got;
        for (const auto& item : manager->fetchItems(std::nullopt, 0, false, QStringLiteral("color")))
            got << *item->textContent();
        got.sort();
        QStringList want = expected;
        want.sort();
        EXPECT_EQ(got, want) << when;
    };
    check("saved");
    // Unsaved edits are judged the same way.
    fillDisk();
    for (const auto& item : all())
        item->setTextContent(*item->textContent() + QString(2000, ' '));
    manager->saveContext();
    EXPECT_TRUE(context->hasChanges());
    for (QString& e : expected)
        e += QString(2000, ' ');
    check("pending");
    freeDisk();
}

TEST_F(ManagerTest, SearchTable) {
    saveText("A photo.png file", "text");
    saveText("nothing here", "richText", QStringLiteral("org.example.pngstudio"));
    saveText("plain words", "text", QStringLiteral("org.example.other"));
    manager->saveClipboardItem("image", {}, {}, png(Qt::red), {}, {}, {}, {});
    manager->saveClipboardItem("file", {}, {}, {}, {}, QStringLiteral("/docs/Résumé.PNG"), {}, {});
    manager->saveClipboardItem("url", QStringLiteral("http://127.0.0.1:1/Crème"), {}, {}, {}, {}, {}, {});
    // The application name of the second entry is "org.example.pngstudio App"; the preview of the
    // file entry is "Résumé.PNG".
    struct Case {
        QString query;
        std::optional<QString> filter;
        bool favorites;
        int expected;
    };
    const std::vector<Case> cases = {
        {"  PNG  ", std::nullopt, false, 3}, // text, app name, file preview
        {"png", QStringLiteral("file"), false, 1},
        {"image", std::nullopt, false, 1}, // the type is searched
        {"richtext", std::nullopt, false, 1},
        {"resume", std::nullopt, false, 1},
        {"CREME", std::nullopt, false, 1},
        {"   ", std::nullopt, false, 6}, // blank query: the plain list
        {"   ", QStringLiteral("text"), false, 2},
        {"zzz", std::nullopt, false, 0},
        {"png", std::nullopt, true, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(int(manager->searchItems(c.query, std::nullopt, c.favorites, c.filter).size()), c.expected)
            << c.query.toStdString();
    EXPECT_EQ(manager->searchItems("e", 2, false, std::nullopt).size(), 2u);
    EXPECT_EQ(manager->searchItems("  ", 2, false, std::nullopt).size(), 2u);
}

TEST_F(ManagerTest, CopyBackWritesByType) {
    const QByteArray picture = png(Qt::magenta, 30, 20);
    manager->saveClipboardItem("text", QStringLiteral("plain"), {}, {}, {}, {}, {}, {});
    manager->saveClipboardItem("url", QStringLiteral("http://127.0.0.1:1/x"), {}, {}, {}, {}, {}, {});
    manager->saveClipboardItem("richText", QStringLiteral("bold"), QByteArray("{\\rtf1 \\b bold}"), {}, {}, {}, {}, {});
    manager->saveClipboardItem("image", {}, {}, png(Qt::magenta, 3, 2), picture, {}, {}, {});
    manager->saveClipboardItem("image", {}, {}, QByteArray("not an image"), {}, {}, {}, {});
    manager->saveClipboardItem("file", {}, {}, {}, {}, QStringLiteral("/no/such/file name.txt"), {}, {});
    manager->saveClipboardItem("image", QStringLiteral("Berlin\t12"), QByteArray("<td>Berlin</td><td>12</td>"),
                               png(Qt::cyan, 3, 2), png(Qt::cyan, 30, 20), {}, {}, {});
    manager->saveClipboardItem("file", {}, {}, {}, {}, QStringLiteral("/no/such/a b.txt"), {}, {});
    manager->saveClipboardItem("other", QStringLiteral("odd"), {}, {}, {}, {}, {}, {});
    manager->saveClipboardItem("text", std::nullopt, {}, {}, {}, {}, {}, {});
    using T = Pasteboard::Type;
    // Copying moves entries to the top, so entries are found by type and whether they have text.
    auto find = [&](const QString& type, bool withText = true) {
        for (const auto& item : all())
            if (item->type() == type && item->textContent().has_value() == withText)
                return item;
        return ClipboardItemPtr();
    };
    auto types = [&] {
        QList<T> t = pasteboard->types();
        std::sort(t.begin(), t.end());
        return t;
    };
    pasteboard->setString("previous content");

    manager->copyToPasteboard(find("text"), false);
    EXPECT_EQ(types(), QList<T>{T::String});
    EXPECT_EQ(pasteboard->string(), QStringLiteral("plain"));
    manager->copyToPasteboard(find("url"), true);
    EXPECT_EQ(pasteboard->string(), QStringLiteral("http://127.0.0.1:1/x"));
    manager->copyToPasteboard(find("richText"), false);
    EXPECT_EQ(types(), (QList<T>{T::String, T::RTF, T::HTML}));
    EXPECT_EQ(pasteboard->data(T::RTF), QByteArray("{\\rtf1 \\b bold}"));
    EXPECT_TRUE(pasteboard->data(T::HTML).value_or(QByteArray()).contains("<b>bold</b>"));
    manager->copyToPasteboard(find("richText"), true);
    EXPECT_EQ(types(), QList<T>{T::String});
    EXPECT_EQ(pasteboard->string(), QStringLiteral("bold"));

    ClipboardItemPtr image;
    for (const auto& item : all())
        if (item->type() == "image" && item->originalImageData() && !item->textContent())
            image = item;
    manager->copyToPasteboard(image, false);
    EXPECT_EQ(types(), (QList<T>{T::TIFF, T::PNG}));
    EXPECT_EQ(pasteboard->data(T::PNG), picture); // the full-size bytes
    const QImage fromTiff = ImageUtils::decode(*pasteboard->data(T::TIFF));
    EXPECT_EQ(fromTiff.size(), QSize(30, 20));

    // A picture with its text goes back with all of it, or as plain text with the text alone.
    manager->copyToPasteboard(find("image"), false);
    EXPECT_EQ(types(), (QList<T>{T::String, T::HTML, T::TIFF, T::PNG}));
    EXPECT_EQ(pasteboard->data(T::HTML), QByteArray("<td>Berlin</td><td>12</td>"));
    EXPECT_EQ(pasteboard->string(), QStringLiteral("Berlin\t12"));
    manager->copyToPasteboard(find("image"), true);
    EXPECT_EQ(types(), QList<T>{T::String});
    EXPECT_EQ(pasteboard->string(), QStringLiteral("Berlin\t12"));
    // Without text, plain text changes nothing for a picture.
    manager->copyToPasteboard(image, true);
    EXPECT_EQ(types(), (QList<T>{T::TIFF, T::PNG}));

    ClipboardItemPtr several;
    for (const auto& item : all())
        if (item->filePath() == QStringLiteral("/no/such/a b.txt"))
            several = item;
    several->setAdditionalFilePaths({"/no/such/b.txt", "/no/such/c d.txt"});
    EXPECT_TRUE(manager->copyToPasteboard(several, false));
    EXPECT_EQ(pasteboard->urls(),
              (QList<QUrl>{QUrl::fromLocalFile("/no/such/a b.txt"), QUrl::fromLocalFile("/no/such/b.txt"),
                           QUrl::fromLocalFile("/no/such/c d.txt")}));
    for (const auto& item : all()) {
        if (item->filePath() == QStringLiteral("/no/such/file name.txt")) {
            EXPECT_TRUE(manager->copyToPasteboard(item, false));
        }
    }
    ASSERT_EQ(pasteboard->urls().size(), 1);
    EXPECT_EQ(pasteboard->urls()[0], QUrl::fromLocalFile("/no/such/file name.txt"));

    // Entries with nothing writable report failure and change neither the clipboard nor their place.
    ClipboardItemPtr broken;
    for (const auto& item : all())
        if (item->type() == "image" && !item->originalImageData())
            broken = item;
    const qint64 countBefore = pasteboard->changeCount();
    for (const ClipboardItemPtr& item : {broken, find("other"), find("text", false)}) {
        ASSERT_TRUE(item);
        const auto stamp = item->timestamp();
        EXPECT_FALSE(manager->copyToPasteboard(item, false)) << item->type()->toStdString();
        EXPECT_EQ(item->timestamp(), stamp);
    }
    EXPECT_EQ(pasteboard->changeCount(), countBefore);
    EXPECT_EQ(pasteboard->urls().size(), 1);
}

TEST_F(ManagerTest, CopyBackMovesToTopAndAnnouncesItsOwnChange) {
    saveText("older");
    saveText("newer");
    auto rows = all();
    restamp(rows);
    ClipboardItemPtr older = rows[1];
    ASSERT_EQ(older->textContent(), QStringLiteral("older"));

    manager->copyToPasteboard(older, false); // without a monitor: nothing to announce
    ClipboardMonitor monitor(manager.get(), pasteboard->changeCount());
    manager->setClipboardMonitor(&monitor);
    manager->copyToPasteboard(rows[0], false);
    EXPECT_EQ(monitor.skipNextChangeCount, pasteboard->changeCount());
    EXPECT_EQ(manager->fetchItems(1, 0, false, std::nullopt)[0].get(), rows[0].get());
    restamp({rows[0], older});
    manager->copyToPasteboard(older, false);
    EXPECT_EQ(monitor.skipNextChangeCount, pasteboard->changeCount());
    EXPECT_EQ(manager->fetchItems(1, 0, false, std::nullopt)[0].get(), older.get());
    EXPECT_FALSE(context->hasChanges());
}

TEST_F(ManagerTest, RetentionKeepsFavouritesAndUsesCalendarDays) {
    const QDateTime now = QDateTime::currentDateTime();
    struct Case {
        QString text;
        QDateTime stamp;
        bool favourite;
        bool kept;
        bool unsaved = false; // the favourite mark is changed to the one given without a save
    };
    const std::vector<Case> cases = {
        {"31 days", now.addDays(-31), false, false},
        {"year-old favourite", now.addDays(-365), true, true},
        {"29 days", now.addDays(-29), false, true},
        {"30 days and a minute", now.addDays(-30).addSecs(-60), false, false},
        {"30 days less a minute", now.addDays(-30).addSecs(60), false, true},
        {"at the cut-off", now.addDays(-30), false, false}, // the cut-off is taken later than now
        {"made favourite, not saved yet", now.addDays(-40), true, true, true},
        {"no longer favourite, not saved yet", now.addDays(-40), false, false, true},
    };
    std::vector<ClipboardItemPtr> live;
    for (const Case& c : cases) {
        saveText(c.text);
        auto item = all()[0];
        item->setTimestamp(c.stamp);
        item->setIsFavorite(c.unsaved ? !c.favourite : c.favourite);
        manager->saveContext();
        live.push_back(item);
    }
    for (size_t i = 0; i < cases.size(); ++i)
        if (cases[i].unsaved)
            live[i]->setIsFavorite(cases[i].favourite);
    while (QDateTime::currentDateTime() <= now) {
    }
    manager->deleteItemsOlderThan(30);
    EXPECT_FALSE(context->hasChanges());
    QStringList kept;
    for (const auto& item : all())
        kept << *item->textContent();
    for (size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(kept.contains(cases[i].text), cases[i].kept) << cases[i].text.toStdString();
        EXPECT_EQ(live[i]->isDeleted(), !cases[i].kept) << cases[i].text.toStdString();
    }
    // The search rows went with their entries.
    auto rows = [&](const char* sql) {
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(context->connection(), sql, -1, &s, nullptr);
        const int n = sqlite3_step(s) == SQLITE_ROW ? sqlite3_column_int(s, 0) : -1;
        sqlite3_finalize(s);
        return n;
    };
    EXPECT_EQ(rows("SELECT count(*) FROM ClipboardItemSearch"), kept.size());
    EXPECT_EQ(rows("SELECT count(*) FROM ClipboardItemSearch WHERE pk NOT IN (SELECT pk FROM ClipboardItem)"), 0);

    // Calendar days across a daylight-saving change keep the time of day.
    const QTimeZone berlin("Europe/Berlin");
    const QDateTime afterChange(QDate(2026, 4, 10), QTime(12, 0), berlin);
    const QDateTime cutoff = afterChange.addDays(-30);
    EXPECT_EQ(cutoff.time(), QTime(12, 0));
    EXPECT_EQ(cutoff.secsTo(afterChange), 30 * 86400 - 3600);
}

TEST_F(ManagerTest, ClearRemovesFavouritesAndKeepsApplications) {
    saveText("one", "text", QStringLiteral("org.example.a"));
    saveText("two", "text", QStringLiteral("org.example.b"));
    manager->toggleFavorite(all()[0]);
    // Entry objects held across the clear (one with an unsaved change, one never saved) go too.
    const ClipboardItemPtr held = all()[1];
    held->setPreview(QStringLiteral("edited"));
    const ClipboardItemPtr unsaved = context->insertClipboardItem();
    unsaved->setType(QStringLiteral("text"));
    unsaved->setTextContent(QStringLiteral("three"));
    EXPECT_TRUE(manager->clearAllHistory());
    EXPECT_TRUE(all().empty());
    FetchRequest apps;
    apps.entityName = QStringLiteral("SourceApp");
    EXPECT_EQ(context->fetchSourceApps(apps).size(), 2u);
    EXPECT_EQ(context->count(FetchRequest{}), 0);
    EXPECT_FALSE(context->hasChanges());
    for (const ClipboardItemPtr& item : {held, unsaved}) {
        EXPECT_TRUE(item->isDeleted());
        EXPECT_FALSE(context->existingObject(item->objectID()));
    }
    // The checks the clear sets aside come back for everything after it.
    sqlite3_stmt* fk = nullptr;
    ASSERT_EQ(sqlite3_prepare_v2(context->connection(), "PRAGMA foreign_keys", -1, &fk, nullptr), SQLITE_OK);
    EXPECT_EQ(sqlite3_step(fk), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(fk, 0), 1);
    sqlite3_finalize(fk);
    context->refreshAllObjects();
    saveText("after");
    ASSERT_EQ(all().size(), 1u);
    EXPECT_GT(all()[0]->primaryKey(), unsaved->primaryKey());
}

TEST_F(ManagerTest, FavouriteToggleFlipsAndAnnounces) {
    saveText("star me");
    ClipboardItemPtr item = all()[0];
    Observed changed(Notifications::itemFavoriteStatusChanged);
    item->setIsFavorite(std::nullopt);
    manager->toggleFavorite(item);
    EXPECT_EQ(item->isFavorite(), true);
    manager->toggleFavorite(item);
    EXPECT_EQ(item->isFavorite(), false);
    EXPECT_EQ(changed.objects, (std::vector<const void*>{item.get(), item.get()}));
    context->refreshAllObjects();
    EXPECT_EQ(item->isFavorite(), false);
    EXPECT_FALSE(context->hasChanges());
}

TEST_F(ManagerTest, FullDiskKeepsWhatDoesNotFitPendingAndSaysSoOnce) {
    saveText("before");
    Observed full(Notifications::historyStoreFull);
    fillDisk();
    StdoutCapture out;
    saveText(QString(60000, 'n'));
    manager->toggleFavorite(all()[1]);
    saveText("small one");
    saveText("small two");
    const QStringList lines = out.lines();
    ASSERT_EQ(lines.size(), 4) << lines.join('|').toStdString();
    for (const QString& line : lines) {
        EXPECT_TRUE(line.startsWith("Error saving context: ")) << line.toStdString();
        EXPECT_GT(line.size(), QString("Error saving context: ").size());
    }
    EXPECT_EQ(full.objects.size(), 1u);
    EXPECT_TRUE(context->hasChanges());
    {
        auto other = ManagedObjectContext::open(context->path(), nullptr);
        EXPECT_EQ(other->fetchItems(FetchRequest{}).size(), 3u);
        EXPECT_EQ(other->fetchItems(where(Predicate::isFavorite())).size(), 1u);
    }
    freeDisk();
    manager->saveContext();
    EXPECT_FALSE(context->hasChanges());
    auto other = ManagedObjectContext::open(context->path(), nullptr);
    EXPECT_EQ(other->fetchItems(FetchRequest{}).size(), 4u);
    // A later shortage is a new one, and is told again.
    fillDisk();
    saveText(QString(60000, 'm'));
    EXPECT_EQ(full.objects.size(), 2u);
    freeDisk();
}

TEST_F(ManagerTest, FailedFetchesPrintTheirLineAndChangeNothing) {
    saveText("survivor", "text", QStringLiteral("org.example.app"));
    sqlite3* db = context->connection();
    ASSERT_EQ(sqlite3_exec(db, "ALTER TABLE ClipboardItem RENAME TO Hidden", nullptr, nullptr, nullptr), SQLITE_OK);
    StdoutCapture out;
    EXPECT_TRUE(manager->fetchItems(12, 0, false, std::nullopt).empty());
    EXPECT_TRUE(manager->searchItems("s", std::nullopt, false, std::nullopt).empty());
    manager->deleteItemsOlderThan(1);
    EXPECT_FALSE(manager->clearAllHistory());
    EXPECT_FALSE(manager->findDuplicate("text", QStringLiteral("survivor"), {}, {}, {}));
    const QStringList lines = out.lines();
    const QStringList prefixes = {
        "Error fetching clipboard items: ", "Error searching clipboard items: ", "Error deleting old items: ",
        "Error clearing all history: ", "Error finding duplicate item: "};
    ASSERT_EQ(lines.size(), prefixes.size()) << lines.join('|').toStdString();
    for (int i = 0; i < prefixes.size(); ++i)
        EXPECT_TRUE(lines[i].startsWith(prefixes[i]) && lines[i].size() > prefixes[i].size()) << lines[i].toStdString();
    ASSERT_EQ(sqlite3_exec(db, "ALTER TABLE Hidden RENAME TO ClipboardItem", nullptr, nullptr, nullptr), SQLITE_OK);
    EXPECT_FALSE(context->hasChanges());
    EXPECT_EQ(all().size(), 1u);

    ASSERT_EQ(sqlite3_exec(db, "ALTER TABLE SourceApp RENAME TO HiddenApps", nullptr, nullptr, nullptr), SQLITE_OK);
    StdoutCapture out2;
    SourceAppPtr app = manager->findOrCreateSourceApp(QStringLiteral("org.example.app"), QStringLiteral("App"));
    ASSERT_TRUE(app);
    EXPECT_TRUE(app->isInserted()); // a new record after the failed lookup
    ASSERT_EQ(out2.lines().size(), 1);
    EXPECT_TRUE(out2.lines()[0].startsWith("Error fetching SourceApp: "));
    ASSERT_EQ(sqlite3_exec(db, "ALTER TABLE HiddenApps RENAME TO SourceApp", nullptr, nullptr, nullptr), SQLITE_OK);
}

TEST_F(ManagerTest, SourceApplicationsAreSharedAndCapturedOnce) {
    QImage icon(64, 64, QImage::Format_ARGB32);
    icon.fill(QColor(200, 0, 0));
    workspace->paths.insert("org.example.red", "/usr/share/applications/red.desktop");
    workspace->icons.insert("/usr/share/applications/red.desktop", icon);
    QObject owner;
    QStringList updated; // bundle ids of the announced records
    NotificationCenter::defaultCenter().addObserver(
        &owner, Notifications::sourceAppUpdated,
        [&](const Notification& n) { updated << static_cast<const SourceApp*>(n.object)->bundleId().value_or("?"); });

    saveText("first", "text", QStringLiteral("org.example.red"));
    saveText("second", "text", QStringLiteral("org.example.red"));
    saveText("third", "text", QStringLiteral("org.example.missing"));
    saveText("fourth", "text", QStringLiteral(""));
    auto rows = all();
    ASSERT_EQ(rows.size(), 4u);
    QTRY_COMPARE_WITH_TIMEOUT(updated.size(), 1, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(workspace->pathLookups, 2, 10000);

    SourceAppPtr red;
    for (const auto& row : rows)
        if (row->textContent() == "first")
            red = row->sourceApp();
    ASSERT_TRUE(red);
    for (const auto& row : rows) {
        if (row->textContent() == "second") {
            EXPECT_EQ(row->sourceApp().get(), red.get());
        }
        if (row->textContent() == "fourth") {
            EXPECT_FALSE(row->sourceApp());
        }
    }
    EXPECT_EQ(updated, QStringList{"org.example.red"});
    EXPECT_EQ(red->appName(), QStringLiteral("org.example.red App"));
    ASSERT_TRUE(red->iconData());
    EXPECT_EQ(ImageUtils::decode(*red->iconData()).size(), QSize(64, 64));
    ASSERT_TRUE(red->dominantColorData());
    const auto colour = ColorArchive::unarchivedColor(*red->dominantColorData());
    ASSERT_TRUE(colour);
    EXPECT_EQ(colour->toRgb(), QColor(200, 0, 0));
    EXPECT_FALSE(context->hasChanges());

    FetchRequest missing;
    missing.entityName = QStringLiteral("SourceApp");
    missing.predicate = Predicate::bundleIdEquals("org.example.missing");
    auto found = context->fetchSourceApps(missing);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0]->appName(), QStringLiteral("org.example.missing App"));
    EXPECT_FALSE(found[0]->iconData());
    EXPECT_FALSE(found[0]->dominantColorData());

    // Stored for good: a new context reads the same icon and colour.
    auto other = ManagedObjectContext::open(context->path(), nullptr);
    FetchRequest byId;
    byId.entityName = QStringLiteral("SourceApp");
    byId.predicate = Predicate::bundleIdEquals("org.example.red");
    auto stored = other->fetchSourceApps(byId);
    ASSERT_EQ(stored.size(), 1u);
    EXPECT_EQ(stored[0]->iconData(), red->iconData());
}

TEST_F(ManagerTest, LargeEntriesAreSavedWholeOffTheMainThreadAndFoldLikeSmallOnes) {
    QString big;
    const QString chunk = QStringLiteral("Ünïcödé text with accents and a link https://example.org/x ");
    while (big.size() < 50 * 1024 * 1024)
        big += chunk;
    const QString older = QStringLiteral("older ") + QString(400 * 1024, 'o');
    const QByteArray png = QByteArray(2 * 1024 * 1024, 'p');
    saveText(older, "text", QStringLiteral("org.example.first"));
    manager->saveClipboardItem("image", std::nullopt, std::nullopt, png, png, std::nullopt, std::nullopt, std::nullopt);
    saveText("small");
    saveText(big);
    saveText(big); // two in a row: one entry
    ASSERT_TRUE(manager->finishLargeSaves());
    auto rows = all();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0]->textContent()->size(), big.size());
    EXPECT_EQ(rows[0]->preview(), big.left(100) + "...");
    EXPECT_EQ(rows[1]->textContent(), QStringLiteral("small"));
    EXPECT_EQ(rows[2]->type(), QStringLiteral("image"));
    EXPECT_EQ(rows[3]->textContent(), older);
    EXPECT_EQ(manager->searchItems("unicode text", std::nullopt, false, std::nullopt).size(), 1u);
    EXPECT_EQ(manager->searchItems("ACCENTS AND A LINK", std::nullopt, false, std::nullopt).size(), 1u);
    // The text is stored once (its UTF-8 a bit larger than its length), and the log is emptied.
    const qint64 textBytes = big.toUtf8().size() + older.size() + 2 * png.size();
    EXPECT_LT(QFileInfo(context->path()).size(), textBytes * 13 / 10);
    EXPECT_EQ(QFileInfo(context->path() + "-wal").size(), 0);

    // Repeats of older large entries move them to the top with this copy's application, as small ones.
    const ClipboardItemPtr olderEntry = rows[3];
    saveText(older, "text", QStringLiteral("org.example.second"));
    manager->saveClipboardItem("image", std::nullopt, std::nullopt, png, png, std::nullopt, std::nullopt, std::nullopt);
    ASSERT_TRUE(manager->finishLargeSaves());
    rows = all();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0]->type(), QStringLiteral("image"));
    EXPECT_EQ(rows[1].get(), olderEntry.get());
    ASSERT_TRUE(olderEntry->sourceApp());
    EXPECT_EQ(olderEntry->sourceApp()->bundleId(), QStringLiteral("org.example.second"));
    EXPECT_FALSE(context->hasChanges());

    // A text captured as UTF-8 is one entry with the same text saved as a string, either way round.
    const QString third = QStringLiteral("third ") + QStringLiteral("Stra\u00DFe e\u0301 ").repeated(40000);
    manager->saveLargeText("text", LargeText::fromUtf8(big.toUtf8()), std::nullopt, std::nullopt, std::nullopt);
    manager->saveLargeText("text", LargeText::fromUtf8(third.toUtf8()), std::nullopt, std::nullopt, std::nullopt);
    saveText(third.normalized(QString::NormalizationForm_C));
    ASSERT_TRUE(manager->finishLargeSaves());
    rows = all();
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[0]->textContent(), third);
    EXPECT_EQ(rows[0]->preview(), manager->makePreview("text", third, std::nullopt));
    EXPECT_EQ(rows[1]->textContent()->size(), big.size());
    EXPECT_EQ(manager->searchItems("STRASSE", std::nullopt, false, std::nullopt).size(), 0u);
    EXPECT_EQ(manager->searchItems("straße e stra", std::nullopt, false, std::nullopt).size(), 1u);
}
