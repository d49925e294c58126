// SPDX-License-Identifier: MIT
#pragma once

#include "history/store/Entities.h"

#include <QByteArray>
#include <QString>

#include <optional>

// What the store works out from a capture's content (its digest, and for a text its folded copy for
// search), done ahead off the main thread for a capture about to be stored. While this object
// lives, ManagedObjectContext::contentDigest and TextFolding::fold answer for the very same content
// (the same shared data, not merely equal data) from here, so finding duplicates and saving on the
// main thread do not go over a large image or text again. Thread-safe.
class PrecomputedContent {
public:
    PrecomputedContent(const QString& type, const OptString& text, const OptData& imageData,
                       const OptData& originalImageData);
    ~PrecomputedContent();
    PrecomputedContent(const PrecomputedContent&) = delete;
    PrecomputedContent& operator=(const PrecomputedContent&) = delete;

    static std::optional<QByteArray> digest(const QString& type, const OptString& text, const OptData& imageData,
                                            const OptData& originalImageData);
    static std::optional<QString> folded(const QString& text);

private:
    QString m_type;
    OptString m_text;
    OptData m_bytes; // the digested bytes; kept, so that their address cannot be reused meanwhile
    QByteArray m_digest;
    QString m_folded;
};
