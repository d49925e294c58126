// SPDX-License-Identifier: MIT
// The panel's top row and the settings window on small and scaled screens. The program runs once
// per screen: each registration sets the X screen's size and Qt's scale factor.
#include "panel/PanelContentView.h"
#include "panel/PanelTestWait.h"
#include "panel/PanelWindowController.h"
#include "platform/UserDefaults.h"
#include "settings/SettingsWindowController.h"
#include "support/TestEnvironment.h"
#include "support/XvfbSession.h"

#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include <gtest/gtest.h>

namespace {

class ScreenSizesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_NE(testXServer(), nullptr);
        ASSERT_TRUE(testXServer()->startWindowManager()) << testXServer()->error().toStdString();
        UserDefaults::setStandardPath(TestEnvironment::instance().freshDir(QStringLiteral("screens")) + "/d.conf");
    }
};

QRect inView(const QWidget* widget, const QWidget* view) {
    return QRect(widget->mapTo(view, QPoint(0, 0)), widget->size());
}

} // namespace

TEST_F(ScreenSizesTest, TheTopRowOverlapsNothingWithTheSearchFieldOpen) {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    SCOPED_TRACE(QStringLiteral("%1 x %2 logical").arg(screen.width()).arg(screen.height()).toStdString());
    PanelWindowController controller;
    controller.showPanel();
    ASSERT_NE(controller.window(), nullptr);
    TL_TRY_COMPARE(controller.window()->geometry(), PanelWindowController::shownFrame(screen), 5000);
    PanelContentView* view = controller.window()->panelContentView();
    view->handleSearchContainerTap();
    TL_TRY_VERIFY(view->isSearchExpanded && !view->isSearchAnimating, 5000);

    QList<QRect> parts;
    for (const QPushButton* button : view->filterButtons())
        parts << inView(button, view);
    parts << inView(view->searchContainerView(), view) << inView(view->favoriteContainerView(), view);
    for (qsizetype i = 0; i < parts.size(); ++i) {
        EXPECT_TRUE(view->rect().contains(parts[i])) << i;
        for (qsizetype j = i + 1; j < parts.size(); ++j)
            EXPECT_FALSE(parts[i].intersects(parts[j])) << i << " and " << j;
    }
    // Shrunk where it must be, the field still holds a few words.
    EXPECT_GE(view->searchField()->width(), 150);
    controller.hidePanel();
}

TEST_F(ScreenSizesTest, TheSettingsWindowFitsTheScreenAndClosesFromTheKeyboard) {
    for (const char* keys : {"Escape", "ctrl+w"}) {
        SCOPED_TRACE(keys);
        SettingsWindowController::showWindow();
        QWidget* window = SettingsWindowController::shared()->window();
        const QRect area = window->screen()->availableGeometry();
        // Once the window manager has framed it, the whole frame, title bar included, is on the screen.
        TL_TRY_VERIFY(window->isVisible() && window->frameGeometry() != window->geometry() &&
                          area.contains(window->frameGeometry()),
                      10000);
        EXPECT_LE(window->width(), SettingsWindowController::preferredSize.width());
        EXPECT_LE(window->height(), SettingsWindowController::preferredSize.height());
        TL_TRY_VERIFY(window->isActiveWindow(), 10000);
        XvfbSession::runClient(QStringLiteral("xdotool"), {QStringLiteral("key"), QString::fromLatin1(keys)});
        TL_TRY_VERIFY(!window->isVisible(), 10000);
    }
}
