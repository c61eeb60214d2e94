#pragma once
// Additions for images: representation choice, bitmaps at a scale, shadows, flipping and
// rotation. Results are new values; the receiver is not changed.

#include "platform/foundation/Geometry.h"
#include "platform/graphics/Bitmap.h"
#include "platform/graphics/Color.h"
#include "platform/graphics/Image.h"

#include <optional>

namespace vtl {

// A bitmap placed in the image's point space: its bottom-left corner at `origin`.
struct PlacedBitmap {
    BitmapRef bitmap;
    Point origin;
};

// The bitmap for the image's full size (for the imaging layer), and the pixel-to-point ratio of
// its width when `factor` is given.
BitmapRef ciimageWithFactor(const Image& image, float* factor);
// The first representation's size, replaced by a later one only when that is smaller in both sides.
Size sizeOfSmallestRepresentation(const Image& image);
// The smallest representation at least as large as the size in both sides, else the largest.
BitmapRef bestRepresentationForSize(const Image& image, Size size);
// A bitmap of ceil(size × factor) pixels, rows of width × 4 bytes, the image drawn over all of it.
BitmapRef bitmapRepresentationWithScalingFactor(const Image& image, float factor);
Size sizeOfFirstBitmapRepresentation(const Image& image);
// The image's coverage in the colour, blurred by the radius (the result reaches past the image).
PlacedBitmap shadowWithBlurRadius(const Image& image, float radius, const Color& color);
// That shadow moved by the offset at shadowAlpha, under the image itself.
PlacedBitmap imageWithShadowWithBlurRadius(const Image& image, float radius, const Color& color, Size offset,
                                           float shadowAlpha);
ImageRef flippedImage(const Image& image);
// Rotated about its centre; corners that leave the square are cut off, the size stays.
ImageRef imageRotatedByDegrees(const Image& image, float degrees);

} // namespace vtl
