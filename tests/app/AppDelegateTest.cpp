// SPDX-License-Identifier: MIT
// The application delegate in this process: start-up, retention, clearing, the store failure path,
// the termination questions and the signal path, over a real SQLite file.
#include "app/AppDelegate.h"
#include "app/AppTestSupport.h"
#include "app/SingleInstance.h"
#include "app/UnixSignalWatcher.h"
#include "common/AppNames.h"
#include "history/ClipboardDataManager.h"
#include "history/ClipboardMonitor.h"
#include "history/store/ManagedObjectContext.h"
#include "panel/PanelWindowController.h"
#include "platform/GlobalHotKey.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "statusbar/StatusBarManager.h"
#include "support/memory/MemoryGlobalHotKey.h"
#include "support/memory/MemoryPasteboard.h"
#include "support/memory/MemoryWorkspace.h"
#include "update/UpdateManager.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>
#include <QThread>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <functional>
#include <optional>
#include <thread>

namespace {

struct Seed {
    const char* text;
    double ageDays;
    bool favorite;
};

QString freshStore(const std::vector<Seed>& seeds) {
    const QString path = TestEnvironment::instance().freshDir(QStringLiteral("app-store")) + "/Tindralume.sqlite";
    StoreError error;
    auto ctx = ManagedObjectContext::open(path, &error);
    EXPECT_TRUE(ctx) << qPrintable(error.message);
    if (!ctx)
        return path;
    for (const Seed& s : seeds) {
        auto item = ctx->insertClipboardItem();
        item->setId(QUuid::createUuid());
        item->setType(QStringLiteral("text"));
        item->setTextContent(QString::fromUtf8(s.text));
        item->setPreview(QString::fromUtf8(s.text));
        item->setTimestamp(QDateTime::currentDateTime().addMSecs(-qint64(s.ageDays * 86400.0 * 1000.0)));
        item->setIsFavorite(s.favorite);
    }
    EXPECT_TRUE(ctx->save(&error)) << qPrintable(error.message);
    return path;
}

QStringList texts(const QString& storePath) {
    StoreFileReader reader(storePath);
    QStringList out;
    for (const auto& r : reader.rows())
        out.append(QString::fromUtf8(r.text));
    out.sort();
    return out;
}

// Answers the modal boxes that appear, in order, by the text of the button to press.
class ModalAnswerer : public QObject {
public:
    explicit ModalAnswerer(QStringList buttons) : m_buttons(std::move(buttons)) {
        connect(&m_timer, &QTimer::timeout, this, &ModalAnswerer::poke);
        m_timer.start(20);
    }
    struct Seen {
        QString text, informativeText;
        QStringList buttons;
    };
    std::vector<Seen> seen;
    std::function<void()> afterLast;

private:
    void poke() {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box || box == m_last)
            return;
        m_last = box;
        Seen s{box->text(), box->informativeText(), {}};
        for (QAbstractButton* b : box->buttons())
            s.buttons.append(b->text());
        seen.push_back(s);
        const QString want = m_buttons.isEmpty() ? QString() : m_buttons.takeFirst();
        for (QAbstractButton* b : box->buttons()) {
            if (b->text() == want || (want.isEmpty() && b == box->buttons().first())) {
                QTimer::singleShot(0, b, &QAbstractButton::click);
                break;
            }
        }
        if (m_buttons.isEmpty() && afterLast)
            QTimer::singleShot(0, this, afterLast);
    }
    QStringList m_buttons;
    QTimer m_timer;
    QPointer<QMessageBox> m_last;
};

// Holds the store's write lock from another connection, so saving fails until released.
class WriteLock {
public:
    explicit WriteLock(const QString& path) {
        sqlite3_open(QFile::encodeName(path).constData(), &m_db);
        m_locked = sqlite3_exec(m_db, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr) == SQLITE_OK;
    }
    ~WriteLock() { release(); }
    bool locked() const { return m_locked; }
    void release() {
        if (m_db) {
            sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
            sqlite3_close(m_db);
            m_db = nullptr;
        }
    }

private:
    sqlite3* m_db = nullptr;
    bool m_locked = false;
};

class AppDelegateTest : public ::testing::Test {
protected:
    void SetUp() override {
        // As in main(): closing a message box must not count as closing the application.
        QApplication::setQuitOnLastWindowClosed(false);
        auto pb = std::make_unique<MemoryPasteboard>();
        pasteboard = pb.get();
        Pasteboard::setGeneral(std::move(pb));
        Workspace::setShared(std::make_unique<MemoryWorkspace>());
        auto layer = std::make_unique<MemoryGlobalHotKey>();
        hotKeys = layer.get();
        GlobalHotKey::setShared(std::move(layer));
        UserDefaults::setStandardPath(TestEnvironment::instance().freshDir(QStringLiteral("defaults")) +
                                      QStringLiteral("/Tindralume.conf"));
    }
    MemoryPasteboard* pasteboard = nullptr;
    MemoryGlobalHotKey* hotKeys = nullptr;
};

TEST_F(AppDelegateTest, RetentionRunsAtLaunch) {
    const std::vector<Seed> seeds = {
        {"half a day", 0.5, false}, {"ten days", 10, false}, {"a month", 31, false}, {"old favourite", 100, true}};
    const struct {
        std::optional<int> days;
        QStringList kept;
    } cases[] = {
        {std::nullopt, {"half a day", "old favourite", "ten days"}},
        {0, {"a month", "half a day", "old favourite", "ten days"}},
        {-3, {"a month", "half a day", "old favourite", "ten days"}},
        {7, {"half a day", "old favourite"}},
        {1, {"half a day", "old favourite"}},
        {365, {"a month", "half a day", "old favourite", "ten days"}},
    };
    for (const auto& c : cases) {
        SetUp();
        if (c.days)
            UserDefaults::standard().setInteger(DefaultsKeys::historyRetentionDays, *c.days);
        const QString store = freshStore(seeds);
        {
            AppDelegate delegate(store);
            ASSERT_TRUE(delegate.setUpApplication());
        }
        EXPECT_EQ(texts(store), c.kept) << (c.days ? *c.days : -999);
    }
}

TEST_F(AppDelegateTest, StartUpRegistersTheDefaultAndIgnoresLaunchContents) {
    pasteboard->simulateCopy({{Pasteboard::Type::String, "on the pasteboard at launch"}});
    const QString store = freshStore({});
    AppDelegate delegate(store);
    ASSERT_TRUE(delegate.setUpApplication());

    EXPECT_TRUE(UserDefaults::standard().objectExists(DefaultsKeys::reverseScrollDirection));
    EXPECT_FALSE(UserDefaults::standard().persistentExists(DefaultsKeys::reverseScrollDirection));
    EXPECT_FALSE(UserDefaults::standard().boolean(DefaultsKeys::reverseScrollDirection));
    EXPECT_FALSE(UserDefaults::standard().objectExists(DefaultsKeys::historyRetentionDays));
    EXPECT_TRUE(CrashReporter::isStarted());
    EXPECT_EQ(CrashReporter::options().tracesSampleRate, 1.0);
    EXPECT_FALSE(CrashReporter::options().debug);
    EXPECT_FALSE(CrashReporter::options().enableAppHangTracking);

    ASSERT_TRUE(delegate.clipboardMonitor());
    EXPECT_EQ(delegate.clipboardDataManager()->clipboardMonitor(), delegate.clipboardMonitor());
    EXPECT_TRUE(delegate.clipboardMonitor()->timer && delegate.clipboardMonitor()->timer->isActive());
    // A tick passes without recording what was there at launch; the first real copy is recorded.
    pasteboard->simulateCopy({{Pasteboard::Type::String, "first copy"}});
    QTRY_COMPARE(texts(store), QStringList{QStringLiteral("first copy")});
}

TEST_F(AppDelegateTest, ThePanelRisesAfterLaunchExceptAtLogin) {
    for (const bool atLogin : {false, true}) {
        AppDelegate delegate(freshStore({}));
        delegate.setShowsPanelAfterLaunch(!atLogin);
        ASSERT_TRUE(delegate.setUpApplication());
        // Timers fire in the order of their deadlines: a scheduled first show comes before this one.
        bool past = false;
        QTimer::singleShot(1500, qApp, [&past] { past = true; });
        QTRY_VERIFY_WITH_TIMEOUT(past, 60000);
        EXPECT_EQ(delegate.panelController()->isVisible(), !atLogin) << "at login: " << atLogin;
    }
}

TEST_F(AppDelegateTest, ClearHistoryEmptiesTheStoreAndAnnouncesIt) {
    const QString store = freshStore({{"plain", 1, false}, {"kept dear", 2, true}});
    auto delegate = std::make_unique<AppDelegate>(store);
    ASSERT_TRUE(delegate->setUpApplication());
    // Start-up's update and tray steps ran; the tray item holds the panel controller.
    ASSERT_TRUE(delegate->statusBarManager());
    EXPECT_EQ(delegate->statusBarManager()->panelController(), delegate->panelController());
    EXPECT_TRUE(UpdateManager::shared().controller()->isStarted());
    QObject observer;
    int cleared = 0;
    QVariantMap info;
    NotificationCenter::defaultCenter().addObserver(&observer, Notifications::clipboardHistoryDidClear,
                                                    [&](const Notification& n) {
                                                        ++cleared;
                                                        info = n.userInfo;
                                                    });

    NotificationCenter::defaultCenter().post(Notifications::clearClipboardHistory);
    EXPECT_EQ(cleared, 1);
    EXPECT_EQ(info.value(Notifications::clearedKey), QVariant(true)); // the settings page reports it
    EXPECT_TRUE(texts(store).isEmpty());                              // favourites too

    // After shutdown the delegate no longer listens.
    delegate->tearDown();
    EXPECT_FALSE(delegate->clipboardMonitor()->timer);
    NotificationCenter::defaultCenter().post(Notifications::clearClipboardHistory);
    EXPECT_EQ(cleared, 1);
}

TEST_F(AppDelegateTest, AFullDiskIsToldOnceAndHoldsBackNoCopyThatFits) {
    const QString store = freshStore({{"before", 1, false}});
    AppDelegate delegate(store);
    ASSERT_TRUE(delegate.setUpApplication());
    sqlite3* db = delegate.persistentContainer()->connection();
    ASSERT_EQ(sqlite3_exec(db, "PRAGMA max_page_count = 1", nullptr, nullptr, nullptr), SQLITE_OK);
    auto alerts = [] {
        int n = 0;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible() && !box->isModal())
                ++n;
        return n;
    };
    pasteboard->simulateCopy({{Pasteboard::Type::String, QByteArray(200000, 'x')}});
    QTRY_COMPARE(alerts(), 1);
    for (const char* text : {"small one", "small two"})
        pasteboard->simulateCopy({{Pasteboard::Type::String, text}});
    QTRY_COMPARE(texts(store), (QStringList{"before", "small one", "small two"}));
    EXPECT_EQ(alerts(), 1);
    ASSERT_EQ(sqlite3_exec(db, "PRAGMA max_page_count = 1073741823", nullptr, nullptr, nullptr), SQLITE_OK);
    pasteboard->simulateCopy({{Pasteboard::Type::String, "room again"}});
    QTRY_COMPARE(texts(store).size(), 5);
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<QMessageBox*>(w))
            w->close();
}

// A large copy that the disk has no room for waits behind the small ones made after it, and is given
// up with an alert once space freed still is not enough: the stop saves the rest and ends with 0.
TEST_F(AppDelegateTest, ALargeCopyWithoutRoomIsGivenUpWithoutHoldingBackTheCopiesAfterIt) {
    const QString store = freshStore({{"before", 1, false}});
    const QStringList small{"C1", "C2", "C3"};
    auto smallCopy = [](const QString& name) { return name.toUtf8() + QByteArray(100 * 1024, 's'); };
    {
        AppDelegate delegate(store);
        ASSERT_TRUE(delegate.setUpApplication());
        ClipboardDataManager* manager = delegate.clipboardDataManager();
        sqlite3* db = delegate.persistentContainer()->connection();
        pasteboard->simulateCopy({{Pasteboard::Type::String, "warm-up " + QByteArray(600 * 1024, 'w')}});
        QTRY_VERIFY(manager->largeEntryWriter());
        ASSERT_TRUE(manager->finishLargeSaves());
        // The disk is full: neither connection's store may grow.
        std::atomic<qint64> limit = 1;
        auto setLimit = [&limit](sqlite3* connection) {
            sqlite3_exec(connection, ("PRAGMA max_page_count = " + QByteArray::number(limit.load())).constData(),
                         nullptr, nullptr, nullptr);
        };
        setLimit(db);
        manager->largeEntryWriter()->setConnectionHookForTesting(setLimit);
        QObject observer;
        int givenUp = 0;
        NotificationCenter::defaultCenter().addObserver(&observer, Notifications::historyEntryGivenUp,
                                                        [&givenUp](const Notification&) { ++givenUp; });
        StdoutCapture out;
        pasteboard->simulateCopy({{Pasteboard::Type::String, "large " + QByteArray(3 * 1024 * 1024, 'L')}});
        QTRY_VERIFY(!out.lines().isEmpty());
        for (const QString& name : small) {
            pasteboard->simulateCopy({{Pasteboard::Type::String, smallCopy(name)}});
            QTRY_COMPARE(manager->fetchItems(std::nullopt, 0, false, std::nullopt).size(),
                         size_t(small.indexOf(name) + 3));
        }
        EXPECT_EQ(texts(store).size(), 2);
        // Space freed: room for the small copies, not for the large one.
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(db, "PRAGMA page_count", -1, &s, nullptr);
        sqlite3_step(s);
        limit = sqlite3_column_int64(s, 0) + 200;
        sqlite3_finalize(s);
        setLimit(db);
        QTRY_COMPARE_WITH_TIMEOUT(givenUp, 1, 60000);
        QStringList saved;
        for (const QString& text : texts(store))
            saved << text.left(text.startsWith('C') ? 2 : 6);
        EXPECT_EQ(saved, (QStringList{"C1", "C2", "C3", "before", "warm-u"}));
        QStringList alerts;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible() && !box->isModal())
                alerts << box->text();
        alerts.sort();
        ASSERT_EQ(alerts.size(), 2);
        EXPECT_TRUE(alerts[0].startsWith("A copy of 3.0 MB was not saved")) << qPrintable(alerts[0]);
        EXPECT_TRUE(alerts[1].contains("the disk is full")) << qPrintable(alerts[1]);
        const QStringList lines = out.lines();
        EXPECT_EQ(lines.filter("given up").size(), 1) << qPrintable(lines.join('|'));
        EXPECT_TRUE(lines.last().startsWith("Error saving context: an entry of 3145734 bytes was given up"));
        QTimer::singleShot(0, &delegate, &AppDelegate::terminateFromSignal);
        EXPECT_EQ(qApp->exec(), 0);
        for (QWidget* w : QApplication::topLevelWidgets())
            if (qobject_cast<QMessageBox*>(w))
                w->close();
    }
    AppDelegate relaunched(store);
    ASSERT_TRUE(relaunched.setUpApplication());
    EXPECT_EQ(relaunched.clipboardDataManager()->fetchItems(std::nullopt, 0, false, std::nullopt).size(), 5u);
}

// A relaunch on a nearly full disk whose WAL holds a large entry that the store cannot take in (an
// older version wrote it): the start succeeds, the history reads, copies are saved again, and the
// entry is given up with its alert. A real small file system: skipped where none can be mounted.
TEST_F(AppDelegateTest, ARelaunchOnANearlyFullDiskIsNotHeldFullByTheLogOfALargeEntry) {
    const QString disk = TestEnvironment::instance().freshDir(QStringLiteral("small-disk"));
    if (QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=24m", "tmpfs", disk}) != 0)
        GTEST_SKIP() << "no 24 MB file system can be mounted here";
    struct Unmount {
        QString dir;
        ~Unmount() { QProcess::execute("umount", {"-l", dir}); }
    } unmount{disk};
    const QString store = disk + "/Tindralume.sqlite";
    ASSERT_TRUE(ManagedObjectContext::open(store, nullptr));
    QFile filler(disk + "/filler");
    ASSERT_TRUE(filler.open(QIODevice::WriteOnly));
    ASSERT_TRUE(filler.resize(12 * 1024 * 1024));
    ASSERT_TRUE(filler.write(QByteArray(12 * 1024 * 1024, 'f')));
    ASSERT_TRUE(filler.flush());
    {
        sqlite3* db = nullptr;
        ASSERT_EQ(sqlite3_open(QFile::encodeName(store).constData(), &db), SQLITE_OK);
        const QByteArray insert = "INSERT INTO ClipboardItem (id, type, timestamp, isFavorite, preview, textContent) "
                                  "VALUES ('%1', 'text', %2, 0, '%1', '%1' || substr(printf('%.*c', %3, 'x'), 1, %3))";
        const QByteArray now = QByteArray::number(QDateTime::currentSecsSinceEpoch());
        for (const auto& [text, bytes] : {std::pair{"kept", 0}, std::pair{"large", 7 * 1024 * 1024}})
            ASSERT_EQ(sqlite3_exec(db,
                                   QByteArray(insert)
                                       .replace("%1", text)
                                       .replace("%2", now)
                                       .replace("%3", QByteArray::number(bytes))
                                       .constData(),
                                   nullptr, nullptr, nullptr),
                      SQLITE_OK);
        // Closing fails to copy the WAL into the store: the disk is full.
        sqlite3_close(db);
    }
    ASSERT_GT(QFileInfo(store + "-wal").size(), 7 * 1024 * 1024);
    ASSERT_TRUE(filler.resize(filler.size() - 1024 * 1024)); // nearly full
    QObject observer;
    int givenUp = 0;
    NotificationCenter::defaultCenter().addObserver(&observer, Notifications::historyEntryGivenUp,
                                                    [&givenUp](const Notification&) { ++givenUp; });
    AppDelegate delegate(store);
    ASSERT_TRUE(delegate.setUpApplication());
    QTRY_COMPARE(givenUp, 1);
    EXPECT_EQ(texts(store), QStringList{"kept"});
    pasteboard->simulateCopy({{Pasteboard::Type::String, "after"}});
    QTRY_COMPARE(texts(store), (QStringList{"after", "kept"}));
    for (QWidget* w : QApplication::topLevelWidgets())
        if (qobject_cast<QMessageBox*>(w))
            w->close();
}

TEST_F(AppDelegateTest, StoreThatCannotBeOpenedStopsStartUp) {
    const QByteArray garbage = QByteArray("this is not a database\n").repeated(200);
    const QString foreign = TestEnvironment::instance().freshDir(QStringLiteral("foreign")) + "/f.sqlite";
    {
        sqlite3* db = nullptr;
        sqlite3_open(QFile::encodeName(foreign).constData(), &db);
        sqlite3_exec(db, "CREATE TABLE accounts(name TEXT, balance REAL); INSERT INTO accounts VALUES('a', 1);",
                     nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    const QString newer = freshStore({{"from the future", 1, false}});
    {
        sqlite3* db = nullptr;
        sqlite3_open(QFile::encodeName(newer).constData(), &db);
        sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE); PRAGMA journal_mode=DELETE; PRAGMA user_version = 99;",
                     nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    // Random bytes over the item table's root page: the file still opens, every read of it fails.
    const QString damaged = freshStore({{"one", 1, false}, {"two", 1, false}});
    {
        sqlite3* db = nullptr;
        sqlite3_open(QFile::encodeName(damaged).constData(), &db);
        sqlite3_exec(db, "PRAGMA wal_checkpoint(TRUNCATE); PRAGMA journal_mode=DELETE;", nullptr, nullptr, nullptr);
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(db,
                           "SELECT rootpage, (SELECT page_size FROM pragma_page_size) FROM sqlite_master "
                           "WHERE name = 'ClipboardItem'",
                           -1, &s, nullptr);
        ASSERT_EQ(sqlite3_step(s), SQLITE_ROW);
        const qint64 root = sqlite3_column_int64(s, 0), pageSize = sqlite3_column_int64(s, 1);
        sqlite3_finalize(s);
        sqlite3_close(db);
        QFile file(damaged);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        QByteArray noise(pageSize, Qt::Uninitialized);
        QRandomGenerator random(18);
        for (char& c : noise)
            c = char(random.bounded(256));
        file.seek((root - 1) * pageSize);
        file.write(noise);
    }
    const struct {
        const char* what;
        QString path;
    } cases[] = {
        {"a damaged page", damaged},
        {"garbage",
         [&] {
             const QString p = TestEnvironment::instance().freshDir(QStringLiteral("garbage")) + "/Tindralume.sqlite";
             writeBytes(p, garbage);
             return p;
         }()},
        {"foreign database", foreign},
        {"newer schema", newer},
        {"a directory", TestEnvironment::instance().freshDir(QStringLiteral("dir-store"))},
        {"read-only",
         [] {
             const QString p = freshStore({{"kept", 1, false}});
             QFile::setPermissions(p, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
             return p;
         }()},
    };
    for (const auto& c : cases) {
        const QByteArray before = fileBytes(c.path);
        const QStringList dirBefore = QDir(QFileInfo(c.path).absolutePath()).entryList(QDir::Files);
        const QFile::Permissions modeBefore = QFileInfo(c.path).permissions();
        StdoutCapture out;
        AppDelegate delegate(c.path);
        ModalAnswerer answerer({});
        EXPECT_FALSE(delegate.setUpApplication()) << c.what;
        const QStringList lines = out.lines();
        ASSERT_EQ(lines.size(), 1) << c.what;
        EXPECT_TRUE(lines.first().startsWith(QStringLiteral("Unresolved error "))) << qPrintable(lines.first());
        EXPECT_GT(lines.first().size(), QStringLiteral("Unresolved error ").size() + 5) << c.what;
        // Someone who started it from a menu sees the same reason.
        ASSERT_EQ(answerer.seen.size(), 1u) << c.what;
        EXPECT_EQ(QStringLiteral("Unresolved error ") + answerer.seen[0].informativeText, lines.first()) << c.what;
        EXPECT_FALSE(delegate.clipboardMonitor()) << c.what;
        EXPECT_FALSE(delegate.clipboardDataManager()) << c.what;
        EXPECT_FALSE(delegate.panelController()) << c.what;
        EXPECT_FALSE(delegate.hotKeyManager()) << c.what;
        EXPECT_EQ(fileBytes(c.path), before) << c.what;
        EXPECT_EQ(QDir(QFileInfo(c.path).absolutePath()).entryList(QDir::Files), dirBefore) << c.what;
        EXPECT_EQ(QFileInfo(c.path).permissions(), modeBefore) << c.what;
        // Nothing was wired: asking to clear or to quit does no harm.
        NotificationCenter::defaultCenter().post(Notifications::clearClipboardHistory);
        EXPECT_EQ(delegate.terminateReply(), AppDelegate::TerminateNow);
    }
}

TEST_F(AppDelegateTest, TerminationAsksOnlyWhenSavingFails) {
    const QString store = freshStore({});
    AppDelegate delegate(store);
    ASSERT_TRUE(delegate.setUpApplication());
    ManagedObjectContext* context = delegate.persistentContainer();

    // Nothing pending: quit at once, no question.
    EXPECT_EQ(delegate.terminateReply(), AppDelegate::TerminateNow);

    // Pending and savable: saved, no question.
    pasteboard->simulateCopy({{Pasteboard::Type::String, "pending"}});
    delegate.clipboardMonitor()->checkClipboard();
    auto extra = context->insertClipboardItem();
    extra->setType(QStringLiteral("text"));
    extra->setTextContent(QStringLiteral("unsaved"));
    extra->setTimestamp(QDateTime::currentDateTime());
    ASSERT_TRUE(context->hasChanges());
    EXPECT_EQ(delegate.terminateReply(), AppDelegate::TerminateNow);
    EXPECT_FALSE(context->hasChanges());

    // Pending and not savable: the error, then the question; Cancel keeps running with the changes.
    auto blocked = context->insertClipboardItem();
    blocked->setType(QStringLiteral("text"));
    blocked->setTextContent(QStringLiteral("blocked"));
    blocked->setTimestamp(QDateTime::currentDateTime());
    WriteLock lock(store);
    ASSERT_TRUE(lock.locked());
    {
        ModalAnswerer answers({QStringLiteral("OK"), QStringLiteral("Cancel")});
        EXPECT_EQ(delegate.terminateReply(), AppDelegate::TerminateCancel);
        ASSERT_EQ(answers.seen.size(), 2u);
        EXPECT_EQ(answers.seen[1].text, QStringLiteral("Could not save changes while quitting. Quit anyway?"));
        EXPECT_EQ(answers.seen[1].informativeText,
                  QStringLiteral("Quitting now will lose any changes you have made since the last successful save"));
        EXPECT_EQ(answers.seen[1].buttons, (QStringList{QStringLiteral("Quit anyway"), QStringLiteral("Cancel")}));
    }
    EXPECT_TRUE(context->hasChanges());
    {
        ModalAnswerer answers({QStringLiteral("OK"), QStringLiteral("Quit anyway")});
        EXPECT_EQ(delegate.terminateReply(), AppDelegate::TerminateNow);
        EXPECT_EQ(answers.seen.size(), 2u);
    }
    lock.release();
    EXPECT_EQ(delegate.terminateReply(), AppDelegate::TerminateNow);
    EXPECT_TRUE(texts(store).contains(QStringLiteral("blocked")));
}

TEST_F(AppDelegateTest, ASignalSavesOnceAndAsksNothing) {
    const struct {
        const char* what;
        bool blocked;
        bool userQuitFirst; // the signal comes while the user is being asked about a failed save
        int status;
    } cases[] = {{"savable", false, false, 0}, {"blocked", true, false, 1}, {"while asking", true, true, 1}};
    for (const auto& c : cases) {
        const QString store = freshStore({});
        AppDelegate delegate(store);
        ASSERT_TRUE(delegate.setUpApplication());
        UnixSignalWatcher watcher({SIGTERM, SIGINT});
        ASSERT_TRUE(watcher.isValid());
        QObject::connect(&watcher, &UnixSignalWatcher::unixSignal, &delegate, &AppDelegate::terminateFromSignal);
        ManagedObjectContext* context = delegate.persistentContainer();
        auto item = context->insertClipboardItem();
        item->setType(QStringLiteral("text"));
        item->setTextContent(QStringLiteral("saved on the way out"));
        item->setTimestamp(QDateTime::currentDateTime());
        std::optional<WriteLock> lock;
        if (c.blocked) {
            ASSERT_TRUE(lock.emplace(store).locked());
        }
        StdoutCapture out;
        // Nobody answers: the signal is raised once a question is up, or at once.
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, qApp, [&] {
            if (!c.userQuitFirst || QApplication::activeModalWidget()) {
                poll.stop();
                ::raise(SIGTERM);
            }
        });
        poll.start(20);
        if (c.userQuitFirst)
            QTimer::singleShot(0, qApp, [] { QCoreApplication::quit(); });
        QTimer watchdog;
        watchdog.setSingleShot(true);
        QObject::connect(&watchdog, &QTimer::timeout, qApp, [] { QCoreApplication::exit(2); });
        watchdog.start(60000);
        const int rc = qApp->exec();
        const QStringList lines = out.lines();
        lock.reset();
        EXPECT_EQ(rc, c.status) << c.what;
        EXPECT_FALSE(delegate.clipboardMonitor()->timer) << c.what;
        ASSERT_EQ(lines.size(), c.blocked ? 1 : 0) << c.what << qPrintable(lines.join('|'));
        if (c.blocked) {
            EXPECT_TRUE(lines.first().startsWith(QStringLiteral("Error saving context: ")))
                << qPrintable(lines.first());
        }
        EXPECT_EQ(texts(store), c.blocked ? QStringList{} : QStringList{QStringLiteral("saved on the way out")});
        // Saved once: the shutdown that follows does not try again.
        delegate.tearDown();
        EXPECT_EQ(context->hasChanges(), c.blocked) << c.what;
    }
}

// A store whose check outlasts its time (each page read takes long): meanwhile a later launch and the
// hot key are answered, and a signal ends the start in order, the store left as it was; otherwise the
// start goes on once the check is stopped.
TEST_F(AppDelegateTest, WhileTheStoreIsCheckedTheStartStaysAnswering) {
    enum class Ask { LaterLaunch, HotKey, Signal };
    for (const Ask ask : {Ask::LaterLaunch, Ask::HotKey, Ask::Signal}) {
        SCOPED_TRACE(int(ask));
        const QString store = freshStore({{"kept", 1, false}});
        const QByteArray before = fileBytes(store);
        std::atomic<int> reads{0};
        QuickCheck::setReadHookForTesting([&reads] {
            ++reads;
            QThread::msleep(400);
        });
        AppDelegate delegate(store);
        // The panel then rises only when asked.
        delegate.setShowsPanelAfterLaunch(false);
        SingleInstance instance(store, QStringLiteral(":7"));
        ASSERT_EQ(instance.claim(), SingleInstance::Role::Running) << qPrintable(instance.errorString());
        delegate.answerLaterLaunches(instance);
        UnixSignalWatcher watcher({SIGTERM});
        QObject::connect(&watcher, &UnixSignalWatcher::unixSignal, &delegate, &AppDelegate::terminateFromSignal);

        std::atomic<int> laterRole{-1};
        std::thread later;
        bool startOverWhenAnswered = true;
        bool keyTaken = false;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, qApp, [&] {
            if (laterRole != -1) {
                startOverWhenAnswered = delegate.panelController() != nullptr;
                poll.stop();
            }
            if (reads == 0 || later.joinable())
                return;
            switch (ask) {
            case Ask::LaterLaunch:
                later = std::thread([&] {
                    SingleInstance other(store, QStringLiteral(":7"));
                    laterRole = int(other.claim(20000));
                });
                return;
            case Ask::HotKey:
                poll.stop();
                keyTaken = hotKeys->press(9, 768);
                startOverWhenAnswered = delegate.panelController() != nullptr;
                return;
            case Ask::Signal:
                poll.stop();
                ::raise(SIGTERM);
                return;
            }
        });
        poll.start(10);
        StdoutCapture out;
        ModalAnswerer answerer({});
        const bool started = delegate.setUpApplication();
        QuickCheck::setReadHookForTesting({});
        if (later.joinable())
            later.join();
        EXPECT_FALSE(out.lines().join('|').contains(QStringLiteral("Unresolved error")));
        EXPECT_TRUE(answerer.seen.empty());
        if (ask != Ask::Signal) {
            ASSERT_TRUE(started);
            if (ask == Ask::LaterLaunch)
                EXPECT_EQ(laterRole, int(SingleInstance::Role::HandedOver));
            else
                EXPECT_TRUE(keyTaken) << "the hot key was not registered while the store was checked";
            EXPECT_FALSE(startOverWhenAnswered);
            EXPECT_TRUE(delegate.panelController()->isVisible());
            EXPECT_TRUE(delegate.hotKeyManager());
            EXPECT_EQ(texts(store), QStringList{QStringLiteral("kept")});
        } else {
            EXPECT_FALSE(started);
            EXPECT_EQ(delegate.exitStatus(), 0);
            EXPECT_FALSE(delegate.panelController());
            EXPECT_FALSE(delegate.hotKeyManager());
            EXPECT_EQ(fileBytes(store), before);
            // The signal's exit ended no loop of the application's own: the next one would end at once.
            QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
            qApp->exec();
        }
    }
}

} // namespace
