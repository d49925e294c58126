// SPDX-License-Identifier: MIT
// The store manager's side of link previews: which links ask, and what a result or a failure does.
#include "ManagerTestFixture.h"

TEST_F(ManagerTest, NeedsLinkPreview) {
    struct Case {
        OptString title;
        OptData image;
        bool needs;
    };
    const std::vector<Case> cases = {
        {std::nullopt, std::nullopt, true},     {QString(" \n\t"), QByteArray(""), true},
        {QString(""), std::nullopt, true},      {QString("Title"), std::nullopt, false},
        {std::nullopt, QByteArray("x"), false}, {QString(" "), QByteArray("x"), false},
    };
    for (const Case& c : cases) {
        auto item = context->insertClipboardItem();
        item->setUrlPreviewTitle(c.title);
        item->setUrlPreviewImageData(c.image);
        EXPECT_EQ(manager->needsLinkPreview(item), c.needs) << c.title.value_or("<none>").toStdString();
    }
}

TEST_F(ManagerTest, LinkPreviewIsRequestedForTheTrimmedWebLinkOnly) {
    StdoutCapture out;
    const QString ftp = QStringLiteral("ftp://127.0.0.1:1/file");
    saveText("  " + ftp + "  ", "url");
    saveText("  " + kDeadLink + " \n", "url");
    QTRY_COMPARE_WITH_TIMEOUT(out.linesStartingWith("[Preview] No preview for ").size(), 1, 20000);
    EXPECT_EQ(out.linesStartingWith("[Preview] "), QStringList{"[Preview] No preview for " + kDeadLink});
    auto rows = all();
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0]->textContent(), "  " + kDeadLink + " \n"); // stored with its spaces
    EXPECT_EQ(rows[0]->preview(), kDeadLink);

    // Re-copying a link that still has no preview asks again; once it has a title it does not.
    saveText("  " + kDeadLink + " \n", "url");
    QTRY_COMPARE_WITH_TIMEOUT(out.linesStartingWith("[Preview] No preview for ").size(), 2, 20000);
    EXPECT_EQ(all().size(), 2u);
    rows[0]->setUrlPreviewTitle(QStringLiteral("Page"));
    manager->saveContext();
    saveText("  " + kDeadLink + " \n", "url");
    EXPECT_EQ(all().size(), 2u);
    const QString sentinel = QStringLiteral("http://127.0.0.1:1/sentinel");
    saveText(sentinel, "text");
    QTRY_VERIFY_WITH_TIMEOUT(out.lines().contains("[Preview] No preview for " + sentinel), 20000);
    EXPECT_EQ(out.linesStartingWith("[Preview] No preview for " + kDeadLink).size(), 2);
}

TEST_F(ManagerTest, PreviewResultIsStoredAndAnnounced) {
    saveText(QStringLiteral("http://127.0.0.1:1/article"), "url");
    ClipboardItemPtr item = all()[0];
    Observed updated(Notifications::urlPreviewUpdated);
    StdoutCapture out;
    URLPreview preview;
    preview.title = QStringLiteral("An Article");
    preview.imageData = png(Qt::yellow);
    manager->handlePreviewResult(preview, "http://127.0.0.1:1/article", item->objectID());
    QTRY_COMPARE_WITH_TIMEOUT(updated.objects.size(), size_t(1), 5000);
    EXPECT_EQ(updated.objects[0], item.get());
    EXPECT_EQ(out.linesStartingWith("[Preview] "),
              (QStringList{"[Preview] Got preview for http://127.0.0.1:1/article",
                           "[Preview] Title: An Article, Has Image: true", "[Preview] Saved to Core Data",
                           "[Preview] Posted notification"}));
    EXPECT_EQ(item->urlPreviewTitle(), QStringLiteral("An Article"));
    EXPECT_FALSE(item->urlPreviewDescription().has_value());
    EXPECT_EQ(item->urlPreviewImageData(), preview.imageData);
    EXPECT_FALSE(context->hasChanges());
    EXPECT_FALSE(manager->needsLinkPreview(item));

    URLPreview bare;
    bare.description = QStringLiteral("only a description");
    StdoutCapture out2;
    manager->handlePreviewResult(bare, "u", item->objectID());
    QTRY_COMPARE_WITH_TIMEOUT(updated.objects.size(), size_t(2), 5000);
    EXPECT_TRUE(out2.lines().contains("[Preview] Title: nil, Has Image: false"));
    EXPECT_FALSE(item->urlPreviewTitle().has_value()); // parts the preview lacks are cleared
    EXPECT_EQ(item->urlPreviewDescription(), QStringLiteral("only a description"));
}

TEST_F(ManagerTest, StalePreviewForADeletedEntryOnlyPrints) {
    saveText(QStringLiteral("http://127.0.0.1:1/gone"), "url");
    ClipboardItemPtr item = all()[0];
    const QString id = item->objectID();
    context->deleteObject(item);
    manager->saveContext();
    Observed updated(Notifications::urlPreviewUpdated);
    StdoutCapture out;
    URLPreview preview;
    preview.title = QStringLiteral("Late");
    manager->storePreview(preview, "http://127.0.0.1:1/gone", id);
    manager->clearAllHistory();
    manager->storePreview(preview, "http://127.0.0.1:1/gone", id);
    EXPECT_EQ(out.linesStartingWith("[Preview] "),
              QStringList(2, "[Preview] Item no longer exists for http://127.0.0.1:1/gone"));
    EXPECT_TRUE(updated.objects.empty());
    EXPECT_TRUE(all().empty());
}

TEST_F(ManagerTest, FailedPreviewSaveStillAnnounces) {
    saveText(QStringLiteral("http://127.0.0.1:1/full"), "url");
    ClipboardItemPtr item = all()[0];
    fillDisk();
    Observed updated(Notifications::urlPreviewUpdated);
    StdoutCapture out;
    URLPreview preview;
    preview.imageData = QByteArray(256 * 1024, 'i');
    manager->storePreview(preview, "http://127.0.0.1:1/full", item->objectID());
    const QStringList lines = out.linesStartingWith("[Preview] ");
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[0].startsWith("[Preview] Save failed: ")) << lines[0].toStdString();
    EXPECT_GT(lines[0].size(), QString("[Preview] Save failed: ").size());
    EXPECT_EQ(lines[1], "[Preview] Posted notification");
    EXPECT_EQ(updated.objects.size(), 1u);
    EXPECT_TRUE(context->hasChanges());
    freeDisk();
    manager->saveContext();
    EXPECT_FALSE(context->hasChanges());
}
