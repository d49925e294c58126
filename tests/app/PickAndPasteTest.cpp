// SPDX-License-Identifier: MIT
// The built application under Xvfb with openbox, driven as a user would with xdotool: the hot key
// shows the panel over a Qt line edit or an xterm, keys pick, paste, delete and search. One
// application serves the whole suite; each test copies entries of its own, so the first cards are
// known whatever ran before it.
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

// The application, a Qt line edit and an xterm, started once for the suite.
struct Session {
    QString dir;
    FrontProgram editor;
    FrontProgram terminal;
    QProcess app;
    QByteArray log;
    std::unique_ptr<StoreFileReader> store;
    bool ready = false;

    const QByteArray& readLog() { return log += app.readAllStandardError(); }
};

class PickAndPasteTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(testXServer()->startWindowManager());
        s = new Session;
        s->dir = TestEnvironment::instance().freshDir(QStringLiteral("pick"));
        QDir().mkpath(TestEnvironment::instance().configHome() + QStringLiteral("/Tindralume"));
        writeBytes(TestEnvironment::instance().configHome() + QStringLiteral("/Tindralume/Tindralume.conf"),
                   "[General]\npasteDirectly=true\n");
        s->editor.start(QStringLiteral(TL_FOCUS_CLIENT), {s->dir + QStringLiteral("/editor.txt")},
                        s->dir + "/editor.txt", QStringLiteral("focus-client"));
        // xterm with its default resources, which bind no key to the clipboard; what it gets lands in a file.
        s->terminal.start(QStringLiteral("xterm"),
                          {QStringLiteral("-T"), QStringLiteral("pick-terminal"), QStringLiteral("-e"),
                           QStringLiteral("sh"), QStringLiteral("-c"),
                           QStringLiteral("stty -icanon -echo; cat > '%1/terminal.txt'").arg(s->dir)},
                          s->dir + "/terminal.txt", QStringLiteral("pick-terminal"));
        s->editor.activate();

        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_LOGGING_RULES"), QStringLiteral("tindralume.monitor.debug=true\n"
                                                                      "tindralume.panel.debug=true\n"
                                                                      "tindralume.panel.search.debug=true"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        s->app.setProcessEnvironment(env);
        s->app.start(QStringLiteral(TINDRALUME_APP_PATH), {});
        ASSERT_TRUE(s->app.waitForStarted());
        ASSERT_TRUE(QTest::qWaitFor([] { return s->readLog().contains("first poll"); }, kWaitMs));
        // The panel shows once shortly after launch; it hides on Escape.
        ASSERT_TRUE(waitReady(0));
        xdotool({"key", "Escape"});
        ASSERT_TRUE(QTest::qWaitFor([] { return !panelVisible(); }, kWaitMs));
        s->store = std::make_unique<StoreFileReader>(TestEnvironment::instance().dataHome() +
                                                     QStringLiteral("/Tindralume/Tindralume.sqlite"));
        s->ready = true;
    }
    static void TearDownTestSuite() {
        if (!s)
            return;
        EXPECT_EQ(s->app.state(), QProcess::Running);
        if (s->app.state() == QProcess::Running) {
            ::kill(static_cast<pid_t>(s->app.processId()), SIGTERM);
            EXPECT_TRUE(s->app.waitForFinished(20000));
        }
        delete s;
        s = nullptr;
    }
    void SetUp() override { ASSERT_TRUE(s && s->ready) << "the application did not start"; }
    void TearDown() override {
        setLayout(QStringLiteral("us"));
        // A failed test may leave the panel up, with or without an open search field.
        for (int i = 0; i < 2 && panelVisible(); ++i) {
            xdotool({"key", "Escape"});
            (void)QTest::qWaitFor([] { return !panelVisible(); }, 3000);
        }
    }

    static bool panelVisible() { return !xdotool({"search", "--onlyvisible", "--classname", "tindralume"}).isEmpty(); }
    // Shown, holding the keyboard, with the cards of this show: keys act on the cards from now on.
    static bool waitReady(qsizetype logFrom) {
        return QTest::qWaitFor(
            [logFrom] {
                const QByteArray since = s->readLog().mid(logFrom);
                return since.contains("keyboard grabbed") && since.contains("shown with its first page");
            },
            kWaitMs);
    }
    void showPanel(const QString& hotKey = QStringLiteral("super+shift+v")) {
        const qsizetype from = s->readLog().size();
        xdotool({"key", hotKey});
        ASSERT_TRUE(waitReady(from)) << s->log.mid(from).constData();
        ASSERT_TRUE(panelVisible());
    }
    void expectHidden() {
        EXPECT_TRUE(QTest::qWaitFor([] { return !panelVisible(); }, kWaitMs));
    }
    // Copies each text in turn, as a program would; the last one becomes the first card.
    void copy(const QStringList& texts) {
        for (const QString& text : texts) {
            auto* mime = new QMimeData;
            mime->setText(text);
            copyAndWait(mime, text);
        }
    }
    void copyAndWait(QMimeData* mime, const QString& text) {
        QGuiApplication::clipboard()->setMimeData(mime);
        ASSERT_TRUE(QTest::qWaitFor(
            [&] {
                const auto rows = s->store->rows();
                return !rows.empty() && rows.front().text == text.toUtf8();
            },
            kWaitMs))
            << text.toStdString();
    }

    static inline Session* s = nullptr;
};

// Right, Right, Return: the third card goes to the clipboard, the panel hides, the editor pastes.
TEST_F(PickAndPasteTest, ArrowKeysPickByPositionAndTheEditorPastes) {
    copy({"pick third", "pick second", "pick first"});
    s->editor.activate();
    const QString before = s->editor.text();
    showPanel();
    xdotool({"key", "Right", "Right", "Return"});
    expectHidden();
    EXPECT_TRUE(QTest::qWaitFor([&] { return xclipOut() == "pick third"; }, kWaitMs));
    EXPECT_TRUE(QTest::qWaitFor([&] { return s->editor.text() == before + QStringLiteral("pick third"); }, kWaitMs))
        << s->editor.text().toStdString();
    EXPECT_EQ(s->store->rows().front().text, QByteArray("pick third"));
}

// Into the default xterm: exactly the text, no stray ^V.
TEST_F(PickAndPasteTest, TheDefaultXtermGetsExactlyTheText) {
    copy({"xterm third", "xterm second", "xterm first"});
    s->terminal.activate();
    const QString before = s->terminal.text();
    showPanel();
    xdotool({"key", "Right", "Right", "Return"});
    expectHidden();
    EXPECT_TRUE(QTest::qWaitFor([&] { return s->terminal.text() == before + QStringLiteral("xterm third"); }, kWaitMs))
        << s->terminal.text().toStdString();
}

// Shift held on Return: the rich entry goes out as plain text only, and the paste still lands
// although Shift is down when it is typed.
TEST_F(PickAndPasteTest, ShiftReturnPastesRichTextAsPlainText) {
    auto* rich = new QMimeData;
    rich->setData(QStringLiteral("text/rtf"), "{\\rtf1\\ansi {\\b Bold} words}");
    rich->setText(QStringLiteral("Bold words"));
    copyAndWait(rich, QStringLiteral("Bold words"));
    ASSERT_EQ(s->store->rows().front().type, QStringLiteral("richText"));
    copy({"shift second", "shift first"});
    s->editor.activate();
    const QString before = s->editor.text();
    showPanel();
    xdotool({"key", "Right", "Right"});
    xdotool({"keydown", "shift"});
    xdotool({"key", "Return"});
    EXPECT_TRUE(QTest::qWaitFor([&] { return s->editor.text() == before + QStringLiteral("Bold words"); }, kWaitMs))
        << s->editor.text().toStdString();
    xdotool({"keyup", "shift"});
    expectHidden();
    EXPECT_EQ(xclipOut(), QByteArray("Bold words"));
    const QByteArray targets = xclipOut(QStringLiteral("TARGETS"));
    EXPECT_FALSE(targets.contains("rtf")) << targets.constData();
    EXPECT_TRUE(targets.contains("UTF8_STRING")) << targets.constData();
}

// Delete removes the selected entry from the strip and the store; the panel stays.
TEST_F(PickAndPasteTest, DeleteRemovesTheSelectedEntry) {
    copy({"delete keep", "delete me", "delete first"});
    const size_t count = s->store->rows().size();
    showPanel();
    xdotool({"key", "Right", "Delete"});
    EXPECT_TRUE(QTest::qWaitFor([&] { return s->store->rows().size() == count - 1; }, kWaitMs));
    for (const auto& row : s->store->rows())
        EXPECT_NE(row.text, QByteArray("delete me"));
    EXPECT_TRUE(panelVisible());
    xdotool({"key", "Escape"});
    expectHidden();
}

// Typing searches; the first Escape closes the field and leaves the panel up: what is typed next
// starts a new search.
TEST_F(PickAndPasteTest, TypingSearchesAndEscapeClosesTheFieldFirst) {
    copy({"needle one", "needle two"});
    showPanel();
    const qsizetype from = s->readLog().size();
    xdotool({"type", "--delay", "30", "needle"});
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return s->readLog().mid(from).contains("search \"needle\" first page: 2 entries"); }, kWaitMs))
        << s->log.mid(from).constData();
    xdotool({"key", "Escape"});
    xdotool({"type", "q"});
    EXPECT_TRUE(QTest::qWaitFor([&] { return s->readLog().mid(from).contains("search \"q\" first page"); }, kWaitMs))
        << s->log.mid(from).constData();
    EXPECT_FALSE(s->log.mid(from).contains("search \"needleq\""));
    EXPECT_TRUE(panelVisible());
    xdotool({"key", "Escape", "Escape"});
    expectHidden();
}

// A layout without Latin letters: the hot key and the paste still work with the V key.
TEST_F(PickAndPasteTest, ALayoutWithoutLatinLettersStillShowsAndPastes) {
    copy({"layout second", "layout first"});
    setLayout(QStringLiteral("ru"));
    s->editor.activate();
    const QString before = s->editor.text();
    showPanel(QStringLiteral("super+shift+Cyrillic_em"));
    xdotool({"key", "Right", "Return"});
    expectHidden();
    EXPECT_TRUE(QTest::qWaitFor([&] { return s->editor.text() == before + QStringLiteral("layout second"); }, kWaitMs))
        << s->editor.text().toStdString() << s->readLog().right(800).constData();
}

} // namespace
