// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <array>
#include <optional>

// One filter button of the toolbar: its title key and the entry type handed to the store
// (none for "All"; "color" is the store's colour predicate).
struct TypeFilter {
    QString titleKey;
    std::optional<QString> type;

    static const std::array<TypeFilter, 7>& all();
};

inline const std::array<TypeFilter, 7>& TypeFilter::all() {
    static const std::array<TypeFilter, 7> table{{
        {QStringLiteral("All"), std::nullopt},
        {QStringLiteral("Image"), QStringLiteral("image")},
        {QStringLiteral("Color"), QStringLiteral("color")},
        {QStringLiteral("Text"), QStringLiteral("text")},
        {QStringLiteral("Rich Text"), QStringLiteral("richText")},
        {QStringLiteral("URL"), QStringLiteral("url")},
        {QStringLiteral("File"), QStringLiteral("file")},
    }};
    return table;
}

// The titles as translation source texts; the toolbar looks them up in this context.
[[maybe_unused]] inline const char* const typeFilterTitles[] = {
    QT_TRANSLATE_NOOP("PanelContentView", "All"),       QT_TRANSLATE_NOOP("PanelContentView", "Image"),
    QT_TRANSLATE_NOOP("PanelContentView", "Color"),     QT_TRANSLATE_NOOP("PanelContentView", "Text"),
    QT_TRANSLATE_NOOP("PanelContentView", "Rich Text"), QT_TRANSLATE_NOOP("PanelContentView", "URL"),
    QT_TRANSLATE_NOOP("PanelContentView", "File")};
