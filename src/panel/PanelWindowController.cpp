// SPDX-License-Identifier: MIT
#include "panel/PanelWindowController.h"

#include "common/AppNames.h"
#include "history/ClipboardDataManager.h"
#include "panel/FloatingPanel.h"
#include "panel/PanelContentView.h"
#include "platform/Dispatch.h"
#include "platform/GlobalPointerMonitor.h"
#include "platform/NotificationCenter.h"
#include "platform/x11/X11WindowStacking.h"

#include <QCursor>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLoggingCategory>
#include <QPropertyAnimation>
#include <QScreen>
#include <QTimer>
#include <QWindow>

// Debug lines tell a driving test when keys can act on the shown cards.
Q_LOGGING_CATEGORY(lcPanel, "tindralume.panel", QtWarningMsg)

namespace {
constexpr int grabRetryMs = 20;
constexpr int grabAttempts = 50;
constexpr int visibilityWatchMs = 250;
// Checks in a row that find the panel covered after it was raised before it gives up and hides.
constexpr int coveredChecksBeforeHide = 2;

// Typed text as the key monitors keep it: letters, numbers, punctuation, whitespace and symbols.
QString typedCharacters(const QString& text) {
    QString kept;
    for (const QChar c : text) {
        if (c.isLetterOrNumber() || c.isPunct() || c.isSpace() || c.isSymbol() || c.isMark())
            kept.append(c);
    }
    return kept;
}
} // namespace

PanelWindowController::PanelWindowController() {
    auto& center = NotificationCenter::defaultCenter();
    center.addObserver(this, Notifications::panelShouldHide, [this](const Notification&) { hidePanel(); });
    center.addObserver(this, Notifications::searchFieldStateChanged,
                       [this](const Notification& n) { applySearchFieldState(n.userInfo); });
    center.addObserver(this, Notifications::clipboardHistoryDidClear,
                       [this](const Notification&) { handleClearHistory(); });
}

PanelWindowController::~PanelWindowController() {
    NotificationCenter::defaultCenter().removeObserver(this);
    removeEventMonitors();
    delete m_window.data();
}

void PanelWindowController::applySearchFieldState(const QVariantMap& userInfo) {
    const QVariant expanded = userInfo.value(Notifications::isExpandedKey);
    if (expanded.typeId() == QMetaType::Bool)
        m_isSearchFieldExpanded = expanded.toBool();
    const QVariant animating = userInfo.value(Notifications::isAnimatingKey);
    if (animating.typeId() == QMetaType::Bool)
        m_isSearchFieldAnimating = animating.toBool();
}

void PanelWindowController::handleClearHistory() {
    if (m_window && m_window->panelContentView())
        m_window->panelContentView()->reloadContent(false);
}

QRect PanelWindowController::shownFrame(const QRect& screen) {
    return QRect(screen.x() + screenMargin, screen.y() + screen.height() - screenMargin - panelHeight,
                 screen.width() - 2 * screenMargin, panelHeight);
}

QRect PanelWindowController::hiddenFrame(const QRect& screen) {
    return QRect(screen.x() + screenMargin, screen.y() + screen.height(), screen.width() - 2 * screenMargin,
                 panelHeight);
}

QScreen* PanelWindowController::targetScreen(const QPoint& pointer) {
    const auto screens = QGuiApplication::screens();
    for (QScreen* screen : screens) {
        if (screen->geometry().contains(pointer)) // right and bottom edges are outside
            return screen;
    }
    if (QScreen* primary = QGuiApplication::primaryScreen())
        return primary;
    return screens.isEmpty() ? nullptr : screens.first();
}

void PanelWindowController::showPanel() {
    if (m_isVisible)
        return;
    QScreen* screen = targetScreen(QCursor::pos());
    if (!screen)
        return; // nowhere to show it
    const QRect start = hiddenFrame(screen->geometry());
    const QRect end = shownFrame(screen->geometry());

    if (m_animation && m_hiding) {
        // A show during the slide-out: the new show supersedes it, and its reload follows below.
        m_animation->stop();
        m_hiding = false;
    }
    if (!m_window) {
        m_window = new FloatingPanel(start);
        m_window->setupContent();
        if (m_dataManager && m_window->panelContentView()) {
            m_window->panelContentView()->setDataManager(m_dataManager);
            m_window->panelContentView()->reloadContent(false);
        }
    } else {
        m_window->setGeometry(start);
    }
    m_window->show();
    m_window->raise();

    if (!m_animation) {
        m_animation = new QPropertyAnimation(m_window, "geometry", this);
        m_animation->setDuration(slideDurationMs);
        connect(m_animation, &QPropertyAnimation::finished, this, [this] {
            if (m_hiding)
                completeHide();
        });
    }
    m_animation->stop();
    m_animation->setEasingCurve(QEasingCurve::OutQuad);
    m_animation->setStartValue(start);
    m_animation->setEndValue(end);
    m_animation->start();
    m_restingFrame = end;

    m_isVisible = true;
    if (m_window->panelContentView())
        m_window->panelContentView()->noteFrontWindow();
    QPointer<FloatingPanel> panel = m_window;
    Dispatch::onMain(this, [this, panel] {
        disconnect(m_firstPageLog);
        if (panel && panel->panelContentView())
            m_firstPageLog = connect(
                panel->panelContentView(), &PanelContentView::contentApplied, this,
                [] { qCDebug(lcPanel) << "shown with its first page"; }, Qt::SingleShotConnection);
        if (m_isFirstShow) {
            if (panel && panel->panelContentView())
                panel->panelContentView()->reloadContent(false);
            m_isFirstShow = false;
        } else if (panel && panel->panelContentView()) {
            panel->panelContentView()->reloadContent(true);
        }
    });
    installEventMonitors();
}

void PanelWindowController::hidePanel() {
    // A pick still reading its entry writes nothing once the panel goes.
    if (m_dataManager)
        m_dataManager->cancelPick();
    if (!m_isVisible || !m_window)
        return;
    const QRect frame = m_window->geometry();
    const QRect target(frame.x(), frame.y() + frame.height(), frame.width(), frame.height());
    m_animation->stop();
    m_hiding = true;
    m_animation->setEasingCurve(QEasingCurve::InQuad);
    m_animation->setStartValue(frame);
    m_animation->setEndValue(target);
    m_animation->start();
    m_isVisible = false;
    removeEventMonitors();
}

void PanelWindowController::completeHide() {
    m_hiding = false;
    if (!m_window)
        return;
    if (m_window->panelContentView())
        m_window->panelContentView()->resetAndReload();
    m_window->hide();
}

void PanelWindowController::installEventMonitors() {
    if (m_monitorsInstalled || !m_window)
        return;
    m_monitorsInstalled = true;
    // Presses elsewhere are only watched, never taken: the click still reaches its window.
    m_clickMonitor =
        GlobalPointerMonitor::create([this](const QPoint& position) { handleClickOutside(position); }, this);
    m_window->installEventFilter(this);
    tryGrab(grabAttempts);
    if (!m_visibilityWatch) {
        m_visibilityWatch = new QTimer(this);
        m_visibilityWatch->setInterval(visibilityWatchMs);
        connect(m_visibilityWatch, &QTimer::timeout, this, &PanelWindowController::watchVisibility);
    }
    m_coveredChecks = 0;
    m_visibilityWatch->start();
}

bool PanelWindowController::hasGrabs() const {
    return m_keyboardGrabbed && m_clickMonitor && m_clickMonitor->isActive();
}

void PanelWindowController::tryGrab(int attemptsLeft) {
    // An X grab needs the window mapped, and the keyboard is only taken while the panel is on top:
    // the first attempts may come before the map.
    if (!m_monitorsInstalled || !m_window)
        return;
    if (!m_keyboardGrabbed && isSeenOnScreen())
        takeKeyboard();
    if (m_keyboardGrabbed || attemptsLeft <= 1)
        return;
    const quint64 serial = m_grabSerial;
    Dispatch::afterOnMain(grabRetryMs, this, [this, serial, attemptsLeft] {
        if (serial == m_grabSerial)
            tryGrab(attemptsLeft - 1);
    });
}

bool PanelWindowController::takeKeyboard() {
    QWindow* handle = m_window ? m_window->windowHandle() : nullptr;
    if (!handle || !m_window->isVisible())
        return false;
    m_keyboardGrabbed = handle->setKeyboardGrabEnabled(true);
    if (m_keyboardGrabbed) {
        m_window->grabKeyboard(); // keys go to the panel, not to a focus widget
        qCDebug(lcPanel) << "keyboard grabbed";
    }
    return m_keyboardGrabbed;
}

void PanelWindowController::releaseKeyboard() {
    if (m_keyboardGrabbed && m_window) {
        m_window->releaseKeyboard();
        if (QWindow* handle = m_window->windowHandle())
            handle->setKeyboardGrabEnabled(false);
    }
    m_keyboardGrabbed = false;
}

bool PanelWindowController::isSeenOnScreen() const {
    if (!m_window || !m_window->isVisible())
        return false;
    // Sliding in, it is judged where it comes to rest.
    const WindowVisibility seen = X11WindowStacking::visibility(m_window->winId(), m_restingFrame);
    return !seen.known || seen.mostlyUncovered();
}

void PanelWindowController::watchVisibility() {
    if (!m_isVisible || !m_monitorsInstalled || !m_window)
        return;
    if (m_animation && m_animation->state() == QAbstractAnimation::Running)
        return; // the slide moves it on screen; the grab attempts above wait for that
    if (isSeenOnScreen()) {
        m_coveredChecks = 0;
        if (!m_keyboardGrabbed)
            takeKeyboard();
        return;
    }
    // Another window came over it (or it was unmapped): the keys go back to the application in
    // front at once, then one raise; a panel that stays covered hides.
    releaseKeyboard();
    if (++m_coveredChecks >= coveredChecksBeforeHide) {
        hidePanel();
        return;
    }
    m_window->raise();
}

void PanelWindowController::removeEventMonitors() {
    ++m_grabSerial;
    if (m_visibilityWatch)
        m_visibilityWatch->stop();
    if (!m_monitorsInstalled)
        return;
    m_monitorsInstalled = false;
    if (m_clickMonitor) {
        m_clickMonitor->stop(); // we may be inside its callback
        m_clickMonitor->deleteLater();
        m_clickMonitor = nullptr;
    }
    if (m_window)
        m_window->removeEventFilter(this);
    releaseKeyboard();
}

bool PanelWindowController::eventFilter(QObject* watched, QEvent* event) {
    // Keys arrive once, on the widget the keyboard grab delivers them to.
    if (m_window && m_monitorsInstalled && watched == m_window && event->type() == QEvent::KeyPress)
        return handleLocalKeyDown(static_cast<QKeyEvent*>(event));
    return QObject::eventFilter(watched, event);
}

bool PanelWindowController::handleClickOutside(const QPoint& globalPosition) {
    if (!m_isVisible || !m_window)
        return false;
    if (m_window->frameGeometry().contains(globalPosition))
        return false;
    // Presses on the application's own windows (settings, menus) leave the panel alone.
    if (QGuiApplication::topLevelAt(globalPosition))
        return false;
    hidePanel();
    m_clickOutsideHide.start();
    return true;
}

bool PanelWindowController::wasHiddenByClickOutsideWithin(int milliseconds) const {
    return m_clickOutsideHide.isValid() && !m_isVisible && m_clickOutsideHide.elapsed() < milliseconds;
}

void PanelWindowController::setMenuCommands(std::function<void()> openSettings, std::function<void()> quit) {
    m_openSettings = std::move(openSettings);
    m_quit = std::move(quit);
}

bool PanelWindowController::handleLocalKeyDown(QKeyEvent* event) {
    if (!m_window)
        return false;
    // The menu's key equivalents, also with the search field open and where no tray shows the menu.
    if ((event->modifiers() & ~Qt::KeypadModifier) == Qt::ControlModifier &&
        (event->key() == Qt::Key_Comma || event->key() == Qt::Key_Q)) {
        const std::function<void()> command = event->key() == Qt::Key_Comma ? m_openSettings : m_quit;
        if (command) {
            // Hidden first: the settings window needs the keyboard, a question about quitting too.
            hidePanel();
            Dispatch::onMain(this, command);
            return true;
        }
    }
    PanelContentView* content = m_window->panelContentView();
    const bool fieldHasKeys = m_isSearchFieldExpanded && !m_isSearchFieldAnimating;
    // The grab delivers every key to the panel window: the open field gets them handed over.
    if (fieldHasKeys)
        return content && content->handleSearchFieldKey(event);
    if (event->key() == Qt::Key_Escape) {
        hidePanel();
        return true;
    }
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
        if (content && content->handleKeyDown(event))
            return true;
        break;
    default:
        break;
    }
    const QString text = event->text();
    if (text.isEmpty())
        return false;
    const QString kept = typedCharacters(text);
    if (kept.isEmpty())
        return false;
    if (content)
        content->beginSearchWithTypedText(kept);
    return true;
}
