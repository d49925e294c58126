// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QtGlobal>

struct sqlite3;

// Hands out the row keys of one table. Each key is claimed in the store's sequence by a short
// transaction of its own before it is used, so two processes writing one store never pick the
// same key. When no claim can be made (the store busy past its timeout, or not writable) the key
// is provisional: the save checks it again under its write lock.
class KeyAllocator {
public:
    explicit KeyAllocator(const char* table) : m_table(table) {}

    struct Key {
        qint64 value = 0;
        bool claimed = false;
    };
    // pending: keys of this table handed out since the last save; a batch claims keys in growing blocks.
    Key next(sqlite3* db, qsizetype pending);
    // The highest key the store has used or claimed; run it inside the save's transaction.
    qint64 highestInStore(sqlite3* db, bool* ok) const;
    // A provisional key found taken: the next free key after the store's highest one.
    qint64 replacement(qint64 highestInStore);

    // The highest key handed out by this allocator (the save records it in the sequence).
    qint64 last() const { return m_last; }
    void setLast(qint64 key) { m_last = std::max(m_last, key); }
    // After a save: keys claimed but not handed out are left unused, so keys follow the order of
    // the saves across processes.
    void dropReserve() { m_reservedEnd = m_last; }

private:
    bool claim(sqlite3* db, qint64 count);

    QByteArray m_table;
    qint64 m_last = 0;
    qint64 m_reservedEnd = 0; // keys up to here are claimed for this allocator
};
