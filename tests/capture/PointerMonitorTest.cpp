// The pointer as the mouse recorder sees it, on an X server of the test's own driven by XTEST:
// buttons and wheel steps anywhere on the display, positions, and cursor pictures only on change.

#include "platform/capture/PointerMonitor.h"

#include "capture/PrivateXServer.h"

#include <gtest/gtest.h>
#include <mutex>
#include <thread>

namespace vtl {
namespace {

using ButtonKind = PointerButtonEvent::Kind;

bool sameEvent(const PointerButtonEvent& a, const PointerButtonEvent& b) {
    return a.kind == b.kind && a.button == b.button && a.wheelX == b.wheelX && a.wheelY == b.wheelY;
}

TEST(PointerButtons, X11ButtonsBecomeTheSystemsButtonsAndWheelSteps) {
    struct Case {
        int x11Button;
        bool pressed;
        std::optional<PointerButtonEvent> expected;
    };
    const Case cases[] = {
        {1, true, PointerButtonEvent{ButtonKind::Down, 1, 0, 0}},
        {1, false, PointerButtonEvent{ButtonKind::Up, 1, 0, 0}},
        {3, true, PointerButtonEvent{ButtonKind::Down, 2, 0, 0}},
        {2, false, PointerButtonEvent{ButtonKind::Up, 3, 0, 0}},
        {8, true, PointerButtonEvent{ButtonKind::Down, 4, 0, 0}},
        {9, true, PointerButtonEvent{ButtonKind::Down, 5, 0, 0}},
        {10, true, PointerButtonEvent{ButtonKind::Down, 6, 0, 0}},
        {4, true, PointerButtonEvent{ButtonKind::Wheel, -1, 0, 1}},
        {5, true, PointerButtonEvent{ButtonKind::Wheel, -1, 0, -1}},
        {6, true, PointerButtonEvent{ButtonKind::Wheel, -1, 1, 0}},
        {7, true, PointerButtonEvent{ButtonKind::Wheel, -1, -1, 0}},
        {4, false, std::nullopt},
        {7, false, std::nullopt},
        {0, true, std::nullopt},
    };
    for (const Case& c : cases) {
        std::optional<PointerButtonEvent> got = pointerButtonEventFromX11(c.x11Button, c.pressed);
        ASSERT_EQ(got.has_value(), c.expected.has_value()) << "X button " << c.x11Button;
        if (got) {
            EXPECT_TRUE(sameEvent(*got, *c.expected)) << "X button " << c.x11Button;
        }
    }
}

class PointerMonitorTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        if (!testing::startPrivateXServer(error)) GTEST_SKIP() << error;
        driver = std::make_unique<testing::XTestDriver>();
        ASSERT_TRUE(driver->ok());
        auto opened = openPointerMonitor();
        ASSERT_TRUE(opened) << opened.error();
        monitor = std::move(opened).value();
    }

    std::unique_ptr<testing::XTestDriver> driver;
    std::unique_ptr<PointerMonitor> monitor;
};

TEST_F(PointerMonitorTest, SeesButtonsAndWheelStepsAndWherePointerIs) {
    ASSERT_TRUE(monitor->reportsButtons());
    std::mutex mutex;
    std::vector<PointerButtonEvent> events;
    monitor->start([&](const PointerButtonEvent& e) {
        std::lock_guard lock(mutex);
        events.push_back(e);
    });
    driver->moveTo(150, 200);
    EXPECT_EQ(monitor->pointerLocation(), (Point{150, 200}));
    for (int button : {1, 3, 2, 8, 9, 4, 5, 6, 7})
        driver->click(button);
    const std::vector<PointerButtonEvent> expected = {
        {ButtonKind::Down, 1, 0, 0},   {ButtonKind::Up, 1, 0, 0},      {ButtonKind::Down, 2, 0, 0},
        {ButtonKind::Up, 2, 0, 0},     {ButtonKind::Down, 3, 0, 0},    {ButtonKind::Up, 3, 0, 0},
        {ButtonKind::Down, 4, 0, 0},   {ButtonKind::Up, 4, 0, 0},      {ButtonKind::Down, 5, 0, 0},
        {ButtonKind::Up, 5, 0, 0},     {ButtonKind::Wheel, -1, 0, 1},  {ButtonKind::Wheel, -1, 0, -1},
        {ButtonKind::Wheel, -1, 1, 0}, {ButtonKind::Wheel, -1, -1, 0},
    };
    for (int i = 0; i < 200; ++i) {
        {
            std::lock_guard lock(mutex);
            if (events.size() >= expected.size()) break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    monitor->stop();
    ASSERT_EQ(events.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_TRUE(sameEvent(events[i], expected[i])) << "event " << i;
    // Stopped: nothing more arrives.
    driver->click(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(events.size(), expected.size());
}

// An unmanaged window with one of the server's font cursors.
class CursorWindow {
public:
    CursorWindow(xcb_connection_t* c, int x, int y, std::uint16_t glyph)
        : c_(c) {
        xcb_screen_t* screen = xcb_setup_roots_iterator(xcb_get_setup(c)).data;
        xcb_font_t font = xcb_generate_id(c);
        xcb_open_font(c, font, 6, "cursor");
        cursor_ = xcb_generate_id(c);
        xcb_create_glyph_cursor(c, cursor_, font, font, glyph, static_cast<std::uint16_t>(glyph + 1), 0, 0, 0,
                                65535, 65535, 65535);
        xcb_close_font(c, font);
        window_ = xcb_generate_id(c);
        std::uint32_t values[] = {screen->white_pixel, 1, cursor_};
        xcb_create_window(c, XCB_COPY_FROM_PARENT, window_, screen->root, static_cast<std::int16_t>(x),
                          static_cast<std::int16_t>(y), 200, 200, 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          screen->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT | XCB_CW_CURSOR,
                          values);
        xcb_map_window(c, window_);
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    }
    ~CursorWindow() {
        xcb_destroy_window(c_, window_);
        xcb_free_cursor(c_, cursor_);
        xcb_flush(c_);
    }

private:
    xcb_connection_t* c_;
    xcb_window_t window_ = 0;
    xcb_cursor_t cursor_ = 0;
};

std::optional<CursorImage> waitForCursor(PointerMonitor& monitor) {
    for (int i = 0; i < 200; ++i) {
        if (auto image = monitor.cursorImageIfChanged()) return image;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return std::nullopt;
}

TEST_F(PointerMonitorTest, FetchesTheCursorPictureOnlyWhenTheCursorChanged) {
    ASSERT_TRUE(monitor->reportsCursors());
    CursorWindow arrow(driver->connection(), 300, 300, 68); // left_ptr
    CursorWindow beam(driver->connection(), 600, 300, 152); // xterm
    monitor->start([](const PointerButtonEvent&) {});
    // The first call always gives the cursor of the moment.
    driver->moveTo(1000, 900);
    ASSERT_TRUE(waitForCursor(*monitor));
    driver->moveTo(400, 400);
    std::optional<CursorImage> first = waitForCursor(*monitor);
    ASSERT_TRUE(first);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(first->rgba.size(), std::size_t(first->width) * first->height * 4);
    // Nothing changed: no picture is fetched.
    EXPECT_FALSE(monitor->cursorImageIfChanged());
    driver->moveTo(700, 400);
    std::optional<CursorImage> second = waitForCursor(*monitor);
    ASSERT_TRUE(second);
    EXPECT_NE(second->rgba, first->rgba);
    driver->moveTo(410, 410);
    std::optional<CursorImage> third = waitForCursor(*monitor);
    ASSERT_TRUE(third);
    EXPECT_EQ(third->rgba, first->rgba);
    EXPECT_EQ(third->hotSpot, first->hotSpot);
    monitor->stop();
}

TEST(CursorImage, AnAllTransparentPictureIsAHiddenCursor) {
    CursorImage image{2, 1, {}, {10, 20, 30, 0, 0, 0, 0, 0}};
    EXPECT_FALSE(image.isVisible());
    image.rgba[7] = 1;
    EXPECT_TRUE(image.isVisible());
}

} // namespace
} // namespace vtl
