#pragma once
// Whole-pixel regions of image space and views of the pixels that fill them. Image space has y up
// (row 0 of a region is its lowest row); stored pictures and render targets keep their rows top
// first, so a view over them walks memory backwards (a negative stride). Plain values; the pixels
// belong to whoever made the view.

#include "platform/foundation/Geometry.h"

#include <cstddef>
#include <cstdint>
#include <optional>

namespace vtl {

// The largest region any render, intermediate or materialized picture may cover: beyond it a
// request is refused instead of allocating.
inline constexpr int maximumRegionSidePixels = 1 << 16;
inline constexpr std::int64_t maximumRegionPixels = std::int64_t(1) << 27;

struct PixelRegion {
    int x = 0, y = 0, width = 0, height = 0;

    bool isEmpty() const { return width <= 0 || height <= 0; }
    std::int64_t pixelCount() const { return isEmpty() ? 0 : std::int64_t(width) * height; }
    int maxX() const { return x + width; }
    int maxY() const { return y + height; }
    bool contains(const PixelRegion& other) const {
        return other.isEmpty() || (!isEmpty() && other.x >= x && other.y >= y && other.maxX() <= maxX() &&
                                   other.maxY() <= maxY());
    }
    // Empty (all zero) when they do not overlap.
    PixelRegion intersection(const PixelRegion& other) const;
    // An empty operand is ignored.
    PixelRegion unionWith(const PixelRegion& other) const;
    PixelRegion grownBy(int pixels) const;
    PixelRegion offsetBy(int dx, int dy) const { return {x + dx, y + dy, width, height}; }
    Rect rect() const { return Rect(x, y, width, height); }
    friend bool operator==(const PixelRegion&, const PixelRegion&) = default;
};

// The pixels a rectangle touches (its edges pushed outward to whole pixels), clipped to ±2^29 so
// that any finite or infinite rectangle has one; empty for NaN or an empty rectangle.
PixelRegion pixelRegionCovering(const Rect& rect);

// A view of width × height premultiplied B, G, R, A pixels: `origin` is the lowest row's first
// pixel and `stride` the byte step from a row to the one above (negative for rows stored top first).
template <class Byte> struct BasicPixelSpan {
    Byte* origin = nullptr;
    std::ptrdiff_t stride = 0;
    int width = 0, height = 0;

    Byte* row(int y) const { return origin + y * stride; }
    // The part of the view that starts dx pixels right and dy rows up.
    BasicPixelSpan sub(int dx, int dy, int w, int h) const {
        return {origin + dy * stride + std::ptrdiff_t(dx) * 4, stride, w, h};
    }
    operator BasicPixelSpan<const Byte>() const { return {origin, stride, width, height}; }
};
using PixelSpan = BasicPixelSpan<std::uint8_t>;
using ConstPixelSpan = BasicPixelSpan<const std::uint8_t>;

// The one conversion between stored rows (top first) and image space (y up): the stored row that
// holds image row `imageY` of a picture `height` rows tall.
inline int storedRowForImageY(int imageY, int height) {
    return height - 1 - imageY;
}

// A y-up view over pixels stored top row first, as bitmaps and render targets keep them.
template <class Byte>
BasicPixelSpan<Byte> spanOverTopFirstRows(Byte* pixels, int width, int height, std::size_t bytesPerRow) {
    if (!pixels || width <= 0 || height <= 0) return {};
    return {pixels + std::ptrdiff_t(storedRowForImageY(0, height)) * std::ptrdiff_t(bytesPerRow),
            -std::ptrdiff_t(bytesPerRow), width, height};
}

void fillSpan(PixelSpan span, std::uint32_t bgraPixel);
void copySpan(ConstPixelSpan from, PixelSpan to);

} // namespace vtl
