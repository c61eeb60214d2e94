#pragma once
// Renders images into plain pixel arrays read in image space (y up), for the imaging tests.

#include "platform/imaging/CIImage.h"
#include "platform/imaging/CPUTileEvaluator.h"

#include <array>
#include <cstdint>
#include <vector>

namespace vtl::test {

struct Rendered {
    PixelRegion region;
    std::vector<std::uint8_t> bytes; // rows bottom first
    // Premultiplied B, G, R, A at image-space pixel (x, y); zeros outside.
    std::array<int, 4> at(int x, int y) const {
        if (x < region.x || y < region.y || x >= region.maxX() || y >= region.maxY()) return {0, 0, 0, 0};
        const std::uint8_t* p =
            bytes.data() + (std::size_t(y - region.y) * region.width + (x - region.x)) * 4;
        return {p[0], p[1], p[2], p[3]};
    }
    int alpha(int x, int y) const { return at(x, y)[3]; }
};

inline Rendered render(const CIImage& image, const PixelRegion& region, int workers = 2) {
    Rendered r{region, std::vector<std::uint8_t>(std::size_t(region.pixelCount()) * 4, 0xAB)};
    CPUTileEvaluator evaluator(workers);
    PixelSpan span{r.bytes.data(), std::ptrdiff_t(region.width) * 4, region.width, region.height};
    Status s = evaluator.draw(image, region, span, DrawMode::Copy);
    if (!s) r.bytes.clear();
    return r;
}

// A bitmap filled with one premultiplied pixel (B, G, R, A).
inline BitmapRef solidBitmap(int w, int h, Bitmap::Pixel p) {
    auto b = std::make_shared<Bitmap>(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            b->setPixel(x, y, p);
    return b;
}

} // namespace vtl::test
