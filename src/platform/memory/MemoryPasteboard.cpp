// SPDX-License-Identifier: MIT
#include "platform/memory/MemoryPasteboard.h"

std::optional<QByteArray> MemoryPasteboard::data(Type type) {
    auto it = m_data.find(type);
    if (it == m_data.end())
        return std::nullopt;
    return *it;
}

std::optional<QString> MemoryPasteboard::string() {
    auto bytes = data(Type::String);
    if (!bytes)
        return std::nullopt;
    return QString::fromUtf8(*bytes);
}

QList<QUrl> MemoryPasteboard::urls() {
    QList<QUrl> out;
    auto bytes = data(Type::FileURL);
    if (!bytes)
        return out;
    for (const QByteArray& line : bytes->split('\n')) {
        const QByteArray t = line.trimmed();
        if (!t.isEmpty() && !t.startsWith('#'))
            out.append(QUrl::fromEncoded(t));
    }
    return out;
}

qint64 MemoryPasteboard::clearContents() {
    m_data.clear();
    return ++m_changeCount;
}

void MemoryPasteboard::setURLs(const QList<QUrl>& urls) {
    QByteArray list;
    for (const QUrl& u : urls)
        list += u.toEncoded() + "\r\n";
    m_data.insert(Type::FileURL, list);
}

void MemoryPasteboard::simulateCopy(const QMap<Type, QByteArray>& contents) {
    m_data = contents;
    ++m_changeCount;
}
