#pragma once
// A gaussian blur of 8-bit premultiplied four-channel pixels: an exact sampled kernel of radius
// ⌈3σ⌉, applied in two separable passes with 16-bit fixed-point intermediates. The same kernel
// serves the drawing context's shadows and the imaging layer's blur filter, which runs it on
// bands of rows in parallel. Plain functions and a kernel value; callers own the pixels.

#include "platform/graphics/Bitmap.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace vtl {

// The sampled gaussian of one σ. Weights are in units of 1/65536 and sum to exactly 65536 over
// −radius…radius; weights[0] is stored halved, because the passes add each tap to its mirror.
struct GaussianBlurKernel {
    int radius = 0;
    std::vector<std::uint16_t> weights;

    // σ ≤ 0 or NaN gives radius 0 (a copy). σ is clamped to maximumSigma.
    static GaussianBlurKernel forSigma(double sigma);
    static constexpr double maximumSigma = 500;
    // ⌈3σ⌉, the number of pixels a blur of σ spreads a picture by on each side.
    static int radiusForSigma(double sigma);
};

// Blurs `rowCount` output rows starting at output row `firstRow`. Output pixel (x, y) depends on
// the source pixels (x … x + 2r, y … y + 2r): `source` addresses the source pixel that lies r
// columns left of and r rows before output pixel (0, 0). Strides are in bytes and may be negative
// (rows stored in either order). `width` is the output width in pixels. The result for a row does
// not depend on how rows are split into bands, so bands can run on any number of threads.
void gaussianBlurBand(const GaussianBlurKernel& kernel, const std::uint8_t* source,
                      std::ptrdiff_t sourceStride, std::uint8_t* destination,
                      std::ptrdiff_t destinationStride, int width, int firstRow, int rowCount);

// In-place blur of a whole picture; pixels outside it count as transparent, so the picture's
// edge fades. Large pictures run bands of rows in parallel on the dispatch pool.
void gaussianBlurPixels(std::uint8_t* pixels, int width, int height, std::size_t bytesPerRow, double sigma);
void gaussianBlur(Bitmap& bitmap, double sigma);

// A shadow: the coverage's alpha filled with one premultiplied colour (0xAARRGGBB, stored B, G, R,
// A in memory) and blurred, written to `destination`. σ ≤ 0 gives the filled coverage unblurred.
// Small pictures are blurred on the calling thread.
void tintedGaussianBlur(const std::uint8_t* coverage, std::size_t coverageBytesPerRow,
                        std::uint8_t* destination, std::size_t destinationBytesPerRow, int width, int height,
                        double sigma, std::uint32_t premultipliedArgb);

} // namespace vtl
