// SPDX-License-Identifier: MIT
#pragma once

#include <QBuffer>
#include <QImage>
#include <QRandomGenerator>

// A photo-like picture (gradients with mild noise), so PNG work is realistic; seed makes it unique.
inline QByteArray photoPng(int w, int h, quint32 seed) {
    QImage image(w, h, QImage::Format_RGB32);
    QRandomGenerator rng(seed);
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            const int n = int(rng.bounded(12));
            line[x] = qRgb((x * 255 / w + n) & 255, (y * 255 / h + n) & 255, ((x + y) * 255 / (w + h) + n) & 255);
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}
