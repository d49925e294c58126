// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <sys/types.h>

// Files and folders of the user's that nobody else may change (settings, the login entry, the
// single-instance folder): files 0600 and folders 0700, whatever the umask.
namespace PrivateFiles {

// Creates the folder and each missing parent with mode 0700; folders that already exist keep
// their mode. False when the folder cannot be made.
bool makeFolders(const QString& dir);
// Takes the group and other bits away from an existing file or folder (a symbolic link is left).
void restrictToOwner(const QString& path);
// True when the folder exists, is no symbolic link, belongs to this user and only they can write
// to it: a lock or socket there cannot have been planted by someone else.
bool isOwnPrivateFolder(const QString& dir);
// True when the path does not exist or belongs to this user.
bool isAbsentOrOwn(const QString& path);

// Writes the data under a fresh name in the folder open as `dir`, then renames that over `name`:
// a symbolic link there is replaced, never written through. The file is created with `mode`, less
// the umask unless `exactMode`. False with errno telling why; nothing is left under the fresh name.
bool writeAtomicallyAt(int dir, const QByteArray& name, const QByteArray& data, mode_t mode, bool exactMode);
// Writes the contents under a fresh name beside the path, mode 0600, and renames that over the
// path: a symbolic link there is replaced, never written through. False with the reason in *error.
bool replaceFile(const QString& path, const QByteArray& contents, QString* error);
// Replaces a symbolic link at the path with a 0600 file holding what its target holds (nothing when
// it points nowhere), so that a later write in place cannot reach the target. True when no link is
// left there.
bool replaceLinkWithCopy(const QString& path, QString* error);
// Removes the file, or a symbolic link itself; an absent one counts as removed.
bool removeFile(const QString& path, QString* error);

} // namespace PrivateFiles
