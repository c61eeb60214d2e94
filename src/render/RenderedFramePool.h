#pragma once
// Frames the offscreen generator renders into, all of one size, pixel format and row stride, kept
// for reuse once every holder has let go. The generator makes one of its own; a caller that
// writes the frames somewhere (a movie writer) hands over one whose format and stride suit it.
// Shared by its users; thread-safe; frames may outlive the pool.

#include "platform/foundation/Result.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace vtl {

// What the bytes of each pixel are, in memory order. The alpha formats hold premultiplied colour;
// the others hold the picture over black (X is 255).
enum class FramePixelFormat { BGRA8Premultiplied, RGBA8Premultiplied, BGRX8, RGB8 };

std::size_t bytesPerPixel(FramePixelFormat format);
bool hasAlpha(FramePixelFormat format);

// One frame: rows top first, `bytesPerRow` apart (at least width × bytes per pixel). Copies share
// the pixels.
struct RenderedFrame {
    FramePixelFormat format = FramePixelFormat::BGRA8Premultiplied;
    int width = 0, height = 0;
    std::size_t bytesPerRow = 0;
    std::shared_ptr<std::uint8_t[]> pixels;

    bool isEmpty() const { return !pixels; }
    std::uint8_t* row(int y) const { return pixels.get() + std::size_t(y) * bytesPerRow; }
};

class RenderedFramePool {
public:
    // bytesPerRow 0: rows packed. A stride below a packed row is raised to it.
    RenderedFramePool(int width, int height, FramePixelFormat format, std::size_t bytesPerRow = 0,
                      std::size_t maximumKept = 4);

    Result<RenderedFrame> take();

    int width() const { return width_; }
    int height() const { return height_; }
    FramePixelFormat format() const { return format_; }
    std::size_t bytesPerRow() const { return bytesPerRow_; }

private:
    struct Shelf;
    int width_, height_;
    FramePixelFormat format_;
    std::size_t bytesPerRow_;
    std::shared_ptr<Shelf> shelf_;
};

} // namespace vtl
