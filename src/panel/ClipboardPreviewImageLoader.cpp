// SPDX-License-Identifier: MIT
#include "panel/ClipboardPreviewImageLoader.h"

#include "platform/Dispatch.h"
#include "platform/ImageUtils.h"

#include <QMutexLocker>

#include <QPointer>
#include <cmath>

ClipboardPreviewImageLoader& ClipboardPreviewImageLoader::shared() {
    // Never destroyed: a decode may still be queued while the process exits.
    static auto* instance = new ClipboardPreviewImageLoader;
    return *instance;
}

ClipboardPreviewImageLoader::ClipboardPreviewImageLoader() : m_queue(std::make_unique<SerialQueue>()) {}

ClipboardPreviewImageLoader::~ClipboardPreviewImageLoader() = default;

QImage ClipboardPreviewImageLoader::cachedImage(const QString& key) {
    QMutexLocker lock(&m_mutex);
    auto it = m_slots.find(key);
    if (it == m_slots.end())
        return {};
    m_order.splice(m_order.end(), m_order, it->second);
    return it->first.image;
}

void ClipboardPreviewImageLoader::insert(const QString& key, const QImage& image) {
    if (image.isNull())
        return;
    const qint64 cost = qint64(image.width()) * image.height() * 4;
    QMutexLocker lock(&m_mutex);
    if (auto it = m_slots.find(key); it != m_slots.end()) {
        m_totalCost -= it->first.cost;
        m_order.erase(it->second);
        m_slots.erase(it);
    }
    if (cost > totalCostLimit)
        return; // would evict everything else and still not fit
    m_order.push_back(key);
    m_slots.insert(key, {Slot{image, cost}, std::prev(m_order.end())});
    m_totalCost += cost;
    evictLocked();
}

void ClipboardPreviewImageLoader::evictLocked() {
    while (!m_order.empty() && (m_slots.size() > countLimit || m_totalCost > totalCostLimit)) {
        auto it = m_slots.find(m_order.front());
        m_totalCost -= it->first.cost;
        m_slots.erase(it);
        m_order.pop_front();
    }
}

void ClipboardPreviewImageLoader::removeAllObjects() {
    QMutexLocker lock(&m_mutex);
    m_slots.clear();
    m_order.clear();
    m_totalCost = 0;
}

int ClipboardPreviewImageLoader::count() const {
    QMutexLocker lock(&m_mutex);
    return static_cast<int>(m_slots.size());
}

qint64 ClipboardPreviewImageLoader::totalCost() const {
    QMutexLocker lock(&m_mutex);
    return m_totalCost;
}

void ClipboardPreviewImageLoader::load(const QByteArray& data, const QString& key, QObject* context,
                                       std::function<void(QImage)> completion) {
    QPointer<QObject> weak(context);
    m_queue->async([this, data, key, weak, completion = std::move(completion)] {
        const QImage image = makeImage(data);
        if (!image.isNull())
            insert(key, image);
        Dispatch::onMain([weak, image, completion] {
            if (weak)
                completion(image);
        });
    });
}

QImage ClipboardPreviewImageLoader::makeImage(const QByteArray& data) {
    // The header's size bounds the allocation before any pixel is decoded.
    QImage image = ImageUtils::decode(data, maxDecodedBytes / 4);
    if (image.isNull())
        return image;
    // No more pixels than the body shows at twice its size: less memory, and less for the main
    // thread to upload and scale.
    const double scale =
        std::max(double(thumbnailSize.width()) / image.width(), double(thumbnailSize.height()) / image.height());
    if (scale < 1)
        image = image.scaled(std::max(1, int(std::lround(image.width() * scale))),
                             std::max(1, int(std::lround(image.height() * scale))), Qt::IgnoreAspectRatio,
                             Qt::SmoothTransformation);
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}
