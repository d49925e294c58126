// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

class QTextDocument;

// Our own reader for RTF as word processors and browsers put it on the clipboard: fonts, sizes,
// bold, italic, underline, sub- and superscript, colours, paragraphs with alignment and indents,
// list markers, table rows as tab-separated lines, \uN and \'hh in the document's code page or a
// symbol font. Anything else (pictures, tables' layout, style sheets, document info) is skipped.
// Bounded on hostile input: linear in the input, never recurses, caps nesting and numbers.
//
// maxCharacters >= 0 reads only the beginning: parsing stops once that many characters of text
// (a paragraph break counts as one) are taken, so a preview of a large document costs little.
// *truncated (when given) tells whether text was left out because of the limit.
namespace RtfReader {

// Fills the document from RTF; false when the data is not RTF (no "{\rtf").
// The document is cleared first, also when false is returned.
bool read(const QByteArray& rtf, QTextDocument* document, qsizetype maxCharacters = -1, bool* truncated = nullptr);

// Whether stored rich text is RTF: after optional white space it begins with "{\rtf". Rich text
// that is not RTF is HTML, as this desktop's applications offer it.
bool isRtf(const QByteArray& data);

// The text of the RTF, paragraphs separated by "\n", list items indented by a tab per nesting
// level; empty when the data is not RTF.
QString plainText(const QByteArray& rtf, qsizetype maxCharacters = -1, bool* truncated = nullptr);

} // namespace RtfReader
