// SPDX-License-Identifier: MIT
#include "common/AppNames.h"
#include "panel/ClipboardItemCollectionViewCell.h"
#include "panel/ClipboardItemContentView.h"
#include "panel/FloatingPanel.h"
#include "panel/PanelContentView.h"
#include "panel/PanelTestStore.h"
#include "panel/PanelWindowController.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "support/XvfbSession.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QLineEdit>
#include <QProcess>
#include <QScreen>
#include <QTest>

#include "panel/PanelTestWait.h"

#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <cstdlib>

namespace {

QString xdotool(const QStringList& args) {
    QByteArray out;
    XvfbSession::runClient(QStringLiteral("xdotool"), args, &out);
    return QString::fromUtf8(out).trimmed();
}

// Without --sync, which waits forever when the pointer is already there.
void movePointer(int x, int y) {
    xdotool({"mousemove", QString::number(x), QString::number(y)});
    TL_TRY_COMPARE(QCursor::pos(), QPoint(x, y), 5000);
}

class PanelWindowTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_NE(testXServer(), nullptr);
        ASSERT_TRUE(testXServer()->startWindowManager()) << testXServer()->error().toStdString();
        UserDefaults::setStandardPath(TestEnvironment::instance().freshDir(QStringLiteral("x11-defaults")) + "/d.conf");
    }

    // Waits for the slide to finish and the grabs to be held.
    void waitShown(PanelWindowController& controller) {
        ASSERT_TRUE(controller.isVisible());
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        TL_TRY_COMPARE(controller.window()->geometry(), PanelWindowController::shownFrame(screen), 5000);
        TL_TRY_VERIFY(controller.hasGrabs(), 5000);
    }

    void waitHidden(PanelWindowController& controller) {
        EXPECT_FALSE(controller.isVisible());
        TL_TRY_VERIFY(!controller.window()->isVisible(), 5000);
    }
};

// The application in front: another process with a line edit.
struct FocusClient {
    QProcess process;
    QString textFile;
    QString windowId;
    FocusClient() {
        textFile = TestEnvironment::instance().freshDir(QStringLiteral("focus")) + "/text";
        process.start(QStringLiteral(TL_FOCUS_CLIENT), {textFile});
        if (!process.waitForStarted(5000) || !process.waitForReadyRead(10000))
            return;
        windowId = QString::fromUtf8(process.readLine()).trimmed();
        xdotool({"windowactivate", "--sync", windowId});
    }
    ~FocusClient() {
        process.terminate();
        if (!process.waitForFinished(3000))
            process.kill();
        process.waitForFinished(3000);
    }
    QString text() const {
        QFile file(textFile);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }
};

// Notes that an event of a type (a press, a key) reached one of our windows.
struct EventSeen : QObject {
    QEvent::Type type;
    bool seen = false;
    explicit EventSeen(QEvent::Type watched) : type(watched) { qApp->installEventFilter(this); }
    ~EventSeen() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject*, QEvent* event) override {
        seen = seen || event->type() == type;
        return false;
    }
};

// Share of a screen rectangle's pixels, as the X server shows them, that have one colour.
double shareOfColour(const QRect& area, QRgb colour) {
    const QImage shot =
        QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage();
    if (shot.isNull() || shot.width() * shot.height() == 0)
        return -1;
    qint64 same = 0;
    for (int y = 0; y < shot.height(); ++y)
        for (int x = 0; x < shot.width(); ++x)
            same += (shot.pixel(x, y) & 0xffffff) == (colour & 0xffffff);
    return double(same) / (qint64(shot.width()) * shot.height());
}

} // namespace

TEST_F(PanelWindowTest, ShowsAtTheBottomOfTheScreenUnderThePointerAndHides) {
    movePointer(640, 400);
    PanelWindowController controller;
    EXPECT_FALSE(controller.isVisible());
    controller.hidePanel(); // hiding while hidden does nothing
    EXPECT_EQ(controller.window(), nullptr);

    controller.showPanel();
    ASSERT_NE(controller.window(), nullptr);
    waitShown(controller);
    // 10 in from the sides and above the bottom edge of the 1280 x 800 screen, 320 high.
    EXPECT_EQ(controller.window()->geometry(), QRect(10, 800 - 10 - 320, 1260, 320));
    EXPECT_EQ(PanelWindowController::targetScreen(QPoint(640, 400)), QGuiApplication::primaryScreen());
    // The right and bottom edges are outside the screen; the main screen answers then.
    EXPECT_EQ(PanelWindowController::targetScreen(QPoint(1280, 799)), QGuiApplication::primaryScreen());
    EXPECT_TRUE(controller.window()->windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));
    EXPECT_TRUE(controller.window()->windowFlags().testFlag(Qt::WindowStaysOnTopHint));

    FloatingPanel* panel = controller.window();
    controller.showPanel(); // showing while shown does nothing
    EXPECT_EQ(controller.window(), panel);
    EXPECT_TRUE(controller.isFirstShow() == false);

    controller.hidePanel();
    waitHidden(controller);
    EXPECT_FALSE(controller.hasGrabs());

    // Shown again, the same window comes back to the same place.
    controller.showPanel();
    EXPECT_EQ(controller.window(), panel);
    waitShown(controller);
    controller.hidePanel();
    waitHidden(controller);
}

TEST_F(PanelWindowTest, KeysGoToThePanelWhileTheFrontApplicationKeepsTheFocus) {
    FocusClient client;
    ASSERT_FALSE(client.windowId.isEmpty());
    xdotool({"type", "--delay", "20", "ab"});
    TL_TRY_COMPARE(client.text(), QStringLiteral("ab"), 5000);

    movePointer(640, 300);
    PanelWindowController controller;
    controller.showPanel();
    waitShown(controller);
    EXPECT_EQ(xdotool({"getactivewindow"}), client.windowId);

    // Keys are handled in order: once the field reads what was typed last, the arrows were handled too.
    xdotool({"key", "Left", "Right"});
    xdotool({"type", "--delay", "20", "xyz"});
    QLineEdit* field = controller.window()->panelContentView()->searchField();
    TL_TRY_COMPARE(field->text(), QStringLiteral("xyz"), 10000); // the typing opened the search with it
    EXPECT_TRUE(controller.isVisible());
    EXPECT_EQ(client.text(), QStringLiteral("ab"));
    EXPECT_EQ(xdotool({"getactivewindow"}), client.windowId);

    // A click inside the panel does not take the focus either.
    const QPoint inside = controller.window()->geometry().center();
    movePointer(inside.x(), inside.y());
    EventSeen press(QEvent::MouseButtonPress);
    xdotool({"click", "1"});
    TL_TRY_VERIFY(press.seen, 10000);
    QCoreApplication::processEvents();
    EXPECT_TRUE(controller.isVisible());
    EXPECT_EQ(xdotool({"getactivewindow"}), client.windowId);

    // The first Escape closes the field, the second the panel.
    xdotool({"key", "Escape"});
    TL_TRY_VERIFY(!controller.isSearchFieldExpanded(), 5000);
    EXPECT_TRUE(field->text().isEmpty());
    EXPECT_TRUE(controller.isVisible());
    xdotool({"key", "Escape"});
    TL_TRY_VERIFY(!controller.isVisible(), 5000);
    waitHidden(controller);

    // The application in front still has the keyboard.
    xdotool({"type", "--delay", "20", "c"});
    TL_TRY_COMPARE(client.text(), QStringLiteral("abc"), 5000);
    EXPECT_EQ(xdotool({"getactivewindow"}), client.windowId);
}

TEST_F(PanelWindowTest, EscapeGoesToAnOpenSearchField) {
    PanelWindowController controller;
    movePointer(640, 300);
    controller.showPanel();
    waitShown(controller);
    NotificationCenter::defaultCenter().post(
        Notifications::searchFieldStateChanged, nullptr,
        {{Notifications::isExpandedKey, true}, {Notifications::isAnimatingKey, false}});
    EventSeen key(QEvent::KeyPress);
    xdotool({"key", "Escape"});
    TL_TRY_VERIFY(key.seen, 10000);
    QCoreApplication::processEvents();
    EXPECT_TRUE(controller.isVisible());
    // Malformed state leaves the mirror as it is; while animating, Escape hides.
    NotificationCenter::defaultCenter().post(Notifications::searchFieldStateChanged, nullptr,
                                             {{Notifications::isExpandedKey, QStringLiteral("no")}});
    EXPECT_TRUE(controller.isSearchFieldExpanded());
    NotificationCenter::defaultCenter().post(Notifications::searchFieldStateChanged, nullptr,
                                             {{Notifications::isAnimatingKey, true}});
    xdotool({"key", "Escape"});
    TL_TRY_VERIFY(!controller.isVisible(), 5000);
    waitHidden(controller);
    NotificationCenter::defaultCenter().post(
        Notifications::searchFieldStateChanged, nullptr,
        {{Notifications::isExpandedKey, false}, {Notifications::isAnimatingKey, false}});
}

TEST_F(PanelWindowTest, ClicksInsideSelectAndClicksOutsideHide) {
    PanelTestStore store(QStringLiteral("x11-clicks"));
    store.addTexts(6);
    PanelWindowController controller;
    controller.setDataManager(store.manager.get());
    movePointer(640, 300);
    controller.showPanel();
    waitShown(controller);
    PanelContentView* content = controller.window()->panelContentView();
    TL_TRY_COMPARE(content->clipboardItems.size(), size_t(6), 5000);
    TL_TRY_COMPARE(content->selectedIndexPath, 0, 5000);

    // A click on the third card, inside the panel: it becomes the selection; the panel stays.
    const QRect frame = content->collectionView()->itemFrame(2);
    const QPoint inside = content->collectionView()->viewport()->mapToGlobal(frame.center());
    movePointer(inside.x(), inside.y());
    xdotool({"click", "1"});
    TL_TRY_COMPARE(content->selectedIndexPath, 2, 5000);
    EXPECT_TRUE(controller.isVisible());

    // A right click above the panel, over no window of ours, hides it.
    movePointer(640, 100);
    xdotool({"click", "3"});
    TL_TRY_VERIFY(!controller.isVisible(), 5000);
    waitHidden(controller);
    EXPECT_TRUE(content->clipboardItems.empty()); // reset after hiding

    // "panelShouldHide" and a cleared history reach the controller too.
    controller.showPanel();
    waitShown(controller);
    TL_TRY_COMPARE(content->clipboardItems.size(), size_t(6), 5000);
    store.manager->clearAllHistory();
    NotificationCenter::defaultCenter().post(Notifications::clipboardHistoryDidClear);
    TL_TRY_VERIFY(content->clipboardItems.empty() && content->emptyStateContainer()->isVisible(), 5000);
    NotificationCenter::defaultCenter().post(Notifications::panelShouldHide);
    EXPECT_FALSE(controller.isVisible());
    waitHidden(controller);
}

TEST_F(PanelWindowTest, ScreenshotWithADozenMixedEntries) {
    PanelTestStore store(QStringLiteral("x11-shot"));
    auto editor = store.app(QStringLiteral("org.example.editor"), QStringLiteral("Editor"), QColor(52, 120, 246),
                            QColor(52, 120, 246));
    auto browser = store.app(QStringLiteral("org.example.browser"), QStringLiteral("Browser"), QColor(255, 149, 0),
                             QColor(255, 149, 0));
    auto terminal = store.app(QStringLiteral("org.example.terminal"), QStringLiteral("Terminal"), QColor(40, 40, 40));
    store.add("text", "Meeting notes: bring the quarterly numbers and the new floor plan.", true, editor);
    store.add("url", "https://example.org/articles/clipboard-history", false, browser);
    store.add("richText", "Bold and italic rich text", false, editor,
              QByteArray("{\\rtf1\\ansi{\\fonttbl\\f0\\fswiss Helvetica;}{\\colortbl;\\red180\\green20\\blue20;}"
                         "\\f0\\fs28 {\\b Bold} and {\\i italic} {\\cf1 rich} text\\par}"));
    store.add("text", "#3478F6", false, editor);
    store.add("image", "Image 1024 x 768", false, browser);
    store.add("file", "report-final.pdf", true, terminal);
    store.add("text", "git log --oneline --graph --decorate --all", false, terminal);
    store.add("text", QString::fromUtf8("Grüße aus Köln – naïve café"), false, browser);
    store.add("text",
              "A longer paragraph of plain text that wraps over several lines of the card body and "
              "keeps going until the card has to cut it off at eight lines, which it does without "
              "overflowing into the frame or the shadow below it. More words follow here to be sure.",
              false, editor);
    store.add("url", "ftp://files.example.net/pub/archive.tar.gz", false, terminal);
    store.add("text", "42", false);
    store.add("richText", "Second rich entry", false, browser,
              QByteArray("{\\rtf1\\ansi{\\fonttbl\\f0\\froman Times;}\\f0\\fs32 Second {\\ul rich} entry\\par}"));
    store.save();

    PanelWindowController controller;
    controller.setDataManager(store.manager.get());
    movePointer(640, 200);
    controller.showPanel();
    waitShown(controller);
    PanelContentView* content = controller.window()->panelContentView();
    TL_TRY_COMPARE(content->clipboardItems.size(), size_t(12), 5000);
    // Icons are decoded off the main thread; wait until the visible cards have theirs.
    TL_TRY_VERIFY(ClipboardItemContentView::iconCache().size() >= 2, 5000);

    // The panel area differs from the empty desktop above it: cards were drawn.
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect panel = controller.window()->geometry();
    const auto colorCount = [&panel](const QImage& shot) {
        QSet<QRgb> colors;
        for (int x = panel.left(); x < panel.right(); x += 7)
            for (int y = panel.top(); y < panel.bottom(); y += 7)
                colors.insert(shot.pixel(x, y));
        return colors.size();
    };
    QImage shot;
    TL_TRY_VERIFY(colorCount(shot = screen->grabWindow(0).toImage()) > 50, 10000);
    QDir().mkpath(QStringLiteral(TL_ARTIFACTS_DIR));
    const QString path = QStringLiteral(TL_ARTIFACTS_DIR "/panel.png");
    ASSERT_TRUE(shot.save(path));
    std::printf("screenshot: %s\n", qPrintable(path));

    // The same panel in the dark appearance.
    const QPalette light = QApplication::palette();
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(36, 36, 38));
    dark.setColor(QPalette::WindowText, QColor(236, 236, 236));
    dark.setColor(QPalette::Base, QColor(28, 28, 30));
    dark.setColor(QPalette::Text, QColor(236, 236, 236));
    dark.setColor(QPalette::Highlight, QColor(10, 132, 255));
    QApplication::setPalette(dark);
    // The card body follows the appearance: darker than in the light shot.
    const QPoint body =
        content->collectionView()->viewport()->mapToGlobal(content->collectionView()->itemFrame(0).center());
    QImage darkShot;
    TL_TRY_VERIFY(QColor((darkShot = screen->grabWindow(0).toImage()).pixel(body)).lightness() <
                      QColor(shot.pixel(body)).lightness(),
                  10000);
    EXPECT_TRUE(darkShot.save(QStringLiteral(TL_ARTIFACTS_DIR "/panel-dark.png")));
    QApplication::setPalette(light);

    // The search open on the "Text" filter.
    content->selectTypeFilter(3);
    content->beginSearchWithTypedText(QStringLiteral("e"));
    TL_TRY_VERIFY(!content->isSearchAnimating && !content->isReloadingData, 5000);
    TL_TRY_COMPARE(content->searchContainerView()->width(), PanelContentView::expandedWidth, 5000);
    controller.window()->repaint();
    const QImage searchShot = screen->grabWindow(0).toImage();
    EXPECT_TRUE(searchShot.save(QStringLiteral(TL_ARTIFACTS_DIR "/panel-search.png")));
    for (const auto& item : content->clipboardItems)
        EXPECT_EQ(item->type(), QStringLiteral("text"));
    controller.hidePanel();
    waitHidden(controller);
}

TEST_F(PanelWindowTest, RealWheelEventsScrollTowardOlderCardsOnWheelDownAndRight) {
    PanelTestStore store(QStringLiteral("x11-wheel"));
    store.addTexts(40);
    PanelWindowController controller;
    controller.setDataManager(store.manager.get());
    movePointer(640, 200);
    controller.showPanel();
    waitShown(controller);
    PanelContentView* content = controller.window()->panelContentView();
    TL_TRY_COMPARE(content->clipboardItems.size(), size_t(12), 5000);
    const QPoint strip = content->collectionView()->viewport()->mapToGlobal(QPoint(300, 100));
    movePointer(strip.x(), strip.y());
    auto offset = [&] { return content->collectionView()->contentOffset(); };
    // X buttons: 4 up, 5 down, 6 left, 7 right; one notch moves one card (220 + 16 points).
    struct Step {
        const char* button;
        bool reverse;
        int expected;
    };
    const std::vector<Step> steps = {
        {"5", false, 236}, {"5", false, 472}, {"7", false, 708}, {"4", false, 472},
        {"6", false, 236}, {"5", true, 0},    {"4", true, 236},
    };
    for (const Step& step : steps) {
        UserDefaults::standard().setBool(DefaultsKeys::reverseScrollDirection, step.reverse);
        xdotool({"click", step.button});
        TL_TRY_COMPARE(offset(), step.expected, 5000);
    }
    UserDefaults::standard().setBool(DefaultsKeys::reverseScrollDirection, false);
    controller.hidePanel();
    waitHidden(controller);
}

TEST_F(PanelWindowTest, ShowsAboveAFocusedFullScreenWindowAndGivesItsKeysBack) {
    movePointer(640, 300);
    const QString typed = TestEnvironment::instance().freshDir(QStringLiteral("fullscreen")) + "/typed";
    QProcess terminal;
    terminal.start(QStringLiteral("xterm"), {"-fullscreen", "-T", "fullscreen-terminal", "-bg", "#ff00ff", "-e", "sh",
                                             "-c", QStringLiteral("stty -icanon -echo; cat > '%1'").arg(typed)});
    ASSERT_TRUE(terminal.waitForStarted(5000));
    const QString terminalId = xdotool({"search", "--sync", "--name", "fullscreen-terminal"});
    ASSERT_FALSE(terminalId.isEmpty());
    xdotool({"windowactivate", "--sync", terminalId});
    const QRect shown = PanelWindowController::shownFrame(QGuiApplication::primaryScreen()->geometry());
    const QRect inner = shown.adjusted(24, 24, -24, -24); // clear of the rounded corners
    TL_TRY_VERIFY(shareOfColour(QGuiApplication::primaryScreen()->geometry(), 0xff00ff) > 0.99, 10000);
    auto typedText = [&] {
        QFile file(typed);
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    };

    PanelWindowController controller;
    controller.showPanel();
    waitShown(controller);
    TL_TRY_VERIFY(shareOfColour(inner, 0xff00ff) == 0, 5000);
    xdotool({"type", "--delay", "20", "xyz"});
    TL_TRY_COMPARE(controller.window()->panelContentView()->searchField()->text(), QStringLiteral("xyz"), 5000);
    xdotool({"key", "Escape", "Escape"});
    TL_TRY_VERIFY(!controller.isVisible(), 5000);
    waitHidden(controller);
    TL_TRY_VERIFY(shareOfColour(inner, 0xff00ff) > 0.99, 5000);
    xdotool({"type", "--delay", "20", "c"});
    TL_TRY_COMPARE(typedText(), QStringLiteral("c"), 5000);

    // A panel that stops being seen (here unmapped behind its back) lets go of the keyboard and hides.
    controller.showPanel();
    waitShown(controller);
    xdotool({"windowunmap", QString::number(controller.window()->winId())});
    TL_TRY_VERIFY(!controller.isVisible(), 5000);
    xdotool({"type", "--delay", "20", "d"});
    TL_TRY_COMPARE(typedText(), QStringLiteral("cd"), 5000);
    waitHidden(controller);

    // On another desktop too.
    xdotool({"set_desktop_for_window", terminalId, "1"});
    xdotool({"set_desktop", "1"});
    xdotool({"windowactivate", "--sync", terminalId});
    TL_TRY_VERIFY(shareOfColour(inner, 0xff00ff) > 0.99, 5000);
    controller.showPanel();
    waitShown(controller);
    TL_TRY_VERIFY(shareOfColour(inner, 0xff00ff) == 0, 5000);
    controller.hidePanel();
    waitHidden(controller);
    xdotool({"set_desktop", "0"});
    terminal.terminate();
    terminal.waitForFinished(5000);
}

namespace {
// Stands in for a compositing manager: holds its selection for as long as it lives.
struct CompositorStandIn {
    xcb_connection_t* connection = xcb_connect(nullptr, nullptr);
    CompositorStandIn() {
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection)).data;
        const xcb_window_t window = xcb_generate_id(connection);
        xcb_create_window(connection, XCB_COPY_FROM_PARENT, window, screen->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_ONLY, XCB_COPY_FROM_PARENT, 0, nullptr);
        xcb_intern_atom_reply_t* atom =
            xcb_intern_atom_reply(connection, xcb_intern_atom(connection, 0, 13, "_NET_WM_CM_S0"), nullptr);
        if (atom)
            xcb_set_selection_owner(connection, window, atom->atom, XCB_CURRENT_TIME);
        free(atom);
        free(xcb_get_input_focus_reply(connection, xcb_get_input_focus(connection), nullptr)); // a round trip
    }
    ~CompositorStandIn() { xcb_disconnect(connection); }
};

QRgb screenPixel(const QPoint& at) {
    return QGuiApplication::primaryScreen()->grabWindow(0, at.x(), at.y(), 1, 1).toImage().pixel(0, 0) & 0xffffff;
}
} // namespace

TEST_F(PanelWindowTest, TheRoundedCornersShowWhatLiesBehindWithAndWithoutACompositor) {
    QWidget behind(nullptr, Qt::FramelessWindowHint);
    QPalette white;
    white.setColor(QPalette::Window, Qt::white);
    behind.setPalette(white);
    behind.setAutoFillBackground(true);
    // Under the panel's left corners only: a window as large as the screen would count as full-screen.
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    behind.setGeometry(0, screen.height() / 2, screen.width() / 2, screen.height() / 2);
    behind.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&behind));
    movePointer(640, 400);
    PanelWindowController controller;
    controller.showPanel();
    waitShown(controller);
    const QPoint corner = controller.window()->geometry().topLeft();
    const int r = FloatingPanel::cornerRadius;
    // Xvfb runs no compositor: the window's shape cuts the corners off, so the white behind shows there.
    TL_TRY_COMPARE(screenPixel(corner), 0xffffffu, 5000);
    EXPECT_NE(screenPixel(corner + QPoint(r, r)), 0xffffffu);
    EXPECT_FALSE(controller.window()->mask().isEmpty());
    controller.hidePanel();
    waitHidden(controller);

    // Where a compositor draws see-through pixels, the window keeps its whole rectangle.
    CompositorStandIn compositor;
    controller.showPanel();
    waitShown(controller);
    EXPECT_TRUE(controller.window()->mask().isEmpty());
    controller.hidePanel();
    waitHidden(controller);
}
