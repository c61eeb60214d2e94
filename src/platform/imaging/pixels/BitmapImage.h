#pragma once
// A picture held in memory as 32-bit pixels in B, G, R, A byte order, rows top to bottom.
// Shared by value (copies share the pixels); whoever fills it does so before handing it out.

#include <cstddef>
#include <cstdint>
#include <memory>

namespace vtl {

class BitmapImage {
public:
    BitmapImage() = default;
    // A zero-filled image; bytesPerRow 0 means width × 4. An impossible size gives an empty image.
    BitmapImage(std::size_t width, std::size_t height, std::size_t bytesPerRow = 0);
    // An image over pixels someone else provides (at least bytesPerRow × height bytes); the
    // deleter of `pixels` decides what happens when the last copy lets go (a pool may reuse them).
    BitmapImage(std::size_t width, std::size_t height, std::size_t bytesPerRow,
                std::shared_ptr<std::uint8_t[]> pixels);

    bool isEmpty() const { return !pixels_; }
    std::size_t width() const { return width_; }
    std::size_t height() const { return height_; }
    std::size_t bytesPerRow() const { return bytesPerRow_; }
    std::size_t byteCount() const { return bytesPerRow_ * height_; }

    const std::uint8_t* data() const { return pixels_.get(); }
    // For the one who made the image, before it is shared.
    std::uint8_t* mutableData() { return pixels_.get(); }
    const std::uint8_t* rowAt(std::size_t y) const { return pixels_.get() + y * bytesPerRow_; }
    // Pixel (x, y) as 0xAARRGGBB; 0 outside the image.
    std::uint32_t pixelAt(std::size_t x, std::size_t y) const;

private:
    std::size_t width_ = 0;
    std::size_t height_ = 0;
    std::size_t bytesPerRow_ = 0;
    std::shared_ptr<std::uint8_t[]> pixels_;
};

} // namespace vtl
