// SPDX-License-Identifier: MIT
#include "linkpreview/URLPreviewService.h"

#include "PrintQt.h"
#include "TestHTTPServer.h"
#include "platform/Dispatch.h"
#include "platform/ImageUtils.h"
#include "support/StdoutCapture.h"

#include <QBuffer>
#include <QImage>
#include <QRandomGenerator>
#include <QStringEncoder>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

struct Fetch {
    int calls = 0;
    bool onMainThread = true;
    bool calledSynchronously = false;
    bool returned = false;
    std::optional<URLPreview> preview;
};

URLPreviewService::Timing quickTiming() {
    URLPreviewService::Timing timing;
    timing.requestTimeoutMs = 500;
    timing.resourceTimeoutMs = 5000;
    return timing; // the retry delay stays the real 0.8 s
}

std::shared_ptr<Fetch> startFetch(URLPreviewService& service, const QString& link) {
    auto fetch = std::make_shared<Fetch>();
    service.fetchPreview(link, [fetch](std::optional<URLPreview> preview) {
        ++fetch->calls;
        fetch->onMainThread = fetch->onMainThread && Dispatch::isMainThread();
        fetch->calledSynchronously = fetch->calledSynchronously || !fetch->returned;
        fetch->preview = std::move(preview);
    });
    fetch->returned = true;
    return fetch;
}

std::shared_ptr<Fetch> fetchPreview(URLPreviewService& service, const QString& link) {
    auto fetch = startFetch(service, link);
    EXPECT_TRUE(QTest::qWaitFor([&] { return fetch->calls > 0; }, 30000)) << link.toStdString();
    QTest::qWait(50); // a second report would come within this
    EXPECT_EQ(fetch->calls, 1);
    EXPECT_TRUE(fetch->onMainThread);
    EXPECT_FALSE(fetch->calledSynchronously);
    return fetch;
}

QByteArray png(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    return ImageUtils::pngData(image).value_or(QByteArray());
}

TestHTTPServer::Response html(const QByteArray& body, const QByteArray& type = "text/html; charset=utf-8") {
    TestHTTPServer::Response response;
    response.body = body;
    response.headers = {{"Content-Type", type}};
    return response;
}

TestHTTPServer::Response image(const QByteArray& body, const QByteArray& type = "image/png") {
    return html(body, type);
}

TestHTTPServer::Response status(int code) {
    TestHTTPServer::Response response = html("<title>error page</title>");
    response.status = code;
    return response;
}

QByteArray page(const QByteArray& title, const QByteArray& description, const QByteArray& imagePath) {
    QByteArray head = "<html><head>";
    if (!title.isEmpty())
        head += "<meta property=\"og:title\" content=\"" + title + "\">";
    if (!description.isEmpty())
        head += "<meta name=\"description\" content=\"" + description + "\">";
    if (!imagePath.isEmpty())
        head += "<meta property=\"og:image\" content=\"" + imagePath + "\">";
    return head + "</head><body>text</body></html>";
}

QStringList linesContaining(const QStringList& lines, const QString& part) {
    QStringList found;
    for (const QString& line : lines) {
        if (line.contains(part))
            found.append(line);
    }
    return found;
}

} // namespace

TEST(URLPreviewService, QualifiesLinks) {
    const std::pair<const char*, bool> cases[] = {
        {"https://example.com", true},
        {"  https://example.com/page.html \n", true},
        {"HTTPS://EXAMPLE.COM/", true},
        {"http://example.com/a/b?c=d", true},
        {"ftp://example.com/", false},
        {"example.com", false},
        {"mailto:someone@example.com", false},
        {"https:example.com", false},
        {"https:///path", false},
        {"https://example.com/report.PDF", false},
        {"https://example.com/archive.tar.gz", false},
        {"https://example.com/file.zip/", false},
        {"https://example.com/pages.html", true},
        {"", false},
        {"   ", false},
    };
    for (const auto& [link, qualifies] : cases) {
        SCOPED_TRACE(link);
        EXPECT_EQ(URLPreviewService::validatedURL(QString::fromUtf8(link)).has_value(), qualifies);
    }
}

TEST(URLPreviewService, InvalidLinkIsReportedAsPassedIn) {
    URLPreviewService service(quickTiming());
    StdoutCapture console;
    auto fetch = fetchPreview(service, QStringLiteral("  ftp://example.com  "));
    EXPECT_FALSE(fetch->preview.has_value());
    EXPECT_EQ(console.lines(), QStringList{QStringLiteral("[URLPreview] Invalid URL:   ftp://example.com  ")});
}

TEST(URLPreviewService, FullPreviewWithRequestHeadersAndShrunkImage) {
    TestHTTPServer server;
    const QByteArray wide = png(1200, 630);
    server.route("/article", [](const TestHTTPServer::Request& request) {
        TestHTTPServer::Response response = html(page("Tom &amp; Jerry", "A  cat\nand a mouse", "/img/wide.png"));
        if (request.header("range") == "bytes=0-1048575") {
            response.status = 206;
            response.headers.append(qMakePair(QByteArray("Content-Range"), QByteArray("bytes 0-200/201")));
        }
        return response;
    });
    server.route("/img/wide.png", image(wide));
    server.route("/small", html(page("Small", "", "/img/small.png")));
    server.route("/img/small.png", image(png(300, 200)));
    // Noise does not compress: a real image above the page limit and below the image limit.
    QImage noise(800, 600, QImage::Format_RGB32);
    QRandomGenerator random(3);
    for (int y = 0; y < noise.height(); ++y)
        random.fillRange(reinterpret_cast<quint32*>(noise.scanLine(y)), noise.width());
    const QByteArray large = ImageUtils::pngData(noise).value_or(QByteArray());
    ASSERT_GT(large.size(), URLPreviewService::maximumHTMLBytes);
    ASSERT_LT(large.size(), URLPreviewService::maximumImageBytes);
    server.route("/large", html(page("Large", "", "/img/large.png")));
    server.route("/img/large.png", image(large));

    URLPreviewService service(quickTiming());
    StdoutCapture console;
    auto fetch = fetchPreview(service, QString::fromUtf8(server.url("/article")));
    ASSERT_TRUE(fetch->preview.has_value());
    EXPECT_EQ(fetch->preview->title, QStringLiteral("Tom & Jerry"));
    EXPECT_EQ(fetch->preview->description, QStringLiteral("A cat and a mouse"));
    ASSERT_TRUE(fetch->preview->imageData.has_value());
    const QImage shrunk = QImage::fromData(*fetch->preview->imageData, "PNG");
    EXPECT_EQ(shrunk.size(), QSize(400, 210));
    EXPECT_EQ(console.lines(), QStringList{QStringLiteral("[URLPreview] Parsed 127.0.0.1: title=Tom & Jerry, image=") +
                                           QString::fromUtf8(server.url("/img/wide.png"))});

    const auto pageRequest = server.requestsFor("/article").value(0).request;
    EXPECT_EQ(pageRequest.header("user-agent"), URLPreviewService::userAgent);
    EXPECT_EQ(pageRequest.header("accept"), QByteArray("text/html,application/xhtml+xml;q=0.9"));
    EXPECT_EQ(pageRequest.header("accept-language"), QByteArray("en-US,en;q=0.9,zh-CN;q=0.8,zh;q=0.7"));
    EXPECT_EQ(pageRequest.header("range"), QByteArray("bytes=0-1048575"));
    const auto imageRequest = server.requestsFor("/img/wide.png").value(0).request;
    EXPECT_EQ(imageRequest.header("referer"), server.url("/article"));
    EXPECT_EQ(imageRequest.header("accept"), QByteArray("image/avif,image/webp,image/apng,image/*,*/*;q=0.8"));
    EXPECT_TRUE(imageRequest.header("range").isEmpty());

    auto small = fetchPreview(service, QString::fromUtf8(server.url("/small")));
    ASSERT_TRUE(small->preview && small->preview->imageData);
    EXPECT_EQ(QImage::fromData(*small->preview->imageData, "PNG").size(), QSize(300, 200));
    EXPECT_FALSE(small->preview->description.has_value());

    auto noisy = fetchPreview(service, QString::fromUtf8(server.url("/large")));
    ASSERT_TRUE(noisy->preview && noisy->preview->imageData);
    EXPECT_EQ(QImage::fromData(*noisy->preview->imageData, "PNG").size(), QSize(400, 300));
}

TEST(URLPreviewService, PagesInTheirCharsets) {
    TestHTTPServer server;
    const QString chinese = QStringLiteral(u"简体中文标题");
    const QString japanese = QStringLiteral(u"日本語のページ");
    const QString russian = QStringLiteral(u"Русская страница");
    auto encoded = [](const char* encoding, const QString& text) {
        QStringEncoder encoder(encoding);
        return QByteArray(encoder.encode(text));
    };
    server.route("/utf8", html(("<title>" + chinese + "</title>").toUtf8(), "text/html; charset=utf-8"));
    server.route("/gbk",
                 html(encoded("GBK", "<meta charset=utf-8><title>" + chinese + "</title>"), "text/html; charset=GBK"));
    server.route("/sjis", html(encoded("Shift_JIS", "<meta charset=\"Shift_JIS\"><title>" + japanese + "</title>"),
                               "text/html"));
    server.route("/cp1251", html(encoded("windows-1251", "<meta content=\"text/html; charset=windows-1251\" "
                                                         "http-equiv=\"Content-Type\"><title>" +
                                                             russian + "</title>"),
                                 "text/html"));
    // A byte-order mark beats the header; labels mean what they mean to a browser.
    server.route("/bom16", html("\xFF\xFE" + encoded("UTF-16LE", "<title>" + japanese + "</title>"),
                                "text/html; charset=iso-8859-1"));
    server.route("/latin1", html("<title>\x93Hi\x94 \x85</title>", "text/html; charset=latin1"));
    server.route("/thai",
                 html(encoded("windows-874", QStringLiteral(u"<title>ภาษาไทย</title>")), "text/html; charset=TIS-620"));
    URLPreviewService service(quickTiming());
    StdoutCapture console;
    const std::pair<const char*, QString> cases[] = {{"/utf8", chinese},
                                                     {"/gbk", chinese},
                                                     {"/sjis", japanese},
                                                     {"/cp1251", russian},
                                                     {"/bom16", japanese},
                                                     {"/latin1", QStringLiteral(u"“Hi” …")},
                                                     {"/thai", QStringLiteral(u"ภาษาไทย")}};
    for (const auto& [path, title] : cases) {
        SCOPED_TRACE(path);
        auto fetch = fetchPreview(service, QString::fromUtf8(server.url(path)));
        ASSERT_TRUE(fetch->preview.has_value());
        EXPECT_EQ(fetch->preview->title, title);
        EXPECT_FALSE(fetch->preview->imageData.has_value());
    }
}

TEST(URLPreviewService, OneRetryAfterServerErrorsOnly) {
    TestHTTPServer server;
    auto failures = std::make_shared<int>(0);
    server.route("/flaky", [failures](const TestHTTPServer::Request&) {
        return (*failures)++ == 0 ? status(503) : html(page("Back", "", ""));
    });
    server.route("/down", status(503));
    server.route("/missing", status(404));
    server.route("/busy", status(429));
    URLPreviewService service(quickTiming());
    StdoutCapture console;

    auto flaky = fetchPreview(service, QString::fromUtf8(server.url("/flaky")));
    ASSERT_TRUE(flaky->preview.has_value());
    EXPECT_EQ(flaky->preview->title, QStringLiteral("Back"));
    const auto attempts = server.requestsFor("/flaky");
    ASSERT_EQ(attempts.size(), 2);
    // The second attempt is scheduled 0.8 s after the first one failed, so it cannot arrive sooner.
    EXPECT_GE(attempts[1].receivedAtMs - attempts[0].receivedAtMs, 800);

    auto down = fetchPreview(service, QString::fromUtf8(server.url("/down")));
    EXPECT_FALSE(down->preview.has_value());
    EXPECT_EQ(server.requestsFor("/down").size(), 2);

    for (const char* path : {"/missing", "/busy"}) {
        auto fetch = fetchPreview(service, QString::fromUtf8(server.url(path)));
        EXPECT_FALSE(fetch->preview.has_value());
        EXPECT_EQ(server.requestsFor(path).size(), 1) << path;
    }

    const QStringList lines = console.lines();
    EXPECT_EQ(linesContaining(lines, QStringLiteral("/flaky")),
              QStringList({QStringLiteral("[URLPreview] HTTP 503 for ") + QString::fromUtf8(server.url("/flaky"))}));
    EXPECT_TRUE(lines.contains(QStringLiteral("[URLPreview] Parsed 127.0.0.1: title=Back, image=nil")));
    EXPECT_EQ(linesContaining(lines, QStringLiteral("HTTP 503 for ") + QString::fromUtf8(server.url("/down"))).size(),
              2);
    EXPECT_EQ(linesContaining(lines, QStringLiteral("[URLPreview] HTTP 404 for ")).size(), 1);
    EXPECT_EQ(linesContaining(lines, QStringLiteral("[URLPreview] HTTP 429 for ")).size(), 1);
}

TEST(URLPreviewService, StalledServerTimesOutAndIsRetriedOnce) {
    TestHTTPServer server;
    TestHTTPServer::Response stall = html("");
    stall.announcedLength = 4000;
    stall.stallAfterHead = true;
    server.route("/stall", stall);
    URLPreviewService service(quickTiming());
    StdoutCapture console;
    auto fetch = fetchPreview(service, QString::fromUtf8(server.url("/stall")));
    EXPECT_FALSE(fetch->preview.has_value());
    EXPECT_EQ(server.requestsFor("/stall").size(), 2);
    const QString line = QStringLiteral("[URLPreview] Network error for ") + server.url("/stall") +
                         QStringLiteral(": The request timed out.");
    EXPECT_EQ(console.lines(), QStringList({line, line}));
}

TEST(URLPreviewService, RejectedPagesAreEmptyBodies) {
    TestHTTPServer server;
    TestHTTPServer::Response attachment = html(page("Download", "", ""));
    attachment.headers.append(qMakePair(QByteArray("Content-Disposition"), QByteArray("Attachment; filename=a.html")));
    server.route("/attachment", attachment);
    server.route("/json", html("{\"title\":\"x\"}", "application/json"));
    server.route("/text", html("<title>plain</title>", "text/plain"));
    server.route("/empty", html(""));
    server.route("/nothing", html("<html><body>no metadata</body></html>"));
    URLPreviewService service(quickTiming());
    StdoutCapture console;
    for (const char* path : {"/attachment", "/json", "/text", "/empty"}) {
        auto fetch = fetchPreview(service, QString::fromUtf8(server.url(path)));
        EXPECT_FALSE(fetch->preview.has_value()) << path;
    }
    auto nothing = fetchPreview(service, QString::fromUtf8(server.url("/nothing")));
    EXPECT_FALSE(nothing->preview.has_value());
    const QStringList expected = {
        QStringLiteral("[URLPreview] Empty body for ") + server.url("/attachment"),
        QStringLiteral("[URLPreview] Empty body for ") + server.url("/json"),
        QStringLiteral("[URLPreview] Empty body for ") + server.url("/text"),
        QStringLiteral("[URLPreview] Empty body for ") + server.url("/empty"),
        QStringLiteral("[URLPreview] Parsed 127.0.0.1: title=nil, image=nil"),
        QStringLiteral("[URLPreview] No metadata found for ") + server.url("/nothing"),
    };
    EXPECT_EQ(console.lines(), expected);
}

TEST(URLPreviewService, ImageFailuresLeaveTheTextOfThePreview) {
    TestHTTPServer server;
    server.route("/octet", html(page("Octet", "d", "/i/octet")));
    server.route("/i/octet", image(png(50, 50), "application/octet-stream"));
    server.route("/announced", html(page("Announced", "d", "/i/announced")));
    TestHTTPServer::Response announced = image({});
    announced.announcedLength = 9000000;
    announced.streamBytes = 9000000;
    server.route("/i/announced", announced);
    server.route("/endless", html(page("Endless", "d", "/i/endless")));
    TestHTTPServer::Response endless = image({});
    endless.streamBytes = 20 * 1000 * 1000;
    server.route("/i/endless", endless);
    server.route("/missing", html(page("Missing", "d", "/i/missing.png")));
    server.route("/broken", html(page("", "", "/i/broken.png")));
    server.route("/i/broken.png", image("definitely not a png"));

    URLPreviewService service(quickTiming());
    StdoutCapture console;
    for (const char* path : {"/octet", "/announced", "/endless", "/missing"}) {
        SCOPED_TRACE(path);
        auto fetch = fetchPreview(service, QString::fromUtf8(server.url(path)));
        ASSERT_TRUE(fetch->preview.has_value());
        EXPECT_TRUE(fetch->preview->title.has_value());
        EXPECT_EQ(fetch->preview->description, QStringLiteral("d"));
        EXPECT_FALSE(fetch->preview->imageData.has_value());
    }
    // A page whose only find is an image that fails still yields a preview, all of it empty.
    auto broken = fetchPreview(service, QString::fromUtf8(server.url("/broken")));
    ASSERT_TRUE(broken->preview.has_value());
    EXPECT_FALSE(broken->preview->title || broken->preview->description || broken->preview->imageData);

    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return server.requestsFor("/i/endless").value(0).closedByPeer &&
                   server.requestsFor("/i/announced").value(0).closedByPeer;
        },
        10000));
    EXPECT_LT(server.requestsFor("/i/endless").value(0).bodyBytesSent, 20 * 1000 * 1000);
    EXPECT_LT(server.requestsFor("/i/announced").value(0).bodyBytesSent, 9000000);

    const QStringList imageLines = linesContaining(console.lines(), QStringLiteral("Image HTTP")) +
                                   linesContaining(console.lines(), QStringLiteral("Invalid image data")) +
                                   linesContaining(console.lines(), QStringLiteral("Image download error"));
    EXPECT_EQ(imageLines,
              QStringList({QStringLiteral("[URLPreview] Image HTTP 404: ") + server.url("/i/missing.png"),
                           QStringLiteral("[URLPreview] Invalid image data from ") + server.url("/i/broken.png")}));
}

TEST(URLPreviewService, RedirectsAndNoCookiesBetweenFetches) {
    TestHTTPServer server;
    TestHTTPServer other;
    auto redirect = [](const QByteArray& location) {
        TestHTTPServer::Response response;
        response.status = 301;
        response.headers = {{"Location", location}};
        return response;
    };
    server.route("/old", redirect("/new"));
    server.route("/new", html(page("Moved", "", "")));
    server.route("/away", redirect(other.url("/there")));
    other.route("/there", html(page("Other port", "", "")));
    server.route("/loop", redirect("/loop"));
    TestHTTPServer::Response setAndMove = redirect("/new");
    setAndMove.headers.append(qMakePair(QByteArray("Set-Cookie"), QByteArray("id=1; Path=/")));
    server.route("/set-and-move", setAndMove);
    server.route("/cookie", [](const TestHTTPServer::Request&) {
        TestHTTPServer::Response response = html(page("Cookie", "", ""));
        response.headers.append(qMakePair(QByteArray("Set-Cookie"), QByteArray("session=abc; Path=/")));
        return response;
    });

    URLPreviewService service(quickTiming());
    StdoutCapture console;
    auto moved = fetchPreview(service, QString::fromUtf8(server.url("/old")));
    ASSERT_TRUE(moved->preview.has_value());
    EXPECT_EQ(moved->preview->title, QStringLiteral("Moved"));
    EXPECT_EQ(server.requestsFor("/new").size(), 1);
    auto away = fetchPreview(service, QString::fromUtf8(server.url("/away")));
    ASSERT_TRUE(away->preview.has_value());
    EXPECT_EQ(away->preview->title, QStringLiteral("Other port"));
    auto loop = fetchPreview(service, QString::fromUtf8(server.url("/loop")));
    EXPECT_FALSE(loop->preview.has_value());
    EXPECT_EQ(linesContaining(console.lines(), QStringLiteral("Network error for ") + server.url("/loop")).size(), 2);
    // Two attempts, each giving up after a bounded number of redirects (a dozen or so requests,
    // where the network manager's own default would allow fifty).
    EXPECT_LT(server.requestsFor("/loop").size(), 2 * 20);

    fetchPreview(service, QString::fromUtf8(server.url("/set-and-move")));
    EXPECT_TRUE(server.requestsFor("/new").value(1).request.header("cookie").isEmpty());
    fetchPreview(service, QString::fromUtf8(server.url("/cookie")));
    fetchPreview(service, QString::fromUtf8(server.url("/cookie")));
    const auto cookieRequests = server.requestsFor("/cookie");
    ASSERT_EQ(cookieRequests.size(), 2);
    EXPECT_TRUE(cookieRequests[1].request.header("cookie").isEmpty());
}

TEST(URLPreviewService, ConcurrentFetchesEachCompleteOnce) {
    TestHTTPServer server;
    server.route("/a", html(page("A", "", "/a.png")));
    server.route("/a.png", image(png(20, 20)));
    server.route("/b", status(404));
    server.route("/c", html("<title>C</title>"));
    URLPreviewService service(quickTiming());
    StdoutCapture console;
    std::vector<std::shared_ptr<Fetch>> fetches;
    for (int i = 0; i < 30; ++i) {
        const char* path = i % 3 == 0 ? "/a" : i % 3 == 1 ? "/b" : "/c";
        fetches.push_back(startFetch(service, QString::fromUtf8(server.url(path))));
    }
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return std::all_of(fetches.begin(), fetches.end(), [](const auto& f) { return f->calls > 0; }); },
        30000));
    QTest::qWait(100); // second reports would come within this
    for (size_t i = 0; i < fetches.size(); ++i) {
        EXPECT_EQ(fetches[i]->calls, 1);
        EXPECT_TRUE(fetches[i]->onMainThread);
        EXPECT_EQ(fetches[i]->preview.has_value(), i % 3 != 1);
    }
    EXPECT_EQ(server.requestsFor("/a").size(), 10); // nothing cached, nothing shared
}

TEST(URLPreviewService, RefererIsTheOriginForAnotherHost) {
    const QUrl page(QStringLiteral("https://news.test:8443/a/story?token=secret#part"));
    const std::pair<const char*, const char*> cases[] = {
        {"https://news.test:8443/img/a.png", "https://news.test:8443/a/story?token=secret"},
        {"https://cdn.test/img/a.png", "https://news.test:8443/"},
        {"https://news.test/img/a.png", "https://news.test:8443/"}, // another port is another origin
        {"http://news.test:8443/img/a.png", nullptr},               // never from https to http
    };
    for (const auto& [image, expected] : cases) {
        SCOPED_TRACE(image);
        const auto referer = URLPreviewService::referrer(page, QUrl(QString::fromUtf8(image)));
        EXPECT_EQ(referer, expected ? std::optional<QByteArray>(expected) : std::nullopt);
    }
}

TEST(URLPreviewService, ImageOfARedirectedPageOnAnotherHost) {
    TestHTTPServer server;
    TestHTTPServer cdn; // another port: another origin
    TestHTTPServer::Response moved;
    moved.status = 301;
    moved.headers = {{"Location", "/sub/story?session=secret"}};
    server.route("/story", moved);
    server.route("/sub/story?session=secret", html(page("Moved story", "", cdn.url("/wide.png"))));
    cdn.route("/wide.png", image(png(40, 20)));

    URLPreviewService service(quickTiming());
    StdoutCapture console;
    auto fetch = fetchPreview(service, QString::fromUtf8(server.url("/story")));
    ASSERT_TRUE(fetch->preview && fetch->preview->imageData);
    EXPECT_EQ(cdn.requestsFor("/wide.png").value(0).request.header("referer"), server.url("/"));
}

TEST(URLPreviewService, LogLinesShowTheLinkAsCopied) {
    TestHTTPServer server;
    server.route("/Missing", status(404));
    server.route("/page", html(page("Page", "", "")));
    URLPreviewService::Timing refusing = quickTiming();
    refusing.isForbiddenAddress = [](const QHostAddress& address) { return address.isLoopback(); };
    URLPreviewService service(quickTiming());
    URLPreviewService refusingService(refusing);
    StdoutCapture console;
    const QString copied = QStringLiteral("HTTP://127.0.0.1:%1/Missing").arg(server.port());
    EXPECT_FALSE(fetchPreview(service, QStringLiteral("  ") + copied)->preview.has_value());
    // Refused at the address check: no request reaches the server, and the line says why.
    const QString local = QStringLiteral("http://localhost:%1/page").arg(server.port());
    EXPECT_FALSE(fetchPreview(refusingService, local)->preview.has_value());
    EXPECT_TRUE(server.requestsFor("/page").isEmpty());
    const QString refusal = QStringLiteral("[URLPreview] Network error for ") + local +
                            QStringLiteral(": The address 127.0.0.1 of localhost is not allowed.");
    EXPECT_EQ(console.lines(), QStringList({QStringLiteral("[URLPreview] HTTP 404 for ") + copied, refusal, refusal}));
}
