// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

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

} // namespace PrivateFiles
