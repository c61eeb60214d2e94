#pragma once
// Test helpers for capture: an undecorated window on the test X display that tests paint with
// solid rectangles, so captured pixels can be compared with what was drawn, and readable printing
// of rectangles. Header-only; each test owns its windows.

#include "platform/foundation/Geometry.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <ostream>
#include <string>
#include <vector>
#include <xcb/xcb.h>

namespace vtl {

inline void PrintTo(const Rect& r, std::ostream* os) {
    *os << stringFromRect(r);
}

} // namespace vtl

namespace vtl::capturetest {

class XcbTestWindow {
public:
    // A window at (x, y) in root pixels, filled with `background` (0xRRGGBB), kept above other
    // windows and out of the window manager's hands so it stays where it was put.
    XcbTestWindow(int x, int y, int width, int height, std::uint32_t background) {
        connection_ = xcb_connect(nullptr, nullptr);
        if (xcb_connection_has_error(connection_)) return;
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data;
        window_ = xcb_generate_id(connection_);
        std::uint32_t values[] = {background, 1};
        xcb_create_window(connection_, XCB_COPY_FROM_PARENT, window_, screen->root,
                          static_cast<std::int16_t>(x), static_cast<std::int16_t>(y),
                          static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height), 0,
                          static_cast<std::uint16_t>(XCB_WINDOW_CLASS_INPUT_OUTPUT), screen->root_visual,
                          XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
        xcb_map_window(connection_, window_);
        gc_ = xcb_generate_id(connection_);
        xcb_create_gc(connection_, gc_, window_, 0, nullptr);
        sync();
        ok_ = true;
    }
    ~XcbTestWindow() {
        if (ok_) xcb_destroy_window(connection_, window_);
        if (connection_) {
            xcb_flush(connection_);
            xcb_disconnect(connection_);
        }
    }
    XcbTestWindow(const XcbTestWindow&) = delete;
    XcbTestWindow& operator=(const XcbTestWindow&) = delete;

    bool ok() const { return ok_; }
    std::uint32_t id() const { return window_; }

    // Fills a rectangle given in window pixels (y down) and waits until the server has drawn it.
    void fill(int x, int y, int width, int height, std::uint32_t colour) {
        std::uint32_t value = colour;
        xcb_change_gc(connection_, gc_, XCB_GC_FOREGROUND, &value);
        xcb_rectangle_t r{static_cast<std::int16_t>(x), static_cast<std::int16_t>(y),
                          static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height)};
        xcb_poly_fill_rectangle(connection_, window_, gc_, 1, &r);
        sync();
    }

    // Fills a rectangle without waiting for the server: many drawings, then one sync().
    void paint(int x, int y, int width, int height, std::uint32_t colour) {
        std::uint32_t value = colour;
        xcb_change_gc(connection_, gc_, XCB_GC_FOREGROUND, &value);
        xcb_rectangle_t r{static_cast<std::int16_t>(x), static_cast<std::int16_t>(y),
                          static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height)};
        xcb_poly_fill_rectangle(connection_, window_, gc_, 1, &r);
    }

    // Fills many rectangles in one colour without waiting.
    void paint(const std::vector<xcb_rectangle_t>& rects, std::uint32_t colour) {
        std::uint32_t value = colour;
        xcb_change_gc(connection_, gc_, XCB_GC_FOREGROUND, &value);
        xcb_poly_fill_rectangle(connection_, window_, gc_, static_cast<std::uint32_t>(rects.size()),
                                rects.data());
    }

    // Copies a block of the window inside it, as a scrolling view does, and waits for it.
    void copyArea(int fromX, int fromY, int width, int height, int toX, int toY) {
        xcb_copy_area(connection_, window_, window_, gc_, static_cast<std::int16_t>(fromX),
                      static_cast<std::int16_t>(fromY), static_cast<std::int16_t>(toX),
                      static_cast<std::int16_t>(toY), static_cast<std::uint16_t>(width),
                      static_cast<std::uint16_t>(height));
        sync();
    }

    // A round trip: every request sent before has been carried out.
    void sync() {
        std::free(xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    }

private:
    xcb_connection_t* connection_ = nullptr;
    xcb_window_t window_ = 0;
    xcb_gcontext_t gc_ = 0;
    bool ok_ = false;
};

// B, G, R bytes of a captured pixel as 0xRRGGBB.
inline std::uint32_t rgbAt(const std::uint8_t* pixels, std::size_t bytesPerRow, int x, int y) {
    const std::uint8_t* p =
        pixels + static_cast<std::size_t>(y) * bytesPerRow + static_cast<std::size_t>(x) * 4;
    return (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
}

inline bool haveDisplay() {
    const char* d = std::getenv("DISPLAY");
    return d && *d;
}

} // namespace vtl::capturetest
