// SPDX-License-Identifier: MIT
#include "history/store/PrecomputedContent.h"

#include "history/store/ManagedObjectContext.h"
#include "history/store/StoreInternals.h"
#include "history/store/TextFolding.h"

#include <QCryptographicHash>
#include <QMutex>

#include <algorithm>

#include <vector>

namespace {

// Only contents this large are worth a look-up on every digest and fold.
constexpr qsizetype kWorthIt = 64 * 1024;

QMutex g_mutex;
std::vector<const PrecomputedContent*> g_registered;

const OptData& digestedBytes(const OptData& imageData, const OptData& originalImageData) {
    return originalImageData ? originalImageData : imageData;
}

// The same shared data: equal contents that were copied separately do not count.
template <typename T> bool sameData(const std::optional<T>& a, const T* b) {
    return a && b && a->constData() == b->constData() && a->size() == b->size();
}

// The store's digest of the content. A plain ASCII text is already in normal form and its UTF-8 is
// its Latin-1, so it is hashed piece by piece instead of as one more whole copy.
QByteArray digestOf(const QString& type, const OptString& text, const OptData& imageData,
                    const OptData& originalImageData) {
    const bool isText =
        type == QLatin1String("text") || type == QLatin1String("richText") || type == QLatin1String("url");
    if (!isText || !text || text->size() < kWorthIt ||
        !std::all_of(text->cbegin(), text->cend(), [](QChar c) { return c.unicode() < 0x80; }))
        return ManagedObjectContext::contentDigest(type, text, imageData, originalImageData, std::nullopt);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    constexpr qsizetype kPiece = 1024 * 1024;
    for (qsizetype at = 0; at < text->size(); at += kPiece)
        hash.addData(QStringView(*text).mid(at, kPiece).toLatin1());
    return hash.result();
}

} // namespace

PrecomputedContent::PrecomputedContent(const QString& type, const OptString& text, const OptData& imageData,
                                       const OptData& originalImageData)
    : m_type(type), m_text(text), m_bytes(digestedBytes(imageData, originalImageData)),
      m_digest(digestOf(type, text, imageData, originalImageData)) {
    if (text)
        m_folded = text->size() < StoreInternals::kUnfoldedTextSize ? TextFolding::fold(*text) : QString();
    QMutexLocker lock(&g_mutex);
    g_registered.push_back(this);
}

PrecomputedContent::~PrecomputedContent() {
    QMutexLocker lock(&g_mutex);
    std::erase(g_registered, this);
}

std::optional<QByteArray> PrecomputedContent::digest(const QString& type, const OptString& text,
                                                     const OptData& imageData, const OptData& originalImageData) {
    const OptData& bytes = digestedBytes(imageData, originalImageData);
    if ((!text || text->size() < kWorthIt) && (!bytes || bytes->size() < kWorthIt))
        return std::nullopt;
    QMutexLocker lock(&g_mutex);
    for (const PrecomputedContent* p : g_registered) {
        if (p->m_type == type &&
            (sameData(p->m_text, text ? &*text : nullptr) || sameData(p->m_bytes, bytes ? &*bytes : nullptr)))
            return p->m_digest;
    }
    return std::nullopt;
}

std::optional<QString> PrecomputedContent::folded(const QString& text) {
    // Too large a text is never kept folded, and so is not folded ahead either.
    if (text.size() < kWorthIt || text.size() >= StoreInternals::kUnfoldedTextSize)
        return std::nullopt;
    QMutexLocker lock(&g_mutex);
    for (const PrecomputedContent* p : g_registered) {
        if (sameData(p->m_text, &text))
            return p->m_folded;
    }
    return std::nullopt;
}
