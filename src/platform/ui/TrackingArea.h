#pragma once
// A region of a view that reports the pointer entering and leaving it (and, when asked, moving
// inside it) to an owner, with user data for the owner to tell areas apart. Shared
// (std::shared_ptr): the view that holds it and whoever installed it; the owner is not owned and
// must remove the area before it goes away.

#include "platform/foundation/Geometry.h"

#include <any>

namespace vtl {

class TrackingAreaOwner;

// The original's option bits, so that stored and logged values read the same.
enum TrackingAreaOptions : unsigned {
    TrackingMouseEnteredAndExited = 0x01,
    TrackingMouseMoved = 0x02,
    TrackingCursorUpdate = 0x04,
    TrackingActiveWhenFirstResponder = 0x10,
    TrackingActiveInKeyWindow = 0x20,
    TrackingActiveInActiveApp = 0x40,
    TrackingActiveAlways = 0x80,
    TrackingAssumeInside = 0x100,
    // The area follows the view's visible rectangle instead of its own.
    TrackingInVisibleRect = 0x200,
    TrackingEnabledDuringMouseDrag = 0x400,
};

class TrackingArea {
public:
    TrackingArea(const Rect& rect, unsigned options, TrackingAreaOwner* owner, std::any userInfo = {})
        : rect_(rect)
        , options_(options)
        , owner_(owner)
        , userInfo_(std::move(userInfo))
        , mouseInside_((options & TrackingAssumeInside) != 0) {}

    const Rect& rect() const { return rect_; }
    unsigned options() const { return options_; }
    TrackingAreaOwner* owner() const { return owner_; }
    const std::any& userInfo() const { return userInfo_; }

    // Whether the pointer was inside at the last check (kept by the view that holds the area).
    bool mouseInside() const { return mouseInside_; }
    void setMouseInside(bool inside) { mouseInside_ = inside; }

private:
    Rect rect_;
    unsigned options_;
    TrackingAreaOwner* owner_;
    std::any userInfo_;
    bool mouseInside_;
};

} // namespace vtl
