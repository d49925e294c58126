// SPDX-License-Identifier: MIT
// The hot key on a real X server: openbox as window manager, xdotool pressing keys through XTest,
// and a second X client holding a grab.
#include "hotkey/HotKeyManager.h"

#include "common/AppNames.h"
#include "platform/GlobalHotKey.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "support/TestEnvironment.h"
#include "support/XvfbSession.h"

#include <QCoreApplication>
#include <QFile>
#include <QGuiApplication>
#include <QProcess>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <xcb/xcb.h>

#include <functional>
#include <memory>

namespace {

constexpr quint32 keyF12 = 111;
constexpr quint32 keySpace = 49;

// Waits (processing events) until the condition holds; false when it never did.
bool waitFor(const std::function<bool()>& condition, int limitMs = 5000) {
    for (int waited = 0; waited < limitMs; waited += 10) {
        QCoreApplication::processEvents();
        if (condition())
            return true;
        QTest::qWait(10);
    }
    QCoreApplication::processEvents();
    return condition();
}

// Whether another client holds the keyboard, asked of the server by trying to take it.
bool keyboardGrabbed() {
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return false;
    const int status =
        XGrabKeyboard(display, DefaultRootWindow(display), False, GrabModeAsync, GrabModeAsync, CurrentTime);
    XCloseDisplay(display); // gives back a grab taken here
    return status == AlreadyGrabbed;
}

// Returns once the X server has carried out every request this process's windows made so far.
void syncWithServer() {
    xcb_connection_t* c = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()->connection();
    free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

void xdotool(const QStringList& args) {
    ASSERT_EQ(XvfbSession::runClient(QStringLiteral("xdotool"), args), 0) << args.join(' ').toStdString();
}

void pressKeys(const QString& chord) {
    xdotool({QStringLiteral("key"), chord});
}

void useSettingsFile(const QByteArray& generalLines) {
    const QString path = TestEnvironment::instance().freshDir(QStringLiteral("x11hotkey")) + "/Tindralume.conf";
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[General]\n" + generalLines);
    file.close();
    UserDefaults::setStandardPath(path);
}

// Another X client holding a key grab, for as long as the object lives.
class GrabHolder {
public:
    // Returns the holder's first line: "ready" or "refused".
    QByteArray start(const QString& keysym, unsigned xModifiers) {
        m_process.start(QStringLiteral(TINDRALUME_GRAB_HOLDER), {keysym, QString::number(xModifiers)});
        if (!m_process.waitForStarted(5000))
            return "not started";
        for (int i = 0; i < 100 && !m_process.canReadLine(); ++i)
            m_process.waitForReadyRead(100);
        return m_process.readLine().trimmed();
    }
    ~GrabHolder() {
        if (m_process.state() == QProcess::NotRunning)
            return;
        m_process.closeWriteChannel(); // the holder exits when its input closes
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(2000);
        }
    }

private:
    QProcess m_process;
};

// A second hot key on the shared layer whose press marks a point in the X event stream: everything
// pressed before it has been delivered once its handler has seen it.
class Sentinel {
public:
    Sentinel() {
        m_ref = GlobalHotKey::shared().registerHotKey(keyF12, GlobalHotKey::controlMask);
        m_handler = GlobalHotKey::shared().installHandler([this](GlobalHotKey::HotKeyRef ref) { seen.append(ref); });
    }
    ~Sentinel() {
        GlobalHotKey::shared().removeHandler(m_handler);
        GlobalHotKey::shared().unregisterHotKey(m_ref);
    }
    bool valid() const { return m_ref != 0; }
    // Presses the sentinel and waits for it; the hot keys delivered before it stay in `seen`.
    bool sync() {
        pressKeys(QStringLiteral("ctrl+F12"));
        const bool ok = waitFor([this] { return seen.contains(m_ref); });
        seen.removeAll(m_ref);
        return ok;
    }
    QList<GlobalHotKey::HotKeyRef> seen;

private:
    GlobalHotKey::HotKeyRef m_ref = 0;
    GlobalHotKey::HandlerRef m_handler = 0;
};

class X11HotKeyTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_NE(testXServer(), nullptr);
        static bool windowManager = testXServer()->startWindowManager();
        ASSERT_TRUE(windowManager);
    }
    int presses = 0;
};

} // namespace

TEST_F(X11HotKeyTest, DefaultShortcutRunsCallbackPerPressAlsoWithLockKeys) {
    useSettingsFile("");
    HotKeyManager manager;
    manager.setup([this] { ++presses; });
    ASSERT_TRUE(manager.isRegistered());

    pressKeys(QStringLiteral("super+shift+v"));
    EXPECT_TRUE(waitFor([this] { return presses == 1; }));
    pressKeys(QStringLiteral("super+shift+v"));
    EXPECT_TRUE(waitFor([this] { return presses == 2; }));

    pressKeys(QStringLiteral("Num_Lock"));
    pressKeys(QStringLiteral("super+shift+v"));
    EXPECT_TRUE(waitFor([this] { return presses == 3; })) << "not delivered with NumLock on";
    pressKeys(QStringLiteral("Num_Lock"));

    pressKeys(QStringLiteral("Caps_Lock"));
    pressKeys(QStringLiteral("super+shift+v"));
    EXPECT_TRUE(waitFor([this] { return presses == 4; })) << "not delivered with CapsLock on";
    pressKeys(QStringLiteral("Caps_Lock"));
}

TEST_F(X11HotKeyTest, OtherModifiersAndHeldKeysDoNotFire) {
    useSettingsFile("");
    HotKeyManager manager;
    manager.setup([this] { ++presses; });
    Sentinel sentinel;
    ASSERT_TRUE(sentinel.valid());

    pressKeys(QStringLiteral("super+v"));
    pressKeys(QStringLiteral("super+shift+ctrl+v"));
    pressKeys(QStringLiteral("shift+v"));
    ASSERT_TRUE(sentinel.sync());
    EXPECT_EQ(presses, 1); // the sentinel's own press only: every handler hears every hot key

    // Held down long enough for the server's auto-repeat, the key still counts once.
    xdotool({QStringLiteral("keydown"), QStringLiteral("super+shift+v")});
    QTest::qWait(900);
    xdotool({QStringLiteral("keyup"), QStringLiteral("super+shift+v")});
    ASSERT_TRUE(sentinel.sync());
    EXPECT_EQ(presses, 3); // one for the held chord, one for the sentinel
}

TEST_F(X11HotKeyTest, NewStoredShortcutReplacesTheOldOne) {
    useSettingsFile("");
    HotKeyManager manager;
    manager.setup([this] { ++presses; });
    Sentinel sentinel;
    ASSERT_TRUE(sentinel.valid());

    // Control-Option-Space, as the recorder stores it.
    UserDefaults::standard().setInteger(DefaultsKeys::hotKeyCode, keySpace);
    UserDefaults::standard().setInteger(DefaultsKeys::hotKeyModifiers,
                                        GlobalHotKey::controlMask | GlobalHotKey::optionMask);
    NotificationCenter::defaultCenter().post(Notifications::hotKeyDidChange);
    ASSERT_TRUE(manager.isRegistered());

    pressKeys(QStringLiteral("super+shift+v"));
    ASSERT_TRUE(sentinel.sync());
    EXPECT_TRUE(sentinel.seen.isEmpty()) << "the old shortcut still fires";
    const int before = presses;

    pressKeys(QStringLiteral("ctrl+alt+space"));
    EXPECT_TRUE(waitFor([&] { return presses == before + 1; }));
}

TEST_F(X11HotKeyTest, GrabHeldByAnotherClientFailsWithTheLine) {
    useSettingsFile("");
    GrabHolder holder;
    ASSERT_EQ(holder.start(QStringLiteral("v"), 0x40 | 0x01), QByteArray("ready")); // Mod4 + Shift

    HotKeyManager manager;
    testing::internal::CaptureStdout();
    manager.setup([this] { ++presses; });
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "hot_key_registration_failed\n");
    EXPECT_FALSE(manager.isRegistered());

    // Our partial grabs were released and the other client's was left alone: trying again still fails.
    UserDefaults::standard().setInteger(DefaultsKeys::hotKeyCode, 9);
    UserDefaults::standard().setInteger(DefaultsKeys::hotKeyModifiers, 768);
    testing::internal::CaptureStdout();
    NotificationCenter::defaultCenter().post(Notifications::hotKeyDidChange);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "hot_key_registration_failed\n");
    EXPECT_FALSE(manager.isRegistered());
}

TEST_F(X11HotKeyTest, OutOfRangeStoredValuesFallBackToTheDefault) {
    useSettingsFile("hotKeyCode=99999999999\nhotKeyModifiers=-768\n");
    HotKeyManager manager;
    manager.setup([this] { ++presses; });
    ASSERT_TRUE(manager.isRegistered());
    pressKeys(QStringLiteral("super+shift+v"));
    EXPECT_TRUE(waitFor([this] { return presses == 1; }));
}

TEST_F(X11HotKeyTest, DestroyedManagerReleasesItsGrab) {
    useSettingsFile("");
    {
        HotKeyManager manager;
        manager.setup([] {});
        ASSERT_TRUE(manager.isRegistered());
        GrabHolder blocked;
        EXPECT_EQ(blocked.start(QStringLiteral("v"), 0x40 | 0x01), QByteArray("refused"));
    }
    // Every variant is free again: plain, and with NumLock (Mod2) and CapsLock (Lock).
    GrabHolder plain, numLock, capsLock;
    EXPECT_EQ(plain.start(QStringLiteral("v"), 0x40 | 0x01), QByteArray("ready"));
    EXPECT_EQ(numLock.start(QStringLiteral("v"), 0x40 | 0x01 | 0x10), QByteArray("ready"));
    EXPECT_EQ(capsLock.start(QStringLiteral("v"), 0x40 | 0x01 | 0x02), QByteArray("ready"));
}

// The panel holds the keyboard while it shows, so the press that hides it arrives through that grab
// and its release goes to whichever window has the focus once the grab is gone. The next press must
// still count as a new press, not as auto-repeat of a key we think is held.
TEST_F(X11HotKeyTest, PressAfterReleaseLostToAnotherWindowStillFires) {
    useSettingsFile("");
    QWidget grabber;
    grabber.resize(200, 100);
    grabber.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grabber));
    grabber.grabKeyboard();
    ASSERT_TRUE(waitFor(keyboardGrabbed));

    HotKeyManager manager;
    manager.setup([&] {
        ++presses;
        grabber.releaseKeyboard();
        grabber.hide();
    });
    ASSERT_TRUE(manager.isRegistered());

    xdotool({QStringLiteral("keydown"), QStringLiteral("super+shift+v")});
    ASSERT_TRUE(waitFor([this] { return presses == 1; }));
    syncWithServer(); // the grab is gone before the keys come up
    // Pressed again at once, as a quick hand does: no time for a key-map watch to notice the release.
    xdotool({QStringLiteral("keyup"), QStringLiteral("super+shift+v")});
    pressKeys(QStringLiteral("super+shift+v"));
    EXPECT_TRUE(waitFor([this] { return presses == 2; })) << "the press after a lost release was dropped";
}
