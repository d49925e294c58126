// SPDX-License-Identifier: MIT
#include "platform/RtfReader.h"

#include <QFile>
#include <QRandomGenerator>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <gtest/gtest.h>

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
    }
}
