// SPDX-License-Identifier: MIT
#include "platform/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString failure(const QString& what, const QString& path) {
    return QStringLiteral("%1 %2: %3").arg(what, path, QString::fromLocal8Bit(std::strerror(errno)));
}

} // namespace

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

bool writeAtomicallyAt(int dir, const QByteArray& name, const QByteArray& data, mode_t mode, bool exactMode) {
    const QByteArray temp = "." + name + "." + QByteArray::number(QRandomGenerator::global()->generate64(), 16);
    const int fd = ::openat(dir, temp.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0)
        return false;
    bool ok = !exactMode || ::fchmod(fd, mode) == 0;
    for (qsizetype done = 0; ok && done < data.size();) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        ok = n > 0;
        done += ok ? n : 0;
    }
    ok = ok && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    ok = ok && ::renameat(dir, temp.constData(), dir, name.constData()) == 0;
    if (!ok) {
        const int reason = errno;
        ::unlinkat(dir, temp.constData(), 0);
        errno = reason;
    }
    return ok;
}

bool replaceFile(const QString& path, const QByteArray& contents, QString* error) {
    const QFileInfo info(path);
    const int dir = ::open(QFile::encodeName(info.absolutePath()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    // The umask may have taken the owner's own bits.
    const bool ok =
        dir >= 0 && writeAtomicallyAt(dir, QFile::encodeName(info.fileName()), contents, 0600, /*exactMode=*/true);
    if (!ok)
        *error = failure(QStringLiteral("Cannot write"), path);
    if (dir >= 0) {
        const int reason = errno;
        ::close(dir);
        errno = reason;
    }
    return ok;
}

bool replaceLinkWithCopy(const QString& path, QString* error) {
    struct stat st {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0 || !S_ISLNK(st.st_mode))
        return true;
    QFile target(path);
    QByteArray contents;
    if (target.open(QIODevice::ReadOnly)) {
        contents = target.readAll();
    } else if (QFileInfo(path).exists()) {
        *error = QStringLiteral("Cannot read %1: %2").arg(path, target.errorString());
        return false;
    }
    return replaceFile(path, contents, error);
}

bool removeFile(const QString& path, QString* error) {
    if (::unlink(QFile::encodeName(path).constData()) == 0 || errno == ENOENT)
        return true;
    *error = failure(QStringLiteral("Cannot remove"), path);
    return false;
}

} // namespace PrivateFiles
