// SPDX-License-Identifier: MIT
#include "platform/x11/DesktopEntries.h"

#include "platform/x11/PixbufSvg.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QRegularExpression>
#include <QSet>
#include <QTextStream>

#include <dirent.h>
#include <sys/stat.h>

#include <cstring>

namespace {

QString unescape(const QString& v) {
    QString out;
    out.reserve(v.size());
    for (qsizetype i = 0; i < v.size(); ++i) {
        const QChar c = v.at(i);
        if (c != QLatin1Char('\\') || i + 1 >= v.size()) {
            out.append(c);
            continue;
        }
        const QChar n = v.at(++i);
        switch (n.unicode()) {
        case 's':
            out.append(QLatin1Char(' '));
            break;
        case 'n':
            out.append(QLatin1Char('\n'));
            break;
        case 't':
            out.append(QLatin1Char('\t'));
            break;
        case 'r':
            out.append(QLatin1Char('\r'));
            break;
        default:
            out.append(n);
        }
    }
    return out;
}

// Each directory below an applications dir (the dir too) with its modification time and number of
// entries: a time stamp may not move for a file added within its clock tick, the count does. Read
// with one listing per directory, as this runs at every copy.
void collectStamps(const QString& dir, QHash<QString, QString>& stamps) {
    const QByteArray native = QFile::encodeName(dir);
    struct stat st;
    if (::stat(native.constData(), &st) != 0 || !S_ISDIR(st.st_mode))
        return;
    DIR* listing = ::opendir(native.constData());
    if (!listing)
        return;
    qint64 count = 0;
    QStringList subdirs;
    while (const dirent* e = ::readdir(listing)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0)
            continue;
        ++count;
        bool isDir = e->d_type == DT_DIR;
        if (e->d_type == DT_UNKNOWN) {
            struct stat child;
            isDir = ::lstat((native + '/' + e->d_name).constData(), &child) == 0 && S_ISDIR(child.st_mode);
        }
        if (isDir)
            subdirs.append(dir + QLatin1Char('/') + QFile::decodeName(e->d_name));
    }
    ::closedir(listing);
    stamps.insert(dir, QString::number(qint64(st.st_mtim.tv_sec)) + QLatin1Char('.') +
                           QString::number(qint64(st.st_mtim.tv_nsec)) + QLatin1Char('/') + QString::number(count));
    for (const QString& sub : std::as_const(subdirs))
        collectStamps(sub, stamps);
}

bool sameName(const QString& a, const QString& b) {
    return !a.isEmpty() && !b.isEmpty() && a.compare(b, Qt::CaseInsensitive) == 0;
}

// "48x48", "48x48@2", "48" -> 48 (scaled sizes count as their pixel size); 0 when not a size.
int sizeOfDir(const QString& name) {
    static const QRegularExpression re(QStringLiteral("^(\\d+)(?:x\\d+)?(?:@(\\d+))?$"));
    const auto m = re.match(name);
    if (!m.hasMatch())
        return 0;
    const int scale = m.captured(2).isEmpty() ? 1 : m.captured(2).toInt();
    return m.captured(1).toInt() * std::max(1, scale);
}

QImage readImage(const QString& path, int preferredSize) {
    QImageReader reader(path);
    const QString suffix = QFileInfo(path).suffix().toLower();
    if (suffix == QLatin1String("svg") || suffix == QLatin1String("svgz")) {
        // Drawn as the desktop draws it where the system's renderer is there: Qt's ignores masks.
        QImage drawn = PixbufSvg::render(path, preferredSize);
        if (!drawn.isNull())
            return drawn;
        reader.setScaledSize(QSize(preferredSize, preferredSize));
    }
    QImage image;
    if (!reader.read(&image))
        return {};
    return image;
}

const QStringList kIconSuffixes{QStringLiteral("png"), QStringLiteral("svg"), QStringLiteral("svgz"),
                                QStringLiteral("xpm")};

// Best file for an icon name in one theme directory: the smallest bitmap at least the preferred
// size, else a scalable one, else the largest bitmap.
QString findInTheme(const QString& themeDir, const QString& name, int preferredSize) {
    QString bestAbove, bestBelow, scalable;
    int aboveSize = INT_MAX, belowSize = 0;
    const QDir theme(themeDir);
    for (const QString& sizeDirName : theme.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QDir sizeDir(theme.filePath(sizeDirName));
        const int size = sizeOfDir(sizeDirName);
        const bool isScalable = sizeDirName == QLatin1String("scalable");
        // Both layouts exist: <size>/<context>/name and <context>/<size>/name.
        QStringList candidates;
        for (const QString& sub : sizeDir.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
            candidates.append(sizeDir.filePath(sub));
        for (const QString& dir : candidates) {
            const int s = size ? size : sizeOfDir(QFileInfo(dir).fileName());
            const bool scal = isScalable || QFileInfo(dir).fileName() == QLatin1String("scalable");
            for (const QString& suffix : kIconSuffixes) {
                const QString file = dir + QLatin1Char('/') + name + QLatin1Char('.') + suffix;
                if (!QFileInfo::exists(file))
                    continue;
                if (scal || suffix.startsWith(QLatin1String("svg"))) {
                    if (scalable.isEmpty())
                        scalable = file;
                } else if (s >= preferredSize && s < aboveSize) {
                    aboveSize = s;
                    bestAbove = file;
                } else if (s < preferredSize && s > belowSize) {
                    belowSize = s;
                    bestBelow = file;
                } else if (s == 0 && bestBelow.isEmpty()) {
                    bestBelow = file;
                }
            }
        }
    }
    if (!bestAbove.isEmpty())
        return bestAbove;
    if (!scalable.isEmpty())
        return scalable;
    return bestBelow;
}

} // namespace

DesktopEntries::DesktopEntries() = default;

QStringList DesktopEntries::dataDirs() {
    QStringList out;
    QString home = qEnvironmentVariable("XDG_DATA_HOME");
    if (home.isEmpty())
        home = QDir::homePath() + QStringLiteral("/.local/share");
    out.append(home);
    QString dirs = qEnvironmentVariable("XDG_DATA_DIRS");
    if (dirs.isEmpty())
        dirs = QStringLiteral("/usr/local/share:/usr/share");
    for (const QString& d : dirs.split(QLatin1Char(':'), Qt::SkipEmptyParts)) {
        const QString clean = QDir::cleanPath(d);
        if (!out.contains(clean))
            out.append(clean);
    }
    return out;
}

std::optional<DesktopEntry> DesktopEntries::parse(const QString& path, const QString& id) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // Desktop files are small; a huge one is not a desktop file.
    if (file.size() > 1024 * 1024)
        return std::nullopt;
    DesktopEntry entry;
    entry.id = id;
    entry.path = path;
    QString type;
    bool inMain = false;
    bool hidden = false;
    QTextStream in(&file);
    in.setEncoding(QStringConverter::Utf8);
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            inMain = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inMain)
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        const QString key = line.left(eq).trimmed();
        const QString value = unescape(line.mid(eq + 1).trimmed());
        if (key == QLatin1String("Name"))
            entry.name = value;
        else if (key == QLatin1String("Icon"))
            entry.icon = value;
        else if (key == QLatin1String("Exec"))
            entry.exec = value;
        else if (key == QLatin1String("StartupWMClass"))
            entry.startupWMClass = value;
        else if (key == QLatin1String("Type"))
            type = value;
        else if (key == QLatin1String("Hidden"))
            hidden = value == QLatin1String("true");
    }
    if (type != QLatin1String("Application") || hidden)
        return std::nullopt;
    return entry;
}

QString DesktopEntries::execProgram(const QString& exec) {
    // Split on white space, keeping double-quoted arguments together.
    QStringList args;
    QString cur;
    bool quoted = false, any = false;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        const QChar c = exec.at(i);
        if (quoted) {
            if (c == QLatin1Char('\\') && i + 1 < exec.size()) {
                cur.append(exec.at(++i));
            } else if (c == QLatin1Char('"')) {
                quoted = false;
            } else {
                cur.append(c);
            }
        } else if (c == QLatin1Char('"')) {
            quoted = true;
            any = true;
        } else if (c.isSpace()) {
            if (any || !cur.isEmpty())
                args.append(cur);
            cur.clear();
            any = false;
        } else {
            cur.append(c);
        }
    }
    if (any || !cur.isEmpty())
        args.append(cur);
    qsizetype i = 0;
    if (i < args.size() && QFileInfo(args.at(i)).fileName() == QLatin1String("env")) {
        ++i;
        while (i < args.size() && (args.at(i).contains(QLatin1Char('=')) || args.at(i).startsWith(QLatin1Char('-')))) {
            // These options take the next argument as their value.
            const QString& opt = args.at(i);
            const bool takesValue = opt == QLatin1String("-u") || opt == QLatin1String("--unset") ||
                                    opt == QLatin1String("-C") || opt == QLatin1String("--chdir") ||
                                    opt == QLatin1String("-S") || opt == QLatin1String("--split-string");
            i += takesValue ? 2 : 1;
        }
    }
    return i < args.size() ? args.at(i) : QString();
}

void DesktopEntries::refreshIfChanged() {
    QHash<QString, QString> stamps;
    for (const QString& base : dataDirs())
        collectStamps(base + QStringLiteral("/applications"), stamps);
    if (m_loaded && stamps == m_dirStamps)
        return;
    m_dirStamps = stamps;
    m_loaded = true;
    m_entries.clear();
    QSet<QString> seen;
    for (const QString& base : dataDirs()) {
        const QString apps = base + QStringLiteral("/applications");
        QDirIterator it(apps, {QStringLiteral("*.desktop")}, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            QString rel = QDir(apps).relativeFilePath(path);
            rel.chop(int(sizeof(".desktop") - 1));
            const QString id = rel.replace(QLatin1Char('/'), QLatin1Char('-'));
            // The first data dir that has an id wins, also when its entry is hidden.
            if (seen.contains(id))
                continue;
            seen.insert(id);
            if (auto entry = parse(path, id))
                m_entries.push_back(*entry);
        }
    }
    m_programs.clear();
    for (const DesktopEntry& e : m_entries) {
        const QString program = execProgram(e.exec);
        m_programs.emplace_back(program, QFileInfo(program).fileName());
    }
}

std::optional<DesktopEntry> DesktopEntries::match(const QString& wmInstance, const QString& wmClass,
                                                  const QString& exePath) {
    QMutexLocker lock(&m_mutex);
    refreshIfChanged();
    for (const DesktopEntry& e : m_entries) {
        if (!e.startupWMClass.isEmpty() && e.startupWMClass == wmClass)
            return e;
    }
    for (const DesktopEntry& e : m_entries) {
        if (sameName(e.startupWMClass, wmClass) || sameName(e.startupWMClass, wmInstance))
            return e;
    }
    for (const DesktopEntry& e : m_entries) {
        // Reverse-DNS ids ("org.gnome.TextEditor") name the application in their last part.
        const QString lastPart = e.id.section(QLatin1Char('.'), -1);
        if (sameName(e.id, wmClass) || sameName(e.id, wmInstance) ||
            (lastPart != e.id && (sameName(lastPart, wmClass) || sameName(lastPart, wmInstance))))
            return e;
    }
    const QString exeName = QFileInfo(exePath).fileName();
    for (size_t i = 0; i < m_entries.size(); ++i) {
        const auto& [program, programName] = m_programs[i];
        if (program.isEmpty())
            continue;
        if ((!exePath.isEmpty() && program == exePath) || sameName(programName, exeName) ||
            sameName(programName, wmInstance))
            return m_entries[i];
    }
    return std::nullopt;
}

std::optional<DesktopEntry> DesktopEntries::byId(const QString& id) {
    QMutexLocker lock(&m_mutex);
    refreshIfChanged();
    for (const DesktopEntry& e : m_entries) {
        if (e.id == id)
            return e;
    }
    return std::nullopt;
}

QImage DesktopEntries::loadIcon(const QString& icon, int preferredSize) {
    if (icon.isEmpty())
        return {};
    if (QFileInfo(icon).isAbsolute())
        return readImage(icon, preferredSize);
    // "Icon=foo.png" names a file in the pixmaps directory by its full name.
    QString name = icon;
    if (kIconSuffixes.contains(QFileInfo(icon).suffix().toLower()))
        name = QFileInfo(icon).completeBaseName();

    QStringList bases{QDir::homePath() + QStringLiteral("/.icons")};
    for (const QString& d : dataDirs())
        bases.append(d + QStringLiteral("/icons"));
    // hicolor is where applications install their icons; the two common desktop themes follow.
    const QStringList themes{QStringLiteral("hicolor"), QStringLiteral("Adwaita"), QStringLiteral("breeze")};
    for (const QString& theme : themes) {
        for (const QString& base : bases) {
            const QString dir = base + QLatin1Char('/') + theme;
            if (!QFileInfo(dir).isDir())
                continue;
            const QString file = findInTheme(dir, name, preferredSize);
            if (!file.isEmpty()) {
                QImage image = readImage(file, preferredSize);
                if (!image.isNull())
                    return image;
            }
        }
    }
    QStringList flat = bases;
    for (const QString& d : dataDirs())
        flat.append(d + QStringLiteral("/pixmaps"));
    flat.append(QStringLiteral("/usr/share/pixmaps"));
    for (const QString& dir : flat) {
        for (const QString& suffix : kIconSuffixes) {
            const QString file = dir + QLatin1Char('/') + name + QLatin1Char('.') + suffix;
            if (QFileInfo::exists(file)) {
                QImage image = readImage(file, preferredSize);
                if (!image.isNull())
                    return image;
            }
        }
    }
    return {};
}
