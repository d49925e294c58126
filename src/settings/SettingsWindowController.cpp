// SPDX-License-Identifier: MIT
#include "settings/SettingsWindowController.h"

#include "settings/SettingsView.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QPropertyAnimation>
#include <QScreen>
#include <QShortcut>
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
    m_window->resize(preferredSize);
    m_window->installEventFilter(&m_windowWatch);
    m_windowWatch.onFrameChange = [this] { keepFrameOnScreen(); };
    auto* close = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_W), m_window);
    QObject::connect(close, &QShortcut::activated, m_window, &QWidget::close);
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
    QRect frame(QPoint(0, 0), windowFrame.size().boundedTo(visible.size()));
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
    // Each showing starts from the preferred size, cut to the screen it opens on.
    const QMargins margins = frameMargins();
    const QRect preferredFrame(QPoint(0, 0), preferredSize.grownBy(margins));
    const QRect frame = centerOnMouseScreen(preferredFrame, QCursor::pos(), screens, primary);
    m_window->resize(frame.size().shrunkBy(margins));
    m_window->move(frame.topLeft());
    m_fitAfterFraming = true;

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

QMargins SettingsWindowController::frameMargins() const {
    const QRect frame = m_window->frameGeometry();
    const QRect inner = m_window->geometry();
    return QMargins(inner.left() - frame.left(), inner.top() - frame.top(), frame.right() - inner.right(),
                    frame.bottom() - inner.bottom());
}

void SettingsWindowController::keepFrameOnScreen() {
    if (!m_window || !m_window->isVisible() || !m_fitAfterFraming)
        return;
    QScreen* screen = m_window->screen();
    if (!screen)
        return;
    // The window manager's frame is known only once the window is mapped: when the title bar then
    // lies off the screen, fit again with it. Later moves are the user's and are left alone.
    const QMargins margins = frameMargins();
    if (margins.isNull())
        return;
    m_fitAfterFraming = false;
    const QRect area = screen->availableGeometry();
    const QRect frame = m_window->frameGeometry();
    if (area.contains(frame))
        return;
    const QRect fitted = centerOnMouseScreen(frame, area.center(), {{area, area}}, 0);
    m_window->resize(fitted.size().shrunkBy(margins));
    m_window->move(fitted.topLeft());
}

bool SettingsWindowController::WindowWatch::eventFilter(QObject* watched, QEvent* event) {
    if (onFrameChange && (event->type() == QEvent::Move || event->type() == QEvent::Resize))
        onFrameChange();
    // Escape closes the window only when no control took it, as in a dialog: an open list closes
    // on it first. A window-wide shortcut would fire as well, because the list closes while the
    // key is still being offered to shortcuts.
    if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->matches(QKeySequence::Cancel)) {
        static_cast<QWidget*>(watched)->close();
        return true;
    }
    return QObject::eventFilter(watched, event);
}
