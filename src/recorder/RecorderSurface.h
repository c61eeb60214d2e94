#pragma once
// A captured screen picture in 32-bit B, G, R, X pixels, shared by the frames that copy from it.
// The capture layer provides real surfaces; MemorySurface serves synthetic sources and tests.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vtl::recording {

class RecorderSurface {
public:
    virtual ~RecorderSurface() = default;
    virtual std::uint32_t width() const = 0;
    virtual std::uint32_t height() const = 0;
    virtual std::size_t bytesPerRow() const = 0;
    // Read access to the pixels between lockForReading() and unlock().
    virtual const std::uint8_t* lockForReading() = 0;
    virtual void unlock() = 0;
};

// A surface held in memory.
class MemorySurface final : public RecorderSurface {
public:
    MemorySurface(std::uint32_t width, std::uint32_t height, std::size_t bytesPerRow = 0)
        : m_width(width)
        , m_height(height)
        , m_bytesPerRow(bytesPerRow ? bytesPerRow : std::size_t{width} * 4)
        , m_pixels(m_bytesPerRow * height) {}
    std::uint32_t width() const override { return m_width; }
    std::uint32_t height() const override { return m_height; }
    std::size_t bytesPerRow() const override { return m_bytesPerRow; }
    const std::uint8_t* lockForReading() override { return m_pixels.data(); }
    void unlock() override {}

    std::uint8_t* pixels() { return m_pixels.data(); }
    const std::uint8_t* pixels() const { return m_pixels.data(); }

private:
    std::uint32_t m_width;
    std::uint32_t m_height;
    std::size_t m_bytesPerRow;
    std::vector<std::uint8_t> m_pixels;
};

} // namespace vtl::recording
