// SPDX-License-Identifier: MIT
#include "platform/x11/X11Workspace.h"

#include <QDesktopServices>
#include <QFileInfo>
#include <QLoggingCategory>
#include <QSysInfo>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

Q_LOGGING_CATEGORY(lcWorkspace, "tindralume.workspace", QtWarningMsg)

namespace {

// A window's property as raw bytes; empty when absent, of another format, or the window is gone
// (xcb reports the error in the reply instead of aborting, so a vanished window is harmless).
QByteArray property(xcb_connection_t* c, xcb_window_t w, xcb_atom_t prop, xcb_atom_t type, quint32 maxLongs = 1024) {
    xcb_generic_error_t* err = nullptr;
    xcb_get_property_reply_t* r = xcb_get_property_reply(c, xcb_get_property(c, 0, w, prop, type, 0, maxLongs), &err);
    QByteArray out;
    if (r && r->type != XCB_NONE) {
        const int len = xcb_get_property_value_length(r);
        out = QByteArray(static_cast<const char*>(xcb_get_property_value(r)), len);
    }
    std::free(r);
    std::free(err);
    return out;
}

bool hasProperty(xcb_connection_t* c, xcb_window_t w, xcb_atom_t prop) {
    xcb_get_property_reply_t* r =
        xcb_get_property_reply(c, xcb_get_property(c, 0, w, prop, XCB_GET_PROPERTY_TYPE_ANY, 0, 0), nullptr);
    const bool has = r && r->type != XCB_NONE;
    std::free(r);
    return has;
}

quint32 cardinal(const QByteArray& bytes) {
    if (bytes.size() < 4)
        return 0;
    quint32 v = 0;
    std::memcpy(&v, bytes.constData(), 4);
    return v;
}

} // namespace

struct X11Workspace::Connection {
    xcb_connection_t* c = nullptr;
    xcb_window_t root = 0;
    xcb_atom_t netActiveWindow = 0;
    xcb_atom_t netWmPid = 0;
    xcb_atom_t utf8String = 0;

    ~Connection() {
        if (c)
            xcb_disconnect(c);
    }

    xcb_atom_t atom(const char* name) {
        xcb_intern_atom_reply_t* r =
            xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, static_cast<uint16_t>(std::strlen(name)), name), nullptr);
        const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_ATOM_NONE);
        std::free(r);
        return a;
    }

    bool open() {
        if (c && !xcb_connection_has_error(c))
            return true;
        if (c) {
            xcb_disconnect(c);
            c = nullptr;
        }
        if (qEnvironmentVariableIsEmpty("DISPLAY"))
            return false;
        int screenNumber = 0;
        c = xcb_connect(nullptr, &screenNumber);
        if (xcb_connection_has_error(c)) {
            qCDebug(lcWorkspace) << "no X connection";
            xcb_disconnect(c);
            c = nullptr;
            return false;
        }
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
        for (int i = 0; i < screenNumber && it.rem; ++i)
            xcb_screen_next(&it);
        root = it.data ? it.data->root : 0;
        netActiveWindow = atom("_NET_ACTIVE_WINDOW");
        netWmPid = atom("_NET_WM_PID");
        utf8String = atom("UTF8_STRING");
        return root != 0;
    }

    // The window itself or its nearest ancestor that carries WM_CLASS; 0 when none does.
    xcb_window_t climbToClient(xcb_window_t w) {
        for (int depth = 0; w && w != root && depth < 64; ++depth) {
            if (hasProperty(c, w, XCB_ATOM_WM_CLASS))
                return w;
            xcb_query_tree_reply_t* tree = xcb_query_tree_reply(c, xcb_query_tree(c, w), nullptr);
            if (!tree)
                return 0;
            const xcb_window_t parent = tree->parent;
            std::free(tree);
            w = parent;
        }
        return 0;
    }

    xcb_window_t activeWindow() {
        const QByteArray active = property(c, root, netActiveWindow, XCB_ATOM_WINDOW, 1);
        if (!active.isEmpty()) {
            // A window manager that says no window is active: no application is in front.
            const xcb_window_t w = cardinal(active);
            return w ? climbToClient(w) : 0;
        }
        // No window manager (or one that has not announced a focus yet): follow the input focus.
        xcb_get_input_focus_reply_t* focus = xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr);
        xcb_window_t w = focus ? focus->focus : 0;
        std::free(focus);
        if (w == XCB_INPUT_FOCUS_POINTER_ROOT || w == XCB_NONE)
            return 0;
        return climbToClient(w);
    }
};

X11Workspace::X11Workspace() = default;
X11Workspace::~X11Workspace() = default;

std::optional<X11Workspace::WindowInfo> X11Workspace::activeWindowInfo() {
    QMutexLocker lock(&m_mutex);
    if (!m_x)
        m_x = std::make_unique<Connection>();
    if (!m_x->open())
        return std::nullopt;
    const xcb_window_t w = m_x->activeWindow();
    if (!w)
        return std::nullopt;
    WindowInfo info;
    info.window = w;
    // WM_CLASS is two NUL-terminated Latin-1 strings: instance, then class.
    const QList<QByteArray> parts = property(m_x->c, w, XCB_ATOM_WM_CLASS, XCB_ATOM_STRING).split('\0');
    info.wmInstance = parts.size() > 0 ? QString::fromLatin1(parts.at(0)) : QString();
    info.wmClass = parts.size() > 1 ? QString::fromLatin1(parts.at(1)) : QString();
    // A process id means something here only when the client runs on this machine (not, say, over
    // a forwarded X connection); otherwise /proc would name some unrelated local process.
    const QByteArray machine = property(m_x->c, w, XCB_ATOM_WM_CLIENT_MACHINE, XCB_ATOM_STRING);
    const bool local = machine.isEmpty() ||
                       QString::fromLatin1(machine).compare(QSysInfo::machineHostName(), Qt::CaseInsensitive) == 0 ||
                       machine == "localhost";
    if (local) {
        info.pid = cardinal(property(m_x->c, w, m_x->netWmPid, XCB_ATOM_CARDINAL, 1));
        if (info.pid > 0)
            info.exePath = QFileInfo(QStringLiteral("/proc/%1/exe").arg(info.pid)).symLinkTarget();
    }
    return info;
}

std::optional<RunningApplication> X11Workspace::frontmostApplication() {
    const std::optional<WindowInfo> info = activeWindowInfo();
    if (!info)
        return std::nullopt;
    RunningApplication app;
    app.processId = info->pid;
    if (auto entry = m_entries.match(info->wmInstance, info->wmClass, info->exePath)) {
        app.bundleIdentifier = entry->id;
        app.localizedName = entry->name;
        return app;
    }
    QString id = info->wmClass.isEmpty() ? info->wmInstance : info->wmClass;
    if (id.isEmpty() && !info->exePath.isEmpty())
        id = QFileInfo(info->exePath).fileName();
    if (id.isEmpty())
        return std::nullopt;
    app.bundleIdentifier = id;
    app.localizedName = id;
    QMutexLocker lock(&m_mutex);
    m_exeForId.insert(id, info->exePath.isEmpty() ? id : info->exePath);
    return app;
}

std::optional<QString> X11Workspace::applicationPath(const QString& bundleIdentifier) {
    if (bundleIdentifier.isEmpty())
        return std::nullopt;
    if (auto entry = m_entries.byId(bundleIdentifier))
        return entry->path;
    QMutexLocker lock(&m_mutex);
    auto it = m_exeForId.constFind(bundleIdentifier);
    if (it == m_exeForId.constEnd())
        return std::nullopt;
    return *it;
}

QImage X11Workspace::iconForFile(const QString& path) {
    if (path.endsWith(QLatin1String(".desktop"))) {
        const auto entry = DesktopEntries::parse(path, QFileInfo(path).completeBaseName());
        return entry ? DesktopEntries::loadIcon(entry->icon) : QImage();
    }
    // An application without a desktop entry: an icon named after its program, when a theme has one.
    return DesktopEntries::loadIcon(QFileInfo(path).fileName());
}

bool X11Workspace::openUrl(const QUrl& url) {
    return QDesktopServices::openUrl(url);
}
