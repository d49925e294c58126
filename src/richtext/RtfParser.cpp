// SPDX-License-Identifier: MIT
#include "richtext/RtfParser.h"

#include "richtext/RtfTokenizer.h"

#include <QSet>

#include <algorithm>

namespace {

// Hostile-input bounds. Real documents stay far below them.
constexpr int maxDepth = 512;
constexpr int maxTableEntries = 4096;
constexpr int maxIndent = 31680; // twips: 22 inches
constexpr int maxListLevel = 8;
constexpr qsizetype maxFieldInstruction = 4096;

bool isWhiteSpace(char c) {
    return c == ' ' || c == '\r' || c == '\n' || c == '\t';
}

} // namespace

bool RtfParser::parse() {
    qsizetype start = 0;
    while (start < m_data.size() && isWhiteSpace(m_data[start]))
        ++start;
    if (!m_data.mid(start, 5).startsWith("{\\rtf"))
        return false;
    RtfTokenizer tokens(m_data, start);
    using Kind = RtfTokenizer::Kind;
    bool started = false;
    while (!m_text.full()) {
        const RtfTokenizer::Token token = tokens.next();
        if (token.kind == Kind::End)
            break;
        if (token.kind == Kind::GroupStart) {
            flushBytes();
            if (started && m_stack.size() == 1 && m_overflowDepth == 0)
                break; // text after the document's closing brace is not part of it
            started = true;
            groupStart();
            continue;
        }
        if (token.kind == Kind::GroupEnd) {
            flushBytes();
            groupEnd();
            if (m_stack.size() == 1 && m_overflowDepth == 0)
                break; // the document's own group has closed
            continue;
        }
        if (token.kind == Kind::ControlWord)
            controlWord(token.text, token.hasParam, token.param);
        else if (token.kind == Kind::ControlSymbol)
            controlSymbol(token.byte);
        else if (token.kind == Kind::HexByte)
            hexByte(token.byte);
        else
            textRun(token.text);
        if (m_overflowDepth == 0 && m_stack.size() > 1 && state().destination == Destination::Skip) {
            // Nothing of a skipped destination is used: pass over it (pictures can be megabytes).
            tokens.skipGroup();
            groupEnd();
            if (m_stack.size() == 1)
                break;
        }
    }
    flushBytes();
    if (m_pendingHigh)
        appendText(QString());
    m_text.finish();
    return true;
}

QString RtfParser::fontName(int index) const {
    const auto it = m_fonts.find(index);
    if (it == m_fonts.end() || it->second.symbol != RtfCharsets::SymbolFont::None)
        return {};
    return it->second.name;
}

QString RtfParser::link(int index) const {
    return index >= 0 && index < int(m_links.size()) ? m_links[size_t(index)] : QString();
}

std::optional<QColor> RtfParser::color(int index) const {
    if (index <= 0 || index >= int(m_colors.size()))
        return std::nullopt;
    return m_colors[size_t(index)];
}

void RtfParser::groupStart() {
    m_pendingSkip = 0;
    m_starPending = false;
    if (m_overflowDepth > 0 || int(m_stack.size()) > maxDepth) {
        ++m_overflowDepth;
        return;
    }
    State copy = m_stack.back();
    m_stack.push_back(copy);
    m_groupFresh = true;
}

void RtfParser::groupEnd() {
    m_pendingSkip = 0;
    m_starPending = false;
    m_groupFresh = false;
    if (m_overflowDepth > 0) {
        --m_overflowDepth;
        return;
    }
    if (m_stack.size() <= 1)
        return;
    const Destination leaving = state().destination;
    if (leaving == Destination::FontTable)
        finishFontName();
    m_stack.pop_back();
    if (leaving == Destination::FieldInstruction && state().destination != Destination::FieldInstruction)
        finishFieldInstruction();
    // Leaving a font entry's own group inside the table ends that entry.
    if (leaving == Destination::FontTable && state().destination == Destination::FontTable) {
        m_fontEntry = -1;
        m_fontEntryCharset = -1;
    }
}

bool RtfParser::consumeSkip() {
    if (m_pendingSkip > 0) {
        --m_pendingSkip;
        return true;
    }
    return false;
}

void RtfParser::controlWord(QByteArrayView word, bool hasParam, int param) {
    if (m_overflowDepth > 0)
        return;
    flushBytes(); // the text before a control word keeps the format from before it
    const bool fresh = m_groupFresh;
    m_groupFresh = false;
    const bool starred = m_starPending;
    m_starPending = false;
    if (consumeSkip())
        return;
    State& s = state();
    if (s.destination == Destination::Skip || destinationWord(word, starred && fresh))
        return;

    if (s.destination == Destination::FontTable) {
        if (word == "f" && hasParam) {
            finishFontName();
            m_fontEntry = param;
            m_fontEntryCharset = -1;
        } else if (word == "fcharset" && hasParam) {
            m_fontEntryCharset = param;
        } else if (word == "cpg" && hasParam && m_fontEntry >= 0) {
            m_fontEntryCharset = -1;
            if (int(m_fonts.size()) < maxTableEntries || m_fonts.count(m_fontEntry))
                m_fonts[m_fontEntry].codePage = param;
        }
        return;
    }
    if (s.destination == Destination::ColorTable) {
        const int v = std::clamp(param, 0, 255);
        if (word == "red")
            m_red = v;
        else if (word == "green")
            m_green = v;
        else if (word == "blue")
            m_blue = v;
        return;
    }
    if (!textWord(word, hasParam, param) && !formatWord(word, hasParam, param))
        tableWord(word);
}

// Words that send the group's content somewhere other than the text. True when `word` was one.
bool RtfParser::destinationWord(QByteArrayView word, bool starredFirst) {
    static const QSet<QByteArray> skipped = {"info",
                                             "stylesheet",
                                             "pict",
                                             "header",
                                             "headerl",
                                             "headerr",
                                             "headerf",
                                             "footer",
                                             "footerl",
                                             "footerr",
                                             "footerf",
                                             "footnote",
                                             "object",
                                             "objdata",
                                             "listtable",
                                             "filetbl",
                                             "revtbl",
                                             "rsidtbl",
                                             "xmlnstbl",
                                             "themedata",
                                             "datastore",
                                             "latentstyles",
                                             "generator",
                                             "colorschememapping",
                                             "listoverridetable",
                                             "pgdsctbl",
                                             "author",
                                             "operator",
                                             "title",
                                             "subject",
                                             "keywords",
                                             "comment",
                                             "doccomm",
                                             "nonshppict",
                                             "shppict",
                                             "shp",
                                             "annotation",
                                             "atnid",
                                             "atnauthor",
                                             "private",
                                             "bkmkstart",
                                             "bkmkend",
                                             "txe",
                                             "xe",
                                             "tc",
                                             "userprops",
                                             "docvar",
                                             "mmathPr",
                                             "blipuid",
                                             "wgrffmtfilter",
                                             "defchp",
                                             "defpap"};
    State& s = state();
    if (word == "fonttbl") {
        s.destination = Destination::FontTable;
    } else if (word == "colortbl") {
        s.destination = Destination::ColorTable;
        m_colors.clear();
        m_red = m_green = m_blue = -1;
    } else if (word == "fldinst") {
        s.destination = Destination::FieldInstruction;
        m_fieldBytes.clear();
    } else if (starredFirst || skipped.contains(QByteArray::fromRawData(word.data(), word.size()))) {
        s.destination = Destination::Skip;
    } else {
        return false;
    }
    return true;
}

// Words that put characters or breaks into the text. True when `word` was one.
bool RtfParser::textWord(QByteArrayView word, bool hasParam, int param) {
    static const std::pair<const char*, char16_t> characters[] = {
        {"emdash", 0x2014},    {"endash", 0x2013},    {"bullet", 0x2022},  {"lquote", 0x2018},  {"rquote", 0x2019},
        {"ldblquote", 0x201C}, {"rdblquote", 0x201D}, {"emspace", 0x2003}, {"enspace", 0x2002}, {"qmspace", 0x2005},
        {"zwj", 0x200D},       {"zwnj", 0x200C},      {"zwbo", 0x200B},    {"zwnbo", 0x2060},   {"ltrmark", 0x200E},
        {"rtlmark", 0x200F},   {"line", 0x2028},      {"tab", u'\t'},
    };
    if (word == "par" || word == "sect" || word == "page") {
        m_text.endParagraph(state().paragraph);
    } else if (word == "u" && hasParam) {
        unicodeChar(param);
    } else {
        const auto* it = std::find_if(std::begin(characters), std::end(characters),
                                      [word](const auto& entry) { return word == entry.first; });
        if (it == std::end(characters))
            return false;
        appendText(QString(QChar(it->second)));
    }
    return true;
}

// Words that set the character, paragraph or document format. True when `word` was one.
bool RtfParser::formatWord(QByteArrayView word, bool hasParam, int param) {
    State& s = state();
    RtfCharFormat& f = s.format;
    RtfParagraphFormat& p = s.paragraph;
    const bool on = !hasParam || param != 0;
    const int indent = std::clamp(param, -maxIndent, maxIndent);
    using Position = RtfCharFormat::Position;
    if (word == "plain") {
        const int link = f.link; // the field's result keeps its link through a reset of the format
        f = RtfCharFormat{};
        f.font = m_defaultFont;
        f.link = link;
    } else if (word == "listtext" || word == "pntext") {
        s.listMarker = true;
    } else if (word == "b") {
        f.bold = on;
    } else if (word == "i") {
        f.italic = on;
    } else if (word == "ul" || word == "uld" || word == "uldb" || word == "uldash" || word == "ulw" || word == "ulth" ||
               word == "ulwave") {
        f.underline = on;
    } else if (word == "ulnone") {
        f.underline = false;
    } else if (word == "strike") {
        f.strike = on;
    } else if (word == "v") {
        f.hidden = on;
    } else if (word == "super" || (word == "up" && on)) {
        f.position = Position::Superscript;
    } else if (word == "sub" || (word == "dn" && on)) {
        f.position = Position::Subscript;
    } else if (word == "nosupersub" || word == "up" || word == "dn") {
        f.position = Position::Normal;
    } else if (word == "f" && hasParam) {
        f.font = param;
    } else if (word == "fs" && hasParam) {
        f.halfPoints = std::clamp(param, 2, 800);
    } else if (word == "cf" && hasParam) {
        f.foreground = std::clamp(param, 0, maxTableEntries);
    } else if ((word == "cb" || word == "highlight" || word == "chcbpat") && hasParam) {
        f.background = std::clamp(param, 0, maxTableEntries);
    } else if (word == "pard") {
        p = RtfParagraphFormat{};
    } else if (word == "ql" || word == "qc" || word == "qr" || word == "qj") {
        p.alignment = word == "qc"   ? Qt::AlignHCenter
                      : word == "qr" ? Qt::AlignRight
                      : word == "qj" ? Qt::AlignJustify
                                     : Qt::AlignLeft;
    } else if ((word == "li" || word == "lin") && hasParam) {
        p.leftIndent = std::max(indent, 0);
    } else if ((word == "ri" || word == "rin") && hasParam) {
        p.rightIndent = std::max(indent, 0);
    } else if (word == "fi" && hasParam) {
        p.firstLineIndent = indent;
    } else if (word == "ls" && hasParam) {
        p.listLevel = std::max(p.listLevel, 0);
    } else if (word == "ilvl" && hasParam) {
        p.listLevel = std::clamp(param, 0, maxListLevel);
    } else if (word == "intbl") {
        p.inTable = true;
    } else if (word == "itap" && hasParam) {
        p.inTable = param > 0;
    } else if (word == "uc" && hasParam) {
        s.ucSkip = std::clamp(param, 0, 16);
    } else if (word == "ansicpg" && hasParam) {
        m_documentCodePage = param;
    } else if (word == "mac") {
        m_documentCodePage = 10000;
    } else if (word == "pc") {
        m_documentCodePage = 437;
    } else if (word == "pca") {
        m_documentCodePage = 850;
    } else if (word == "deff" && hasParam) {
        m_defaultFont = param;
        if (f.font < 0)
            f.font = param;
    } else {
        return false;
    }
    return true;
}

void RtfParser::tableWord(QByteArrayView word) {
    if (word == "cell" || word == "nestcell")
        m_text.endCell(state().format);
    else if (word == "row" || word == "nestrow")
        m_text.endRow(state().paragraph);
    else if (word == "trowd")
        m_text.startRow();
}

void RtfParser::controlSymbol(char c) {
    if (m_overflowDepth > 0)
        return;
    flushBytes();
    const bool fresh = m_groupFresh;
    m_groupFresh = false;
    if (c == '*') {
        m_starPending = fresh;
        m_groupFresh = fresh; // the destination word that follows is still the group's first
        return;
    }
    if (consumeSkip())
        return;
    switch (c) {
    case '\\':
    case '{':
    case '}':
        textByte(c);
        break;
    case '~':
        appendText(QString(QChar(0x00A0)));
        break;
    case '_':
        appendText(QString(QChar(0x2011)));
        break;
    case '-':
        appendText(QString(QChar(0x00AD))); // soft hyphen: shows only where the line breaks
        break;
    case '\n':
    case '\r':
        if (state().destination == Destination::Text)
            m_text.endParagraph(state().paragraph);
        break;
    case '\t':
        appendText(QStringLiteral("\t"));
        break;
    default: // \: index entry, \| formula: nothing to show
        break;
    }
}

void RtfParser::textByte(char c) {
    if (m_overflowDepth > 0)
        return;
    m_groupFresh = false;
    m_starPending = false;
    if (consumeSkip())
        return;
    State& s = state();
    switch (s.destination) {
    case Destination::Skip:
        return;
    case Destination::FontTable:
        if (c == ';')
            finishFontName();
        else if (m_fontEntry >= 0 && m_fontNameBytes.size() < 256)
            m_fontNameBytes.append(c);
        return;
    case Destination::ColorTable:
        if (c == ';')
            finishColor();
        return;
    case Destination::FieldInstruction:
        if (m_fieldBytes.size() < maxFieldInstruction)
            m_fieldBytes.append(c);
        return;
    case Destination::Text:
        break;
    }
    appendBytes(QByteArrayView(&c, 1));
}

// Text bytes wait to be decoded together: a multi-byte character can come as several \'hh.
void RtfParser::appendBytes(QByteArrayView bytes) {
    const int cp = currentCodePage();
    if (!m_pendingBytes.isEmpty() && cp != m_pendingCodePage)
        flushBytes();
    m_pendingCodePage = cp;
    m_pendingBytes.append(bytes);
}

void RtfParser::textRun(QByteArrayView run) {
    if (m_overflowDepth > 0)
        return;
    while (!run.isEmpty() && (m_pendingSkip > 0 || state().destination != Destination::Text)) {
        textByte(run.front());
        run = run.sliced(1);
        if (state().destination == Destination::Skip)
            return;
    }
    if (run.isEmpty())
        return;
    m_groupFresh = false;
    m_starPending = false;
    appendBytes(run);
    // With a limit, decode as soon as there are surely enough bytes (a character takes at most four).
    const qsizetype remaining = m_text.remaining();
    if (remaining >= 0 && m_pendingBytes.size() > remaining * 4 + 8)
        flushBytes(true);
}

void RtfParser::hexByte(char c) {
    if (m_overflowDepth > 0)
        return;
    if (state().destination == Destination::FontTable) {
        m_groupFresh = false;
        if (consumeSkip())
            return;
        if (m_fontEntry >= 0 && m_fontNameBytes.size() < 256)
            m_fontNameBytes.append(c);
        return;
    }
    textByte(c);
}

void RtfParser::unicodeChar(int value) {
    if (state().destination != Destination::Text)
        return;
    // Values above 32767 are written as negative 16-bit numbers.
    if (value < 0)
        value += 65536;
    if (value < 0 || value > 0xFFFF)
        value = 0xFFFD;
    flushBytes();
    const char16_t unit = char16_t(value);
    const int codePage = currentCodePage();
    if (codePage < 0 && ((unit >= 0xF020 && unit <= 0xF0FF) || (unit >= 0x20 && unit <= 0xFF))) {
        // A symbol font's character, by its byte or in the private-use area.
        const char32_t c = RtfCharsets::symbolCharacter(RtfCharsets::SymbolFont(-codePage), unit);
        appendText(QString::fromUcs4(&c, 1));
    } else if (QChar::isHighSurrogate(unit)) {
        appendText(QString()); // settles an earlier unpaired half
        m_pendingHigh = unit;
    } else if (QChar::isLowSurrogate(unit)) {
        if (m_pendingHigh) {
            const char16_t pair[2] = {m_pendingHigh, unit};
            m_pendingHigh = 0;
            appendText(QString(reinterpret_cast<const QChar*>(pair), 2));
        } else {
            appendText(QString(QChar::ReplacementCharacter));
        }
    } else {
        appendText(QString(QChar(unit)));
    }
    m_pendingSkip = state().ucSkip;
}

void RtfParser::appendText(const QString& input) {
    if (m_overflowDepth > 0 || state().destination != Destination::Text || state().format.hidden)
        return;
    flushBytes();
    QString text = input;
    if (m_pendingHigh) {
        // Half of a surrogate pair followed by anything but its other half.
        m_pendingHigh = 0;
        text.prepend(QChar::ReplacementCharacter);
    }
    if (text.isEmpty())
        return;
    if (state().listMarker) {
        RtfCharFormat marker = state().format;
        marker.listMarker = true;
        m_text.append(text, marker, state().paragraph);
    } else {
        m_text.append(text, state().format, state().paragraph);
    }
}

void RtfParser::flushBytes(bool keepDecoderState) {
    const bool had = !m_pendingBytes.isEmpty();
    QString text;
    if (had && m_pendingCodePage < 0) {
        text = RtfCharsets::decodeSymbolFont(RtfCharsets::SymbolFont(-m_pendingCodePage), m_pendingBytes);
    } else if (had) {
        QStringDecoder& decoder = decoderFor(m_pendingCodePage);
        text = decoder.decode(m_pendingBytes);
        if (keepDecoderState)
            m_midCharacterCodePage = m_pendingCodePage;
        else
            decoder.resetState();
    }
    if (!keepDecoderState && m_midCharacterCodePage) {
        // A character left half-decoded at the end of a piece is not completed by later text.
        decoderFor(*m_midCharacterCodePage).resetState();
        m_midCharacterCodePage.reset();
    }
    m_pendingBytes.clear();
    if (had)
        appendText(text);
}

// The code page of text in the current font; the negated RtfCharsets::SymbolFont for a symbol font.
int RtfParser::currentCodePage() const {
    const auto it = m_fonts.find(m_stack.back().format.font);
    if (it != m_fonts.end() && it->second.symbol != RtfCharsets::SymbolFont::None)
        return -int(it->second.symbol);
    if (it != m_fonts.end() && it->second.codePage > 0)
        return it->second.codePage;
    return m_documentCodePage;
}

QStringDecoder& RtfParser::decoderFor(int codePage) {
    auto it = m_decoders.find(codePage);
    if (it == m_decoders.end()) {
        auto decoder = std::make_unique<QStringDecoder>(RtfCharsets::encodingNameForCodePage(codePage).constData());
        if (!decoder->isValid())
            decoder = std::make_unique<QStringDecoder>(QStringConverter::Latin1);
        it = m_decoders.emplace(codePage, std::move(decoder)).first;
    }
    return *it->second;
}

void RtfParser::finishFontName() {
    if (m_fontEntry < 0)
        return;
    if (int(m_fonts.size()) >= maxTableEntries && !m_fonts.count(m_fontEntry)) {
        m_fontNameBytes.clear();
        return;
    }
    Font& font = m_fonts[m_fontEntry];
    if (m_fontEntryCharset >= 0)
        font.codePage = RtfCharsets::codePageForCharset(m_fontEntryCharset);
    if (!m_fontNameBytes.isEmpty()) {
        // Names of East Asian fonts come in the font's own code page.
        QStringDecoder& decoder = decoderFor(font.codePage > 0 ? font.codePage : m_documentCodePage);
        font.name = QString(decoder.decode(m_fontNameBytes)).trimmed();
        decoder.resetState();
    }
    font.symbol = RtfCharsets::symbolFontFor(m_fontEntryCharset, font.name);
    m_fontNameBytes.clear();
}

void RtfParser::finishColor() {
    if (int(m_colors.size()) >= maxTableEntries)
        return;
    if (m_red < 0 && m_green < 0 && m_blue < 0)
        m_colors.push_back(std::nullopt);
    else
        m_colors.push_back(QColor(std::max(m_red, 0), std::max(m_green, 0), std::max(m_blue, 0)));
    m_red = m_green = m_blue = -1;
}

// Only hyperlinks are taken: HYPERLINK "target" (switches such as \o "tip" after it are ignored);
// a link to a bookmark of the document itself (\l) leads nowhere outside it.
void RtfParser::finishFieldInstruction() {
    // A decoder of its own: the text's may hold part of a character.
    QStringDecoder decoder(RtfCharsets::encodingNameForCodePage(m_documentCodePage).constData());
    const QString instruction =
        (decoder.isValid() ? QString(decoder.decode(m_fieldBytes)) : QString::fromLatin1(m_fieldBytes)).trimmed();
    m_fieldBytes.clear();
    static const QLatin1String hyperlink("HYPERLINK");
    if (!instruction.startsWith(hyperlink, Qt::CaseInsensitive) || int(m_links.size()) >= maxTableEntries)
        return;
    const QString rest = instruction.mid(hyperlink.size()).trimmed();
    QString target;
    if (rest.startsWith(QLatin1Char('"'))) {
        const qsizetype end = rest.indexOf(QLatin1Char('"'), 1);
        target = rest.mid(1, end < 0 ? -1 : end - 1);
    } else if (!rest.startsWith(QLatin1Char('\\'))) {
        target = rest.section(QLatin1Char(' '), 0, 0);
    }
    target = target.trimmed();
    if (target.isEmpty())
        return;
    m_links.push_back(target);
    state().format.link = int(m_links.size()) - 1;
}
