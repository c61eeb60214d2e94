#include "platform/capture/DesktopWindowHints.h"

#include "platform/capture/XcbConnection.h"

#include <cstring>

namespace vtl {

namespace {

void sendToRoot(XcbConnection& connection, xcb_window_t window, xcb_atom_t type, std::uint32_t d0,
                std::uint32_t d1) {
    xcb_client_message_event_t event{};
    event.response_type = XCB_CLIENT_MESSAGE;
    event.format = 32;
    event.window = window;
    event.type = type;
    event.data.data32[0] = d0;
    event.data.data32[1] = d1;
    event.data.data32[2] = 0;
    event.data.data32[3] = 1; // from an application
    xcb_send_event(connection.get(), 0, connection.root(),
                   XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                   reinterpret_cast<const char*>(&event));
}

} // namespace

void keepWindowOnAllDesktops(std::uint32_t windowID, const char* displayName) {
    std::string error;
    auto connection = XcbConnection::open(displayName, error);
    if (!connection || windowID == 0) return;
    xcb_connection_t* c = connection->get();
    constexpr std::uint32_t add = 1, allDesktops = 0xffffffffu;
    sendToRoot(*connection, windowID, internAtom(c, "_NET_WM_STATE"), add,
               internAtom(c, "_NET_WM_STATE_STICKY"));
    sendToRoot(*connection, windowID, internAtom(c, "_NET_WM_DESKTOP"), allDesktops, 0);
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
}

} // namespace vtl
