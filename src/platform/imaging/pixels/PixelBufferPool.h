#pragma once
// Recycles the frame-sized images that decoders (a recording's decode-ahead cache, a movie's
// frame readers) decode into, so steady playback does not allocate: when the last copy of an
// image handed out is dropped (by a window, a waiting request or the renderer), its pixels come
// back here. Shared by its decoder and the decoder's entries; thread-safe, and images may
// outlive the pool.

#include "platform/imaging/pixels/BitmapImage.h"

#include <cstddef>
#include <memory>

namespace vtl {

class PixelBufferPool {
public:
    PixelBufferPool(std::size_t width, std::size_t height, std::size_t maxKept);

    // An image of the pool's size (contents undefined when reused); empty when memory is short.
    BitmapImage take();

    std::size_t width() const { return width_; }
    std::size_t height() const { return height_; }
    std::size_t keptCount() const;

private:
    struct Shelf;
    std::size_t width_;
    std::size_t height_;
    std::shared_ptr<Shelf> shelf_;
};

} // namespace vtl
