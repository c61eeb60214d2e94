#pragma once
// Reads a view of premultiplied pixels that covers a known region of image space at any point:
// whole pixels, or bilinear samples with 7-bit fixed-point weights, so the same point gives the
// same bits wherever it is asked. Pixels outside the view are transparent. A plain value over
// pixels the caller keeps alive; used by the effect kernels.

#include "platform/imaging/EffectPixels.h"
#include "platform/imaging/PixelSpan.h"

#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vtl::detail {

class PixelSampler {
public:
    PixelSampler(ConstPixelSpan span, const PixelRegion& region)
        : span_(span)
        , region_(region) {}

    const PixelRegion& region() const { return region_; }

    // The pixel at image-space pixel (x, y), or null outside the view.
    const std::uint8_t* pixel(int x, int y) const {
        int i = x - region_.x, j = y - region_.y;
        if (i < 0 || j < 0 || i >= region_.width || j >= region_.height) return nullptr;
        return span_.row(j) + std::ptrdiff_t(i) * 4;
    }

    // The premultiplied colour at image-space point (u, v) (pixel centres lie at half-integers),
    // with weights in 1/128 of a pixel along each axis.
    void bilinear(double u, double v, std::uint8_t* out) const {
        const double fx = u - 0.5 - region_.x, fy = v - 0.5 - region_.y;
        if (!(fx > -1 && fy > -1 && fx < region_.width && fy < region_.height)) {
            std::memcpy(out, &transparent, 4);
            return;
        }
        // In 1/128 pixel, rounded: the whole pixel and the weight of the next one.
        const int tx = floorToInt(fx * 128 + 0.5), ty = floorToInt(fy * 128 + 0.5);
        const int x0 = tx >> 7, y0 = ty >> 7, wx = tx & 127, wy = ty & 127;
        if (x0 >= 0 && y0 >= 0 && x0 + 1 < region_.width && y0 + 1 < region_.height) {
            const std::uint8_t* p = span_.row(y0) + std::ptrdiff_t(x0) * 4;
            blend(p, p + 4, p + span_.stride, p + span_.stride + 4, wx, wy, out);
            return;
        }
        blend(local(x0, y0), local(x0 + 1, y0), local(x0, y0 + 1), local(x0 + 1, y0 + 1), wx, wy, out);
    }

private:
    static constexpr std::uint32_t transparent = 0;

    // A pixel of the view, or a transparent one outside it.
    const std::uint8_t* local(int i, int j) const {
        if (i < 0 || j < 0 || i >= region_.width || j >= region_.height)
            return reinterpret_cast<const std::uint8_t*>(&transparent);
        return span_.row(j) + std::ptrdiff_t(i) * 4;
    }

    // (p00 (128 − wx) + p10 wx) (128 − wy) + (p01 (128 − wx) + p11 wx) wy, over 2¹⁴, per channel.
    static void blend(const std::uint8_t* p00, const std::uint8_t* p10, const std::uint8_t* p01,
                      const std::uint8_t* p11, int wx, int wy, std::uint8_t* out) {
#if defined(__SSE2__)
        const __m128i zero = _mm_setzero_si128();
        auto load = [&](const std::uint8_t* p) {
            std::int32_t v;
            std::memcpy(&v, p, 4);
            return _mm_unpacklo_epi8(_mm_cvtsi32_si128(v), zero);
        };
        const __m128i across = _mm_set1_epi32(int(std::uint32_t(wx) << 16 | std::uint32_t(128 - wx)));
        const __m128i low = _mm_madd_epi16(_mm_unpacklo_epi16(load(p00), load(p10)), across);
        const __m128i high = _mm_madd_epi16(_mm_unpacklo_epi16(load(p01), load(p11)), across);
        const __m128i up = _mm_set1_epi32(wy), down = _mm_set1_epi32(128 - wy);
        // Products stay below 2³¹: channel ≤ 255 · 128 · 128.
        __m128i sum =
            _mm_add_epi32(_mm_add_epi32(mul32(low, down), mul32(high, up)), _mm_set1_epi32(1 << 13));
        sum = _mm_srli_epi32(sum, 14);
        sum = _mm_packs_epi32(sum, sum);
        const std::int32_t bytes = _mm_cvtsi128_si32(_mm_packus_epi16(sum, sum));
        std::memcpy(out, &bytes, 4);
#else
        for (int c = 0; c < 4; ++c) {
            const int low = p00[c] * (128 - wx) + p10[c] * wx, high = p01[c] * (128 - wx) + p11[c] * wx;
            out[c] = std::uint8_t((low * (128 - wy) + high * wy + (1 << 13)) >> 14);
        }
#endif
    }

#if defined(__SSE2__)
    // The low 32 bits of the lane-wise products of small non-negative numbers (SSE2 has no pmulld).
    static __m128i mul32(__m128i a, __m128i b) {
        const __m128i even = _mm_mul_epu32(a, b);
        const __m128i odd = _mm_mul_epu32(_mm_srli_si128(a, 4), _mm_srli_si128(b, 4));
        return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(0, 0, 2, 0)),
                                  _mm_shuffle_epi32(odd, _MM_SHUFFLE(0, 0, 2, 0)));
    }
#endif

    ConstPixelSpan span_;
    PixelRegion region_;
};

} // namespace vtl::detail
