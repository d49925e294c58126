// SPDX-License-Identifier: MIT
#include "support/memory/MemoryPasteboard.h"

#include "platform/PasteboardContents.h"

MemoryPasteboard::~MemoryPasteboard() {
    m_readerQueue.waitForDone();
}

void MemoryPasteboard::readContents(std::function<void(PasteboardContents&)> work) {
    m_readerQueue.async([snapshot = formats(), work = std::move(work)] {
        PasteboardContents contents = PasteboardContents::fromData(snapshot);
        work(contents);
    });
}

QMap<QString, QByteArray> MemoryPasteboard::formats() const {
    QMap<QString, QByteArray> out = m_formats;
    for (auto it = m_data.constBegin(); it != m_data.constEnd(); ++it)
        out.insert(PasteboardContents::mimeTypes(it.key()).constFirst(), it.value());
    return out;
}

std::optional<QByteArray> MemoryPasteboard::data(Type type) const {
    auto it = m_data.find(type);
    if (it == m_data.end())
        return std::nullopt;
    return *it;
}

std::optional<QString> MemoryPasteboard::string() const {
    auto bytes = data(Type::String);
    if (!bytes)
        return std::nullopt;
    return QString::fromUtf8(*bytes);
}

QList<QUrl> MemoryPasteboard::urls() const {
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
    m_formats.clear();
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
    m_formats.clear();
    ++m_changeCount;
    notifyChanged();
}

void MemoryPasteboard::simulateCopyFormats(const QMap<QString, QByteArray>& formats) {
    m_data.clear();
    m_formats = formats;
    ++m_changeCount;
    notifyChanged();
}
