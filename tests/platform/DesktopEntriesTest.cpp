// SPDX-License-Identifier: MIT
#include "platform/x11/DesktopEntries.h"
#include "support/TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QtConcurrent>

#include <gtest/gtest.h>

namespace {

void writeFile(const QString& path, const QByteArray& contents) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << qPrintable(path);
    f.write(contents);
}

void writePng(const QString& path, int size, QColor color) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(color);
    ASSERT_TRUE(image.save(path, "PNG"));
}

// Each test gets its own XDG data dirs, so entries of one test never leak into another.
class DesktopEntriesTest : public ::testing::Test {
protected:
    void SetUp() override {
        home = TestEnvironment::instance().freshDir(QStringLiteral("data-home"));
        system = TestEnvironment::instance().freshDir(QStringLiteral("data-system"));
        oldHome = qgetenv("XDG_DATA_HOME");
        oldDirs = qgetenv("XDG_DATA_DIRS");
        qputenv("XDG_DATA_HOME", home.toUtf8());
        qputenv("XDG_DATA_DIRS", system.toUtf8());
    }
    void TearDown() override {
        qputenv("XDG_DATA_HOME", oldHome);
        qputenv("XDG_DATA_DIRS", oldDirs);
    }
    void entry(const QString& base, const QString& relPath, const QByteArray& body) {
        writeFile(base + QStringLiteral("/applications/") + relPath, "[Desktop Entry]\nType=Application\n" + body);
    }

    QString home, system;
    QByteArray oldHome, oldDirs;
};

TEST_F(DesktopEntriesTest, ParseReadsTheMainGroupOnlyAndUnescapes) {
    const QString path = home + QStringLiteral("/x.desktop");
    writeFile(path, "# comment\n[Desktop Entry]\nType=Application\nName=Text\\sEditor\nName[de]=Texteditor\n"
                    "Icon=accessories-text-editor\nExec=gedit %U\nStartupWMClass=Gedit\n"
                    "[Desktop Action new]\nName=New Window\nExec=other\n");
    const auto e = DesktopEntries::parse(path, QStringLiteral("x"));
    ASSERT_TRUE(e);
    EXPECT_EQ(e->name, QStringLiteral("Text Editor"));
    EXPECT_EQ(e->icon, QStringLiteral("accessories-text-editor"));
    EXPECT_EQ(e->exec, QStringLiteral("gedit %U"));
    EXPECT_EQ(e->startupWMClass, QStringLiteral("Gedit"));

    struct Case {
        const char* body;
        bool accepted;
    } cases[] = {
        {"[Desktop Entry]\nType=Link\nName=L\n", false},
        {"[Desktop Entry]\nType=Application\nHidden=true\nName=H\n", false},
        {"[Other]\nType=Application\nName=O\n", false},
        {"", false},
        {"\x00\xff\xfe garbage without groups", false},
        {"[Desktop Entry]\nType=Application\n=novalue\nName\nName=Ok\n", true},
    };
    for (const Case& c : cases) {
        writeFile(path, QByteArray(c.body));
        EXPECT_EQ(DesktopEntries::parse(path, QStringLiteral("x")).has_value(), c.accepted) << c.body;
    }
    EXPECT_FALSE(DesktopEntries::parse(home + QStringLiteral("/missing.desktop"), QStringLiteral("m")));
}

TEST_F(DesktopEntriesTest, ExecProgram) {
    const struct {
        const char* exec;
        const char* program;
    } cases[] = {
        {"gedit %U", "gedit"},
        {"/usr/bin/firefox-esr %u", "/usr/bin/firefox-esr"},
        {"\"/opt/My App/app\" --flag", "/opt/My App/app"},
        {"env GDK_BACKEND=x11 LANG=C /usr/bin/tool -x", "/usr/bin/tool"},
        {"env -u FOO tool", "tool"},
        {"   ", ""},
        {"", ""},
        {"env", ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DesktopEntries::execProgram(QString::fromUtf8(c.exec)), QString::fromUtf8(c.program)) << c.exec;
}

TEST_F(DesktopEntriesTest, MatchOrderAndIds) {
    entry(home, QStringLiteral("org.example.Editor.desktop"), "Name=Editor\nExec=editor-bin %F\n");
    entry(home, QStringLiteral("by-class.desktop"), "Name=By Class\nStartupWMClass=Editor-bin\nExec=other\n");
    entry(system, QStringLiteral("kde/viewer.desktop"), "Name=Viewer\nExec=/usr/lib/viewer/viewer-real\n");
    entry(system, QStringLiteral("org.example.Editor.desktop"), "Name=Shadowed System Editor\n");
    entry(system, QStringLiteral("terminal.desktop"), "Name=Terminal\nExec=xterm\n");
    DesktopEntries entries;

    const struct {
        const char* instance;
        const char* wmClass;
        const char* exe;
        const char* id; // "" = no match
    } cases[] = {
        {"editor-bin", "Editor-bin", "", "by-class"},                // StartupWMClass beats the Exec match
        {"x", "EDITOR-BIN", "", "by-class"},                         // StartupWMClass, case-insensitive
        {"editor", "SomethingElse", "", "org.example.Editor"},       // last part of a reverse-DNS id
        {"foo", "Foo", "/usr/lib/viewer/viewer-real", "kde-viewer"}, // Exec by path, subdir id
        {"xterm", "XTerm", "/usr/bin/xterm", "terminal"},            // Exec by program name
        {"unknown", "Unknown", "/usr/bin/unknown", ""},
        {"", "", "", ""},
    };
    for (const auto& c : cases) {
        const auto m =
            entries.match(QString::fromUtf8(c.instance), QString::fromUtf8(c.wmClass), QString::fromUtf8(c.exe));
        if (*c.id == '\0') {
            EXPECT_FALSE(m) << c.wmClass;
        } else {
            ASSERT_TRUE(m) << c.wmClass;
            EXPECT_EQ(m->id, QString::fromUtf8(c.id)) << c.wmClass;
        }
    }
    // The user's data dir shadows the system's entry of the same id.
    ASSERT_TRUE(entries.byId(QStringLiteral("org.example.Editor")));
    EXPECT_EQ(entries.byId(QStringLiteral("org.example.Editor"))->name, QStringLiteral("Editor"));
    EXPECT_FALSE(entries.byId(QStringLiteral("missing")));

    // An entry installed while running is found on the next lookup.
    entry(home, QStringLiteral("late.desktop"), "Name=Late\nStartupWMClass=LateApp\n");
    const auto late = entries.match(QStringLiteral("late"), QStringLiteral("LateApp"), QString());
    ASSERT_TRUE(late);
    EXPECT_EQ(late->name, QStringLiteral("Late"));
    // Also in a directory that did not exist, below a subdirectory.
    entry(system, QStringLiteral("kde/extra/deep.desktop"), "Name=Deep\nStartupWMClass=DeepApp\n");
    const auto deep = entries.match(QStringLiteral("deep"), QStringLiteral("DeepApp"), QString());
    ASSERT_TRUE(deep);
    EXPECT_EQ(deep->id, QStringLiteral("kde-extra-deep"));
}

TEST_F(DesktopEntriesTest, IconLookup) {
    const QString hicolor = home + QStringLiteral("/icons/hicolor");
    writePng(hicolor + QStringLiteral("/48x48/apps/sized.png"), 48, Qt::red);
    writePng(hicolor + QStringLiteral("/256x256/apps/sized.png"), 256, Qt::green);
    writePng(hicolor + QStringLiteral("/512x512/apps/sized.png"), 512, Qt::blue);
    writePng(hicolor + QStringLiteral("/32x32/apps/small-only.png"), 32, Qt::red);
    writeFile(hicolor + QStringLiteral("/scalable/apps/vector.svg"),
              "<svg xmlns='http://www.w3.org/2000/svg' width='16' height='16'><rect width='16' height='16' "
              "fill='#00f'/></svg>");
    // Built like some desktops' application icons: a square seen through a round mask.
    writeFile(hicolor + QStringLiteral("/scalable/apps/masked.svg"),
              "<svg xmlns='http://www.w3.org/2000/svg' width='16' height='16'><defs><mask id='m'>"
              "<circle cx='8' cy='8' r='6' fill='#fff'/></mask></defs>"
              "<rect width='16' height='16' fill='#f0f' mask='url(#m)'/></svg>");
    writeFile(system + QStringLiteral("/pixmaps/legacy.xpm"),
              "/* XPM */\nstatic char *x[] = {\"2 2 1 1\", \"a c #FF0000\", \"aa\", \"aa\"};\n");
    const QString absolute = home + QStringLiteral("/abs/icon.png");
    writePng(absolute, 64, Qt::yellow);
    writeFile(hicolor + QStringLiteral("/48x48/apps/broken.png"), "not a png");

    const struct {
        QString icon;
        int size; // 0 = none
        QRgb color;
    } cases[] = {
        {QStringLiteral("sized"), 256, qRgb(0, 255, 0)}, // smallest at least the preferred 128
        {QStringLiteral("small-only"), 32, qRgb(255, 0, 0)},
        {QStringLiteral("vector"), 128, qRgb(0, 0, 255)}, // rendered at the preferred size
        {QStringLiteral("legacy"), 2, qRgb(255, 0, 0)},
        {QStringLiteral("legacy.xpm"), 2, qRgb(255, 0, 0)},
        {absolute, 64, qRgb(255, 255, 0)},
        {QStringLiteral("broken"), 0, 0},
        {QStringLiteral("nothing-by-this-name"), 0, 0},
        {QString(), 0, 0},
    };
    for (const auto& c : cases) {
        // Icons are loaded on worker threads in the application; do the same here.
        const QImage image = QtConcurrent::run([&] { return DesktopEntries::loadIcon(c.icon); }).result();
        if (c.size == 0) {
            EXPECT_TRUE(image.isNull()) << qPrintable(c.icon);
            continue;
        }
        ASSERT_FALSE(image.isNull()) << qPrintable(c.icon);
        EXPECT_EQ(image.width(), c.size) << qPrintable(c.icon);
        EXPECT_EQ(image.pixel(image.width() / 2, image.height() / 2) & 0xffffff, c.color & 0xffffff)
            << qPrintable(c.icon);
    }
    const QImage masked = DesktopEntries::loadIcon(QStringLiteral("masked"));
    ASSERT_EQ(masked.size(), QSize(128, 128));
    EXPECT_EQ(qAlpha(masked.pixel(2, 2)), 0);
    EXPECT_EQ(masked.pixel(64, 64), qRgb(255, 0, 255));
}

} // namespace
