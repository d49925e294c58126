// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <vector>

struct sqlite3;

// The store's WAL at start. Entries go into the WAL first and into the store at the checkpoint, so a
// large entry needs about twice its size on the disk until then. A WAL that the store cannot take in
// for want of disk space would make every later save fail, at every launch: its newest large entries
// are taken out until the rest fits, and put back where the disk has room for them.
namespace StoreLog {

// On the store's only connection, before anything else uses it. Entries of at least minBytes may be
// taken out; returns the sizes of those that could not be put back.
std::vector<qint64> settle(sqlite3* db, const QString& storePath, qint64 minBytes);

} // namespace StoreLog
