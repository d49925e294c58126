// SPDX-License-Identifier: MIT
#include "settings/SettingsView.h"

#include "platform/Symbols.h"
#include "settings/AboutSettingsView.h"
#include "settings/GeneralSettingsView.h"
#include "update/UpdateManager.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QListWidget>
#include <QScrollArea>
#include <QStackedWidget>

QString SettingsView::rawKey(Tabs tab) {
    return tab == Tabs::general ? QStringLiteral("General") : QStringLiteral("About");
}

QString SettingsView::symbolName(Tabs tab) {
    return tab == Tabs::general ? QStringLiteral("gearshape") : QStringLiteral("info.circle");
}

int SettingsView::idealHeight(Tabs tab) {
    return tab == Tabs::general ? 650 : 500;
}

std::optional<SettingsView::Tabs> SettingsView::tabForKey(const QString& key) {
    for (Tabs tab : allTabs) {
        if (rawKey(tab) == key)
            return tab;
    }
    return std::nullopt;
}

SettingsView::SettingsView(HotKeyManager* hotKeyManager, QWidget* parent)
    : QWidget(parent), m_hotKeyManager(hotKeyManager) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_sidebar = new QListWidget(this);
    m_sidebar->setFixedWidth(200);
    m_sidebar->setIconSize(QSize(18, 18));
    m_sidebar->setFrameShape(QFrame::NoFrame);
    m_sidebar->setStyleSheet(
        QStringLiteral("QListWidget { background: palette(window); padding-top: 36px; } "
                       "QListWidget::item { padding: 6px 8px; border-radius: 6px; color: palette(text); } "
                       "QListWidget::item:selected { background: palette(highlight); "
                       "color: palette(highlighted-text); }"));
    for (Tabs tab : allTabs) {
        // The raw keys are the source texts of the tab titles.
        const QByteArray key = rawKey(tab).toUtf8();
        auto* item = new QListWidgetItem(Symbols::icon(symbolName(tab)),
                                         QCoreApplication::translate("SettingsView", key.constData()), m_sidebar);
        item->setData(Qt::UserRole, rawKey(tab));
    }
    m_stack = new QStackedWidget(this);
    layout->addWidget(m_sidebar);
    layout->addWidget(m_stack, 1);
    connect(m_sidebar, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && row < int(std::size(allTabs)))
            setSelectedTab(allTabs[row]);
    });
    m_sidebar->setCurrentRow(0);
    setSelectedTab(Tabs::general);
    // Small enough for an 800 x 450 desktop (a 1600 x 900 screen at twice the scale).
    setMinimumSize(480, 320);
}

void SettingsView::setSelectedTab(Tabs tab) {
    m_selectedTab = tab;
    detail(tab);
    m_stack->setCurrentWidget(m_stackPages[tab == Tabs::general ? 0 : 1]);
    const int row = tab == Tabs::general ? 0 : 1;
    if (m_sidebar->currentRow() != row)
        m_sidebar->setCurrentRow(row);
}

QWidget* SettingsView::page(Tabs tab) const {
    return m_pages[tab == Tabs::general ? 0 : 1];
}

QWidget* SettingsView::detail(Tabs tab) {
    QWidget*& slot = m_pages[tab == Tabs::general ? 0 : 1];
    if (!slot) {
        if (tab == Tabs::general)
            slot = new GeneralSettingsView(m_hotKeyManager, m_stack);
        else
            slot = new AboutSettingsView(UpdateManager::shared(), m_stack);
        QWidget* shown = slot;
        if (tab != Tabs::general) {
            // On a short screen the page scrolls instead of making the window taller than the
            // screen (the General page scrolls on its own).
            auto* scroll = new QScrollArea(m_stack);
            scroll->setWidgetResizable(true);
            scroll->setFrameShape(QFrame::NoFrame);
            scroll->setWidget(slot);
            shown = scroll;
        }
        m_stackPages[tab == Tabs::general ? 0 : 1] = shown;
        m_stack->addWidget(shown);
    }
    return slot;
}

// The tab titles, for the translation tables.
[[maybe_unused]] static const char* const tabTitles[] = {QT_TRANSLATE_NOOP("SettingsView", "General"),
                                                         QT_TRANSLATE_NOOP("SettingsView", "About")};
