#pragma once
// One mouse event as a view sees it: its kind, where it happened in the window (y up from the
// window's bottom-left) and in the receiving view, and for entering and leaving the tracking
// area that fired. Plain value; nobody owns it.

#include "platform/foundation/Geometry.h"

#include <memory>

namespace vtl {

class TrackingArea;

enum class MouseEventType {
    LeftMouseDown,
    LeftMouseUp,
    LeftMouseDragged,
    RightMouseDown,
    RightMouseUp,
    MouseMoved,
    MouseEntered,
    MouseExited,
};

// Modifier keys held during the event; combine with |.
enum MouseModifierFlags : unsigned {
    ModifierNone = 0,
    ModifierShift = 1u << 17,
    ModifierControl = 1u << 18,
    ModifierOption = 1u << 19,
    ModifierCommand = 1u << 20,
};

struct MouseEvent {
    MouseEventType type = MouseEventType::MouseMoved;
    Point locationInWindow;
    Point locationInView;
    int clickCount = 0;
    unsigned modifierFlags = ModifierNone;
    // Entered and exited events: the area whose boundary was crossed.
    std::shared_ptr<TrackingArea> trackingArea;
};

} // namespace vtl
