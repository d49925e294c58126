// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>

// HTML for programs that take rich text only as HTML (browsers, GTK editors, mail composers), made
// from what our RTF reader holds: paragraphs and their alignment, bold, italic, underline,
// strike-through, sub- and superscript, text colour, web links, nested lists and tables. Fonts,
// sizes, pictures and the tables' layout are left out.
// The RTF is another program's data: its text is escaped and only our own tags and attributes are
// written, links only with web and mail schemes, so nothing in it becomes markup or script.
namespace RtfHtml {

// A UTF-8 HTML document; empty when the data is not RTF.
QByteArray fromRtf(const QByteArray& rtf);

} // namespace RtfHtml
