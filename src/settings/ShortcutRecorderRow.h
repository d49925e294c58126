// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>

#include <optional>

class HotKeyManager;
class QKeyEvent;
class QLabel;
class QPushButton;

// The row that shows and records the shortcut toggling the panel, stored as a Carbon key code
// ("hotKeyCode") and modifier mask ("hotKeyModifiers") and announced with "hotKeyDidChange".
// While recording, the current shortcut is released so it can be pressed again, and the panel is
// hidden so its keyboard grab lets the keys through. A new shortcut needs
// Ctrl, Alt or Super, except a function key, which may stand alone or with Shift; one the system
// refuses is shown and the old one restored. Recording ends when the row is hidden (window closed, other page).
class ShortcutRecorderRow : public QWidget {
    Q_OBJECT
public:
    static constexpr qint64 defaultKeyCode = 9;
    static constexpr qint64 defaultModifiers = 768;

    // hotKeyManager: the one whose registration the new shortcut must pass; may be null.
    explicit ShortcutRecorderRow(HotKeyManager* hotKeyManager, QWidget* parent = nullptr);
    ~ShortcutRecorderRow() override;

    static QString shortcutString(qint64 keyCode, qint64 modifiers);
    static QString keyName(qint64 keyCode);
    // The Carbon key code of a key event's key, whatever modifiers are held; none for a key the
    // hot-key table does not know.
    static std::optional<quint32> keyCodeForEvent(const QKeyEvent* event);
    // The Carbon mask of a key event's Ctrl, Alt, Super and Shift.
    static quint32 modifiersForEvent(const QKeyEvent* event);

    QString shortcutString() const;
    QString buttonLabel() const;
    bool isRecording() const { return m_isRecording; }
    void toggleRecording();
    void startRecording();
    void stopRecording();
    // True when the key was taken by the recorder.
    bool handleKeyDown(QKeyEvent* event);

    QPushButton* button() const { return m_button; }
    // The reason the last chord was not taken; empty otherwise.
    QString message() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void refresh();
    void showMessage(const QString& text);

    HotKeyManager* m_hotKeyManager;
    QPushButton* m_button;
    QLabel* m_message;
    bool m_isRecording = false;
};
