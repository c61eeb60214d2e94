#include "platform/capture/CaptureSurface.h"

#include "platform/foundation/Log.h"

namespace vtl {

CaptureSurface::CaptureSurface(std::uint32_t width, std::uint32_t height)
    : width_(width)
    , height_(height)
    , bytesPerRow_(static_cast<std::size_t>(width) * 4)
    , ownPixels_(new std::uint8_t[static_cast<std::size_t>(width) * 4 * height]()) {
    pixels_ = ownPixels_.get();
}

CaptureSurface::CaptureSurface(std::uint32_t width, std::uint32_t height, std::size_t bytesPerRow,
                               std::uint8_t* pixels, std::function<void()> release)
    : width_(width)
    , height_(height)
    , bytesPerRow_(bytesPerRow)
    , pixels_(pixels)
    , release_(std::move(release)) {}

CaptureSurface::~CaptureSurface() {
    if (release_) release_();
}

void CaptureSurface::decrementUseCount() {
    int previous = useCount_.fetch_sub(1, std::memory_order_acq_rel);
    if (previous <= 0) {
        useCount_.fetch_add(1, std::memory_order_acq_rel);
        VTL_ASSERT(false, "capture surface use count would go below zero");
    }
}

} // namespace vtl
