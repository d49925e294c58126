// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

// The store's files on disk: its folder and every file of it readable by their owner only,
// whatever the umask, since they hold everything the user copied.
namespace StoreFiles {

// Creates the folder (and missing parents) when absent; the folder itself is made 0700. False,
// with a message, when it cannot be created.
bool makeFolder(const QString& dir, QString* error);
// Creates an empty store file with mode 0600 when none exists yet, so that SQLite, which gives
// the -wal and -shm files the mode of the store, never makes any of them readable by others.
bool createFile(const QString& path, QString* error);
// Makes the store and its -wal and -shm files 0600 where they exist with a looser mode.
void restrictToOwner(const QString& path);
// Sets a folder to 0700 (the application's own data folder, possibly made by an older version).
void restrictFolderToOwner(const QString& dir);
// The first of the store file and its -wal and -shm files that is a symbolic link, else empty.
// SQLite would write through such a link into whatever file it points to.
QString linkAmong(const QString& path);
// True when the file is marked read-only (no write bit for its owner) or cannot be written by
// this process: the store would then fail every save.
bool isWriteProtected(const QString& path);

} // namespace StoreFiles
