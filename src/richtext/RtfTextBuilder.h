// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <Qt>

#include <algorithm>
#include <optional>
#include <vector>

struct RtfCharFormat {
    enum class Position { Normal, Superscript, Subscript };
    int font = -1;
    int halfPoints = 24;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    bool hidden = false;
    Position position = Position::Normal;
    int foreground = 0; // colour table index; 0 is the automatic colour
    int background = 0;
    int link = -1;           // index of the field's link target (RtfParser::link); -1: none
    bool listMarker = false; // a list item's marker ("1.", a bullet) as the writer drew it

    bool operator==(const RtfCharFormat&) const = default;
};

struct RtfParagraphFormat {
    Qt::Alignment alignment = Qt::AlignLeft;
    int leftIndent = 0; // twips
    int rightIndent = 0;
    int firstLineIndent = 0; // relative to leftIndent; negative for a hanging marker
    int listLevel = -1;      // -1: not a list item; 0 the outermost level
    bool inTable = false;
};

struct RtfRun {
    QString text;
    RtfCharFormat format;
    bool cellBreak = false; // the tab that stands for the boundary between two table cells
};

struct RtfParagraph {
    RtfParagraphFormat format;
    std::vector<RtfRun> runs;
    bool continuesRow = false; // started by a paragraph break inside a table cell
    bool isEmpty() const;
};

// Collects the reader's text into paragraphs of formatted runs: lays table cells out as
// tab-separated lines and stops taking text at a character limit.
class RtfTextBuilder {
public:
    // maxCharacters < 0: no limit. Paragraph breaks count as one character.
    explicit RtfTextBuilder(qsizetype maxCharacters) : m_limit(maxCharacters) {}

    // Control characters are dropped; text beyond the limit too (a surrogate pair stays whole).
    // The paragraph takes the format of its last text unless none is given.
    void append(QString text, const RtfCharFormat& format, const std::optional<RtfParagraphFormat>& paragraph);
    void endParagraph(const RtfParagraphFormat& paragraph);
    void endCell(const RtfCharFormat& format);
    void startRow();
    void endRow(const RtfParagraphFormat& paragraph);
    // Trailing empty paragraphs are what the last breaks leave behind, not content.
    void finish();

    // The limit is reached: nothing more will be taken, reading can stop.
    bool full() const { return m_full; }
    // Text was left out because of the limit.
    bool truncated() const { return m_truncated; }
    // Characters still taken; -1 without a limit.
    qsizetype remaining() const { return m_limit < 0 ? -1 : std::max<qsizetype>(m_limit - m_count, 0); }
    const std::vector<RtfParagraph>& paragraphs() const { return m_paragraphs; }

private:
    void take(QString text, const RtfCharFormat& format, const std::optional<RtfParagraphFormat>& paragraph,
              bool cellBreak);

    std::vector<RtfParagraph> m_paragraphs{RtfParagraph{}};
    qsizetype m_limit = -1;
    qsizetype m_count = 0;
    bool m_full = false;
    bool m_truncated = false;
    bool m_pendingCell = false;  // a cell has ended; the next text in the row starts after a tab
    bool m_breakInCell = false;  // the current paragraph was started by a break inside a table cell
    bool m_rowJustEnded = false; // a row has ended and no text has come since
};
