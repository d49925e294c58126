// SPDX-License-Identifier: MIT
#include "update/AppcastFeed.h"
#include "update/UpdateManager.h"
#include "update/Updater.h"

#include "TestHTTPServer.h"
#include "platform/UserDefaults.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QThread>

#include <unistd.h>

#include <gtest/gtest.h>

namespace {

qint64 residentBytes() {
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    return statm.readAll().split(' ').value(1).toLongLong() * sysconf(_SC_PAGESIZE);
}

// What the user sees of an alert: every label's words, and whether any could be read as markup.
struct Shown {
    QString words;
    bool allPlain = true;
};
Shown shownIn(const QMessageBox* alert) {
    Shown shown;
    for (const QLabel* label : alert->findChildren<QLabel*>()) {
        shown.words += label->text() + u'\n';
        shown.allPlain = shown.allPlain && label->textFormat() == Qt::PlainText;
    }
    return shown;
}

QByteArray feed(const QByteArray& items) {
    return "<?xml version=\"1.0\"?><rss version=\"2.0\" xmlns:u=\"urn:x-updates\"><channel><title>t</title>" + items +
           "</channel></rss>";
}

TestHTTPServer::Response respond(int status, const QByteArray& body) {
    TestHTTPServer::Response response;
    response.status = status;
    response.body = body;
    return response;
}

class UpdateTest : public ::testing::Test {
protected:
    void SetUp() override {
        UserDefaults::setStandardPath(TestEnvironment::instance().freshDir(QStringLiteral("update")) + "/t.conf");
    }
    Updater::Configuration config(const QByteArray& path, int checkTimeoutMs = Updater::checkTimeoutMs) {
        return {path.isEmpty() ? QString() : QString::fromLatin1(server.url(path)), QStringLiteral("1.2.0"),
                checkTimeoutMs};
    }
    TestHTTPServer server;
};

} // namespace

TEST(AppcastFeed, VersionsCompareNumberByNumber) {
    const struct {
        const char* a;
        const char* b;
        int order;
    } cases[] = {{"1.10", "1.9", 1},
                 {"1.2", "1.2.0", 0},
                 {"2.0", "10.0", -1},
                 {"1.2.0", "1.2.0b1", 1},
                 {"1.2.1", "1.2", 1},
                 {" 3.0 ", "3", 0},
                 {"1.a", "1.b", -1},
                 {"1.2b2", "1.2b10", -1},
                 {"1.a", "1.0", -1},
                 {"1a5", "1a", 1},
                 {"1.", "1", -1},
                 {"007", "7", 0},
                 {"100000000000000000000", "99999999999999999999", 1}};
    for (const auto& c : cases) {
        EXPECT_EQ(AppcastFeed::compareVersions(c.a, c.b), c.order) << c.a << " vs " << c.b;
        EXPECT_EQ(AppcastFeed::compareVersions(c.b, c.a), -c.order) << c.b << " vs " << c.a;
    }
    // Long versions are compared whole, without running out of memory or stack.
    const QString longVersion = QStringLiteral("1a").repeated(200000);
    EXPECT_EQ(AppcastFeed::compareVersions(longVersion, longVersion), 0);
    EXPECT_EQ(AppcastFeed::compareVersions(longVersion + QLatin1Char('1'), longVersion), 1);
    EXPECT_EQ(AppcastFeed::compareVersions(longVersion, longVersion + QLatin1Char('b')), -1);
}

TEST(AppcastFeed, TheNewestItemWithAWebLinkWins) {
    const QByteArray longest(64, '1');
    const struct {
        QByteArray xml;
        const char* version; // "" when the feed must be refused
        const char* link;
    } cases[] = {
        {feed("<item><version>1.3.0</version><link>https://example.org/a</link></item>"
              "<item><version>1.10.0</version><link>https://example.org/b</link></item>"
              "<item><version>1.4</version><link>https://example.org/c</link></item>"),
         "1.10.0", "https://example.org/b"},
        // Version as a namespaced attribute of the enclosure, link from its url.
        {feed("<item><enclosure u:version=\"2.0\" url=\"http://example.org/d.tar\"/></item>"), "2.0",
         "http://example.org/d.tar"},
        {feed("<item><u:shortVersionString>2.1</u:shortVersionString><link>https://example.org/e</link></item>"), "2.1",
         "https://example.org/e"},
        // A link that is no web page is never offered.
        {feed("<item><version>9.0</version><link>javascript:alert(1)</link></item>"
              "<item><version>3.0</version><link>file:///etc/passwd</link></item>"),
         "", ""},
        {feed("<item><version>9.0</version><link>javascript://example.org/%0Aalert(1)</link></item>"
              "<item><version>8.0</version><link>file://example.org/etc/passwd</link></item>"
              "<item><version>7.0</version><link>ftp://example.org/t.tar</link></item>"
              "<item><version>1.0</version><link>https://example.org/j</link></item>"),
         "1.0", "https://example.org/j"},
        {feed(""), "", ""},
        {"<html><body>not a feed</body></html>", "", ""},
        {feed("<item><version>1.0</version>"), "", ""},
        // A version in any other form than digits, letters, dots, + and - refuses the whole feed.
        {feed("<item><version>99&lt;img src=/dev/zero&gt;</version><link>https://example.org/f</link></item>"
              "<item><version>1.0</version><link>https://example.org/g</link></item>"),
         "", ""},
        {feed("<item><version>" + longest + "1</version><link>https://example.org/h</link></item>"), "", ""},
        {feed("<item><version>" + longest + "</version><link>https://example.org/k</link></item>"), longest.constData(),
         "https://example.org/k"},
        {feed("<item><version>2.0+build-7.rc1</version><link>https://example.org/i</link></item>"), "2.0+build-7.rc1",
         "https://example.org/i"},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        QString error;
        const std::optional<AppcastFeed::Item> item = AppcastFeed::newestItem(c.xml, &error);
        if (*c.version) {
            ASSERT_TRUE(item) << c.xml.constData() << " " << error.toStdString();
            EXPECT_EQ(item->version, QLatin1String(c.version));
            EXPECT_EQ(item->downloadPage.toString(), QLatin1String(c.link));
        } else {
            EXPECT_FALSE(item) << c.xml.constData();
            EXPECT_FALSE(error.isEmpty()) << c.xml.constData();
        }
    }
}

TEST_F(UpdateTest, ChecksReportNewerSameAndBrokenFeeds) {
    server.route("/newer",
                 respond(200, feed("<item><version>1.3.0</version><link>https://example.org/dl</link></item>")));
    server.route("/same", respond(200, feed("<item><version>1.2</version><link>https://example.org/dl</link></item>")));
    server.route("/broken", respond(200, "<rss><channel><item><version>2"));
    server.route("/missing", respond(404, "gone"));
    TestHTTPServer::Response huge;
    huge.streamBytes = Updater::maxFeedBytes + 4096;
    server.route("/huge", huge);
    // Never silent for long, never done: only the deadline of the whole check ends it.
    TestHTTPServer::Response trickle = respond(200, feed("<item><version>9.0</version></item>"));
    trickle.byteIntervalMs = 200;
    server.route("/trickle", trickle);
    TestHTTPServer::Response elsewhere = respond(302, "");
    elsewhere.headers = {{"Location", "file:///etc/passwd"}};
    server.route("/elsewhere", elsewhere);
    TestHTTPServer::Response viaRedirect = respond(302, "");
    viaRedirect.headers = {{"Location", "/trickle"}};
    server.route("/redirected-trickle", viaRedirect);

    const struct {
        QByteArray path;
        UpdateCheckResult::Kind kind;
        const char* errorPart;
        int checkTimeoutMs = Updater::checkTimeoutMs;
    } cases[] = {{"/newer", UpdateCheckResult::UpdateAvailable, ""},
                 {"/same", UpdateCheckResult::UpToDate, ""},
                 {"/broken", UpdateCheckResult::Failed, "not valid XML"},
                 {"/missing", UpdateCheckResult::Failed, "404"},
                 {"/huge", UpdateCheckResult::Failed, "larger than"},
                 {"/trickle", UpdateCheckResult::Failed, "within 2 seconds", 1500},
                 {"/redirected-trickle", UpdateCheckResult::Failed, "within 2 seconds", 1500},
                 {"/elsewhere", UpdateCheckResult::Failed, "not http or https"},
                 {"", UpdateCheckResult::NotConfigured, ""}};
    for (const auto& c : cases) {
        UpdateManager manager(config(c.path, c.checkTimeoutMs));
        EXPECT_FALSE(manager.canCheckForUpdates());
        manager.start(); // an absent feed is no start failure
        EXPECT_FALSE(manager.currentAlert()) << c.path.constData();
        QTRY_VERIFY(manager.canCheckForUpdates());

        std::vector<std::pair<bool, bool>> changes; // value, on the main thread
        QObject::connect(&manager, &UpdateManager::canCheckForUpdatesChanged, &manager,
                         [&](bool value) { changes.emplace_back(value, QThread::currentThread() == qApp->thread()); });
        std::optional<UpdateCheckResult> result;
        QObject::connect(manager.controller(), &Updater::userInitiatedCheckFinished, &manager,
                         [&](const UpdateCheckResult& r) { result = r; });
        manager.controller()->checkForUpdates();
        QTRY_VERIFY_WITH_TIMEOUT(result.has_value(), 15000);
        QTRY_VERIFY(manager.canCheckForUpdates());
        EXPECT_EQ(result->kind, c.kind) << c.path.constData() << " " << result->error.toStdString();
        EXPECT_TRUE(result->error.contains(QLatin1String(c.errorPart))) << result->error.toStdString();
        if (c.kind == UpdateCheckResult::UpdateAvailable) {
            EXPECT_EQ(result->latestVersion, QLatin1String("1.3.0"));
            EXPECT_EQ(result->downloadPage, QUrl(QStringLiteral("https://example.org/dl")));
        }
        const std::vector<std::pair<bool, bool>> expected{{false, true}, {true, true}};
        EXPECT_EQ(changes, expected) << c.path.constData();
        // The result is shown to the user; a missing feed is said plainly, not as an error.
        QTRY_VERIFY(manager.currentAlert() && manager.currentAlert()->isVisible());
        EXPECT_EQ(manager.currentAlert()->text().contains(QLatin1String("Error")), c.kind == UpdateCheckResult::Failed);
        if (c.kind == UpdateCheckResult::NotConfigured) {
            EXPECT_EQ(manager.currentAlert()->text(), QLatin1String("No update feed is configured."));
        }
        manager.currentAlert()->close();
    }
}

// Markup in what a feed or the network says is shown as written: no image is loaded from where it
// points (/dev/zero would be read until memory runs out) and no link is offered. A feed naming
// such a version, or one costing memory with its length, is refused before anything is compared.
TEST_F(UpdateTest, HostileVersionsAreRefusedAndOutsideTextIsShownAsWritten) {
    const QString hostile[] = {QStringLiteral("99<img src=/dev/zero>"),
                               QStringLiteral("99<a href=\"file:///etc/passwd\">click</a>"),
                               QStringLiteral("1a").repeated(20000)};
    const qint64 before = residentBytes();
    for (const QString& version : hostile) {
        const QByteArray item = "<item><version>" + version.toHtmlEscaped().toUtf8() +
                                "</version><link>https://example.org/dl</link></item>";
        server.route("/hostile", respond(200, feed(item + item)));
        UpdateManager manager(config("/hostile"));
        manager.start();
        QTRY_VERIFY(manager.canCheckForUpdates());
        manager.controller()->checkForUpdates();
        QTRY_VERIFY_WITH_TIMEOUT(manager.currentAlert() && manager.currentAlert()->isVisible(), 15000);
        EXPECT_TRUE(manager.currentAlert()->informativeText().contains(QLatin1String("not a plain version")));
        EXPECT_TRUE(shownIn(manager.currentAlert()).allPlain);
        manager.currentAlert()->close();

        // Were such a version or error to reach an alert, it is still only words.
        for (const auto kind : {UpdateCheckResult::UpdateAvailable, UpdateCheckResult::Failed}) {
            UpdateCheckResult result;
            result.kind = kind;
            result.currentVersion = QStringLiteral("1.2.0");
            result.latestVersion = version;
            result.error = version;
            Q_EMIT manager.controller()->userInitiatedCheckFinished(result);
            QTRY_VERIFY(manager.currentAlert() && manager.currentAlert()->isVisible());
            const Shown shown = shownIn(manager.currentAlert());
            EXPECT_TRUE(shown.allPlain);
            EXPECT_TRUE(shown.words.contains(version)) << shown.words.left(200).toStdString();
            manager.currentAlert()->close();
        }
    }
    EXPECT_LT(residentBytes() - before, 256LL << 20);
}

TEST_F(UpdateTest, AnInvalidFeedAddressFailsTheStartOnce) {
    for (const char* address : {"ftp://example.org/feed.xml", "no address", "http://"}) {
        UpdateManager manager(Updater::Configuration{QString::fromLatin1(address), QStringLiteral("1.0")});
        manager.start();
        ASSERT_TRUE(manager.currentAlert()) << address;
        EXPECT_TRUE(manager.currentAlert()->text().contains(QLatin1String(address))) << address;
        // Both waits give a start that must not happen the time to show.
        QTest::qWait(50);
        EXPECT_FALSE(manager.canCheckForUpdates());
        manager.controller()->checkForUpdates(); // does nothing without a running updater
        QTest::qWait(50);
        EXPECT_FALSE(manager.canCheckForUpdates());
        manager.currentAlert()->close();
    }
}

TEST_F(UpdateTest, AutomaticChecksArePersistedMirroredAndRunWhenDue) {
    server.route("/feed", respond(200, feed("<item><version>7.0</version><link>https://example.org/dl</link></item>")));
    {
        UpdateManager manager(config("/feed"));
        manager.start();
        EXPECT_FALSE(manager.automaticallyChecksForUpdates());
        manager.controller()->setAutomaticallyChecksForUpdates(true);
        // Mirrored through the updater's report, not set directly.
        EXPECT_FALSE(manager.automaticallyChecksForUpdates());
        QTRY_VERIFY(manager.automaticallyChecksForUpdates());
        // Never checked before: the first check runs now and offers the newer version.
        QTRY_VERIFY_WITH_TIMEOUT(manager.currentAlert() && manager.currentAlert()->isVisible(), 15000);
        EXPECT_TRUE(manager.currentAlert()->informativeText().contains(QLatin1String("7.0")));
        EXPECT_EQ(server.requestsFor("/feed").size(), 1);
        manager.currentAlert()->close();
    }
    // The next start finds the check done today: nothing is fetched.
    UpdateManager again(config("/feed"));
    EXPECT_TRUE(again.automaticallyChecksForUpdates());
    again.start();
    QTest::qWait(300); // time for a check that must not run
    EXPECT_EQ(server.requestsFor("/feed").size(), 1);
    again.controller()->setAutomaticallyChecksForUpdates(false);
    QTRY_VERIFY(!again.automaticallyChecksForUpdates());
    EXPECT_FALSE(UserDefaults::standard().boolean(Updater::automaticChecksKey));
}
