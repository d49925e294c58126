// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QColor>

#include <optional>

// The stored form of a colour (SourceApp.dominantColorData). Fixed encoding, 20 bytes:
//   bytes 0..3   magic "TLC1"
//   bytes 4..19  red, green, blue, alpha as IEEE-754 single precision, big-endian, each in [0, 1]
// Anything else (other length or magic, a component outside [0, 1] or not a number) is unreadable
// and yields no colour.
class ColorArchive {
public:
    static QByteArray archivedData(const QColor& color);
    static std::optional<QColor> unarchivedColor(const QByteArray& data);
};
