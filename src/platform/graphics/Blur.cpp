#include "platform/graphics/Blur.h"

#include "platform/foundation/DispatchApply.h"
#include "platform/graphics/ScratchPixels.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace vtl {

// Fixed point: a pass sums pairs of mirrored taps (a + b) << 7 weighted by weights / 65536 with a
// truncating 16-bit high multiply, so a pixel level v comes out as v · 128. Each tap truncates by
// less than one unit; the accumulator starts at `bias` units to centre that loss. Both passes stay
// below 2^15 per value, so the sum of a mirrored pair of intermediates still fits 16 bits.

GaussianBlurKernel GaussianBlurKernel::forSigma(double sigma) {
    GaussianBlurKernel kernel;
    if (!(sigma > 0)) sigma = 0;
    sigma = std::min(sigma, maximumSigma);
    kernel.radius = radiusForSigma(sigma);
    kernel.weights.assign(static_cast<std::size_t>(kernel.radius) + 1, 0);
    if (kernel.radius == 0) {
        kernel.weights[0] = 32768;
        return kernel;
    }
    std::vector<double> g(kernel.weights.size());
    double total = 0;
    for (int k = 0; k <= kernel.radius; ++k) {
        g[k] = std::exp(-double(k) * k / (2 * sigma * sigma));
        total += k == 0 ? g[k] : 2 * g[k];
    }
    std::uint32_t sides = 0;
    for (int k = 1; k <= kernel.radius; ++k) {
        kernel.weights[k] = static_cast<std::uint16_t>(std::lround(g[k] / total * 65536));
        sides += kernel.weights[k];
    }
    kernel.weights[0] = static_cast<std::uint16_t>((65536 - 2 * sides) / 2);
    return kernel;
}

int GaussianBlurKernel::radiusForSigma(double sigma) {
    if (!(sigma > 0)) return 0;
    return static_cast<int>(std::ceil(3 * std::min(sigma, maximumSigma)));
}

namespace {

std::uint16_t biasFor(const GaussianBlurKernel& kernel) {
    return static_cast<std::uint16_t>(std::min(127, (kernel.radius + 1) / 2));
}

inline std::uint16_t mulHigh(std::uint32_t a, std::uint32_t b) {
    return static_cast<std::uint16_t>((a * b) >> 16);
}

// One output row's vertical pass for values [from, to) of a source row of `count` values.
void verticalScalar(const GaussianBlurKernel& kernel, const std::uint8_t* centre, std::ptrdiff_t stride,
                    std::uint16_t* mid, std::size_t from, std::size_t to) {
    const int r = kernel.radius;
    const std::uint16_t bias = biasFor(kernel);
    for (std::size_t i = from; i < to; ++i) {
        std::uint32_t acc = bias;
        for (int k = 0; k <= r; ++k) {
            std::uint32_t s = (std::uint32_t((centre - k * stride)[i]) + (centre + k * stride)[i]) << 7;
            acc += mulHigh(s, kernel.weights[k]);
        }
        mid[i] = static_cast<std::uint16_t>(acc);
    }
}

void horizontalScalar(const GaussianBlurKernel& kernel, const std::uint16_t* mid, std::uint8_t* out,
                      std::size_t fromPixel, std::size_t toPixel) {
    const int r = kernel.radius;
    const std::uint16_t bias = biasFor(kernel);
    for (std::size_t x = fromPixel; x < toPixel; ++x) {
        std::uint8_t v[4];
        for (int c = 0; c < 4; ++c) {
            const std::uint16_t* centre = mid + (x + r) * 4 + c;
            std::uint32_t acc = bias;
            for (int k = 0; k <= r; ++k) {
                std::uint32_t s = std::uint32_t(centre[-4 * k]) + centre[4 * k];
                acc += mulHigh(s, kernel.weights[k]);
            }
            v[c] = static_cast<std::uint8_t>(std::min<std::uint32_t>(255, (acc + 64) >> 7));
        }
        // Keep the premultiplied invariant that no component exceeds alpha.
        for (int c = 0; c < 3; ++c)
            out[x * 4 + c] = std::min(v[c], v[3]);
        out[x * 4 + 3] = v[3];
    }
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) std::size_t verticalAvx2(const GaussianBlurKernel& kernel,
                                                         const std::uint8_t* centre, std::ptrdiff_t stride,
                                                         std::uint16_t* mid, std::size_t count) {
    const int r = kernel.radius;
    const __m256i bias = _mm256_set1_epi16(static_cast<short>(biasFor(kernel)));
    std::size_t i = 0;
    for (; i + 32 <= count; i += 32) {
        __m256i acc0 = bias, acc1 = bias;
        for (int k = 0; k <= r; ++k) {
            const __m256i w = _mm256_set1_epi16(static_cast<short>(kernel.weights[k]));
            const std::uint8_t* up = centre + i - k * stride;
            const std::uint8_t* down = centre + i + k * stride;
            __m256i a0 = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(up)));
            __m256i b0 = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(down)));
            __m256i a1 = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(up + 16)));
            __m256i b1 = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(down + 16)));
            __m256i s0 = _mm256_slli_epi16(_mm256_add_epi16(a0, b0), 7);
            __m256i s1 = _mm256_slli_epi16(_mm256_add_epi16(a1, b1), 7);
            acc0 = _mm256_add_epi16(acc0, _mm256_mulhi_epu16(s0, w));
            acc1 = _mm256_add_epi16(acc1, _mm256_mulhi_epu16(s1, w));
        }
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(mid + i), acc0);
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(mid + i + 16), acc1);
    }
    return i;
}

__attribute__((target("avx2"))) std::size_t horizontalAvx2(const GaussianBlurKernel& kernel,
                                                           const std::uint16_t* mid, std::uint8_t* out,
                                                           std::size_t pixels) {
    const int r = kernel.radius;
    const __m256i bias = _mm256_set1_epi16(static_cast<short>(biasFor(kernel)));
    const __m256i half = _mm256_set1_epi16(64);
    const __m256i alphas = _mm256_setr_epi8(3, 3, 3, 3, 7, 7, 7, 7, 11, 11, 11, 11, 15, 15, 15, 15, 3, 3, 3,
                                            3, 7, 7, 7, 7, 11, 11, 11, 11, 15, 15, 15, 15);
    std::size_t x = 0;
    for (; x + 8 <= pixels; x += 8) {
        const std::uint16_t* centre = mid + (x + r) * 4;
        __m256i acc0 = bias, acc1 = bias;
        for (int k = 0; k <= r; ++k) {
            const __m256i w = _mm256_set1_epi16(static_cast<short>(kernel.weights[k]));
            const std::uint16_t* left = centre - 4 * k;
            const std::uint16_t* right = centre + 4 * k;
            __m256i s0 = _mm256_add_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(left)),
                                          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(right)));
            __m256i s1 = _mm256_add_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(left + 16)),
                                          _mm256_loadu_si256(reinterpret_cast<const __m256i*>(right + 16)));
            acc0 = _mm256_add_epi16(acc0, _mm256_mulhi_epu16(s0, w));
            acc1 = _mm256_add_epi16(acc1, _mm256_mulhi_epu16(s1, w));
        }
        acc0 = _mm256_srli_epi16(_mm256_add_epi16(acc0, half), 7);
        acc1 = _mm256_srli_epi16(_mm256_add_epi16(acc1, half), 7);
        __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(acc0, acc1), 0xD8);
        bytes = _mm256_min_epu8(bytes, _mm256_shuffle_epi8(bytes, alphas));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x * 4), bytes);
    }
    return x;
}

bool hasAvx2() {
    static const bool supported = __builtin_cpu_supports("avx2");
    return supported;
}

// Code that returns with the upper halves of the vector registers dirty (some of the toolkit's
// drawing does) makes every later non-VEX SSE instruction on this thread several times slower,
// until something clears them.
__attribute__((target("avx"))) void clearUpperVectorHalves() {
    _mm256_zeroupper();
}
#endif

} // namespace

void gaussianBlurBand(const GaussianBlurKernel& kernel, const std::uint8_t* source,
                      std::ptrdiff_t sourceStride, std::uint8_t* destination,
                      std::ptrdiff_t destinationStride, int width, int firstRow, int rowCount) {
    if (width <= 0 || rowCount <= 0 || kernel.weights.empty()) return;
    const int r = kernel.radius;
    const std::size_t values = (static_cast<std::size_t>(width) + 2 * r) * 4;
    // Room for the vector loads past the last value of a row.
    std::unique_ptr<std::uint16_t[]> mid(new std::uint16_t[values + 32]);
    for (int row = firstRow; row < firstRow + rowCount; ++row) {
        const std::uint8_t* centre = source + (row + r) * sourceStride;
        std::uint8_t* out = destination + row * destinationStride;
        std::size_t doneValues = 0, donePixels = 0;
#if defined(__x86_64__)
        if (hasAvx2()) doneValues = verticalAvx2(kernel, centre, sourceStride, mid.get(), values);
#endif
        verticalScalar(kernel, centre, sourceStride, mid.get(), doneValues, values);
#if defined(__x86_64__)
        if (hasAvx2()) donePixels = horizontalAvx2(kernel, mid.get(), out, static_cast<std::size_t>(width));
#endif
        horizontalScalar(kernel, mid.get(), out, donePixels, static_cast<std::size_t>(width));
    }
}

namespace {

// Below this much kernel work (pixels × taps) waking the dispatch pool costs more than it saves.
constexpr double kInlineBlurWork = 16e6;

// Blurs a picture whose rows `fillRow(y, row)` writes (w premultiplied pixels) into `destination`,
// with transparency all around. Reads every source row before writing any output row, so the
// destination may be the source. False, with nothing written, when memory runs out.
template <class FillRow>
bool blurRows(std::uint8_t* destination, int w, int h, std::size_t bytesPerRow, double sigma,
              FillRow fillRow) {
    // Beyond a few times the picture's size a wider blur only leaves it fainter, while the
    // padded copy and the kernel would grow with the radius.
    sigma = std::min(sigma, 4.0 * std::max(w, h));
    GaussianBlurKernel kernel = GaussianBlurKernel::forSigma(sigma);
    const int r = kernel.radius;
#if defined(__x86_64__)
    if (hasAvx2()) clearUpperVectorHalves();
#endif
    if (r == 0) {
        for (int y = 0; y < h; ++y)
            fillRow(y, destination + y * bytesPerRow);
        return true;
    }
    const std::size_t paddedWidth = static_cast<std::size_t>(w) + 2 * r;
    const std::size_t paddedRows = static_cast<std::size_t>(h) + 2 * r;
    const std::size_t paddedStride = paddedWidth * 4;
    const ScratchPixels padded(paddedStride * paddedRows);
    if (!padded.data()) return false;
    const std::size_t sideBytes = static_cast<std::size_t>(r) * 4;
    std::memset(padded.data(), 0, paddedStride * static_cast<std::size_t>(r));
    std::memset(padded.data() + (static_cast<std::size_t>(h) + r) * paddedStride, 0,
                paddedStride * static_cast<std::size_t>(r));
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = padded.data() + (y + r) * paddedStride;
        std::memset(row, 0, sideBytes);
        fillRow(y, row + sideBytes);
        std::memset(row + sideBytes + static_cast<std::size_t>(w) * 4, 0, sideBytes);
    }
    constexpr int bandRows = 16;
    const std::size_t bands = (static_cast<std::size_t>(h) + bandRows - 1) / bandRows;
    auto blurBand = [&](std::size_t band) {
        int first = static_cast<int>(band) * bandRows;
        gaussianBlurBand(kernel, padded.data(), static_cast<std::ptrdiff_t>(paddedStride), destination,
                         static_cast<std::ptrdiff_t>(bytesPerRow), w, first, std::min(bandRows, h - first));
    };
    if (double(w) * double(h) * double(2 * r + 1) < kInlineBlurWork) {
        for (std::size_t band = 0; band < bands; ++band)
            blurBand(band);
    } else {
        dispatchApply(bands, blurBand);
    }
    return true;
}

} // namespace

void gaussianBlurPixels(std::uint8_t* pixels, int w, int h, std::size_t bytesPerRow, double sigma) {
    if (!pixels || w <= 0 || h <= 0 || !(sigma > 0)) return;
    if (GaussianBlurKernel::radiusForSigma(std::min(sigma, 4.0 * std::max(w, h))) == 0) return;
    blurRows(pixels, w, h, bytesPerRow, sigma, [&](int y, std::uint8_t* row) {
        std::memcpy(row, pixels + y * bytesPerRow, static_cast<std::size_t>(w) * 4);
    });
}

void tintedGaussianBlur(const std::uint8_t* coverage, std::size_t coverageBytesPerRow,
                        std::uint8_t* destination, std::size_t destinationBytesPerRow, int w, int h,
                        double sigma, std::uint32_t premultipliedArgb) {
    if (!coverage || !destination || w <= 0 || h <= 0) return;
    if (!(sigma > 0)) sigma = 0;
    // The colour at each coverage level: colour × alpha / 255, rounded as the raster engine's
    // own fills round it.
    std::uint32_t shades[256];
    for (std::uint32_t a = 0; a < 256; ++a) {
        std::uint32_t shade = 0;
        for (int shift = 0; shift < 32; shift += 8) {
            const std::uint32_t t = ((premultipliedArgb >> shift) & 0xff) * a;
            shade |= ((t + (t >> 8) + 0x80) >> 8) << shift;
        }
        shades[a] = shade;
    }
    auto tint = [&](int y, std::uint8_t* row) {
        const std::uint8_t* in = coverage + y * coverageBytesPerRow;
        for (int x = 0; x < w; ++x) {
            const std::uint32_t shade = shades[in[x * 4 + 3]];
            std::memcpy(row + x * 4, &shade, 4);
        }
    };
    // Without memory for the blur the shadow stays sharp rather than undefined.
    if (!blurRows(destination, w, h, destinationBytesPerRow, sigma, tint))
        for (int y = 0; y < h; ++y)
            tint(y, destination + y * destinationBytesPerRow);
}

void gaussianBlur(Bitmap& bitmap, double sigma) {
    gaussianBlurPixels(bitmap.data(), bitmap.width(), bitmap.height(), bitmap.bytesPerRow(), sigma);
}

} // namespace vtl
