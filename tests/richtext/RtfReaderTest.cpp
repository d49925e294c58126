// SPDX-License-Identifier: MIT
#include "richtext/RtfReader.h"
#include "richtext/RtfHtml.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <gtest/gtest.h>

#include <functional>

namespace {

const QString nonAscii = QStringLiteral("Non-ASCII: café, straße, Привет мир, 日本語のテキスト, emoji 😀 done.");

QByteArray fixture(const char* name) {
    QFile file(QStringLiteral(TINDRALUME_TEST_DATA "/rtf/") + QLatin1String(name));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << name;
    return file.readAll();
}

// The character format in effect for the first character of `text` in the document.
QTextCharFormat formatOf(QTextDocument& document, const QString& text) {
    const QTextCursor found = document.find(text);
    EXPECT_FALSE(found.isNull()) << text.toStdString();
    QTextCursor at(&document);
    at.setPosition(found.selectionStart() + 1); // the format left of the cursor
    return at.charFormat();
}

Qt::Alignment alignmentOf(QTextDocument& document, const QString& text) {
    const QTextCursor found = document.find(text);
    EXPECT_FALSE(found.isNull()) << text.toStdString();
    return found.block().blockFormat().alignment() & Qt::AlignHorizontal_Mask;
}

} // namespace

TEST(RtfReader, PandocDocument) {
    const QByteArray rtf = fixture("pandoc-sample.rtf");
    EXPECT_EQ(RtfReader::plainText(rtf),
              QStringLiteral("Plain line with bold, italic and underlined words.\n") + nonAscii);

    QTextDocument document;
    ASSERT_TRUE(RtfReader::read(rtf, &document));
    EXPECT_EQ(document.blockCount(), 2);
    EXPECT_EQ(document.toPlainText(), RtfReader::plainText(rtf));

    const QTextCharFormat bold = formatOf(document, QStringLiteral("bold"));
    EXPECT_EQ(bold.fontWeight(), QFont::Bold);
    EXPECT_FALSE(bold.fontItalic());
    EXPECT_TRUE(formatOf(document, QStringLiteral("italic")).fontItalic());
    EXPECT_TRUE(formatOf(document, QStringLiteral("underlined")).fontUnderline());
    const QTextCharFormat plain = formatOf(document, QStringLiteral("Plain line"));
    EXPECT_EQ(plain.fontWeight(), QFont::Normal);
    EXPECT_FALSE(plain.fontItalic());
    EXPECT_FALSE(plain.fontUnderline());
    EXPECT_EQ(plain.fontFamilies().toStringList(), QStringList{QStringLiteral("Helvetica")});
    EXPECT_DOUBLE_EQ(plain.fontPointSize(), 12.0);
}

TEST(RtfReader, LibreOfficeDocument) {
    const QByteArray rtf = fixture("libreoffice-sample.rtf");
    EXPECT_EQ(RtfReader::plainText(rtf), QStringLiteral("Plain line with bold, italic and underlined words.\n"
                                                        "Red text and yellow background and blue.\n") +
                                             nonAscii);

    QTextDocument document;
    ASSERT_TRUE(RtfReader::read(rtf, &document));
    EXPECT_EQ(document.blockCount(), 3);

    const QTextCharFormat first = formatOf(document, QStringLiteral("Plain line"));
    EXPECT_EQ(first.fontFamilies().toStringList(), QStringList{QStringLiteral("DejaVu Serif")});
    EXPECT_DOUBLE_EQ(first.fontPointSize(), 14.0);
    EXPECT_EQ(formatOf(document, QStringLiteral("bold")).fontWeight(), QFont::Bold);
    EXPECT_TRUE(formatOf(document, QStringLiteral("italic")).fontItalic());
    EXPECT_TRUE(formatOf(document, QStringLiteral("underlined")).fontUnderline());

    EXPECT_EQ(formatOf(document, QStringLiteral("Red text")).foreground().color(), QColor(255, 0, 0));
    EXPECT_EQ(formatOf(document, QStringLiteral("blue")).foreground().color(), QColor(0, 0, 255));
    EXPECT_EQ(formatOf(document, QStringLiteral("yellow background")).background().color(), QColor(255, 255, 0));
    const QTextCharFormat between = formatOf(document, QStringLiteral(" and yellow"));
    EXPECT_FALSE(between.hasProperty(QTextFormat::ForegroundBrush));
    EXPECT_FALSE(between.hasProperty(QTextFormat::BackgroundBrush));

    EXPECT_EQ(alignmentOf(document, QStringLiteral("Plain line")), Qt::AlignLeft);
    EXPECT_EQ(alignmentOf(document, QStringLiteral("Red text")), Qt::AlignHCenter);
    EXPECT_EQ(alignmentOf(document, QStringLiteral("straße")), Qt::AlignRight);

    const QTextCharFormat mono = formatOf(document, QStringLiteral("straße"));
    EXPECT_EQ(mono.fontFamilies().toStringList(), QStringList{QStringLiteral("DejaVu Sans Mono")});
    EXPECT_DOUBLE_EQ(mono.fontPointSize(), 9.0);
    EXPECT_FALSE(document.find(QStringLiteral("😀")).isNull());
}

TEST(RtfReader, FontNamesInTheFontsCodePage) {
    // "ＭＳ ゴシック" in Shift_JIS, as Japanese word processors write it.
    const QByteArray rtf =
        R"({\rtf1\ansi{\fonttbl{\f0\fnil\fcharset128 \'82\'6c\'82\'72 \'83\'53\'83\'56\'83\'62\'83\'4e;}}\f0 x})";
    QTextDocument document;
    ASSERT_TRUE(RtfReader::read(rtf, &document));
    EXPECT_EQ(formatOf(document, QStringLiteral("x")).fontFamilies().toStringList(),
              QStringList{QStringLiteral("ＭＳ ゴシック")});
}

TEST(RtfReader, TextOfHandWrittenRtf) {
    struct Case {
        const char* name;
        QByteArray rtf;
        QString text;
    };
    const Case cases[] = {
        {"document code page", R"({\rtf1\ansi\ansicpg1251 \'cf\'f0\'e8\'e2\'e5\'f2})", QStringLiteral("Привет")},
        {"font charset over document code page",
         R"({\rtf1\ansi\ansicpg1252{\fonttbl{\f0\fnil\fcharset204 Arial;}{\f1\fswiss Helvetica;}}\f0 \'cf\'f0 \f1 \'e9})",
         QStringLiteral("Пр é")},
        {"double-byte code page", R"({\rtf1\ansi{\fonttbl{\f0\fnil\fcharset128 MS Gothic;}}\f0 \'82\'a0\'82\'a2})",
         QStringLiteral("あい")},
        {"greek font in a group", R"({\rtf1{\fonttbl{\f1\fcharset161 Arial Greek;}}a{\f1 \'e1}b})",
         QStringLiteral("aαb")},
        {"raw 8-bit text in the code page", "{\\rtf1\\ansi\\ansicpg1252 caf\xe9}", QStringLiteral("café")},
        {"mac code page", R"({\rtf1\mac caf\'8e})", QStringLiteral("café")},
        {"unicode with one fallback character", R"({\rtf1 \u8364?5})", QStringLiteral("€5")},
        {"uc2 skips two", R"({\rtf1\uc2 \u8364 XXabc})", QStringLiteral("€abc")},
        {"uc0 skips nothing", R"({\rtf1\uc0\u8364 abc})", QStringLiteral("€abc")},
        {"hex fallback counts as one", R"({\rtf1 \u8364\'80x})", QStringLiteral("€x")},
        {"skip ends with the group", R"({\rtf1 {\uc3\u8364}abc})", QStringLiteral("€abc")},
        {"uc is group scoped", R"({\rtf1 {\uc0\u233}\u233?x})", QStringLiteral("ééx")},
        {"negative values and surrogate pairs", R"({\rtf1 \u-10179?\u-8704?!})", QStringLiteral("😀!")},
        {"unpaired surrogate", R"({\rtf1 a\u-10179?b})", QStringLiteral("a\uFFFDb")},
        {"escapes", R"({\rtf1 \{a\}\\b\~c})", QStringLiteral("{a}\\b\u00A0c")},
        {"paragraphs, lines and tabs", R"({\rtf1 one\par two\line three\tab four\par})",
         QStringLiteral("one\ntwo\nthree\tfour")},
        {"line breaks in the source are not text", "{\\rtf1 a\r\nb\nc}", QStringLiteral("abc")},
        {"an escaped line end ends the paragraph after the text before it", "{\\rtf1 a\\\nb}", QStringLiteral("a\nb")},
        {"ignorable destinations", R"({\rtf1 {\*\unknown hidden {nested}}visible{\*\generator x;}})",
         QStringLiteral("visible")},
        {"tables and info skipped",
         R"({\rtf1{\fonttbl{\f0 Times;}}{\colortbl;\red1\green2\blue3;}{\stylesheet{\s0 Normal;}}{\info{\title T}{\author A}}body})",
         QStringLiteral("body")},
        {"field result kept, instruction dropped",
         R"({\rtf1 see {\field{\*\fldinst HYPERLINK "http://x"}{\fldrslt here}}.})", QStringLiteral("see here.")},
        {"hidden text", R"({\rtf1 a{\v hidden}b\v c\v0 d})", QStringLiteral("abd")},
        {"picture data skipped", R"({\rtf1 a{\pict\pngblip 89504e470d0a}b})", QStringLiteral("ab")},
        {"binary data skipped", "{\\rtf1 a{\\bin6 }}{\\'x}b}", QStringLiteral("ab")},
        {"named punctuation", R"({\rtf1 \lquote a\rquote\~\ldblquote b\rdblquote \emdash \endash \bullet})",
         QStringLiteral("‘a’\u00A0“b”—–•")},
        {"leading white space", " \r\n{\\rtf1 ok}", QStringLiteral("ok")},
        {"text after the document is ignored", R"({\rtf1 in}out{more})", QStringLiteral("in")},
        {"control word delimiter space is eaten, the next is kept", R"({\rtf1\b  x})", QStringLiteral(" x")},
        {"plain ends hidden text without showing it", R"({\rtf1 a\v hidden\plain b})", QStringLiteral("ab")},
        {"soft hyphen", R"({\rtf1 hy\-phen})", QStringLiteral("hy\u00ADphen")},
        {"page break and zero-width joiners", R"({\rtf1 one\page a\zwj b\zwnj c})",
         QStringLiteral("one\na\u200Db\u200Cc")},
        {"table rows without a trailing tab", R"({\rtf1\trowd\cellx1\cellx2\pard\intbl A\cell B\cell\row\pard after})",
         QStringLiteral("A\tB\nafter")},
        {"empty cells keep their place", R"({\rtf1\trowd\intbl A\cell\cell C\cell\row\intbl\cell D\cell\row})",
         QStringLiteral("A\t\tC\n\tD")},
        {"cells ending with a paragraph mark",
         R"({\rtf1\trowd{\pard\intbl A\par}\cell{\pard\intbl B\par}\cell\row\pard x})", QStringLiteral("A\tB\nx")},
        {"a break right after a row is the row's", R"({\rtf1{\trowd\intbl A\cell\row}\par x})", QStringLiteral("A\nx")},
        {"nested table cells",
         R"({\rtf1\trowd\intbl\itap2 X\nestcell Y\nestcell{\*\nesttableprops\trowd\nestrow}{\nonesttables\par}\itap1\cell\row})",
         QStringLiteral("X\tY")},
        {"symbol fonts draw their own characters",
         R"({\rtf1{\fonttbl{\f1\fcharset2 Symbol;}{\f2\fcharset2 Wingdings;}{\f3\fcharset2 Odd;}}{\f1 \'b7 a\'b3}{\f2 \'a7\'d8\'fc}{\f1\u-3913\'b7\u183\'b7}{\f3 \'b7}x})",
         QStringLiteral("• α≥▪➢✓••\uFFFDx")},
        {"control characters from bad escapes are dropped", R"({\rtf1\uc0 a\'01\'1fb\'7f\'0d\'0ac\u1\u0 d\'0g})",
         QStringLiteral("abcdg")},
        {"trailing empty paragraphs", R"({\rtf1 a\par\par\sect\par})", QStringLiteral("a")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(RtfReader::plainText(c.rtf), c.text);
        QTextDocument document;
        EXPECT_TRUE(RtfReader::read(c.rtf, &document));
        EXPECT_EQ(document.toPlainText().replace(QChar::LineSeparator, QLatin1Char('\n')),
                  QString(c.text).replace(QChar(0x00A0), QLatin1Char(' '))); // toPlainText turns nbsp into space
    }
}

TEST(RtfReader, FormattingStateFollowsGroupsAndResets) {
    const QByteArray rtf = R"({\rtf1{\fonttbl{\f0 Alpha;}{\f1 Beta;}}{\colortbl;\red10\green20\blue30;}
\f0\fs20 a{\b\i\ul\f1\fs40\cf1 b}c\b d\b0 e\ul f\ulnone g\plain h\par
\pard\qc centred\par\pard after})";
    QTextDocument document;
    ASSERT_TRUE(RtfReader::read(rtf, &document));
    EXPECT_EQ(RtfReader::plainText(rtf), QStringLiteral("abcdefgh\ncentred\nafter"));

    const QTextCharFormat a = formatOf(document, QStringLiteral("a"));
    EXPECT_EQ(a.fontFamilies().toStringList(), QStringList{QStringLiteral("Alpha")});
    EXPECT_DOUBLE_EQ(a.fontPointSize(), 10.0);
    const QTextCharFormat b = formatOf(document, QStringLiteral("b"));
    EXPECT_EQ(b.fontWeight(), QFont::Bold);
    EXPECT_TRUE(b.fontItalic());
    EXPECT_TRUE(b.fontUnderline());
    EXPECT_EQ(b.fontFamilies().toStringList(), QStringList{QStringLiteral("Beta")});
    EXPECT_DOUBLE_EQ(b.fontPointSize(), 20.0);
    EXPECT_EQ(b.foreground().color(), QColor(10, 20, 30));
    const QTextCharFormat c = formatOf(document, QStringLiteral("c")); // the group's state is gone
    EXPECT_EQ(c.fontWeight(), QFont::Normal);
    EXPECT_FALSE(c.fontItalic());
    EXPECT_EQ(c.fontFamilies().toStringList(), QStringList{QStringLiteral("Alpha")});
    EXPECT_FALSE(c.hasProperty(QTextFormat::ForegroundBrush));
    EXPECT_EQ(formatOf(document, QStringLiteral("d")).fontWeight(), QFont::Bold);
    EXPECT_EQ(formatOf(document, QStringLiteral("e")).fontWeight(), QFont::Normal);
    EXPECT_TRUE(formatOf(document, QStringLiteral("f")).fontUnderline());
    EXPECT_FALSE(formatOf(document, QStringLiteral("g")).fontUnderline());
    EXPECT_DOUBLE_EQ(formatOf(document, QStringLiteral("h")).fontPointSize(), 12.0); // \plain: 24 half-points
    EXPECT_EQ(alignmentOf(document, QStringLiteral("centred")), Qt::AlignHCenter);
    EXPECT_EQ(alignmentOf(document, QStringLiteral("after")), Qt::AlignLeft);
}

TEST(RtfReader, FormatChangesSplitTheTextBeforeThem) {
    using Check = std::function<bool(const QTextCharFormat&)>;
    const Check bold = [](const QTextCharFormat& f) { return f.fontWeight() == QFont::Bold; };
    const Check notBold = [](const QTextCharFormat& f) { return f.fontWeight() == QFont::Normal; };
    const Check red = [](const QTextCharFormat& f) { return f.foreground().color() == QColor(255, 0, 0); };
    const Check automatic = [](const QTextCharFormat& f) { return !f.hasProperty(QTextFormat::ForegroundBrush); };
    const auto position = [](QTextCharFormat::VerticalAlignment a) {
        return Check([a](const QTextCharFormat& f) { return f.verticalAlignment() == a; });
    };
    struct Case {
        const char* name;
        QByteArray rtf;
        QString text;
        Check check;
    };
    const QByteArray colours = R"({\rtf1{\colortbl;\red255\green0\blue0;})";
    const Case cases[] = {
        {"bold before plain", R"({\rtf1 {\b bold\plain normal}})", QStringLiteral("bold"), bold},
        {"plain after bold", R"({\rtf1 {\b bold\plain normal}})", QStringLiteral("normal"), notBold},
        {"colour before plain", colours + R"(\cf1 red\plain plain})", QStringLiteral("red"), red},
        {"plain after a colour", colours + R"(\cf1 red\plain plain})", QStringLiteral("plain"), automatic},
        {"subscript", R"({\rtf1 H{\sub 2}O x\super 3\nosupersub y{\up6 u}{\dn4 d}})", QStringLiteral("2"),
         position(QTextCharFormat::AlignSubScript)},
        {"superscript", R"({\rtf1 H{\sub 2}O x\super 3\nosupersub y{\up6 u}{\dn4 d}})", QStringLiteral("3"),
         position(QTextCharFormat::AlignSuperScript)},
        {"back to the line", R"({\rtf1 H{\sub 2}O x\super 3\nosupersub y{\up6 u}{\dn4 d}})", QStringLiteral("y"),
         position(QTextCharFormat::AlignNormal)},
        {"raised", R"({\rtf1 H{\sub 2}O x\super 3\nosupersub y{\up6 u}{\dn4 d}})", QStringLiteral("u"),
         position(QTextCharFormat::AlignSuperScript)},
        {"lowered", R"({\rtf1 H{\sub 2}O x\super 3\nosupersub y{\up6 u}{\dn4 d}})", QStringLiteral("d"),
         position(QTextCharFormat::AlignSubScript)},
        {"symbol font text in a font that has the characters",
         R"({\rtf1{\fonttbl{\f0 Arial;}{\f1\fcharset2 Symbol;}}\f0 a{\f1 \'61}})", QStringLiteral("α"),
         [](const QTextCharFormat& f) { return !f.hasProperty(QTextFormat::FontFamilies); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QTextDocument document;
        ASSERT_TRUE(RtfReader::read(c.rtf, &document));
        EXPECT_TRUE(c.check(formatOf(document, c.text)));
    }
}

TEST(RtfReader, AbiWordListsTablesAndScripts) {
    const QByteArray rtf = fixture("abiword-sample.rtf");
    EXPECT_EQ(RtfReader::plainText(rtf), QStringLiteral("Water is H2O, area is m2, bold and red text.\n"
                                                        "•\tFirst item\n•\tSecond item\n"
                                                        "\t•\tNested one\n\t•\tNested two\n•\tThird item\n"
                                                        "A1\tB1\tC1\nA2\t\tC2\nAfter the table."));
    QTextDocument document;
    ASSERT_TRUE(RtfReader::read(rtf, &document));
    EXPECT_EQ(formatOf(document, QStringLiteral("2O")).verticalAlignment(), QTextCharFormat::AlignSubScript);
    EXPECT_EQ(formatOf(document, QStringLiteral("2,")).verticalAlignment(), QTextCharFormat::AlignSuperScript);
    EXPECT_EQ(formatOf(document, QStringLiteral("red")).foreground().color(), QColor(255, 0, 0));
    const auto indentOf = [&](const QString& text) {
        const QTextBlockFormat block = document.find(text).block().blockFormat();
        return std::pair{block.leftMargin(), block.textIndent()};
    };
    EXPECT_EQ(indentOf(QStringLiteral("Water")), std::pair(0.0, 0.0));
    EXPECT_EQ(indentOf(QStringLiteral("First item")), std::pair(36.0, -21.55)); // \li720\fi-431 in twips
    EXPECT_EQ(indentOf(QStringLiteral("Nested one")), std::pair(72.0, -21.55));
    // The tab after the marker reaches the text's indent.
    const QList<QTextOption::Tab> tabs =
        document.find(QStringLiteral("First item")).block().blockFormat().tabPositions();
    ASSERT_EQ(tabs.size(), 1);
    EXPECT_DOUBLE_EQ(tabs[0].position, 21.55);
}

// LibreOffice marks nesting with \ilvl inside \ls and writes its own marker in \listtext: a
// bullet per level, numbers that restart in the nested list.
TEST(RtfReader, LibreOfficeNestedLists) {
    const QString text = QStringLiteral("Shopping:\n \u2022\tBread\n\t \u25e6\tRye\n\t \u25e6\tSpelt\n"
                                        "\t\t \u25aa\tWholegrain\n \u2022\tMilk\nSteps:\n 1.\tMix\n"
                                        "\t 1.\tFlour\n\t 2.\tWater\n 2.\tBake\nDone.");
    for (const char* name : {"libreoffice-lists.rtf", "libreoffice-lists-copy.rtf"}) {
        const QByteArray rtf = fixture(name);
        EXPECT_EQ(RtfReader::plainText(rtf), text) << name;
        QTextDocument document;
        ASSERT_TRUE(RtfReader::read(rtf, &document)) << name;
        const auto marginOf = [&](const QString& item) {
            const QTextCursor found = document.find(item);
            EXPECT_FALSE(found.isNull()) << name << " " << item.toStdString();
            return found.block().blockFormat().leftMargin();
        };
        // One level further in per \ilvl: 0.5, 0.75 and 1 inch.
        for (const auto& [item, margin] : {std::pair{"Bread", 36.0},
                                           {"Rye", 54.0},
                                           {"Wholegrain", 72.0},
                                           {"Milk", 36.0},
                                           {"Mix", 36.0},
                                           {"Water", 54.0},
                                           {"Done", 0.0}})
            EXPECT_DOUBLE_EQ(marginOf(QLatin1String(item)), margin) << name << " " << item;
    }
}

TEST(RtfReader, ReadsOnlyTheBeginningWhenLimited) {
    struct Case {
        const char* name;
        QByteArray rtf;
        qsizetype limit;
        QString text;
        bool truncated;
    };
    QByteArray longShiftJis = "{\\rtf1\\ansicpg932 " + QByteArray(4095, '\x01');
    for (int i = 0; i < 20; ++i)
        longShiftJis += "\x82\xa0"; // the first one straddles two pieces of the run
    const Case cases[] = {
        {"cut", R"({\rtf1 abcdef})", 3, QStringLiteral("abc"), true},
        {"exactly the limit", R"({\rtf1 abc})", 3, QStringLiteral("abc"), false},
        {"a break counts as one", R"({\rtf1 ab\par cd})", 4, QStringLiteral("ab\nc"), true},
        {"a surrogate pair stays whole", R"({\rtf1 a\u-10179?\u-8704?b})", 2, QStringLiteral("a"), true},
        {"hidden text does not count", R"({\rtf1 {\v hidden}abc})", 3, QStringLiteral("abc"), false},
        {"a long run in a double-byte code page", longShiftJis + "}", 10, QString(10, QChar(0x3042)), true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        bool truncated = !c.truncated;
        EXPECT_EQ(RtfReader::plainText(c.rtf, c.limit, &truncated), c.text);
        EXPECT_EQ(truncated, c.truncated);
        QTextDocument document;
        truncated = !c.truncated;
        EXPECT_TRUE(RtfReader::read(c.rtf, &document, c.limit, &truncated));
        EXPECT_EQ(document.toPlainText(), c.text);
        EXPECT_EQ(truncated, c.truncated);
    }

    // A large document read to a limit gives the beginning of the full read, formats included.
    QByteArray large = "{\\rtf1{\\colortbl;\\red255\\green0\\blue0;}{\\pict\\pngblip " + QByteArray(1 << 20, 'f') + "}";
    for (int i = 0; i < 20000; ++i)
        large += "Line " + QByteArray::number(i) + " {\\b bold}{\\cf1 red}\\par\n";
    large += "}";
    QTextDocument full;
    QTextDocument beginning;
    ASSERT_TRUE(RtfReader::read(large, &full));
    ASSERT_TRUE(RtfReader::read(large, &beginning, 200));
    EXPECT_EQ(beginning.characterCount() - 1, 200);
    EXPECT_EQ(beginning.toHtml(), [&] {
        QTextCursor cut(&full);
        cut.setPosition(200);
        cut.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
        cut.removeSelectedText();
        return full.toHtml();
    }());
}

TEST(RtfReader, NotRtf) {
    QTextDocument document;
    document.setPlainText(QStringLiteral("previous"));
    for (const QByteArray& data : {QByteArray(), QByteArray("plain text"), QByteArray("{\\rt"), QByteArray("{\\pict}"),
                                   QByteArray("<html>{\\rtf1 x}</html>")}) {
        SCOPED_TRACE(data.toStdString());
        EXPECT_FALSE(RtfReader::read(data, &document));
        EXPECT_TRUE(document.isEmpty());
        EXPECT_TRUE(RtfReader::plainText(data).isEmpty());
    }
    EXPECT_FALSE(RtfReader::read("{\\rtf1 x}", nullptr));
}

TEST(RtfReader, HostileInputIsBounded) {
    // Nesting far deeper than any program writes: the text around it survives.
    const int depth = 200000;
    const QByteArray deep = "{\\rtf1 a" + QByteArray(depth, '{') + "b" + QByteArray(depth, '}') + "c}";
    const QString deepText = RtfReader::plainText(deep);
    EXPECT_TRUE(deepText.startsWith(QLatin1Char('a')));
    EXPECT_TRUE(deepText.endsWith(QLatin1Char('c')));

    struct Case {
        const char* name;
        QByteArray rtf;
        QString text;
    };
    const Case cases[] = {
        {"truncated group", R"({\rtf1 {\b bold)", QStringLiteral("bold")},
        {"truncated control word", R"({\rtf1 x\)", QStringLiteral("x")},
        {"truncated hex", R"({\rtf1 x\')", QStringLiteral("x")},
        {"truncated unicode", R"({\rtf1 x\u)", QStringLiteral("x")},
        {"huge parameters", R"({\rtf1\fs99999999999999999999\cf88888888888888\f-99999999999999 ok\par})",
         QStringLiteral("ok")},
        {"huge unicode value", R"({\rtf1 \u99999999999?x})", QStringLiteral("\uFFFDx")},
        {"huge skip count", R"({\rtf1\uc999999999 \u233 abcdefghijklmnopqrstuvwxyz})", QStringLiteral("éqrstuvwxyz")},
        {"huge binary length", R"({\rtf1 a\bin99999999999 rest})", QStringLiteral("a")},
        {"negative binary length", R"({\rtf1 a\bin-5 b})", QStringLiteral("ab")},
        {"long control word", "{\\rtf1 " + QByteArray(100000, 'x').prepend('\\') + " y}", QStringLiteral("y")},
        {"stray closing braces", R"({\rtf1 a}}}}})", QStringLiteral("a")},
        {"colour index out of range", R"({\rtf1{\colortbl;\red1\green1\blue1;}\cf5000 x\cb-3 y})",
         QStringLiteral("xy")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(RtfReader::plainText(c.rtf), c.text);
        QTextDocument document;
        EXPECT_TRUE(RtfReader::read(c.rtf, &document));
        EXPECT_TRUE(RtfHtml::fromRtf(c.rtf).endsWith("</body></html>"));
    }

    // Random RTF-ish soup: every result must come back without a crash or a hang.
    QRandomGenerator random(20261207);
    const QByteArray alphabet = "{}\\\\\\'*uc0123456789-abfi \r\n?;\x80\xff";
    for (int round = 0; round < 2000; ++round) {
        QByteArray soup = "{\\rtf1";
        const int length = int(random.bounded(400));
        for (int i = 0; i < length; ++i)
            soup.append(alphabet[int(random.bounded(alphabet.size()))]);
        QTextDocument document;
        EXPECT_TRUE(RtfReader::read(soup, &document));
        const QString text = RtfReader::plainText(soup);
        EXPECT_TRUE(text.isValidUtf16()) << soup.toStdString();
        EXPECT_TRUE(RtfHtml::fromRtf(soup).endsWith("</body></html>")) << soup.toStdString();
    }
}
