// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QString>

class QTextDocument;

// Our own reader for RTF as word processors and browsers put it on the clipboard: fonts, sizes,
// bold, italic, underline, colours, paragraphs with alignment, \uN and \'hh in the document's code
// page. Anything else (pictures, tables' layout, style sheets, document info) is skipped. Bounded
// on hostile input: linear in the input, never recurses, caps nesting and numbers.
namespace RtfReader {

// Fills the document from RTF; false when the data is not RTF (no "{\rtf").
// The document is cleared first, also when false is returned.
bool read(const QByteArray& rtf, QTextDocument* document);

// Whether stored rich text is RTF: after optional white space it begins with "{\rtf". Rich text
// that is not RTF is HTML, as this desktop's applications offer it.
bool isRtf(const QByteArray& data);

// The text of the RTF, paragraphs separated by "\n"; empty when the data is not RTF.
QString plainText(const QByteArray& rtf);

} // namespace RtfReader
