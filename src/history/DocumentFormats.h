// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// Formats of a copy kept beside the entry's own content and given back as they were offered: an
// office suite's embedded document and its descriptor beside a picture, so that the program gets
// its content back rather than the picture; the owner's HTML beside rich text kept as RTF.
namespace DocumentFormats {

using List = QList<QPair<QString, QByteArray>>; // MIME type as offered, bytes

inline const QString html = QStringLiteral("text/html");

// Whether an offered MIME type is one of those kept beside a picture.
bool isKept(const QString& mime);
// Together at most this large; larger ones are not kept.
inline constexpr qsizetype maxBytes = 16 * 1024 * 1024;

QByteArray encode(const List& formats);
// Damaged bytes give an empty list.
List decode(const QByteArray& bytes);

} // namespace DocumentFormats
