#pragma once
// TIFF pictures in memory: an uncompressed RGBA picture written as a TIFF, and any TIFF libtiff
// reads turned back into RGBA. Plain functions; the caller owns the bytes.

#include "platform/foundation/Result.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace vtl {

// Rows top to bottom, 4 bytes a pixel R, G, B, A, colour premultiplied by alpha.
struct TiffImage {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgba;
    bool operator==(const TiffImage&) const = default;
};

// Pictures larger than this on either side, or in all, are refused both ways.
inline constexpr int kMaximumTiffSidePixels = 16384;
inline constexpr std::size_t kMaximumTiffPixels = std::size_t(4096) * 4096;

// One uncompressed strip of 8-bit R, G, B and associated alpha.
Result<std::vector<std::uint8_t>> encodeTiff(const TiffImage& image);
// The first picture of the file; fails on data that is not a readable TIFF.
Result<TiffImage> decodeTiff(std::span<const std::uint8_t> bytes);

} // namespace vtl
