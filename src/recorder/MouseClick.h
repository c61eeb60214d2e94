#pragma once
// One pointer event as the mouse recorder lists it: a button press or release, or a wheel step,
// with the point it happened at and, for presses, how many came in quick succession. A value.

#include "platform/foundation/Geometry.h"

#include <cstdint>

namespace vtl {

class MouseClick {
public:
    // The "mouse" file's event types.
    static constexpr std::uint32_t kButtonDown = 1;
    static constexpr std::uint32_t kButtonUp = 2;
    static constexpr std::uint32_t kWheel = 10;

    MouseClick(Point point, std::uint32_t eventType, int button, int wheelX, int wheelY,
               std::uint32_t clickCount, double timeSeconds)
        : point_(point)
        , timeSeconds_(timeSeconds)
        , eventType_(eventType)
        , button_(button)
        , wheelX_(wheelX)
        , wheelY_(wheelY)
        , clickCount_(clickCount) {}

    // mouseClickWithPoint:…captureOffset: the point less the offset.
    static MouseClick withCaptureOffset(Point point, std::uint32_t eventType, int button, int wheelX,
                                        int wheelY, std::uint32_t clickCount, Point captureOffset,
                                        double timeSeconds) {
        return MouseClick(Point{point.x - captureOffset.x, point.y - captureOffset.y}, eventType, button,
                          wheelX, wheelY, clickCount, timeSeconds);
    }

    Point point() const { return point_; }
    // Clock seconds when the event was made.
    double time() const { return timeSeconds_; }
    std::uint32_t eventType() const { return eventType_; }
    // −1 for wheel steps.
    int button() const { return button_; }
    int wheelX() const { return wheelX_; }
    int wheelY() const { return wheelY_; }
    std::uint32_t clickCount() const { return clickCount_; }
    void setClickCount(std::uint32_t count) { clickCount_ = count; }

private:
    Point point_;
    double timeSeconds_;
    std::uint32_t eventType_;
    int button_;
    int wheelX_;
    int wheelY_;
    std::uint32_t clickCount_;
};

} // namespace vtl
