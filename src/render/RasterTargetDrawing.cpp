#include "render/RasterTargetDrawing.h"

#include "platform/imaging/CIContextWrapper.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vtl {

RasterTargetDrawing::RasterTargetDrawing(const RasterTarget& target, int workerCount)
    : target_(target) {
    CIContextOptions options;
    options.workerCount = workerCount;
    CIContextWrapper& wrapper = CIContextWrapper::sharedCIContextWrapper();
    context_ = wrapper.newCIContextWithTarget(target, options);
}

RasterTargetDrawing::~RasterTargetDrawing() {
    if (context_) CIContextWrapper::sharedCIContextWrapper().releaseCIContext(std::move(context_));
}

void RasterTargetDrawing::clear(int value) {
    if (!target_.isValid()) return;
    const std::uint8_t byte = value <= 0 ? 0 : 255;
    const std::size_t rowBytes = std::size_t(target_.width) * 4;
    for (int y = 0; y < target_.height; ++y)
        std::memset(target_.pixels + std::size_t(y) * target_.bytesPerRow, byte, rowBytes);
}

void RasterTargetDrawing::pushTransform() {
    saved_.push_back(transform_);
}

void RasterTargetDrawing::popTransform() {
    if (saved_.empty()) return;
    transform_ = saved_.back();
    saved_.pop_back();
}

void RasterTargetDrawing::translate(double dx, double dy) {
    transform_.translateBy(dx, dy);
}

void RasterTargetDrawing::scale(double sx, double sy) {
    transform_.scaleBy(sx, sy);
}

Rect RasterTargetDrawing::mapRect(const Rect& rect) const {
    const double x0 = transform_.a * rect.minX() + transform_.tx;
    const double x1 = transform_.a * rect.maxX() + transform_.tx;
    const double y0 = transform_.d * rect.minY() + transform_.ty;
    const double y1 = transform_.d * rect.maxY() + transform_.ty;
    return Rect(std::min(x0, x1), std::min(y0, y1), std::fabs(x1 - x0), std::fabs(y1 - y0));
}

Status RasterTargetDrawing::drawImage(const CIImage& image, const Rect& inRect, const Rect& fromRect) {
    if (!context_ || !target_.isValid()) return fail("The drawing has no pixels to draw into.");
    return CIContextWrapper::sharedCIContextWrapper().drawCIImage(image, *context_, mapRect(inRect),
                                                                  fromRect);
}

} // namespace vtl
