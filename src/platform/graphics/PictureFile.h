#pragma once
// Picture files (PNG, JPEG, TIFF, WebP, GIF, BMP, ...) read into an image with one bitmap
// representation of the picture's pixel size, turned upright by the photo's orientation. Free
// functions; the caller owns the image.
//
// Decoding keeps the image reader's allocation limit: a picture whose pixels would need more is
// refused before anything is decoded, as are unreadable, truncated and unknown files.

#include "platform/foundation/Result.h"
#include "platform/graphics/Image.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace vtl {

Result<ImageRef> imageWithContentsOfFile(const std::string& path);
Result<ImageRef> imageWithData(const std::uint8_t* bytes, std::size_t length);

} // namespace vtl
