// SPDX-License-Identifier: MIT
#pragma once

#include "platform/Dispatch.h"
#include "platform/Pasteboard.h"

#include <QMap>

#include <optional>

// In-memory pasteboard for unit tests. simulateCopy() stands for another application's copy; the
// typed reads below let tests look at what was written.
class MemoryPasteboard : public Pasteboard {
public:
    ~MemoryPasteboard() override;

    qint64 changeCount() override { return m_changeCount; }
    // The work runs on a thread of its own with the contents as they are at this call.
    void readContents(std::function<void(PasteboardContents&)> work) override;

    qint64 clearContents() override;
    void setData(Type type, const QByteArray& data) override { m_data.insert(type, data); }
    void setString(const QString& text) override { m_data.insert(Type::String, text.toUtf8()); }
    void setURLs(const QList<QUrl>& urls) override;
    void setFormat(const QString& mime, const QByteArray& data) override { m_formats.insert(mime, data); }

    QList<Type> types() const { return m_data.keys(); }
    std::optional<QByteArray> data(Type type) const;
    std::optional<QString> string() const;
    QList<QUrl> urls() const;

    void simulateCopy(const QMap<Type, QByteArray>& contents);
    // A copy by MIME type, as an owner on this desktop offers it.
    void simulateCopyFormats(const QMap<QString, QByteArray>& formats);

    // Everything written or offered, by MIME type.
    QMap<QString, QByteArray> formats() const;

private:
    qint64 m_changeCount = 0;
    QMap<Type, QByteArray> m_data;
    QMap<QString, QByteArray> m_formats;
    SerialQueue m_readerQueue;
};
