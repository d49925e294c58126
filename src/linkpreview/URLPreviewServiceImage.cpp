// SPDX-License-Identifier: MIT
// The preview image: request, response judging, shrinking to PNG.
#include "linkpreview/URLPreviewService.h"

#include "platform/Console.h"
#include "platform/Dispatch.h"
#include "platform/ImageUtils.h"

namespace {

// A preview never needs more; a small file that claims a huge canvas is refused before decoding.
constexpr qint64 maximumImagePixels = 64LL * 1024 * 1024;

} // namespace

HTTPRequest URLPreviewService::imageRequest(const QUrl& imageURL, const QUrl& pageURL) {
    HTTPRequest request;
    request.url = imageURL;
    request.timeoutMs = 15000;
    request.preferCache = false;
    request.headerFields = {{"User-Agent", userAgent}};
    if (auto referer = referrer(pageURL, imageURL))
        request.headerFields.append(qMakePair(QByteArray("Referer"), *referer));
    request.headerFields.append(
        qMakePair(QByteArray("Accept"), QByteArray("image/avif,image/webp,image/apng,image/*,*/*;q=0.8")));
    return request;
}

std::optional<QByteArray> URLPreviewService::referrer(const QUrl& pageURL, const QUrl& resourceURL) {
    const QString pageScheme = pageURL.scheme().toLower();
    if (pageScheme != u"http" && pageScheme != u"https")
        return std::nullopt;
    const bool sameOrigin =
        pageScheme == resourceURL.scheme().toLower() && pageURL.host() == resourceURL.host() &&
        pageURL.port(pageScheme == u"https" ? 443 : 80) == resourceURL.port(pageScheme == u"https" ? 443 : 80);
    if (sameOrigin)
        return pageURL.adjusted(QUrl::RemoveUserInfo | QUrl::RemoveFragment).toEncoded();
    if (pageScheme == u"https" && resourceURL.scheme().toLower() == u"http")
        return std::nullopt;
    return pageURL.adjusted(QUrl::RemoveUserInfo | QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment)
               .toEncoded() +
           '/';
}

void URLPreviewService::downloadImage(const QUrl& imageURL, const QUrl& pageURL, ImageCompletion completion) {
    HTTPRequest request = imageRequest(imageURL, pageURL);
    request.timeoutMs = m_timing.requestTimeoutMs;
    // The image request keeps its work going even if the service goes away meanwhile: it needs
    // nothing of the service once started.
    startLoader(request, maximumImageBytes, false, &URLPreviewService::isAcceptableImageResponse,
                [imageURL, completion = std::move(completion)](std::optional<QByteArray> body,
                                                               std::optional<HTTPURLResponse> response,
                                                               std::optional<LoadError> error) mutable {
                    Dispatch::onGlobal([imageURL, completion = std::move(completion), body = std::move(body),
                                        response = std::move(response), error = std::move(error)]() mutable {
                        handleImageResponse(body, response, error, imageURL, std::move(completion));
                    });
                });
}

bool URLPreviewService::isAcceptableImageResponse(const HTTPURLResponse& response) {
    if (response.statusCode < 200 || response.statusCode > 299)
        return true;
    if (response.mimeType.isEmpty())
        return false;
    return response.mimeType.startsWith(u"image/");
}

void URLPreviewService::handleImageResponse(const std::optional<QByteArray>& body,
                                            const std::optional<HTTPURLResponse>& response,
                                            const std::optional<LoadError>& error, const QUrl& imageURL,
                                            ImageCompletion completion) {
    auto fail = [&completion] { completion(std::nullopt); };
    if (error) {
        consoleLine(logPrefix + QStringLiteral(" Image download error: ") + error->localizedDescription);
        return fail();
    }
    if (response && (response->statusCode < 200 || response->statusCode > 299)) {
        consoleLine(logPrefix + QStringLiteral(" Image HTTP ") + QString::number(response->statusCode) +
                    QStringLiteral(": ") + QString::fromUtf8(imageURL.toEncoded()));
        return fail();
    }
    if (!body || body->isEmpty())
        return fail();
    const QImage image = ImageUtils::decode(*body, maximumImagePixels);
    if (image.isNull()) {
        consoleLine(logPrefix + QStringLiteral(" Invalid image data from ") + QString::fromUtf8(imageURL.toEncoded()));
        return fail();
    }
    completion(ImageUtils::pngData(ImageUtils::resized(image, 400, 400)));
}
