// SPDX-License-Identifier: MIT
// The X11 pasteboard against real X clients on a private Xvfb.
#include "platform/x11/ClipboardPasteboard.h"

#include "support/HostileClipboardOwner.h"
#include "support/TestEnvironment.h"
#include "support/XvfbSession.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

namespace {

// xclip owning the CLIPBOARD with one target until it loses it or is ended.
class Xclip {
public:
    Xclip(const QByteArray& data, const QString& target) {
        m_process.start(QStringLiteral("xclip"), {QStringLiteral("-quiet"), QStringLiteral("-selection"),
                                                  QStringLiteral("clipboard"), QStringLiteral("-t"), target});
        m_process.waitForStarted(5000);
        m_process.write(data);
        m_process.closeWriteChannel();
    }
    ~Xclip() {
        m_process.terminate();
        if (!m_process.waitForFinished(3000))
            m_process.kill();
        m_process.waitForFinished(1000);
    }

private:
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
    QTest::qWaitFor([&] { return reader.state() == QProcess::NotRunning; }, 10000);
    return reader.readAllStandardOutput();
}

} // namespace

TEST(ClipboardPasteboard, ForeignChangesCountAndOurWriteCountsOnce) {
    ASSERT_NE(testXServer(), nullptr);
    ClipboardPasteboard pasteboard;
    const qint64 start = pasteboard.changeCount();
    {
        Xclip owner("caf\xc3\xa9 \xe2\x80\x94 from another client", QStringLiteral("UTF8_STRING"));
        ASSERT_TRUE(QTest::qWaitFor([&] { return pasteboard.changeCount() > start; }, 5000));
        EXPECT_EQ(pasteboard.string(), QStringLiteral("café — from another client"));
        EXPECT_FALSE(pasteboard.data(Pasteboard::Type::RTF));

        const qint64 before = pasteboard.changeCount();
        EXPECT_EQ(pasteboard.clearContents(), before + 1);
        pasteboard.setString(QStringLiteral("written back"));
        pasteboard.setData(Pasteboard::Type::RTF, "{\\rtf1 written back}");
        QTest::qWait(200);
        EXPECT_EQ(pasteboard.changeCount(), before + 1) << "our own write must move the count exactly once";
    }
    EXPECT_EQ(readClipboardWithXclip(QStringLiteral("UTF8_STRING")), QByteArray("written back"));
    EXPECT_EQ(readClipboardWithXclip(QStringLiteral("text/rtf")), QByteArray("{\\rtf1 written back}"));

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

// An owner that announces several formats and then answers none: after the first read runs into the
// X time-out the others are not requested for the same change, so the main thread waits once.
TEST(ClipboardPasteboard, UnresponsiveOwnerIsAskedOncePerChange) {
    ASSERT_NE(testXServer(), nullptr);
    ClipboardPasteboard pasteboard;
    const qint64 start = pasteboard.changeCount();
    HostileOwner owner(HostileOwner::Mode::Hang);
    ASSERT_TRUE(QTest::qWaitFor([&] { return pasteboard.changeCount() > start; }, 5000));

    const QList<Pasteboard::Type> types = pasteboard.types();
    EXPECT_TRUE(types.contains(Pasteboard::Type::String));
    EXPECT_FALSE(pasteboard.data(Pasteboard::Type::PNG));
    EXPECT_TRUE(pasteboard.urls().isEmpty());
    EXPECT_FALSE(pasteboard.string());
    EXPECT_EQ(owner.dataRequests(), 1);
}
