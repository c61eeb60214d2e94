#include "platform/imaging/pixels/BitmapImage.h"

#include <limits>
#include <new>

namespace vtl {

BitmapImage::BitmapImage(std::size_t width, std::size_t height, std::size_t bytesPerRow) {
    if (width == 0 || height == 0) return;
    if (width > std::numeric_limits<std::size_t>::max() / 4) return;
    if (bytesPerRow == 0) bytesPerRow = width * 4;
    if (bytesPerRow < width * 4) return;
    if (height > std::numeric_limits<std::size_t>::max() / bytesPerRow) return;
    std::shared_ptr<std::uint8_t[]> pixels(new (std::nothrow) std::uint8_t[bytesPerRow * height]());
    if (!pixels) return;
    width_ = width;
    height_ = height;
    bytesPerRow_ = bytesPerRow;
    pixels_ = std::move(pixels);
}

BitmapImage::BitmapImage(std::size_t width, std::size_t height, std::size_t bytesPerRow,
                         std::shared_ptr<std::uint8_t[]> pixels) {
    if (!pixels || width == 0 || height == 0 || bytesPerRow / 4 < width) return;
    width_ = width;
    height_ = height;
    bytesPerRow_ = bytesPerRow;
    pixels_ = std::move(pixels);
}

std::uint32_t BitmapImage::pixelAt(std::size_t x, std::size_t y) const {
    if (!pixels_ || x >= width_ || y >= height_) return 0;
    const std::uint8_t* p = rowAt(y) + x * 4;
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

} // namespace vtl
