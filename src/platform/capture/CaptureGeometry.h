#pragma once
// Coordinate conversion between X11 root pixels (y down from the root's top-left) and the system's
// coordinates (y up from the bottom-left of a reference screen), and the bounded list of changed
// rectangles a display update carries. Plain functions and values; nobody owns them.

#include "platform/foundation/Geometry.h"

#include <cstddef>
#include <vector>

namespace vtl {

// The one place where X11 root pixels (y down from the root's top-left) meet the system's
// coordinates (y up from the bottom-left corner of a reference screen). The reference is given in
// X11 root pixels: the primary screen for global coordinates, the recorded screen for areas on it.
// X11 screens have a backing scale factor of 1.0, so points and pixels are the same size.
class X11CoordinateSpace {
public:
    explicit X11CoordinateSpace(const Rect& referenceX11)
        : reference_(referenceX11.standardized()) {}

    Rect fromX11(const Rect& x11) const;
    Rect toX11(const Rect& yUp) const;
    Point fromX11(Point x11) const;
    Point toX11(Point yUp) const;
    const Rect& referenceX11() const { return reference_; }

private:
    Rect reference_;
};

// Changed rectangles of one update, kept to at most `maximumCount` entries: a new rectangle that
// lies inside one already held is dropped, and while there are too many, the two whose common
// bounding box adds the least uncovered area are replaced by that box. The union of the held
// rectangles always covers every rectangle added.
class ChangedRegion {
public:
    explicit ChangedRegion(std::size_t maximumCount = 16);

    // Adds a rectangle (empty ones are ignored). Edges are rounded outward to whole pixels.
    void add(const Rect& rect);
    void add(const std::vector<Rect>& rects);
    const std::vector<Rect>& rectangles() const { return rects_; }
    bool isEmpty() const { return rects_.empty(); }
    void clear() { rects_.clear(); }
    std::size_t maximumCount() const { return maximumCount_; }

private:
    void mergeCheapestPair();

    std::size_t maximumCount_;
    std::vector<Rect> rects_;
};

} // namespace vtl
