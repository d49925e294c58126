// SPDX-License-Identifier: MIT
#include "linkpreview/AddressPolicy.h"
#include "linkpreview/BoundedHTTPDataLoader.h"

#include "PrintQt.h"
#include "TestHTTPServer.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslKey>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

struct Outcome {
    int calls = 0;
    std::optional<QByteArray> body;
    std::optional<HTTPURLResponse> response;
    std::optional<LoadError> error;
};

struct LoadOptions {
    qint64 maximumBytes = 1000;
    bool allowsTruncatedData = true;
    BoundedHTTPDataLoader::Validator validator = [](const HTTPURLResponse&) { return true; };
    int idleMs = 5000;
    int totalMs = 20000;
    int maxRedirects = 10;
    BoundedHTTPDataLoader::AddressCheck isForbiddenAddress;
};

std::shared_ptr<Outcome> load(const QByteArray& url, LoadOptions options = {}) {
    auto outcome = std::make_shared<Outcome>();
    auto* loader =
        new BoundedHTTPDataLoader(options.maximumBytes, options.allowsTruncatedData, options.validator,
                                  [outcome](std::optional<QByteArray> body, std::optional<HTTPURLResponse> response,
                                            std::optional<LoadError> error) {
                                      ++outcome->calls;
                                      outcome->body = std::move(body);
                                      outcome->response = std::move(response);
                                      outcome->error = std::move(error);
                                  });
    HTTPRequest request;
    request.url = QUrl(QString::fromUtf8(url));
    request.timeoutMs = options.idleMs;
    BoundedHTTPDataLoader::Limits limits;
    limits.totalTimeoutMs = options.totalMs;
    limits.maxRedirects = options.maxRedirects;
    limits.isForbiddenAddress = options.isForbiddenAddress;
    loader->start(request, limits);
    EXPECT_TRUE(QTest::qWaitFor([&] { return outcome->calls > 0; }, 30000)) << url.toStdString();
    // Late reports of the cancelled task must not reach the owner again.
    QTest::qWait(100);
    EXPECT_EQ(outcome->calls, 1);
    return outcome;
}

QByteArray pattern(qsizetype size) {
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char('a' + i % 26);
    return bytes;
}

TestHTTPServer::Response ok(const QByteArray& body, const QByteArray& type = "text/html") {
    TestHTTPServer::Response response;
    response.body = body;
    response.headers = {{"Content-Type", type}};
    return response;
}

} // namespace

TEST(BoundedHTTPDataLoader, KeepsAtMostTheLimitAndStopsTheTransfer) {
    TestHTTPServer server;
    TestHTTPServer::Response endless;
    endless.headers = {{"Content-Type", "text/html"}};
    endless.streamBytes = 20 * 1000 * 1000;
    server.route("/endless", endless);
    server.route("/three", ok(pattern(3 * 1048576)));

    LoadOptions options;
    options.maximumBytes = 1048576;
    auto streamed = load(server.url("/endless"), options);
    ASSERT_TRUE(streamed->body.has_value());
    EXPECT_EQ(streamed->body->size(), 1048576);
    EXPECT_EQ(streamed->body->count('x'), 1048576);
    EXPECT_FALSE(streamed->error.has_value());
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.log().value(0).closedByPeer; }, 10000));
    // What the kernel buffers for a reader that stopped is all that goes beyond the limit.
    EXPECT_LT(server.log().value(0).bodyBytesSent, 8 * 1048576);

    auto withLength = load(server.url("/three"), options);
    ASSERT_TRUE(withLength->body.has_value());
    EXPECT_EQ(*withLength->body, pattern(3 * 1048576).left(1048576));
    ASSERT_TRUE(withLength->response.has_value());
    EXPECT_EQ(withLength->response->expectedContentLength, 3 * 1048576);
}

TEST(BoundedHTTPDataLoader, ExactLimitCountsAsReachingIt) {
    TestHTTPServer server;
    auto unannounced = [](qsizetype size) {
        TestHTTPServer::Response response = ok(pattern(size), "image/png");
        response.announceLength = false;
        return response;
    };
    server.route("/exact", unannounced(1000));
    server.route("/less", unannounced(999));
    server.route("/straddle", [](const TestHTTPServer::Request&) {
        TestHTTPServer::Response response = ok(pattern(1500));
        response.splitBodyAt = {600, 1200};
        return response;
    });

    struct Case {
        const char* path;
        bool truncation;
        std::optional<QByteArray> body;
    };
    const Case cases[] = {
        {"/exact", false, std::nullopt},    {"/exact", true, pattern(1000)},    {"/less", false, pattern(999)},
        {"/straddle", true, pattern(1000)}, {"/straddle", false, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.path) + (c.truncation ? " truncation" : " whole only"));
        LoadOptions options;
        options.allowsTruncatedData = c.truncation;
        auto outcome = load(server.url(c.path), options);
        EXPECT_EQ(outcome->body, c.body);
        EXPECT_TRUE(outcome->response.has_value());
        EXPECT_FALSE(outcome->error.has_value());
    }
}

TEST(BoundedHTTPDataLoader, HeadIsJudgedBeforeAnyBody) {
    TestHTTPServer server;
    TestHTTPServer::Response huge;
    huge.headers = {{"Content-Type", "image/png"}};
    huge.announcedLength = 9000000;
    huge.streamBytes = 9000000;
    server.route("/huge", huge);
    TestHTTPServer::Response json = huge;
    json.headers = {{"Content-Type", "application/json"}};
    json.announcedLength = -1;
    server.route("/json", json);

    LoadOptions options;
    options.maximumBytes = 8388608;
    options.allowsTruncatedData = false;
    auto announced = load(server.url("/huge"), options);
    EXPECT_FALSE(announced->body.has_value());
    ASSERT_TRUE(announced->response.has_value());
    EXPECT_EQ(announced->response->expectedContentLength, 9000000);
    EXPECT_FALSE(announced->error.has_value());

    options.validator = [](const HTTPURLResponse& r) { return r.mimeType.startsWith(u"image/"); };
    auto rejected = load(server.url("/json"), options);
    EXPECT_FALSE(rejected->body.has_value());
    ASSERT_TRUE(rejected->response.has_value());
    EXPECT_EQ(rejected->response->mimeType, QStringLiteral("application/json"));
    EXPECT_FALSE(rejected->error.has_value());

    ASSERT_TRUE(QTest::qWaitFor([&] { return server.log().size() == 2 && server.log()[1].closedByPeer; }, 10000));
    for (const auto& entry : server.log()) {
        EXPECT_TRUE(entry.closedByPeer);
        EXPECT_LT(entry.bodyBytesSent, 9000000);
    }
}

TEST(BoundedHTTPDataLoader, StatusesAreNotTransportErrors) {
    TestHTTPServer server;
    for (int status : {400, 401, 403, 404, 410, 429, 500, 503}) {
        SCOPED_TRACE(status);
        TestHTTPServer::Response answer = ok("status page");
        answer.status = status;
        const QByteArray path = "/status/" + QByteArray::number(status);
        server.route(path, answer);
        auto outcome = load(server.url(path));
        EXPECT_EQ(outcome->body, QByteArray("status page"));
        ASSERT_TRUE(outcome->response.has_value());
        EXPECT_EQ(outcome->response->statusCode, status);
        EXPECT_FALSE(outcome->error.has_value());
    }
}

TEST(BoundedHTTPDataLoader, TransportFailuresAndTimeOuts) {
    TestHTTPServer server;
    TestHTTPServer::Response stall;
    stall.headers = {{"Content-Type", "text/html"}};
    stall.announcedLength = 5000;
    stall.stallAfterHead = true;
    server.route("/stall", stall);

    LoadOptions idle;
    idle.idleMs = 300;
    auto idled = load(server.url("/stall"), idle);
    ASSERT_TRUE(idled->error.has_value());
    EXPECT_EQ(idled->error->code, LoadError::TimedOut);
    EXPECT_EQ(idled->error->localizedDescription, QStringLiteral("The request timed out."));
    EXPECT_TRUE(idled->response.has_value());
    EXPECT_FALSE(idled->body.has_value());

    LoadOptions total;
    total.totalMs = 300;
    auto capped = load(server.url("/stall"), total);
    ASSERT_TRUE(capped->error.has_value());
    EXPECT_EQ(capped->error->code, LoadError::TimedOut);

    quint16 closedPort = 0;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        closedPort = probe.serverPort();
    }
    auto refused = load("http://127.0.0.1:" + QByteArray::number(closedPort) + "/");
    ASSERT_TRUE(refused->error.has_value());
    EXPECT_EQ(refused->error->code, LoadError::Network);
    EXPECT_FALSE(refused->error->localizedDescription.isEmpty());
    EXPECT_FALSE(refused->response.has_value());
    EXPECT_FALSE(refused->body.has_value());
}

TEST(BoundedHTTPDataLoader, NonHTTPIsNeitherReadNorAnError) {
    const QString path = TestEnvironment::instance().freshDir(QStringLiteral("loader")) + QStringLiteral("/secret");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("secret");
    file.close();
    auto outcome = load(QUrl::fromLocalFile(path).toEncoded());
    EXPECT_FALSE(outcome->body.has_value());
    EXPECT_FALSE(outcome->response.has_value());
    EXPECT_FALSE(outcome->error.has_value());
}

TEST(BoundedHTTPDataLoader, CompressedBodiesCountDecompressedBytes) {
    TestHTTPServer server;
    const QByteArray page = pattern(3 * 1048576);
    TestHTTPServer::Response deflated = ok(qCompress(page, 9).mid(4)); // zlib stream without Qt's size prefix
    deflated.headers.append(qMakePair(QByteArray("Content-Encoding"), QByteArray("deflate")));
    server.route("/deflated", deflated);
    LoadOptions options;
    options.maximumBytes = 1048576;
    auto outcome = load(server.url("/deflated"), options);
    ASSERT_TRUE(outcome->body.has_value());
    EXPECT_EQ(*outcome->body, page.left(1048576));
    EXPECT_TRUE(server.log().value(0).request.header("accept-encoding").contains("deflate"));

    // A small body that inflates without end is refused by the decompressor's ratio check: a
    // failed load, not a page.
    const QByteArray bomb = qCompress(QByteArray(64 * 1048576, '\0'), 9).mid(4);
    ASSERT_LT(bomb.size(), 1048576);
    TestHTTPServer::Response inflating = ok(bomb);
    inflating.headers.append(qMakePair(QByteArray("Content-Encoding"), QByteArray("deflate")));
    server.route("/bomb", inflating);
    auto refused = load(server.url("/bomb"), options);
    EXPECT_FALSE(refused->body.has_value());
    EXPECT_TRUE(refused->error.has_value());
}

// Only the decision is tested against link-local and metadata addresses; no test sends a packet
// anywhere but to loopback.
TEST(AddressPolicy, LinkLocalAndMetadataAddressesAndNames) {
    const std::pair<const char*, bool> addresses[] = {
        {"169.254.169.254", true},
        {"169.254.0.1", true},
        {"fe80::1", true},
        {"febf::1", true},
        {"::ffff:169.254.169.254", true},
        {"64:ff9b::a9fe:a9fe", true},
        {"::169.254.169.254", true},
        {"::a9fe:1", true},
        {"::100.100.100.200", true},
        {"::", false},
        {"::10.1.2.3", false},
        {"fd00:ec2::254", true},
        {"100.100.100.200", true},
        {"127.0.0.1", false},
        {"::1", false},
        {"10.1.2.3", false},
        {"172.16.0.1", false},
        {"192.168.1.1", false},
        {"100.100.100.100", false},
        {"fd00::1", false},
        {"fec0::1", false},
        {"169.253.255.255", false},
    };
    for (const auto& [address, forbidden] : addresses) {
        SCOPED_TRACE(address);
        EXPECT_EQ(AddressPolicy::isForbiddenAddress(QHostAddress(QString::fromUtf8(address))), forbidden);
    }
    for (const char* name : {"metadata.google.internal", "METADATA.Google.Internal.", "metadata.goog"})
        EXPECT_TRUE(AddressPolicy::isForbiddenHostName(QString::fromUtf8(name))) << name;
    for (const char* name : {"localhost", "intranet.local", "google.internal", "metadata.google.internal.example"})
        EXPECT_FALSE(AddressPolicy::isForbiddenHostName(QString::fromUtf8(name))) << name;
}

TEST(BoundedHTTPDataLoader, RedirectTargets) {
    const QUrl page(QStringLiteral("https://a.test/dir/page"));
    const std::pair<const char*, const char*> cases[] = {
        {"http://b.test/plain", "http://b.test/plain"}, // from https to http is followed
        {"/root", "https://a.test/root"},
        {"next", "https://a.test/dir/next"},
        {"//cdn.test/p", "https://cdn.test/p"},
        {"ftp://b.test/file", nullptr},
        {"file:///etc/passwd", nullptr},
        {"http:///nohost", nullptr},
    };
    for (const auto& [location, expected] : cases) {
        SCOPED_TRACE(location);
        const auto target = BoundedHTTPDataLoader::redirectTarget(page, location);
        EXPECT_EQ(target ? std::optional<QString>(target->toString()) : std::nullopt,
                  expected ? std::optional<QString>(QString::fromUtf8(expected)) : std::nullopt);
    }
}

// A chain of exactly the limit is followed to its end; one redirect more ends the load.
TEST(BoundedHTTPDataLoader, RedirectsAreFollowedUpToTheLimit) {
    TestHTTPServer server;
    server.route("/hop0", ok("end"));
    for (int n = 1; n <= 3; ++n) {
        TestHTTPServer::Response hop;
        hop.status = 302;
        hop.headers = {{"Location", "/hop" + QByteArray::number(n - 1)}};
        server.route("/hop" + QByteArray::number(n), hop);
    }
    LoadOptions two;
    two.maxRedirects = 2;
    auto within = load(server.url("/hop2"), two);
    EXPECT_EQ(within->body, QByteArray("end"));
    EXPECT_FALSE(within->error.has_value());
    auto beyond = load(server.url("/hop3"), two);
    ASSERT_TRUE(beyond->error.has_value());
    EXPECT_EQ(beyond->error->code, LoadError::Network);
    EXPECT_EQ(server.requestsFor("/hop0").size(), 1); // reached by the first chain only
}

TEST(BoundedHTTPDataLoader, AddressesAreCheckedAfterResolutionAndOnEveryRedirect) {
    TestHTTPServer server;
    server.route("/page", ok("<title>page</title>"));
    TestHTTPServer::Response away;
    away.status = 302;
    away.headers = {{"Location", "http://127.0.0.2:" + QByteArray::number(server.port()) + "/page"}};
    server.route("/away", away);
    const QByteArray byName = "http://localhost:" + QByteArray::number(server.port()) + "/page";

    // A name is resolved and its address checked: the connection goes to the address checked.
    auto checked = std::make_shared<QList<QHostAddress>>();
    LoadOptions recording;
    recording.isForbiddenAddress = [checked](const QHostAddress& address) {
        checked->append(address);
        return false;
    };
    auto allowed = load(byName, recording);
    ASSERT_TRUE(allowed->body.has_value());
    EXPECT_EQ(*allowed->body, QByteArray("<title>page</title>"));
    EXPECT_TRUE(checked->contains(QHostAddress(QHostAddress::LocalHost)));
    EXPECT_EQ(server.requestsFor("/page").value(0).request.header("host"),
              "localhost:" + QByteArray::number(server.port()));

    LoadOptions noLoopback;
    noLoopback.isForbiddenAddress = [](const QHostAddress& address) { return address.isLoopback(); };
    const auto before = server.log().size();
    auto refusedName = load(byName, noLoopback);
    ASSERT_TRUE(refusedName->error.has_value());
    EXPECT_EQ(refusedName->error->code, LoadError::Refused);
    EXPECT_FALSE(refusedName->body.has_value());
    EXPECT_EQ(server.log().size(), before);

    // The redirect's target is checked too, before any connection to it.
    LoadOptions noSecondLoopback;
    noSecondLoopback.isForbiddenAddress = [](const QHostAddress& address) {
        return address == QHostAddress(QStringLiteral("127.0.0.2"));
    };
    auto refusedRedirect = load(server.url("/away"), noSecondLoopback);
    ASSERT_TRUE(refusedRedirect->error.has_value());
    EXPECT_EQ(refusedRedirect->error->code, LoadError::Refused);
    EXPECT_EQ(server.requestsFor("/away").size(), 1);
    EXPECT_EQ(server.requestsFor("/page").size(), 1);
}

TEST(BoundedHTTPDataLoader, HTTPSToThePinnedAddressIsVerifiedAgainstTheLinkedName) {
    const QString dir = QStringLiteral(TINDRALUME_TEST_DATA "/tls/");
    const auto certificates = QSslCertificate::fromPath(dir + QStringLiteral("localhost.pem"));
    ASSERT_EQ(certificates.size(), 1);
    QFile keyFile(dir + QStringLiteral("localhost.key"));
    ASSERT_TRUE(keyFile.open(QIODevice::ReadOnly));
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificate(certificates.first());
    tls.setPrivateKey(QSslKey(keyFile.readAll(), QSsl::Rsa));
    // The client trusts the test certificate for the name "localhost" only.
    QSslConfiguration client = QSslConfiguration::defaultConfiguration();
    client.addCaCertificates(certificates);
    QSslConfiguration::setDefaultConfiguration(client);

    TestHTTPServer secure(tls);
    TestHTTPServer plain;
    secure.route("/page", ok("<title>secure</title>"));
    TestHTTPServer::Response down;
    down.status = 302;
    down.headers = {{"Location", plain.url("/plain")}};
    secure.route("/down", down);
    plain.route("/plain", ok("<title>plain</title>"));

    // Connected to 127.0.0.1, the certificate checked for (and the server told) "localhost".
    auto page = load(secure.url("/page"));
    ASSERT_TRUE(page->body.has_value()) << (page->error ? page->error->localizedDescription.toStdString() : "");
    EXPECT_EQ(*page->body, QByteArray("<title>secure</title>"));
    // From https to http: followed.
    auto downgraded = load(secure.url("/down"));
    ASSERT_TRUE(downgraded->body.has_value());
    EXPECT_EQ(*downgraded->body, QByteArray("<title>plain</title>"));
    // The certificate does not name 127.0.0.1: verification is not given up for the pinning.
    auto wrongName = load("https://127.0.0.1:" + QByteArray::number(secure.port()) + "/page");
    EXPECT_TRUE(wrongName->error.has_value());
    EXPECT_FALSE(wrongName->body.has_value());
}
