// SPDX-License-Identifier: MIT
#include "history/ClipboardMonitor.h"

#include "history/ClipboardDataManager.h"
#include "history/Notifications.h"
#include "platform/ImageUtils.h"
#include "platform/Pasteboard.h"
#include "platform/Workspace.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImageReader>
#include <QLoggingCategory>
#include <QScopeGuard>
#include <QSysInfo>
#include <QUrl>
#include <QUuid>

Q_LOGGING_CATEGORY(lcMonitor, "tindralume.monitor", QtWarningMsg)

namespace {

constexpr int kPollIntervalMs = 500;
constexpr double kEntryImageFit = 400.0;

const QStringList kImageExtensions{QStringLiteral("png"), QStringLiteral("jpg"),  QStringLiteral("jpeg"),
                                   QStringLiteral("gif"), QStringLiteral("bmp"),  QStringLiteral("tiff"),
                                   QStringLiteral("tif"), QStringLiteral("webp"), QStringLiteral("heic"),
                                   QStringLiteral("heif")};

const QStringList kLinkSchemes{QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("ftp"),
                               QStringLiteral("ftps")};

bool hasImageExtension(const QString& path) {
    return kImageExtensions.contains(QFileInfo(path).suffix().toLower());
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
    return url.path().startsWith(QLatin1Char('/'));
}

// The file's path with any host part dropped (file://localhost/x is /x).
QString localPath(const QUrl& url) {
    QUrl copy(url);
    copy.setHost(QString());
    return copy.toLocalFile();
}

QImage decodeFile(const QString& path) {
    QImageReader reader(path);
    reader.setAutoTransform(true);
    // The reader's allocation limit refuses decoding bombs before any pixel memory is taken.
    QImage image;
    if (!reader.read(&image)) {
        qCDebug(lcMonitor) << "image file not decoded:" << path << reader.errorString();
        return {};
    }
    return image;
}

} // namespace

ClipboardMonitor::ClipboardMonitor(ClipboardDataManager* dataManager, qint64 lastChangeCount)
    : lastChangeCount(lastChangeCount), m_dataManager(dataManager) {}

ClipboardMonitor::~ClipboardMonitor() {
    stopMonitoring();
}

void ClipboardMonitor::startMonitoring() {
    stopMonitoring();
    auto* t = new QTimer(this);
    t->setInterval(kPollIntervalMs);
    connect(t, &QTimer::timeout, this, &ClipboardMonitor::pollPasteboard);
    t->start();
    timer = t;
    m_firstPollLogged = false;
    qCDebug(lcMonitor) << "monitoring started at" << QDateTime::currentMSecsSinceEpoch();
}

void ClipboardMonitor::stopMonitoring() {
    if (timer) {
        timer->stop();
        delete timer.data();
    }
    timer = nullptr;
}

void ClipboardMonitor::pollPasteboard() {
    if (!m_firstPollLogged) {
        m_firstPollLogged = true;
        qCDebug(lcMonitor) << "first poll at" << QDateTime::currentMSecsSinceEpoch();
    }
    const qint64 count = Pasteboard::general().changeCount();
    if (count == lastChangeCount)
        return;
    lastChangeCount = count;
    if (skipNextChangeCount && *skipNextChangeCount == count) {
        skipNextChangeCount.reset();
        return;
    }
    checkClipboard();
}

void ClipboardMonitor::checkClipboard() {
    QElapsedTimer elapsed;
    elapsed.start();
    // How long a change costs on the main thread, for the debug log only.
    const auto logCost = qScopeGuard([&elapsed] {
        qCDebug(lcMonitor) << "change handled in" << elapsed.elapsed() << "ms, done at"
                           << QDateTime::currentMSecsSinceEpoch();
    });
    Pasteboard& pb = Pasteboard::general();
    const auto [appName, bundleId] = frontmostSourceApp();

    if (auto image = readImage()) {
        storeImageEntry(image->first, image->second, appName, bundleId);
        return;
    }
    if (auto path = readFilePath()) {
        storeFileEntry(*path, appName, bundleId);
        return;
    }
    if (auto rtf = pb.data(Pasteboard::Type::RTF)) {
        const OptString text = pb.string();
        const QString type = isValidURL(text.value_or(QString())) ? EntryType::url : EntryType::richText;
        m_dataManager->saveClipboardItem(type, text, rtf, std::nullopt, std::nullopt, std::nullopt, appName, bundleId);
        return;
    }
    if (auto text = pb.string()) {
        const QString type = isValidURL(*text) ? EntryType::url : EntryType::text;
        m_dataManager->saveClipboardItem(type, text, std::nullopt, std::nullopt, std::nullopt, std::nullopt, appName,
                                         bundleId);
    }
}

std::pair<QString, QString> ClipboardMonitor::frontmostSourceApp() const {
    const std::optional<RunningApplication> app = Workspace::shared().frontmostApplication();
    QString name = app ? app->localizedName : QString();
    if (name.isEmpty())
        name = QStringLiteral("Unknown");
    return {name, app ? app->bundleIdentifier : QString()};
}

std::optional<std::pair<QByteArray, QByteArray>> ClipboardMonitor::readImage() {
    Pasteboard& pb = Pasteboard::general();
    QImage image;
    if (pb.types().contains(Pasteboard::Type::FileURL)) {
        // While a file is offered, its own contents decide; the TIFF/PNG beside it is usually its icon.
        const std::optional<QString> path = firstFilePath();
        if (!path || !hasImageExtension(*path))
            return std::nullopt;
        image = decodeFile(*path);
    } else {
        if (auto tiff = pb.data(Pasteboard::Type::TIFF))
            image = ImageUtils::decode(*tiff);
        if (image.isNull()) {
            if (auto png = pb.data(Pasteboard::Type::PNG))
                image = ImageUtils::decode(*png);
        }
    }
    if (image.isNull())
        return std::nullopt;

    const std::optional<QByteArray> full = ImageUtils::pngData(image);
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
std::optional<QString> ClipboardMonitor::firstFilePath() {
    const QList<QUrl> urls = Pasteboard::general().urls();
    if (urls.isEmpty() || !isLocalFileURL(urls.first()))
        return std::nullopt;
    return localPath(urls.first());
}

std::optional<QString> ClipboardMonitor::readFilePath() {
    const std::optional<QString> path = firstFilePath();
    if (!path || path->isEmpty() || hasImageExtension(*path))
        return std::nullopt;
    return path;
}

bool ClipboardMonitor::isValidURL(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return false;
    const QUrl url(trimmed, QUrl::StrictMode);
    if (!url.isValid() || url.scheme().isEmpty())
        return false;
    const QString scheme = url.scheme().toLower();
    if (!kLinkSchemes.contains(scheme))
        return false;
    if (!trimmed.toLower().startsWith(scheme + QLatin1String("://")))
        return false;
    return !url.host().isEmpty();
}

void ClipboardMonitor::storeImageEntry(const QByteArray& scaled, const QByteArray& full, const QString& appName,
                                       const QString& bundleId) {
    storeEntry(EntryType::image, scaled, full, std::nullopt, appName, bundleId);
}

void ClipboardMonitor::storeFileEntry(const QString& path, const QString& appName, const QString& bundleId) {
    storeEntry(EntryType::file, std::nullopt, std::nullopt, path, appName, bundleId);
}

// Image and file entries: a repeat moves the existing entry to the top with this copy's source
// application; anything else becomes a new entry. They never start a link preview.
void ClipboardMonitor::storeEntry(const QString& type, const OptData& scaled, const OptData& full,
                                  const OptString& path, const QString& appName, const QString& bundleId) {
    SourceAppPtr app;
    if (!bundleId.isEmpty())
        app = m_dataManager->findOrCreateSourceApp(bundleId, appName);
    if (ClipboardItemPtr existing = m_dataManager->findDuplicate(type, std::nullopt, scaled, full, path)) {
        existing->setTimestamp(QDateTime::currentDateTime());
        existing->setSourceApp(app);
        m_dataManager->saveContext();
        return;
    }
    ClipboardItemPtr item = m_dataManager->context()->insertClipboardItem();
    item->setId(QUuid::createUuid());
    item->setTimestamp(QDateTime::currentDateTime());
    item->setType(type);
    item->setTextContent(std::nullopt);
    item->setRichTextData(std::nullopt);
    item->setImageData(scaled);
    item->setOriginalImageData(full);
    item->setFilePath(path);
    item->setPreview(m_dataManager->makePreview(type, std::nullopt, path));
    item->setSourceApp(app);
    item->setIsFavorite(false);
    m_dataManager->saveContext();
}
