// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// Notification names shared across the application (posted on NotificationCenter::defaultCenter()).
namespace Notifications {
inline const QString clearClipboardHistory = QStringLiteral("clearClipboardHistory");
inline const QString clipboardHistoryDidClear = QStringLiteral("clipboardHistoryDidClear");
inline const QString panelShouldHide = QStringLiteral("panelShouldHide");
inline const QString searchFieldStateChanged = QStringLiteral("searchFieldStateChanged");
inline const QString hotKeyDidChange = QStringLiteral("hotKeyDidChange");
inline const QString urlPreviewUpdated = QStringLiteral("URLPreviewUpdated");
inline const QString itemFavoriteStatusChanged = QStringLiteral("ItemFavoriteStatusChanged");
inline const QString sourceAppUpdated = QStringLiteral("SourceAppUpdated");
// the history could not be saved for want of disk space (posted once until a save succeeds)
inline const QString historyStoreFull = QStringLiteral("historyStoreFull");
// a large entry was given up: the disk has no room for it (user info: bytesKey, its size)
inline const QString historyEntryGivenUp = QStringLiteral("historyEntryGivenUp");
inline const QString bytesKey = QStringLiteral("bytes");
// user-info key of clipboardHistoryDidClear: false when the history could not be cleared
inline const QString clearedKey = QStringLiteral("cleared");
// user-info keys of searchFieldStateChanged
inline const QString isExpandedKey = QStringLiteral("isExpanded");
inline const QString isAnimatingKey = QStringLiteral("isAnimating");
} // namespace Notifications

// User-defaults keys shared across the application.
namespace DefaultsKeys {
inline const QString historyRetentionDays = QStringLiteral("historyRetentionDays");
inline const QString pasteDirectly = QStringLiteral("pasteDirectly");
inline const QString reverseScrollDirection = QStringLiteral("reverseScrollDirection");
inline const QString plainTextModifier = QStringLiteral("plainTextModifier");
inline const QString hotKeyCode = QStringLiteral("hotKeyCode");
inline const QString hotKeyModifiers = QStringLiteral("hotKeyModifiers");
inline const QString forceEnglish = QStringLiteral("forceEnglish");
inline const QString appleLanguages = QStringLiteral("AppleLanguages");
} // namespace DefaultsKeys

// Entry type strings; "color" is a filter value only and never stored.
namespace EntryType {
inline const QString text = QStringLiteral("text");
inline const QString richText = QStringLiteral("richText");
inline const QString url = QStringLiteral("url");
inline const QString image = QStringLiteral("image");
inline const QString file = QStringLiteral("file");
inline const QString color = QStringLiteral("color");
} // namespace EntryType
