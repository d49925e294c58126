// SPDX-License-Identifier: MIT
#include "platform/x11/X11WindowStacking.h"

#include <QGuiApplication>
#include <QRegion>

#include <xcb/xcb.h>

#include <cstdlib>
#include <memory>
#include <vector>

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeDeleter>;

// The window's outer rectangle in its parent, border included.
QRect outerRect(const xcb_get_geometry_reply_t& g) {
    return QRect(g.x, g.y, g.width + 2 * g.border_width, g.height + 2 * g.border_width);
}

qint64 areaOf(const QRegion& region) {
    qint64 total = 0;
    for (const QRect& r : region)
        total += qint64(r.width()) * r.height();
    return total;
}

} // namespace

WindowVisibility X11WindowStacking::visibility(quintptr window, const QRect& area) {
    WindowVisibility result;
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (!c || !window)
        return result;
    result.known = true;

    // A managed window sits in the window manager's frame: the frame is what is stacked among the
    // root's children.
    xcb_window_t top = xcb_window_t(window);
    xcb_window_t root = 0;
    for (int depth = 0; depth < 16; ++depth) {
        Reply<xcb_query_tree_reply_t> tree(xcb_query_tree_reply(c, xcb_query_tree(c, top), nullptr));
        if (!tree)
            return result;
        root = tree->root;
        if (tree->parent == root || tree->parent == XCB_NONE)
            break;
        top = tree->parent;
    }
    Reply<xcb_get_window_attributes_reply_t> own(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, xcb_window_t(window)), nullptr));
    Reply<xcb_get_window_attributes_reply_t> topAttributes(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, top), nullptr));
    Reply<xcb_get_geometry_reply_t> topGeometry(xcb_get_geometry_reply(c, xcb_get_geometry(c, top), nullptr));
    Reply<xcb_get_geometry_reply_t> rootGeometry(xcb_get_geometry_reply(c, xcb_get_geometry(c, root), nullptr));
    if (!own || !topAttributes || !topGeometry || !rootGeometry)
        return result;
    result.viewable = own->map_state == XCB_MAP_STATE_VIEWABLE && topAttributes->map_state == XCB_MAP_STATE_VIEWABLE;
    if (!result.viewable)
        return result;
    const QRect judged = area.isEmpty() ? outerRect(*topGeometry) : area;
    const QRegion onScreen = QRegion(judged) & QRegion(outerRect(*rootGeometry));
    result.onScreenArea = areaOf(onScreen);

    Reply<xcb_query_tree_reply_t> siblings(xcb_query_tree_reply(c, xcb_query_tree(c, root), nullptr));
    if (!siblings)
        return result;
    const xcb_window_t* children = xcb_query_tree_children(siblings.get());
    const int count = xcb_query_tree_children_length(siblings.get());
    int index = 0;
    while (index < count && children[index] != top)
        ++index;
    // Children come bottom to top: everything after ours is above it. Ask for all at once.
    std::vector<std::pair<xcb_get_window_attributes_cookie_t, xcb_get_geometry_cookie_t>> cookies;
    for (int i = index + 1; i < count; ++i)
        cookies.emplace_back(xcb_get_window_attributes(c, children[i]), xcb_get_geometry(c, children[i]));
    QRegion uncovered = onScreen;
    for (const auto& [attributesCookie, geometryCookie] : cookies) {
        Reply<xcb_get_window_attributes_reply_t> attributes(
            xcb_get_window_attributes_reply(c, attributesCookie, nullptr));
        Reply<xcb_get_geometry_reply_t> geometry(xcb_get_geometry_reply(c, geometryCookie, nullptr));
        // Unmapped and input-only windows (a window manager's helper windows) show nothing.
        if (!attributes || !geometry || attributes->map_state != XCB_MAP_STATE_VIEWABLE ||
            attributes->_class == XCB_WINDOW_CLASS_INPUT_ONLY)
            continue;
        uncovered -= QRegion(outerRect(*geometry));
    }
    result.uncoveredArea = areaOf(uncovered);
    return result;
}
