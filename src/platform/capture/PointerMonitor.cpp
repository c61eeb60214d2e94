#include "platform/capture/PointerMonitor.h"

#include "platform/capture/XcbConnection.h"
#include "platform/foundation/Log.h"

#include <atomic>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <thread>
#include <unistd.h>
#include <xcb/xfixes.h>
#include <xcb/xinput.h>

namespace vtl {

namespace {

class X11PointerMonitor final : public PointerMonitor {
public:
    // `queries`: a second connection, whose replies no event thread reads, so a sampled location
    // waits in the socket until it is taken.
    X11PointerMonitor(std::unique_ptr<XcbConnection> connection, std::unique_ptr<XcbConnection> queries,
                      Point primaryOrigin)
        : connection_(std::move(connection))
        , queries_(std::move(queries))
        , primaryOrigin_(primaryOrigin) {
        // The event thread sleeps until the display or stop() wakes it.
        if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) wake_[0] = wake_[1] = -1;
        xcb_connection_t* c = connection_->get();
        const xcb_query_extension_reply_t* xi = xcb_get_extension_data(c, &xcb_input_id);
        if (xi && xi->present) {
            XcbReply<xcb_input_xi_query_version_reply_t> version(
                xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 2), nullptr));
            if (version && version->major_version >= 2) {
                xiOpcode_ = xi->major_opcode;
                struct {
                    xcb_input_event_mask_t head;
                    std::uint32_t bits;
                } mask{};
                mask.head.deviceid = XCB_INPUT_DEVICE_ALL_MASTER;
                mask.head.mask_len = 1;
                mask.bits =
                    XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS | XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_RELEASE;
                XcbReply<xcb_generic_error_t> error(xcb_request_check(
                    c, xcb_input_xi_select_events_checked(c, connection_->root(), 1, &mask.head)));
                buttons_ = !error;
            }
        }
        const xcb_query_extension_reply_t* fixes = xcb_get_extension_data(c, &xcb_xfixes_id);
        if (fixes && fixes->present) {
            XcbReply<xcb_xfixes_query_version_reply_t> version(
                xcb_xfixes_query_version_reply(c, xcb_xfixes_query_version(c, 4, 0), nullptr));
            if (version && version->major_version >= 2) {
                fixesFirstEvent_ = fixes->first_event;
                XcbReply<xcb_generic_error_t> error(xcb_request_check(
                    c, xcb_xfixes_select_cursor_input_checked(c, connection_->root(),
                                                              XCB_XFIXES_CURSOR_NOTIFY_MASK_DISPLAY_CURSOR)));
                cursors_ = !error;
            }
        }
        xcb_flush(c);
    }

    ~X11PointerMonitor() override {
        stop();
        if (pending_) std::free(xcb_query_pointer_reply(queries_->get(), *pending_, nullptr));
        for (int fd : wake_)
            if (fd >= 0) ::close(fd);
    }

    bool reportsButtons() const override { return buttons_; }
    bool reportsCursors() const override { return cursors_; }

    void start(ButtonHandler handler) override {
        std::lock_guard lock(controlMutex_);
        if (thread_.joinable()) return;
        handler_ = std::move(handler);
        stopRequested_ = false;
        thread_ = std::thread([this] { run(); });
    }

    void stop() override {
        std::lock_guard lock(controlMutex_);
        stopRequested_ = true;
        if (wake_[1] >= 0) {
            char byte = 1;
            [[maybe_unused]] ssize_t written = ::write(wake_[1], &byte, 1);
        }
        if (thread_.joinable()) thread_.join();
    }

    std::optional<Point> pointerLocation() override {
        xcb_connection_t* c = queries_->get();
        return locationOf(xcb_query_pointer_reply(c, xcb_query_pointer(c, queries_->root()), nullptr));
    }

    std::optional<Point> pipelinedPointerLocation() override {
        xcb_connection_t* c = queries_->get();
        std::optional<Point> previous;
        if (pending_) previous = locationOf(xcb_query_pointer_reply(c, *pending_, nullptr));
        pending_ = xcb_query_pointer(c, queries_->root());
        xcb_flush(c);
        return previous;
    }

    std::optional<CursorImage> cursorImageIfChanged() override {
        if (!cursors_) return std::nullopt;
        // Fetched only when the server announced another cursor: a picture costs a round trip and
        // a copy of its pixels, the tick runs up to 120 times a second.
        std::uint64_t changes = cursorChanges_.load();
        if (fetchedOnce_ && changes == fetchedChanges_) return std::nullopt;
        xcb_connection_t* c = connection_->get();
        XcbReply<xcb_xfixes_get_cursor_image_reply_t> reply(
            xcb_xfixes_get_cursor_image_reply(c, xcb_xfixes_get_cursor_image(c), nullptr));
        if (!reply) return std::nullopt;
        fetchedOnce_ = true;
        fetchedChanges_ = changes;
        CursorImage image;
        image.width = reply->width;
        image.height = reply->height;
        image.hotSpot = Point{static_cast<double>(reply->xhot), static_cast<double>(reply->yhot)};
        std::size_t count = std::size_t(reply->width) * reply->height;
        if (static_cast<std::size_t>(xcb_xfixes_get_cursor_image_cursor_image_length(reply.get())) < count)
            return std::nullopt;
        const std::uint32_t* argb = xcb_xfixes_get_cursor_image_cursor_image(reply.get());
        image.rgba.resize(count * 4);
        for (std::size_t i = 0; i < count; ++i) {
            std::uint32_t p = argb[i];
            image.rgba[i * 4 + 0] = static_cast<std::uint8_t>(p >> 16);
            image.rgba[i * 4 + 1] = static_cast<std::uint8_t>(p >> 8);
            image.rgba[i * 4 + 2] = static_cast<std::uint8_t>(p);
            image.rgba[i * 4 + 3] = static_cast<std::uint8_t>(p >> 24);
        }
        return image;
    }

private:
    std::optional<Point> locationOf(xcb_query_pointer_reply_t* raw) const {
        XcbReply<xcb_query_pointer_reply_t> reply(raw);
        if (!reply) return std::nullopt;
        return Point{reply->root_x - primaryOrigin_.x, reply->root_y - primaryOrigin_.y};
    }

    void run() {
        xcb_connection_t* c = connection_->get();
        pollfd fds[2] = {{xcb_get_file_descriptor(c), POLLIN, 0}, {wake_[0], POLLIN, 0}};
        // Without a wake pipe the thread looks at its stop flag now and then.
        int timeout = wake_[0] >= 0 ? -1 : 20;
        while (!stopRequested_.load()) {
            while (xcb_generic_event_t* raw = xcb_poll_for_event(c)) {
                XcbReply<xcb_generic_event_t> event(raw);
                handle(event.get());
            }
            if (connection_->hasError()) {
                logMessage(
                    "The connection to the X display was lost; the pointer's buttons are no longer seen.");
                return;
            }
            ::poll(fds, wake_[0] >= 0 ? 2 : 1, timeout);
        }
        // Ready for a later start.
        char drain[16];
        while (wake_[0] >= 0 && ::read(wake_[0], drain, sizeof drain) > 0) {
        }
    }

    void handle(const xcb_generic_event_t* event) {
        std::uint8_t type = event->response_type & 0x7f;
        if (cursors_ && type == static_cast<std::uint8_t>(fixesFirstEvent_ + XCB_XFIXES_CURSOR_NOTIFY)) {
            cursorChanges_.fetch_add(1);
            return;
        }
        if (type != XCB_GE_GENERIC || !buttons_) return;
        const auto* generic = reinterpret_cast<const xcb_ge_generic_event_t*>(event);
        if (generic->extension != xiOpcode_) return;
        bool pressed = generic->event_type == XCB_INPUT_RAW_BUTTON_PRESS;
        if (!pressed && generic->event_type != XCB_INPUT_RAW_BUTTON_RELEASE) return;
        const auto* button = reinterpret_cast<const xcb_input_raw_button_press_event_t*>(event);
        std::optional<PointerButtonEvent> converted =
            pointerButtonEventFromX11(static_cast<int>(button->detail), pressed);
        if (converted && handler_) handler_(*converted);
    }

    std::unique_ptr<XcbConnection> connection_;
    std::unique_ptr<XcbConnection> queries_;
    std::optional<xcb_query_pointer_cookie_t> pending_;
    Point primaryOrigin_;
    int wake_[2] = {-1, -1};
    bool buttons_ = false;
    bool cursors_ = false;
    std::uint8_t xiOpcode_ = 0;
    std::uint8_t fixesFirstEvent_ = 0;

    std::mutex controlMutex_;
    std::thread thread_;
    std::atomic<bool> stopRequested_{false};
    ButtonHandler handler_;

    std::atomic<std::uint64_t> cursorChanges_{0};
    std::uint64_t fetchedChanges_ = 0;
    bool fetchedOnce_ = false;
};

} // namespace

bool CursorImage::isVisible() const {
    for (std::size_t i = 3; i < rgba.size(); i += 4)
        if (rgba[i] != 0) return true;
    return false;
}

std::optional<PointerButtonEvent> pointerButtonEventFromX11(int x11Button, bool pressed) {
    PointerButtonEvent event;
    if (x11Button >= 4 && x11Button <= 7) {
        // A wheel step is one press; its release carries nothing.
        if (!pressed) return std::nullopt;
        event.kind = PointerButtonEvent::Kind::Wheel;
        event.button = -1;
        if (x11Button == 4) event.wheelY = 1;
        if (x11Button == 5) event.wheelY = -1;
        if (x11Button == 6) event.wheelX = 1;
        if (x11Button == 7) event.wheelX = -1;
        return event;
    }
    event.kind = pressed ? PointerButtonEvent::Kind::Down : PointerButtonEvent::Kind::Up;
    switch (x11Button) {
    case 1:
        event.button = 1;
        break;
    case 2:
        event.button = 3;
        break;
    case 3:
        event.button = 2;
        break;
    default:
        if (x11Button < 8) return std::nullopt;
        // 8 and 9 (back, forward) are the side buttons 4 and 5; further ones follow on.
        event.button = x11Button - 4;
        break;
    }
    return event;
}

Result<std::unique_ptr<PointerMonitor>> openPointerMonitor(const char* displayName) {
    std::string error;
    auto connection = XcbConnection::open(displayName, error);
    if (!connection) return fail(error);
    auto queries = XcbConnection::open(displayName, error);
    if (!queries) return fail(error);
    Point primaryOrigin = connection->screens().front().x11Frame.origin;
    return std::unique_ptr<PointerMonitor>(
        new X11PointerMonitor(std::move(connection), std::move(queries), primaryOrigin));
}

} // namespace vtl
