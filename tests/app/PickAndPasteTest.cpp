// SPDX-License-Identifier: MIT
// The built application under Xvfb with openbox, driven as a user would with xdotool: the hot key
// shows the panel over a Qt line edit or an xterm, keys pick, paste, delete and search.
#include "app/AppTestSupport.h"
#include "support/XvfbSession.h"

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QMimeData>
#include <QProcess>
#include <QTest>

#include <csignal>
#include <memory>

namespace {

constexpr int kWaitMs = 15000;

QString xdotool(const QStringList& args) {
    QByteArray out;
    XvfbSession::runClient(QStringLiteral("xdotool"), args, &out);
    return QString::fromUtf8(out).trimmed();
}

QByteArray xclipOut(const QString& target = QString()) {
    QStringList args = {QStringLiteral("-o"), QStringLiteral("-selection"), QStringLiteral("clipboard")};
    if (!target.isEmpty())
        args << QStringLiteral("-t") << target;
    QByteArray out;
    XvfbSession::runClient(QStringLiteral("xclip"), args, &out);
    return out;
}

void setLayout(const QString& layout) {
    XvfbSession::runClient(QStringLiteral("setxkbmap"), {layout});
}

// A program with a window in front, whose received text is read back from a file.
struct FrontProgram {
    QProcess process;
    QString textFile;
    QString windowId;

    void start(const QString& program, const QStringList& args, const QString& file, const QString& windowName) {
        textFile = file;
        process.start(program, args);
        EXPECT_TRUE(process.waitForStarted(5000));
        EXPECT_TRUE(QTest::qWaitFor(
            [&] {
                return !(windowId = xdotool({"search", "--sync", "--onlyvisible", "--name", windowName})).isEmpty();
            },
            kWaitMs));
        windowId = windowId.section(QLatin1Char('\n'), 0, 0);
    }
    ~FrontProgram() {
        process.terminate();
        if (!process.waitForFinished(3000))
            process.kill();
        process.waitForFinished(3000);
    }
    void activate() {
        xdotool({"windowactivate", "--sync", windowId});
        EXPECT_TRUE(QTest::qWaitFor([&] { return xdotool({"getactivewindow"}) == windowId; }, kWaitMs));
    }
    QString text() const {
        QFile file(textFile);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
};

class PickAndPasteTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_TRUE(testXServer()->startWindowManager()); }
    void TearDown() override { setLayout(QStringLiteral("us")); }

    static bool panelVisible() { return !xdotool({"search", "--onlyvisible", "--classname", "tindralume"}).isEmpty(); }
    void showPanel(const QString& hotKey = QStringLiteral("super+shift+v")) {
        xdotool({"key", hotKey});
        ASSERT_TRUE(QTest::qWaitFor([] { return panelVisible(); }, kWaitMs));
        QTest::qWait(400); // the slide and the first page
    }
    void expectHidden() {
        EXPECT_TRUE(QTest::qWaitFor([] { return !panelVisible(); }, kWaitMs));
    }
};

TEST_F(PickAndPasteTest, KeysPickPasteDeleteAndSearch) {
    const QString dir = TestEnvironment::instance().freshDir(QStringLiteral("pick"));
    QDir().mkpath(TestEnvironment::instance().configHome() + QStringLiteral("/Tindralume"));
    writeBytes(TestEnvironment::instance().configHome() + QStringLiteral("/Tindralume/Tindralume.conf"),
               "[General]\npasteDirectly=true\n");
    const QString storePath = TestEnvironment::instance().dataHome() + QStringLiteral("/Tindralume/Tindralume.sqlite");

    FrontProgram editor;
    editor.start(QStringLiteral(TL_FOCUS_CLIENT), {dir + QStringLiteral("/editor.txt")}, dir + "/editor.txt",
                 QStringLiteral("focus-client"));
    // xterm with its default resources, which bind no key to the clipboard; what it gets lands in a file.
    FrontProgram terminal;
    terminal.start(QStringLiteral("xterm"),
                   {QStringLiteral("-T"), QStringLiteral("pick-terminal"), QStringLiteral("-e"), QStringLiteral("sh"),
                    QStringLiteral("-c"), QStringLiteral("stty -icanon -echo; cat > '%1/terminal.txt'").arg(dir)},
                   dir + "/terminal.txt", QStringLiteral("pick-terminal"));
    editor.activate();

    QProcess app;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_LOGGING_RULES"),
               QStringLiteral("tindralume.monitor.debug=true\ntindralume.panel.search.debug=true"));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    app.setProcessEnvironment(env);
    app.start(QStringLiteral(TINDRALUME_APP_PATH), {});
    ASSERT_TRUE(app.waitForStarted());
    QByteArray log;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (log += app.readAllStandardError()).contains("first poll"); }, kWaitMs));
    // The panel shows once shortly after launch; it hides on Escape.
    ASSERT_TRUE(QTest::qWaitFor([] { return panelVisible(); }, kWaitMs));
    QTest::qWait(400);
    xdotool({"key", "Escape"});
    expectHidden();

    StoreReader store(storePath);
    QClipboard* clipboard = QGuiApplication::clipboard();
    for (const char* text : {"alpha one", "abc first", "beta two", "xabcx"}) {
        auto* mime = new QMimeData;
        mime->setText(QString::fromUtf8(text));
        clipboard->setMimeData(mime);
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return !store.rows().empty() && store.rows().front().text == text; }, kWaitMs));
    }
    auto* rich = new QMimeData;
    rich->setData(QStringLiteral("text/rtf"), "{\\rtf1\\ansi {\\b Bold} words}");
    rich->setText(QStringLiteral("Bold words"));
    clipboard->setMimeData(rich);
    ASSERT_TRUE(QTest::qWaitFor([&] { return store.rows().size() == 5; }, kWaitMs));
    ASSERT_EQ(store.rows().front().type, QStringLiteral("richText"));
    // Strip, newest first: Bold words, xabcx, beta two, abc first, alpha one.

    // Right, Right, Return: the third card goes to the clipboard, the panel hides, the editor pastes.
    editor.activate();
    showPanel();
    xdotool({"key", "Right", "Right", "Return"});
    expectHidden();
    EXPECT_TRUE(QTest::qWaitFor([&] { return xclipOut() == "beta two"; }, kWaitMs));
    EXPECT_TRUE(QTest::qWaitFor([&] { return editor.text() == QStringLiteral("beta two"); }, kWaitMs))
        << editor.text().toStdString();
    EXPECT_EQ(store.rows().front().text, QByteArray("beta two"));

    // Into the default xterm: exactly the text, no stray ^V. Strip: beta two, Bold words, xabcx, ...
    terminal.activate();
    showPanel();
    xdotool({"key", "Right", "Right", "Return"});
    expectHidden();
    EXPECT_TRUE(QTest::qWaitFor([&] { return terminal.text() == QStringLiteral("xabcx"); }, kWaitMs))
        << terminal.text().toStdString();

    // Shift held on Return: the rich entry goes out as plain text only, and the paste still lands
    // although Shift is down when it is typed. Strip: xabcx, beta two, Bold words, ...
    editor.activate();
    showPanel();
    xdotool({"key", "Right", "Right"});
    xdotool({"keydown", "shift"});
    QTest::qWait(200);
    xdotool({"key", "Return"});
    QTest::qWait(600);
    xdotool({"keyup", "shift"});
    expectHidden();
    EXPECT_TRUE(QTest::qWaitFor([&] { return xclipOut() == "Bold words"; }, kWaitMs));
    const QByteArray targets = xclipOut(QStringLiteral("TARGETS"));
    EXPECT_FALSE(targets.contains("rtf")) << targets.constData();
    EXPECT_TRUE(targets.contains("UTF8_STRING")) << targets.constData();
    EXPECT_TRUE(QTest::qWaitFor([&] { return editor.text().endsWith(QStringLiteral("Bold words")); }, kWaitMs))
        << editor.text().toStdString();

    // Delete removes the selected entry from the strip and the store; the panel stays.
    // Strip: Bold words, xabcx, beta two, abc first, alpha one.
    showPanel();
    xdotool({"key", "Right", "Delete"});
    EXPECT_TRUE(QTest::qWaitFor([&] { return store.rows().size() == 4; }, kWaitMs));
    for (const auto& row : store.rows())
        EXPECT_NE(row.text, QByteArray("xabcx"));
    EXPECT_TRUE(panelVisible());

    // Typing searches: "abc" now matches one entry.
    xdotool({"type", "--delay", "30", "abc"});
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return (log += app.readAllStandardError()).contains("search \"abc\" first page: 1 entries"); }, kWaitMs))
        << log.right(500).constData();
    xdotool({"key", "Escape"}); // closes the field
    QTest::qWait(300);
    EXPECT_TRUE(panelVisible());
    xdotool({"key", "Escape"});
    expectHidden();

    // A layout without Latin letters: the hot key and the paste still work with the V key.
    setLayout(QStringLiteral("ru"));
    QTest::qWait(300);
    editor.activate();
    const QString before = editor.text();
    showPanel(QStringLiteral("super+shift+Cyrillic_em"));
    xdotool({"key", "Right", "Return"}); // Strip: Bold words, beta two, ...
    expectHidden();
    EXPECT_TRUE(QTest::qWaitFor([&] { return editor.text() == before + QStringLiteral("beta two"); }, kWaitMs))
        << editor.text().toStdString() << (log += app.readAllStandardError()).right(800).constData();
    setLayout(QStringLiteral("us"));

    EXPECT_EQ(app.state(), QProcess::Running);
    ::kill(static_cast<pid_t>(app.processId()), SIGTERM);
    ASSERT_TRUE(app.waitForFinished(20000));
}

} // namespace
