#pragma once
// What changed on the screen between two delivered pictures of a display stream: the refreshed
// (changed) rectangles and the moved rectangles with their one common move offset, all in pixels
// of the stream's surface (x right, y down from the top-left pixel). Immutable once delivered;
// shared by whoever keeps it.

#include "platform/foundation/Geometry.h"

#include <cstddef>
#include <memory>
#include <vector>

namespace vtl {

enum class DisplayStreamFrameStatus {
    frameComplete, // a new picture is in the surface
    frameIdle,     // nothing changed
    frameBlank,    // the display went blank
    stopped,       // the stream stopped; the last call
};

class DisplayStreamUpdate {
public:
    DisplayStreamUpdate() = default;
    DisplayStreamUpdate(std::vector<Rect> refreshedRects, std::vector<Rect> movedRects = {},
                        double moveDeltaX = 0, double moveDeltaY = 0);

    const std::vector<Rect>& refreshedRects() const { return refreshedRects_; }
    // Moved rectangles at their new position; their pixels came from (x + dx, y + dy) in the previous
    // picture.
    const std::vector<Rect>& movedRects() const { return movedRects_; }
    double moveDeltaX() const { return moveDeltaX_; }
    double moveDeltaY() const { return moveDeltaY_; }

    // One update that takes the picture before `first` to the picture after `second`. Moves of
    // `first` stay moves (they read the older picture); moves of `second` would read a picture the
    // merged update never shows, so their rectangles become refreshed ones. The refreshed list is
    // kept to at most `maximumRefreshedRects` rectangles that cover everything that changed.
    static std::shared_ptr<const DisplayStreamUpdate> merged(const DisplayStreamUpdate& first,
                                                             const DisplayStreamUpdate& second,
                                                             std::size_t maximumRefreshedRects = 16);

private:
    std::vector<Rect> refreshedRects_;
    std::vector<Rect> movedRects_;
    double moveDeltaX_ = 0;
    double moveDeltaY_ = 0;
};

} // namespace vtl
