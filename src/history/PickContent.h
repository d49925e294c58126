// SPDX-License-Identifier: MIT
#pragma once

#include "history/DocumentFormats.h"
#include "history/store/Entities.h"

#include <QList>
#include <QUrl>

#include <functional>
#include <map>

class StoreReader;
struct StoreError;

// What a pick puts on the clipboard, read and checked before anything changes.
struct PickContent {
    OptData text; // UTF-8
    OptData rich;
    // Beside RTF, for the programs that read rich text only as HTML. Not in bytes(): made from the
    // RTF it is not stored, and kept it is among the stored bytes.
    OptData html;
    OptData png;
    QList<QUrl> urls;
    DocumentFormats::List documentFormats;
    // The entry's text and binary attributes as stored, when the reader found out: a change of the
    // entry rewrites them all (0: unknown).
    qint64 storedBytes = 0;

    bool isEmpty() const { return !text && !rich && !png && urls.isEmpty(); }
    // What a change of the entry writes, as far as known.
    qint64 bytes() const;

    // Read on the entry's own thread, through its context.
    static PickContent of(const ClipboardItem& item, bool plainText);
};

// The part of an entry a pick needs, taken on the entry's thread from what is in memory; what is
// not is read on another thread through a reader connection, so that a large text or picture is
// never read, nor converted, on the entry's thread.
class PickRequest {
public:
    PickRequest(const ClipboardItem& item, bool plainText);

    // Any thread. False when the store could not be read, no longer holds the entry, or `wanted`
    // said no before a read.
    bool read(StoreReader& reader, const std::function<bool()>& wanted, PickContent* out, StoreError* error) const;

private:
    qint64 m_key = 0;
    QString m_type;
    bool m_plainText = false;
    QList<QUrl> m_urls;
    QString m_firstFile; // with the further files not read yet: they are read with the rest
    bool m_moreFilesStored = false;
    LargeTextPtr m_largeText;
    std::optional<OptString> m_text;    // set when in memory
    std::map<quint32, OptData> m_blobs; // the binary attributes in memory, by field
};
