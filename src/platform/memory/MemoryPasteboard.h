// SPDX-License-Identifier: MIT
#pragma once

#include "platform/Pasteboard.h"

#include <QMap>

// In-memory pasteboard for unit tests. simulateCopy() stands for another application's copy.
class MemoryPasteboard : public Pasteboard {
public:
    qint64 changeCount() override { return m_changeCount; }
    QList<Type> types() override { return m_data.keys(); }
    std::optional<QByteArray> data(Type type) override;
    std::optional<QString> string() override;
    QList<QUrl> urls() override;

    qint64 clearContents() override;
    void setData(Type type, const QByteArray& data) override { m_data.insert(type, data); }
    void setString(const QString& text) override { m_data.insert(Type::String, text.toUtf8()); }
    void setURLs(const QList<QUrl>& urls) override;

    void simulateCopy(const QMap<Type, QByteArray>& contents);

private:
    qint64 m_changeCount = 0;
    QMap<Type, QByteArray> m_data;
};
