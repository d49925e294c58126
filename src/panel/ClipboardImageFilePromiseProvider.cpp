// SPDX-License-Identifier: MIT
#include "panel/ClipboardImageFilePromiseProvider.h"

#include "platform/PrivateFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QMimeData>
#include <QUrl>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString errnoText(const QString& what) {
    return what + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
}

// A directory is trusted only when it is ours and nobody else may write to it.
bool isPrivateDirectory(const struct stat& st) {
    return S_ISDIR(st.st_mode) && st.st_uid == ::getuid() && (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// Opens (creating when absent) a subdirectory without following a link planted in its place.
int openPrivateSubdirectory(int parent, const QByteArray& name, QString* error) {
    if (::mkdirat(parent, name.constData(), 0700) != 0 && errno != EEXIST) {
        *error = errnoText(QStringLiteral("cannot create ") + QString::fromUtf8(name));
        return -1;
    }
    const int fd = ::openat(parent, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || !isPrivateDirectory(st)) {
        *error = fd < 0 ? errnoText(QStringLiteral("cannot open ") + QString::fromUtf8(name))
                        : QStringLiteral("%1 is not a private folder of this user").arg(QString::fromUtf8(name));
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    return fd;
}

// An existing file is reused only when it is a regular file of ours holding exactly these bytes.
bool holdsExactly(int dir, const QByteArray& name, const QByteArray& data) {
    Fd fd(::openat(dir, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_uid != ::getuid() ||
        st.st_nlink != 1 || st.st_size != data.size())
        return false;
    QByteArray content(data.size(), Qt::Uninitialized);
    qsizetype done = 0;
    while (done < content.size()) {
        const ssize_t n = ::read(fd.get(), content.data() + done, size_t(content.size() - done));
        if (n <= 0)
            return false;
        done += n;
    }
    return content == data;
}

// The folder keeps others out; the file itself has the usual mode, so the copy a drop target makes
// of it does too.
bool writeImage(int dir, const QByteArray& name, const QByteArray& data, QString* error) {
    if (PrivateFiles::writeAtomicallyAt(dir, name, data, 0666, /*exactMode=*/false))
        return true;
    *error = errnoText(QStringLiteral("cannot write the image"));
    return false;
}

} // namespace

ClipboardImageFilePromiseProvider::ClipboardImageFilePromiseProvider(QByteArray imageData, QString fileName)
    : m_imageData(std::move(imageData)), m_fileName(std::move(fileName)) {}

std::optional<QString> ClipboardImageFilePromiseProvider::privateBaseDirectory(QString* error) {
    struct stat st {};
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && ::lstat(runtime.constData(), &st) == 0 && isPrivateDirectory(st) &&
        (st.st_mode & 077) == 0)
        return QString::fromLocal8Bit(runtime);
    const QByteArray fallback = QFile::encodeName(QDir::tempPath()) + "/tindralume-" + QByteArray::number(::getuid());
    if (::mkdir(fallback.constData(), 0700) != 0 && errno != EEXIST) {
        *error = errnoText(QStringLiteral("cannot create ") + QString::fromLocal8Bit(fallback));
        return std::nullopt;
    }
    if (::lstat(fallback.constData(), &st) != 0 || !isPrivateDirectory(st) || (st.st_mode & 077) != 0) {
        *error = QStringLiteral("%1 is not a private folder of this user").arg(QString::fromLocal8Bit(fallback));
        return std::nullopt;
    }
    return QString::fromLocal8Bit(fallback);
}

std::optional<QString> ClipboardImageFilePromiseProvider::prepareTemporaryFile(QString* error,
                                                                               const QByteArray& sha256) {
    const std::optional<QString> base = privateBaseDirectory(error);
    if (!base)
        return std::nullopt;
    const QByteArray hex =
        (sha256.size() == 32 ? sha256 : QCryptographicHash::hash(m_imageData, QCryptographicHash::Sha256)).toHex();
    QString safeName = m_fileName;
    safeName.replace(QLatin1Char('/'), QLatin1Char('-'));
    const QByteArray name = QFile::encodeName(safeName);
    Fd root(::open(QFile::encodeName(*base).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (root.get() < 0) {
        *error = errnoText(QStringLiteral("cannot open ") + *base);
        return std::nullopt;
    }
    Fd images(openPrivateSubdirectory(root.get(), QFile::encodeName(folderName), error));
    if (images.get() < 0)
        return std::nullopt;
    Fd content(openPrivateSubdirectory(images.get(), hex, error));
    if (content.get() < 0)
        return std::nullopt;
    if (!holdsExactly(content.get(), name, m_imageData) && !writeImage(content.get(), name, m_imageData, error))
        return std::nullopt;
    return *base + QLatin1Char('/') + folderName + QLatin1Char('/') + QString::fromLatin1(hex) + QLatin1Char('/') +
           safeName;
}

QMimeData* ClipboardImageFilePromiseProvider::makePasteboardWriter() {
    QString error;
    const std::optional<QString> path = prepareTemporaryFile(&error);
    return makePasteboardWriter(m_imageData, path, error);
}

QMimeData* ClipboardImageFilePromiseProvider::makePasteboardWriter(const QByteArray& imageData,
                                                                   const std::optional<QString>& path,
                                                                   const QString& error) {
    auto* data = new QMimeData;
    if (path) {
        data->setUrls({QUrl::fromLocalFile(*path)});
    } else {
        std::fprintf(stderr, "Unable to prepare dragged image file: %s\n", qPrintable(error));
        std::fflush(stderr);
    }
    // Delivered only when a drop target asks for it.
    data->setData(QStringLiteral("image/png"), imageData);
    return data;
}
