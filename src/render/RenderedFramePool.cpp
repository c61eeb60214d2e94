#include "render/RenderedFramePool.h"

#include <mutex>
#include <new>
#include <string>
#include <vector>

namespace vtl {

namespace {
// Frames of more pixels than this are refused rather than allocated.
constexpr std::size_t maximumFramePixels = std::size_t(16384) * 16384;
} // namespace

std::size_t bytesPerPixel(FramePixelFormat format) {
    return format == FramePixelFormat::RGB8 ? 3 : 4;
}

bool hasAlpha(FramePixelFormat format) {
    return format == FramePixelFormat::BGRA8Premultiplied || format == FramePixelFormat::RGBA8Premultiplied;
}

struct RenderedFramePool::Shelf {
    std::mutex mutex;
    std::vector<std::uint8_t*> buffers;
    std::size_t maximumKept = 0;
    ~Shelf() {
        for (std::uint8_t* buffer : buffers)
            delete[] buffer;
    }
};

RenderedFramePool::RenderedFramePool(int width, int height, FramePixelFormat format, std::size_t bytesPerRow,
                                     std::size_t maximumKept)
    : width_(width > 0 ? width : 0)
    , height_(height > 0 ? height : 0)
    , format_(format)
    , bytesPerRow_(std::max(bytesPerRow, std::size_t(width_) * bytesPerPixel(format)))
    , shelf_(std::make_shared<Shelf>()) {
    shelf_->maximumKept = maximumKept;
}

Result<RenderedFrame> RenderedFramePool::take() {
    if (width_ == 0 || height_ == 0 || std::size_t(width_) * std::size_t(height_) > maximumFramePixels)
        return fail("A frame of " + std::to_string(width_) + " × " + std::to_string(height_) +
                    " pixels cannot be made.");
    std::uint8_t* buffer = nullptr;
    {
        std::lock_guard lock(shelf_->mutex);
        if (!shelf_->buffers.empty()) {
            buffer = shelf_->buffers.back();
            shelf_->buffers.pop_back();
        }
    }
    if (!buffer) buffer = new (std::nothrow) std::uint8_t[bytesPerRow_ * std::size_t(height_)];
    if (!buffer) return fail("There is not enough memory for a frame.");
    std::weak_ptr<Shelf> weakShelf = shelf_;
    std::shared_ptr<std::uint8_t[]> pixels(buffer, [weakShelf](std::uint8_t* released) {
        if (auto shelf = weakShelf.lock()) {
            std::lock_guard lock(shelf->mutex);
            if (shelf->buffers.size() < shelf->maximumKept) {
                shelf->buffers.push_back(released);
                return;
            }
        }
        delete[] released;
    });
    return RenderedFrame{format_, width_, height_, bytesPerRow_, std::move(pixels)};
}

} // namespace vtl
