// SPDX-License-Identifier: MIT
// The store manager beside the writer thread: edits made while it writes, and its full disk.
#include "ManagerTestFixture.h"

#include <QFile>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <unistd.h>

namespace {

QString largeText(QChar fill, qsizetype chars) {
    return QString(fill) + QStringLiteral(" large ") + QString(chars, fill);
}

FetchRequest newestFirst() {
    return ClipboardDataManager::pageRequest(QString(), std::nullopt, 0, false, std::nullopt);
}

// Copies in one millisecond would share their time, and their order would be the keys'.
void nextMillisecond() {
    const QDateTime now = QDateTime::currentDateTime();
    while (QDateTime::currentDateTime() <= now) {
    }
}

// On its way into a clear the main thread blocks nowhere but in the wait for the writer.
bool mainThreadAsleep() {
    QFile stat(QStringLiteral("/proc/self/task/%1/stat").arg(::getpid()));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray line = stat.readAll();
    const qsizetype paren = line.lastIndexOf(')'); // the name before it may hold anything
    return paren > 0 && line.size() > paren + 2 && line.at(paren + 2) == 'S';
}

int countBusy(void* calls, int) {
    ++*static_cast<std::atomic<int>*>(calls);
    return 0; // fail at once: a wait is what is looked for, not sat through
}

// Holds the writer inside its transaction, write lock taken, until released.
struct CommitGate {
    std::mutex mutex;
    std::condition_variable released;
    std::atomic<bool> entered{false};
    bool open = false;

    static int hook(void* self) {
        auto* gate = static_cast<CommitGate*>(self);
        std::unique_lock lock(gate->mutex);
        gate->entered = true;
        gate->released.wait(lock, [gate] { return gate->open; });
        return 0;
    }
    void release() {
        std::lock_guard lock(mutex);
        open = true;
        released.notify_all();
    }
};

// The writer's next transaction is held open, write lock taken, until the gate is released; any
// wait of the main connection for a lock is counted and fails at once instead of being sat through.
class ManagerWriterTest : public ManagerTest {
protected:
    void holdTheWritersNextCommit() {
        manager->largeEntryWriter()->setConnectionHookForTesting(
            [this](sqlite3* db) { sqlite3_commit_hook(db, &CommitGate::hook, &gate); });
        sqlite3_busy_handler(context->connection(), &countBusy, &busyCalls);
    }
    void TearDown() override {
        gate.release();
        sqlite3_busy_timeout(context->connection(), 2000);
        ManagerTest::TearDown();
    }
    CommitGate gate;
    std::atomic<int> busyCalls{0};
};

} // namespace

TEST_F(ManagerWriterTest, EditsMadeWhileTheWriterWritesWaitForNoLockAndAreSaved) {
    saveText("star me");
    saveText("pick me");
    saveText(largeText('a', 300 * 1024)); // starts the writer
    ASSERT_TRUE(manager->finishLargeSaves());
    ClipboardItemPtr star = all()[2], pick = all()[1];
    ASSERT_EQ(star->textContent(), QStringLiteral("star me"));

    QImage icon(32, 32, QImage::Format_ARGB32);
    icon.fill(Qt::blue);
    workspace->paths.insert("org.example.new", "/usr/share/applications/new.desktop");
    workspace->icons.insert("/usr/share/applications/new.desktop", icon);
    holdTheWritersNextCommit();

    StdoutCapture out;
    saveText(largeText('b', 300 * 1024), "text", QStringLiteral("org.example.new"));
    QTRY_VERIFY_WITH_TIMEOUT(gate.entered, 60000);
    nextMillisecond();
    manager->toggleFavorite(star);
    ASSERT_TRUE(manager->copyToPasteboard(pick, false));
    nextMillisecond();
    saveText("small, queued behind", "text", QStringLiteral("org.example.new"));
    EXPECT_EQ(star->isFavorite(), true); // shown at once
    {
        sqlite3* reader = nullptr;
        ASSERT_EQ(sqlite3_open_v2(context->path().toUtf8().constData(), &reader, SQLITE_OPEN_READONLY, nullptr),
                  SQLITE_OK);
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(reader, "SELECT count(*) FROM ClipboardItem WHERE isFavorite = 1", -1, &s, nullptr);
        EXPECT_EQ(sqlite3_step(s), SQLITE_ROW);
        EXPECT_EQ(sqlite3_column_int(s, 0), 0); // not saved yet
        sqlite3_finalize(s);
        sqlite3_close(reader);
    }
    gate.release();
    ASSERT_TRUE(manager->finishLargeSaves());
    EXPECT_EQ(busyCalls, 0);
    EXPECT_EQ(out.lines(), QStringList());
    EXPECT_FALSE(context->hasChanges());

    auto other = ManagedObjectContext::openAnother(context->path(), nullptr);
    const auto rows = other->fetchItems(newestFirst());
    ASSERT_EQ(rows.size(), 5u);
    QStringList texts;
    for (const auto& row : rows)
        texts << row->textContent()->left(8);
    EXPECT_EQ(texts, QStringList({"small, q", "pick me", "b large ", "a large ", "star me"}));
    EXPECT_EQ(rows[4]->isFavorite(), true);
    // The new application was made once, by the writer, for both copies.
    FetchRequest apps;
    apps.entityName = QStringLiteral("SourceApp");
    apps.predicate = Predicate::bundleIdEquals(QStringLiteral("org.example.new"));
    const auto made = other->fetchSourceApps(apps);
    ASSERT_EQ(made.size(), 1u);
    for (const int i : {0, 2}) {
        ASSERT_TRUE(rows[i]->sourceApp());
        EXPECT_EQ(rows[i]->sourceApp()->primaryKey(), made[0]->primaryKey());
    }
    // Its icon is looked up once it is stored, and saved beside it.
    QTRY_VERIFY_WITH_TIMEOUT(manager->findSourceApp("org.example.new")->iconData(), 30000);
    EXPECT_EQ(busyCalls, 0);
}

// The retention's clean-up while a large entry is written takes no lock either: the old entries go
// at the writer's next stop.
TEST_F(ManagerWriterTest, RetentionWhileTheWriterWritesWaitsForNoLock) {
    saveText("expired");
    ClipboardItemPtr expired = all()[0];
    expired->setTimestamp(QDateTime::currentDateTime().addDays(-40));
    manager->saveContext();
    saveText(largeText('a', 300 * 1024)); // starts the writer
    ASSERT_TRUE(manager->finishLargeSaves());
    holdTheWritersNextCommit();

    StdoutCapture out;
    saveText(largeText('b', 300 * 1024));
    QTRY_VERIFY_WITH_TIMEOUT(gate.entered, 60000);
    manager->deleteItemsOlderThan(30);
    EXPECT_TRUE(expired->isDeleted());
    gate.release();
    ASSERT_TRUE(manager->finishLargeSaves());
    EXPECT_EQ(busyCalls, 0);
    EXPECT_EQ(out.lines(), QStringList());
    EXPECT_FALSE(context->hasChanges());
    auto other = ManagedObjectContext::openAnother(context->path(), nullptr);
    QStringList texts;
    for (const auto& row : other->fetchItems(newestFirst()))
        texts << row->textContent()->left(7);
    EXPECT_EQ(texts, QStringList({"b large", "a large"}));
}

// Clearing while a large entry is written does not fail for the lock it holds: it waits, and the
// entry, copied before the clear, is cleared too.
TEST_F(ManagerWriterTest, AClearWhileTheWriterWritesWaitsForItAndClearsItToo) {
    saveText(largeText('a', 300 * 1024)); // starts the writer
    ASSERT_TRUE(manager->finishLargeSaves());
    holdTheWritersNextCommit();
    saveText(largeText('b', 300 * 1024));
    QTRY_VERIFY_WITH_TIMEOUT(gate.entered, 60000);
    // Let go from another thread once the main thread sleeps inside the clear.
    std::thread releaser([this] {
        for (int i = 0; i < 2000 && !mainThreadAsleep(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        gate.release();
    });
    EXPECT_TRUE(manager->clearAllHistory());
    releaser.join();
    EXPECT_EQ(busyCalls, 0);
    EXPECT_TRUE(all().empty());
}

TEST_F(ManagerTest, TheWriterKeepsWhatDoesNotFitPendingWithoutHoldingBackTheOthers) {
    saveText(largeText('a', 300 * 1024)); // starts the writer
    ASSERT_TRUE(manager->finishLargeSaves());
    sqlite3_stmt* s = nullptr;
    sqlite3_prepare_v2(context->connection(), "PRAGMA page_count", -1, &s, nullptr);
    sqlite3_step(s);
    const qint64 pages = sqlite3_column_int64(s, 0);
    sqlite3_finalize(s);
    // Room for a 300 K entry (some 75 pages), not for a 3 M one.
    std::atomic<qint64> limit = pages + 200;
    manager->largeEntryWriter()->setConnectionHookForTesting([&limit](sqlite3* db) {
        sqlite3_exec(db, ("PRAGMA max_page_count = " + QByteArray::number(limit.load())).constData(), nullptr, nullptr,
                     nullptr);
    });
    Observed full(Notifications::historyStoreFull);
    StdoutCapture out;
    saveText(largeText('b', 3 * 1024 * 1024));
    nextMillisecond();
    saveText(largeText('c', 300 * 1024));
    EXPECT_FALSE(manager->finishLargeSaves());
    const QStringList lines = out.lines();
    ASSERT_FALSE(lines.isEmpty());
    for (const QString& line : lines)
        EXPECT_TRUE(line.startsWith("Error saving context: ") && line.size() > 22) << line.toStdString();
    {
        auto other = ManagedObjectContext::openAnother(context->path(), nullptr);
        const auto rows = other->fetchItems(newestFirst());
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_EQ(*rows[0]->textContent()->begin(), 'c');
    }
    // Tried again now and then, without another copy, until there is room: then in its place.
    limit = 1073741823;
    QTRY_COMPARE_WITH_TIMEOUT(all().size(), size_t(3), 60000);
    EXPECT_TRUE(manager->finishLargeSaves());
    auto other = ManagedObjectContext::openAnother(context->path(), nullptr);
    const auto rows = other->fetchItems(newestFirst());
    ASSERT_EQ(rows.size(), 3u);
    QString order;
    for (const auto& row : rows)
        order += row->textContent()->at(0);
    EXPECT_EQ(order, QStringLiteral("cba"));
    EXPECT_EQ(rows[1]->textContent()->size(), largeText('b', 3 * 1024 * 1024).size());
    EXPECT_EQ(full.objects.size(), 1u);
}
