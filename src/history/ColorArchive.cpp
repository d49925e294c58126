// SPDX-License-Identifier: MIT
#include "history/ColorArchive.h"

#include <QtEndian>

#include <bit>
#include <cmath>
#include <cstring>

namespace {
constexpr char kMagic[4] = {'T', 'L', 'C', '1'};
constexpr int kSize = 20;
} // namespace

QByteArray ColorArchive::archivedData(const QColor& color) {
    const QColor rgb = color.toRgb();
    QByteArray out(kMagic, 4);
    for (float component : {rgb.redF(), rgb.greenF(), rgb.blueF(), rgb.alphaF()}) {
        char bytes[4];
        qToBigEndian(std::bit_cast<quint32>(component), bytes);
        out.append(bytes, 4);
    }
    return out;
}

std::optional<QColor> ColorArchive::unarchivedColor(const QByteArray& data) {
    if (data.size() != kSize || std::memcmp(data.constData(), kMagic, 4) != 0)
        return std::nullopt;
    float c[4];
    for (int i = 0; i < 4; ++i) {
        c[i] = std::bit_cast<float>(qFromBigEndian<quint32>(data.constData() + 4 + 4 * i));
        if (!std::isfinite(c[i]) || c[i] < 0.0f || c[i] > 1.0f)
            return std::nullopt;
    }
    return QColor::fromRgbF(c[0], c[1], c[2], c[3]);
}
