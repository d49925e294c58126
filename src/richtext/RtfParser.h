// SPDX-License-Identifier: MIT
#pragma once

#include "richtext/RtfCharsets.h"
#include "richtext/RtfTextBuilder.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QColor>
#include <QStringDecoder>

#include <map>
#include <memory>
#include <optional>
#include <vector>

// Follows RTF's groups, destinations and formatting state and hands the text, decoded from its
// code page or symbol font, to an RtfTextBuilder. Never recurses; caps nesting and table sizes.
class RtfParser {
public:
    // The data must outlive the parser. maxCharacters < 0: read all the text.
    RtfParser(const QByteArray& data, qsizetype maxCharacters) : m_data(data), m_text(maxCharacters) {}

    // False when the data is not RTF (no "{\rtf" after leading white space).
    bool parse();
    const RtfTextBuilder& text() const { return m_text; }
    // Empty for a symbol font: its text is decoded to the Unicode characters it draws, which the
    // symbol font itself (mapped to private code points, or missing) would not show.
    QString fontName(int index) const;
    std::optional<QColor> color(int index) const;
    // The target of a hyperlink field, as its instruction names it; empty for none.
    QString link(int index) const;

private:
    enum class Destination { Text, Skip, FontTable, ColorTable, FieldInstruction };
    struct State {
        Destination destination = Destination::Text;
        RtfCharFormat format;
        RtfParagraphFormat paragraph;
        int ucSkip = 1;
        bool listMarker = false; // in a {\listtext} or {\pntext} group
    };
    struct Font {
        QString name;
        int codePage = 0; // 0: the document's code page
        RtfCharsets::SymbolFont symbol = RtfCharsets::SymbolFont::None;
    };

    void groupStart();
    void groupEnd();
    void controlWord(QByteArrayView word, bool hasParam, int param);
    bool destinationWord(QByteArrayView word, bool starred);
    void tableWord(QByteArrayView word);
    bool textWord(QByteArrayView word, bool hasParam, int param);
    bool formatWord(QByteArrayView word, bool hasParam, int param);
    void controlSymbol(char c);
    void textByte(char c);
    void textRun(QByteArrayView run);
    void appendBytes(QByteArrayView bytes);
    void hexByte(char c);
    void unicodeChar(int value);
    void appendText(const QString& text);
    void flushBytes(bool keepDecoderState = false);
    bool consumeSkip();
    int currentCodePage() const;
    QStringDecoder& decoderFor(int codePage);
    void finishFontName();
    void finishColor();
    void finishFieldInstruction();

    State& state() { return m_stack.back(); }

    const QByteArray& m_data;
    RtfTextBuilder m_text;
    std::vector<State> m_stack{State{}};
    int m_overflowDepth = 0; // groups opened beyond the depth limit; their content is dropped
    bool m_starPending = false;
    bool m_groupFresh = false; // no token yet in the current group
    int m_pendingSkip = 0;
    char16_t m_pendingHigh = 0; // first half of a surrogate pair written as two \u

    int m_documentCodePage = 1252;
    int m_defaultFont = -1;
    std::map<int, Font> m_fonts;
    int m_fontEntry = -1;
    int m_fontEntryCharset = -1;
    QByteArray m_fontNameBytes;
    std::vector<std::optional<QColor>> m_colors;
    int m_red = -1, m_green = -1, m_blue = -1;
    QByteArray m_fieldBytes; // the instruction of the field being read
    std::vector<QString> m_links;

    QByteArray m_pendingBytes;
    int m_pendingCodePage = 0; // negative: a symbol font, see currentCodePage()
    std::map<int, std::unique_ptr<QStringDecoder>> m_decoders;
    std::optional<int> m_midCharacterCodePage; // a decoder holding part of a character (flushBytes(true))
};
