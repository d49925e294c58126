// SPDX-License-Identifier: MIT
#include "panel/ClipboardItemContentView.h"
#include "panel/CardTextLabel.h"
#include "panel/PanelTestStore.h"
#include "panel/RichTextPreview.h"

#include <QApplication>
#include <QLabel>
#include <QScrollArea>
#include <QTest>
#include <QTextDocument>

#include "panel/PanelTestWait.h"

#include <gtest/gtest.h>

namespace {

QByteArray rtfOf(const QString& text) {
    return "{\\rtf1\\ansi\\ansicpg1252{\\fonttbl\\f0\\fswiss Helvetica;}{\\colortbl;\\red200\\green0\\blue0;}"
           "\\f0\\fs28\\cf1 " +
           text.toLatin1() + "\\par}";
}

// Runs with the application palette switched to dark, restoring the previous one afterwards.
struct DarkPalette {
    QPalette saved = QApplication::palette();
    DarkPalette() {
        QPalette dark;
        dark.setColor(QPalette::Window, QColor(40, 40, 40));
        dark.setColor(QPalette::WindowText, QColor(235, 235, 235));
        dark.setColor(QPalette::Base, QColor(30, 30, 30));
        dark.setColor(QPalette::Text, QColor(235, 235, 235));
        QApplication::setPalette(dark);
    }
    ~DarkPalette() { QApplication::setPalette(saved); }
};

} // namespace

TEST(ClipboardItemContentView, TypeNames) {
    const std::vector<std::pair<QString, QString>> table = {
        {"text", "Text"},       {"richText", "Rich Text"}, {"image", "Image"},         {"file", "File"}, {"url", "URL"},
        {"Unknown", "Unknown"}, {"color", "Color"},        {"two words", "Two Words"}, {"", ""},
    };
    for (const auto& [type, name] : table)
        EXPECT_EQ(ClipboardItemContentView::typeDisplayName(type), name) << type.toStdString();
}

TEST(ClipboardItemContentView, HeaderAndPlainBody) {
    PanelTestStore store(QStringLiteral("card-header"));
    auto text = store.add(QStringLiteral("text"), QStringLiteral("hello card"), true);
    auto untyped = store.add(QStringLiteral("text"), QStringLiteral("no type"));
    untyped->setType(std::nullopt);
    untyped->setTimestamp(std::nullopt);
    store.save();

    ClipboardItemContentView card;
    card.show();
    card.configure(text);
    EXPECT_EQ(card.typeLabel()->text(), QStringLiteral("Text"));
    EXPECT_FALSE(card.timeLabel()->text().isEmpty());
    EXPECT_TRUE(card.starView()->isVisible());
    // Star 16 x 16, 8 points from the header's right edge; the labels stop 4 points before it.
    EXPECT_EQ(card.starView()->geometry(), QRect(card.headerView()->width() - 8 - 16, 14, 16, 16));
    EXPECT_LE(card.typeLabel()->geometry().right(), card.starView()->geometry().left() - 4);
    EXPECT_EQ(card.previewLabel()->text(), QStringLiteral("hello card"));
    EXPECT_TRUE(card.previewLabel()->isVisible());
    EXPECT_EQ(card.imageLoadIdentifier(), text->objectID());
    EXPECT_EQ(card.containerRect(), QRect(6, 6, 208, 226));

    card.configure(untyped);
    EXPECT_EQ(card.typeLabel()->text(), QStringLiteral("Unknown"));
    EXPECT_TRUE(card.timeLabel()->text().isEmpty());
    EXPECT_FALSE(card.starView()->isVisible());
    EXPECT_FALSE(card.previewLabel()->isVisible());

    card.reset();
    EXPECT_EQ(card.item(), nullptr);
    EXPECT_TRUE(card.imageLoadIdentifier().isEmpty());
    EXPECT_TRUE(card.previewLabel()->text().isEmpty());
}

TEST(ClipboardItemContentView, RichTextIsCutAt200InBothAppearances) {
    PanelTestStore store(QStringLiteral("card-rtf"));
    const QString a250(250, QLatin1Char('a'));
    const QString a200(200, QLatin1Char('a'));
    auto longEntry = store.add(QStringLiteral("richText"), a250, false, nullptr, rtfOf(a250));
    auto exactEntry = store.add(QStringLiteral("richText"), a200, false, nullptr, rtfOf(a200));
    auto brokenEntry =
        store.add(QStringLiteral("richText"), QStringLiteral("fallback"), false, nullptr, QByteArray(" \r\n"));
    auto noData = store.add(QStringLiteral("richText"), QStringLiteral("only preview"));
    auto colorEntry = store.add(QStringLiteral("richText"), QStringLiteral("#a1b2c3"), false, nullptr,
                                rtfOf(QStringLiteral("something else")));
    store.save();

    // Read off the main thread: the plain preview shows until the document is ready.
    ClipboardItemContentView card;
    card.show();
    card.configure(longEntry);
    TL_TRY_VERIFY(card.previewLabel()->document() != nullptr, 5000); // light: the document's own look
    EXPECT_EQ(card.previewLabel()->text(), a200 + QStringLiteral("..."));
    card.configure(exactEntry);
    TL_TRY_COMPARE(card.previewLabel()->text(), a200, 5000);
    card.configure(brokenEntry);
    QTest::qWait(100); // the broken document's late result must not replace the fallback
    EXPECT_EQ(card.previewLabel()->text(), QStringLiteral("fallback"));
    card.configure(noData);
    EXPECT_EQ(card.previewLabel()->text(), QStringLiteral("only preview"));
    card.configure(colorEntry); // a colour value is not rendered from its RTF
    auto* swatchLabel = card.contentContainerView()->findChild<QLabel*>(QStringLiteral("colorSwatchLabel"));
    ASSERT_NE(swatchLabel, nullptr);
    EXPECT_EQ(swatchLabel->text(), QStringLiteral("#A1B2C3"));

    DarkPalette dark;
    card.configure(longEntry);                           // from the entry's kept result: at once
    EXPECT_EQ(card.previewLabel()->document(), nullptr); // dark: label colour, system font
    EXPECT_EQ(card.previewLabel()->text(), a200 + QStringLiteral("..."));
    EXPECT_EQ(card.previewLabel()->font().pixelSize(), 13);
    card.configure(exactEntry);
    EXPECT_EQ(card.previewLabel()->text(), a200);
}

// Entries read from the store: their rich text is read off the main thread, and a card that moved
// on to another entry keeps that one's look when the first entry's result comes in late.
TEST(ClipboardItemContentView, StoredRichTextReachesOnlyTheCardStillShowingItsEntry) {
    PanelTestStore store(QStringLiteral("card-rich-stored"));
    auto first = store.add(QStringLiteral("richText"), QStringLiteral("first"), false, nullptr,
                           rtfOf(QStringLiteral("first styled")));
    auto second = store.add(QStringLiteral("richText"), QStringLiteral("second"), false, nullptr,
                            QByteArray("<html><body><b>second</b> styled</body></html>"));
    store.save();
    store.context->refreshAllObjects();
    ASSERT_FALSE(first->isLoaded(ClipboardItem::RichTextData));

    ClipboardItemContentView card;
    card.show();
    card.configure(second);
    TL_TRY_VERIFY(card.previewLabel()->document() != nullptr, 5000);
    EXPECT_EQ(card.previewLabel()->text(), QStringLiteral("second styled"));

    card.configure(first);  // its result is still to come...
    card.configure(second); // ...when the card shows the other entry again, from the kept result
    bool later = false;     // the queue runs in order: this one comes after the first entry's
    RichTextPreview::load([](bool*) { return std::nullopt; }, QStringLiteral("after"), &card,
                          [&](const RichTextPreview&) { later = true; });
    TL_TRY_VERIFY(later, 5000);
    EXPECT_EQ(card.previewLabel()->text(), QStringLiteral("second styled"));

    card.configure(first);
    EXPECT_EQ(card.previewLabel()->text(), QStringLiteral("first styled"));
    EXPECT_NE(card.previewLabel()->document(), nullptr);
    EXPECT_FALSE(first->isLoaded(ClipboardItem::RichTextData)); // never read on the main thread
}

TEST(ClipboardItemContentView, AppearanceChangeRebuildsRichText) {
    PanelTestStore store(QStringLiteral("card-appearance"));
    auto entry = store.add(QStringLiteral("richText"), QStringLiteral("styled"), false, nullptr,
                           rtfOf(QStringLiteral("styled")));
    store.save();
    QScrollArea area; // as in the strip, where labels inherit the Base background role
    auto* cardWidget = new ClipboardItemContentView;
    area.setWidget(cardWidget);
    area.show();
    ClipboardItemContentView& card = *cardWidget;
    card.configure(entry);
    TL_TRY_VERIFY(card.previewLabel()->document() != nullptr, 5000);
    {
        DarkPalette dark;
        TL_TRY_VERIFY(card.previewLabel()->document() == nullptr, 5000);
        // Whichever role the label draws with (it depends on its parent's background role).
        EXPECT_EQ(card.previewLabel()->palette().color(card.previewLabel()->foregroundRole()), QColor(235, 235, 235));
    }
    TL_TRY_VERIFY(card.previewLabel()->document() != nullptr, 5000);
}

TEST(ClipboardItemContentView, IconAndTintBelongToTheShownEntryOnly) {
    PanelTestStore store(QStringLiteral("card-icon"));
    auto tinted = store.app(QStringLiteral("org.example.red"), QStringLiteral("Red"), Qt::red, QColor(200, 30, 30));
    auto untinted = store.app(QStringLiteral("org.example.blue"), QStringLiteral("Blue"), Qt::blue);
    auto a = store.add(QStringLiteral("text"), QStringLiteral("from red"), false, tinted);
    auto b = store.add(QStringLiteral("text"), QStringLiteral("from nowhere"));
    auto c = store.add(QStringLiteral("text"), QStringLiteral("from blue"), false, untinted);
    store.save();
    ClipboardItemContentView::iconCache().clear();

    // The card moves on to another entry before the icon of the first has been decoded.
    ClipboardItemContentView card;
    card.show();
    card.configure(a);
    const QPixmap placeholder = card.headerIconImageView()->pixmap();
    card.configure(b);
    TL_TRY_VERIFY(ClipboardItemContentView::iconCache().contains(QStringLiteral("org.example.red")), 5000);
    EXPECT_EQ(card.headerIconImageView()->pixmap().toImage(), placeholder.toImage());
    EXPECT_FALSE(card.headerTint().has_value());

    // From the cache the icon and tint come at once.
    card.configure(a);
    ASSERT_TRUE(card.headerTint().has_value());
    EXPECT_EQ(card.headerTint()->rgb(), QColor(200, 30, 30).rgb());
    const QImage redIcon = card.headerIconImageView()->pixmap().toImage();
    EXPECT_EQ(QColor(redIcon.pixel(redIcon.width() / 2, redIcon.height() / 2)).rgb(), QColor(Qt::red).rgb());

    // An application without a colour: its icon shows, no tint, nothing cached, and the red tint
    // of the previous entry does not stay on the reused card.
    card.configure(c);
    EXPECT_FALSE(card.headerTint().has_value());
    TL_TRY_VERIFY(QColor(card.headerIconImageView()->pixmap().toImage().pixel(17, 17)).rgb() == QColor(Qt::blue).rgb(),
                  5000);
    EXPECT_FALSE(ClipboardItemContentView::iconCache().contains(QStringLiteral("org.example.blue")));
}
