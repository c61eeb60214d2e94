#pragma once
// The pointer of the whole display as a recorder follows it: button presses, releases and wheel
// steps wherever they happen, the pointer's position, and the cursor image whenever it changed.
// Made by its user (the mouse recorder), which owns it; the button callback runs on the
// monitor's own event thread from start() until stop() has returned.

#include "platform/foundation/Geometry.h"
#include "platform/foundation/Result.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace vtl {

struct PointerButtonEvent {
    enum class Kind { Down, Up, Wheel };
    Kind kind = Kind::Down;
    // The system's button number: 1 primary, 2 secondary, 3 middle, 4 and 5 the side buttons, more
    // for further ones; −1 for a wheel step.
    int button = 0;
    // One wheel step: +1 up or left, −1 down or right, 0 on the other axis.
    int wheelX = 0;
    int wheelY = 0;
};

// A cursor picture: rows top to bottom, 4 bytes a pixel R, G, B, A with the colour premultiplied by
// alpha, as the display server keeps it.
struct CursorImage {
    int width = 0;
    int height = 0;
    Point hotSpot; // pixels from the top-left corner
    std::vector<std::uint8_t> rgba;

    // An all-transparent picture is how a hidden cursor looks.
    bool isVisible() const;
};

class PointerMonitor {
public:
    using ButtonHandler = std::function<void(const PointerButtonEvent&)>;

    virtual ~PointerMonitor() = default;

    // Whether presses, releases and wheel steps are seen (false: positions only).
    virtual bool reportsButtons() const = 0;
    // Whether cursor changes are seen (false: no cursor pictures).
    virtual bool reportsCursors() const = 0;
    // Starts delivering button events to the handler on the monitor's thread.
    virtual void start(ButtonHandler handler) = 0;
    // Stops and joins the thread; no handler call runs after it returns. Idempotent.
    virtual void stop() = 0;
    // Where the pointer is, in global points with y down from the top of the primary screen (the
    // original's "carbon" coordinates); nullopt when the display cannot be asked. Any thread.
    virtual std::optional<Point> pointerLocation() = 0;
    // The same, without waiting for the server: answers the location asked for at the previous
    // call (nullopt at the first) and asks again for the next one. For a caller that samples at a
    // steady pace, which then never blocks on the display. One thread at a time.
    virtual std::optional<Point> pipelinedPointerLocation() = 0;
    // The cursor picture when the cursor changed since the last call (the first call always gives
    // one); nullopt when it did not or cannot be read. Any one thread at a time.
    virtual std::optional<CursorImage> cursorImageIfChanged() = 0;
};

// The monitor of an X display: XInput2 raw button events on the root, whatever window or grab has
// the pointer; positions asked of the server on a connection of their own; cursor pictures fetched
// only when XFixes reports a new cursor. Missing extensions leave the matching report off; fails without a
// display.
Result<std::unique_ptr<PointerMonitor>> openPointerMonitor(const char* displayName = nullptr);

// X11 button numbers to the system's: 1, 3, 2, 8, 9 are 1, 2, 3, 4, 5; 4 to 7 are wheel steps.
std::optional<PointerButtonEvent> pointerButtonEventFromX11(int x11Button, bool pressed);

} // namespace vtl
