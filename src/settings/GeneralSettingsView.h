// SPDX-License-Identifier: MIT
#pragma once

#include <QPointer>
#include <QWidget>

class HotKeyManager;
class QCheckBox;
class QComboBox;
#include <QMessageBox>
class QPushButton;
class ShortcutRecorderRow;

// The General page: launch at login, direct pasting, scroll direction, the shortcut, the plain-text
// modifier, the retention period, and clearing the history after a confirmation. Each control
// writes its user-defaults key at once; the other subsystems read it when they next need it.
class GeneralSettingsView : public QWidget {
    Q_OBJECT
public:
    static constexpr int retentionOptions[] = {7, 30, 90, 0};

    explicit GeneralSettingsView(HotKeyManager* hotKeyManager, QWidget* parent = nullptr);

    static QString retentionLabel(int days);
    static bool isLoginItemEnabled();

    QCheckBox* startAtLoginToggle() const { return m_startAtLogin; }
    QCheckBox* pasteDirectlyToggle() const { return m_pasteDirectly; }
    QCheckBox* reverseScrollToggle() const { return m_reverseScroll; }
    QComboBox* plainTextModifierPicker() const { return m_plainTextModifier; }
    QComboBox* retentionPicker() const { return m_retention; }
    QPushButton* clearHistoryButton() const { return m_clearButton; }
    ShortcutRecorderRow* shortcutRecorder() const { return m_recorder; }
    // The open confirmation or result alert.
    QMessageBox* currentAlert() const { return m_alert; }

    void updateLoginItem(bool oldValue, bool newValue);
    void clearHistory();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void loadValues();
    void showAlert(QMessageBox* alert);

    QCheckBox* m_startAtLogin;
    QCheckBox* m_pasteDirectly;
    QCheckBox* m_reverseScroll;
    QComboBox* m_plainTextModifier;
    QComboBox* m_retention;
    QPushButton* m_clearButton;
    ShortcutRecorderRow* m_recorder;
    QPointer<QMessageBox> m_alert;
};
