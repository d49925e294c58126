// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringView>

// Character references as an HTML parser resolves them: the full table of named references
// (longest match, the legacy names without a semicolon included), numeric references with the
// replacements parsers make (NUL, surrogates and out-of-range codes become U+FFFD, C1 codes their
// Windows-1252 characters).
namespace CharacterReferences {

// Text of an element such as title: every reference resolved.
QString decodeText(QStringView raw);

// An attribute value: as decodeText, except that a named reference without its semicolon that is
// followed by '=' or a letter or digit stays as written (query strings such as "?a=1&copy=2").
QString decodeAttribute(QStringView raw);

// Only the named references, each one only when written with its semicolon or as one of the
// legacy names; numeric ones stay as written.
QString decodeNamed(QStringView raw);

} // namespace CharacterReferences
