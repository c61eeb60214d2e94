#include "tracks/PixelBufferPool.h"

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
    : m_width(width)
    , m_height(height)
    , m_shelf(std::make_shared<Shelf>()) {
    m_shelf->maxKept = maxKept;
}

std::size_t PixelBufferPool::keptCount() const {
    std::lock_guard lock(m_shelf->mutex);
    return m_shelf->buffers.size();
}

BitmapImage PixelBufferPool::take() {
    if (m_width == 0 || m_height == 0) return {};
    std::uint8_t* buffer = nullptr;
    {
        std::lock_guard lock(m_shelf->mutex);
        if (!m_shelf->buffers.empty()) {
            buffer = m_shelf->buffers.back();
            m_shelf->buffers.pop_back();
        }
    }
    if (!buffer) buffer = new (std::nothrow) std::uint8_t[m_width * m_height * 4];
    if (!buffer) return {};
    // Runs after the last copy is gone (the release of the count orders every earlier use before it).
    std::weak_ptr<Shelf> weakShelf = m_shelf;
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
    return BitmapImage(m_width, m_height, m_width * 4, std::move(pixels));
}

} // namespace vtl
