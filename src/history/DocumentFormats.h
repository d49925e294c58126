// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// A program's own formats of a copy (an office suite's embedded document and its descriptor), kept
// beside the picture of a copy so that the program gets its content back rather than the picture.
namespace DocumentFormats {

using List = QList<QPair<QString, QByteArray>>; // MIME type as offered, bytes

// Whether an offered MIME type is one of them.
bool isKept(const QString& mime);
// Together at most this large; larger ones are not kept.
inline constexpr qsizetype maxBytes = 16 * 1024 * 1024;

QByteArray encode(const List& formats);
// Damaged bytes give an empty list.
List decode(const QByteArray& bytes);

} // namespace DocumentFormats
