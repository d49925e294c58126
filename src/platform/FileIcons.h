// SPDX-License-Identifier: MIT
#pragma once

#include <QIcon>
#include <QString>

// The desktop's icon for a file, by its MIME type, from the freedesktop icon theme. When the
// current theme has no such icons (a bare X session), an installed full theme is used instead.
namespace FileIcons {

QIcon iconForFile(const QString& path);
// Picks the installed full theme when the current one has no file icons; once per process.
void ensureIconTheme();

} // namespace FileIcons
