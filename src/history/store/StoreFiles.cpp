// SPDX-License-Identifier: MIT
#include "history/store/StoreFiles.h"

#include "platform/PrivateFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr mode_t kFileMode = 0600;
constexpr mode_t kFolderMode = 0700;

// `text` names the path as %1 and the system's reason as %2. The reason is read before the text
// is looked up, which could change errno.
QString systemError(const char* text, const QString& path) {
    const QString reason = QString::fromLocal8Bit(std::strerror(errno));
    return QCoreApplication::translate("StoreFiles", text).arg(path, reason);
}

// A symbolic link is left alone: the file or folder it points to is not ours to change.
void chmodIfLoose(const QByteArray& path, mode_t wanted) {
    struct stat st {};
    if (::lstat(path.constData(), &st) == 0 && !S_ISLNK(st.st_mode) && (st.st_mode & 07777) != wanted)
        ::chmod(path.constData(), wanted);
}

} // namespace

bool StoreFiles::makeFolder(const QString& dir, QString* error) {
    if (QFileInfo(dir).isDir())
        return true;
    const QString parent = QFileInfo(dir).absolutePath();
    const QByteArray native = QFile::encodeName(QDir::cleanPath(dir));
    if (!PrivateFiles::makeFolders(parent) || (::mkdir(native.constData(), kFolderMode) != 0 && errno != EEXIST)) {
        if (error)
            *error = systemError(QT_TRANSLATE_NOOP("StoreFiles", "Cannot create the directory %1: %2"), dir);
        return false;
    }
    // The umask may have taken bits from the mode asked for, the owner's included.
    ::chmod(native.constData(), kFolderMode);
    return true;
}

bool StoreFiles::createFile(const QString& path, QString* error) {
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, kFileMode);
    if (fd < 0) {
        if (errno == EEXIST)
            return true;
        if (error)
            *error = systemError(QT_TRANSLATE_NOOP("StoreFiles", "Cannot create the store file %1: %2"), path);
        return false;
    }
    ::fchmod(fd, kFileMode);
    ::close(fd);
    return true;
}

void StoreFiles::restrictToOwner(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    for (const char* suffix : {"", "-wal", "-shm"})
        chmodIfLoose(native + suffix, kFileMode);
}

void StoreFiles::restrictFolderToOwner(const QString& dir) {
    chmodIfLoose(QFile::encodeName(dir), kFolderMode);
}

QString StoreFiles::linkAmong(const QString& path) {
    for (const char* suffix : {"", "-wal", "-shm"}) {
        struct stat st {};
        const QString file = path + QLatin1String(suffix);
        if (::lstat(QFile::encodeName(file).constData(), &st) == 0 && S_ISLNK(st.st_mode))
            return file;
    }
    return {};
}

bool StoreFiles::isWriteProtected(const QString& path) {
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::stat(native.constData(), &st) != 0)
        return false;
    return (st.st_mode & S_IWUSR) == 0 || ::access(native.constData(), W_OK) != 0;
}
