// SPDX-License-Identifier: MIT
#pragma once

#include "history/store/ManagedObjectContext.h"
#include "history/store/Predicate.h"

#include <QSet>
#include <QString>

#include <mutex>
#include <vector>

struct sqlite3;

// A read-only connection of its own to the store, for running a request's query off the context's
// thread: it gives only the row keys, in the request's order, and the context then reads those
// rows (without their texts); and for reading an entry's whole text or picture there. Sees what is
// saved, not a context's pending changes. Any thread, one call at a time.
class StoreReader {
public:
    explicit StoreReader(QString path);
    ~StoreReader();
    StoreReader(const StoreReader&) = delete;
    StoreReader& operator=(const StoreReader&) = delete;

    // knownTypes: ManagedObjectContext::knownTypes(), for searches by type name.
    bool keys(const FetchRequest& request, const QSet<QString>& knownTypes, std::vector<qint64>* out,
              StoreError* error);
    // One binary attribute of the entry with the given key (a ClipboardItem::Field with binary
    // data); std::nullopt when it has none or the row is gone.
    bool itemBlob(qint64 key, ClipboardItem::Field field, OptData* out, StoreError* error);
    // One attribute of an entry as stored, a text as its UTF-8 bytes; nullopt for none. *found is
    // false when the entry is not stored (any more).
    bool attribute(qint64 key, const char* column, OptData* out, bool* found, StoreError* error);
    // The size of an entry's binary attributes together, known from the row's header without
    // reading them; 0 for an entry not stored.
    bool binaryBytes(qint64 key, qint64* out, StoreError* error);

private:
    bool open(StoreError* error);

    const QString m_path;
    std::mutex m_mutex;
    sqlite3* m_db = nullptr;
};
