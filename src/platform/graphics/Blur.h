#pragma once
// A gaussian blur of 8-bit four-channel pixels (three box passes), for shadows and image effects.

#include "platform/graphics/Bitmap.h"

#include <cstddef>
#include <cstdint>

namespace vtl {

void gaussianBlurPixels(uint8_t* pixels, int width, int height, size_t bytesPerRow, double sigma);
void gaussianBlur(Bitmap& bitmap, double sigma);

} // namespace vtl
