// SPDX-License-Identifier: MIT
// The X11 pasteboard against real X clients on a private Xvfb.
#include "platform/x11/ClipboardPasteboard.h"

#include "platform/PasteboardContents.h"
#include "support/HostileClipboardOwner.h"
#include "support/TestEnvironment.h"
#include "support/XvfbSession.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryFile>
#include <QTest>

#include <gtest/gtest.h>

#include <atomic>

namespace {

// xclip owning the CLIPBOARD with one target until it loses it or is ended.
class Xclip {
public:
    Xclip(const QByteArray& data, const QString& target) {
        m_file.open();
        m_file.write(data);
        m_file.flush();
        m_process.start(QStringLiteral("xclip"),
                        {QStringLiteral("-quiet"), QStringLiteral("-selection"), QStringLiteral("clipboard"),
                         QStringLiteral("-t"), target, QStringLiteral("-i"), m_file.fileName()});
        m_process.waitForStarted(5000);
    }
    ~Xclip() {
        m_process.terminate();
        if (!m_process.waitForFinished(3000))
            m_process.kill();
        m_process.waitForFinished(1000);
    }

private:
    QTemporaryFile m_file;
    QProcess m_process;
};

// Reads the CLIPBOARD as another client would; our event loop keeps running meanwhile, since it is
// what answers the request.
QByteArray readClipboardWithXclip(const QString& target) {
    QProcess reader;
    reader.start(QStringLiteral("xclip"), {QStringLiteral("-o"), QStringLiteral("-selection"),
                                           QStringLiteral("clipboard"), QStringLiteral("-t"), target});
    if (!reader.waitForStarted(5000))
        return {};
    EXPECT_TRUE(QTest::qWaitFor([&] { return reader.state() == QProcess::NotRunning; }, 10000));
    return reader.readAllStandardOutput();
}

// What one read of the pasteboard found; filled on the reader's thread, looked at once done.
struct Read {
    std::atomic<bool> done{false};
    QStringList formats;
    std::optional<QString> text;
    std::optional<QByteArray> html, png;
    QList<QUrl> urls;
    bool concealed = false;
};

std::shared_ptr<Read> startRead(Pasteboard& pasteboard) {
    auto read = std::make_shared<Read>();
    pasteboard.readContents([read](PasteboardContents& contents) {
        read->formats = contents.formats();
        read->concealed = contents.isConcealed();
        read->png = contents.data(Pasteboard::Type::PNG);
        read->urls = contents.urls();
        read->html = contents.data(Pasteboard::Type::HTML);
        read->text = contents.string();
        read->done = true;
    });
    return read;
}

std::shared_ptr<Read> readOnce(Pasteboard& pasteboard) {
    auto read = startRead(pasteboard);
    EXPECT_TRUE(QTest::qWaitFor([&] { return read->done.load(); }, ClipboardPasteboard::readBudgetMs + 5000));
    return read;
}

void waitForChange(ClipboardPasteboard& pasteboard, qint64 from) {
    ASSERT_TRUE(QTest::qWaitFor([&] { return pasteboard.changeCount() > from; }, 5000));
}

// Reads until the new owner's text is there: the previous owner's leaving is a change as well, and
// may be reported after the new owner started.
std::shared_ptr<Read> readUntilText(Pasteboard& pasteboard, const QString& expected) {
    std::shared_ptr<Read> read;
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            read = readOnce(pasteboard);
            return read->text == expected;
        },
        10000))
        << qPrintable(expected);
    return read;
}

} // namespace

TEST(ClipboardPasteboard, ForeignChangesCountAndOurWriteCountsOnce) {
    ASSERT_NE(testXServer(), nullptr);
    ClipboardPasteboard pasteboard;
    int reported = 0;
    pasteboard.setChangeHandler([&] { ++reported; });
    const qint64 start = pasteboard.changeCount();
    {
        Xclip owner("caf\xc3\xa9 \xe2\x80\x94 from another client", QStringLiteral("UTF8_STRING"));
        waitForChange(pasteboard, start);
        EXPECT_EQ(reported, 1);
        const auto read = readOnce(pasteboard);
        EXPECT_EQ(read->text, QStringLiteral("café — from another client"));
        EXPECT_FALSE(read->html);

        const qint64 before = pasteboard.changeCount();
        EXPECT_EQ(pasteboard.clearContents(), before + 1);
        pasteboard.setString(QStringLiteral("written back"));
        pasteboard.setData(Pasteboard::Type::RTF, "{\\rtf1 written back}");
        pasteboard.setData(Pasteboard::Type::HTML, "<b>written</b> back");
        QTest::qWait(200); // time for a wrongly counted change of our own to arrive
        EXPECT_EQ(pasteboard.changeCount(), before + 1) << "our own write must move the count exactly once";
        EXPECT_EQ(reported, 1) << "our own write is no change of another client";
    }
    EXPECT_EQ(readClipboardWithXclip(QStringLiteral("UTF8_STRING")), QByteArray("written back"));
    EXPECT_EQ(readClipboardWithXclip(QStringLiteral("text/rtf")), QByteArray("{\\rtf1 written back}"));
    EXPECT_EQ(readClipboardWithXclip(QStringLiteral("text/html")), QByteArray("<b>written</b> back"));

    // A provided representation is announced at once and made only when a client asks, once.
    int made = 0;
    pasteboard.clearContents();
    pasteboard.setData(Pasteboard::Type::PNG, "png bytes");
    pasteboard.setDataProvider(Pasteboard::Type::TIFF, [&made] {
        ++made;
        return QByteArray("tiff bytes");
    });
    EXPECT_TRUE(readClipboardWithXclip(QStringLiteral("TARGETS")).contains("image/tiff"));
    EXPECT_EQ(readClipboardWithXclip(QStringLiteral("image/png")), QByteArray("png bytes"));
    EXPECT_EQ(made, 0);
    EXPECT_EQ(readClipboardWithXclip(QStringLiteral("image/tiff")), QByteArray("tiff bytes"));
    EXPECT_EQ(readClipboardWithXclip(QStringLiteral("image/tiff")), QByteArray("tiff bytes"));
    EXPECT_EQ(made, 1);
}

// Owners that never answer, die in the middle or refuse slowly: the caller never waits, the read
// ends within one budget for all formats together, and the next owner is read normally.
TEST(ClipboardPasteboard, HostileOwnersCostOneBudgetOffTheCallingThread) {
    ASSERT_NE(testXServer(), nullptr);
    ClipboardPasteboard pasteboard;
    const struct {
        const char* what;
        HostileOwner::Mode mode;
        HostileOwner::Targets targets;
    } cases[] = {
        {"never replies", HostileOwner::Mode::Hang, {{"UTF8_STRING", ""}, {"image/png", ""}, {"text/uri-list", ""}}},
        {"dies mid-transfer", HostileOwner::Mode::Die, {{"UTF8_STRING", ""}, {"image/png", ""}}},
        {"refuses 40 images slowly", HostileOwner::Mode::SlowRefuse, HostileOwner::manyImageTargets(40)},
    };
    std::unique_ptr<Xclip> next;
    for (const auto& c : cases) {
        const qint64 start = pasteboard.changeCount();
        {
            HostileOwner owner(c.mode, c.targets);
            waitForChange(pasteboard, start);
            const auto read = startRead(pasteboard);
            if (c.mode != HostileOwner::Mode::Die) {
                EXPECT_FALSE(read->done) << c.what << ": the read must not run on the calling thread";
            }
            // A second change's read waits behind the stuck one; meanwhile we write the clipboard.
            std::shared_ptr<Read> queued;
            if (c.mode == HostileOwner::Mode::Hang) {
                ASSERT_TRUE(QTest::qWaitFor([&] { return owner.dataRequests() == 1; }, 5000));
                queued = startRead(pasteboard);
                pasteboard.clearContents();
                pasteboard.setString(QStringLiteral("our own write"));
            }
            ASSERT_TRUE(QTest::qWaitFor([&] { return read->done.load(); }, ClipboardPasteboard::readBudgetMs + 5000))
                << c.what;
            EXPECT_FALSE(read->text) << c.what;
            EXPECT_FALSE(read->png) << c.what;
            if (c.mode == HostileOwner::Mode::Hang) {
                EXPECT_EQ(owner.dataRequests(), 1) << "an owner that let the budget run out is not asked again";
            }
            if (queued) {
                ASSERT_TRUE(QTest::qWaitFor([&] { return queued->done.load(); }, 5000));
                EXPECT_FALSE(queued->text) << "a change replaced by our own write is not read as another's copy";
            }
            if (c.mode == HostileOwner::Mode::SlowRefuse) {
                EXPECT_GT(owner.dataRequests(), 1) << c.what;
                EXPECT_LT(owner.dataRequests(), 40) << "the budget ends the change, not the number of formats";
            }
        }
        // Kept until the next owner takes over, so that its leaving is no change of its own.
        next = std::make_unique<Xclip>("after " + QByteArray(c.what), QStringLiteral("UTF8_STRING"));
        readUntilText(pasteboard, QStringLiteral("after ") + QLatin1String(c.what));
    }
}

// This desktop's conventions, with owners offering what GTK, browsers and password managers offer.
TEST(ClipboardPasteboard, TextAsTheOwnerHoldsItHtmlAndSecrets) {
    ASSERT_NE(testXServer(), nullptr);
    ClipboardPasteboard pasteboard;
    const struct {
        const char* what;
        HostileOwner::Targets targets;
        std::optional<QString> text;
        std::optional<QByteArray> html;
        bool concealed;
    } cases[] = {
        {"GTK text: CRLF only in text/plain",
         {{"text/plain;charset=utf-8", "one\r\ntwo\r\n"}, {"UTF8_STRING", "one\ntwo\n"}, {"TEXT", "one\ntwo\n"}},
         QStringLiteral("one\ntwo\n"),
         std::nullopt,
         false},
        {"browser HTML",
         {{"text/html", "<meta charset=\"utf-8\"><b>bold</b>"}, {"UTF8_STRING", "bold"}},
         QStringLiteral("bold"),
         QByteArray("<meta charset=\"utf-8\"><b>bold</b>"),
         false},
        {"Latin-1 STRING only", {{"STRING", "caf\xe9"}}, QStringLiteral("café"), std::nullopt, false},
        {"password manager's secret",
         {{"UTF8_STRING", "hunter2"}, {"x-kde-passwordManagerHint", "secret"}},
         QStringLiteral("hunter2"),
         std::nullopt,
         true},
    };
    std::unique_ptr<HostileOwner> owner;
    for (const auto& c : cases) {
        const qint64 start = pasteboard.changeCount();
        // The new owner takes over before the old one goes, so its leaving is no change of its own.
        owner = std::make_unique<HostileOwner>(HostileOwner::Mode::Serve, c.targets);
        waitForChange(pasteboard, start);
        const auto read = readOnce(pasteboard);
        EXPECT_EQ(read->text, c.text) << c.what;
        EXPECT_EQ(read->html, c.html) << c.what;
        EXPECT_EQ(read->concealed, c.concealed) << c.what;
    }
}

// A text too large for one property arrives in pieces (INCR) and is put together whole.
TEST(ClipboardPasteboard, IncrementalTransferArrivesWhole) {
    ASSERT_NE(testXServer(), nullptr);
    ClipboardPasteboard pasteboard;
    QByteArray big;
    for (int i = 0; big.size() < 24 * 1024 * 1024; ++i)
        big += QByteArray::number(i) + " lines of a long text\n";
    Xclip owner(big, QStringLiteral("UTF8_STRING"));
    const auto read = readUntilText(pasteboard, QString::fromUtf8(big));
    ASSERT_TRUE(read->text);
    EXPECT_EQ(read->text->size(), big.size());
}
