// SPDX-License-Identifier: MIT
#pragma once

#include "linkpreview/BoundedHTTPDataLoader.h"
#include "linkpreview/URLPreview.h"

#include <QByteArray>
#include <QJsonValue>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringView>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class QThread;

// Turns a web link into a preview. The completion runs exactly once, on the main thread.
//
// Loads run on one network thread owned by the service; judging, decoding and image processing
// run on the global pool; nothing is cached and two calls for the same link run side by side.
// The shared instance lives for the process. Another instance (tests make their own, with short
// time-outs) drops the fetches still in flight when it is destroyed.
class URLPreviewService : public QObject {
public:
    using Completion = std::function<void(std::optional<URLPreview>)>;
    using ImageCompletion = std::function<void(std::optional<QByteArray>)>;

    // What a page offers: cleaned title and description, absolute image URL.
    struct PageMetadata {
        std::optional<QString> title;
        std::optional<QString> description;
        std::optional<QUrl> imageURL;
    };

    // The raw strings found in a page's structured data.
    struct JSONLDValues {
        std::optional<QString> title;
        std::optional<QString> description;
        std::optional<QString> image;
    };

    struct Timing {
        int requestTimeoutMs = 15000;  // idle time-out of every load
        int resourceTimeoutMs = 30000; // total time-out of every load
        int retryDelayMs = 800;
        int maxRedirects = 10;
        BoundedHTTPDataLoader::AddressCheck isForbiddenAddress; // none: the real policy
    };

    static URLPreviewService& shared();

    URLPreviewService();
    explicit URLPreviewService(Timing timing);
    ~URLPreviewService() override;

    static inline const QString logPrefix = QStringLiteral("[URLPreview]");
    static constexpr qint64 maximumHTMLBytes = 1048576;
    static constexpr qint64 maximumImageBytes = 8388608;
    // The most of a title or description kept, in UTF-16 code units: more than any card or list
    // shows, and little enough that every later use (storing, laying out, logging) stays cheap.
    static constexpr qsizetype maximumTextLength = 2000;
    static const QSet<QString>& downloadableExtensions();
    static inline const QByteArray userAgent =
        QByteArrayLiteral("Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/537.36 (KHTML, like Gecko) "
                          "Chrome/131.0.0.0 Safari/537.36");

    void fetchPreview(const QString& urlString, Completion completion);
    // linkText is the link as the user copied it (trimmed); the log lines show it. Empty: the URL.
    void startHTMLRequest(const QUrl& url, int retriesAllowed, Completion completion, const QString& linkText = {});
    void downloadImage(const QUrl& imageURL, const QUrl& pageURL, ImageCompletion completion);

    static std::optional<QUrl> validatedURL(const QString& string);
    static HTTPRequest htmlRequest(const QUrl& url);
    static HTTPRequest imageRequest(const QUrl& imageURL, const QUrl& pageURL);
    // The Referer a browser sends by default: the whole page URL to its own origin, only the origin
    // to another one, nothing from an https page to an http resource.
    static std::optional<QByteArray> referrer(const QUrl& pageURL, const QUrl& resourceURL);
    static bool isAcceptableHTMLResponse(const HTTPURLResponse& response);
    static bool isAcceptableImageResponse(const HTTPURLResponse& response);

    // Page decoding. An encoding is a decoder name QStringDecoder knows.
    static QString decodeHTML(const QByteArray& body, const HTTPURLResponse& response);
    static std::optional<QByteArray> encodingForCharset(const QString& charset);
    static std::optional<QString> sniffMetaCharset(const QString& head);
    // The text of bytes in an encoding; none when the bytes hold a sequence the encoding does not
    // allow. An incomplete sequence at the very end is dropped, not judged: a body may be cut at the
    // byte limit in the middle of a character.
    static std::optional<QString> decodeWith(const QByteArray& bytes, const QByteArray& encoding);

    // Metadata.
    static PageMetadata parseMetadata(const QString& html, const QUrl& pageURL);
    static std::optional<QString> metaPropertyContent(const QString& html, const QString& key);
    static std::optional<QString> metaNameContent(const QString& html, const QString& key);
    static JSONLDValues parseJSONLD(const QString& html);
    static std::optional<QString> jsonLDImageString(const QJsonValue& value);
    static std::optional<QString> cleanText(const std::optional<QString>& text);
    static QString replaceNumericEntities(const QString& text, int radix);
    static std::optional<QUrl> resolveImageURL(const QString& string, const QUrl& pageURL);
    static inline const QString twitterTitleKey = QStringLiteral("twitter:title");

private:
    void runFetch(const QUrl& url, const QString& linkText, Completion completion);
    void handleHTMLResponse(const std::optional<QByteArray>& body, const std::optional<HTTPURLResponse>& response,
                            const std::optional<LoadError>& error, const QUrl& url, int retriesAllowed,
                            Completion completion, const QString& linkText);
    void retryHTMLRequest(const QUrl& url, int retriesAllowed, Completion completion, const QString& linkText);
    static void handleImageResponse(const std::optional<QByteArray>& body,
                                    const std::optional<HTTPURLResponse>& response,
                                    const std::optional<LoadError>& error, const QUrl& imageURL,
                                    ImageCompletion completion);
    static void deliver(std::optional<QByteArray> imageData, const PageMetadata& metadata, Completion completion);
    static void deliverNothing(Completion completion);
    void startLoader(const HTTPRequest& request, qint64 maximumBytes, bool allowsTruncatedData,
                     BoundedHTTPDataLoader::Validator validator, BoundedHTTPDataLoader::Completion completion);

    const Timing m_timing;
    // Held weakly by every callback, so a callback that outlives the service does nothing.
    std::shared_ptr<int> m_alive = std::make_shared<int>(0);
    QThread* m_networkThread = nullptr;
    QObject* m_networkContext = nullptr;
};
