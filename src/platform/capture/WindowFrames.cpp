#include "platform/capture/WindowFrames.h"

#include "platform/capture/CaptureGeometry.h"
#include "platform/capture/XcbConnection.h"

#include <cstdlib>
#include <cstring>
#include <memory>

namespace vtl {

namespace {

xcb_atom_t atom(xcb_connection_t* c, const char* name) {
    return internAtom(c, name, true);
}

bool isDesktopElement(xcb_connection_t* c, xcb_window_t window) {
    xcb_atom_t type = atom(c, "_NET_WM_WINDOW_TYPE");
    xcb_atom_t desktop = atom(c, "_NET_WM_WINDOW_TYPE_DESKTOP");
    if (type == XCB_ATOM_NONE || desktop == XCB_ATOM_NONE) return false;
    XcbReply<xcb_get_property_reply_t> reply(xcb_get_property_reply(
        c, xcb_get_property(c, 0, window, type, static_cast<xcb_atom_t>(XCB_ATOM_ATOM), 0, 32), nullptr));
    if (!reply || reply->format != 32) return false;
    const auto* types = static_cast<const xcb_atom_t*>(xcb_get_property_value(reply.get()));
    int count = xcb_get_property_value_length(reply.get()) / 4;
    for (int i = 0; i < count; ++i)
        if (types[i] == desktop) return true;
    return false;
}

} // namespace

std::optional<Rect> onScreenWindowFrame(std::uint32_t windowNumber, const char* displayName) {
    std::string error;
    auto connection = XcbConnection::open(displayName, error);
    if (!connection || windowNumber == 0 || windowNumber == connection->root()) return std::nullopt;
    xcb_connection_t* c = connection->get();
    XcbReply<xcb_get_window_attributes_reply_t> attributes(
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, windowNumber), nullptr));
    if (!attributes || attributes->map_state != static_cast<std::uint8_t>(XCB_MAP_STATE_VIEWABLE))
        return std::nullopt;
    XcbReply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(c, xcb_get_geometry(c, windowNumber), nullptr));
    XcbReply<xcb_translate_coordinates_reply_t> origin(xcb_translate_coordinates_reply(
        c, xcb_translate_coordinates(c, windowNumber, connection->root(), 0, 0), nullptr));
    if (!geometry || !origin || isDesktopElement(c, windowNumber)) return std::nullopt;
    Rect x11(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
    return X11CoordinateSpace(connection->screens().front().x11Frame).fromX11(x11);
}

} // namespace vtl
