// SPDX-License-Identifier: MIT
#include "settings/GeneralSettingsView.h"

#include "common/AppNames.h"
#include "platform/Console.h"
#include "platform/LoginItem.h"
#include "platform/NotificationCenter.h"
#include "platform/UserDefaults.h"
#include "settings/PlainTextModifier.h"
#include "settings/SettingsForm.h"
#include "settings/ShortcutRecorderRow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <optional>

namespace {
constexpr int kDefaultRetentionDays = 30;
}

GeneralSettingsView::GeneralSettingsView(HotKeyManager* hotKeyManager, QWidget* parent) : QWidget(parent) {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    outer->addWidget(scroll);
    auto* content = new QWidget;
    auto* page = new QVBoxLayout(content);
    page->setContentsMargins(24, 20, 24, 20);
    scroll->setWidget(content);

    auto* title = new QLabel(tr("General"), content);
    QFont titleFont = title->font();
    titleFont.setPointSize(titleFont.pointSize() + 6);
    titleFont.setBold(true);
    title->setFont(titleFont);
    page->addWidget(title);
    page->addSpacing(8);

    using namespace SettingsForm;
    Section preferences =
        addSection(page, tr("Preferences"),
                   tr("When enabled, selecting an item will automatically paste it to the active application."));
    m_startAtLogin = new QCheckBox;
    m_pasteDirectly = new QCheckBox;
    addRow(preferences, tr("Launch at login"), m_startAtLogin);
    addRow(preferences, tr("Paste directly"), m_pasteDirectly);

    Section scrolling =
        addSection(page, QString(), tr("Reverses mouse wheel and horizontal swipe direction in the panel."));
    m_reverseScroll = new QCheckBox;
    addRow(scrolling, tr("Reverse scroll direction"), m_reverseScroll);

    Section keyboard = addSection(page, tr("Keyboard Shortcuts"),
                                  tr("Hold the modifier key while selecting an item to paste as plain text."));
    m_recorder = new ShortcutRecorderRow(hotKeyManager, keyboard.box);
    keyboard.rows->addWidget(m_recorder);
    m_plainTextModifier = new QComboBox;
    for (PlainTextModifier modifier : PlainTextModifiers::allCases)
        m_plainTextModifier->addItem(PlainTextModifiers::displayName(modifier), int(modifier));
    addRow(keyboard, tr("Paste as plain text"), m_plainTextModifier);

    Section data = addSection(page, tr("Data"), QString());
    m_retention = new QComboBox;
    for (int days : retentionOptions)
        m_retention->addItem(retentionLabel(days), days);
    addRow(data, tr("Keep history"), m_retention);
    m_clearButton = new QPushButton(tr("Clear History"));
    auto* clearRow = new QHBoxLayout;
    clearRow->addWidget(m_clearButton);
    clearRow->addStretch(1);
    data.rows->addLayout(clearRow);
    page->addStretch(1);

    loadValues();

    connect(m_startAtLogin, &QCheckBox::toggled, this, [this](bool on) { updateLoginItem(!on, on); });
    connect(m_pasteDirectly, &QCheckBox::toggled, this,
            [](bool on) { UserDefaults::standard().setBool(DefaultsKeys::pasteDirectly, on); });
    connect(m_reverseScroll, &QCheckBox::toggled, this,
            [](bool on) { UserDefaults::standard().setBool(DefaultsKeys::reverseScrollDirection, on); });
    connect(m_plainTextModifier, &QComboBox::activated, this, [this](int index) {
        UserDefaults::standard().setInteger(DefaultsKeys::plainTextModifier,
                                            m_plainTextModifier->itemData(index).toInt());
    });
    connect(m_retention, &QComboBox::activated, this, [this](int index) {
        UserDefaults::standard().setInteger(DefaultsKeys::historyRetentionDays, m_retention->itemData(index).toInt());
    });
    connect(m_clearButton, &QPushButton::clicked, this, [this] {
        auto* alert = new QMessageBox(QMessageBox::Warning, tr("Clear History"), tr("Clear History"),
                                      QMessageBox::NoButton, this);
        alert->setInformativeText(
            tr("Are you sure you want to clear all clipboard history? This action cannot be undone."));
        QPushButton* cancel = alert->addButton(tr("Cancel"), QMessageBox::RejectRole);
        QPushButton* clear = alert->addButton(tr("Clear"), QMessageBox::DestructiveRole);
        alert->setDefaultButton(cancel);
        alert->setEscapeButton(cancel);
        connect(clear, &QPushButton::clicked, this, [this] { clearHistory(); });
        showAlert(alert);
    });
}

void GeneralSettingsView::loadValues() {
    const UserDefaults& defaults = UserDefaults::standard();
    const QSignalBlocker b1(m_startAtLogin), b2(m_pasteDirectly), b3(m_reverseScroll);
    m_startAtLogin->setChecked(isLoginItemEnabled());
    m_pasteDirectly->setChecked(defaults.boolean(DefaultsKeys::pasteDirectly));
    m_reverseScroll->setChecked(defaults.boolean(DefaultsKeys::reverseScrollDirection));
    const std::optional<PlainTextModifier> modifier =
        defaults.objectExists(DefaultsKeys::plainTextModifier)
            ? PlainTextModifiers::fromRawValue(defaults.integer(DefaultsKeys::plainTextModifier))
            : PlainTextModifier::shift;
    // A stored value with no row selects none.
    m_plainTextModifier->setCurrentIndex(modifier ? m_plainTextModifier->findData(int(*modifier)) : -1);
    const qint64 days = defaults.objectExists(DefaultsKeys::historyRetentionDays)
                            ? defaults.integer(DefaultsKeys::historyRetentionDays)
                            : kDefaultRetentionDays;
    m_retention->setCurrentIndex(days >= INT_MIN && days <= INT_MAX ? m_retention->findData(int(days)) : -1);
}

void GeneralSettingsView::showEvent(QShowEvent* event) {
    // Every showing reads the system's login-item state and the stored values anew.
    loadValues();
    QWidget::showEvent(event);
}

QString GeneralSettingsView::retentionLabel(int days) {
    if (days == 0)
        return tr("Forever");
    return tr("%n days", nullptr, days);
}

bool GeneralSettingsView::isLoginItemEnabled() {
    return LoginItem::isEnabled();
}

void GeneralSettingsView::updateLoginItem(bool, bool newValue) {
    QString error;
    const bool ok = newValue ? LoginItem::registerItem(&error) : LoginItem::unregisterItem(&error);
    if (ok)
        return;
    {
        // Setting it back is no user change: it must not register or unregister again.
        const QSignalBlocker blocker(m_startAtLogin);
        m_startAtLogin->setChecked(!newValue);
    }
    consoleLine(QStringLiteral("Failed to ") +
                (newValue ? QStringLiteral("register") : QStringLiteral("un") + QStringLiteral("register")) +
                QStringLiteral(" login item: ") + error);
}

void GeneralSettingsView::clearHistory() {
    // The delegate answers synchronously with "clipboardHistoryDidClear", saying whether it worked.
    std::optional<bool> cleared;
    QObject listener;
    NotificationCenter::defaultCenter().addObserver(
        &listener, Notifications::clipboardHistoryDidClear, [&cleared](const Notification& notification) {
            cleared = notification.userInfo.value(Notifications::clearedKey, false).toBool();
        });
    NotificationCenter::defaultCenter().post(Notifications::clearClipboardHistory);
    NotificationCenter::defaultCenter().removeObserver(&listener);

    QMessageBox* alert;
    if (cleared.value_or(false)) {
        alert = new QMessageBox(QMessageBox::Information, tr("History Cleared"), tr("History Cleared"),
                                QMessageBox::NoButton, this);
        alert->setInformativeText(tr("All clipboard history has been cleared."));
    } else {
        alert = new QMessageBox(QMessageBox::Critical, tr("History Not Cleared"), tr("History Not Cleared"),
                                QMessageBox::NoButton, this);
        alert->setInformativeText(tr("The clipboard history could not be cleared."));
    }
    alert->addButton(tr("OK"), QMessageBox::AcceptRole);
    showAlert(alert);
}

void GeneralSettingsView::showAlert(QMessageBox* alert) {
    alert->setAttribute(Qt::WA_DeleteOnClose);
    // Message boxes size themselves to their words: keep a title and a sentence on a line.
    alert->setStyleSheet(QStringLiteral("QLabel#qt_msgbox_label { min-width: 300px; }"));
    if (m_alert && m_alert != alert)
        m_alert->close();
    m_alert = alert;
    alert->open();
}
