// SPDX-License-Identifier: MIT
#include "settings/AboutSettingsView.h"

#include "platform/Symbols.h"
#include "settings/LanguageManager.h"
#include "settings/SettingsForm.h"
#include "settings/ToggleStyle.h"
#include "update/UpdateManager.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

AboutSettingsView::AboutSettingsView(UpdateManager& updateManager, QWidget* parent)
    : QWidget(parent), m_updateManager(updateManager) {
    LanguageManager::shared();

    auto* page = new QVBoxLayout(this);
    page->setSpacing(20);
    page->addStretch(1);

    auto* icon = new QLabel(this);
    const QIcon appIcon =
        qApp->windowIcon().isNull() ? Symbols::icon(QStringLiteral("doc.on.clipboard.fill")) : qApp->windowIcon();
    icon->setPixmap(appIcon.pixmap(100, 100));
    icon->setFixedSize(100, 100);
    icon->setScaledContents(true);
    page->addWidget(icon, 0, Qt::AlignHCenter);

    auto* name = new QLabel(tr("Tindralume"), this);
    QFont nameFont = name->font();
    nameFont.setPointSize(28);
    nameFont.setBold(true);
    name->setFont(nameFont);
    page->addWidget(name, 0, Qt::AlignHCenter);

    for (const auto& [text, size] :
         {std::pair{versionText(), 14}, {tr("A powerful clipboard manager for macOS"), 13}}) {
        QLabel* label = SettingsForm::secondaryLabel(text, size, this);
        label->setWordWrap(false);
        page->addWidget(label, 0, Qt::AlignHCenter);
    }

    m_checkButton = new QPushButton(tr("Check for Updates\u2026"), this);
    page->addWidget(m_checkButton, 0, Qt::AlignHCenter);
    m_automaticChecks = new QCheckBox(tr("Automatically check for updates"), this);
    m_automaticChecks->setStyle(ToggleStyle::shared());
    page->addWidget(m_automaticChecks, 0, Qt::AlignHCenter);
    page->addStretch(2);
    QLabel* footer = SettingsForm::secondaryLabel(tr("about_footer"), 11, this);
    footer->setAlignment(Qt::AlignHCenter);
    page->addWidget(footer);
    page->addSpacing(30);

    connect(m_checkButton, &QPushButton::clicked, this, &AboutSettingsView::checkForUpdates);
    connect(m_automaticChecks, &QCheckBox::toggled, this, &AboutSettingsView::setAutomaticChecks);
    connect(&m_updateManager, &UpdateManager::canCheckForUpdatesChanged, this, &AboutSettingsView::refresh);
    connect(&m_updateManager, &UpdateManager::automaticallyChecksForUpdatesChanged, this, &AboutSettingsView::refresh);
    refresh();
}

QString AboutSettingsView::versionText() {
    const QString version = QCoreApplication::applicationVersion();
    const QVariant build = qApp->property("buildNumber");
    const QString buildText = build.typeId() == QMetaType::QString ? build.toString() : QString();
    return tr("Version %1 (%2)")
        .arg(version.isEmpty() ? QStringLiteral("1.0.0") : version,
             buildText.isEmpty() ? QStringLiteral("0") : buildText);
}

void AboutSettingsView::checkForUpdates() {
    // A click that arrives after checking became impossible does nothing.
    if (m_updateManager.canCheckForUpdates())
        m_updateManager.controller()->checkForUpdates();
}

void AboutSettingsView::setAutomaticChecks(bool enabled) {
    m_updateManager.controller()->setAutomaticallyChecksForUpdates(enabled);
}

void AboutSettingsView::refresh() {
    m_checkButton->setEnabled(m_updateManager.canCheckForUpdates());
    // The checkbox shows what the updater reports.
    const QSignalBlocker blocker(m_automaticChecks);
    m_automaticChecks->setChecked(m_updateManager.automaticallyChecksForUpdates());
}
