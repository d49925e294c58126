// SPDX-License-Identifier: MIT
#include "history/store/LargeText.h"
#include "history/ClipboardCapture.h"
#include "history/store/ManagedObjectContext.h"
#include "history/store/TextFolding.h"
#include "platform/PasteboardContents.h"

#include <gtest/gtest.h>

#include <random>

namespace {

QString sample(const std::vector<QString>& alphabet, int count, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
    QString out;
    for (int i = 0; i < count; ++i)
        out += alphabet[pick(random)];
    return out;
}

// Folding by definition: the whole canonical decomposition, marks dropped, simple case folding.
QString foldedByDefinition(const QString& text) {
    const QString decomposed = text.normalized(QString::NormalizationForm_D);
    QString out;
    for (qsizetype i = 0; i < decomposed.size(); ++i) {
        char32_t c = decomposed.at(i).unicode();
        if (decomposed.at(i).isHighSurrogate() && i + 1 < decomposed.size() && decomposed.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(decomposed.at(i), decomposed.at(i + 1));
            ++i;
        }
        const auto category = QChar::category(c);
        if (category != QChar::Mark_NonSpacing && category != QChar::Mark_SpacingCombining &&
            category != QChar::Mark_Enclosing)
            out += QString::fromUcs4(&c, 1);
    }
    return out.toCaseFolded();
}

} // namespace

// Characters fold one by one; that gives the folding of the whole text for every character there is.
TEST(TextFolding, FoldsEveryCharacterAsTheWholeTextWould) {
    for (char32_t c = 0x80; c < 0x110000; ++c) {
        if (c >= 0xD800 && c < 0xE000)
            continue;
        const QString one = QString::fromUcs4(&c, 1);
        ASSERT_EQ(TextFolding::fold(one), foldedByDefinition(one)) << std::hex << unsigned(c);
        QByteArray utf8 = "A";
        TextFolding::foldUtf8(one.toUtf8().constData(), one.toUtf8().size(), utf8);
        ASSERT_EQ(utf8, "A" + foldedByDefinition(one).toUtf8()) << std::hex << unsigned(c);
    }
    const QString mixed = QStringLiteral("Ǖ\u0301\u0323Å Ω \uAC01\u11A8 İ ﬁ \U0001D15E x").repeated(50);
    EXPECT_EQ(TextFolding::fold(mixed), foldedByDefinition(mixed));
    const QByteArray broken = mixed.toUtf8() + "\xE2\x82 tail \xC0\x80";
    QByteArray folded;
    TextFolding::foldUtf8(broken.constData(), broken.size(), folded);
    EXPECT_EQ(folded, TextFolding::fold(QString::fromUtf8(broken)).toUtf8());
}

// Normalising piece by piece must give what normalising the whole gives, whatever the pieces are
// cut before, and must stay linear on long runs of accented letters without ASCII.
TEST(TextFolding, NormalizesPieceByPieceAsAWhole) {
    const std::vector<std::vector<QString>> alphabets = {
        {"e", "\u0301", "\u00E9", "\u0323", "\u1E69", "\u0344", "\u212B", "\u00C5", " "},
        {"\u1100", "\u1161", "\u11A8", "\uAC00", "\uAC01", "\u0B47", "\u0B3E", "\u0B4B"},
        {"\u3099", "\u304B", "\u304C", "\u0F71", "\u0F72", "\u0F73", "\U0001D15E", "\U0001D165", "\uFB01"},
        {"\u00E9", "\u00F1", "\u01D6", "\u0301", "\u0308", "\u1EC7"},
    };
    unsigned seed = 1;
    for (const auto& alphabet : alphabets) {
        for (int round = 0; round < 3; ++round) {
            const QString text = sample(alphabet, 6000, seed++);
            for (auto form : {QString::NormalizationForm_C, QString::NormalizationForm_D})
                ASSERT_EQ(TextFolding::normalized(text, form), text.normalized(form)) << "seed " << seed;
        }
    }
    const qsizetype run = 300000;
    EXPECT_EQ(TextFolding::normalized(QString(run, QChar(0x00E9)), QString::NormalizationForm_D),
              QStringLiteral("e\u0301").repeated(run));
    EXPECT_EQ(TextFolding::normalized(QStringLiteral("e\u0301").repeated(run), QString::NormalizationForm_C),
              QString(run, QChar(0x00E9)));
}

// A text kept as UTF-8 reads, measures and digests as the string the ordinary way would have made.
TEST(LargeText, AgreesWithTheStringItStandsFor) {
    const struct {
        const char* name;
        QByteArray unit;
        bool latin1;
    } cases[] = {
        {"ascii", "plain words, line after line\n", false},
        {"accents and emoji",
         "Caf\xC3\xA9 e\xCC\x81 Stra\xC3\x9F"
         "e \xF0\x9F\x98\x80 \xE6\x97\xA5\xE6\x9C\xAC ",
         false},
        {"no ascii at all", "\xC3\xA9\xCC\xA3\xE3\x81\x8B\xE3\x82\x99\xEA\xB0\x80", false},
        {"marks inside", "\xEF\xBB\xBFmid-text mark, then text ", false},
        {"invalid sequences", "ok \xED\xA0\x80 \xC0\x80 \xF5\x80 \xE2\x82 end ", false},
        {"latin-1", "caf\xE9 na\xEFve \xFF\xA0 ", true},
    };
    for (const auto& c : cases) {
        QByteArray bytes;
        while (bytes.size() < 1100 * 1024)
            bytes += c.unit;
        if (QByteArray(c.name) == "marks inside")
            bytes.prepend("\xEF\xBB\xBF");
        const QString expected = c.latin1 ? QString::fromLatin1(bytes) : QString::fromUtf8(bytes);
        const LargeTextPtr text = c.latin1 ? LargeText::fromLatin1(bytes) : LargeText::fromUtf8(bytes);
        EXPECT_EQ(text->toString(), expected) << c.name;
        EXPECT_EQ(text->utf16Size(), expected.size()) << c.name;
        EXPECT_EQ(text->utf8(), expected.toUtf8()) << c.name;
        EXPECT_EQ(text->digest(), ManagedObjectContext::contentDigest(QStringLiteral("text"), expected, std::nullopt,
                                                                      std::nullopt, std::nullopt))
            << c.name;
        const QString head = text->head(1001);
        EXPECT_LE(head.size(), 1001) << c.name;
        EXPECT_GT(head.size(), 200) << c.name;
        EXPECT_TRUE(expected.startsWith(head)) << c.name;
    }
    // Canonically equal texts share a digest whichever form each came in.
    const QString composed = QStringLiteral("r\u00E9sum\u00E9 ").repeated(100000);
    EXPECT_EQ(LargeText::fromUtf8(composed.toUtf8())->digest(),
              LargeText::fromUtf8(composed.normalized(QString::NormalizationForm_D).toUtf8())->digest());
}

// Which clipboard texts are kept as UTF-8: only large ones that are no link, read once.
TEST(LargeText, CapturedOnlyWhereAStringWouldBeLarge) {
    const QByteArray large = QByteArray("some words ").repeated(30000);
    const QByteArray link = "  https://127.0.0.1/" + QByteArray(300 * 1024, 'a');
    const struct {
        const char* name;
        QMap<QString, QByteArray> offered;
        bool kept;
        const char* type;
        qsizetype size;
    } cases[] = {
        {"utf-8", {{"UTF8_STRING", large}}, true, "text", large.size()},
        // Read as UTF-8, the last two bytes would be one character.
        {"latin-1", {{"STRING", large + "\xC3\xA9"}}, true, "text", large.size() + 2},
        {"beside html", {{"UTF8_STRING", large}, {"text/html", "<b>x</b>"}}, true, "richText", large.size()},
        {"small", {{"UTF8_STRING", "a few words"}}, false, "text", 11},
        {"cut short by a NUL", {{"UTF8_STRING", QByteArray("short") + QByteArray(1, 0) + large}}, false, "text", 5},
        {"three bytes a character",
         {{"UTF8_STRING", QByteArray("\xE6\x97\xA5").repeated(100000)}},
         false,
         "text",
         100000},
        {"a link", {{"UTF8_STRING", link}}, false, "url", link.size()},
    };
    for (const auto& c : cases) {
        PasteboardContents contents = PasteboardContents::fromData(c.offered);
        const CapturedEntry entry = ClipboardCapture::capture(contents);
        EXPECT_EQ(entry.kind, CapturedEntry::Kind::Text) << c.name;
        EXPECT_EQ(entry.type, QString::fromLatin1(c.type)) << c.name;
        EXPECT_EQ(bool(entry.largeText), c.kept) << c.name;
        EXPECT_EQ(bool(entry.text), !c.kept) << c.name;
        EXPECT_EQ(c.kept ? entry.largeText->utf16Size() : entry.text->size(), c.size) << c.name;
    }
}
