#pragma once
// What a tracking area tells its owner when the pointer crosses its boundary or moves inside it.
// Implemented by views (for their own areas) and by window controllers; the area does not own it.

namespace vtl {

struct MouseEvent;

class TrackingAreaOwner {
public:
    virtual void mouseEntered(const MouseEvent&) {}
    virtual void mouseExited(const MouseEvent&) {}
    virtual void mouseMoved(const MouseEvent&) {}

protected:
    ~TrackingAreaOwner() = default;
};

} // namespace vtl
