// SPDX-License-Identifier: MIT
#pragma once

#include "history/store/Entities.h"

#include <QByteArray>
#include <QString>

#include <optional>

// A content digest worked out ahead, off the main thread, for a capture about to be stored: while
// this object lives, ManagedObjectContext::contentDigest answers for the very same content (the
// same shared bytes, not merely equal ones) from here, so finding duplicates and saving on the main
// thread do not hash a large image or text again. Thread-safe.
class PrecomputedDigest {
public:
    PrecomputedDigest(const QString& type, const OptString& text, const OptData& imageData,
                      const OptData& originalImageData);
    ~PrecomputedDigest();
    PrecomputedDigest(const PrecomputedDigest&) = delete;
    PrecomputedDigest& operator=(const PrecomputedDigest&) = delete;

    // The digest registered for exactly this content, if any.
    static std::optional<QByteArray> lookup(const QString& type, const OptString& text, const OptData& imageData,
                                            const OptData& originalImageData);

private:
    QString m_type;
    OptString m_text;
    OptData m_bytes; // the bytes the digest is taken from; kept, so their address cannot be reused
    QByteArray m_digest;
};
