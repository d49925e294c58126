// SPDX-License-Identifier: MIT
#include "panel/ClipboardImageFilePromiseProvider.h"
#include "panel/PanelContentView.h"
#include "panel/PanelTestStore.h"
#include "platform/Dispatch.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QMimeData>
#include <QUrl>

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Points XDG_RUNTIME_DIR (and the temporary directory) somewhere else while alive.
struct RuntimeDir {
    QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR"), savedTmp = qgetenv("TMPDIR");
    RuntimeDir(const QString& runtime, const QString& tmp) {
        qputenv("XDG_RUNTIME_DIR", runtime.toLocal8Bit());
        qputenv("TMPDIR", tmp.toLocal8Bit());
    }
    ~RuntimeDir() {
        qputenv("XDG_RUNTIME_DIR", savedRuntime);
        qputenv("TMPDIR", savedTmp);
    }
};

} // namespace

TEST(ImageDragOut, FileIsWrittenOnceInItsContentFolderAndPlantsAreNotTrusted) {
    const QString runtime = TestEnvironment::instance().freshDir(QStringLiteral("drag-runtime"));
    ASSERT_EQ(::chmod(QFile::encodeName(runtime).constData(), 0700), 0);
    RuntimeDir env(runtime, TestEnvironment::instance().freshDir(QStringLiteral("drag-tmp")));
    const QByteArray png = PanelTestStore::iconPng(Qt::red);
    const QString hex = QString::fromLatin1(QCryptographicHash::hash(png, QCryptographicHash::Sha256).toHex());
    const QString folder = runtime + QStringLiteral("/Tindralume-DraggedImages/") + hex;
    QString error;

    ClipboardImageFilePromiseProvider first(png, QStringLiteral("Tindralume Image 2024-03-05 14.07.09.png"));
    const auto path = first.prepareTemporaryFile(&error);
    ASSERT_TRUE(path) << error.toStdString();
    EXPECT_EQ(*path, folder + QStringLiteral("/Tindralume Image 2024-03-05 14.07.09.png"));
    EXPECT_EQ(hex.size(), 64);
    EXPECT_EQ(readAll(*path), png);
    struct stat before {};
    ASSERT_EQ(::stat(QFile::encodeName(*path).constData(), &before), 0);
    EXPECT_EQ(QFileInfo(folder).permissions() & (QFile::ReadGroup | QFile::WriteOther | QFile::ExeOther), 0);
    EXPECT_EQ(first.prepareTemporaryFile(&error), path); // reused, not rewritten
    struct stat again {};
    ::stat(QFile::encodeName(*path).constData(), &again);
    EXPECT_EQ(again.st_ino, before.st_ino);

    // Copied again later: a second name in the same content folder.
    ClipboardImageFilePromiseProvider later(png, QStringLiteral("Tindralume Image.png"));
    EXPECT_EQ(later.prepareTemporaryFile(&error), folder + QStringLiteral("/Tindralume Image.png"));

    // Planted in the file's place: a link to someone's file, a file with other bytes. Neither is
    // followed or handed out; the link's target stays untouched.
    const QString victim = TestEnvironment::instance().freshDir(QStringLiteral("drag-victim")) + "/secret";
    QFile secret(victim);
    ASSERT_TRUE(secret.open(QIODevice::WriteOnly));
    secret.write("secret");
    secret.close();
    ASSERT_EQ(::chmod(QFile::encodeName(victim).constData(), 0644), 0);
    ASSERT_TRUE(QFile::remove(*path));
    ASSERT_TRUE(QFile::link(victim, *path));
    EXPECT_EQ(first.prepareTemporaryFile(&error), path);
    EXPECT_FALSE(QFileInfo(*path).isSymLink());
    EXPECT_EQ(readAll(*path), png);
    EXPECT_EQ(readAll(victim), QByteArray("secret"));
    struct stat victimStat {};
    ASSERT_EQ(::stat(QFile::encodeName(victim).constData(), &victimStat), 0);
    EXPECT_EQ(victimStat.st_mode & 07777, 0644u);
    QFile foreign(*path);
    ASSERT_TRUE(foreign.open(QIODevice::WriteOnly | QIODevice::Truncate));
    foreign.write("not the image");
    foreign.close();
    EXPECT_EQ(first.prepareTemporaryFile(&error), path);
    EXPECT_EQ(readAll(*path), png);

    // A content folder others or the group may write to is refused: the drag then carries the bytes only.
    for (const mode_t mode : {mode_t(0777), mode_t(0770)}) {
        SCOPED_TRACE(mode);
        ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), mode), 0);
        EXPECT_FALSE(first.prepareTemporaryFile(&error));
        EXPECT_TRUE(error.contains(QStringLiteral("not a private folder"))) << error.toStdString();
        std::unique_ptr<QMimeData> writer(first.makePasteboardWriter());
        EXPECT_FALSE(writer->hasUrls());
        EXPECT_EQ(writer->data(QStringLiteral("image/png")), png);
    }
    ::chmod(QFile::encodeName(folder).constData(), 0700);
    // A folder link planted for the content folder is not followed either.
    ASSERT_TRUE(QDir(folder).removeRecursively());
    ASSERT_TRUE(QFile::link(TestEnvironment::instance().freshDir(QStringLiteral("drag-elsewhere")), folder));
    EXPECT_FALSE(first.prepareTemporaryFile(&error));
}

TEST(ImageDragOut, PrivateBaseFallsBackToAClosedFolderOfTheUser) {
    const QString open = TestEnvironment::instance().freshDir(QStringLiteral("drag-open-runtime"));
    ASSERT_EQ(::chmod(QFile::encodeName(open).constData(), 0755), 0);
    const QString tmp = TestEnvironment::instance().freshDir(QStringLiteral("drag-open-tmp"));
    RuntimeDir env(open, tmp);
    QString error;
    const auto base = ClipboardImageFilePromiseProvider::privateBaseDirectory(&error);
    const QString expected = tmp + QStringLiteral("/tindralume-") + QString::number(::getuid());
    ASSERT_EQ(base, expected) << error.toStdString();
    EXPECT_EQ(QFileInfo(expected).permissions() & (QFile::ReadGroup | QFile::WriteOther | QFile::ExeOther), 0);
    // Someone else's folder (here: one open to all) in that place is refused.
    ASSERT_EQ(::chmod(QFile::encodeName(expected).constData(), 0777), 0);
    EXPECT_FALSE(ClipboardImageFilePromiseProvider::privateBaseDirectory(&error));
}

TEST(ImageDragOut, OnlyOneImageCardDragsAndItsName) {
    PanelTestStore store(QStringLiteral("drag-source"));
    auto text = store.add(QStringLiteral("text"), QStringLiteral("words"));
    auto link = store.add(QStringLiteral("url"), QStringLiteral("https://example.org"));
    auto file = store.add(QStringLiteral("file"), QStringLiteral("/etc/hostname"));
    auto image = store.add(QStringLiteral("image"), QStringLiteral("Image"));
    image->setImageData(PanelTestStore::iconPng(Qt::blue));
    image->setTimestamp(QDateTime(QDate(2024, 3, 5), QTime(14, 7, 9)));
    auto bare = store.add(QStringLiteral("image"), QStringLiteral("Image"));
    bare->setTimestamp(std::nullopt);
    bare->setImageData(PanelTestStore::iconPng(Qt::green));
    auto empty = store.add(QStringLiteral("image"), QStringLiteral("Image"));
    store.save();
    PanelContentView view;
    view.clipboardItems = {text, link, file, image, bare, empty};
    CollectionView* strip = view.collectionView();
    const std::vector<std::pair<QList<int>, bool>> table = {
        {{0}, false}, {{1}, false}, {{2}, false}, {{3}, true}, {{3, 4}, false}, {{6}, false}, {{-1}, false},
    };
    for (const auto& [indexes, allowed] : table)
        EXPECT_EQ(view.canDragItems(strip, indexes), allowed) << indexes.first();
    EXPECT_EQ(PanelContentView::dragFileName(image), QStringLiteral("Tindralume Image 2024-03-05 14.07.09.png"));
    EXPECT_EQ(PanelContentView::dragFileName(bare), QStringLiteral("Tindralume Image.png"));
    EXPECT_EQ(view.pasteboardWriterForItem(strip, 0), nullptr);
    EXPECT_EQ(view.pasteboardWriterForItem(strip, 5), nullptr); // an image entry without data
    std::unique_ptr<QMimeData> writer(view.pasteboardWriterForItem(strip, 4));
    ASSERT_NE(writer, nullptr);
    ASSERT_EQ(writer->urls().size(), 1);
    EXPECT_EQ(QFileInfo(writer->urls().first().toLocalFile()).fileName(), QStringLiteral("Tindralume Image.png"));
    EXPECT_EQ(readAll(writer->urls().first().toLocalFile()), *bare->imageData());
}

// A drag that starts before its file is ready (every worker of the global queue held) starts at
// once; the drop target's request then waits for the whole file, in the picture's content folder.
TEST(ImageDragOut, ADragStartedBeforeItsFileIsReadyDeliversTheWholeFile) {
    const QString runtime = TestEnvironment::instance().freshDir(QStringLiteral("drag-early-runtime"));
    ASSERT_EQ(::chmod(QFile::encodeName(runtime).constData(), 0700), 0);
    RuntimeDir env(runtime, TestEnvironment::instance().freshDir(QStringLiteral("drag-early-tmp")));
    PanelTestStore store(QStringLiteral("drag-early"));
    auto image = store.add(QStringLiteral("image"), QStringLiteral("Image"));
    const QByteArray original = PanelTestStore::iconPng(Qt::red);
    image->setOriginalImageData(original);
    image->setImageData(PanelTestStore::iconPng(Qt::blue));
    store.save();
    store.context->refreshAllObjects(); // as a page shows it: the picture is read for the drag
    PanelContentView view;
    view.setDataManager(store.manager.get());
    view.clipboardItems = {image};

    std::promise<void> open;
    std::atomic<bool> opened = false;
    const auto release = [&] {
        if (!opened.exchange(true))
            open.set_value();
    };
    const std::shared_future<void> gate = open.get_future().share();
    for (int i = 0; i < Dispatch::globalPool()->maxThreadCount(); ++i)
        Dispatch::onGlobal([gate] { gate.wait(); });
    std::promise<void> started;
    std::thread watchdog([&release, done = started.get_future()] {
        if (done.wait_for(std::chrono::seconds(20)) == std::future_status::timeout)
            release(); // a drag that waits for its file would wait for ever
    });
    view.itemMayBeDragged(view.collectionView(), 0);
    std::unique_ptr<QMimeData> writer(view.pasteboardWriterForItem(view.collectionView(), 0));
    started.set_value();
    watchdog.join();
    EXPECT_FALSE(opened) << "the drag waited for its file";
    ASSERT_NE(writer, nullptr);
    EXPECT_TRUE(writer->hasUrls());
    EXPECT_TRUE(writer->hasFormat(QStringLiteral("image/png")));
    release();

    ASSERT_EQ(writer->urls().size(), 1);
    const QString hex = QString::fromLatin1(QCryptographicHash::hash(original, QCryptographicHash::Sha256).toHex());
    EXPECT_EQ(writer->urls().first().toLocalFile(), runtime + QStringLiteral("/Tindralume-DraggedImages/") + hex +
                                                        QLatin1Char('/') + PanelContentView::dragFileName(image));
    EXPECT_EQ(readAll(writer->urls().first().toLocalFile()), original);
    EXPECT_EQ(writer->data(QStringLiteral("image/png")), original);
}
