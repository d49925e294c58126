// SPDX-License-Identifier: MIT
#include "richtext/RtfReader.h"

#include "richtext/RtfParser.h"

#include <QBrush>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>

namespace {

constexpr qreal twipsPerPoint = 20.0;

QTextCharFormat charFormatFor(const RtfParser& parser, const RtfCharFormat& f) {
    QTextCharFormat format;
    const QString family = parser.fontName(f.font);
    if (!family.isEmpty())
        format.setFontFamilies({family});
    format.setFontPointSize(f.halfPoints / 2.0);
    format.setFontWeight(f.bold ? QFont::Bold : QFont::Normal);
    format.setFontItalic(f.italic);
    format.setFontUnderline(f.underline);
    format.setFontStrikeOut(f.strike);
    if (f.position == RtfCharFormat::Position::Superscript)
        format.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
    else if (f.position == RtfCharFormat::Position::Subscript)
        format.setVerticalAlignment(QTextCharFormat::AlignSubScript);
    if (const auto fg = parser.color(f.foreground))
        format.setForeground(QBrush(*fg));
    if (const auto bg = parser.color(f.background))
        format.setBackground(QBrush(*bg));
    return format;
}

// Indents in points, one document unit each.
QTextBlockFormat blockFormatFor(const RtfParagraphFormat& p) {
    QTextBlockFormat block;
    block.setAlignment(p.alignment);
    if (p.leftIndent > 0)
        block.setLeftMargin(p.leftIndent / twipsPerPoint);
    if (p.rightIndent > 0)
        block.setRightMargin(p.rightIndent / twipsPerPoint);
    const int firstLine = std::max(p.firstLineIndent, -p.leftIndent);
    if (firstLine != 0)
        block.setTextIndent(firstLine / twipsPerPoint);
    // The tab after a hanging list marker goes to the paragraph's indent, as in word processors
    // (tab positions count from where the first line starts).
    if (firstLine < 0)
        block.setTabPositions({QTextOption::Tab(-firstLine / twipsPerPoint, QTextOption::LeftTab)});
    return block;
}

void reportTruncation(const RtfParser& parser, bool* truncated) {
    if (truncated)
        *truncated = parser.text().truncated();
}

} // namespace

namespace RtfReader {

bool read(const QByteArray& rtf, QTextDocument* document, qsizetype maxCharacters, bool* truncated) {
    if (truncated)
        *truncated = false;
    if (!document)
        return false;
    document->clear();
    RtfParser parser(rtf, maxCharacters);
    if (!parser.parse())
        return false;
    reportTruncation(parser, truncated);
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    bool first = true;
    for (const RtfParagraph& p : parser.text().paragraphs()) {
        if (first)
            cursor.setBlockFormat(blockFormatFor(p.format));
        else
            cursor.insertBlock(blockFormatFor(p.format));
        first = false;
        for (const RtfRun& run : p.runs)
            cursor.insertText(run.text, charFormatFor(parser, run.format));
    }
    cursor.endEditBlock();
    return true;
}

QString plainText(const QByteArray& rtf, qsizetype maxCharacters, bool* truncated) {
    if (truncated)
        *truncated = false;
    RtfParser parser(rtf, maxCharacters);
    if (!parser.parse())
        return {};
    reportTruncation(parser, truncated);
    QString out;
    bool first = true;
    for (const RtfParagraph& p : parser.text().paragraphs()) {
        if (!first)
            out += QLatin1Char('\n');
        first = false;
        if (p.format.listLevel > 0)
            out += QString(p.format.listLevel, QLatin1Char('\t'));
        for (const RtfRun& run : p.runs)
            out += run.text;
    }
    out.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return out;
}

bool isRtf(const QByteArray& data) {
    qsizetype start = 0;
    while (start < data.size() && QChar::isSpace(uchar(data[start])))
        ++start;
    return QByteArrayView(data).sliced(start).startsWith("{\\rtf");
}

} // namespace RtfReader
