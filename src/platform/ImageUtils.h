// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QImage>

#include <optional>

// The two image operations of the store, the monitor and the link previews. One point = one pixel.
namespace ImageUtils {

// PNG bytes of an image; none for a null image or when encoding fails.
std::optional<QByteArray> pngData(const QImage& image);

// The image fitted into maxWidth x maxHeight, keeping its aspect ratio; never enlarged (an image
// that already fits is returned as it is).
QImage resized(const QImage& image, double maxWidth, double maxHeight);

// Decodes image bytes of any format Qt reads; a null image when they do not decode. Refuses
// images whose pixel count would exceed maxPixels (decoding bombs).
QImage decode(const QByteArray& data, qint64 maxPixels = 400LL * 1000 * 1000);
// Whether the bytes start like an image Qt reads, of a size within maxPixels; reads the header only.
bool looksDecodable(const QByteArray& data, qint64 maxPixels = 400LL * 1000 * 1000);

} // namespace ImageUtils
