// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// The folding behind case- and diacritic-insensitive search: canonical decomposition, combining
// marks removed, simple case folding. "Café" and "CAFE" both fold to "cafe"; "ß" stays "ß" (simple
// folding does not expand it to "ss").
namespace TextFolding {

QString fold(const QString& text);
// Appends the folding of UTF-8 text, in UTF-8: no UTF-16 copy of a large stored text is made.
void foldUtf8(const char* data, qsizetype size, QByteArray& out);

// Substring test on already folded texts; an empty needle is found nowhere.
bool containsFolded(const QString& haystack, const QString& needle);

// Unicode normalisation in linear time. QString::normalized() moves the rest of the string for
// every decomposed character, which takes minutes on a large accented text; this normalises
// piece by piece, cutting only before characters that never interact with what precedes them.
QString normalized(const QString& text, QString::NormalizationForm form);

// Whether canonical normalisation may cut a text just before this character: it neither reorders
// nor composes with anything before it.
bool isNormalizationBoundary(char32_t c);

} // namespace TextFolding
