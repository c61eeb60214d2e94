#include "platform/imaging/pixels/PixelBufferPool.h"

#include <mutex>
#include <new>
#include <vector>

namespace vtl {

struct PixelBufferPool::Shelf {
    std::mutex mutex;
    std::vector<std::uint8_t*> buffers;
    std::size_t maxKept = 0;
    ~Shelf() {
        for (std::uint8_t* buffer : buffers)
            delete[] buffer;
    }
};

PixelBufferPool::PixelBufferPool(std::size_t width, std::size_t height, std::size_t maxKept)
    : width_(width)
    , height_(height)
    , shelf_(std::make_shared<Shelf>()) {
    shelf_->maxKept = maxKept;
}

std::size_t PixelBufferPool::keptCount() const {
    std::lock_guard lock(shelf_->mutex);
    return shelf_->buffers.size();
}

BitmapImage PixelBufferPool::take() {
    if (width_ == 0 || height_ == 0) return {};
    std::uint8_t* buffer = nullptr;
    {
        std::lock_guard lock(shelf_->mutex);
        if (!shelf_->buffers.empty()) {
            buffer = shelf_->buffers.back();
            shelf_->buffers.pop_back();
        }
    }
    if (!buffer) buffer = new (std::nothrow) std::uint8_t[width_ * height_ * 4];
    if (!buffer) return {};
    // Runs after the last copy is gone (the release of the count orders every earlier use before it).
    std::weak_ptr<Shelf> weakShelf = shelf_;
    std::shared_ptr<std::uint8_t[]> pixels(buffer, [weakShelf](std::uint8_t* released) {
        if (auto shelf = weakShelf.lock()) {
            std::lock_guard lock(shelf->mutex);
            if (shelf->buffers.size() < shelf->maxKept) {
                shelf->buffers.push_back(released);
                return;
            }
        }
        delete[] released;
    });
    return BitmapImage(width_, height_, width_ * 4, std::move(pixels));
}

} // namespace vtl
