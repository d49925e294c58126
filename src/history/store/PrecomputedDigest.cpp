// SPDX-License-Identifier: MIT
#include "history/store/PrecomputedDigest.h"

#include "history/store/ManagedObjectContext.h"

#include <QMutex>

#include <algorithm>
#include <vector>

namespace {

QMutex g_mutex;
std::vector<const PrecomputedDigest*> g_registered;

const OptData& digestedBytes(const OptData& imageData, const OptData& originalImageData) {
    return originalImageData ? originalImageData : imageData;
}

// The same shared data: equal contents that were copied separately do not count.
bool sameData(const OptString& a, const OptString& b) {
    return a && b && a->constData() == b->constData() && a->size() == b->size();
}
bool sameData(const OptData& a, const OptData& b) {
    return a && b && a->constData() == b->constData() && a->size() == b->size();
}

} // namespace

PrecomputedDigest::PrecomputedDigest(const QString& type, const OptString& text, const OptData& imageData,
                                     const OptData& originalImageData)
    : m_type(type), m_text(text), m_bytes(digestedBytes(imageData, originalImageData)),
      m_digest(ManagedObjectContext::contentDigest(type, text, imageData, originalImageData, std::nullopt)) {
    QMutexLocker lock(&g_mutex);
    g_registered.push_back(this);
}

PrecomputedDigest::~PrecomputedDigest() {
    QMutexLocker lock(&g_mutex);
    std::erase(g_registered, this);
}

std::optional<QByteArray> PrecomputedDigest::lookup(const QString& type, const OptString& text,
                                                    const OptData& imageData, const OptData& originalImageData) {
    const OptData& bytes = digestedBytes(imageData, originalImageData);
    QMutexLocker lock(&g_mutex);
    for (const PrecomputedDigest* d : g_registered) {
        if (d->m_type != type)
            continue;
        if (sameData(d->m_text, text) || sameData(d->m_bytes, bytes))
            return d->m_digest;
    }
    return std::nullopt;
}
