// SPDX-License-Identifier: MIT
#include "platform/x11/SelectionReader.h"

#include <xcb/xcb.h>

#include <poll.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeDeleter>;

const QStringList kPseudoTargets{QStringLiteral("TARGETS"),        QStringLiteral("MULTIPLE"),
                                 QStringLiteral("TIMESTAMP"),      QStringLiteral("SAVE_TARGETS"),
                                 QStringLiteral("DELETE"),         QStringLiteral("INSERT_SELECTION"),
                                 QStringLiteral("INSERT_PROPERTY")};

// Short slices, so that cancel() and the deadline are noticed soon.
constexpr int kPollSliceMs = 50;

} // namespace

SelectionReader::SelectionReader() = default;

SelectionReader::~SelectionReader() {
    if (m_c)
        xcb_disconnect(m_c);
}

bool SelectionReader::connect() {
    if (m_c && !xcb_connection_has_error(m_c))
        return true;
    if (m_c)
        xcb_disconnect(m_c);
    m_atoms.clear();
    m_names.clear();
    m_c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(m_c))
        return false;
    const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data;
    m_window = xcb_generate_id(m_c);
    const uint32_t events = XCB_EVENT_MASK_PROPERTY_CHANGE;
    xcb_create_window(m_c, XCB_COPY_FROM_PARENT, m_window, screen->root, -10, -10, 1, 1, 0,
                      XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_EVENT_MASK, &events);
    m_clipboard = atom(QStringLiteral("CLIPBOARD"));
    m_targetsAtom = atom(QStringLiteral("TARGETS"));
    m_incr = atom(QStringLiteral("INCR"));
    m_property = atom(QStringLiteral("TINDRALUME_SELECTION"));
    return !xcb_connection_has_error(m_c);
}

uint32_t SelectionReader::atom(const QString& name) {
    if (const auto it = m_atoms.constFind(name); it != m_atoms.constEnd())
        return *it;
    const QByteArray n = name.toLatin1();
    Reply<xcb_intern_atom_reply_t> r(
        xcb_intern_atom_reply(m_c, xcb_intern_atom(m_c, 0, uint16_t(n.size()), n.constData()), nullptr));
    const uint32_t a = r ? r->atom : uint32_t(XCB_ATOM_NONE);
    if (a != XCB_ATOM_NONE) {
        m_atoms.insert(name, a);
        m_names.insert(a, name);
    }
    return a;
}

QString SelectionReader::atomName(uint32_t a) {
    return m_names.value(a);
}

template <typename Accept> bool SelectionReader::waitFor(Accept accept) {
    const int fd = xcb_get_file_descriptor(m_c);
    for (;;) {
        while (xcb_generic_event_t* raw = xcb_poll_for_event(m_c)) {
            Reply<xcb_generic_event_t> ev(raw);
            if (accept(ev.get()))
                return true;
        }
        if (m_cancelled || xcb_connection_has_error(m_c))
            return false;
        const auto left = m_deadline - Clock::now();
        if (left <= Clock::duration::zero())
            return false;
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
        pollfd p{fd, POLLIN, 0};
        ::poll(&p, 1, int(std::min<long long>(ms, kPollSliceMs)));
    }
}

bool SelectionReader::begin(Clock::time_point deadline) {
    m_deadline = deadline;
    m_targets.clear();
    m_owner = 0;
    m_ownerChanged = false;
    if (m_cancelled || !connect())
        return false;
    Reply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(m_c, xcb_get_selection_owner(m_c, m_clipboard), nullptr));
    if (!owner || owner->owner == XCB_NONE)
        return false;
    m_owner = owner->owner;
    const std::optional<QByteArray> list = convert(m_targetsAtom);
    if (!list)
        return false;
    const auto* atoms = reinterpret_cast<const uint32_t*>(list->constData());
    // An owner may announce any number of targets; no real one offers more than a few dozen.
    constexpr qsizetype kMaxTargets = 1024;
    const qsizetype count = std::min(list->size() / qsizetype(sizeof(uint32_t)), kMaxTargets);
    // Names of atoms not seen before, asked for all at once.
    std::vector<std::pair<uint32_t, xcb_get_atom_name_cookie_t>> asked;
    for (qsizetype i = 0; i < count; ++i) {
        if (atoms[i] != XCB_ATOM_NONE && !m_names.contains(atoms[i]))
            asked.emplace_back(atoms[i], xcb_get_atom_name(m_c, atoms[i]));
    }
    for (const auto& [a, cookie] : asked) {
        Reply<xcb_get_atom_name_reply_t> r(xcb_get_atom_name_reply(m_c, cookie, nullptr));
        if (!r)
            continue;
        const QString name =
            QString::fromLatin1(xcb_get_atom_name_name(r.get()), xcb_get_atom_name_name_length(r.get()));
        m_names.insert(a, name);
        m_atoms.insert(name, a);
    }
    for (qsizetype i = 0; i < count; ++i) {
        const QString name = atomName(atoms[i]);
        if (!name.isEmpty() && !kPseudoTargets.contains(name) && !m_targets.contains(name))
            m_targets.append(name);
    }
    return true;
}

std::optional<QByteArray> SelectionReader::read(const QString& target) {
    if (!m_owner || !m_c || m_ownerChanged)
        return std::nullopt;
    Reply<xcb_get_selection_owner_reply_t> owner(
        xcb_get_selection_owner_reply(m_c, xcb_get_selection_owner(m_c, m_clipboard), nullptr));
    if (!owner || owner->owner != m_owner) {
        m_ownerChanged = true;
        return std::nullopt;
    }
    const uint32_t a = atom(target);
    if (a == XCB_ATOM_NONE)
        return std::nullopt;
    return convert(a);
}

std::optional<QByteArray> SelectionReader::convert(uint32_t target) {
    // Once the budget is spent the owner is not asked again: each question would cost nothing here
    // but would still reach an owner that may be stuck.
    if (m_cancelled || Clock::now() >= m_deadline)
        return std::nullopt;
    xcb_delete_property(m_c, m_window, m_property);
    xcb_convert_selection(m_c, m_window, m_clipboard, target, m_property, XCB_CURRENT_TIME);
    xcb_flush(m_c);
    uint32_t property = XCB_NONE;
    const bool answered = waitFor([&](xcb_generic_event_t* ev) {
        if ((ev->response_type & 0x7f) != XCB_SELECTION_NOTIFY)
            return false;
        const auto* n = reinterpret_cast<xcb_selection_notify_event_t*>(ev);
        // A late answer to an earlier request names another target: not ours.
        if (n->requestor != m_window || n->selection != m_clipboard || n->target != target)
            return false;
        property = n->property;
        return true;
    });
    if (!answered || property == XCB_NONE)
        return std::nullopt;

    Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        m_c, xcb_get_property(m_c, 0, m_window, property, XCB_GET_PROPERTY_TYPE_ANY, 0, UINT32_MAX / 4), nullptr));
    if (!reply)
        return std::nullopt;
    if (reply->type == m_incr) {
        reply.reset();
        // Deleting the INCR property asks the owner for the first piece.
        xcb_delete_property(m_c, m_window, property);
        xcb_flush(m_c);
        return readIncrementally();
    }
    // A property that was never written (type None) is no answer.
    const bool written = reply->type != XCB_NONE;
    const int length = xcb_get_property_value_length(reply.get());
    QByteArray bytes(static_cast<const char*>(xcb_get_property_value(reply.get())), length);
    reply.reset();
    xcb_delete_property(m_c, m_window, property);
    xcb_flush(m_c);
    if (!written)
        return std::nullopt;
    return bytes;
}

std::optional<QByteArray> SelectionReader::readIncrementally() {
    QByteArray bytes;
    for (;;) {
        const bool piece = waitFor([&](xcb_generic_event_t* ev) {
            if ((ev->response_type & 0x7f) != XCB_PROPERTY_NOTIFY)
                return false;
            const auto* n = reinterpret_cast<xcb_property_notify_event_t*>(ev);
            return n->window == m_window && n->atom == m_property && n->state == XCB_PROPERTY_NEW_VALUE;
        });
        // An owner that keeps sending pieces is held to the budget as well.
        if (!piece || Clock::now() >= m_deadline)
            return std::nullopt;
        // Reading with delete asks the owner for the next piece; an empty piece ends the transfer.
        Reply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
            m_c, xcb_get_property(m_c, 1, m_window, m_property, XCB_GET_PROPERTY_TYPE_ANY, 0, UINT32_MAX / 4),
            nullptr));
        xcb_flush(m_c);
        if (!reply)
            return std::nullopt;
        const int length = xcb_get_property_value_length(reply.get());
        if (length == 0)
            return bytes;
        if (bytes.size() + length > maxBytes)
            return std::nullopt;
        bytes.append(static_cast<const char*>(xcb_get_property_value(reply.get())), length);
    }
}
