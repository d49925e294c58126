// SPDX-License-Identifier: MIT
#include "platform/RtfReader.h"

#include <QBrush>
#include <QColor>
#include <QHash>
#include <QSet>
#include <QStringDecoder>
#include <QTextBlockFormat>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace {

// Hostile-input bounds. Real documents stay far below them.
constexpr int maxDepth = 512;
constexpr int maxWordLength = 32;
constexpr int maxDigits = 10;
constexpr int maxTableEntries = 4096;

enum class Destination { Text, Skip, FontTable, ColorTable };

struct CharFormat {
    int font = -1;
    int halfPoints = 24;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    bool hidden = false;
    int foreground = 0; // colour table index; 0 is the automatic colour
    int background = 0;

    bool operator==(const CharFormat&) const = default;
};

struct State {
    Destination destination = Destination::Text;
    CharFormat format;
    Qt::Alignment alignment = Qt::AlignLeft;
    int ucSkip = 1;
};

struct Run {
    QString text;
    CharFormat format;
};

struct Paragraph {
    Qt::Alignment alignment = Qt::AlignLeft;
    std::vector<Run> runs;
    bool isEmpty() const {
        return std::all_of(runs.begin(), runs.end(), [](const Run& r) { return r.text.isEmpty(); });
    }
};

struct Font {
    QString name;
    int codePage = 0; // 0: the document's code page
};

// Windows code page for an RTF \fcharset value (0 when the charset says "use the document's").
int codePageForCharset(int charset) {
    switch (charset) {
    case 77:
        return 10000;
    case 128:
        return 932;
    case 129:
        return 949;
    case 130:
        return 1361;
    case 134:
        return 936;
    case 136:
        return 950;
    case 161:
        return 1253;
    case 162:
        return 1254;
    case 163:
        return 1258;
    case 177:
        return 1255;
    case 178:
        return 1256;
    case 186:
        return 1257;
    case 204:
        return 1251;
    case 222:
        return 874;
    case 238:
        return 1250;
    case 254:
        return 437;
    case 255:
        return 850;
    default:
        return 0;
    }
}

QByteArray encodingNameForCodePage(int codePage) {
    switch (codePage) {
    case 65001:
        return "UTF-8";
    case 932:
        return "Shift_JIS";
    case 936:
        return "GBK";
    case 949:
        return "windows-949";
    case 950:
        return "Big5";
    case 1361:
        return "johab";
    case 10000:
        return "macintosh";
    case 437:
        return "IBM437";
    case 850:
        return "IBM850";
    case 852:
        return "IBM852";
    case 866:
        return "IBM866";
    case 874:
        return "windows-874";
    default:
        if (codePage >= 1250 && codePage <= 1258)
            return "windows-" + QByteArray::number(codePage);
        return "windows-1252";
    }
}

class Parser {
public:
    explicit Parser(const QByteArray& data) : m_data(data) {}

    bool parse();
    const std::vector<Paragraph>& paragraphs() const { return m_paragraphs; }
    QString fontName(int index) const { return m_fonts.count(index) ? m_fonts.at(index).name : QString(); }
    std::optional<QColor> color(int index) const {
        if (index <= 0 || index >= int(m_colors.size()))
            return std::nullopt;
        return m_colors[size_t(index)];
    }

private:
    void groupStart();
    void groupEnd();
    void controlWord(QByteArrayView word, bool hasParam, int param);
    void controlSymbol(char c);
    void textByte(char c);
    void textRun(QByteArrayView run);
    void hexByte(char c);
    void unicodeChar(int value);
    void appendText(const QString& text);
    void flushBytes();
    void endParagraph();
    bool consumeSkip();
    int currentCodePage() const;
    QStringDecoder& decoderFor(int codePage);
    void finishFontName();
    void finishColor();

    State& state() { return m_stack.back(); }

    const QByteArray& m_data;
    qsizetype m_pos = 0;
    std::vector<State> m_stack{State{}};
    int m_overflowDepth = 0; // groups opened beyond maxDepth; their content is dropped
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

    QByteArray m_pendingBytes;
    int m_pendingCodePage = 0;
    std::map<int, std::unique_ptr<QStringDecoder>> m_decoders;

    std::vector<Paragraph> m_paragraphs{Paragraph{}};
};

bool Parser::parse() {
    qsizetype start = 0;
    while (start < m_data.size() &&
           (m_data[start] == ' ' || m_data[start] == '\r' || m_data[start] == '\n' || m_data[start] == '\t'))
        ++start;
    if (!m_data.mid(start, 5).startsWith("{\\rtf"))
        return false;
    m_pos = start;
    const qsizetype n = m_data.size();
    bool started = false;
    while (m_pos < n) {
        const char c = m_data[m_pos];
        if (c == '{') {
            ++m_pos;
            flushBytes();
            if (started && m_stack.size() == 1 && m_overflowDepth == 0)
                break; // text after the document's closing brace is not part of it
            started = true;
            groupStart();
        } else if (c == '}') {
            ++m_pos;
            flushBytes();
            groupEnd();
            if (m_stack.size() == 1 && m_overflowDepth == 0)
                break; // the document's own group has closed
        } else if (c == '\\') {
            ++m_pos;
            if (m_pos >= n)
                break;
            const char d = m_data[m_pos];
            if ((d >= 'a' && d <= 'z') || (d >= 'A' && d <= 'Z')) {
                const qsizetype wordStart = m_pos;
                while (m_pos < n && ((m_data[m_pos] >= 'a' && m_data[m_pos] <= 'z') ||
                                     (m_data[m_pos] >= 'A' && m_data[m_pos] <= 'Z')))
                    ++m_pos;
                const QByteArrayView word(m_data.constData() + wordStart,
                                          std::min<qsizetype>(m_pos - wordStart, maxWordLength));
                bool hasParam = false;
                bool negative = false;
                qint64 value = 0;
                if (m_pos < n && m_data[m_pos] == '-' && m_pos + 1 < n && m_data[m_pos + 1] >= '0' &&
                    m_data[m_pos + 1] <= '9') {
                    negative = true;
                    ++m_pos;
                }
                int digits = 0;
                while (m_pos < n && m_data[m_pos] >= '0' && m_data[m_pos] <= '9') {
                    hasParam = true;
                    if (digits < maxDigits)
                        value = value * 10 + (m_data[m_pos] - '0');
                    ++digits;
                    ++m_pos;
                }
                if (m_pos < n && m_data[m_pos] == ' ')
                    ++m_pos; // the delimiter belongs to the control word
                value = std::clamp<qint64>(negative ? -value : value, INT32_MIN, INT32_MAX);
                if (word == "bin" && hasParam) {
                    // Binary data: skip exactly that many bytes, whatever they are.
                    const qint64 len = std::clamp<qint64>(value, 0, n - m_pos);
                    m_pos += len;
                    continue;
                }
                controlWord(word, hasParam, int(value));
            } else if (d == '\'') {
                ++m_pos;
                int v = 0;
                int got = 0;
                while (got < 2 && m_pos < n) {
                    const char h = m_data[m_pos];
                    int x = -1;
                    if (h >= '0' && h <= '9')
                        x = h - '0';
                    else if (h >= 'a' && h <= 'f')
                        x = h - 'a' + 10;
                    else if (h >= 'A' && h <= 'F')
                        x = h - 'A' + 10;
                    if (x < 0)
                        break;
                    v = v * 16 + x;
                    ++got;
                    ++m_pos;
                }
                if (got > 0)
                    hexByte(char(v));
            } else {
                ++m_pos;
                controlSymbol(d);
            }
        } else if (c == '\r' || c == '\n') {
            ++m_pos;
        } else {
            const qsizetype runStart = m_pos;
            while (m_pos < n && m_data[m_pos] != '{' && m_data[m_pos] != '}' && m_data[m_pos] != '\\' &&
                   m_data[m_pos] != '\r' && m_data[m_pos] != '\n')
                ++m_pos;
            textRun(QByteArrayView(m_data.constData() + runStart, m_pos - runStart));
        }
    }
    flushBytes();
    if (m_pendingHigh)
        appendText(QString());
    // A final empty paragraph is what the last \par leaves behind, not content.
    if (m_paragraphs.size() > 1 && m_paragraphs.back().isEmpty())
        m_paragraphs.pop_back();
    return true;
}

void Parser::groupStart() {
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

void Parser::groupEnd() {
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
    // Leaving a font entry's own group inside the table ends that entry.
    if (leaving == Destination::FontTable && state().destination == Destination::FontTable) {
        m_fontEntry = -1;
        m_fontEntryCharset = -1;
    }
}

bool Parser::consumeSkip() {
    if (m_pendingSkip > 0) {
        --m_pendingSkip;
        return true;
    }
    return false;
}

void Parser::controlWord(QByteArrayView word, bool hasParam, int param) {
    if (m_overflowDepth > 0)
        return;
    const bool fresh = m_groupFresh;
    m_groupFresh = false;
    const bool starred = m_starPending;
    m_starPending = false;
    if (consumeSkip())
        return;
    State& s = state();
    if (s.destination == Destination::Skip)
        return;

    // Destinations: the group's content goes somewhere other than the text.
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
                                             "fldinst",
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
    if (word == "fonttbl") {
        flushBytes();
        s.destination = Destination::FontTable;
        return;
    }
    if (word == "colortbl") {
        flushBytes();
        s.destination = Destination::ColorTable;
        m_colors.clear();
        m_red = m_green = m_blue = -1;
        return;
    }
    if ((starred && fresh) || skipped.contains(QByteArray::fromRawData(word.data(), word.size()))) {
        flushBytes();
        s.destination = Destination::Skip;
        return;
    }

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

    CharFormat& f = s.format;
    const bool on = !hasParam || param != 0;
    if (word == "par" || word == "sect" || word == "row") {
        endParagraph();
    } else if (word == "line") {
        appendText(QString(QChar::LineSeparator));
    } else if (word == "tab" || word == "cell") {
        appendText(QStringLiteral("\t"));
    } else if (word == "u" && hasParam) {
        unicodeChar(param);
    } else if (word == "uc" && hasParam) {
        s.ucSkip = std::clamp(param, 0, 16);
    } else if (word == "pard") {
        s.alignment = Qt::AlignLeft;
    } else if (word == "plain") {
        f = CharFormat{};
        f.font = m_defaultFont;
    } else if (word == "ql") {
        s.alignment = Qt::AlignLeft;
    } else if (word == "qc") {
        s.alignment = Qt::AlignHCenter;
    } else if (word == "qr") {
        s.alignment = Qt::AlignRight;
    } else if (word == "qj") {
        s.alignment = Qt::AlignJustify;
    } else if (word == "b") {
        flushBytes();
        f.bold = on;
    } else if (word == "i") {
        flushBytes();
        f.italic = on;
    } else if (word == "ul" || word == "uld" || word == "uldb" || word == "uldash" || word == "ulw" || word == "ulth" ||
               word == "ulwave") {
        flushBytes();
        f.underline = on;
    } else if (word == "ulnone") {
        flushBytes();
        f.underline = false;
    } else if (word == "strike") {
        flushBytes();
        f.strike = on;
    } else if (word == "v") {
        flushBytes();
        f.hidden = on;
    } else if (word == "f" && hasParam) {
        flushBytes();
        f.font = param;
    } else if (word == "fs" && hasParam) {
        flushBytes();
        f.halfPoints = std::clamp(param, 2, 800);
    } else if (word == "cf" && hasParam) {
        flushBytes();
        f.foreground = std::clamp(param, 0, maxTableEntries);
    } else if ((word == "cb" || word == "highlight" || word == "chcbpat") && hasParam) {
        flushBytes();
        f.background = std::clamp(param, 0, maxTableEntries);
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
    } else if (word == "emdash") {
        appendText(QString(QChar(0x2014)));
    } else if (word == "endash") {
        appendText(QString(QChar(0x2013)));
    } else if (word == "bullet") {
        appendText(QString(QChar(0x2022)));
    } else if (word == "lquote") {
        appendText(QString(QChar(0x2018)));
    } else if (word == "rquote") {
        appendText(QString(QChar(0x2019)));
    } else if (word == "ldblquote") {
        appendText(QString(QChar(0x201C)));
    } else if (word == "rdblquote") {
        appendText(QString(QChar(0x201D)));
    } else if (word == "emspace") {
        appendText(QString(QChar(0x2003)));
    } else if (word == "enspace") {
        appendText(QString(QChar(0x2002)));
    }
}

void Parser::controlSymbol(char c) {
    if (m_overflowDepth > 0)
        return;
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
    case '\n':
    case '\r':
        if (state().destination == Destination::Text)
            endParagraph();
        break;
    case '\t':
        appendText(QStringLiteral("\t"));
        break;
    default: // \- optional hyphen, \: index entry, \| formula: nothing to show
        break;
    }
}

void Parser::textByte(char c) {
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
    case Destination::Text:
        break;
    }
    const int cp = currentCodePage();
    if (!m_pendingBytes.isEmpty() && cp != m_pendingCodePage)
        flushBytes();
    m_pendingCodePage = cp;
    m_pendingBytes.append(c);
}

void Parser::textRun(QByteArrayView run) {
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
    const int cp = currentCodePage();
    if (!m_pendingBytes.isEmpty() && cp != m_pendingCodePage)
        flushBytes();
    m_pendingCodePage = cp;
    m_pendingBytes.append(run);
}

void Parser::hexByte(char c) {
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

void Parser::unicodeChar(int value) {
    if (state().destination != Destination::Text)
        return;
    // Values above 32767 are written as negative 16-bit numbers.
    if (value < 0)
        value += 65536;
    if (value < 0 || value > 0xFFFF)
        value = 0xFFFD;
    flushBytes();
    const char16_t unit = char16_t(value);
    if (QChar::isHighSurrogate(unit)) {
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

void Parser::appendText(const QString& input) {
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
    Paragraph& p = m_paragraphs.back();
    const CharFormat& f = state().format;
    if (!p.runs.empty() && p.runs.back().format == f)
        p.runs.back().text += text;
    else
        p.runs.push_back(Run{text, f});
    p.alignment = state().alignment;
}

void Parser::flushBytes() {
    if (m_pendingBytes.isEmpty())
        return;
    QStringDecoder& decoder = decoderFor(m_pendingCodePage);
    QString text = decoder.decode(m_pendingBytes);
    decoder.resetState();
    m_pendingBytes.clear();
    appendText(text);
}

void Parser::endParagraph() {
    flushBytes();
    if (m_pendingHigh)
        appendText(QString());
    m_paragraphs.back().alignment = state().alignment;
    m_paragraphs.push_back(Paragraph{state().alignment, {}});
}

int Parser::currentCodePage() const {
    const int font = m_stack.back().format.font;
    const auto it = m_fonts.find(font);
    if (it != m_fonts.end() && it->second.codePage > 0)
        return it->second.codePage;
    return m_documentCodePage;
}

QStringDecoder& Parser::decoderFor(int codePage) {
    auto it = m_decoders.find(codePage);
    if (it == m_decoders.end()) {
        auto decoder = std::make_unique<QStringDecoder>(encodingNameForCodePage(codePage).constData());
        if (!decoder->isValid())
            decoder = std::make_unique<QStringDecoder>(QStringConverter::Latin1);
        it = m_decoders.emplace(codePage, std::move(decoder)).first;
    }
    return *it->second;
}

void Parser::finishFontName() {
    if (m_fontEntry < 0)
        return;
    if (int(m_fonts.size()) >= maxTableEntries && !m_fonts.count(m_fontEntry)) {
        m_fontNameBytes.clear();
        return;
    }
    Font& font = m_fonts[m_fontEntry];
    if (m_fontEntryCharset >= 0)
        font.codePage = codePageForCharset(m_fontEntryCharset);
    if (!m_fontNameBytes.isEmpty()) {
        // Names of East Asian fonts come in the font's own code page.
        QStringDecoder& decoder = decoderFor(font.codePage > 0 ? font.codePage : m_documentCodePage);
        font.name = QString(decoder.decode(m_fontNameBytes)).trimmed();
        decoder.resetState();
    }
    m_fontNameBytes.clear();
}

void Parser::finishColor() {
    if (int(m_colors.size()) >= maxTableEntries)
        return;
    if (m_red < 0 && m_green < 0 && m_blue < 0)
        m_colors.push_back(std::nullopt);
    else
        m_colors.push_back(QColor(std::max(m_red, 0), std::max(m_green, 0), std::max(m_blue, 0)));
    m_red = m_green = m_blue = -1;
}

QTextCharFormat charFormatFor(const Parser& parser, const CharFormat& f) {
    QTextCharFormat format;
    const QString family = parser.fontName(f.font);
    if (!family.isEmpty())
        format.setFontFamilies({family});
    format.setFontPointSize(f.halfPoints / 2.0);
    format.setFontWeight(f.bold ? QFont::Bold : QFont::Normal);
    format.setFontItalic(f.italic);
    format.setFontUnderline(f.underline);
    format.setFontStrikeOut(f.strike);
    if (const auto fg = parser.color(f.foreground))
        format.setForeground(QBrush(*fg));
    if (const auto bg = parser.color(f.background))
        format.setBackground(QBrush(*bg));
    return format;
}

} // namespace

namespace RtfReader {

bool read(const QByteArray& rtf, QTextDocument* document) {
    if (!document)
        return false;
    document->clear();
    Parser parser(rtf);
    if (!parser.parse())
        return false;
    QTextCursor cursor(document);
    cursor.beginEditBlock();
    bool first = true;
    for (const Paragraph& p : parser.paragraphs()) {
        QTextBlockFormat block;
        block.setAlignment(p.alignment);
        if (first)
            cursor.setBlockFormat(block);
        else
            cursor.insertBlock(block);
        first = false;
        for (const Run& run : p.runs)
            cursor.insertText(run.text, charFormatFor(parser, run.format));
    }
    cursor.endEditBlock();
    return true;
}

QString plainText(const QByteArray& rtf) {
    Parser parser(rtf);
    if (!parser.parse())
        return {};
    QString out;
    bool first = true;
    for (const Paragraph& p : parser.paragraphs()) {
        if (!first)
            out += QLatin1Char('\n');
        first = false;
        for (const Run& run : p.runs)
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
