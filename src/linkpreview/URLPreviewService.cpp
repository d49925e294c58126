// SPDX-License-Identifier: MIT
#include "linkpreview/URLPreviewService.h"

#include "platform/Console.h"
#include "platform/Dispatch.h"

#include <QThread>
#include <QTimer>

namespace {

void logLine(const QString& text) {
    consoleLine(URLPreviewService::logPrefix + text);
}

QString absoluteString(const QUrl& url) {
    return QString::fromUtf8(url.toEncoded());
}

} // namespace

URLPreviewService& URLPreviewService::shared() {
    // Never released: fetches in flight may outlive any owner.
    static URLPreviewService* instance = new URLPreviewService;
    return *instance;
}

URLPreviewService::URLPreviewService() : URLPreviewService(Timing{}) {}

URLPreviewService::URLPreviewService(Timing timing) : m_timing(timing) {
    m_networkThread = new QThread;
    m_networkThread->setObjectName(QStringLiteral("URLPreview network"));
    m_networkContext = new QObject;
    m_networkContext->moveToThread(m_networkThread);
    m_networkThread->start();
}

URLPreviewService::~URLPreviewService() {
    m_alive.reset();
    QObject* context = m_networkContext;
    // Loaders are children of the context: deleting it on its thread drops every load in flight.
    QMetaObject::invokeMethod(
        context, [context] { delete context; }, Qt::BlockingQueuedConnection);
    m_networkThread->quit();
    m_networkThread->wait();
    delete m_networkThread;
}

const QSet<QString>& URLPreviewService::downloadableExtensions() {
    static const QSet<QString> extensions = {"7z",  "apk",  "avi",  "bin",  "bmp",  "bz2", "csv",  "deb",  "dmg",
                                             "doc", "docx", "epub", "exe",  "gif",  "gz",  "heic", "heif", "ipa",
                                             "iso", "jpeg", "jpg",  "m4a",  "mkv",  "mov", "mp3",  "mp4",  "msi",
                                             "pdf", "pkg",  "png",  "ppt",  "pptx", "rar", "rpm",  "tar",  "tgz",
                                             "tif", "tiff", "wav",  "webm", "webp", "xls", "xlsx", "xz",   "zip"};
    return extensions;
}

std::optional<QUrl> URLPreviewService::validatedURL(const QString& string) {
    const QString trimmed = string.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    const QUrl url(trimmed, QUrl::TolerantMode);
    if (!url.isValid())
        return std::nullopt;
    const QString scheme = url.scheme().toLower();
    if (scheme != u"http" && scheme != u"https")
        return std::nullopt;
    if (!trimmed.toLower().startsWith(scheme + QStringLiteral("://")))
        return std::nullopt;
    if (url.host().isEmpty())
        return std::nullopt;
    QString path = url.path();
    while (path.endsWith(u'/'))
        path.chop(1);
    const QString lastComponent = path.mid(path.lastIndexOf(u'/') + 1);
    const qsizetype dot = lastComponent.lastIndexOf(u'.');
    if (dot > 0 && downloadableExtensions().contains(lastComponent.mid(dot + 1).toLower()))
        return std::nullopt;
    return url;
}

void URLPreviewService::fetchPreview(const QString& urlString, Completion completion) {
    const auto url = validatedURL(urlString);
    if (!url) {
        logLine(QStringLiteral(" Invalid URL: ") + urlString);
        deliverNothing(std::move(completion));
        return;
    }
    std::weak_ptr<int> alive = m_alive;
    Dispatch::onGlobal(
        [this, alive, url = *url, linkText = urlString.trimmed(), completion = std::move(completion)]() mutable {
            if (alive.expired()) {
                deliverNothing(std::move(completion));
                return;
            }
            runFetch(url, linkText, std::move(completion));
        });
}

void URLPreviewService::runFetch(const QUrl& url, const QString& linkText, Completion completion) {
    startHTMLRequest(url, 1, std::move(completion), linkText);
}

HTTPRequest URLPreviewService::htmlRequest(const QUrl& url) {
    HTTPRequest request;
    request.url = url;
    request.timeoutMs = 15000;
    request.preferCache = true;
    request.headerFields = {
        {"User-Agent", userAgent},
        {"Accept", "text/html,application/xhtml+xml;q=0.9"},
        {"Accept-Language", "en-US,en;q=0.9,zh-CN;q=0.8,zh;q=0.7"},
        {"Range", "bytes=0-" + QByteArray::number(maximumHTMLBytes - 1)},
    };
    return request;
}

void URLPreviewService::startHTMLRequest(const QUrl& url, int retriesAllowed, Completion completion,
                                         const QString& linkText) {
    HTTPRequest request = htmlRequest(url);
    request.timeoutMs = m_timing.requestTimeoutMs;
    std::weak_ptr<int> alive = m_alive;
    startLoader(request, maximumHTMLBytes, true, &URLPreviewService::isAcceptableHTMLResponse,
                [this, alive, url, retriesAllowed, linkText, completion = std::move(completion)](
                    std::optional<QByteArray> body, std::optional<HTTPURLResponse> response,
                    std::optional<LoadError> error) mutable {
                    Dispatch::onGlobal([this, alive, url, retriesAllowed, linkText, completion = std::move(completion),
                                        body = std::move(body), response = std::move(response),
                                        error = std::move(error)]() mutable {
                        if (alive.expired()) {
                            deliverNothing(std::move(completion));
                            return;
                        }
                        handleHTMLResponse(body, response, error, url, retriesAllowed, std::move(completion), linkText);
                    });
                });
}

void URLPreviewService::startLoader(const HTTPRequest& request, qint64 maximumBytes, bool allowsTruncatedData,
                                    BoundedHTTPDataLoader::Validator validator,
                                    BoundedHTTPDataLoader::Completion completion) {
    BoundedHTTPDataLoader::Limits limits;
    limits.totalTimeoutMs = m_timing.resourceTimeoutMs;
    limits.maxRedirects = m_timing.maxRedirects;
    limits.isForbiddenAddress = m_timing.isForbiddenAddress;
    QObject* context = m_networkContext;
    QMetaObject::invokeMethod(
        context,
        [context, request, limits, maximumBytes, allowsTruncatedData, validator = std::move(validator),
         completion = std::move(completion)]() mutable {
            auto* loader = new BoundedHTTPDataLoader(maximumBytes, allowsTruncatedData, std::move(validator),
                                                     std::move(completion));
            loader->setParent(context);
            loader->start(request, limits);
        },
        Qt::QueuedConnection);
}

bool URLPreviewService::isAcceptableHTMLResponse(const HTTPURLResponse& response) {
    if (response.statusCode < 200 || response.statusCode > 299)
        return true;
    if (auto disposition = response.value("Content-Disposition")) {
        if (disposition->toLower().contains("attachment"))
            return false;
    }
    if (response.mimeType.isEmpty())
        return true;
    return response.mimeType == u"text/html" || response.mimeType == u"application/xhtml+xml";
}

void URLPreviewService::handleHTMLResponse(const std::optional<QByteArray>& body,
                                           const std::optional<HTTPURLResponse>& response,
                                           const std::optional<LoadError>& error, const QUrl& url, int retriesAllowed,
                                           Completion completion, const QString& linkText) {
    const QString urlString = linkText.isEmpty() ? absoluteString(url) : linkText;
    if (error) {
        logLine(QStringLiteral(" Network error for ") + urlString + QStringLiteral(": ") + error->localizedDescription);
        if (retriesAllowed > 0)
            retryHTMLRequest(url, retriesAllowed - 1, std::move(completion), linkText);
        else
            deliverNothing(std::move(completion));
        return;
    }
    if (!response) {
        logLine(QStringLiteral(" Non-HTTP response for ") + urlString);
        deliverNothing(std::move(completion));
        return;
    }
    if (response->statusCode < 200 || response->statusCode > 299) {
        logLine(QStringLiteral(" HTTP ") + QString::number(response->statusCode) + QStringLiteral(" for ") + urlString);
        if (retriesAllowed > 0 && response->statusCode >= 500)
            retryHTMLRequest(url, retriesAllowed - 1, std::move(completion), linkText);
        else
            deliverNothing(std::move(completion));
        return;
    }
    if (!body || body->isEmpty()) {
        logLine(QStringLiteral(" Empty body for ") + urlString);
        deliverNothing(std::move(completion));
        return;
    }
    const QString html = decodeHTML(*body, *response);
    // Relative image URLs and the Referer go from the page as finally loaded, after redirects.
    const QUrl pageURL = response->url.isValid() ? response->url : url;
    const PageMetadata metadata = parseMetadata(html, pageURL);
    logLine(QStringLiteral(" Parsed ") + url.host() + QStringLiteral(": title=") +
            metadata.title.value_or(QStringLiteral("nil")) + QStringLiteral(", image=") +
            (metadata.imageURL ? absoluteString(*metadata.imageURL) : QStringLiteral("nil")));
    if (!metadata.title && !metadata.description && !metadata.imageURL) {
        logLine(QStringLiteral(" No metadata found for ") + urlString);
        deliverNothing(std::move(completion));
        return;
    }
    if (!metadata.imageURL) {
        deliver(std::nullopt, metadata, std::move(completion));
        return;
    }
    downloadImage(*metadata.imageURL, pageURL,
                  [metadata, completion = std::move(completion)](std::optional<QByteArray> imageData) mutable {
                      deliver(std::move(imageData), metadata, std::move(completion));
                  });
}

void URLPreviewService::retryHTMLRequest(const QUrl& url, int retriesAllowed, Completion completion,
                                         const QString& linkText) {
    std::weak_ptr<int> alive = m_alive;
    QMetaObject::invokeMethod(
        m_networkContext,
        [this, alive, url, retriesAllowed, linkText, completion = std::move(completion), delay = m_timing.retryDelayMs,
         context = m_networkContext]() mutable {
            QTimer::singleShot(
                delay, Qt::PreciseTimer, context,
                [this, alive, url, retriesAllowed, linkText, completion = std::move(completion)]() mutable {
                    if (alive.expired()) {
                        deliverNothing(std::move(completion));
                        return;
                    }
                    startHTMLRequest(url, retriesAllowed, std::move(completion), linkText);
                });
        },
        Qt::QueuedConnection);
}

void URLPreviewService::deliver(std::optional<QByteArray> imageData, const PageMetadata& metadata,
                                Completion completion) {
    URLPreview preview{metadata.title, metadata.description, std::move(imageData)};
    Dispatch::onMain([preview = std::move(preview), completion = std::move(completion)] { completion(preview); });
}

void URLPreviewService::deliverNothing(Completion completion) {
    Dispatch::onMain([completion = std::move(completion)] { completion(std::nullopt); });
}
