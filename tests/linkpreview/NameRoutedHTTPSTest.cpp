// SPDX-License-Identifier: MIT
// Previews from an HTTPS server that prefers HTTP/2 and routes by the name asked for, as hosts
// serving many sites behind one address do: the loader connects to the address it checked, yet
// every request must name the linked host.
#include "linkpreview/URLPreviewService.h"

#include "PrintQt.h"
#include "platform/Dispatch.h"
#include "platform/ImageUtils.h"
#include "support/TestEnvironment.h"

#include <QFile>
#include <QImage>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QSslCertificate>
#include <QTest>

#include <gtest/gtest.h>

namespace {

const QString tlsDir = QStringLiteral(TINDRALUME_TEST_DATA "/tls/");

// tests/support/name_routed_https_server.py, serving the files of one folder.
class NameRoutedServer {
public:
    explicit NameRoutedServer(const QString& root) {
        m_process.setProgram(QStringLiteral(TINDRALUME_PYTHON3));
        m_process.setArguments({QStringLiteral(TINDRALUME_SOURCE_DIR "/tests/support/name_routed_https_server.py"),
                                tlsDir + QStringLiteral("localhost.pem"), tlsDir + QStringLiteral("localhost.key"),
                                QStringLiteral("localhost"), root});
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start();
        (void)QTest::qWaitFor([this] { return readLines(), port != 0 || m_process.state() == QProcess::NotRunning; },
                              20000);
    }
    ~NameRoutedServer() {
        m_process.closeWriteChannel(); // the server ends with its input
        if (!m_process.waitForFinished(10000))
            m_process.kill();
    }
    // "<protocol> <authority> <path> <status>" for every request answered so far.
    QStringList requests() {
        readLines();
        return m_requests;
    }
    QByteArray url(const char* host, const QByteArray& path) const {
        return "https://" + QByteArray(host) + ':' + QByteArray::number(port) + path;
    }
    quint16 port = 0;

private:
    void readLines() {
        while (m_process.canReadLine()) {
            const QString line = QString::fromUtf8(m_process.readLine()).trimmed();
            if (line.startsWith(QLatin1String("PORT ")))
                port = line.mid(5).toUShort();
            else
                m_requests.append(line);
        }
    }
    QProcess m_process;
    QStringList m_requests;
};

} // namespace

TEST(URLPreviewService, PageAndImageFromAServerThatPrefersHTTP2AndRoutesByName) {
    const auto certificates = QSslCertificate::fromPath(tlsDir + QStringLiteral("localhost.pem"));
    ASSERT_EQ(certificates.size(), 1);
    QSslConfiguration client = QSslConfiguration::defaultConfiguration();
    client.addCaCertificates(certificates);
    QSslConfiguration::setDefaultConfiguration(client);

    const QString root = TestEnvironment::instance().freshDir(QStringLiteral("h2root"));
    NameRoutedServer server(root);
    ASSERT_NE(server.port, 0);
    QFile page(root + QStringLiteral("/page.html"));
    ASSERT_TRUE(page.open(QIODevice::WriteOnly));
    page.write("<html><head><meta property=\"og:title\" content=\"Named host\"><meta property=\"og:image\" content=\"" +
               server.url("localhost", "/picture.png") + "\"></head></html>");
    page.close();
    QImage picture(60, 30, QImage::Format_RGB32);
    picture.fill(Qt::darkMagenta);
    ASSERT_TRUE(picture.save(root + QStringLiteral("/picture.png")));

    // The server is what the test needs: it speaks HTTP/2, and a request naming its address
    // instead of its name is misdirected there, even with the name in Host.
    QNetworkAccessManager network;
    QNetworkRequest byAddress(QUrl(QString::fromUtf8(server.url("127.0.0.1", "/page.html"))));
    byAddress.setRawHeader("Host", "localhost:" + QByteArray::number(server.port));
    byAddress.setPeerVerifyName(QStringLiteral("localhost"));
    QNetworkReply* reply = network.get(byAddress);
    ASSERT_TRUE(QTest::qWaitFor([reply] { return reply->isFinished(); }, 20000));
    EXPECT_TRUE(reply->attribute(QNetworkRequest::Http2WasUsedAttribute).toBool());
    EXPECT_EQ(reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), 421);
    delete reply;

    URLPreviewService service;
    std::optional<URLPreview> preview;
    bool called = false;
    service.fetchPreview(QString::fromUtf8(server.url("localhost", "/page.html")),
                         [&](std::optional<URLPreview> result) {
                             called = true;
                             preview = std::move(result);
                         });
    ASSERT_TRUE(QTest::qWaitFor([&] { return called; }, 60000));
    ASSERT_TRUE(preview.has_value());
    EXPECT_EQ(preview->title, QStringLiteral("Named host"));
    ASSERT_TRUE(preview->imageData.has_value());
    EXPECT_EQ(QImage::fromData(*preview->imageData, "PNG").size(), QSize(60, 30));
    const QString authority = QStringLiteral("localhost:%1").arg(server.port);
    const QStringList requests = server.requests();
    EXPECT_EQ(requests.filter(authority + QStringLiteral(" /page.html 200")).size(), 1)
        << requests.join(u'\n').toStdString();
    EXPECT_EQ(requests.filter(authority + QStringLiteral(" /picture.png 200")).size(), 1)
        << requests.join(u'\n').toStdString();
}
