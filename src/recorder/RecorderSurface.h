#pragma once
// A captured screen picture in 32-bit B, G, R, X pixels, shared by the frames that copy from it.
// The capture layer provides real surfaces; MemorySurface serves synthetic sources and tests.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vtl {

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
        : width_(width)
        , height_(height)
        , bytesPerRow_(bytesPerRow ? bytesPerRow : std::size_t{width} * 4)
        , pixels_(bytesPerRow_ * height) {}
    std::uint32_t width() const override { return width_; }
    std::uint32_t height() const override { return height_; }
    std::size_t bytesPerRow() const override { return bytesPerRow_; }
    const std::uint8_t* lockForReading() override { return pixels_.data(); }
    void unlock() override {}

    std::uint8_t* pixels() { return pixels_.data(); }
    const std::uint8_t* pixels() const { return pixels_.data(); }

private:
    std::uint32_t width_;
    std::uint32_t height_;
    std::size_t bytesPerRow_;
    std::vector<std::uint8_t> pixels_;
};

} // namespace vtl
