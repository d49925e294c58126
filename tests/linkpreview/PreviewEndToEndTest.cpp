// SPDX-License-Identifier: MIT
// The built application under Xvfb: a link copied with xclip gains the title, description and
// image of its page, served from 127.0.0.1, in the stored row.
#include "PrintQt.h"
#include "TestHTTPServer.h"
#include "support/TestEnvironment.h"
#include "support/XvfbSession.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTest>

#include <sqlite3.h>

#include <gtest/gtest.h>

#include <csignal>

namespace {

struct PreviewRow {
    QByteArray text;
    QByteArray title;
    QByteArray description;
    QByteArray imageData;
};

// The link entries of the store file, read from outside as another program would.
std::vector<PreviewRow> linkRows(const QString& path) {
    std::vector<PreviewRow> rows;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(QFile::encodeName(path).constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return rows;
    }
    sqlite3_busy_timeout(db, 5000);
    sqlite3_stmt* statement = nullptr;
    const char* sql = "SELECT textContent, urlPreviewTitle, urlPreviewDescription, urlPreviewImageData "
                      "FROM ClipboardItem WHERE type = 'url'";
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK) {
        auto bytes = [statement](int column) {
            if (sqlite3_column_type(statement, column) == SQLITE_NULL)
                return QByteArray();
            return QByteArray(static_cast<const char*>(sqlite3_column_blob(statement, column)),
                              sqlite3_column_bytes(statement, column));
        };
        while (sqlite3_step(statement) == SQLITE_ROW)
            rows.push_back({bytes(0), bytes(1), bytes(2), bytes(3)});
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return rows;
}

QByteArray png(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(240, 120, 0));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

} // namespace

TEST(LinkPreviewEndToEnd, CopiedLinkGetsItsPreviewStored) {
    ASSERT_NE(testXServer(), nullptr);
    ASSERT_TRUE(testXServer()->startWindowManager());

    TestHTTPServer server;
    TestHTTPServer::Response page;
    page.headers = {{"Content-Type", "text/html; charset=utf-8"}};
    page.body = "<html><head><title>Fallback</title>"
                "<meta property=\"og:title\" content=\"Preview &amp; Story\">"
                "<meta property=\"og:description\" content=\"What the page is about\">"
                "<meta property=\"og:image\" content=\"/cover.png\"></head><body></body></html>";
    server.route("/article", page);
    TestHTTPServer::Response cover;
    cover.headers = {{"Content-Type", "image/png"}};
    cover.body = png(1200, 630);
    server.route("/cover.png", cover);
    const QByteArray link = server.url("/article");

    QProcess app;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("tindralume.monitor.debug=true"));
    app.setProcessEnvironment(env);
    app.start(QStringLiteral(TINDRALUME_APP_PATH), {});
    ASSERT_TRUE(app.waitForStarted());
    QByteArray errors;
    // What is on the clipboard at launch is not recorded: copy only once the monitor has looked
    // (it says so in its debug output; its half-second poll has surely run after a few seconds).
    const bool announced =
        QTest::qWaitFor([&] { return (errors += app.readAllStandardError()).contains("first poll"); }, 5000);
    Q_UNUSED(announced);
    ASSERT_EQ(app.state(), QProcess::Running) << errors.toStdString();

    const QString file = TestEnvironment::instance().freshDir(QStringLiteral("link")) + QStringLiteral("/link.txt");
    {
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(link);
    }
    QProcess xclip;
    xclip.start(QStringLiteral("xclip"),
                {QStringLiteral("-quiet"), QStringLiteral("-selection"), QStringLiteral("clipboard"),
                 QStringLiteral("-t"), QStringLiteral("UTF8_STRING"), QStringLiteral("-i"), file});
    ASSERT_TRUE(xclip.waitForStarted());

    const QString store = TestEnvironment::instance().dataHome() + QStringLiteral("/Tindralume/Tindralume.sqlite");
    QByteArray output;
    auto stored = [&] {
        output += app.readAllStandardOutput();
        const auto rows = linkRows(store);
        return rows.size() == 1 && !rows[0].title.isNull() && output.contains("[Preview] Posted notification");
    };
    const bool done = QTest::qWaitFor(stored, 30000);
    output += app.readAllStandardOutput();
    ASSERT_TRUE(done) << output.toStdString() << errors.toStdString();

    const auto rows = linkRows(store);
    EXPECT_EQ(rows[0].text, link);
    EXPECT_EQ(rows[0].title, QByteArray("Preview & Story"));
    EXPECT_EQ(rows[0].description, QByteArray("What the page is about"));
    EXPECT_EQ(QImage::fromData(rows[0].imageData, "PNG").size(), QSize(400, 210));

    const QStringList lines = QString::fromUtf8(output).split(u'\n');
    const QString url = QString::fromUtf8(link);
    for (const QString& expected :
         {QStringLiteral("[URLPreview] Parsed 127.0.0.1: title=Preview & Story, image=") + server.url("/cover.png"),
          QStringLiteral("[Preview] Got preview for ") + url,
          QStringLiteral("[Preview] Title: Preview & Story, Has Image: true"),
          QStringLiteral("[Preview] Saved to Core Data"), QStringLiteral("[Preview] Posted notification")}) {
        EXPECT_TRUE(lines.contains(expected)) << expected.toStdString() << "\n" << output.toStdString();
    }
    EXPECT_EQ(server.requestsFor("/article").size(), 1);
    EXPECT_EQ(server.requestsFor("/cover.png").size(), 1);

    // The network thread of the previews must not stand in the way of a normal end.
    ::kill(static_cast<pid_t>(app.processId()), SIGTERM);
    EXPECT_TRUE(app.waitForFinished(20000));
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 0);
    xclip.kill();
    xclip.waitForFinished(3000);
}
