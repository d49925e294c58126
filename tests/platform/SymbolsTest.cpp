// SPDX-License-Identifier: MIT
#include "platform/Symbols.h"

#include "platform/FileIcons.h"

#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPixmap>

#include <gtest/gtest.h>

namespace {

const char* const symbolNames[] = {"magnifyingglass",       "star",      "star.fill",  "app.fill",
                                   "doc.on.clipboard.fill", "gearshape", "info.circle"};

int opaquePixels(const QIcon& icon) {
    const QImage image = icon.pixmap(32, 32).toImage();
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += qAlpha(image.pixel(x, y)) > 128 ? 1 : 0;
    return count;
}

// The opaque pixels of the symbol tinted white, and how many of them are not white.
struct Tinted {
    int drawn = 0;
    int offWhite = 0;
};
Tinted tintedWhite(const QString& name) {
    const QImage image =
        Symbols::tintedPixmap(name, QSize(32, 32), 1, Qt::white).toImage().convertToFormat(QImage::Format_ARGB32);
    Tinted t;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) <= 128)
                continue;
            ++t.drawn;
            t.offWhite += qGray(image.pixel(x, y)) < 250 ? 1 : 0;
        }
    return t;
}

// Installs an icon theme for the lifetime of the object and restores the previous one after.
class ThemeScope {
public:
    ThemeScope(const QStringList& searchPaths, const QString& name)
        : m_paths(QIcon::themeSearchPaths()), m_name(QIcon::themeName()) {
        QIcon::setThemeSearchPaths(searchPaths);
        QIcon::setThemeName(name);
    }
    ~ThemeScope() {
        QIcon::setThemeSearchPaths(m_paths);
        QIcon::setThemeName(m_name);
    }

private:
    QStringList m_paths;
    QString m_name;
};

} // namespace

TEST(Symbols, OwnDrawingsWhenTheThemeHasNone) {
    // Its one-time switch to an installed theme must not undo the empty one below.
    FileIcons::ensureIconTheme();
    const QString empty = TestEnvironment::instance().freshDir(QStringLiteral("no-icons"));
    ThemeScope scope({empty}, QStringLiteral("no-such-theme"));
    for (const char* name : symbolNames) {
        SCOPED_TRACE(name);
        const QIcon icon = Symbols::icon(QLatin1String(name));
        ASSERT_FALSE(icon.isNull());
        EXPECT_GT(opaquePixels(icon), 20); // something is drawn
        EXPECT_LT(opaquePixels(icon), 32 * 32);
        // Our grey drawings take the colour asked for, so they read on a dark background too.
        const Tinted tinted = tintedWhite(QLatin1String(name));
        EXPECT_GT(tinted.drawn, 20);
        EXPECT_EQ(tinted.offWhite, 0);
    }
    // The outlined and the filled star are different drawings.
    EXPECT_GT(opaquePixels(Symbols::icon(QStringLiteral("star.fill"))),
              opaquePixels(Symbols::icon(QStringLiteral("star"))));
}

TEST(Symbols, ThemeIconIsPreferred) {
    FileIcons::ensureIconTheme(); // done now, its one-time theme switch cannot undo the theme below
    const QString root = TestEnvironment::instance().freshDir(QStringLiteral("icons"));
    const QString themeDir = root + "/tltest";
    ASSERT_TRUE(QDir().mkpath(themeDir + "/scalable/actions"));
    QFile index(themeDir + "/index.theme");
    ASSERT_TRUE(index.open(QIODevice::WriteOnly));
    index.write("[Icon Theme]\nName=tltest\nDirectories=scalable/actions\n\n"
                "[scalable/actions]\nSize=32\nMinSize=8\nMaxSize=512\nType=Scalable\n");
    index.close();
    QFile svg(themeDir + "/scalable/actions/edit-find.svg");
    ASSERT_TRUE(svg.open(QIODevice::WriteOnly));
    svg.write("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"32\" height=\"32\">"
              "<rect width=\"32\" height=\"32\" fill=\"#ff0000\"/></svg>");
    svg.close();

    ThemeScope scope({root}, QStringLiteral("tltest"));
    const QImage fromTheme = Symbols::icon(QStringLiteral("magnifyingglass")).pixmap(32, 32).toImage();
    ASSERT_FALSE(fromTheme.isNull());
    EXPECT_EQ(QColor(fromTheme.pixel(fromTheme.width() / 2, fromTheme.height() / 2)), QColor(255, 0, 0));
    // A colourful theme drawing (the full red square) cannot take a colour: ours stands in.
    const Tinted glass = tintedWhite(QStringLiteral("magnifyingglass"));
    EXPECT_GT(glass.drawn, 20);
    EXPECT_LT(glass.drawn, 32 * 32);
    EXPECT_EQ(glass.offWhite, 0);
    // Names the theme lacks still come from our drawings.
    EXPECT_FALSE(Symbols::icon(QStringLiteral("gearshape")).isNull());
}

TEST(Symbols, NamesAndUnknownSymbols) {
    EXPECT_EQ(Symbols::themeName(QStringLiteral("star.fill")), QStringLiteral("starred"));
    EXPECT_EQ(Symbols::themeName(QStringLiteral("doc.on.clipboard.fill")), QStringLiteral("edit-paste"));
    EXPECT_TRUE(Symbols::icon(QStringLiteral("trash")).isNull());
    EXPECT_TRUE(Symbols::icon(QString()).isNull());
}
