#include "platform/capture/XcbConnection.h"

#include "platform/capture/CaptureGeometry.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <xcb/randr.h>

namespace vtl {

namespace {

std::string atomName(xcb_connection_t* c, xcb_atom_t atom) {
    XcbReply<xcb_get_atom_name_reply_t> reply(
        xcb_get_atom_name_reply(c, xcb_get_atom_name(c, atom), nullptr));
    if (!reply) return {};
    return std::string(xcb_get_atom_name_name(reply.get()),
                       static_cast<std::size_t>(xcb_get_atom_name_name_length(reply.get())));
}

} // namespace

xcb_atom_t internAtom(xcb_connection_t* c, const char* name, bool onlyIfExists) {
    XcbReply<xcb_intern_atom_reply_t> reply(xcb_intern_atom_reply(
        c, xcb_intern_atom(c, onlyIfExists ? 1 : 0, static_cast<std::uint16_t>(std::strlen(name)), name),
        nullptr));
    return reply ? reply->atom : static_cast<xcb_atom_t>(XCB_ATOM_NONE);
}

std::unique_ptr<XcbConnection> XcbConnection::open(const char* displayName, std::string& error) {
    const char* name = displayName ? displayName : std::getenv("DISPLAY");
    if (!name || !*name) {
        error = "No X display: DISPLAY is not set. Recording needs an X11 display server.";
        return nullptr;
    }
    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(name, &screenNumber);
    if (!c || xcb_connection_has_error(c)) {
        if (c) xcb_disconnect(c);
        error = std::string("Cannot connect to the X display \"") + name + "\".";
        return nullptr;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber && it.rem; ++i)
        xcb_screen_next(&it);
    if (!it.rem) {
        xcb_disconnect(c);
        error =
            std::string("The X display \"") + name + "\" has no screen " + std::to_string(screenNumber) + ".";
        return nullptr;
    }
    return std::unique_ptr<XcbConnection>(new XcbConnection(c, it.data));
}

XcbConnection::~XcbConnection() {
    xcb_disconnect(connection_);
}

std::vector<ScreenDescription> XcbConnection::screens() const {
    xcb_connection_t* c = connection_;
    std::vector<ScreenDescription> result;

    const xcb_query_extension_reply_t* randr = xcb_get_extension_data(c, &xcb_randr_id);
    if (randr && randr->present) {
        XcbReply<xcb_randr_query_version_reply_t> version(
            xcb_randr_query_version_reply(c, xcb_randr_query_version(c, 1, 5), nullptr));
        if (version && (version->major_version > 1 || version->minor_version >= 5)) {
            XcbReply<xcb_randr_get_monitors_reply_t> monitors(
                xcb_randr_get_monitors_reply(c, xcb_randr_get_monitors(c, root(), 1), nullptr));
            if (monitors) {
                xcb_randr_monitor_info_iterator_t mi =
                    xcb_randr_get_monitors_monitors_iterator(monitors.get());
                for (; mi.rem; xcb_randr_monitor_info_next(&mi)) {
                    const xcb_randr_monitor_info_t* m = mi.data;
                    if (m->width == 0 || m->height == 0) continue;
                    ScreenDescription s;
                    s.displayID = m->name;
                    s.name = atomName(c, m->name);
                    s.x11Frame = Rect(m->x, m->y, m->width, m->height);
                    s.isPrimary = m->primary != 0;
                    result.push_back(s);
                }
            }
        }
    }
    if (result.empty()) {
        ScreenDescription s;
        s.displayID = 1;
        s.name = "screen";
        s.x11Frame = Rect(0, 0, screen_->width_in_pixels, screen_->height_in_pixels);
        s.isPrimary = true;
        result.push_back(s);
    }

    // The primary screen comes first; without one marked, the screen at the root origin (or the first).
    auto primary =
        std::find_if(result.begin(), result.end(), [](const ScreenDescription& s) { return s.isPrimary; });
    if (primary == result.end())
        primary = std::find_if(result.begin(), result.end(), [](const ScreenDescription& s) {
            return s.x11Frame.origin == Point{0, 0};
        });
    if (primary == result.end()) primary = result.begin();
    std::rotate(result.begin(), primary, primary + 1);
    for (auto& s : result)
        s.isPrimary = false;
    result.front().isPrimary = true;

    X11CoordinateSpace global(result.front().x11Frame);
    for (auto& s : result)
        s.frame = global.fromX11(s.x11Frame);
    return result;
}

Result<std::vector<ScreenDescription>> listScreens(const char* displayName) {
    std::string message;
    auto connection = XcbConnection::open(displayName, message);
    if (!connection) return fail(message);
    return connection->screens();
}

} // namespace vtl
