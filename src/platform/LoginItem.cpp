// SPDX-License-Identifier: MIT
#include "platform/LoginItem.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringList>

namespace {

// Desktop entry quoting: the argument in double quotes, with ", `, $ and \ escaped.
QString quoted(const QString& argument) {
    QString out = QStringLiteral("\"");
    for (const QChar c : argument) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            out += QLatin1Char('\\');
        out += c;
    }
    out += QLatin1Char('"');
    // The string escape level of the file comes on top of the quoting.
    out.replace(QLatin1String("\\"), QLatin1String("\\\\"));
    // A field code character must be doubled.
    out.replace(QLatin1String("%"), QLatin1String("%%"));
    return out;
}

QString rawValue(const QString& desktopFile, const QString& key) {
    QFile file(desktopFile);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    bool inMainGroup = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inMainGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inMainGroup)
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq > 0 && line.left(eq).trimmed() == key)
            return line.mid(eq + 1).trimmed();
    }
    return {};
}

} // namespace

namespace LoginItem {

QString entryPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/tindralume.desktop");
}

bool isEnabled() {
    const QString path = entryPath();
    if (!QFileInfo::exists(path))
        return false;
    const auto isTrue = [](const QString& v) { return v.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0; };
    return !isTrue(rawValue(path, QStringLiteral("Hidden"))) &&
           rawValue(path, QStringLiteral("X-GNOME-Autostart-enabled"))
                   .compare(QLatin1String("false"), Qt::CaseInsensitive) != 0;
}

bool registerItem(QString* error, const QString& executable) {
    const QString program = executable.isEmpty() ? QCoreApplication::applicationFilePath() : executable;
    if (program.isEmpty() || !QFileInfo(program).isExecutable()) {
        if (error)
            *error = QStringLiteral("the program file is not executable: ") + program;
        return false;
    }
    const QString path = entryPath();
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) {
        if (error)
            *error = QStringLiteral("cannot create ") + QFileInfo(path).absolutePath();
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    const QString entry = QStringLiteral("[Desktop Entry]\nType=Application\nName=Tindralume\nExec=") +
                          quoted(QFileInfo(program).absoluteFilePath()) +
                          QStringLiteral("\nIcon=edit-paste\nTerminal=false\nX-GNOME-Autostart-enabled=true\n");
    file.write(entry.toUtf8());
    if (!file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    return true;
}

bool unregisterItem(QString* error) {
    QFile file(entryPath());
    if (!file.exists() || file.remove())
        return true;
    if (error)
        *error = file.errorString();
    return false;
}

QStringList execArguments(const QString& desktopFile) {
    const QString exec = rawValue(desktopFile, QStringLiteral("Exec"));
    // Undo the string escapes first, then split on unquoted blanks and undo the quoting.
    QString text;
    for (qsizetype i = 0; i < exec.size(); ++i) {
        if (exec[i] == QLatin1Char('\\') && i + 1 < exec.size()) {
            const QChar next = exec[++i];
            text += next == QLatin1Char('s')   ? QLatin1Char(' ')
                    : next == QLatin1Char('n') ? QLatin1Char('\n')
                    : next == QLatin1Char('t') ? QLatin1Char('\t')
                                               : next;
        } else {
            text += exec[i];
        }
    }
    QStringList args;
    QString current;
    bool inQuotes = false;
    bool any = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (inQuotes) {
            if (c == QLatin1Char('\\') && i + 1 < text.size()) {
                current += text[++i];
            } else if (c == QLatin1Char('"')) {
                inQuotes = false;
            } else {
                current += c;
            }
        } else if (c == QLatin1Char('"')) {
            inQuotes = any = true;
        } else if (c == QLatin1Char(' ')) {
            if (any)
                args << current;
            current.clear();
            any = false;
        } else {
            current += c;
            any = true;
        }
    }
    if (inQuotes)
        return {};
    if (any)
        args << current;
    for (QString& arg : args)
        arg.replace(QLatin1String("%%"), QLatin1String("%"));
    return args;
}

} // namespace LoginItem
