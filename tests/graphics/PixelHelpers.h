#pragma once
// Reading pixels of a rendered context in y-up terms (row 0 at the bottom), for drawing tests.

#include "platform/graphics/GraphicsContext.h"

namespace vtl::test {

// The premultiplied pixel at (x, y) counted from the bottom-left of the bitmap.
inline Bitmap::Pixel pixelUp(const Bitmap& b, int x, int y) {
    return b.pixelAt(x, b.height() - 1 - y);
}

} // namespace vtl::test
