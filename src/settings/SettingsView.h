// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QWidget>

#include <optional>

class HotKeyManager;
class QListWidget;
class QStackedWidget;

// The settings window's content: a sidebar of the pages and the selected page beside it.
class SettingsView : public QWidget {
    Q_OBJECT
public:
    enum class Tabs { general, about };
    static constexpr Tabs allTabs[] = {Tabs::general, Tabs::about};

    static QString rawKey(Tabs tab);
    static QString symbolName(Tabs tab);
    static int idealHeight(Tabs tab);
    // The tab of a key; none for any other key.
    static std::optional<Tabs> tabForKey(const QString& key);

    explicit SettingsView(HotKeyManager* hotKeyManager, QWidget* parent = nullptr);

    Tabs selectedTab() const { return m_selectedTab; }
    void setSelectedTab(Tabs tab);
    // The page of a tab, built when first selected; null before.
    QWidget* page(Tabs tab) const;
    QListWidget* sidebar() const { return m_sidebar; }

private:
    QWidget* detail(Tabs tab);

    HotKeyManager* m_hotKeyManager;
    QListWidget* m_sidebar;
    QStackedWidget* m_stack;
    QWidget* m_pages[2] = {nullptr, nullptr};
    QWidget* m_stackPages[2] = {nullptr, nullptr}; // the page or the scroll area holding it
    Tabs m_selectedTab = Tabs::general;
};
