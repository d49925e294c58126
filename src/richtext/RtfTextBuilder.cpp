// SPDX-License-Identifier: MIT
#include "richtext/RtfTextBuilder.h"

#include "richtext/RtfCharsets.h"

#include <algorithm>

bool RtfParagraph::isEmpty() const {
    return std::all_of(runs.begin(), runs.end(), [](const RtfRun& r) { return r.text.isEmpty(); });
}

void RtfTextBuilder::append(QString text, const RtfCharFormat& format,
                            const std::optional<RtfParagraphFormat>& paragraph) {
    RtfCharsets::removeControlCharacters(text);
    if (text.isEmpty() || m_full)
        return;
    if (m_pendingCell) {
        m_pendingCell = false;
        take(QStringLiteral("\t"), format, paragraph, true);
    }
    m_rowJustEnded = false;
    take(std::move(text), format, paragraph, false);
}

void RtfTextBuilder::take(QString text, const RtfCharFormat& format, const std::optional<RtfParagraphFormat>& paragraph,
                          bool cellBreak) {
    if (m_full)
        return;
    if (m_limit >= 0 && text.size() > m_limit - m_count) {
        qsizetype keep = std::max<qsizetype>(m_limit - m_count, 0);
        if (keep > 0 && text[keep - 1].isHighSurrogate())
            --keep;
        text.truncate(keep);
        m_full = true;
        m_truncated = true;
    }
    m_count += text.size();
    if (text.isEmpty())
        return;
    RtfParagraph& p = m_paragraphs.back();
    if (!cellBreak && !p.runs.empty() && !p.runs.back().cellBreak && p.runs.back().format == format)
        p.runs.back().text += text;
    else
        p.runs.push_back(RtfRun{text, format, cellBreak});
    if (paragraph)
        p.format = *paragraph;
}

void RtfTextBuilder::endParagraph(const RtfParagraphFormat& paragraph) {
    if (m_rowJustEnded && m_paragraphs.back().isEmpty()) {
        m_rowJustEnded = false; // the row already ended its line
        return;
    }
    m_pendingCell = false;
    m_paragraphs.back().format = paragraph;
    m_paragraphs.push_back(RtfParagraph{paragraph, {}, paragraph.inTable});
    m_breakInCell = paragraph.inTable;
    ++m_count;
}

void RtfTextBuilder::endCell(const RtfCharFormat& format) {
    // A cell's own last paragraph mark ends the cell, not a line.
    if (m_breakInCell && m_paragraphs.size() > 1 && m_paragraphs.back().isEmpty()) {
        m_paragraphs.pop_back();
        --m_count;
    }
    m_breakInCell = false;
    if (m_pendingCell) {
        m_pendingCell = false;
        take(QStringLiteral("\t"), format, std::nullopt, true); // the cell before was empty
        m_rowJustEnded = false;
    }
    m_pendingCell = true;
}

void RtfTextBuilder::startRow() {
    m_breakInCell = false;
}

void RtfTextBuilder::endRow(const RtfParagraphFormat& paragraph) {
    m_breakInCell = false;
    m_pendingCell = false;
    m_rowJustEnded = false;
    endParagraph(paragraph);
    m_paragraphs.back().continuesRow = false;
    m_breakInCell = false;
    m_rowJustEnded = true;
}

void RtfTextBuilder::finish() {
    while (m_paragraphs.size() > 1 && m_paragraphs.back().isEmpty())
        m_paragraphs.pop_back();
}
