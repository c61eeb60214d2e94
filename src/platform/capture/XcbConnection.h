#pragma once
// Internal to the capture layer: one connection to the X server with the checks every capture
// facility needs. Nothing outside src/platform/capture includes this header.

#include "platform/capture/Screens.h"

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>
#include <xcb/xcb.h>

namespace vtl {

// A reply or error from xcb, which the caller frees with free().
template <typename T> struct XcbFree {
    void operator()(T* p) const { std::free(p); }
};
template <typename T> using XcbReply = std::unique_ptr<T, XcbFree<T>>;

// The atom of a name; XCB_ATOM_NONE when it cannot be had (or, with `onlyIfExists`, nobody made
// it yet).
xcb_atom_t internAtom(xcb_connection_t* c, const char* name, bool onlyIfExists = false);

class XcbConnection {
public:
    // Connects to `displayName` (nullptr: the DISPLAY environment variable); nullptr with a
    // message in `error` when there is no X display to connect to.
    static std::unique_ptr<XcbConnection> open(const char* displayName, std::string& error);
    ~XcbConnection();
    XcbConnection(const XcbConnection&) = delete;
    XcbConnection& operator=(const XcbConnection&) = delete;

    xcb_connection_t* get() const { return connection_; }
    xcb_screen_t* screen() const { return screen_; }
    xcb_window_t root() const { return screen_->root; }
    bool hasError() const { return xcb_connection_has_error(connection_) != 0; }

    // The screens of the display, primary first (see listScreens).
    std::vector<ScreenDescription> screens() const;

private:
    XcbConnection(xcb_connection_t* connection, xcb_screen_t* screen)
        : connection_(connection)
        , screen_(screen) {}

    xcb_connection_t* connection_;
    xcb_screen_t* screen_;
};

} // namespace vtl
