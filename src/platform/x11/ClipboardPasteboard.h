// SPDX-License-Identifier: MIT
#pragma once

#include "platform/Pasteboard.h"

#include <QHash>
#include <QObject>
#include <QStringList>

class LazyMimeData;

// The X11 CLIPBOARD selection through QClipboard. The change count moves when another client takes
// the selection and when we clear it for a write of our own. Every read of a foreign owner's data is
// a blocking round trip, so each format is read at most once per change and kept.
class ClipboardPasteboard : public QObject, public Pasteboard {
    Q_OBJECT
public:
    ClipboardPasteboard();
    ~ClipboardPasteboard() override;

    qint64 changeCount() override { return m_changeCount; }
    QList<Type> types() override;
    std::optional<QByteArray> data(Type type) override;
    std::optional<QString> string() override;
    QList<QUrl> urls() override;

    qint64 clearContents() override;
    void setData(Type type, const QByteArray& data) override;
    void setString(const QString& text) override;
    void setURLs(const QList<QUrl>& urls) override;
    void setDataProvider(Type type, std::function<QByteArray()> make) override;

private:
    void onClipboardChanged();
    const QStringList& formats();
    std::optional<QByteArray> readFormat(const QString& mime);
    std::optional<QByteArray> readFirst(const QStringList& mimes);
    void publish();

    qint64 m_changeCount = 0;
    qint64 m_cachedFor = -1;
    QStringList m_formats;
    QHash<QString, std::optional<QByteArray>> m_cache;
    LazyMimeData* m_pending = nullptr; // what we are writing; handed to QClipboard on publish
    bool m_publishing = false;
    bool m_ownerUnresponsive = false; // the owner let a read time out during this change
};
