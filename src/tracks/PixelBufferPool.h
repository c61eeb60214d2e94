#pragma once
// Recycles the frame-sized images a decode-ahead cache decodes into, so steady playback does
// not allocate: an image comes back once no one else holds its pixels. Shared by a cache's
// window and its entries; thread-safe.

#include "platform/imaging/BitmapImage.h"

#include <cstddef>
#include <mutex>
#include <vector>

namespace vtl {

class PixelBufferPool {
public:
    PixelBufferPool(std::size_t width, std::size_t height, std::size_t maxKept)
        : m_width(width)
        , m_height(height)
        , m_maxKept(maxKept) {}

    // An image of the pool's size (contents undefined when reused); empty when memory is short.
    BitmapImage take();
    // Offers an image back; it is reused only after every other holder has let go of it.
    void recycle(BitmapImage image);

    std::size_t width() const { return m_width; }
    std::size_t height() const { return m_height; }

private:
    std::size_t m_width;
    std::size_t m_height;
    std::size_t m_maxKept;
    std::mutex m_mutex;
    std::vector<BitmapImage> m_images;
};

} // namespace vtl
