// SPDX-License-Identifier: MIT
#include "history/DocumentFormats.h"

#include <QtEndian>

namespace {

const QStringList kKeptPrefixes{QStringLiteral("application/x-openoffice-embed-source-xml"),
                                QStringLiteral("application/x-openoffice-objectdescriptor-xml")};

void appendChunk(QByteArray& out, const QByteArray& chunk) {
    char size[4];
    qToBigEndian(quint32(chunk.size()), size);
    out.append(size, 4);
    out.append(chunk);
}

bool takeChunk(const QByteArray& in, qsizetype& at, QByteArray& chunk) {
    if (in.size() - at < 4)
        return false;
    const quint32 size = qFromBigEndian<quint32>(in.constData() + at);
    at += 4;
    if (qsizetype(size) > in.size() - at)
        return false;
    chunk = in.mid(at, size);
    at += size;
    return true;
}

} // namespace

namespace DocumentFormats {

bool isKept(const QString& mime) {
    return std::any_of(kKeptPrefixes.begin(), kKeptPrefixes.end(),
                       [&](const QString& prefix) { return mime.startsWith(prefix, Qt::CaseInsensitive); });
}

// Each MIME type and its bytes as a 32-bit big-endian length followed by the bytes.
QByteArray encode(const List& formats) {
    QByteArray out;
    for (const auto& [mime, bytes] : formats) {
        appendChunk(out, mime.toUtf8());
        appendChunk(out, bytes);
    }
    return out;
}

List decode(const QByteArray& bytes) {
    List out;
    qsizetype at = 0;
    while (at < bytes.size()) {
        QByteArray mime, data;
        if (!takeChunk(bytes, at, mime) || !takeChunk(bytes, at, data) || mime.isEmpty())
            return {};
        out.append({QString::fromUtf8(mime), data});
    }
    return out;
}

} // namespace DocumentFormats
