// SPDX-License-Identifier: MIT
#include "history/ClipboardCapture.h"

#include "common/AppNames.h"
#include "history/ClipboardDataManager.h"
#include "history/DocumentFormats.h"
#include "history/store/PrecomputedContent.h"

#include "platform/ImageUtils.h"
#include "platform/PasteboardContents.h"
#include "richtext/RtfReader.h"

#include <QBuffer>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSysInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

Q_LOGGING_CATEGORY(lcCapture, "tindralume.monitor.capture", QtWarningMsg)

namespace {

constexpr double kEntryImageFit = 400.0;
const QByteArray kPngSignature = QByteArray::fromHex("89504e470d0a1a0a");

const QStringList kImageExtensions{QStringLiteral("png"), QStringLiteral("jpg"),  QStringLiteral("jpeg"),
                                   QStringLiteral("gif"), QStringLiteral("bmp"),  QStringLiteral("tiff"),
                                   QStringLiteral("tif"), QStringLiteral("webp"), QStringLiteral("heic"),
                                   QStringLiteral("heif")};

const QStringList kLinkSchemes{QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("ftp"),
                               QStringLiteral("ftps")};

bool hasImageExtension(const QString& path) {
    return kImageExtensions.contains(QFileInfo(path).suffix().toLower());
}

// A path the system refuses with ENAMETOOLONG names no file: PATH_MAX bytes or more (the limit
// counts the terminating NUL), or a name of more than NAME_MAX bytes.
bool fitsPathLimits(const QString& path) {
    // A UTF-16 unit is at least one byte of the path: a long text is refused before any encoding.
    if (path.size() >= PATH_MAX)
        return false;
    const QByteArray bytes = QFile::encodeName(path);
    if (bytes.size() >= PATH_MAX)
        return false;
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = bytes.indexOf('/', start);
        if (end < 0)
            end = bytes.size();
        if (end - start > NAME_MAX)
            return false;
        start = end + 1;
    }
    return true;
}

// A file URL names a file of this machine only without a host, with "localhost" or with our own
// host name; anything else would be stored as a local path that means something else here.
bool isLocalFileURL(const QUrl& url) {
    if (url.scheme() != QLatin1String("file"))
        return false;
    const QString host = url.host();
    if (!host.isEmpty() && host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) != 0 &&
        host.compare(QSysInfo::machineHostName(), Qt::CaseInsensitive) != 0)
        return false;
    // A path with a NUL in it (from "%00") names no file: the system would read it cut short.
    const QString path = url.path();
    return path.startsWith(QLatin1Char('/')) && !path.contains(QChar(u'\0')) && fitsPathLimits(path);
}

// The file's path with any host part dropped (file://localhost/x is /x).
QString localPath(const QUrl& url) {
    QUrl copy(url);
    copy.setHost(QString());
    return copy.toLocalFile();
}

// The whole of a regular file, or none. Opened without blocking, then checked on the open file
// itself, so a FIFO swapped in after a check by name cannot block the read.
std::optional<QByteArray> readRegularFile(const QString& path, qint64 maxBytes) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return std::nullopt;
    std::optional<QByteArray> out;
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size <= maxBytes) {
        QByteArray bytes;
        bytes.resize(qsizetype(st.st_size));
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + done, size_t(bytes.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            done += n;
        }
        // A file that shrank while read is taken as far as it went.
        bytes.truncate(done);
        out = std::move(bytes);
    }
    ::close(fd);
    return out;
}

bool isRichHtml(const std::optional<QByteArray>& html) {
    return html && !html->trimmed().isEmpty();
}

} // namespace

CapturedEntry ClipboardCapture::capture(PasteboardContents& contents) {
    CapturedEntry entry;
    // A password manager's secret is never written anywhere.
    if (contents.isConcealed())
        return entry;
    // Several files stay one entry of all of them, whatever kind the first one is.
    if (QStringList paths = readFilePaths(contents); !paths.isEmpty()) {
        entry.kind = CapturedEntry::Kind::File;
        entry.type = EntryType::file;
        entry.filePath = paths.takeFirst();
        entry.additionalFilePaths = std::move(paths);
    } else if (auto image = readImage(contents)) {
        entry.kind = CapturedEntry::Kind::Image;
        entry.type = EntryType::image;
        entry.scaledImage = std::move(image->first);
        entry.fullImage = std::move(image->second);
        // The text a picture came with (a spreadsheet range, a web fragment) is kept beside it; an
        // image file's text is only its name.
        if (!contents.types().contains(Pasteboard::Type::FileURL)) {
            readText(contents, entry);
            entry.documentFormats = readDocumentFormats(contents);
        }
    } else if (auto path = readFilePath(contents)) {
        entry.kind = CapturedEntry::Kind::File;
        entry.type = EntryType::file;
        entry.filePath = *path;
    } else {
        readText(contents, entry);
        if (entry.richTextData || entry.text || entry.largeText) {
            entry.kind = CapturedEntry::Kind::Text;
            const bool link = isValidURL(entry.text.value_or(QString()));
            entry.type = link ? EntryType::url : (entry.richTextData ? EntryType::richText : EntryType::text);
            if (entry.type == EntryType::richText)
                entry.documentFormats = readHtmlBesideRtf(contents, entry.richTextData);
        }
    }
    // Read partly from a newer owner: that copy is a change of its own and is read for itself.
    if (contents.isStale())
        return {};
    if (entry.kind == CapturedEntry::Kind::Image)
        entry.precomputed =
            std::make_shared<PrecomputedContent>(entry.type, entry.text, entry.scaledImage, entry.fullImage);
    else if (entry.kind == CapturedEntry::Kind::Text && entry.text)
        entry.precomputed = std::make_shared<PrecomputedContent>(entry.type, entry.text, std::nullopt, std::nullopt);
    return entry;
}

OptData ClipboardCapture::readDocumentFormats(PasteboardContents& contents) {
    DocumentFormats::List kept;
    qsizetype total = 0;
    for (const QString& mime : contents.formats()) {
        if (!DocumentFormats::isKept(mime))
            continue;
        const std::optional<QByteArray> bytes = contents.format(mime);
        if (!bytes)
            continue;
        total += bytes->size();
        if (total > DocumentFormats::maxBytes)
            return std::nullopt;
        kept.append({mime, *bytes});
    }
    if (kept.isEmpty())
        return std::nullopt;
    return DocumentFormats::encode(kept);
}

// Browsers, GTK editors and mail composers read rich text only as HTML: the owner's own HTML is
// kept for them beside its RTF.
OptData ClipboardCapture::readHtmlBesideRtf(PasteboardContents& contents, const OptData& rich) {
    if (!rich || !RtfReader::isRtf(*rich))
        return std::nullopt;
    const std::optional<QByteArray> html = contents.data(Pasteboard::Type::HTML);
    if (!isRichHtml(html) || html->size() > DocumentFormats::maxBytes)
        return std::nullopt;
    return DocumentFormats::encode({{DocumentFormats::html, *html}});
}

void ClipboardCapture::readText(PasteboardContents& contents, CapturedEntry& entry) {
    // Rich text on this desktop is mostly HTML; RTF wins where an owner offers both.
    OptData rich = contents.data(Pasteboard::Type::RTF);
    if (!rich) {
        if (OptData html = contents.data(Pasteboard::Type::HTML); isRichHtml(html))
            rich = std::move(html);
    }
    OptString text;
    if (entry.kind != CapturedEntry::Kind::Image)
        entry.largeText = readLargeText(contents, &text);
    if (!entry.largeText && !text)
        text = contents.string();
    // Beside a picture, an empty text adds nothing.
    if (entry.kind == CapturedEntry::Kind::Image && text && text->isEmpty())
        text.reset();
    entry.text = std::move(text);
    entry.richTextData = std::move(rich);
}

LargeTextPtr ClipboardCapture::readLargeText(PasteboardContents& contents, OptString* text) {
    constexpr qsizetype kLarge = LargeText::minimumUtf16Size;
    bool latin1 = false;
    std::optional<QByteArray> bytes = contents.largeTextBytes(kLarge, &latin1);
    if (!bytes)
        return nullptr;
    LargeTextPtr large = latin1 ? LargeText::fromLatin1(*bytes) : LargeText::fromUtf8(std::move(*bytes));
    // Shorter than it looked (a NUL, multi-byte characters) or a link: the ordinary way.
    if (large->utf16Size() < kLarge || large->startsWithLink(kLinkSchemes)) {
        *text = large->toString();
        return nullptr;
    }
    return large;
}

std::optional<std::pair<QByteArray, QByteArray>> ClipboardCapture::readImage(PasteboardContents& contents) {
    QImage image;
    QByteArray source;
    if (contents.types().contains(Pasteboard::Type::FileURL)) {
        // While a file is offered, its own contents decide; the TIFF/PNG beside it is usually its icon.
        const std::optional<QString> path = firstFilePath(contents);
        if (!path || !hasImageExtension(*path))
            return std::nullopt;
        const std::optional<QByteArray> bytes = readRegularFile(*path, maxFileBytes);
        if (!bytes) {
            qCDebug(lcCapture) << "not a readable regular file of bounded size:" << *path;
            return std::nullopt;
        }
        source = *bytes;
    } else {
        if (auto tiff = contents.data(Pasteboard::Type::TIFF)) {
            source = *tiff;
            image = ImageUtils::decode(source);
        }
        if (image.isNull()) {
            if (auto png = contents.data(Pasteboard::Type::PNG))
                source = *png;
        }
    }
    // The decoder's pixel bound refuses decoding bombs before any pixel memory is taken.
    if (image.isNull())
        image = ImageUtils::decode(source);
    if (image.isNull())
        return std::nullopt;

    // A PNG that decoded is kept as it came: encoding a large picture again would cost most of the
    // capture's time and could lose depth.
    const std::optional<QByteArray> full = source.startsWith(kPngSignature) ? source : ImageUtils::pngData(image);
    if (!full)
        return std::nullopt;
    const QImage fitted = ImageUtils::resized(image, kEntryImageFit, kEntryImageFit);
    // An image that already fits is returned as it is; its PNG is the full one.
    if (fitted.size() == image.size())
        return std::make_pair(*full, *full);
    const std::optional<QByteArray> scaled = ImageUtils::pngData(fitted);
    if (!scaled)
        return std::nullopt;
    return std::make_pair(*scaled, *full);
}

// Only the first URL on the pasteboard counts, and only when it names a file on this machine.
std::optional<QString> ClipboardCapture::firstFilePath(PasteboardContents& contents) {
    const QList<QUrl> urls = contents.urls();
    if (urls.isEmpty() || !isLocalFileURL(urls.first()))
        return std::nullopt;
    return localPath(urls.first());
}

QStringList ClipboardCapture::readFilePaths(PasteboardContents& contents) {
    const QList<QUrl> urls = contents.urls();
    if (urls.size() < 2 || !isLocalFileURL(urls.first()))
        return {};
    QStringList paths;
    for (const QUrl& url : urls) {
        if (isLocalFileURL(url))
            if (QString path = localPath(url); !path.isEmpty())
                paths << path;
    }
    if (paths.size() < 2)
        return {};
    return paths;
}

std::optional<QString> ClipboardCapture::readFilePath(PasteboardContents& contents) {
    const std::optional<QString> path = firstFilePath(contents);
    if (!path || path->isEmpty() || hasImageExtension(*path))
        return std::nullopt;
    return path;
}

bool ClipboardCapture::isValidURL(const QString& text) {
    return ClipboardDataManager::isWebURL(text, kLinkSchemes);
}
