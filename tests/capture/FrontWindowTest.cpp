// The front window: the choice among the display's windows, and the frames read from a real
// window manager on an X server of the test's own.

#include "platform/capture/FrontWindow.h"

#include "capture/PrivateXServer.h"

#include <cstring>
#include <gtest/gtest.h>
#include <thread>

namespace vtl {
namespace {

using WindowKind = FrontWindowCandidate::Kind;

FrontWindowCandidate candidate(std::uint32_t id, Rect frame, WindowKind kind = WindowKind::Ordinary,
                               double opacity = 1.0, bool ours = false, bool viewable = true) {
    return FrontWindowCandidate{id, frame, viewable, ours, kind, opacity};
}

TEST(FrontWindow, TheActiveWindowWhenItQualifiesElseTheTopmostThatDoes) {
    const Rect big(10, 10, 400, 300);
    struct Case {
        const char* what;
        std::optional<std::uint32_t> active;
        std::vector<FrontWindowCandidate> topDown;
        std::optional<std::uint32_t> expected;
    };
    const Case cases[] = {
        {"the active window", 2, {candidate(1, big), candidate(2, big)}, 2},
        {"no active window: the topmost", std::nullopt, {candidate(1, big), candidate(2, big)}, 1},
        {"a 24-point window is too small", 1, {candidate(1, Rect(0, 0, 24, 300)), candidate(2, big)}, 2},
        {"20 x 20 never", std::nullopt, {candidate(1, Rect(0, 0, 20, 20)), candidate(2, big)}, 2},
        {"25 x 25 is large enough", std::nullopt, {candidate(1, Rect(0, 0, 25, 25))}, 1},
        {"half transparent never", 1, {candidate(1, big, WindowKind::Ordinary, 0.5), candidate(2, big)}, 2},
        {"our own windows never",
         1,
         {candidate(1, big, WindowKind::Ordinary, 1.0, true), candidate(2, big)},
         2},
        {"hidden windows never",
         1,
         {candidate(1, big, WindowKind::Ordinary, 1.0, false, false), candidate(2, big)},
         2},
        {"docks, desktops, menus, tips",
         std::nullopt,
         {candidate(1, big, WindowKind::Dock), candidate(2, big, WindowKind::Desktop),
          candidate(3, big, WindowKind::Menu), candidate(4, big, WindowKind::Tooltip),
          candidate(5, big, WindowKind::Notification), candidate(6, big)},
         6},
        {"none qualifies", 1, {candidate(1, Rect(0, 0, 10, 10))}, std::nullopt},
    };
    for (const Case& c : cases) {
        std::optional<FrontWindowCandidate> chosen = chooseFrontWindow(c.active, c.topDown);
        ASSERT_EQ(chosen.has_value(), c.expected.has_value()) << c.what;
        if (chosen) {
            EXPECT_EQ(chosen->window, *c.expected) << c.what;
        }
    }
}

class FrontWindowFinderTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        if (!testing::startPrivateXServer(error)) GTEST_SKIP() << error;
        c = xcb_connect(nullptr, nullptr);
        ASSERT_FALSE(xcb_connection_has_error(c));
        screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
    }
    void TearDown() override {
        if (!c) return;
        for (xcb_window_t w : windows)
            xcb_destroy_window(c, w);
        xcb_disconnect(c);
    }

    xcb_atom_t atom(const char* name) {
        xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(
            c, xcb_intern_atom(c, 0, static_cast<std::uint16_t>(std::strlen(name)), name), nullptr);
        xcb_atom_t a = r ? r->atom : 0;
        std::free(r);
        return a;
    }

    // A window the window manager takes care of (and decorates).
    xcb_window_t managedWindow(int width, int height, std::optional<std::uint32_t> opacity = std::nullopt) {
        xcb_window_t w = xcb_generate_id(c);
        std::uint32_t values[] = {screen->white_pixel};
        xcb_create_window(c, XCB_COPY_FROM_PARENT, w, screen->root, 100, 100,
                          static_cast<std::uint16_t>(width), static_cast<std::uint16_t>(height), 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, screen->root_visual, XCB_CW_BACK_PIXEL, values);
        if (opacity)
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, w, atom("_NET_WM_WINDOW_OPACITY"),
                                XCB_ATOM_CARDINAL, 32, 1, &*opacity);
        xcb_map_window(c, w);
        windows.push_back(w);
        sync();
        return w;
    }

    void activate(xcb_window_t w) {
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = w;
        event.type = atom("_NET_ACTIVE_WINDOW");
        event.data.data32[0] = 2; // from a pager: taken at once
        xcb_send_event(c, 0, screen->root,
                       XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT | XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY,
                       reinterpret_cast<const char*>(&event));
        sync();
    }

    // The window's outer frame in global points, y up, once the window manager has framed it.
    std::optional<Rect> frameOf(xcb_window_t w) {
        for (int i = 0; i < 200; ++i) {
            xcb_get_property_reply_t* extents = xcb_get_property_reply(
                c, xcb_get_property(c, 0, w, atom("_NET_FRAME_EXTENTS"), XCB_ATOM_CARDINAL, 0, 4), nullptr);
            bool framed = extents && xcb_get_property_value_length(extents) == 16;
            if (framed) {
                const auto* e = static_cast<const std::uint32_t*>(xcb_get_property_value(extents));
                xcb_get_geometry_reply_t* g = xcb_get_geometry_reply(c, xcb_get_geometry(c, w), nullptr);
                xcb_translate_coordinates_reply_t* t = xcb_translate_coordinates_reply(
                    c, xcb_translate_coordinates(c, w, screen->root, 0, 0), nullptr);
                Rect x11(t->dst_x - double(e[0]), t->dst_y - double(e[2]), g->width + double(e[0] + e[1]),
                         g->height + double(e[2] + e[3]));
                std::free(g);
                std::free(t);
                std::free(extents);
                return Rect(x11.minX(), screen->height_in_pixels - x11.maxY(), x11.width(), x11.height());
            }
            std::free(extents);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return std::nullopt;
    }

    // Waits until the finder reports the window's frame. The frame is read again on every try: the
    // window manager may place a window after it has published the window's frame extents.
    struct Front {
        std::optional<Rect> seen, expected;
    };
    Front waitForFront(FrontWindowFinder& finder, xcb_window_t w) {
        Front front;
        for (int i = 0; i < 200; ++i) {
            front.expected = frameOf(w);
            front.seen = finder.frontWindowFrame();
            if (front.seen == front.expected) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return front;
    }

    void sync() { std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr)); }

    xcb_connection_t* c = nullptr;
    xcb_screen_t* screen = nullptr;
    std::vector<xcb_window_t> windows;
};

TEST_F(FrontWindowFinderTest, FollowsTheActivatedWindowWithItsDecoratedFrameAndSkipsSmallAndSeeThroughOnes) {
    auto opened = FrontWindowFinder::open(nullptr, currentProcessID());
    ASSERT_TRUE(opened) << opened.error();
    FrontWindowFinder& finder = *opened.value();

    xcb_window_t first = managedWindow(400, 300);
    xcb_window_t second = managedWindow(300, 200);
    ASSERT_TRUE(frameOf(first) && frameOf(second));
    activate(first);
    Front front = waitForFront(finder, first);
    EXPECT_EQ(front.seen, front.expected);
    activate(second);
    front = waitForFront(finder, second);
    EXPECT_EQ(front.seen, front.expected);

    // Neither a tiny window nor a half-transparent one is taken, even active and on top.
    xcb_window_t tiny = managedWindow(20, 20);
    ASSERT_TRUE(frameOf(tiny));
    activate(tiny);
    xcb_window_t seeThrough = managedWindow(500, 400, 0x7fffffffu);
    ASSERT_TRUE(frameOf(seeThrough));
    activate(seeThrough);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::optional<Rect> seen = finder.frontWindowFrame();
    EXPECT_TRUE(seen && (seen == frameOf(first) || seen == frameOf(second)));
}

} // namespace
} // namespace vtl
