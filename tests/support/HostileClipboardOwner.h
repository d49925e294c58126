// SPDX-License-Identifier: MIT
#pragma once

#include <xcb/xcb.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// A clipboard owner of our own making. It announces its targets and then never answers a request
// for data (Hang), closes its connection in the middle of the transfer (Die), refuses each request
// after a delay (SlowRefuse), or answers with the bytes it was given (Serve, for owners whose
// conventions we mimic).
class HostileOwner {
public:
    enum class Mode { Hang, Die, SlowRefuse, Serve };
    using Targets = std::vector<std::pair<std::string, std::string>>; // name, data

    explicit HostileOwner(Mode mode, Targets targets = {{"UTF8_STRING", ""}, {"image/png", ""}, {"text/uri-list", ""}},
                          int refuseDelayMs = 900)
        : m_mode(mode), m_refuseDelayMs(refuseDelayMs) {
        m_c = xcb_connect(nullptr, nullptr);
        const xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data;
        m_window = xcb_generate_id(m_c);
        xcb_create_window(m_c, XCB_COPY_FROM_PARENT, m_window, screen->root, 0, 0, 1, 1, 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, 0, nullptr);
        m_clipboard = atom("CLIPBOARD");
        m_targets = atom("TARGETS");
        m_offered = {m_targets};
        for (auto& [name, data] : targets) {
            m_offered.push_back(atom(name.c_str()));
            m_data.push_back(std::move(data));
        }
        xcb_set_selection_owner(m_c, m_window, m_clipboard, XCB_CURRENT_TIME);
        xcb_flush(m_c);
        m_thread = std::thread([this] { serve(); });
    }
    // Many image formats, each refused after the delay: the cost of asking grows with their number.
    static Targets manyImageTargets(int n) {
        Targets t;
        for (int i = 0; i < n; ++i)
            t.emplace_back("image/x-kind-" + std::to_string(i), "");
        return t;
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
    void notify(const xcb_selection_request_event_t* req, xcb_atom_t property) {
        xcb_selection_notify_event_t n{};
        n.response_type = XCB_SELECTION_NOTIFY;
        n.time = req->time;
        n.requestor = req->requestor;
        n.selection = req->selection;
        n.target = req->target;
        n.property = property;
        xcb_send_event(m_c, 0, req->requestor, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&n));
        xcb_flush(m_c);
    }
    // Returns false when the owner is gone.
    bool answer(const xcb_selection_request_event_t* req) {
        if (req->target == m_targets) {
            xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, req->requestor, req->property, XCB_ATOM_ATOM, 32,
                                uint32_t(m_offered.size()), m_offered.data());
            notify(req, req->property);
            return true;
        }
        ++m_dataRequests;
        switch (m_mode) {
        case Mode::Die:
            xcb_disconnect(m_c);
            m_c = nullptr;
            return false;
        case Mode::Hang:
            return true;
        case Mode::SlowRefuse:
            std::this_thread::sleep_for(std::chrono::milliseconds(m_refuseDelayMs));
            notify(req, XCB_NONE);
            return true;
        case Mode::Serve:
            for (size_t i = 1; i < m_offered.size(); ++i) {
                if (m_offered[i] == req->target) {
                    const std::string& d = m_data[i - 1];
                    xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, req->requestor, req->property, req->target, 8,
                                        uint32_t(d.size()), d.data());
                    notify(req, req->property);
                    return true;
                }
            }
            notify(req, XCB_NONE);
            return true;
        }
        return true;
    }
    void serve() {
        while (!m_stop) {
            xcb_generic_event_t* ev = xcb_wait_for_event(m_c);
            if (!ev)
                return;
            const bool alive = (ev->response_type & 0x7f) != XCB_SELECTION_REQUEST ||
                               answer(reinterpret_cast<xcb_selection_request_event_t*>(ev));
            std::free(ev);
            if (!alive)
                return;
        }
    }

    Mode m_mode;
    int m_refuseDelayMs;
    xcb_connection_t* m_c = nullptr;
    xcb_window_t m_window = 0;
    xcb_atom_t m_clipboard = 0, m_targets = 0;
    std::vector<xcb_atom_t> m_offered;
    std::vector<std::string> m_data;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_dataRequests{0};
};
