// What the window manager of an X11 session says about the windows on the
// display the application uses (tests under wm_session.sh only).
#pragma once

#include <xcb/xcb.h>

#include <QGuiApplication>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace orv::test {

class X11Windows {
public:
    X11Windows() {
        if (auto* x11 = qApp->nativeInterface<QNativeInterface::QX11Application>()) conn_ = x11->connection();
        if (conn_) root_ = xcb_setup_roots_iterator(xcb_get_setup(conn_)).data->root;
    }
    bool Usable() const { return conn_ != nullptr; }

    // Client windows bottom to top.
    std::vector<xcb_window_t> Stacking() const { return Windows(root_, "_NET_CLIENT_LIST_STACKING"); }
    // The window this one is a transient of (0: none).
    xcb_window_t TransientFor(xcb_window_t w) const {
        const auto list = Windows(w, "WM_TRANSIENT_FOR");
        return list.empty() ? 0 : list.front();
    }
    std::string Name(xcb_window_t w) const { return Property(w, "_NET_WM_NAME"); }
    // Asks the window manager to close the window, as its close button does.
    void Close(xcb_window_t w) const {
        xcb_client_message_event_t e{};
        e.response_type = XCB_CLIENT_MESSAGE;
        e.format = 32;
        e.window = w;
        e.type = Atom("_NET_CLOSE_WINDOW");
        e.data.data32[1] = 2;  // a pager's request
        xcb_send_event(conn_, 0, root_,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&e));
        xcb_flush(conn_);
    }

private:
    xcb_atom_t Atom(const char* name) const {
        std::unique_ptr<xcb_intern_atom_reply_t, decltype(&std::free)> r(
            xcb_intern_atom_reply(conn_, xcb_intern_atom(conn_, 0, static_cast<uint16_t>(std::string(name).size()), name),
                                  nullptr),
            &std::free);
        return r ? r->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
    }
    std::string Property(xcb_window_t w, const char* name) const {
        std::unique_ptr<xcb_get_property_reply_t, decltype(&std::free)> r(
            xcb_get_property_reply(conn_, xcb_get_property(conn_, 0, w, Atom(name), XCB_GET_PROPERTY_TYPE_ANY, 0, 4096),
                                   nullptr),
            &std::free);
        if (!r) return {};
        return std::string(static_cast<const char*>(xcb_get_property_value(r.get())),
                           static_cast<std::size_t>(xcb_get_property_value_length(r.get())));
    }
    std::vector<xcb_window_t> Windows(xcb_window_t w, const char* name) const {
        const std::string bytes = Property(w, name);
        std::vector<xcb_window_t> out(bytes.size() / sizeof(xcb_window_t));
        if (!out.empty()) std::memcpy(out.data(), bytes.data(), out.size() * sizeof(xcb_window_t));
        return out;
    }

    xcb_connection_t* conn_ = nullptr;
    xcb_window_t root_ = 0;
};

}  // namespace orv::test
