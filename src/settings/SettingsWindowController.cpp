// SPDX-License-Identifier: MIT
#include "settings/SettingsWindowController.h"

#include "settings/SettingsView.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QPropertyAnimation>
#include <QScreen>
#include <QVBoxLayout>

#include <memory>

namespace {
HotKeyManager* g_hotKeyManager = nullptr;
std::unique_ptr<SettingsWindowController>& sharedController() {
    static std::unique_ptr<SettingsWindowController> controller;
    return controller;
}
} // namespace

void SettingsWindowController::setHotKeyManager(HotKeyManager* hotKeyManager) {
    g_hotKeyManager = hotKeyManager;
}

SettingsWindowController* SettingsWindowController::shared() {
    return sharedController().get();
}

void SettingsWindowController::showWindow() {
    if (!sharedController()) {
        sharedController() = std::make_unique<SettingsWindowController>();
        // Widgets must go while the application still exists, not with the program's statics.
        qAddPostRoutine([] { sharedController().reset(); });
    }
    sharedController()->show();
}

SettingsWindowController::SettingsWindowController() {
    m_window = new QWidget(nullptr,
                           Qt::Window | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::WindowMinimizeButtonHint);
    m_window->setWindowTitle(QString());
    m_window->setAttribute(Qt::WA_DeleteOnClose, false);
    auto* layout = new QVBoxLayout(m_window);
    layout->setContentsMargins(0, 0, 0, 0);
    m_view = new SettingsView(g_hotKeyManager, m_window);
    layout->addWidget(m_view);
    m_window->setFixedSize(900, 650);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        m_window->move(area.center() - QPoint(450, 325));
    }
}

SettingsWindowController::~SettingsWindowController() {
    delete m_window;
}

QRect SettingsWindowController::centerOnMouseScreen(const QRect& windowFrame, const QPoint& mouse,
                                                    const QList<ScreenArea>& screens, int primary) {
    if (screens.isEmpty())
        return windowFrame;
    const ScreenArea* chosen = nullptr;
    for (const ScreenArea& screen : screens) {
        if (screen.frame.contains(mouse)) {
            chosen = &screen;
            break;
        }
    }
    if (!chosen)
        chosen = (primary >= 0 && primary < screens.size()) ? &screens[primary] : &screens.first();
    const QRect& visible = chosen->visibleFrame;
    QRect frame(QPoint(0, 0), windowFrame.size());
    frame.moveTopLeft(QPoint(visible.x() + (visible.width() - frame.width()) / 2,
                             visible.y() + (visible.height() - frame.height()) / 2));
    return frame;
}

void SettingsWindowController::show() {
    if (!m_window)
        return;
    QList<ScreenArea> screens;
    int primary = -1;
    const QList<QScreen*> all = QGuiApplication::screens();
    for (QScreen* screen : all) {
        if (screen == QGuiApplication::primaryScreen())
            primary = int(screens.size());
        screens.append({screen->geometry(), screen->availableGeometry()});
    }
    const QRect frame = centerOnMouseScreen(m_window->frameGeometry(), QCursor::pos(), screens, primary);
    m_window->move(frame.topLeft());

    if (m_window->isVisible()) {
        m_window->raise();
        m_window->activateWindow();
        return;
    }
    m_window->setWindowOpacity(0.0);
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
    auto* fade = new QPropertyAnimation(m_window, "windowOpacity", m_window);
    fade->setDuration(fadeInMs);
    fade->setEasingCurve(QEasingCurve::OutQuad);
    fade->setStartValue(0.0);
    fade->setEndValue(1.0);
    fade->start(QAbstractAnimation::DeleteWhenStopped);
}
