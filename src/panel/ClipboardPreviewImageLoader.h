// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QHash>
#include <QImage>
#include <QMutex>
#include <QObject>
#include <QSize>
#include <QString>

#include <functional>
#include <list>
#include <memory>

class SerialQueue;

// Decodes the stored pictures of image entries into thumbnails on one serial background queue and
// keeps them in a cache bounded by count and by decoded bytes (width x height x 4), so memory stays
// bounded whatever the encoded sizes. The cache is safe from any thread.
class ClipboardPreviewImageLoader {
public:
    static constexpr int countLimit = 200;
    static constexpr qint64 totalCostLimit = 80LL * 1024 * 1024;
    // Larger pictures are refused before any pixel is allocated.
    static constexpr qint64 maxDecodedBytes = 64LL * 1024 * 1024;
    // A thumbnail is kept at the size that fills this (the card's body at twice its size).
    static constexpr QSize thumbnailSize{416, 368};

    static ClipboardPreviewImageLoader& shared();

    // A null image on a miss; a hit counts as a use for the eviction order.
    QImage cachedImage(const QString& key);
    void insert(const QString& key, const QImage& image);
    void removeAllObjects();
    int count() const;
    qint64 totalCost() const;

    // Decodes on the queue and calls the completion on the main thread with the image (null when
    // the data is no picture); dropped when the context is gone by then.
    void load(const QByteArray& data, const QString& key, QObject* context, std::function<void(QImage)> completion);

    static QImage makeImage(const QByteArray& data);

private:
    ClipboardPreviewImageLoader();
    ~ClipboardPreviewImageLoader();
    void evictLocked();

    struct Slot {
        QImage image;
        qint64 cost = 0;
    };
    mutable QMutex m_mutex;
    std::list<QString> m_order; // least recently used first
    QHash<QString, std::pair<Slot, std::list<QString>::iterator>> m_slots;
    qint64 m_totalCost = 0;
    std::unique_ptr<SerialQueue> m_queue;
};
