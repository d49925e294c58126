// SPDX-License-Identifier: MIT
// The built application under Xvfb with openbox: other X clients copy, the store file is read.
#include "app/AppDelegate.h"
#include "app/AppTestSupport.h"
#include "history/ClipboardDataManager.h"
#include "history/ClipboardMonitor.h"
#include "history/store/ManagedObjectContext.h"
#include "platform/Pasteboard.h"
#include "platform/x11/X11Workspace.h"
#include "support/HostileClipboardOwner.h"
#include "support/XvfbSession.h"

#include <QBuffer>
#include <QDir>
#include <QImage>
#include <QProcess>
#include <QTest>
#include <QThread>
#include <QWidget>
#include <QWindow>

#include <xcb/xcb.h>

#include <sys/stat.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <memory>
#include <thread>

namespace {

constexpr int kCaptureTimeoutMs = 15000;

// Each copy is an xclip serving the CLIPBOARD selection until someone else takes it.
class Copier {
public:
    ~Copier() {
        for (auto& p : m_clients) {
            p->kill();
            p->waitForFinished(3000);
        }
    }
    // The serving xclip of the last copy (it reports each request it has served on stderr).
    QProcess* last() const { return m_clients.empty() ? nullptr : m_clients.back().get(); }
    void copy(const QByteArray& mime, const QByteArray& data) {
        const QString file =
            TestEnvironment::instance().freshDir(QStringLiteral("clip")) + QStringLiteral("/contents.bin");
        writeBytes(file, data);
        auto p = std::make_unique<QProcess>();
        p->start(QStringLiteral("xclip"),
                 {QStringLiteral("-quiet"), QStringLiteral("-selection"), QStringLiteral("clipboard"),
                  QStringLiteral("-t"), QString::fromLatin1(mime), QStringLiteral("-i"), file});
        ASSERT_TRUE(p->waitForStarted());
        m_clients.push_back(std::move(p));
    }
    void copyText(const QByteArray& text) { copy("UTF8_STRING", text); }

private:
    std::vector<std::unique_ptr<QProcess>> m_clients;
};

QByteArray png(int w, int h, QColor color) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QSize imageSize(const QByteArray& bytes) {
    return QImage::fromData(bytes).size();
}

// Whether a window of the process is viewable; with panelOnly, its panel: the one window it does not
// let the window manager manage (the settings window and alerts are managed ones). xdotool's search
// walks the window tree and fails with BadWindow when another client's window goes away meanwhile (a
// copier's xclip ending, say): such a search is run again rather than read as "not shown".
bool windowShown(qint64 pid, bool panelOnly) {
    const QStringList args{QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                           QString::number(pid)};
    for (int attempt = 0; attempt < 20; ++attempt) {
        QProcess search;
        search.start(QStringLiteral("xdotool"), args);
        if (!search.waitForFinished(10000)) {
            search.kill();
            search.waitForFinished();
            continue;
        }
        if (search.readAllStandardError().contains("X Error"))
            continue;
        const QList<QByteArray> ids = search.readAllStandardOutput().trimmed().split('\n');
        for (const QByteArray& id : ids) {
            if (id.isEmpty())
                continue;
            if (!panelOnly)
                return true;
            QByteArray info;
            XvfbSession::runClient(QStringLiteral("xwininfo"), {QStringLiteral("-id"), QString::fromLatin1(id)}, &info);
            if (info.contains("Override Redirect State: yes"))
                return true;
        }
        return false;
    }
    return false;
}

// The built application in a data folder of its own, with its monitor's debug lines collected.
class LaunchedApp {
public:
    LaunchedApp() : dataHome(TestEnvironment::instance().freshDir(QStringLiteral("app-data"))) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("tindralume.monitor.debug=true"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(TINDRALUME_APP_PATH), {});
    }
    ~LaunchedApp() {
        process.terminate();
        if (!process.waitForFinished(20000))
            process.kill();
        process.waitForFinished(3000);
    }
    QString storePath() const { return dataHome + QStringLiteral("/Tindralume/Tindralume.sqlite"); }
    const QByteArray& log() {
        m_log += process.readAllStandardError();
        return m_log;
    }
    bool panelShown() const { return windowShown(process.processId(), true); }
    // Held briefly, as a hand presses it.
    void pressHotKey() const {
        XvfbSession::runClient(QStringLiteral("xdotool"), {QStringLiteral("keydown"), QStringLiteral("super+shift+v")});
        QThread::msleep(50);
        XvfbSession::runClient(QStringLiteral("xdotool"), {QStringLiteral("keyup"), QStringLiteral("super+shift+v")});
    }

    const QString dataHome;
    QProcess process;

private:
    QByteArray m_log;
};

class EndToEndTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(testXServer()->startWindowManager()); }

    // A window of this process stands for the application the user copies from; its desktop
    // entry is installed in this process's XDG data dir, which the application inherits.
    void showCopyHost() {
        const QString apps = TestEnvironment::instance().dataHome() + QStringLiteral("/applications");
        QDir().mkpath(apps);
        const QString icon = TestEnvironment::instance().dataHome() + QStringLiteral("/copy-host.png");
        QImage iconImage(64, 64, QImage::Format_ARGB32);
        iconImage.fill(QColor(200, 30, 30));
        iconImage.save(icon, "PNG");
        writeBytes(apps + QStringLiteral("/org.example.CopyHost.desktop"),
                   "[Desktop Entry]\nType=Application\nName=Copy Host\nIcon=" + icon.toUtf8() +
                       "\nStartupWMClass=" + QCoreApplication::applicationName().toUtf8() + "\n");
        // A window shown while openbox is still settling in is sometimes never mapped: show it anew.
        for (int attempt = 0; attempt < 4; ++attempt) {
            host = std::make_unique<QWidget>();
            host->setWindowTitle(QStringLiteral("Copy Host"));
            host->resize(300, 200);
            host->show();
            host->activateWindow();
            if (QTest::qWaitForWindowExposed(host.get(), 5000))
                break;
        }
        ASSERT_TRUE(host->windowHandle() && host->windowHandle()->isExposed());
        X11Workspace workspace;
        QTRY_VERIFY_WITH_TIMEOUT(workspace.activeWindowInfo() && workspace.activeWindowInfo()->window == host->winId(),
                                 10000);
    }

    std::unique_ptr<QWidget> host;
};

TEST_F(EndToEndTest, TheApplicationRecordsWhatOtherClientsCopy) {
    ASSERT_NO_FATAL_FAILURE(showCopyHost());
    const QString storePath = TestEnvironment::instance().dataHome() + QStringLiteral("/Tindralume/Tindralume.sqlite");
    Copier copier;
    copier.copyText("on the clipboard before launch");

    QProcess app;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("tindralume.monitor.debug=true"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    app.setProcessEnvironment(env);
    app.start(QStringLiteral(TINDRALUME_APP_PATH), {});
    ASSERT_TRUE(app.waitForStarted());
    QByteArray log;
    QTRY_VERIFY_WITH_TIMEOUT((log += app.readAllStandardError()).contains("first poll"), kCaptureTimeoutMs);

    StoreFileReader store(storePath);
    ASSERT_TRUE(store.isOpen());
    auto newest = [&]() {
        const auto rows = store.rows();
        return rows.empty() ? StoreFileReader::Row{} : rows.front();
    };

    copier.copyText("hello from e2e");
    QTRY_COMPARE_WITH_TIMEOUT(store.rows().size(), size_t(1), kCaptureTimeoutMs);
    StoreFileReader::Row row = newest();
    EXPECT_EQ(row.type, QStringLiteral("text"));
    EXPECT_EQ(row.text, QByteArray("hello from e2e"));
    EXPECT_EQ(row.preview, QStringLiteral("hello from e2e"));
    EXPECT_EQ(row.appName, QStringLiteral("Copy Host"));
    EXPECT_EQ(row.bundleId, QStringLiteral("org.example.CopyHost"));
    EXPECT_FALSE(row.isFavorite);

    copier.copyText("https://127.0.0.1:9/e2e");
    QTRY_COMPARE_WITH_TIMEOUT(store.rows().size(), size_t(2), kCaptureTimeoutMs);
    EXPECT_EQ(newest().type, QStringLiteral("url"));
    EXPECT_EQ(newest().preview, QStringLiteral("https://127.0.0.1:9/e2e"));
    // The link's preview fails (nothing listens there); its console line reaches the pipe while the
    // application is still running, as whole lines.
    QByteArray console;
    QTRY_VERIFY_WITH_TIMEOUT((console += app.readAllStandardOutput()).contains("https://127.0.0.1:9/e2e\n"),
                             kCaptureTimeoutMs);
    EXPECT_EQ(app.state(), QProcess::Running);
    EXPECT_TRUE(console.endsWith('\n'));

    const QByteArray rtf = "{\\rtf1\\ansi\\deff0 {\\fonttbl {\\f0 Times;}} Plain and \\b bold\\b0 .}";
    copier.copy("text/rtf", rtf);
    QTRY_COMPARE_WITH_TIMEOUT(store.rows().size(), size_t(3), kCaptureTimeoutMs);
    row = newest();
    EXPECT_EQ(row.type, QStringLiteral("richText"));
    EXPECT_EQ(row.richTextData, rtf);
    EXPECT_TRUE(row.text.isNull());

    copier.copy("image/png", png(800, 200, QColor(0, 128, 255)));
    QTRY_COMPARE_WITH_TIMEOUT(store.rows().size(), size_t(4), kCaptureTimeoutMs);
    row = newest();
    EXPECT_EQ(row.type, QStringLiteral("image"));
    EXPECT_EQ(row.preview, QStringLiteral("Image"));
    EXPECT_EQ(imageSize(row.imageData), QSize(400, 100));
    EXPECT_EQ(imageSize(row.originalImageData), QSize(800, 200));
    EXPECT_EQ(row.appName, QStringLiteral("Copy Host"));

    const QString files = TestEnvironment::instance().freshDir(QStringLiteral("files"));
    const QString picture = files + QStringLiteral("/holiday photo.png");
    writeBytes(picture, png(300, 300, QColor(20, 200, 20)));
    copier.copy("text/uri-list", QUrl::fromLocalFile(picture).toEncoded() + "\r\n");
    QTRY_COMPARE_WITH_TIMEOUT(store.rows().size(), size_t(5), kCaptureTimeoutMs);
    row = newest();
    EXPECT_EQ(row.type, QStringLiteral("image"));
    EXPECT_EQ(imageSize(row.imageData), QSize(300, 300));
    EXPECT_TRUE(row.filePath.isNull());

    QDir().mkpath(files + QStringLiteral("/Ångström docs"));
    const QString pdf = files + QStringLiteral("/Ångström docs/rapport d'été.pdf");
    writeBytes(pdf, "%PDF-1.4\n%%EOF\n");
    copier.copy("text/uri-list", QUrl::fromLocalFile(pdf).toEncoded() + "\r\n");
    QTRY_COMPARE_WITH_TIMEOUT(store.rows().size(), size_t(6), kCaptureTimeoutMs);
    row = newest();
    EXPECT_EQ(row.type, QStringLiteral("file"));
    EXPECT_EQ(QString::fromUtf8(row.filePath), pdf);
    EXPECT_EQ(row.preview, QStringLiteral("rapport d'été.pdf"));
    EXPECT_TRUE(row.imageData.isNull());

    // A repeat adds no row; the old one comes to the top.
    copier.copyText("hello from e2e");
    QTRY_COMPARE_WITH_TIMEOUT(newest().text, QByteArray("hello from e2e"), kCaptureTimeoutMs);
    EXPECT_EQ(store.rows().size(), 6u);

    // The launch contents were never recorded.
    for (const auto& r : store.rows())
        EXPECT_NE(r.text, QByteArray("on the clipboard before launch"));

    // The source application's icon is captured in the background.
    QTRY_VERIFY_WITH_TIMEOUT(newest().appHasIcon, kCaptureTimeoutMs);

    // A picture far too large to decode (20000 x 20000): refused, nothing stored, polling goes on.
    QImage huge(20000, 20000, QImage::Format_Mono);
    huge.fill(0);
    QByteArray hugePng;
    QBuffer hugeBuffer(&hugePng);
    hugeBuffer.open(QIODevice::WriteOnly);
    ASSERT_TRUE(huge.save(&hugeBuffer, "PNG"));
    copier.copy("image/png", hugePng);
    // The monitor asked for it (TARGETS served), and then has a few ticks to finish with it.
    QByteArray served;
    QTRY_VERIFY_WITH_TIMEOUT((served += copier.last()->readAllStandardError()).contains("request number 2"),
                             kCaptureTimeoutMs);
    // Refused: one read more prepared than stored.
    const auto unstoredReads = [&] {
        log += app.readAllStandardError();
        return log.count("change read and prepared") - log.count("change stored in");
    };
    QTRY_COMPARE_WITH_TIMEOUT(unstoredReads(), qsizetype(1), kCaptureTimeoutMs);
    copier.copyText("after the huge picture");
    QTRY_COMPARE_WITH_TIMEOUT(newest().text, QByteArray("after the huge picture"), kCaptureTimeoutMs);
    EXPECT_EQ(store.rows().size(), 7u);
    EXPECT_EQ(app.state(), QProcess::Running);

    // Its terminal closed (SIGHUP) ends it as SIGTERM does: normally, with the WAL checkpointed.
    store.close();
    ::kill(static_cast<pid_t>(app.processId()), SIGHUP);
    ASSERT_TRUE(app.waitForFinished(20000));
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 0);
    EXPECT_EQ(QFileInfo(storePath + QStringLiteral("-wal")).size(), 0);
}

TEST_F(EndToEndTest, CopyBackIsNotRecordedAgain) {
    // In this process, over the real X clipboard: the store manager writes an entry back.
    if (!host) {
        ASSERT_NO_FATAL_FAILURE(showCopyHost());
    }
    const QString storePath = TestEnvironment::instance().freshDir(QStringLiteral("copyback")) + "/Tindralume.sqlite";
    AppDelegate delegate(storePath);
    ASSERT_TRUE(delegate.setUpApplication());
    ClipboardMonitor* monitor = delegate.clipboardMonitor();
    StoreFileReader store(storePath);
    Copier copier;

    copier.copyText("first");
    QTRY_COMPARE_WITH_TIMEOUT(store.rows().size(), size_t(1), kCaptureTimeoutMs);
    copier.copyText("second");
    QTRY_COMPARE_WITH_TIMEOUT(store.rows().size(), size_t(2), kCaptureTimeoutMs);

    FetchRequest request;
    request.sortByTimestampDescending = true;
    auto items = delegate.persistentContainer()->fetchItems(request);
    ASSERT_EQ(items.size(), 2u);
    ClipboardItemPtr first = items.back();
    ASSERT_EQ(first->textContent(), QStringLiteral("first"));
    delegate.clipboardDataManager()->copyToPasteboard(first, false);
    ASSERT_TRUE(monitor->skipNextChangeCount);

    // Another client sees our write (read without blocking our event loop, which serves it) ...
    QProcess reader;
    reader.start(QStringLiteral("xclip"),
                 {QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("clipboard")});
    ASSERT_TRUE(reader.waitForStarted());
    QTRY_COMPARE_WITH_TIMEOUT(reader.state(), QProcess::NotRunning, kCaptureTimeoutMs);
    EXPECT_EQ(reader.readAllStandardOutput(), QByteArray("first"));
    // ... and the monitor skipped it: a tick has passed, no row was added, the skip value is used up.
    QTRY_VERIFY_WITH_TIMEOUT(!monitor->skipNextChangeCount, kCaptureTimeoutMs);
    EXPECT_EQ(monitor->lastChangeCount, Pasteboard::general().changeCount());
    EXPECT_EQ(store.rows().size(), 2u);
    EXPECT_EQ(store.rows().front().text, QByteArray("first"));

    // The next copy by someone else is recorded as usual.
    copier.copyText("third");
    QTRY_COMPARE_WITH_TIMEOUT(store.rows().size(), size_t(3), kCaptureTimeoutMs);
    EXPECT_EQ(store.rows().front().text, QByteArray("third"));
    delegate.tearDown();
}

// Reads the CLIPBOARD as another client would, while our event loop serves the request.
QByteArray readClipboard(const QString& target) {
    QProcess reader;
    reader.start(QStringLiteral("xclip"), {QStringLiteral("-o"), QStringLiteral("-selection"),
                                           QStringLiteral("clipboard"), QStringLiteral("-t"), target});
    if (!reader.waitForStarted())
        return {};
    EXPECT_TRUE(QTest::qWaitFor([&] { return reader.state() == QProcess::NotRunning; }, kCaptureTimeoutMs));
    return reader.readAllStandardOutput();
}

// A spreadsheet's copy offers a picture of the range beside its text; several files are one copy.
TEST_F(EndToEndTest, CopiesOfAPictureWithTextAndOfSeveralFilesComeBackWhole) {
    if (!host) {
        ASSERT_NO_FATAL_FAILURE(showCopyHost());
    }
    const QString storePath = TestEnvironment::instance().freshDir(QStringLiteral("whole")) + "/Tindralume.sqlite";
    AppDelegate delegate(storePath);
    ASSERT_TRUE(delegate.setUpApplication());
    ClipboardDataManager* manager = delegate.clipboardDataManager();
    StoreFileReader store(storePath);

    const QByteArray picture = png(120, 40, QColor(250, 250, 250));
    const std::string html = "<table><tr><td>Berlin</td><td>3645</td></tr></table>";
    const std::string text = "Berlin\t3645\n";
    // The spreadsheet's own document of the range, which it pastes as cells.
    const std::string embed =
        "application/x-openoffice-embed-source-xml;windows_formatname=\"Star Embed Source (XML)\"";
    const char documentBytes[] = "PK\x03\x04 zipped range";
    const std::string document(documentBytes, sizeof(documentBytes) - 1);
    // The owner stays, as the spreadsheet does, until the pick takes the clipboard from it.
    HostileOwner range(HostileOwner::Mode::Serve, {{"image/png", picture.toStdString()},
                                                   {"text/html", html},
                                                   {"UTF8_STRING", text},
                                                   {"text/plain;charset=utf-8", text},
                                                   {embed, document}});
    QTRY_COMPARE_WITH_TIMEOUT(store.rows().size(), size_t(1), kCaptureTimeoutMs);
    const StoreFileReader::Row row = store.rows().front();
    EXPECT_EQ(row.type, QStringLiteral("image"));
    EXPECT_EQ(row.text, QByteArray::fromStdString(text));
    EXPECT_EQ(row.originalImageData, picture);

    const auto found = manager->searchItems(QStringLiteral("berlin"), std::nullopt, false, std::nullopt);
    ASSERT_EQ(found.size(), 1u);
    ASSERT_TRUE(manager->copyToPasteboard(found.front(), false));
    const QList<QByteArray> targets = readClipboard(QStringLiteral("TARGETS")).split('\n');
    for (const char* t : {"image/png", "text/html", "text/plain", "UTF8_STRING"})
        EXPECT_TRUE(targets.contains(t)) << t;
    EXPECT_EQ(readClipboard(QStringLiteral("text/html")), QByteArray::fromStdString(html));
    EXPECT_EQ(readClipboard(QStringLiteral("UTF8_STRING")), QByteArray::fromStdString(text));
    EXPECT_EQ(readClipboard(QStringLiteral("image/png")), picture);
    EXPECT_EQ(readClipboard(QString::fromStdString(embed)), QByteArray::fromStdString(document));

    const QString dir = TestEnvironment::instance().freshDir(QStringLiteral("three files"));
    QByteArray list;
    QList<QUrl> urls;
    for (const char* name : {"photo.png", "rich.odt", "notes, vol 2.txt"}) {
        writeBytes(dir + QLatin1Char('/') + QLatin1String(name), name);
        urls << QUrl::fromLocalFile(dir + QLatin1Char('/') + QLatin1String(name));
        list += urls.last().toEncoded() + "\r\n";
    }
    Copier copier;
    copier.copy("text/uri-list", list);
    QTRY_COMPARE_WITH_TIMEOUT(store.rows().size(), size_t(2), kCaptureTimeoutMs);
    EXPECT_EQ(store.rows().front().type, QStringLiteral("file"));
    EXPECT_EQ(store.rows().front().preview, QStringLiteral("photo.png"));

    const auto page = manager->fetchItems(std::nullopt, 0, false, std::nullopt);
    ASSERT_EQ(page.size(), 2u);
    ASSERT_TRUE(manager->copyToPasteboard(page.back(), false));
    ASSERT_TRUE(manager->copyToPasteboard(page.front(), false));
    QList<QUrl> back;
    for (const QByteArray& line : readClipboard(QStringLiteral("text/uri-list")).split('\n'))
        if (!line.trimmed().isEmpty())
            back << QUrl::fromEncoded(line.trimmed());
    EXPECT_EQ(back, urls);
    EXPECT_EQ(readClipboard(QStringLiteral("x-special/gnome-copied-files")).split('\n').size(), 4);
    // The same three files copied again are the same entry, moved to the top.
    page.front()->setTimestamp(QDateTime::currentDateTime().addSecs(-60));
    manager->saveContext();
    copier.copy("text/uri-list", list);
    QTRY_COMPARE_WITH_TIMEOUT(store.rows().front().type, QStringLiteral("file"), kCaptureTimeoutMs);
    copier.copyText("after the files");
    QTRY_COMPARE_WITH_TIMEOUT(store.rows().size(), size_t(3), kCaptureTimeoutMs);
    EXPECT_EQ(store.rows()[1].type, QStringLiteral("file"));
    delegate.tearDown();
}

// Rich text goes back as RTF first and as HTML for the programs that read only HTML: the owner's own
// HTML when it offered one (a word processor), else HTML made from the RTF (an editor offering RTF
// alone). As plain text, only the text.
TEST_F(EndToEndTest, RichTextComesBackAsHtmlToo) {
    if (!host) {
        ASSERT_NO_FATAL_FAILURE(showCopyHost());
    }
    const QString storePath = TestEnvironment::instance().freshDir(QStringLiteral("rich")) + "/Tindralume.sqlite";
    AppDelegate delegate(storePath);
    ASSERT_TRUE(delegate.setUpApplication());
    ClipboardDataManager* manager = delegate.clipboardDataManager();
    StoreFileReader store(storePath);

    const struct {
        const char* owner;
        std::string bold;
        std::string html; // offered by the owner, or none
        QByteArray pickedHtml;
    } cases[] = {
        {"RTF and text", "editor's", "", "<b>editor's</b>"},
        {"RTF, HTML and text", "processor's", "<html><body><p>A <b>processor's</b> word.</p></body></html>",
         "<html><body><p>A <b>processor's</b> word.</p></body></html>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.owner);
        const std::string text = "A " + c.bold + " word.";
        const std::string rtf = "{\\rtf1\\ansi {\\fonttbl {\\f0 Serif;}}A {\\b " + c.bold + "} word.\\par}";
        HostileOwner::Targets targets{{"text/rtf", rtf}, {"UTF8_STRING", text}};
        if (!c.html.empty())
            targets.insert(targets.begin() + 1, {"text/html", c.html});
        const size_t before = store.rows().size();
        {
            HostileOwner owner(HostileOwner::Mode::Serve, targets);
            QTRY_COMPARE_WITH_TIMEOUT(store.rows().size(), before + 1, kCaptureTimeoutMs);
        }
        const auto page = manager->fetchItems(1, 0, false, std::nullopt);
        ASSERT_EQ(page.size(), 1u);
        ASSERT_EQ(page.front()->type(), QStringLiteral("richText"));
        ASSERT_TRUE(manager->copyToPasteboard(page.front(), false));
        const QByteArray picked = readClipboard(QStringLiteral("TARGETS"));
        EXPECT_LT(picked.indexOf("text/rtf"), picked.indexOf("text/html")) << picked.constData();
        const QByteArray html = readClipboard(QStringLiteral("text/html"));
        EXPECT_TRUE(html.contains(c.pickedHtml)) << html.constData();
        EXPECT_EQ(readClipboard(QStringLiteral("text/rtf")), QByteArray::fromStdString(rtf));
        ASSERT_TRUE(manager->copyToPasteboard(page.front(), true));
        const QByteArray plain = readClipboard(QStringLiteral("TARGETS"));
        EXPECT_FALSE(plain.contains("text/html") || plain.contains("text/rtf")) << plain.constData();
        EXPECT_EQ(readClipboard(QStringLiteral("UTF8_STRING")), QByteArray::fromStdString(text));
    }
    delegate.tearDown();
}

// Owners that never answer, die mid-transfer, refuse 40 formats slowly, a FIFO named like a picture
// and a 100 MB text in pieces: each time the hot key still shows and hides the panel, and the next
// copy is recorded.
TEST_F(EndToEndTest, HostileOwnersLeaveTheHotKeyAndCaptureRunning) {
    LaunchedApp app;
    ASSERT_TRUE(app.process.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(app.log().contains("first poll"), kCaptureTimeoutMs);
    // The show after launch, then Escape: the presses below start from a hidden panel.
    QTRY_VERIFY_WITH_TIMEOUT(app.panelShown(), kCaptureTimeoutMs);
    XvfbSession::runClient(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Escape")});
    QTRY_VERIFY_WITH_TIMEOUT(!app.panelShown(), kCaptureTimeoutMs);
    StoreFileReader store(app.storePath());
    auto newest = [&]() {
        const auto rows = store.rows();
        return rows.empty() ? StoreFileReader::Row{} : rows.front();
    };
    Copier copier;
    auto hotKeyAnswers = [&](const char* what) {
        const bool shown = app.panelShown();
        app.pressHotKey();
        ASSERT_TRUE(QTest::qWaitFor([&] { return app.panelShown() != shown; }, kCaptureTimeoutMs))
            << what << ", panel shown before: " << shown
            << "; console: " << app.process.readAllStandardOutput().constData() << "; log: " << app.log().constData();
    };

    const struct {
        const char* what;
        HostileOwner::Mode mode;
        HostileOwner::Targets targets;
    } owners[] = {
        {"never replies", HostileOwner::Mode::Hang, {{"UTF8_STRING", ""}, {"image/png", ""}}},
        {"dies mid-transfer", HostileOwner::Mode::Die, {{"UTF8_STRING", ""}, {"image/png", ""}}},
        {"refuses 40 images slowly", HostileOwner::Mode::SlowRefuse, HostileOwner::manyImageTargets(40)},
    };
    for (const auto& o : owners) {
        {
            HostileOwner owner(o.mode, o.targets);
            QTRY_VERIFY_WITH_TIMEOUT(owner.dataRequests() > 0, kCaptureTimeoutMs);
            hotKeyAnswers(o.what);
            // The slow owner is still being asked after the panel answered: it answered during the read.
            if (o.mode == HostileOwner::Mode::SlowRefuse) {
                const int asked = owner.dataRequests();
                QTRY_VERIFY_WITH_TIMEOUT(owner.dataRequests() > asked, kCaptureTimeoutMs);
            }
            hotKeyAnswers(o.what);
        }
        const QByteArray after = "after: " + QByteArray(o.what);
        copier.copyText(after);
        QTRY_COMPARE_WITH_TIMEOUT(newest().text, after, kCaptureTimeoutMs);
    }

    const QString files = TestEnvironment::instance().freshDir(QStringLiteral("hostile-files"));
    const QString fifo = files + QStringLiteral("/x.png");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    copier.copy("text/uri-list", QUrl::fromLocalFile(fifo).toEncoded() + "\r\n");
    QByteArray served; // the monitor asked for the list (its targets, then the list itself)
    QTRY_VERIFY_WITH_TIMEOUT((served += copier.last()->readAllStandardError()).contains("request number 2"),
                             kCaptureTimeoutMs);
    copier.copyText("after the FIFO");
    QTRY_COMPARE_WITH_TIMEOUT(newest().text, QByteArray("after the FIFO"), kCaptureTimeoutMs);
    hotKeyAnswers("FIFO");

    QByteArray big;
    big.reserve(100 * 1024 * 1024 + 64);
    for (int i = 0; big.size() < 100 * 1024 * 1024; ++i)
        big += "line " + QByteArray::number(i) + " of a text copied in pieces\n";
    copier.copy("UTF8_STRING", big);
    hotKeyAnswers("100 MB text");
    QTRY_COMPARE_WITH_TIMEOUT(newest().text.size(), big.size(), 60000);
    EXPECT_TRUE(newest().text == big);
    big.clear();
    copier.copyText("after the big text");
    QTRY_COMPARE_WITH_TIMEOUT(newest().text, QByteArray("after the big text"), kCaptureTimeoutMs);
    EXPECT_EQ(store.rows().size(), 6u);
    EXPECT_EQ(app.process.state(), QProcess::Running);
}

// Launching twice on one display: the second hands over to the first (which shows its panel again)
// and exits 0; one process, one private history; a signal while saving fails ends it with status 1.
// A start at login leaves the panel down.
TEST_F(EndToEndTest, ASecondLaunchHandsOverToTheFirst) {
    const QString dataHome = TestEnvironment::instance().freshDir(QStringLiteral("two-launches"));
    const QString folder = dataHome + QStringLiteral("/Tindralume");
    const QString storePath = folder + QStringLiteral("/Tindralume.sqlite");
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
    env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("tindralume.monitor.debug=true"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    const mode_t savedMask = ::umask(022);
    auto launch = [&](QProcess& p, const QStringList& arguments = {}) {
        p.setProcessEnvironment(env);
        p.start(QStringLiteral(TINDRALUME_APP_PATH), arguments);
    };
    auto panelShown = [](const QProcess& p) { return windowShown(p.processId(), false); };
    // Started at login, the panel stays down well past the half second after which a plain launch
    // shows it. A process killed outright leaves its lock file and socket behind: the next launch
    // still runs.
    QProcess killed;
    launch(killed, {QStringLiteral("--autostart")});
    QByteArray log;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (log += killed.readAllStandardError()).contains("first poll"); },
                                kCaptureTimeoutMs))
        << "state " << killed.state() << ", exit code " << killed.exitCode() << "; log: " << log.constData()
        << "; console: " << killed.readAllStandardOutput().constData();
    QTest::qWait(1500);
    EXPECT_FALSE(panelShown(killed));
    ::kill(static_cast<pid_t>(killed.processId()), SIGKILL);
    ASSERT_TRUE(killed.waitForFinished(10000));

    QProcess first;
    launch(first);
    ::umask(savedMask);
    ASSERT_TRUE(first.waitForStarted());
    log.clear();
    QTRY_VERIFY_WITH_TIMEOUT((log += first.readAllStandardError()).contains("first poll"), kCaptureTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(panelShown(first), kCaptureTimeoutMs);
    XvfbSession::runClient(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Escape")});
    QTRY_VERIFY_WITH_TIMEOUT(!panelShown(first), kCaptureTimeoutMs);

    QProcess second;
    launch(second);
    ASSERT_TRUE(second.waitForFinished(20000));
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_EQ(first.state(), QProcess::Running);
    QTRY_VERIFY_WITH_TIMEOUT(panelShown(first), kCaptureTimeoutMs);

    // Asked on the command line, a later launch opens the running one's settings window instead,
    // and a panel still showing gives way to it (it would lie above it and keep the keyboard).
    QProcess settings;
    settings.setProcessEnvironment(env);
    settings.start(QStringLiteral(TINDRALUME_APP_PATH), {QStringLiteral("--settings")});
    ASSERT_TRUE(settings.waitForFinished(20000));
    EXPECT_EQ(settings.exitCode(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(!windowShown(first.processId(), true), kCaptureTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(windowShown(first.processId(), false), kCaptureTimeoutMs);

    // One history: a copy is stored once, in files only their owner can read.
    Copier copier;
    copier.copyText("copied after the second launch");
    StoreFileReader store(storePath);
    QTRY_COMPARE_WITH_TIMEOUT(store.rows().size(), size_t(1), kCaptureTimeoutMs);
    auto modeOf = [](const QString& path) {
        struct stat st {};
        return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & 07777 : 0xffff;
    };
    EXPECT_EQ(modeOf(folder), 0700u);
    for (const char* suffix : {"", "-wal", "-shm"})
        EXPECT_EQ(modeOf(storePath + suffix), 0600u) << suffix;

    // Saving fails from here on; SIGTERM ends the process anyway, asking nothing, with status 1.
    sqlite3* locker = nullptr;
    ASSERT_EQ(sqlite3_open(QFile::encodeName(storePath).constData(), &locker), SQLITE_OK);
    ASSERT_EQ(sqlite3_exec(locker, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    copier.copyText("never saved");
    QByteArray console;
    QTRY_VERIFY_WITH_TIMEOUT((console += first.readAllStandardOutput()).contains("Error saving context: "),
                             kCaptureTimeoutMs);
    ::kill(static_cast<pid_t>(first.processId()), SIGTERM);
    const bool ended = first.waitForFinished(20000);
    sqlite3_close(locker);
    ASSERT_TRUE(ended);
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 1);
    console += first.readAllStandardOutput();
    EXPECT_EQ(console.count("Error saving context: "), 2) << console.constData();
    EXPECT_EQ(store.rows().size(), 1u);
}

} // namespace

TEST_F(EndToEndTest, AStoreThatCannotBeOpenedIsShownInAnAlertBeforeTheExit) {
    // The real program, its standard output a pipe: the line arrives, an alert says it on screen, and
    // once it is answered the exit status says failure.
    const QString home = TestEnvironment::instance().freshDir(QStringLiteral("corrupt-run"));
    const QString store = home + QStringLiteral("/data/Tindralume/Tindralume.sqlite");
    QDir().mkpath(QFileInfo(store).absolutePath());
    const QByteArray garbage = QByteArray("SQLite format 3\0", 16) + QByteArray(4080, '\xee');
    writeBytes(store, garbage);
    QProcess app;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), home + QStringLiteral("/data"));
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), home + QStringLiteral("/config"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    app.setProcessEnvironment(env);
    app.start(QStringLiteral(TINDRALUME_APP_PATH), {});
    ASSERT_TRUE(app.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(windowShown(app.processId(), false), kCaptureTimeoutMs);
    EXPECT_EQ(app.state(), QProcess::Running); // the alert waits for its answer
    QByteArray window;
    XvfbSession::runClient(QStringLiteral("xdotool"),
                           {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                            QString::number(app.processId())},
                           &window);
    XvfbSession::runClient(QStringLiteral("xdotool"), {QStringLiteral("windowactivate"), QStringLiteral("--sync"),
                                                       QString::fromUtf8(window.trimmed().split('\n').first())});
    XvfbSession::runClient(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Return")});
    ASSERT_TRUE(app.waitForFinished(30000));
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_NE(app.exitCode(), 0);
    const QList<QByteArray> lines = app.readAllStandardOutput().split('\n');
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(lines.first().startsWith("Unresolved error ")) << lines.first().constData();
    EXPECT_EQ(fileBytes(store), garbage);
}

// Without a tray the menu's key equivalents reach the settings and quitting while the panel shows.
TEST_F(EndToEndTest, CtrlCommaOpensTheSettingsAndCtrlQQuitsFromThePanel) {
    LaunchedApp app;
    ASSERT_TRUE(app.process.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(app.panelShown(), kCaptureTimeoutMs);
    auto key = [](const char* keys) {
        XvfbSession::runClient(QStringLiteral("xdotool"), {QStringLiteral("key"), QString::fromLatin1(keys)});
    };
    key("a"); // the search field opens and takes the keys; the menu's keys still pass
    key("ctrl+comma");
    QTRY_VERIFY_WITH_TIMEOUT(!app.panelShown(), kCaptureTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(windowShown(app.process.processId(), false), kCaptureTimeoutMs);
    app.pressHotKey();
    QTRY_VERIFY_WITH_TIMEOUT(app.panelShown(), kCaptureTimeoutMs);
    key("ctrl+q");
    ASSERT_TRUE(app.process.waitForFinished(20000));
    EXPECT_EQ(app.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.process.exitCode(), 0);
}
