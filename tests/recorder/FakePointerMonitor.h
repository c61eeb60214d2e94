#pragma once
// Test support: a pointer monitor the test moves and shows cursors on by hand; button events are
// sent through its handler. Header-only.

#include "platform/capture/PointerMonitor.h"

#include <mutex>
#include <utility>

namespace vtl::testing {

class FakePointer final : public PointerMonitor {
public:
    bool reportsButtons() const override { return true; }
    bool reportsCursors() const override { return true; }
    void start(ButtonHandler h) override { handler = std::move(h); }
    void stop() override { stopped = true; }
    std::optional<Point> pointerLocation() override {
        std::lock_guard lock(mutex);
        return location;
    }
    // As the display answers: the location of the previous call.
    std::optional<Point> pipelinedPointerLocation() override {
        std::lock_guard lock(mutex);
        return std::exchange(sampled, location);
    }
    std::optional<CursorImage> cursorImageIfChanged() override {
        std::lock_guard lock(mutex);
        std::optional<CursorImage> next = std::move(pendingCursor);
        pendingCursor.reset();
        return next;
    }
    void moveTo(Point p) {
        std::lock_guard lock(mutex);
        location = p;
    }
    void showCursor(CursorImage image) {
        std::lock_guard lock(mutex);
        pendingCursor = std::move(image);
    }

    std::mutex mutex;
    ButtonHandler handler;
    std::optional<Point> location = Point{0, 0};
    std::optional<Point> sampled;
    std::optional<CursorImage> pendingCursor;
    bool stopped = false;
};

} // namespace vtl::testing
