// SPDX-License-Identifier: MIT
#pragma once

#include <QColor>
#include <QImage>
#include <QString>

// The dominant colour of an application icon: the average of a grid of at most 99 x 99 samples,
// with its saturation raised. Computed colours are cached per key (the bundle identifier) for the
// life of the process; the cache is locked, since capture blocks on the global pool read and fill
// it concurrently.
class ColorExtractor {
public:
    ColorExtractor() = delete;

    // Never fails: an image that cannot be sampled gives fallbackGray() (not cached).
    static QColor dominantColor(const QImage& image, const QString& key);
    // The colour with its HSB saturation multiplied by factor and capped at 1; hue, brightness
    // and alpha unchanged.
    static QColor adjustSaturation(const QColor& color, double factor);
    // The neutral grey used when no colour can be taken from an icon.
    static QColor fallbackGray();
};
