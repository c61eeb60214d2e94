#pragma once
// Pixels a context draws into: 8-bit premultiplied B, G, R, A, rows stored top first, as bitmaps,
// pixel buffers and window back stores keep them. Image space maps onto it with (0, 0) at the
// lower-left corner and one unit per pixel. A view: whoever made the pixels owns them.

#include "platform/graphics/Bitmap.h"
#include "platform/imaging/PixelSpan.h"
#include "platform/imaging/pixels/BitmapImage.h"

#include <cstddef>
#include <cstdint>

namespace vtl {

struct RasterTarget {
    std::uint8_t* pixels = nullptr;
    int width = 0, height = 0;
    std::size_t bytesPerRow = 0;

    static RasterTarget over(Bitmap& bitmap) {
        return {bitmap.data(), bitmap.width(), bitmap.height(), bitmap.bytesPerRow()};
    }
    // The image must not be shared yet (its maker fills it).
    static RasterTarget over(BitmapImage& bitmap) {
        return {bitmap.mutableData(), int(bitmap.width()), int(bitmap.height()), bitmap.bytesPerRow()};
    }
    bool isValid() const {
        return pixels && width > 0 && height > 0 && bytesPerRow >= std::size_t(width) * 4;
    }
    // The y-up view of the whole target.
    PixelSpan span() const { return spanOverTopFirstRows(pixels, width, height, bytesPerRow); }
};

} // namespace vtl
