// SPDX-License-Identifier: MIT
#include "platform/LoginItem.h"

#include "platform/PrivateFiles.h"
#include "platform/x11/DesktopEntries.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
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

} // namespace

namespace LoginItem {

QString entryPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/tindralume.desktop");
}

bool isEnabled() {
    // A hidden entry, or one that is no application, is not started by the session.
    return DesktopEntries::parse(entryPath(), QStringLiteral("tindralume")).has_value();
}

QString programForLogin(const QString& running) {
    const QString runningFile = QFileInfo(running).canonicalFilePath();
    for (const QString& dir : QStandardPaths::standardLocations(QStandardPaths::ApplicationsLocation)) {
        const QStringList exec = execArguments(dir + QStringLiteral("/tindralume.desktop"));
        if (exec.isEmpty())
            continue;
        // A bare name is looked for on the PATH, as the session does.
        const QString installed =
            exec.first().contains(QLatin1Char('/')) ? exec.first() : QStandardPaths::findExecutable(exec.first());
        if (!installed.isEmpty() && !runningFile.isEmpty() && QFileInfo(installed).canonicalFilePath() == runningFile)
            return installed;
    }
    return running;
}

bool registerItem(QString* error, const QString& executable) {
    const QString program =
        executable.isEmpty() ? programForLogin(QCoreApplication::applicationFilePath()) : executable;
    if (program.isEmpty() || !QFileInfo(program).isExecutable()) {
        if (error)
            *error = QStringLiteral("the program file is not executable: ") + program;
        return false;
    }
    const QString path = entryPath();
    // Whoever can change this entry chooses what runs at the next login: the folders we make and
    // the entry are the user's alone.
    if (!PrivateFiles::makeFolders(QFileInfo(path).absolutePath())) {
        if (error)
            *error = QStringLiteral("cannot create ") + QFileInfo(path).absolutePath();
        return false;
    }
    const QString entry = QStringLiteral("[Desktop Entry]\nType=Application\nName=Tindralume\nExec=") +
                          quoted(QFileInfo(program).absoluteFilePath()) + QLatin1Char(' ') + atLoginArgument +
                          QStringLiteral("\nIcon=tindralume\nTerminal=false\n");
    QString reason;
    if (!PrivateFiles::replaceFile(path, entry.toUtf8(), &reason)) {
        if (error)
            *error = reason;
        return false;
    }
    return true;
}

bool unregisterItem(QString* error) {
    // A link there goes, never the file it points to.
    QString reason;
    if (PrivateFiles::removeFile(entryPath(), &reason))
        return true;
    if (error)
        *error = reason;
    return false;
}

QStringList execArguments(const QString& desktopFile) {
    const std::optional<DesktopEntry> entry = DesktopEntries::parse(desktopFile, QString());
    if (!entry)
        return {};
    // The string escapes are undone by the parser; split on unquoted blanks and undo the quoting.
    const QString text = entry->exec;
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
