#include "platform/capture/DisplayStreamUpdate.h"

#include "platform/capture/CaptureGeometry.h"

namespace vtl {

DisplayStreamUpdate::DisplayStreamUpdate(std::vector<Rect> refreshedRects, std::vector<Rect> movedRects,
                                         double moveDeltaX, double moveDeltaY)
    : refreshedRects_(std::move(refreshedRects))
    , movedRects_(std::move(movedRects))
    , moveDeltaX_(moveDeltaX)
    , moveDeltaY_(moveDeltaY) {}

std::shared_ptr<const DisplayStreamUpdate> DisplayStreamUpdate::merged(const DisplayStreamUpdate& first,
                                                                       const DisplayStreamUpdate& second,
                                                                       std::size_t maximumRefreshedRects) {
    ChangedRegion region(maximumRefreshedRects);
    region.add(first.refreshedRects_);
    region.add(second.refreshedRects_);
    region.add(second.movedRects_);
    return std::make_shared<const DisplayStreamUpdate>(region.rectangles(), first.movedRects_,
                                                       first.moveDeltaX_, first.moveDeltaY_);
}

} // namespace vtl
