// SPDX-License-Identifier: MIT
#include "history/ColorExtractor.h"

#include <QHash>
#include <QMutex>

#include <algorithm>

namespace {

QMutex& cacheMutex() {
    static QMutex mutex;
    return mutex;
}

QHash<QString, QColor>& colorCache() {
    static QHash<QString, QColor> cache;
    return cache;
}

} // namespace

QColor ColorExtractor::fallbackGray() {
    return QColor(142, 142, 147);
}

QColor ColorExtractor::dominantColor(const QImage& image, const QString& key) {
    {
        QMutexLocker lock(&cacheMutex());
        auto it = colorCache().constFind(key);
        if (it != colorCache().constEnd())
            return *it;
    }
    if (image.isNull())
        return fallbackGray();
    const int w = image.width();
    const int h = image.height();
    if (w <= 0 || h <= 0)
        return fallbackGray();
    // Straight (not premultiplied) components: transparent pixels count with the colour they carry.
    const QImage pixels = image.convertToFormat(QImage::Format_ARGB32);
    if (pixels.isNull())
        return fallbackGray();
    const int stepX = std::max(1, w / std::min(w, 50));
    const int stepY = std::max(1, h / std::min(h, 50));
    double red = 0, green = 0, blue = 0;
    qint64 count = 0;
    for (int x = 0; x < w; x += stepX) {
        for (int y = 0; y < h; y += stepY) {
            const QRgb px = reinterpret_cast<const QRgb*>(pixels.constScanLine(y))[x];
            red += qRed(px) / 255.0;
            green += qGreen(px) / 255.0;
            blue += qBlue(px) / 255.0;
            ++count;
        }
    }
    if (count == 0)
        return fallbackGray();
    const QColor average = QColor::fromRgbF(red / count, green / count, blue / count, 1.0);
    const QColor result = adjustSaturation(average, 1.3);
    QMutexLocker lock(&cacheMutex());
    colorCache().insert(key, result);
    return result;
}

QColor ColorExtractor::adjustSaturation(const QColor& color, double factor) {
    const QColor rgb = color.toRgb();
    if (!rgb.isValid())
        return color;
    float hue, saturation, brightness, alpha;
    rgb.getHsvF(&hue, &saturation, &brightness, &alpha);
    const float boosted = std::min(1.0f, float(saturation * factor));
    // An achromatic colour has no hue (-1); its saturation stays 0 whatever the factor.
    return QColor::fromHsvF(hue < 0 ? 0.0f : hue, hue < 0 ? 0.0f : boosted, brightness, alpha);
}
