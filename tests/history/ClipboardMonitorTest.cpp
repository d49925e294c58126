// SPDX-License-Identifier: MIT
// The monitor over the in-memory pasteboard and workspace with a real SQLite store file.
#include "history/ClipboardMonitor.h"
#include "common/AppNames.h"
#include "history/ClipboardCapture.h"
#include "history/ClipboardDataManager.h"
#include "history/DocumentFormats.h"
#include "history/store/ManagedObjectContext.h"
#include "history/store/PrecomputedContent.h"
#include "history/store/TextFolding.h"
#include "platform/PasteboardContents.h"
#include "platform/x11/ClipboardPasteboard.h"
#include "support/TestEnvironment.h"
#include "support/memory/MemoryPasteboard.h"
#include "support/memory/MemoryWorkspace.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <climits>

#include <sys/stat.h>

namespace {

using Type = Pasteboard::Type;

QByteArray encode(const QImage& image, const char* format) {
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

QImage solid(int w, int h, QColor c = QColor(20, 120, 220)) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(c);
    return image;
}

QSize sizeOf(const OptData& png) {
    if (!png)
        return {};
    return QImage::fromData(*png).size();
}

QByteArray uriList(const QStringList& paths) {
    QByteArray out;
    for (const QString& p : paths)
        out += QUrl::fromLocalFile(p).toEncoded() + "\r\n";
    return out;
}

class ClipboardMonitorTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto pb = std::make_unique<MemoryPasteboard>();
        pasteboard = pb.get();
        Pasteboard::setGeneral(std::move(pb));
        auto ws = std::make_unique<MemoryWorkspace>();
        workspace = ws.get();
        Workspace::setShared(std::move(ws));
        dir = TestEnvironment::instance().freshDir(QStringLiteral("monitor"));
        StoreError error;
        context = ManagedObjectContext::open(dir + QStringLiteral("/Tindralume.sqlite"), &error);
        ASSERT_TRUE(context) << qPrintable(error.message);
        manager = std::make_unique<ClipboardDataManager>(context.get());
        monitor = std::make_unique<ClipboardMonitor>(manager.get(), pasteboard->changeCount());
        manager->setClipboardMonitor(monitor.get());
    }
    void TearDown() override {
        monitor.reset();
        manager.reset();
        context.reset();
    }

    std::vector<ClipboardItemPtr> items() {
        FetchRequest request;
        request.sortByTimestampDescending = true;
        return context->fetchItems(request);
    }
    ClipboardItemPtr only() {
        auto all = items();
        EXPECT_EQ(all.size(), 1u);
        return all.empty() ? nullptr : all.front();
    }
    // One copy by another application, read as the monitor's tick would.
    void copyAndCheck(const QMap<Type, QByteArray>& contents) {
        // Timestamps have millisecond resolution; keep "newest first" unambiguous.
        QThread::msleep(2);
        pasteboard->simulateCopy(contents);
        checkAndWait();
    }
    void checkAndWait() {
        monitor->checkClipboard();
        QTRY_VERIFY(!monitor->isCapturing());
    }
    QString writeFile(const QString& name, const QByteArray& bytes) {
        const QString path = dir + QLatin1Char('/') + name;
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }

    MemoryPasteboard* pasteboard = nullptr;
    MemoryWorkspace* workspace = nullptr;
    QString dir;
    std::unique_ptr<ManagedObjectContext> context;
    std::unique_ptr<ClipboardDataManager> manager;
    std::unique_ptr<ClipboardMonitor> monitor;
};

TEST_F(ClipboardMonitorTest, PlainTextDecidesBetweenLinkAndText) {
    // Links point at a closed local port, so a preview fetch they start never leaves the machine.
    const struct {
        QString text;
        const char* type;
    } cases[] = {
        {QStringLiteral("https://127.0.0.1:9/page"), "url"},
        {QStringLiteral("  http://127.0.0.1:9/spaced \n"), "url"},
        {QStringLiteral("HTTP://127.0.0.1:9/upper"), "url"},
        {QStringLiteral("ftp://files.example.org/pub/a.txt"), "url"},
        {QStringLiteral("ftps://files.example.org/b"), "url"},
        {QStringLiteral("example.com"), "text"},
        {QStringLiteral("https:example.com"), "text"},
        {QStringLiteral("http://"), "text"},
        {QStringLiteral("mailto:someone@example.org"), "text"},
        {QStringLiteral("file:///etc/hostname"), "text"},
        {QStringLiteral("sftp://host/path"), "text"},
        {QStringLiteral("https://exa mple.org/"), "text"},
        {QStringLiteral("visit https://127.0.0.1:9/ now"), "text"},
        {QStringLiteral("   "), "text"},
        {QString(), "text"},
    };
    for (const auto& c : cases) {
        copyAndCheck({{Type::String, c.text.toUtf8()}});
        const auto all = items();
        ASSERT_FALSE(all.empty());
        const ClipboardItemPtr newest = all.front();
        EXPECT_EQ(newest->type().value_or(QString()), QString::fromLatin1(c.type)) << qPrintable(c.text);
        // The text is kept as copied, untrimmed.
        EXPECT_EQ(newest->textContent().value_or(QStringLiteral("<none>")), c.text) << qPrintable(c.text);
    }
}

TEST_F(ClipboardMonitorTest, RichText) {
    const QByteArray rtf = "{\\rtf1\\ansi Hello \\b world\\b0}";
    copyAndCheck({{Type::RTF, rtf}, {Type::String, "Hello world"}});
    ClipboardItemPtr item = only();
    ASSERT_TRUE(item);
    EXPECT_EQ(item->type(), EntryType::richText);
    EXPECT_EQ(item->richTextData(), rtf);
    EXPECT_EQ(item->textContent(), QStringLiteral("Hello world"));

    // A link copied as rich text is a link that keeps its RTF.
    const QByteArray linkRtf = "{\\rtf1 ftp://files.example.org/x}";
    copyAndCheck({{Type::RTF, linkRtf}, {Type::String, " ftp://files.example.org/x "}});
    item = items().front();
    EXPECT_EQ(item->type(), EntryType::url);
    EXPECT_EQ(item->richTextData(), linkRtf);
    EXPECT_EQ(item->textContent(), QStringLiteral(" ftp://files.example.org/x "));

    // RTF without plain text: rich text with no text.
    const QByteArray bare = "{\\rtf1 only}";
    copyAndCheck({{Type::RTF, bare}});
    item = items().front();
    EXPECT_EQ(item->type(), EntryType::richText);
    EXPECT_FALSE(item->textContent());
    EXPECT_EQ(item->richTextData(), bare);
    EXPECT_EQ(items().size(), 3u);

    // A word processor also offers its own HTML: kept beside the RTF and given back by a pick, also
    // for a copy large enough to be saved off the main thread.
    const QByteArray html = "<p>Kept <b>html</b></p>";
    for (const int padding : {0, 600 * 1024}) {
        const QByteArray text = "Kept html " + QByteArray::number(padding);
        copyAndCheck({{Type::RTF, "{\\rtf1 " + text + QByteArray(padding, ' ') + "}"},
                      {Type::HTML, html},
                      {Type::String, text}});
        ASSERT_TRUE(manager->finishLargeSaves());
        item = items().front();
        ASSERT_EQ(item->textContent(), QString::fromLatin1(text));
        ASSERT_TRUE(manager->copyToPasteboard(item, false));
        EXPECT_EQ(pasteboard->data(Type::HTML), html) << padding;
    }
}

TEST_F(ClipboardMonitorTest, ImagesAreFittedAndWinOverText) {
    const struct {
        QSize size;
        Type type;
        const char* format;
        QSize scaled;
    } cases[] = {
        {{800, 200}, Type::PNG, "PNG", {400, 100}},   {{300, 300}, Type::PNG, "PNG", {300, 300}},
        {{200, 1000}, Type::TIFF, "TIFF", {80, 400}}, {{401, 401}, Type::PNG, "PNG", {400, 400}},
        {{1, 1}, Type::PNG, "PNG", {1, 1}},
    };
    int n = 0;
    for (const auto& c : cases) {
        const QImage image = solid(c.size.width(), c.size.height(), QColor(10 * ++n, 50, 90));
        copyAndCheck({{c.type, encode(image, c.format)}, {Type::RTF, "{\\rtf1 x}"}, {Type::String, "x"}});
        const ClipboardItemPtr item = items().front();
        EXPECT_EQ(item->type(), EntryType::image);
        EXPECT_EQ(item->preview(), QStringLiteral("Image"));
        EXPECT_EQ(sizeOf(item->imageData()), c.scaled) << c.size.width() << "x" << c.size.height();
        EXPECT_EQ(sizeOf(item->originalImageData()), c.size);
        // The text and rich text offered with the picture are kept beside it.
        EXPECT_EQ(item->textContent(), QStringLiteral("x"));
        EXPECT_EQ(item->richTextData(), QByteArray("{\\rtf1 x}"));
        EXPECT_EQ(item->isFavorite(), false);
    }
    EXPECT_EQ(items().size(), std::size(cases));
}

TEST_F(ClipboardMonitorTest, APictureKeepsTheTextOfferedWithIt) {
    const QByteArray picture = encode(solid(60, 20), "PNG");
    const QByteArray html = "<table><tr><td>Berlin</td><td>12</td></tr></table>";
    const QString photo = writeFile(QStringLiteral("beside/photo.png"), picture);
    const struct {
        const char* what;
        QMap<Type, QByteArray> contents;
        OptString text;
        OptData rich;
    } cases[] = {
        {"spreadsheet range",
         {{Type::PNG, picture}, {Type::HTML, html}, {Type::String, "Berlin\t12\n"}},
         QStringLiteral("Berlin\t12\n"),
         html},
        {"picture alone", {{Type::PNG, picture}}, std::nullopt, std::nullopt},
        {"empty text beside it", {{Type::PNG, picture}, {Type::String, ""}}, std::nullopt, std::nullopt},
        {"image file with its name as text",
         {{Type::FileURL, uriList({photo})}, {Type::String, "photo.png"}},
         std::nullopt,
         std::nullopt},
    };
    for (const auto& c : cases) {
        copyAndCheck(c.contents);
        const ClipboardItemPtr item = items().front();
        EXPECT_EQ(item->type(), EntryType::image) << c.what;
        EXPECT_EQ(item->textContent(), c.text) << c.what;
        EXPECT_EQ(item->richTextData(), c.rich) << c.what;
        EXPECT_EQ(item->preview(), QStringLiteral("Image")) << c.what;
    }
    // The same picture with the same text is a repeat; with other text, or none, it is not.
    EXPECT_EQ(items().size(), 2u);
    EXPECT_EQ(manager->searchItems(QStringLiteral("berlin"), std::nullopt, false, std::nullopt).size(), 1u);
    copyAndCheck({{Type::PNG, picture}, {Type::String, "Berlin\t12\n"}});
    EXPECT_EQ(items().size(), 2u);
    copyAndCheck({{Type::PNG, picture}, {Type::String, "Paris\t3\n"}});
    EXPECT_EQ(items().size(), 3u);

    // A spreadsheet also offers its own document of the range: kept, and written back by a pick so
    // that the spreadsheet pastes cells rather than the picture; other private formats are not kept.
    const QString embed =
        QStringLiteral("application/x-openoffice-embed-source-xml;windows_formatname=\"Star Embed Source (XML)\"");
    const QString descriptor =
        QStringLiteral("application/x-openoffice-objectdescriptor-xml;windows_formatname=\"Star Object Descriptor "
                       "(XML)\";classname=\"47BBB4CB-CE4C-4E80-a591-42d9ae74950f\"");
    const char documentBytes[] = "PK\x03\x04 a zipped document\0with NULs";
    // A large range is saved off the main thread: its document must come through that path too.
    for (const int padding : {0, 600 * 1024}) {
        const QByteArray document = QByteArray(documentBytes, sizeof(documentBytes) - 1) + QByteArray(padding, 'x');
        const QByteArray text = "Rome\t" + QByteArray::number(padding) + "\n";
        QThread::msleep(2); // a later millisecond, so the newest entry comes first
        pasteboard->simulateCopyFormats({{QStringLiteral("image/png"), picture},
                                         {QStringLiteral("text/rtf"), "{\\rtf1 Rome\\tab 2873}"},
                                         {QStringLiteral("UTF8_STRING"), text},
                                         {embed, document},
                                         {descriptor, "descriptor"},
                                         {QStringLiteral("application/x-openoffice-gdimetafile"), "metafile"}});
        checkAndWait();
        ASSERT_TRUE(manager->finishLargeSaves());
        const ClipboardItemPtr range = items().front();
        EXPECT_EQ(range->textContent(), QString::fromLatin1(text)) << padding;
        manager->copyToPasteboard(range, false);
        QMap<QString, QByteArray> written = pasteboard->formats();
        EXPECT_EQ(written.value(embed), document) << padding;
        EXPECT_EQ(written.value(descriptor), QByteArray("descriptor")) << padding;
        EXPECT_FALSE(written.contains(QStringLiteral("application/x-openoffice-gdimetafile")));
        EXPECT_TRUE(written.contains(QStringLiteral("image/png")));
        manager->copyToPasteboard(range, true);
        written = pasteboard->formats();
        EXPECT_EQ(written.keys(), QStringList{QStringLiteral("UTF8_STRING")});
    }
}

TEST(DocumentFormats, OnlyWholeListsAreRead) {
    const DocumentFormats::List list{{QStringLiteral("application/x-openoffice-embed-source-xml"), "doc"},
                                     {QStringLiteral("application/x-openoffice-objectdescriptor-xml"), ""}};
    const QByteArray encoded = DocumentFormats::encode(list);
    EXPECT_EQ(DocumentFormats::decode(encoded), list);
    for (const QByteArray& damaged :
         {encoded.chopped(1), encoded + "x", QByteArray::fromHex("ffffffff"), QByteArray::fromHex("00000000")})
        EXPECT_TRUE(DocumentFormats::decode(damaged).isEmpty()) << damaged.toHex().toStdString();
}

// A picture's own document formats are kept while all of them together fit the bound.
TEST(DocumentFormats, KeptOnlyWhileTogetherWithinTheBound) {
    const QString embed = QStringLiteral("application/x-openoffice-embed-source-xml");
    const QString descriptor = QStringLiteral("application/x-openoffice-objectdescriptor-xml");
    const qsizetype half = DocumentFormats::maxBytes / 2;
    const struct {
        const char* what;
        qsizetype embedBytes, descriptorBytes;
        bool kept;
    } cases[] = {
        {"together exactly the bound", half, half, true},
        {"each within, together past it", half, half + 1, false},
    };
    for (const auto& c : cases) {
        PasteboardContents contents =
            PasteboardContents::fromData({{QStringLiteral("image/png"), encode(solid(8, 8), "PNG")},
                                          {embed, QByteArray(c.embedBytes, 'e')},
                                          {descriptor, QByteArray(c.descriptorBytes, 'd')}});
        const CapturedEntry entry = ClipboardCapture::capture(contents);
        ASSERT_EQ(entry.kind, CapturedEntry::Kind::Image) << c.what;
        EXPECT_EQ(entry.documentFormats.has_value(), c.kept) << c.what;
    }
}

TEST_F(ClipboardMonitorTest, BadImageDataFallsThroughToText) {
    const QByteArray pngHeaderOnly = QByteArray::fromHex("89504e470d0a1a0a0000000d4948445200000000000000000806000000");
    const struct {
        const char* what;
        QMap<Type, QByteArray> contents;
        const char* expectedType; // "" = nothing stored
    } cases[] = {
        {"garbage PNG with text", {{Type::PNG, "definitely not an image"}, {Type::String, "caption"}}, "text"},
        {"zero-size PNG with text", {{Type::PNG, pngHeaderOnly}, {Type::String, "zero"}}, "text"},
        {"truncated PNG alone", {{Type::PNG, encode(solid(50, 50), "PNG").left(60)}}, ""},
        {"empty TIFF alone", {{Type::TIFF, QByteArray()}}, ""},
        {"nothing at all", {}, ""},
    };
    for (const auto& c : cases) {
        const size_t before = items().size();
        copyAndCheck(c.contents);
        const auto all = items();
        if (*c.expectedType == '\0') {
            EXPECT_EQ(all.size(), before) << c.what;
        } else {
            ASSERT_EQ(all.size(), before + 1) << c.what;
            EXPECT_EQ(all.front()->type(), QString::fromLatin1(c.expectedType)) << c.what;
        }
    }
}

TEST_F(ClipboardMonitorTest, HugeImageIsRefusedWithoutDecoding) {
    // A 20000 x 20000 PNG is small on the pasteboard but 1.6 GB once decoded.
    QImage big(20000, 20000, QImage::Format_Mono);
    big.fill(0);
    const QByteArray png = encode(big, "PNG");
    ASSERT_FALSE(png.isEmpty());
    copyAndCheck({{Type::PNG, png}});
    EXPECT_TRUE(items().empty());
    // The monitor is still fine afterwards.
    copyAndCheck({{Type::String, "after"}});
    EXPECT_EQ(only()->textContent(), QStringLiteral("after"));
}

TEST_F(ClipboardMonitorTest, FilesAndImageFiles) {
    const QString pdf = writeFile(QStringLiteral("docs/report.pdf"), "%PDF-1.4 test");
    const QString png = writeFile(QStringLiteral("pics/photo.PNG"), encode(solid(800, 200), "PNG"));
    const QString badJpg = writeFile(QStringLiteral("pics/broken.jpg"), "not a jpeg");
    const QString odd = writeFile(QStringLiteral("My Docs/résumé 2024.pdf"), "%PDF");
    const QString notes = writeFile(QStringLiteral("docs/notes.txt"), "notes");
    const QByteArray tiffIcon = encode(solid(32, 32), "TIFF");
    // Opening a FIFO for reading waits for a writer that never comes.
    const QString fifo = dir + QStringLiteral("/pics/pipe.png");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);

    struct Case {
        const char* what;
        QMap<Type, QByteArray> contents;
        const char* type; // "" = nothing stored
        QString path;     // for file entries
        QString preview;
        QStringList more = {}; // the other files of a copy of several
    };
    const Case cases[] = {
        {"pdf with its icon",
         {{Type::FileURL, uriList({pdf})}, {Type::TIFF, tiffIcon}},
         "file",
         pdf,
         QStringLiteral("report.pdf")},
        {"several", {{Type::FileURL, uriList({odd, pdf})}}, "file", odd, QStringLiteral("résumé 2024.pdf"), {pdf}},
        {"several, a picture first",
         {{Type::FileURL, uriList({png, notes, pdf})}},
         "file",
         png,
         QStringLiteral("photo.PNG"),
         {notes, pdf}},
        {"several, the others not of this machine",
         {{Type::FileURL, uriList({notes}) + "sftp://host.example/x.pdf\r\nfile://elsewhere.example/y\r\n"}},
         "file",
         notes,
         QStringLiteral("notes.txt")},
        {"image file", {{Type::FileURL, uriList({png})}}, "image", QString(), QStringLiteral("Image")},
        {"undecodable image file",
         {{Type::FileURL, uriList({badJpg})}, {Type::String, "broken.jpg"}},
         "text",
         QString(),
         QStringLiteral("broken.jpg")},
        {"undecodable image file alone", {{Type::FileURL, uriList({badJpg})}}, "", QString(), QString()},
        {"remote file URL", {{Type::FileURL, "sftp://host.example/x.pdf\r\n"}}, "", QString(), QString()},
        {"file URL of another host",
         {{Type::FileURL, "file://elsewhere.example/tmp/x.pdf\r\n"}},
         "",
         QString(),
         QString()},
        {"localhost file URL",
         {{Type::FileURL, "file://localhost" + QUrl::fromLocalFile(notes).toEncoded().mid(7) + "\r\n"}},
         "file",
         notes,
         QStringLiteral("notes.txt")},
        {"FIFO named like a picture, with text",
         {{Type::FileURL, uriList({fifo})}, {Type::String, "pipe.png"}},
         "text",
         QString(),
         QStringLiteral("pipe.png")},
        {"malformed list", {{Type::FileURL, "::::\n%%%zz\n\x01\x02\n#comment\n"}}, "", QString(), QString()},
        {"malformed list with text",
         {{Type::FileURL, "not a uri"}, {Type::String, "plain"}},
         "text",
         QString(),
         QStringLiteral("plain")},
        {"empty list", {{Type::FileURL, ""}}, "", QString(), QString()},
        {"list ending in a NUL, as file managers send it",
         {{Type::FileURL, QUrl::fromLocalFile(notes).toEncoded() + QByteArray(1, '\0')}},
         "file",
         notes,
         QStringLiteral("notes.txt")},
        {"NUL inside the path",
         {{Type::FileURL, QUrl::fromLocalFile(notes).toEncoded() + "%00.pdf"}},
         "",
         QString(),
         QString()},
    };
    for (const Case& c : cases) {
        const auto before = items();
        copyAndCheck(c.contents);
        const auto all = items();
        if (*c.type == '\0') {
            EXPECT_EQ(all.size(), before.size()) << c.what;
            continue;
        }
        ASSERT_FALSE(all.empty()) << c.what;
        const ClipboardItemPtr item = all.front();
        EXPECT_EQ(item->type(), QString::fromLatin1(c.type)) << c.what;
        EXPECT_EQ(item->preview(), c.preview) << c.what;
        if (QString::fromLatin1(c.type) == EntryType::file) {
            EXPECT_EQ(item->filePath(), c.path) << c.what;
            EXPECT_EQ(item->additionalFilePaths(), c.more) << c.what;
            EXPECT_FALSE(item->imageData()) << c.what;
        }
        if (QString::fromLatin1(c.type) == EntryType::image) {
            EXPECT_EQ(sizeOf(item->imageData()), QSize(400, 100)) << c.what;
            EXPECT_FALSE(item->filePath()) << c.what;
        }
    }
}

// Copies by a real X client, read over the X clipboard: a text empty once decoded is the empty
// string, and a URI list whose path the system would refuse as too long names no file.
TEST_F(ClipboardMonitorTest, WhatAnXOwnerOffersIsRecordedAsTheSameCopyInMemoryWouldBe) {
    ASSERT_NE(testXServer(), nullptr);
    Pasteboard::setGeneral(std::make_unique<ClipboardPasteboard>());
    monitor = std::make_unique<ClipboardMonitor>(manager.get(), Pasteboard::general().changeCount());
    manager->setClipboardMonitor(monitor.get());
    monitor->startMonitoring();
    const QString pdf = writeFile(QStringLiteral("docs/report.pdf"), "%PDF");
    const QString atNameMax = QStringLiteral("/tmp/") + QString(NAME_MAX, u'n');
    const QString component = QLatin1Char('/') + QString(199, u'p'); // 200 bytes
    const QString atPathMax = component.repeated((PATH_MAX - 1) / 200) + QLatin1Char('/') +
                              QString((PATH_MAX - 1) % 200 - 1, u'q'); // PATH_MAX - 1 bytes
    auto list = [](const QString& path) { return QUrl::fromLocalFile(path).toEncoded() + "\r\n"; };
    const struct {
        const char* what;
        const char* target;
        QByteArray data;
        const char* type; // "" = nothing new stored
        QString value;    // the text, or the file's path
        size_t rows;
    } cases[] = {
        {"empty string", "UTF8_STRING", "", "text", "", 1},
        {"byte-order mark only", "UTF8_STRING", "\xEF\xBB\xBF", "text", "", 1},
        {"empty before a NUL", "UTF8_STRING", QByteArray("\0after", 6), "text", "", 1},
        {"white space", "UTF8_STRING", " \n", "text", QStringLiteral(" \n"), 2},
        {"the same bytes in Latin-1", "STRING", "\xEF\xBB\xBF", "text", QStringLiteral("\u00EF\u00BB\u00BF"), 3},
        {"a file", "text/uri-list", list(pdf), "file", pdf, 4},
        {"a name of NAME_MAX bytes", "text/uri-list", list(atNameMax), "file", atNameMax, 5},
        {"a name longer than NAME_MAX", "text/uri-list", list(atNameMax + u'n'), "", {}, 5},
        {"a name of NAME_MAX UTF-16 units, more bytes", "text/uri-list", list(QString(NAME_MAX, u'\u00E9')), "", {}, 5},
        {"a path of PATH_MAX - 1 bytes", "text/uri-list", list(atPathMax), "file", atPathMax, 6},
        {"a path of PATH_MAX bytes", "text/uri-list", list(atPathMax + u'q'), "", {}, 6},
        {"one line of 10 MB", "text/uri-list", "file:///" + QByteArray(10 * 1024 * 1024, 'a') + "\r\n", "", {}, 6},
    };
    std::vector<std::unique_ptr<QProcess>> owners;
    for (const auto& c : cases) {
        const QString file = writeFile(QStringLiteral("clip/%1").arg(owners.size()), c.data);
        const qint64 seen = monitor->lastChangeCount;
        QThread::msleep(2);
        auto& owner = owners.emplace_back(std::make_unique<QProcess>());
        owner->start(QStringLiteral("xclip"),
                     {QStringLiteral("-quiet"), QStringLiteral("-selection"), QStringLiteral("clipboard"),
                      QStringLiteral("-t"), QString::fromLatin1(c.target), QStringLiteral("-i"), file});
        ASSERT_TRUE(owner->waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(monitor->lastChangeCount != seen && !monitor->isCapturing(), 15000);
        const auto all = items();
        ASSERT_EQ(all.size(), c.rows) << c.what;
        if (*c.type == '\0')
            continue;
        EXPECT_EQ(all.front()->type(), QString::fromLatin1(c.type)) << c.what;
        EXPECT_EQ(*c.type == 'f' ? all.front()->filePath() : all.front()->textContent(), c.value) << c.what;
    }
    for (auto& owner : owners) {
        owner->kill();
        owner->waitForFinished();
    }
}

// A copy of many files: written by the writer thread, folded when repeated, read back whole by a
// pick of the entry as a page shows it.
TEST_F(ClipboardMonitorTest, ACopyOfManyFilesIsKeptWhole) {
    QStringList paths;
    for (int i = 0; i < 10000; ++i)
        paths << QStringLiteral("/home/someone/Pictures/holiday/IMG_%1.jpeg").arg(i);
    for (int copy = 0; copy < 2; ++copy) {
        copyAndCheck({{Type::FileURL, uriList(paths)}});
        ASSERT_TRUE(manager->largeEntryWriter());
        ASSERT_TRUE(manager->finishLargeSaves());
    }
    const auto page = manager->fetchItems(20, 0, false, std::nullopt);
    ASSERT_EQ(page.size(), 1u);
    EXPECT_EQ(page[0]->filePath(), paths.first());
    EXPECT_EQ(page[0]->additionalFileCount(), paths.size() - 1);
    bool written = false;
    manager->pickToPasteboard(page[0], false, [&written](bool ok) { written = ok; });
    manager->finishPickReads();
    QTRY_VERIFY(written);
    const QList<QUrl> urls = pasteboard->urls();
    ASSERT_EQ(urls.size(), paths.size());
    EXPECT_EQ(urls.last().toLocalFile(), paths.last());
}

TEST_F(ClipboardMonitorTest, RepeatsFoldAndTakeTheNewSource) {
    const QByteArray png = encode(solid(64, 64), "PNG");
    const QString pdf = writeFile(QStringLiteral("a.pdf"), "%PDF");
    workspace->front = RunningApplication{QStringLiteral("Painter"), QStringLiteral("org.example.Painter"), 42};
    copyAndCheck({{Type::PNG, png}});
    copyAndCheck({{Type::FileURL, uriList({pdf})}});
    ASSERT_EQ(items().size(), 2u);
    ClipboardItemPtr image = items().back();
    ASSERT_EQ(image->type(), EntryType::image);
    ASSERT_TRUE(image->sourceApp());
    EXPECT_EQ(image->sourceApp()->appName(), QStringLiteral("Painter"));
    const QDateTime firstStamp = *image->timestamp();

    workspace->front.reset();
    copyAndCheck({{Type::PNG, png}});
    ASSERT_EQ(items().size(), 2u);
    image = items().front();
    EXPECT_EQ(image->type(), EntryType::image);
    EXPECT_GT(*image->timestamp(), firstStamp);
    EXPECT_FALSE(image->sourceApp()); // no application in front this time

    workspace->front = RunningApplication{QStringLiteral("Files"), QStringLiteral("org.example.Files"), 7};
    copyAndCheck({{Type::FileURL, uriList({pdf})}});
    ASSERT_EQ(items().size(), 2u);
    EXPECT_EQ(items().front()->type(), EntryType::file);
    EXPECT_EQ(items().front()->sourceApp()->bundleId(), QStringLiteral("org.example.Files"));

    // Both image entries from one application share its record.
    workspace->front = RunningApplication{QStringLiteral("Painter"), QStringLiteral("org.example.Painter"), 42};
    copyAndCheck({{Type::PNG, encode(solid(10, 10), "PNG")}});
    copyAndCheck({{Type::PNG, png}});
    FetchRequest apps;
    apps.entityName = QStringLiteral("SourceApp");
    EXPECT_EQ(context->fetchSourceApps(apps).size(), 2u);
    const auto all = items();
    EXPECT_EQ(all.size(), 3u);
    std::vector<SourceAppPtr> imageSources;
    for (const auto& item : all) {
        if (item->type() == EntryType::image)
            imageSources.push_back(item->sourceApp());
    }
    ASSERT_EQ(imageSources.size(), 2u);
    ASSERT_TRUE(imageSources[0]);
    EXPECT_EQ(imageSources[0], imageSources[1]);
    EXPECT_EQ(imageSources[0]->bundleId(), QStringLiteral("org.example.Painter"));
}

// This desktop's owners: GTK's text/plain with CRLF beside the text as it is, HTML as rich text,
// and password managers' secrets. A picked HTML entry offers its HTML and its text back.
TEST_F(ClipboardMonitorTest, DesktopConventions) {
    const QByteArray html = "<meta charset=\"utf-8\"><p>Hello <b>world</b></p>";
    const QByteArray rtf = "{\\rtf1 Hello \\b world\\b0}";
    const struct {
        const char* what;
        QMap<QString, QByteArray> formats;
        const char* type; // "" = nothing stored
        OptString text;
        OptData rich;
    } cases[] = {
        {"GTK text",
         {{"text/plain;charset=utf-8", "one\r\ntwo\r\nthree"}, {"UTF8_STRING", "one\ntwo\nthree"}},
         "text",
         QStringLiteral("one\ntwo\nthree"),
         std::nullopt},
        {"HTML without RTF",
         {{"text/html", html}, {"UTF8_STRING", "Hello world"}},
         "richText",
         QStringLiteral("Hello world"),
         html},
        {"RTF wins over HTML",
         {{"text/html", html}, {"text/rtf", rtf}, {"UTF8_STRING", "Hello world!"}},
         "richText",
         QStringLiteral("Hello world!"),
         rtf},
        {"HTML of a link",
         {{"text/html", "<a href=\"http://127.0.0.1:9/\">x</a>"}, {"UTF8_STRING", "http://127.0.0.1:9/"}},
         "url",
         QStringLiteral("http://127.0.0.1:9/"),
         QByteArray("<a href=\"http://127.0.0.1:9/\">x</a>")},
        {"blank HTML is no rich text",
         {{"text/html", " \n"}, {"UTF8_STRING", "blank html"}},
         "text",
         QStringLiteral("blank html"),
         std::nullopt},
        {"a password manager's secret",
         {{"UTF8_STRING", "hunter2"}, {"x-kde-passwordManagerHint", "secret"}},
         "",
         std::nullopt,
         std::nullopt},
        {"another hint",
         {{"UTF8_STRING", "not secret"}, {"x-kde-passwordManagerHint", "other"}},
         "text",
         QStringLiteral("not secret"),
         std::nullopt},
        {"text and RTF sent as C strings",
         {{"UTF8_STRING", QByteArray("C string\0", 9)}, {"text/rtf", rtf + QByteArray(2, '\0')}},
         "richText",
         QStringLiteral("C string"),
         rtf},
        {"HTML and text ending at an inner NUL",
         {{"text/html", html + QByteArray("\0<p>junk</p>", 12)}, {"UTF8_STRING", QByteArray("kept\0junk", 9)}},
         "richText",
         QStringLiteral("kept"),
         html},
        {"Latin-1 text ending in a NUL",
         {{"STRING", QByteArray("caf\xe9\0", 5)}},
         "text",
         QStringLiteral("caf\u00e9"),
         std::nullopt},
        {"UTF-8 before its Latin-1 fallback",
         {{"STRING", "caf\xe9 ?"}, {"UTF8_STRING", "caf\xc3\xa9 \xe2\x82\xac"}},
         "text",
         QStringLiteral("caf\u00e9 \u20ac"),
         std::nullopt},
        {"RTF keeps NULs inside its binary data",
         {{"text/rtf", QByteArray("{\\rtf1 {\\pict\\bin2 \0\0} bin}\0", 28)}, {"UTF8_STRING", "bin"}},
         "richText",
         QStringLiteral("bin"),
         QByteArray("{\\rtf1 {\\pict\\bin2 \0\0} bin}", 27)},
    };
    for (const auto& c : cases) {
        const size_t before = items().size();
        QThread::msleep(2); // a later time stamp than the copy before
        pasteboard->simulateCopyFormats(c.formats);
        checkAndWait();
        if (*c.type == '\0') {
            EXPECT_EQ(items().size(), before) << c.what;
            continue;
        }
        ASSERT_EQ(items().size(), before + 1) << c.what;
        const ClipboardItemPtr item = items().front();
        EXPECT_EQ(item->type(), QString::fromLatin1(c.type)) << c.what;
        EXPECT_EQ(item->textContent(), c.text) << c.what;
        EXPECT_EQ(item->richTextData(), c.rich) << c.what;
    }
    // The same three lines copied from a terminal fold into the GTK entry.
    copyAndCheck({{Type::String, "one\ntwo\nthree"}});
    EXPECT_EQ(items().size(), 11u);

    ClipboardItemPtr htmlItem;
    for (const auto& item : items())
        if (item->richTextData() == html)
            htmlItem = item;
    ASSERT_TRUE(htmlItem);
    manager->copyToPasteboard(htmlItem, false);
    EXPECT_EQ(pasteboard->types(), (QList<Type>{Type::String, Type::HTML}));
    EXPECT_EQ(pasteboard->data(Type::HTML), html);
    manager->copyToPasteboard(htmlItem, true);
    EXPECT_EQ(pasteboard->types(), QList<Type>{Type::String});
}

// What the reader thread works out ahead must be what the store would work out itself.
TEST(PrecomputedContent, AnswersWhatTheStoreWouldCompute) {
    const QString ascii = QStringLiteral("Some PLAIN ascii Text, line after line.\n").repeated(4000);
    const QString accented = QStringLiteral("Cafe\u0301 CAFÉ Straße \U0001F600 ").repeated(8000);
    const QByteArray bytes = QByteArray(300 * 1024, 'x') + "end";
    const struct {
        const char* type;
        OptString text;
        OptData image;
    } cases[] = {{"text", ascii, std::nullopt},
                 {"richText", accented, std::nullopt},
                 {"url", ascii, std::nullopt},
                 {"image", std::nullopt, bytes}};
    for (const auto& c : cases) {
        const QString type = QString::fromLatin1(c.type);
        // Deep copies: other data, so nothing precomputed answers for them.
        const OptString textCopy = c.text ? OptString(QString(c.text->constData(), c.text->size())) : std::nullopt;
        const OptData imageCopy = c.image ? OptData(QByteArray(c.image->constData(), c.image->size())) : std::nullopt;
        const QByteArray expected = ManagedObjectContext::contentDigest(type, textCopy, imageCopy, std::nullopt, {});
        const PrecomputedContent ahead(type, c.text, c.image, std::nullopt);
        EXPECT_EQ(PrecomputedContent::digest(type, c.text, c.image, std::nullopt), expected) << c.type;
        EXPECT_EQ(ManagedObjectContext::contentDigest(type, c.text, c.image, std::nullopt, {}), expected) << c.type;
        if (c.text) {
            EXPECT_EQ(TextFolding::fold(*c.text), TextFolding::fold(*textCopy)) << c.type;
            EXPECT_TRUE(PrecomputedContent::folded(*c.text)) << c.type;
            EXPECT_FALSE(PrecomputedContent::folded(*textCopy)) << "equal but separate data is not answered";
        }
    }
    EXPECT_FALSE(PrecomputedContent::digest(QStringLiteral("text"), ascii, std::nullopt, std::nullopt))
        << "gone with the capture";
}

TEST_F(ClipboardMonitorTest, SourceApplicationName) {
    workspace->front = RunningApplication{QString(), QString(), 0};
    copyAndCheck({{Type::String, "no name, no id"}});
    EXPECT_FALSE(items().front()->sourceApp());
    workspace->front = RunningApplication{QString(), QStringLiteral("org.example.Nameless"), 0};
    copyAndCheck({{Type::String, "id without a name"}});
    ASSERT_TRUE(items().front()->sourceApp());
    EXPECT_EQ(items().front()->sourceApp()->appName(), QStringLiteral("Unknown"));
}

TEST_F(ClipboardMonitorTest, PollingSkipsLaunchContentsAndCopyBack) {
    // Contents present before the monitor existed are never read.
    pasteboard->simulateCopy({{Type::String, "at launch"}});
    monitor = std::make_unique<ClipboardMonitor>(manager.get(), pasteboard->changeCount());
    manager->setClipboardMonitor(monitor.get());
    monitor->startMonitoring();
    ASSERT_TRUE(monitor->timer);
    EXPECT_EQ(monitor->timer->interval(), 500);

    pasteboard->simulateCopy({{Type::String, "first copy"}});
    QTRY_COMPARE(items().size(), size_t(1));
    EXPECT_EQ(items().front()->textContent(), QStringLiteral("first copy"));

    // Our own write: announced, skipped once, recorded no more.
    monitor->skipNextChangeCount = pasteboard->changeCount() + 1;
    pasteboard->clearContents();
    pasteboard->setString(QStringLiteral("written back"));
    QTRY_COMPARE(monitor->lastChangeCount, pasteboard->changeCount());
    EXPECT_FALSE(monitor->skipNextChangeCount);
    EXPECT_EQ(items().size(), 1u);

    // A copy by someone else right after our write: the count passes the skip value, and the
    // stale value harms nothing later.
    monitor->skipNextChangeCount = pasteboard->changeCount() + 1;
    pasteboard->clearContents();
    pasteboard->setString(QStringLiteral("written back again"));
    pasteboard->simulateCopy({{Type::String, "other app"}});
    QTRY_COMPARE(items().size(), size_t(2));
    EXPECT_EQ(items().front()->textContent(), QStringLiteral("other app"));
    EXPECT_TRUE(monitor->skipNextChangeCount);
    pasteboard->simulateCopy({{Type::String, "later"}});
    QTRY_COMPARE(items().size(), size_t(3));

    // Copies closer together than one tick: each change reported is read for itself, in order.
    for (const char* text : {"burst one", "burst two", "burst three"})
        pasteboard->simulateCopy({{Type::String, text}});
    QTRY_COMPARE(items().size(), size_t(6));
    EXPECT_EQ(items()[0]->textContent(), QStringLiteral("burst three"));
    EXPECT_EQ(items()[2]->textContent(), QStringLiteral("burst one"));

    // Stopping ends the polling.
    monitor->stopMonitoring();
    EXPECT_FALSE(monitor->timer);
    const qint64 seen = monitor->lastChangeCount;
    pasteboard->simulateCopy({{Type::String, "after stop"}});
    QTest::qWait(700); // more than a tick, in which nothing may be read
    EXPECT_EQ(monitor->lastChangeCount, seen);
    EXPECT_EQ(items().size(), 6u);
}

} // namespace
