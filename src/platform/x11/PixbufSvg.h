// SPDX-License-Identifier: MIT
#pragma once

#include <QImage>
#include <QString>

// SVG drawn as GTK desktops draw their icons: by the gdk-pixbuf SVG loader (librsvg), opened at run
// time where the system has it. Qt's SVG renderer leaves out masks and filters, which some
// application icons are built with. Safe on any thread.
namespace PixbufSvg {

// The file rendered to fit size x size, keeping its aspect; a null image when the loader is
// missing or cannot read the file.
QImage render(const QString& path, int size);

} // namespace PixbufSvg
