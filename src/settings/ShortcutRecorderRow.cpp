// SPDX-License-Identifier: MIT
#include "settings/ShortcutRecorderRow.h"

#include "common/AppNames.h"
#include "hotkey/HotKeyManager.h"
#include "platform/GlobalHotKey.h"
#include "platform/KeyCodes.h"
#include "platform/NotificationCenter.h"
#include "platform/ShortcutText.h"
#include "platform/UserDefaults.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr quint32 functionKeyCodes[] = {122, 120, 99, 118, 96, 97, 98, 100, 101, 109, 103, 111};

bool isModifierKey(int key) {
    switch (key) {
    case Qt::Key_Control:
    case Qt::Key_Shift:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_ScrollLock:
        return true;
    default:
        return false;
    }
}

// Keysyms of keys Qt names without a native code (synthetic events).
quint32 keysymForQtKey(int key) {
    if (key >= Qt::Key_A && key <= Qt::Key_Z)
        return quint32('a' + (key - Qt::Key_A));
    if (key >= Qt::Key_0 && key <= Qt::Key_9)
        return quint32('0' + (key - Qt::Key_0));
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12)
        return quint32(0xffbe + (key - Qt::Key_F1));
    switch (key) {
    case Qt::Key_Space:
        return 0x20;
    case Qt::Key_Return:
        return 0xff0d;
    case Qt::Key_Tab:
        return 0xff09;
    case Qt::Key_Backspace:
        return 0xff08;
    case Qt::Key_Escape:
        return 0xff1b;
    case Qt::Key_Left:
        return 0xff51;
    case Qt::Key_Up:
        return 0xff52;
    case Qt::Key_Right:
        return 0xff53;
    case Qt::Key_Down:
        return 0xff54;
    default:
        return 0;
    }
}

} // namespace

ShortcutRecorderRow::ShortcutRecorderRow(HotKeyManager* hotKeyManager, QWidget* parent)
    : QWidget(parent), m_hotKeyManager(hotKeyManager) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(tr("Toggle panel"), this));
    row->addStretch(1);
    m_button = new QPushButton(this);
    m_button->setMinimumWidth(100 + 2 * 12);
    m_button->setStyleSheet(QStringLiteral("padding: 6px 12px;"));
    row->addWidget(m_button);
    column->addLayout(row);
    m_message = new QLabel(this);
    m_message->setTextFormat(Qt::PlainText); // key names such as "<" are words, not markup
    m_message->setWordWrap(true);
    m_message->setStyleSheet(QStringLiteral("color: #c0392b;"));
    m_message->hide();
    column->addWidget(m_message);
    connect(m_button, &QPushButton::clicked, this, &ShortcutRecorderRow::toggleRecording);
    refresh();
}

ShortcutRecorderRow::~ShortcutRecorderRow() {
    stopRecording();
}

QString ShortcutRecorderRow::keyName(qint64 keyCode) {
    return ShortcutText::keyName(keyCode);
}

QString ShortcutRecorderRow::shortcutString(qint64 keyCode, qint64 modifiers) {
    return ShortcutText::text(keyCode, modifiers);
}

QString ShortcutRecorderRow::shortcutString() const {
    const UserDefaults& defaults = UserDefaults::standard();
    const qint64 code =
        defaults.objectExists(DefaultsKeys::hotKeyCode) ? defaults.integer(DefaultsKeys::hotKeyCode) : defaultKeyCode;
    const qint64 modifiers = defaults.objectExists(DefaultsKeys::hotKeyModifiers)
                                 ? defaults.integer(DefaultsKeys::hotKeyModifiers)
                                 : defaultModifiers;
    return shortcutString(code, modifiers);
}

QString ShortcutRecorderRow::buttonLabel() const {
    return m_isRecording ? QStringLiteral("Press shortcut...") : shortcutString();
}

QString ShortcutRecorderRow::message() const {
    return m_message->isHidden() ? QString() : m_message->text();
}

std::optional<quint32> ShortcutRecorderRow::keyCodeForEvent(const QKeyEvent* event) {
    quint32 keysym = 0;
    if (event->nativeScanCode() != 0)
        keysym = GlobalHotKey::shared().keysymForScanCode(event->nativeScanCode());
    if (!keysym)
        keysym = keysymForQtKey(event->key());
    return keysym ? KeyCodes::keyCodeForKeysym(keysym) : std::nullopt;
}

quint32 ShortcutRecorderRow::modifiersForEvent(const QKeyEvent* event) {
    const Qt::KeyboardModifiers flags = event->modifiers();
    quint32 mask = 0;
    if (flags & Qt::MetaModifier)
        mask |= GlobalHotKey::commandMask;
    if (flags & Qt::ShiftModifier)
        mask |= GlobalHotKey::shiftMask;
    if (flags & Qt::AltModifier)
        mask |= GlobalHotKey::optionMask;
    if (flags & Qt::ControlModifier)
        mask |= GlobalHotKey::controlMask;
    return mask;
}

void ShortcutRecorderRow::toggleRecording() {
    if (m_isRecording)
        stopRecording();
    else
        startRecording();
}

void ShortcutRecorderRow::startRecording() {
    if (m_isRecording)
        return;
    m_isRecording = true;
    showMessage(QString());
    qApp->installEventFilter(this);
    if (m_hotKeyManager)
        m_hotKeyManager->suspend();
    // A shown panel holds the keyboard: the chord must reach this window instead.
    NotificationCenter::defaultCenter().post(Notifications::panelShouldHide);
    refresh();
}

void ShortcutRecorderRow::stopRecording() {
    if (!m_isRecording)
        return;
    m_isRecording = false;
    qApp->removeEventFilter(this);
    if (m_hotKeyManager)
        m_hotKeyManager->resume();
    refresh();
}

bool ShortcutRecorderRow::handleKeyDown(QKeyEvent* event) {
    if (!m_isRecording || isModifierKey(event->key()))
        return false;
    const quint32 modifiers = modifiersForEvent(event);
    const std::optional<quint32> keyCode = keyCodeForEvent(event);
    const bool functionKey = keyCode && std::find(std::begin(functionKeyCodes), std::end(functionKeyCodes), *keyCode) !=
                                            std::end(functionKeyCodes);
    if (modifiers == 0 && !functionKey) {
        // Any other bare key (Caps Lock counts for nothing) ends recording and changes nothing.
        stopRecording();
        return true;
    }
    if (!keyCode)
        return false; // a key no shortcut can use: recording goes on
    const bool realModifier =
        modifiers & (GlobalHotKey::controlMask | GlobalHotKey::optionMask | GlobalHotKey::commandMask);
    if (!realModifier && !functionKey) {
        // Shift with a typing key would take that character from every application.
        stopRecording();
        showMessage(tr("A shortcut needs Ctrl, Alt or Super. The shortcut stays %1.").arg(shortcutString()));
        return true;
    }

    UserDefaults& defaults = UserDefaults::standard();
    const QVariant oldCode =
        defaults.persistentExists(DefaultsKeys::hotKeyCode) ? defaults.object(DefaultsKeys::hotKeyCode) : QVariant();
    const QVariant oldModifiers = defaults.persistentExists(DefaultsKeys::hotKeyModifiers)
                                      ? defaults.object(DefaultsKeys::hotKeyModifiers)
                                      : QVariant();
    defaults.setInteger(DefaultsKeys::hotKeyCode, *keyCode);
    defaults.setInteger(DefaultsKeys::hotKeyModifiers, modifiers);
    m_isRecording = false;
    qApp->removeEventFilter(this);
    NotificationCenter::defaultCenter().post(Notifications::hotKeyDidChange);
    if (m_hotKeyManager && m_hotKeyManager->isSuspended())
        m_hotKeyManager->resume(); // a manager that does not observe the change registers it here

    if (m_hotKeyManager && !m_hotKeyManager->isRegistered()) {
        const QString refused = shortcutString(*keyCode, modifiers);
        const auto restore = [&defaults](const QString& key, const QVariant& value) {
            if (value.isValid())
                defaults.setValue(key, value);
            else
                defaults.remove(key);
        };
        restore(DefaultsKeys::hotKeyCode, oldCode);
        restore(DefaultsKeys::hotKeyModifiers, oldModifiers);
        // The manager reads absent keys as 0 on a change: register the old shortcut as it reads at start.
        m_hotKeyManager->suspend();
        m_hotKeyManager->resume();
        showMessage(tr("%1 could not be registered (another application may use it). The shortcut stays %2.")
                        .arg(refused, shortcutString()));
    }
    refresh();
    return true;
}

bool ShortcutRecorderRow::eventFilter(QObject* watched, QEvent* event) {
    if (!m_isRecording || !watched->isWidgetType() || static_cast<QWidget*>(watched)->window() != window())
        return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::ShortcutOverride) {
        // Keep the chord from triggering an action: it arrives as a key press instead.
        event->accept();
        return true;
    }
    if (event->type() == QEvent::KeyPress)
        return handleKeyDown(static_cast<QKeyEvent*>(event));
    return QWidget::eventFilter(watched, event);
}

void ShortcutRecorderRow::hideEvent(QHideEvent* event) {
    stopRecording();
    QWidget::hideEvent(event);
}

void ShortcutRecorderRow::showMessage(const QString& text) {
    m_message->setText(text);
    m_message->setVisible(!text.isEmpty());
}

void ShortcutRecorderRow::refresh() {
    m_button->setText(buttonLabel());
    QPalette palette = m_button->palette();
    palette.setColor(QPalette::ButtonText, m_isRecording ? palette.color(QPalette::PlaceholderText)
                                                         : QApplication::palette().color(QPalette::ButtonText));
    m_button->setPalette(palette);
}
