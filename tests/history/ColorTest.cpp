// SPDX-License-Identifier: MIT
#include "history/ColorArchive.h"
#include "history/ColorExtractor.h"

#include <QImage>

#include <gtest/gtest.h>

TEST(ColorExtractor, UniformIconsKeepHueAndBoostSaturation) {
    QImage red(64, 64, QImage::Format_ARGB32);
    red.fill(QColor(255, 0, 0));
    const QColor r = ColorExtractor::dominantColor(red, "test.red");
    EXPECT_EQ(r.toRgb(), QColor(255, 0, 0));

    QImage grey(64, 64, QImage::Format_RGB32);
    grey.fill(QColor(128, 128, 128));
    const QColor g = ColorExtractor::dominantColor(grey, "test.grey").toRgb();
    EXPECT_EQ(g.red(), 128);
    EXPECT_EQ(g.green(), 128);
    EXPECT_EQ(g.blue(), 128);

    // A half-saturated icon comes back boosted by the extractor's own factor.
    QImage muted(8, 8, QImage::Format_RGB32);
    muted.fill(QColor::fromHsvF(0.6f, 0.5f, 0.8f));
    float h, s, v, a;
    ColorExtractor::dominantColor(muted, "test.muted").getHsvF(&h, &s, &v, &a);
    EXPECT_NEAR(s, 0.65, 0.01);
    EXPECT_NEAR(h, 0.6, 0.01);
}

TEST(ColorExtractor, SaturationIsMultipliedAndCapped) {
    const QColor half = QColor::fromHsvF(0.6f, 0.5f, 0.8f, 1.0f);
    float h, s, v, a;
    ColorExtractor::adjustSaturation(half, 1.3).getHsvF(&h, &s, &v, &a);
    EXPECT_NEAR(s, 0.65, 0.002);
    EXPECT_NEAR(h, 0.6, 0.002);
    EXPECT_NEAR(v, 0.8, 0.002);
    ColorExtractor::adjustSaturation(QColor::fromHsvF(0.1f, 0.9f, 0.5f, 0.5f), 1.3).getHsvF(&h, &s, &v, &a);
    EXPECT_FLOAT_EQ(s, 1.0f);
    EXPECT_NEAR(a, 0.5, 0.002);
    ColorExtractor::adjustSaturation(QColor(90, 90, 90), 1.3).getHsvF(&h, &s, &v, &a);
    EXPECT_FLOAT_EQ(s, 0.0f);
}

TEST(ColorExtractor, UnreadableImagesGiveGreyAndAreNotCached) {
    EXPECT_EQ(ColorExtractor::dominantColor(QImage(), "test.null"), ColorExtractor::fallbackGray());
    EXPECT_EQ(ColorExtractor::dominantColor(QImage(0, 10, QImage::Format_ARGB32), "test.null"),
              ColorExtractor::fallbackGray());
    // The key was not cached by the failures: a real image now gives its own colour.
    QImage blue(8, 8, QImage::Format_RGB32);
    blue.fill(QColor(0, 0, 255));
    EXPECT_EQ(ColorExtractor::dominantColor(blue, "test.null").toRgb(), QColor(0, 0, 255));
}

TEST(ColorExtractor, CachedKeyIgnoresTheImage) {
    QImage green(16, 16, QImage::Format_RGB32);
    green.fill(QColor(0, 255, 0));
    QImage red(16, 16, QImage::Format_RGB32);
    red.fill(QColor(255, 0, 0));
    EXPECT_EQ(ColorExtractor::dominantColor(green, "test.cached").toRgb(), QColor(0, 255, 0));
    EXPECT_EQ(ColorExtractor::dominantColor(red, "test.cached").toRgb(), QColor(0, 255, 0));
}

TEST(ColorExtractor, SamplingGrid) {
    // 10 x 10: every pixel is sampled, so one white pixel among black ones moves the average.
    QImage small(10, 10, QImage::Format_RGB32);
    small.fill(Qt::black);
    small.setPixelColor(9, 9, Qt::white);
    const QColor s = ColorExtractor::dominantColor(small, "test.small").toRgb();
    EXPECT_NEAR(s.redF(), 0.01, 0.002);

    // 100 wide: step 2, so columns 1, 3, ... are never looked at.
    QImage striped(100, 100, QImage::Format_RGB32);
    for (int x = 0; x < 100; ++x)
        for (int y = 0; y < 100; ++y)
            striped.setPixelColor(x, y, x % 2 ? Qt::white : Qt::black);
    EXPECT_EQ(ColorExtractor::dominantColor(striped, "test.striped").toRgb(), QColor(Qt::black));

    // 1024 wide: step 20 (columns 0, 20, ..., 1020); only those columns are red.
    QImage wide(1024, 4, QImage::Format_RGB32);
    wide.fill(Qt::black);
    for (int x = 0; x < 1024; x += 20)
        for (int y = 0; y < 4; ++y)
            wide.setPixelColor(x, y, Qt::red);
    EXPECT_EQ(ColorExtractor::dominantColor(wide, "test.wide").toRgb(), QColor(Qt::red));
}

TEST(ColorExtractor, TransparentPixelsCountWithTheirColour) {
    QImage icon(4, 4, QImage::Format_ARGB32);
    icon.fill(qRgba(0, 0, 255, 0)); // fully transparent blue
    EXPECT_EQ(ColorExtractor::dominantColor(icon, "test.transparent").toRgb(), QColor(0, 0, 255));
}

TEST(ColorArchive, RoundTripsAndRejectsUnreadableData) {
    const QColor c = QColor::fromRgbF(0.25f, 0.5f, 0.75f, 1.0f);
    const QByteArray data = ColorArchive::archivedData(c);
    EXPECT_EQ(data.size(), 20);
    EXPECT_TRUE(data.startsWith("TLC1"));
    const auto back = ColorArchive::unarchivedColor(data);
    ASSERT_TRUE(back);
    EXPECT_NEAR(back->redF(), 0.25, 1e-4);
    EXPECT_NEAR(back->greenF(), 0.5, 1e-4);
    EXPECT_NEAR(back->blueF(), 0.75, 1e-4);
    EXPECT_NEAR(back->alphaF(), 1.0, 1e-4);

    QByteArray outOfRange = data;
    outOfRange[4] = char(0x7f); // red becomes a huge number
    QByteArray nan = data;
    nan.replace(4, 4, QByteArray("\x7f\xc0\x00\x00", 4));
    for (const QByteArray& bad : {QByteArray(), QByteArray("TLC1"), data.left(19), data + "x",
                                  QByteArray("XXXX") + data.mid(4), outOfRange, nan})
        EXPECT_FALSE(ColorArchive::unarchivedColor(bad)) << bad.toHex().toStdString();
}
