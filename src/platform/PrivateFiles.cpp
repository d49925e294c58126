// SPDX-License-Identifier: MIT
#include "platform/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace PrivateFiles {

bool makeFolders(const QString& dir) {
    const QString clean = QDir::cleanPath(QFileInfo(dir).absoluteFilePath());
    if (QFileInfo(clean).isDir())
        return true;
    const QString parent = QFileInfo(clean).absolutePath();
    if (parent != clean && !makeFolders(parent))
        return false;
    const QByteArray native = QFile::encodeName(clean);
    if (::mkdir(native.constData(), 0700) != 0)
        return errno == EEXIST && QFileInfo(clean).isDir();
    // The umask may have taken the owner's own bits.
    ::chmod(native.constData(), 0700);
    return true;
}

void restrictToOwner(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(native.constData(), &st) != 0 || S_ISLNK(st.st_mode))
        return;
    if ((st.st_mode & 077) != 0)
        ::chmod(native.constData(), st.st_mode & 0700);
}

bool isOwnPrivateFolder(const QString& dir) {
    struct stat st {};
    return ::lstat(QFile::encodeName(dir).constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
           (st.st_mode & 022) == 0;
}

bool isAbsentOrOwn(const QString& path) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return errno == ENOENT;
    return st.st_uid == ::geteuid();
}

} // namespace PrivateFiles
