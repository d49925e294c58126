// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

// Character sets of RTF text: Windows code pages named by \fcharset and \ansicpg, and the symbol
// fonts whose bytes stand for the pictures the font draws rather than for letters.
namespace RtfCharsets {

enum class SymbolFont { None, Symbol, Wingdings, Other };

// Windows code page for an \fcharset value; 0 when the charset means "the document's".
int codePageForCharset(int charset);
// Name of a QStringDecoder encoding for a Windows code page; Windows-1252 for unknown pages.
QByteArray encodingNameForCodePage(int codePage);

// The kind of symbol font an RTF font entry is (charset 2, or a well-known symbol font's name).
SymbolFont symbolFontFor(int charset, const QString& name);
// The character a symbol font draws for a byte (U+FFFD where it is not known). Takes the
// private-use form U+F020..U+F0FF that some programs write for symbol-font characters too.
char32_t symbolCharacter(SymbolFont font, char32_t code);
QString decodeSymbolFont(SymbolFont font, const QByteArray& bytes);

// Removes C0 and C1 control characters (tab excepted) and DEL, which no text body can show.
void removeControlCharacters(QString& text);

} // namespace RtfCharsets
