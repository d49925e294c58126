// SPDX-License-Identifier: MIT
#pragma once

#include <xcb/xcb.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

// A clipboard owner that misbehaves: it announces its targets and then never answers a request
// for data (Hang), or closes its connection in the middle of the transfer (Die).
class HostileOwner {
public:
    enum class Mode { Hang, Die };
    explicit HostileOwner(Mode mode) : m_mode(mode) {
        m_c = xcb_connect(nullptr, nullptr);
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data;
        m_window = xcb_generate_id(m_c);
        xcb_create_window(m_c, XCB_COPY_FROM_PARENT, m_window, screen->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        m_clipboard = atom("CLIPBOARD");
        m_targets = atom("TARGETS");
        m_offered = {m_targets, atom("UTF8_STRING"), atom("image/png"), atom("text/uri-list")};
        xcb_set_selection_owner(m_c, m_window, m_clipboard, XCB_CURRENT_TIME);
        xcb_flush(m_c);
        m_thread = std::thread([this] { serve(); });
    }
    ~HostileOwner() {
        m_stop = true;
        if (m_c) {
            // Wake the thread with an event to ourselves.
            xcb_client_message_event_t ev{};
            ev.response_type = XCB_CLIENT_MESSAGE;
            ev.window = m_window;
            ev.format = 32;
            ev.type = m_targets;
            xcb_send_event(m_c, 0, m_window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&ev));
            xcb_flush(m_c);
        }
        m_thread.join();
        if (m_c)
            xcb_disconnect(m_c);
    }
    int dataRequests() const { return m_dataRequests; }

private:
    xcb_atom_t atom(const char* name) {
        auto* r = xcb_intern_atom_reply(m_c, xcb_intern_atom(m_c, 0, uint16_t(std::strlen(name)), name), nullptr);
        const xcb_atom_t a = r ? r->atom : 0;
        std::free(r);
        return a;
    }
    void serve() {
        while (!m_stop) {
            xcb_generic_event_t* ev = xcb_wait_for_event(m_c);
            if (!ev)
                return;
            if ((ev->response_type & 0x7f) == XCB_SELECTION_REQUEST) {
                auto* req = reinterpret_cast<xcb_selection_request_event_t*>(ev);
                if (req->target == m_targets) {
                    xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, req->requestor, req->property, XCB_ATOM_ATOM, 32,
                                        uint32_t(m_offered.size()), m_offered.data());
                    xcb_selection_notify_event_t n{};
                    n.response_type = XCB_SELECTION_NOTIFY;
                    n.time = req->time;
                    n.requestor = req->requestor;
                    n.selection = req->selection;
                    n.target = req->target;
                    n.property = req->property;
                    xcb_send_event(m_c, 0, req->requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&n));
                    xcb_flush(m_c);
                } else {
                    ++m_dataRequests;
                    if (m_mode == Mode::Die) {
                        std::free(ev);
                        xcb_disconnect(m_c);
                        m_c = nullptr;
                        return;
                    }
                    // Hang: say nothing.
                }
            }
            std::free(ev);
        }
    }

    Mode m_mode;
    xcb_connection_t* m_c = nullptr;
    xcb_window_t m_window = 0;
    xcb_atom_t m_clipboard = 0, m_targets = 0;
    std::vector<xcb_atom_t> m_offered;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_dataRequests{0};
};
