// SPDX-License-Identifier: MIT
#include "common/AppNames.h"
#include "panel/ClipboardItemContentView.h"
#include "panel/ClipboardPreviewImageLoader.h"
#include "panel/PanelTestStore.h"
#include "panel/RichTextPreview.h"
#include "platform/NotificationCenter.h"
#include "support/StdoutCapture.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QTest>
#include <QtEndian>

#include "panel/PanelTestWait.h"

#include <gtest/gtest.h>

namespace {

QByteArray pngOf(QSize size, const QColor& color) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(color);
    return ImageUtils::pngData(image).value_or(QByteArray());
}

quint32 crc32Of(const QByteArray& bytes) {
    quint32 crc = 0xFFFFFFFFu;
    for (char byte : bytes) {
        crc ^= quint8(byte);
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// A PNG whose header announces a picture far larger than its data.
QByteArray pngClaiming(quint32 width, quint32 height) {
    QByteArray ihdr("IHDR");
    quint32 w = qToBigEndian(width), h = qToBigEndian(height);
    ihdr.append(reinterpret_cast<const char*>(&w), 4).append(reinterpret_cast<const char*>(&h), 4);
    ihdr.append("\x08\x06\x00\x00\x00", 5);
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    const quint32 length = qToBigEndian(quint32(13));
    const quint32 crc = qToBigEndian(crc32Of(ihdr));
    png.append(reinterpret_cast<const char*>(&length), 4).append(ihdr).append(reinterpret_cast<const char*>(&crc), 4);
    return png + QByteArray(64, '\0');
}

QColor shownColor(QLabel* view) {
    const QImage image = view->pixmap().toImage();
    return image.isNull() ? QColor() : QColor(image.pixel(image.width() / 2, image.height() / 2));
}

template <typename T> T* bodyChild(ClipboardItemContentView& card, const char* name) {
    return card.contentContainerView()->findChild<T*>(QString::fromLatin1(name));
}

} // namespace

TEST(CardBodies, HexColorsAndTheirTextColour) {
    struct Case {
        const char* text;
        std::optional<QColor> color;
    };
    const std::vector<Case> table = {
        {"#fff", QColor(255, 255, 255)},
        {"#FFFF", QColor(255, 255, 255, 255)},
        {"#a1b2c3", QColor(0xa1, 0xb2, 0xc3)},
        {"#A1B2C3D4", QColor(0xa1, 0xb2, 0xc3, 0xd4)},
        {"  #abc \n", QColor(0xaa, 0xbb, 0xcc)},
        {"#abcde", std::nullopt},
        {"#abcdeff", std::nullopt},
        {"abc", std::nullopt},
        {"#ggg", std::nullopt},
        {"#abc #def", std::nullopt},
    };
    for (const Case& c : table) {
        const auto parsed = ClipboardItemContentView::parseHexColor(QString::fromLatin1(c.text));
        ASSERT_EQ(parsed.has_value(), c.color.has_value()) << c.text;
        if (c.color) {
            EXPECT_EQ(parsed->rgba(), c.color->rgba()) << c.text;
        }
    }
    EXPECT_FALSE(ClipboardItemContentView::isLightColor(QColor(0, 0, 0)));
    EXPECT_TRUE(ClipboardItemContentView::isLightColor(QColor(255, 255, 255)));
    EXPECT_FALSE(ClipboardItemContentView::isLightColor(QColor(0x7f, 0x7f, 0x7f)));
    EXPECT_TRUE(ClipboardItemContentView::isLightColor(QColor(0x80, 0x80, 0x80)));

    PanelTestStore store(QStringLiteral("card-swatch"));
    auto dark = store.add(QStringLiteral("text"), QStringLiteral("#123"));
    auto light = store.add(QStringLiteral("richText"), QStringLiteral("#FFF"));
    store.save();
    ClipboardItemContentView card;
    card.show();
    for (const auto& [entry, text, ink] :
         {std::tuple{dark, "#123", QColor(Qt::white)}, std::tuple{light, "#FFF", QColor(Qt::black)}}) {
        card.configure(entry);
        auto* label = bodyChild<QLabel>(card, "colorSwatchLabel");
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->text(), QString::fromLatin1(text));
        EXPECT_EQ(label->palette().color(QPalette::WindowText), ink);
        EXPECT_EQ(bodyChild<QWidget>(card, "colorSwatch")->geometry(), card.contentContainerView()->rect());
    }
}

TEST(CardBodies, WebUrlTest) {
    const std::vector<std::pair<const char*, bool>> table = {
        {"https://example.org/a", true},
        {"HTTP://EXAMPLE.ORG", true},
        {" ftp://files.example.org \n", true},
        {"ftps://h.example", true},
        {"mailto:a@example.org", false},
        {"file:///etc/passwd", false},
        {"http:/example.org", false},
        {"https://", false},
        {"", false},
        {"see https://example.org", false},
    };
    for (const auto& [text, web] : table)
        EXPECT_EQ(ClipboardItemContentView::isWebURL(QString::fromLatin1(text)), web) << text;
}

// The link card with and without a stored preview, and its refresh when the preview arrives.
TEST(CardBodies, LinkCardFollowsItsPreview) {
    PanelTestStore store(QStringLiteral("card-link"));
    auto link = store.add(QStringLiteral("url"), QStringLiteral("https://www.docs.www.example.org/page"));
    auto other = store.add(QStringLiteral("url"), QStringLiteral("https://other.example.org"));
    store.save();
    StdoutCapture out;
    ClipboardItemContentView card;
    card.show();
    card.configure(link);
    auto* title = bodyChild<CardTextLabel>(card, "urlTitle");
    ASSERT_NE(title, nullptr);
    EXPECT_EQ(title->text(), QStringLiteral("www.docs.www.example.org"));
    EXPECT_TRUE(card.previewLabel()->text().startsWith(QStringLiteral("https://www.")));
    EXPECT_TRUE(card.previewLabel()->text().endsWith(QStringLiteral("/page")));
    EXPECT_TRUE(
        out.lines().contains(QStringLiteral("[ContentView] Rendering URL: https://www.docs.www.example.org/page, "
                                            "Has Image: false, Title: nil")));
    EXPECT_TRUE(out.lines().contains(QStringLiteral("[ContentView] Rendering URL with mock image")));
    const QColor placeholder = shownColor(card.imageView());

    // A preview reaches the card of its entry only: once, however many cards exist or were reused.
    ClipboardItemContentView others[3];
    for (ClipboardItemContentView& c : others) {
        c.configure(link);
        c.configure(other);
    }
    others[2].reset();
    other->setUrlPreviewTitle(QStringLiteral("Other"));
    NotificationCenter::defaultCenter().post(Notifications::urlPreviewUpdated, other.get());
    EXPECT_EQ(out.linesStartingWith(QStringLiteral("[ContentView] Received URLPreviewUpdated")).size(), 2);
    EXPECT_EQ(out.linesStartingWith(QStringLiteral("[ContentView] ID mismatch, ignoring")).size(), 0);
    TL_TRY_VERIFY(out.linesStartingWith(QStringLiteral("[ContentView] Content refreshed")).size() == 2, 5000);
    link->setUrlPreviewTitle(QStringLiteral("A long page title that certainly needs more than two lines on a card"));
    link->setUrlPreviewImageData(pngOf(QSize(300, 150), QColor(10, 200, 20)));
    NotificationCenter::defaultCenter().post(Notifications::urlPreviewUpdated, link.get());
    TL_TRY_VERIFY(out.linesStartingWith(QStringLiteral("[ContentView] Content refreshed")).size() == 3, 5000);
    EXPECT_EQ(out.linesStartingWith(QStringLiteral("[ContentView] ID matched! Refreshing content")).size(), 3);
    EXPECT_EQ(out.linesStartingWith(QStringLiteral("[ContentView] ID mismatch")).size(), 0);
    EXPECT_TRUE(out.lines().contains(QStringLiteral("[ContentView] Rendering URL WITH image")));
    title = bodyChild<CardTextLabel>(card, "urlTitle");
    ASSERT_NE(title, nullptr);
    EXPECT_TRUE(title->text().endsWith(QChar(0x2026)));
    EXPECT_LE(title->lineCount(title->width()), 2);
    EXPECT_LE(card.previewLabel()->geometry().bottom(), card.contentContainerView()->height() - 4); // whole URL line
    EXPECT_GT(card.previewLabel()->geometry().top(), title->geometry().bottom()); // below the title, not over it
    EXPECT_EQ(shownColor(card.imageView()), QColor(10, 200, 20));
    EXPECT_NE(placeholder, QColor(10, 200, 20));
    card.configure(other); // a one-line title leaves the picture its full height
    EXPECT_EQ(card.imageView()->geometry(), QRect(12, 12, 184, 120));

    // A title of nearly a megabyte, as a store may hold from before titles were bounded, shows its
    // beginning on two lines (laid out whole, it took minutes and froze the panel).
    link->setUrlPreviewTitle(QStringLiteral("Huge ") + QStringLiteral("word ").repeated(180000));
    card.configure(link);
    title = bodyChild<CardTextLabel>(card, "urlTitle");
    ASSERT_NE(title, nullptr);
    EXPECT_TRUE(title->text().startsWith(QStringLiteral("Huge word word")));
    EXPECT_TRUE(title->text().endsWith(QChar(0x2026)));
    EXPECT_LE(title->lineCount(title->width()), 2);
}

TEST(CardBodies, AspectFill) {
    struct Case {
        QSizeF image, container;
        QRectF expected;
    };
    const std::vector<Case> table = {
        {{400, 100}, {208, 184}, {-264, 0, 736, 184}},
        {{100, 400}, {208, 184}, {0, -324, 208, 832}},
        {{208, 184}, {208, 184}, {0, 0, 208, 184}},
        {{0, 10}, {208, 184}, {}},
    };
    for (const Case& c : table)
        EXPECT_EQ(ClipboardItemContentView::aspectFillRect(c.image, c.container), c.expected);
}

// A reused card shows only its new entry's picture, even when the old one decodes later.
TEST(CardBodies, ImageCardKeepsOnlyTheShownEntrysPicture) {
    PanelTestStore store(QStringLiteral("card-image"));
    auto red = store.add(QStringLiteral("image"), QStringLiteral("Image"));
    red->setImageData(pngOf(QSize(400, 100), Qt::red));
    auto blue = store.add(QStringLiteral("image"), QStringLiteral("Image"));
    blue->setImageData(pngOf(QSize(120, 120), Qt::blue));
    store.save();
    auto& loader = ClipboardPreviewImageLoader::shared();
    loader.removeAllObjects();

    ClipboardItemContentView card;
    card.show();
    card.configure(red);
    card.configure(blue); // before the red one has been decoded
    TL_TRY_COMPARE(loader.count(), 2, 5000);
    auto* frame = bodyChild<QWidget>(card, "imageFrame");
    ASSERT_NE(frame, nullptr);
    auto* view = frame->findChild<QLabel*>();
    TL_TRY_VERIFY(!view->pixmap().isNull(), 5000);
    EXPECT_EQ(shownColor(view), QColor(Qt::blue));

    card.configure(red); // a hit: applied at once, filled and cropped
    view = bodyChild<QWidget>(card, "imageFrame")->findChild<QLabel*>();
    EXPECT_EQ(shownColor(view), QColor(Qt::red));
    const QSize body = card.contentContainerView()->size();
    EXPECT_EQ(view->geometry(),
              ClipboardItemContentView::aspectFillRect(QSizeF(400, 100), QSizeF(body)).toAlignedRect());

    loader.removeAllObjects(); // as when the panel hides
    EXPECT_TRUE(loader.cachedImage(red->objectID()).isNull());
}

TEST(CardBodies, LoaderBoundsByCountAndDecodedBytes) {
    auto& loader = ClipboardPreviewImageLoader::shared();
    loader.removeAllObjects();
    QImage small(8, 8, QImage::Format_ARGB32_Premultiplied);
    small.fill(Qt::green);
    for (int i = 0; i <= ClipboardPreviewImageLoader::countLimit; ++i)
        loader.insert(QString::number(i), small);
    EXPECT_EQ(loader.count(), ClipboardPreviewImageLoader::countLimit);
    EXPECT_TRUE(loader.cachedImage(QStringLiteral("0")).isNull());  // the least recently used went first
    EXPECT_FALSE(loader.cachedImage(QStringLiteral("1")).isNull()); // a hit is a use: "2" is now the oldest
    loader.insert(QStringLiteral("new"), small);
    EXPECT_FALSE(loader.cachedImage(QStringLiteral("1")).isNull());
    EXPECT_TRUE(loader.cachedImage(QStringLiteral("2")).isNull());
    EXPECT_EQ(loader.totalCost(), ClipboardPreviewImageLoader::countLimit * 8LL * 8 * 4);
    loader.insert(QStringLiteral("new"), small); // replaced: its old cost is taken off
    EXPECT_EQ(loader.totalCost(), ClipboardPreviewImageLoader::countLimit * 8LL * 8 * 4);

    loader.removeAllObjects();
    QImage big(1024, 1024, QImage::Format_ARGB32_Premultiplied); // 4 MiB decoded
    big.fill(Qt::gray);
    for (int i = 0; i < 25; ++i)
        loader.insert(QStringLiteral("big%1").arg(i), big);
    EXPECT_EQ(loader.totalCost(), 20LL * 4 * 1024 * 1024);
    EXPECT_EQ(loader.count(), 20);

    // Kept at the size that fills the body at twice its size; refused before allocating: a header
    // claiming 30000 x 30000; not a picture at all.
    EXPECT_EQ(ClipboardPreviewImageLoader::makeImage(pngOf(QSize(1920, 1080), Qt::red)).size(), QSize(654, 368));
    EXPECT_EQ(ClipboardPreviewImageLoader::makeImage(pngOf(QSize(400, 100), Qt::red)).size(), QSize(400, 100));
    EXPECT_TRUE(ClipboardPreviewImageLoader::makeImage(pngClaiming(30000, 30000)).isNull());
    loader.removeAllObjects();
    bool called = false;
    QImage result(1, 1, QImage::Format_RGB32);
    QObject context;
    loader.load(QByteArray("not an image"), QStringLiteral("junk"), &context, [&](const QImage& image) {
        called = true;
        result = image;
    });
    TL_TRY_VERIFY(called, 5000);
    EXPECT_TRUE(result.isNull());
    EXPECT_EQ(loader.count(), 0);
}

TEST(CardBodies, FileCardShowsIconAndName) {
    const QString dir = TestEnvironment::instance().freshDir(QStringLiteral("card-file"));
    const QString path = dir + QStringLiteral("/a-rather-long-file-name-that-goes-on-and-on-and-on-and-on-and-on.txt");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("text");
    file.close();
    PanelTestStore store(QStringLiteral("card-file-store"));
    auto entry = store.add(QStringLiteral("file"), path);
    entry->setFilePath(path);
    store.save();
    ClipboardItemContentView card;
    card.show();
    card.configure(entry);
    EXPECT_FALSE(card.imageView()->pixmap().isNull()); // the theme's icon for text files
    EXPECT_EQ(card.imageView()->geometry(), QRect((card.contentContainerView()->width() - 64) / 2, 40, 64, 64));
    const QString shown = card.previewLabel()->text();
    EXPECT_TRUE(shown.startsWith(QStringLiteral("a-rather"))) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(QStringLiteral("on.txt"))) << shown.toStdString();
    EXPECT_LE(card.previewLabel()->lineCount(card.previewLabel()->width()), 2);

    // A copy of several files: the first one's name, then how many more on a line of its own.
    entry->setAdditionalFilePaths({dir + QStringLiteral("/b.txt"), dir + QStringLiteral("/c.txt")});
    store.save();
    card.configure(entry);
    const QStringList lines = card.previewLabel()->text().split(QLatin1Char('\n'));
    ASSERT_GE(lines.size(), 2);
    EXPECT_TRUE(lines.first().startsWith(QStringLiteral("a-rather")));
    EXPECT_EQ(lines.last(), QStringLiteral("+ 2 more"));
    EXPECT_LE(card.previewLabel()->lineCount(card.previewLabel()->width()), 3);
}

// Faults seen on the running panel: a long word is broken, not clipped; rich text stops at 8
// lines; a card that never got a colour is tinted grey after an appearance change.
TEST(CardBodies, TextBodiesWrapLongWordsAndStopAtEightLines) {
    PanelTestStore store(QStringLiteral("card-text"));
    const QString hash = QStringLiteral("sha256:") + QString(96, QLatin1Char('f'));
    auto word = store.add(QStringLiteral("text"), hash);
    word->setPreview(hash);
    QByteArray many = "{\\rtf1\\ansi ";
    for (int i = 0; i < 20; ++i)
        many += "line\\par ";
    many += "}";
    auto rich = store.add(QStringLiteral("richText"), QStringLiteral("line"), false, nullptr, many);
    const QByteArray html = "<html><body><p><b>Bold</b> and <img src=\"file:///etc/hostname\"> plain</p></body></html>";
    auto fromHtml = store.add(QStringLiteral("richText"), QStringLiteral("Bold and plain"), false, nullptr, html);
    const QByteArray list = "{\\rtf1\\ansi {\\listtext\\bullet\\tab}\\pard\\fi-431\\li720\\ls1\\ilvl0 One\\par "
                            "{\\listtext\\bullet\\tab}\\pard\\fi-431\\li1440\\ls1\\ilvl1 Two\\par}";
    auto nested = store.add(QStringLiteral("richText"), QStringLiteral("One Two"), false, nullptr, list);
    store.save();

    ClipboardItemContentView card;
    card.show();
    card.configure(word);
    CardTextLabel* label = card.previewLabel();
    EXPECT_EQ(label->text(), hash);
    EXPECT_GE(label->lineCount(label->width()), 3);
    EXPECT_EQ(label->height(), label->heightForWidth(label->width()));

    card.configure(rich);
    TL_TRY_VERIFY(label->document() != nullptr, 5000);
    EXPECT_EQ(label->lineCount(label->width()), 20);
    CardTextLabel all; // the same text without the cap
    all.setFont(label->font());
    all.setDocument(label->document());
    all.setMaximumLines(100);
    const int full = all.heightForWidth(label->width());
    EXPECT_EQ(label->height(), label->heightForWidth(label->width()));
    EXPECT_NEAR(label->height(), full * 8 / 20, full / 40);

    card.configure(fromHtml);
    TL_TRY_VERIFY(label->document() != nullptr, 5000);
    const QString shown = label->document()->toPlainText();
    EXPECT_EQ(shown.simplified(), QStringLiteral("Bold and plain"));
    EXPECT_FALSE(shown.contains(QChar::ObjectReplacementCharacter));

    EXPECT_FALSE(card.headerTint().has_value());
    const QPalette saved = QApplication::palette();
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(40, 40, 40));
    QApplication::setPalette(dark);
    TL_TRY_VERIFY(card.headerTint().has_value(), 5000);
    card.configure(nested); // the dark card's plain text keeps the list's levels
    TL_TRY_COMPARE(label->text(), QStringLiteral("\u2022\tOne\n\t\u2022\tTwo"), 5000);
    QApplication::setPalette(saved);
    EXPECT_EQ(card.headerTint()->rgb(), card.headerBackgroundColor().rgb());
}

TEST(CardBodies, RichTextDataKind) {
    const std::vector<std::pair<QByteArray, bool>> table = {
        {"{\\rtf1 x}", true}, {" \r\n\t{\\rtf1 x}", true}, {"<html>{\\rtf1</html>", false}, {"", false},
        {"{\\rt", false},
    };
    for (const auto& [data, rtf] : table)
        EXPECT_EQ(RichTextPreview::isRtf(data), rtf) << data.constData();
}
