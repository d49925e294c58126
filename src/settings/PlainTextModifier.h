// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <optional>

// The modifier that, held while picking an entry, pastes it as plain text. Stored under
// "plainTextModifier" as the raw value; an absent key means shift for every reader.
enum class PlainTextModifier { option = 0, control = 1, command = 2, shift = 3 };

namespace PlainTextModifiers {

inline constexpr PlainTextModifier allCases[] = {PlainTextModifier::option, PlainTextModifier::control,
                                                 PlainTextModifier::command, PlainTextModifier::shift};

inline std::optional<PlainTextModifier> fromRawValue(qint64 raw) {
    if (raw < 0 || raw > 3)
        return std::nullopt;
    return PlainTextModifier(raw);
}

// Shown verbatim, named as this desktop's keys read: Option is Alt, Command is Super.
inline QString displayName(PlainTextModifier modifier) {
    switch (modifier) {
    case PlainTextModifier::option:
        return QStringLiteral("Alt");
    case PlainTextModifier::control:
        return QStringLiteral("Ctrl");
    case PlainTextModifier::command:
        return QStringLiteral("Super");
    case PlainTextModifier::shift:
        return QStringLiteral("Shift");
    }
    return {};
}

} // namespace PlainTextModifiers
