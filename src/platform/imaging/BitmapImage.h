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

    bool isEmpty() const { return !m_pixels; }
    std::size_t width() const { return m_width; }
    std::size_t height() const { return m_height; }
    std::size_t bytesPerRow() const { return m_bytesPerRow; }
    std::size_t byteCount() const { return m_bytesPerRow * m_height; }

    const std::uint8_t* data() const { return m_pixels.get(); }
    // For the one who made the image, before it is shared.
    std::uint8_t* mutableData() { return m_pixels.get(); }
    const std::uint8_t* rowAt(std::size_t y) const { return m_pixels.get() + y * m_bytesPerRow; }
    // Whether no other copy shares the pixels (a pool may then reuse them).
    bool isUniquelyHeld() const { return m_pixels.use_count() == 1; }
    // Pixel (x, y) as 0xAARRGGBB; 0 outside the image.
    std::uint32_t pixelAt(std::size_t x, std::size_t y) const;

private:
    std::size_t m_width = 0;
    std::size_t m_height = 0;
    std::size_t m_bytesPerRow = 0;
    std::shared_ptr<std::uint8_t[]> m_pixels;
};

} // namespace vtl
