// SPDX-License-Identifier: MIT
// The cards on a real X server: an image card dragged onto another process's window, a large entry
// picked onto the clipboard, and the strip of every card type photographed in both appearances.
#include "common/AppNames.h"
#include "history/ClipboardMonitor.h"
#include "panel/ClipboardItemContentView.h"
#include "panel/CollectionView.h"
#include "panel/FloatingPanel.h"
#include "panel/PanelContentView.h"
#include "panel/PanelTestStore.h"
#include "panel/PanelWindowController.h"
#include "platform/NotificationCenter.h"
#include "platform/Pasteboard.h"
#include "platform/UserDefaults.h"
#include "support/XvfbSession.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QCursor>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "panel/PanelTestWait.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <vector>

XvfbSession* testXServer();

namespace {

void xdotool(const QStringList& args) {
    XvfbSession::runClient(QStringLiteral("xdotool"), args);
}

void movePointer(QPoint to) {
    xdotool({"mousemove", QString::number(to.x()), QString::number(to.y())});
    TL_TRY_COMPARE(QCursor::pos(), to, 5000);
}

// xdotool runs in its own process while our event loop keeps the drag going; the drag's own loop
// runs nested, so everything that happens during it is in the script.
QProcess* dragInSteps(QPoint from, QPoint to, bool release) {
    QStringList args = {"mousemove", QString::number(from.x()), QString::number(from.y()), "mousedown", "1"};
    for (int i = 1; i <= 12; ++i) {
        const QPoint p = from + (to - from) * i / 12;
        args << "sleep"
             << "0.05"
             << "mousemove" << QString::number(p.x()) << QString::number(p.y());
    }
    if (release)
        args << "sleep"
             << "0.2"
             << "mouseup"
             << "1";
    else
        args << "sleep"
             << "0.5"
             << "key"
             << "Escape"
             << "sleep"
             << "0.3"
             << "mouseup"
             << "1";
    QProcess* process = new QProcess;
    process->start(QStringLiteral("xdotool"), args);
    return process;
}

class CardsX11Test : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_NE(testXServer(), nullptr);
        ASSERT_TRUE(testXServer()->startWindowManager()) << testXServer()->error().toStdString();
        UserDefaults::setStandardPath(TestEnvironment::instance().freshDir(QStringLiteral("cards-defaults")) +
                                      "/d.conf");
    }

    void show(PanelWindowController& controller) {
        movePointer(QPoint(640, 400));
        controller.showPanel();
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        TL_TRY_COMPARE(controller.window()->geometry(), PanelWindowController::shownFrame(screen), 5000);
        TL_TRY_VERIFY(controller.hasGrabs(), 5000);
        TL_TRY_VERIFY(controller.window()->panelContentView()->collectionView()->itemAt(0) != nullptr, 5000);
    }

    static QPoint cardCenter(PanelWindowController& controller, int index) {
        CollectionView* strip = controller.window()->panelContentView()->collectionView();
        return strip->viewport()->mapToGlobal(strip->itemFrame(index).translated(-strip->contentOffset(), 0).center());
    }
};

QByteArray clipboardText() {
    QProcess xclip; // the read runs while our event loop serves the selection
    xclip.start(QStringLiteral("xclip"), {"-o", "-selection", "clipboard"});
    TL_TRY_VERIFY(xclip.state() == QProcess::NotRunning, 30000);
    return xclip.readAllStandardOutput();
}

QByteArray photoPng(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, qRgb(x * 255 / size.width(), y * 255 / size.height(), 140));
    return ImageUtils::pngData(image).value_or(QByteArray());
}

} // namespace

// An image card dropped on a window that takes file URLs gives it the entry's PNG as a file; Escape
// during a drag ends the drag and leaves the panel up.
TEST_F(CardsX11Test, ImageCardDragsOutAsAFile) {
    PanelTestStore store(QStringLiteral("cards-drag"));
    auto image = store.add(QStringLiteral("image"), QStringLiteral("Image"));
    const QByteArray original = photoPng(QSize(640, 400));
    image->setOriginalImageData(original);
    image->setImageData(photoPng(QSize(400, 250)));
    store.save();

    QProcess target;
    target.start(QStringLiteral(TL_DROP_TARGET), {});
    ASSERT_TRUE(target.waitForStarted(5000) && target.waitForReadyRead(10000));
    (void)target.readLine(); // its window id: it is mapped

    PanelWindowController controller;
    controller.setDataManager(store.manager.get());
    show(controller);
    CollectionView* strip = controller.window()->panelContentView()->collectionView();

    std::unique_ptr<QProcess> script(dragInSteps(cardCenter(controller, 0), QPoint(300, 200), true));
    TL_TRY_VERIFY(target.canReadLine() || target.waitForReadyRead(100), 15000);
    QString formats, dropped;
    while (QTest::qWaitFor([&] { return target.canReadLine(); }, 3000)) {
        const QString line = QString::fromLocal8Bit(target.readLine()).trimmed();
        std::printf("drop target: %s\n", qPrintable(line));
        if (line.startsWith(QStringLiteral("formats ")))
            formats = line.mid(8);
        if (line.startsWith(QStringLiteral("dropped "))) {
            dropped = line.mid(8);
            break;
        }
    }
    std::printf("drop target received formats: %s\n", qPrintable(formats));
    ASSERT_FALSE(dropped.isEmpty());
    const QString hex = QString::fromLatin1(QCryptographicHash::hash(original, QCryptographicHash::Sha256).toHex());
    EXPECT_EQ(dropped, qEnvironmentVariable("XDG_RUNTIME_DIR") + QStringLiteral("/Tindralume-DraggedImages/") + hex +
                           QLatin1Char('/') + PanelContentView::dragFileName(image));
    QFile file(dropped);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), original);
    EXPECT_TRUE(formats.contains(QStringLiteral("text/uri-list")));
    TL_TRY_VERIFY(!strip->isDragging(), 5000);
    EXPECT_TRUE(controller.isVisible());

    // Escape in the middle of a drag: the drag ends, the panel stays. A timer sees the drag's loop.
    bool sawDrag = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] { sawDrag = sawDrag || strip->isDragging(); });
    watch.start(20);
    script.reset(dragInSteps(cardCenter(controller, 0), cardCenter(controller, 0) + QPoint(0, -200), false));
    TL_TRY_VERIFY(script->state() == QProcess::NotRunning, 15000);
    TL_TRY_VERIFY(!strip->isDragging(), 5000);
    EXPECT_TRUE(sawDrag);
    EXPECT_TRUE(controller.isVisible());
    EXPECT_FALSE(QTest::qWaitFor([&] { return target.canReadLine(); }, 300)); // nothing was dropped
    controller.hidePanel();

    // After the drags, another client copies; a pick then still takes the clipboard from it, and
    // the next copy by another client is recorded.
    auto picked = store.add(QStringLiteral("text"), QStringLiteral("picked after a drag"));
    store.save();
    ClipboardMonitor monitor(store.manager.get(), Pasteboard::general().changeCount());
    store.manager->setClipboardMonitor(&monitor);
    monitor.startMonitoring();
    QProcess copier;
    const auto copy = [&](const QByteArray& text) {
        copier.kill();
        copier.waitForFinished(3000);
        copier.start(QStringLiteral("xclip"), {"-quiet", "-selection", "clipboard", "-i"});
        copier.write(text);
        copier.closeWriteChannel();
    };
    const auto recorded = [&](const QString& text) {
        for (const ClipboardItemPtr& item : store.context->fetchItems(FetchRequest()))
            if (item->textContent() == text)
                return true;
        return false;
    };
    copy("copied after the drag");
    TL_TRY_VERIFY(recorded(QStringLiteral("copied after the drag")), 10000);
    ASSERT_TRUE(store.manager->copyToPasteboard(picked, false));
    QProcess reader; // the read runs while our event loop serves the selection
    reader.start(QStringLiteral("xclip"), {"-o", "-selection", "clipboard"});
    TL_TRY_VERIFY(reader.state() == QProcess::NotRunning, 10000);
    EXPECT_EQ(reader.readAllStandardOutput(), QByteArray("picked after a drag"));
    copy("copied after the pick");
    TL_TRY_VERIFY(recorded(QStringLiteral("copied after the pick")), 10000);
    monitor.stopMonitoring();
    copier.kill();
    copier.waitForFinished(3000);
    target.terminate();
    target.waitForFinished(3000);
}

// A large text picked as a page shows it (its text not read) arrives whole, and its new time is
// stored. Of two picks in a row, or a pick and the panel closing, only the later one is written.
TEST_F(CardsX11Test, APickedLargeEntryArrivesWholeAndOnlyTheLatestPickIsWritten) {
    PanelTestStore store(QStringLiteral("cards-large-pick"));
    QString text;
    for (int line = 0; text.size() < 700 * 1024; ++line)
        text += QStringLiteral("ligne %1 d\u2019un long texte choisi en entier, é à ü\n").arg(line);
    const ClipboardItemPtr large = store.add(QStringLiteral("text"), text);
    const ClipboardItemPtr small = store.add(QStringLiteral("text"), QStringLiteral("picked last"));
    store.save();
    store.context->refreshAllObjects();
    ASSERT_FALSE(large->isLoaded(ClipboardItem::TextContent));
    UserDefaults::standard().setBool(DefaultsKeys::pasteDirectly, false);
    PanelContentView view;
    view.setDataManager(store.manager.get());
    QObject owner;
    int hides = 0;
    NotificationCenter::defaultCenter().addObserver(&owner, Notifications::panelShouldHide,
                                                    [&](const Notification&) { ++hides; });

    const QDateTime before = *large->timestamp();
    view.pasteItem(large, false);
    TL_TRY_COMPARE(hides, 1, 30000);
    EXPECT_EQ(clipboardText(), text.toUtf8());
    TL_TRY_VERIFY(large->timestamp() > before, 30000);
    EXPECT_TRUE(store.manager->finishLargeSaves());

    PanelWindowController controller; // its closing drops a pick still reading
    controller.setDataManager(store.manager.get());
    const QDateTime picked = *large->timestamp();
    for (const bool closing : {false, true}) {
        SCOPED_TRACE(closing ? "panel closed" : "another pick");
        store.context->refreshAllObjects();
        const int hidesBefore = hides;
        view.pasteItem(large, false);
        if (closing)
            controller.hidePanel();
        else
            view.pasteItem(small, false);
        store.manager->finishPickReads();
        EXPECT_EQ(hides, hidesBefore + (closing ? 0 : 1));
        EXPECT_EQ(clipboardText(), QByteArray("picked last"));
        EXPECT_EQ(large->timestamp(), picked);
    }
    NotificationCenter::defaultCenter().removeObserver(&owner);
}

// A file manager asks for a dragged card's data with a time of its own making (the Unix time in
// seconds); our clipboard's time must stay the server's, or GTK programs, which ask with the
// server's time, are turned away from every later pick.
TEST_F(CardsX11Test, PicksAfterADropOnAFileManagerReachGtkReaders) {
    static std::atomic<int> refusedOwners{0};
    static QtMessageHandler previous = nullptr;
    previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& message) {
        if (message.contains(QStringLiteral("Cannot set X11 selection owner")))
            ++refusedOwners;
        previous(type, context, message);
    });
    Pasteboard::general(); // in place before the drag, as in the application

    PanelTestStore store(QStringLiteral("cards-file-manager"));
    auto image = store.add(QStringLiteral("image"), QStringLiteral("Image"));
    image->setImageData(photoPng(QSize(400, 250)));
    std::vector<ClipboardItemPtr> texts;
    for (int i = 0; i < 10; ++i)
        texts.push_back(store.add(QStringLiteral("text"), QStringLiteral("pick %1 after the drop").arg(i)));
    store.save();

    const QString folder = TestEnvironment::instance().freshDir(QStringLiteral("cards-file-manager-folder"));
    QProcess fileManager;
    fileManager.start(QStringLiteral("pcmanfm"), {QStringLiteral("--no-desktop"), folder});
    ASSERT_TRUE(fileManager.waitForStarted(5000));
    QByteArray window;
    XvfbSession::runClient(QStringLiteral("xdotool"), {"search", "--sync", "--onlyvisible", "--class", "pcmanfm"},
                           &window, 30000);
    const QString id = QString::fromLatin1(window.trimmed().split('\n').constFirst());
    ASSERT_FALSE(id.isEmpty());
    xdotool({"windowsize", "--sync", id, "640", "420"});
    xdotool({"windowmove", "--sync", id, "0", "0"});

    PanelWindowController controller;
    controller.setDataManager(store.manager.get());
    show(controller);
    std::unique_ptr<QProcess> script(dragInSteps(cardCenter(controller, 0), QPoint(420, 200), true));
    TL_TRY_VERIFY(QDir(folder).entryList(QDir::Files).size() == 1, 30000);
    TL_TRY_VERIFY(script->state() == QProcess::NotRunning, 15000);
    TL_TRY_VERIFY(!controller.window()->panelContentView()->collectionView()->isDragging(), 5000);
    controller.hidePanel();

    for (const ClipboardItemPtr& text : texts) {
        const QByteArray expected = text->textContent()->toUtf8();
        ASSERT_TRUE(store.manager->copyToPasteboard(text, false));
        QProcess gtk; // both readers run while our event loop serves the selection
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("NO_AT_BRIDGE"), QStringLiteral("1"));
        gtk.setProcessEnvironment(env);
        gtk.start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(TL_GTK_CLIPBOARD_READER)});
        TL_TRY_VERIFY(gtk.state() == QProcess::NotRunning, 30000);
        const QJsonObject read = QJsonDocument::fromJson(gtk.readAllStandardOutput()).object();
        EXPECT_EQ(read.value(QStringLiteral("text")).toString().toUtf8(), expected)
            << gtk.readAllStandardError().data();
        // What we answer TIMESTAMP with is a time the server has reached.
        const auto stamp = uint32_t(read.value(QStringLiteral("timestamp")).toDouble());
        const auto server = uint32_t(read.value(QStringLiteral("server")).toDouble());
        EXPECT_NE(stamp, 0u) << expected.data();
        EXPECT_GE(int32_t(server - stamp), 0) << expected.data() << " owned at " << stamp << ", server at " << server;
        QProcess xclip;
        xclip.start(QStringLiteral("xclip"), {"-o", "-selection", "clipboard"});
        TL_TRY_VERIFY(xclip.state() == QProcess::NotRunning, 10000);
        EXPECT_EQ(xclip.readAllStandardOutput(), expected);
    }
    EXPECT_EQ(refusedOwners, 0);
    qInstallMessageHandler(previous);
    fileManager.terminate();
    fileManager.waitForFinished(5000);
}

// The strip with a link card without and with a preview picture, a colour, an image and a file,
// in the light and the dark appearance; kept as build artefacts.
TEST_F(CardsX11Test, StripOfEveryCardInBothAppearances) {
    PanelTestStore store(QStringLiteral("cards-strip"));
    const QString filePath = TestEnvironment::instance().freshDir(QStringLiteral("cards-file")) + "/report.pdf";
    QFile pdf(filePath);
    ASSERT_TRUE(pdf.open(QIODevice::WriteOnly));
    pdf.write("%PDF-1.4\n");
    pdf.close();
    auto bare = store.add(QStringLiteral("url"), QStringLiteral("https://www.example.org/docs"));
    auto withPicture = store.add(QStringLiteral("url"), QStringLiteral("https://news.example.com/story"));
    withPicture->setUrlPreviewTitle(QStringLiteral("A story with its own picture"));
    withPicture->setUrlPreviewImageData(photoPng(QSize(400, 210)));
    store.add(QStringLiteral("text"), QStringLiteral("#3478F6"));
    auto image = store.add(QStringLiteral("image"), QStringLiteral("Image"));
    image->setImageData(photoPng(QSize(400, 300)));
    auto file = store.add(QStringLiteral("file"), filePath);
    file->setFilePath(filePath);
    // Past the screen's width: photographed after scrolling to the end.
    auto wrapped = store.add(QStringLiteral("url"), QStringLiteral("http://127.0.0.1:8777/"));
    wrapped->setUrlPreviewTitle(QStringLiteral("H\u00e9llo Preview Title \u2014 \u00fcn\u00efcode"));
    wrapped->setUrlPreviewImageData(photoPng(QSize(400, 210)));
    const QByteArray list =
        "{\\rtf1\\ansi{\\fonttbl{\\f0 Helvetica;}}\\f0\\fs24 "
        "{\\listtext\\pard\\fi-431\\li720\\bullet\\tab}\\pard\\fi-431\\li720\\ls1\\ilvl0 First\\par "
        "{\\listtext\\pard\\fi-431\\li1440\\bullet\\tab}\\pard\\fi-431\\li1440\\ls1\\ilvl1 Nested\\par "
        "{\\listtext\\pard\\fi-431\\li720\\bullet\\tab}\\pard\\fi-431\\li720\\ls1\\ilvl0 Third\\par}";
    store.add(QStringLiteral("richText"), QStringLiteral("First Nested Third"), false, nullptr, list);
    store.save();
    (void)bare;

    PanelWindowController controller;
    controller.setDataManager(store.manager.get());
    show(controller);
    QDir().mkpath(QStringLiteral(TL_ARTIFACTS_DIR));
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect panel = controller.window()->geometry();
    const auto grab = [&] { return screen->grabWindow(0).toImage().copy(panel); };
    auto at = [&](const QImage& shot, int index, QPoint offset) {
        return QColor(shot.pixel(cardCenter(controller, index) - panel.topLeft() + offset));
    };
    // The link card's title is drawn in the label colour of each appearance: the lightest pixel of
    // its first line is light text in the dark shot.
    auto lightest = [&](const QImage& shot) {
        int best = 0;
        const QPoint origin = cardCenter(controller, 1) - panel.topLeft() + QPoint(-90, 71);
        for (int x = 0; x < 180; ++x)
            for (int y = 0; y < 14; ++y)
                best = std::max(best, QColor(shot.pixel(origin + QPoint(x, y))).lightness());
        return best;
    };
    // The image card's thumbnail is decoded off the main thread: photographed once it is drawn.
    QImage light;
    TL_TRY_VERIFY(at(light = grab(), 3, QPoint(0, 40)).blue() == 140, 10000);
    ASSERT_TRUE(light.save(QStringLiteral(TL_ARTIFACTS_DIR "/cards-light.png")));

    const QPalette saved = QApplication::palette();
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(36, 36, 38));
    dark.setColor(QPalette::WindowText, QColor(236, 236, 236));
    dark.setColor(QPalette::Base, QColor(28, 28, 30));
    dark.setColor(QPalette::Text, QColor(236, 236, 236));
    QApplication::setPalette(dark);
    QImage darkShot; // photographed once the appearance has reached the cards
    TL_TRY_VERIFY(at(darkShot = grab(), 0, QPoint(95, 100)).lightness() < at(light, 0, QPoint(95, 100)).lightness() &&
                      lightest(darkShot) > 180,
                  10000);
    ASSERT_TRUE(darkShot.save(QStringLiteral(TL_ARTIFACTS_DIR "/cards-dark.png")));
    CollectionView* strip = controller.window()->panelContentView()->collectionView();
    strip->setContentOffset(strip->contentWidth());
    controller.window()->repaint();
    ASSERT_TRUE(grab().save(QStringLiteral(TL_ARTIFACTS_DIR "/cards-dark-end.png")));
    QApplication::setPalette(saved);
    // The list item's text keeps to the reader's tab stop: close to its bullet, not at Qt's 80 px.
    const QPoint listLine = cardCenter(controller, 6) - panel.topLeft() + QPoint(-104, -64);
    const auto inkedColumns = [&listLine](const QImage& shot) {
        std::vector<int> inked;
        for (int x = 0; x < 208; ++x)
            for (int y = 0; y < 20; ++y)
                if (QColor(shot.pixel(listLine + QPoint(x, y))).lightness() < 110) {
                    inked.push_back(x);
                    break;
                }
        return inked;
    };
    const auto firstGap = [](const std::vector<int>& inked) {
        return std::adjacent_find(inked.begin(), inked.end(), [](int a, int b) { return b - a > 3; });
    };
    QImage lightEnd; // dark ink again, a bullet and its text apart
    std::vector<int> inked;
    const auto photographed = [&] {
        inked = inkedColumns(lightEnd = grab());
        return firstGap(inked) != inked.end();
    };
    TL_TRY_VERIFY(photographed(), 10000);
    ASSERT_TRUE(lightEnd.save(QStringLiteral(TL_ARTIFACTS_DIR "/cards-light-end.png")));
    const auto gap = firstGap(inked);
    ASSERT_NE(gap, inked.end()) << "no bullet and text on the list's first line";
    EXPECT_LT(*(gap + 1) - inked.front(), 40) << "bullet at " << inked.front() << ", text at " << *(gap + 1);
    strip->setContentOffset(0);

    // The colour card's body is the colour itself in both; the image card shows the picture.
    EXPECT_EQ(at(light, 2, QPoint(0, 60)).rgb(), QColor(0x34, 0x78, 0xF6).rgb());
    EXPECT_EQ(at(darkShot, 2, QPoint(0, 60)).rgb(), QColor(0x34, 0x78, 0xF6).rgb());
    EXPECT_EQ(at(light, 3, QPoint(0, 40)).blue(), 140);
    EXPECT_LT(at(darkShot, 0, QPoint(95, 100)).lightness(), at(light, 0, QPoint(95, 100)).lightness());
    EXPECT_GT(lightest(darkShot), 180);
    // The search symbol is drawn in the appearance's grey, as the star is, not in the theme's colours.
    QToolButton* glass = controller.window()->panelContentView()->searchButton();
    const QRect glassRect(glass->mapToGlobal(QPoint(0, 0)) - panel.topLeft(), glass->size());
    for (const QImage* shot : {&light, &darkShot}) {
        int colourful = 0;
        for (int x = glassRect.left(); x <= glassRect.right(); ++x)
            for (int y = glassRect.top(); y <= glassRect.bottom(); ++y) {
                const QColor c(shot->pixel(x, y));
                colourful = std::max(colourful, std::max({c.red(), c.green(), c.blue()}) -
                                                    std::min({c.red(), c.green(), c.blue()}));
            }
        EXPECT_LT(colourful, 24) << (shot == &light ? "light" : "dark");
    }
    controller.hidePanel();
}
