// SPDX-License-Identifier: MIT
#include "platform/x11/PixbufSvg.h"

#include <QFile>

#include <dlfcn.h>

namespace {

// The few gdk-pixbuf and GLib calls used, by their C signatures.
struct GError {
    unsigned domain;
    int code;
    char* message;
};
using LoaderNew = void* (*)(const char*, GError**);
using LoaderSetSize = void (*)(void*, int, int);
using LoaderWrite = int (*)(void*, const unsigned char*, size_t, GError**);
using LoaderClose = int (*)(void*, GError**);
using LoaderPixbuf = void* (*)(void*);
using IntGetter = int (*)(const void*);
using PixelsGetter = unsigned char* (*)(const void*);
using Unref = void (*)(void*);
using ErrorFree = void (*)(GError*);

struct Pixbuf {
    LoaderNew loaderNew = nullptr;
    LoaderSetSize setSize = nullptr;
    LoaderWrite write = nullptr;
    LoaderClose close = nullptr;
    LoaderPixbuf loaderPixbuf = nullptr;
    IntGetter width = nullptr, height = nullptr, rowstride = nullptr, channels = nullptr, hasAlpha = nullptr;
    PixelsGetter pixels = nullptr;
    Unref unref = nullptr;
    ErrorFree errorFree = nullptr;

    bool usable() const {
        return loaderNew && setSize && write && close && loaderPixbuf && width && height && rowstride && channels &&
               hasAlpha && pixels && unref && errorFree;
    }
};

const Pixbuf& pixbuf() {
    // Opened once and kept for the life of the process; a system without it simply has none.
    static const Pixbuf loaded = [] {
        Pixbuf p;
        void* lib = dlopen("libgdk_pixbuf-2.0.so.0", RTLD_NOW | RTLD_LOCAL);
        if (!lib)
            return p;
        const auto symbol = [lib](const char* name) { return dlsym(lib, name); };
        p.loaderNew = reinterpret_cast<LoaderNew>(symbol("gdk_pixbuf_loader_new_with_type"));
        p.setSize = reinterpret_cast<LoaderSetSize>(symbol("gdk_pixbuf_loader_set_size"));
        p.write = reinterpret_cast<LoaderWrite>(symbol("gdk_pixbuf_loader_write"));
        p.close = reinterpret_cast<LoaderClose>(symbol("gdk_pixbuf_loader_close"));
        p.loaderPixbuf = reinterpret_cast<LoaderPixbuf>(symbol("gdk_pixbuf_loader_get_pixbuf"));
        p.width = reinterpret_cast<IntGetter>(symbol("gdk_pixbuf_get_width"));
        p.height = reinterpret_cast<IntGetter>(symbol("gdk_pixbuf_get_height"));
        p.rowstride = reinterpret_cast<IntGetter>(symbol("gdk_pixbuf_get_rowstride"));
        p.channels = reinterpret_cast<IntGetter>(symbol("gdk_pixbuf_get_n_channels"));
        p.hasAlpha = reinterpret_cast<IntGetter>(symbol("gdk_pixbuf_get_has_alpha"));
        p.pixels = reinterpret_cast<PixelsGetter>(symbol("gdk_pixbuf_get_pixels"));
        p.unref = reinterpret_cast<Unref>(symbol("g_object_unref"));
        p.errorFree = reinterpret_cast<ErrorFree>(symbol("g_error_free"));
        return p;
    }();
    return loaded;
}

// Icons are small; a larger file is no icon and is left to Qt's reader.
constexpr qint64 maxFileBytes = 8 * 1024 * 1024;

} // namespace

namespace PixbufSvg {

QImage render(const QString& path, int size) {
    const Pixbuf& p = pixbuf();
    if (!p.usable() || size <= 0)
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() > maxFileBytes)
        return {};
    const QByteArray data = file.readAll();
    // Named by type, not sniffed: sniffing needs the MIME database of the data directories.
    GError* error = nullptr;
    void* loader = p.loaderNew("svg", &error);
    if (!loader) {
        if (error)
            p.errorFree(error);
        return {};
    }
    p.setSize(loader, size, size);
    const bool written =
        p.write(loader, reinterpret_cast<const unsigned char*>(data.constData()), size_t(data.size()), &error);
    // Closed in any case; a failed write leaves an error to free and no picture.
    const bool closed = p.close(loader, written ? &error : nullptr);
    if (error)
        p.errorFree(error);
    QImage result;
    if (void* image = written && closed ? p.loaderPixbuf(loader) : nullptr) {
        const int w = p.width(image), h = p.height(image), stride = p.rowstride(image), channels = p.channels(image);
        // 8-bit RGB or RGBA rows, not premultiplied; the loader owns the picture.
        if (w > 0 && h > 0 && (channels == 3 || channels == 4) && stride >= w * channels) {
            const QImage::Format format =
                channels == 4 && p.hasAlpha(image) ? QImage::Format_RGBA8888 : QImage::Format_RGB888;
            result = QImage(p.pixels(image), w, h, stride, format).copy();
        }
    }
    p.unref(loader);
    return result;
}

} // namespace PixbufSvg
