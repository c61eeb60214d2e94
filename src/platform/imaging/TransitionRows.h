#pragma once
// Row helpers shared by the transition kernels: views of inputs that may not cover the tile,
// splitting a row by a position along a direction, bilinear sampling, mixing and lighting of
// premultiplied pixels. Every result depends only on absolute pixel positions, so a tile computes
// the same pixels whatever grid it belongs to. Internal to the imaging layer.

#include "platform/foundation/Geometry.h"
#include "platform/imaging/PixelSpan.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vtl::detail {

// Pixels [begin, end) of a row.
struct PixelRun {
    int begin = 0, end = 0;
    bool isEmpty() const { return end <= begin; }
};

// An input's pixels over `region` of image space (possibly empty); transparent everywhere else.
struct InputView {
    ConstPixelSpan span;
    PixelRegion region;

    // `width` pixels of image row y from x0: a pointer into the view when it covers them, otherwise
    // `scratch` (width × 4 bytes) holding the covered part and transparent pixels elsewhere.
    const std::uint8_t* row(int y, int x0, int width, std::uint8_t* scratch) const;
    // A position in 1/65536 pixel steps, measured from pixel centres (x − 0.5); points too far out
    // to read anything become `farAway`.
    static constexpr std::int64_t farAway = std::int64_t(1) << 62;
    static std::int64_t fixedPosition(double v) {
        // Truncating a positive number floors it; the offset keeps every reachable position positive.
        constexpr double offset = double(std::int64_t(1) << 50);
        return std::fabs(v - 0.5) < double(1 << 30)
                   ? std::int64_t((v - 0.5) * 65536 + offset) - (std::int64_t(1) << 50)
                   : farAway;
    }
    // Bilinear sample at an image-space point (pixel centres at +0.5), transparent beyond the
    // view. The weights (7 bits) come from the absolute position, so a point gives the same pixel
    // whichever view it is read from.
    void sample(double x, double y, std::uint8_t* out) const {
        sampleFixed(fixedPosition(x), fixedPosition(y), out);
    }
    void sampleFixed(std::int64_t fx, std::int64_t fy, std::uint8_t* out) const {
        const std::int64_t ix = (fx >> 16) - region.x, iy = (fy >> 16) - region.y;
        if (ix >= 0 && iy >= 0 && ix < region.width - 1 && iy < region.height - 1) {
            blend(span.row(int(iy)) + ix * 4, span.row(int(iy) + 1) + ix * 4, int(fx >> 9) & 127,
                  int(fy >> 9) & 127, out);
            return;
        }
        if (ix < -1 || iy < -1 || ix >= region.width || iy >= region.height) {
            std::memset(out, 0, 4);
            return;
        }
        sampleNearEdge(fx, fy, out);
    }

    // Two views read at one position (source and target in a ring, say): the work is shared when
    // they cover the same region.
    static void samplePair(const InputView& a, const InputView& b, std::int64_t fx, std::int64_t fy,
                           std::uint8_t* outA, std::uint8_t* outB) {
        if (a.region == b.region) {
            const std::int64_t ix = (fx >> 16) - a.region.x, iy = (fy >> 16) - a.region.y;
            if (ix >= 0 && iy >= 0 && ix < a.region.width - 1 && iy < a.region.height - 1) {
                const int wx = int(fx >> 9) & 127, wy = int(fy >> 9) & 127;
                blend(a.span.row(int(iy)) + ix * 4, a.span.row(int(iy) + 1) + ix * 4, wx, wy, outA);
                blend(b.span.row(int(iy)) + ix * 4, b.span.row(int(iy) + 1) + ix * 4, wx, wy, outB);
                return;
            }
        }
        a.sampleFixed(fx, fy, outA);
        b.sampleFixed(fx, fy, outB);
    }

    // The pixels x of [begin, end) whose positions (startX + stepX · x, startY + stepY · x) take
    // sampleFixed's quick case, or with `anyTap` that read any pixel of the view at all, as one
    // run (positions along a row move evenly, so they form one).
    PixelRun runReading(int begin, int end, std::int64_t startX, std::int64_t stepX, std::int64_t startY,
                        std::int64_t stepY, bool anyTap) const;
    // sampleFixed for a position runReading has vouched for.
    void sampleInterior(std::int64_t fx, std::int64_t fy, std::uint8_t* out) const {
        const std::int64_t ix = (fx >> 16) - region.x, iy = (fy >> 16) - region.y;
        blend(span.row(int(iy)) + ix * 4, span.row(int(iy) + 1) + ix * 4, int(fx >> 9) & 127,
              int(fy >> 9) & 127, out);
    }

private:
    void sampleNearEdge(std::int64_t fx, std::int64_t fy, std::uint8_t* out) const;
    // Two pixels of a lower row and the two above them, weighted wx (right) and wy (up) out of 128:
    // rows first, then between them.
    static void blend(const std::uint8_t* lower, const std::uint8_t* upper, int wx, int wy,
                      std::uint8_t* out) {
#if defined(__SSE2__)
        const __m128i zero = _mm_setzero_si128();
        const __m128i across = _mm_set_epi16(std::int16_t(wx), std::int16_t(wx), std::int16_t(wx),
                                             std::int16_t(wx), std::int16_t(128 - wx), std::int16_t(128 - wx),
                                             std::int16_t(128 - wx), std::int16_t(128 - wx));
        __m128i l = _mm_mullo_epi16(
            _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(lower)), zero), across);
        __m128i u = _mm_mullo_epi16(
            _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(upper)), zero), across);
        l = _mm_add_epi16(l, _mm_srli_si128(l, 8));
        u = _mm_add_epi16(u, _mm_srli_si128(u, 8));
        __m128i sum = _mm_madd_epi16(_mm_unpacklo_epi16(l, u), _mm_set1_epi32((wy << 16) | (128 - wy)));
        sum = _mm_srli_epi32(_mm_add_epi32(sum, _mm_set1_epi32(8192)), 14);
        sum = _mm_packs_epi32(sum, sum);
        const std::int32_t packed = _mm_cvtsi128_si32(_mm_packus_epi16(sum, sum));
        std::memcpy(out, &packed, 4);
#else
        blendScalar(lower, lower + 4, upper, upper + 4, wx, wy, out);
#endif
    }

public:
    // The same arithmetic on four separate taps.
    static void blendScalar(const std::uint8_t* p00, const std::uint8_t* p10, const std::uint8_t* p01,
                            const std::uint8_t* p11, int wx, int wy, std::uint8_t* out) {
        for (int c = 0; c < 4; ++c) {
            int lower = p00[c] * (128 - wx) + p10[c] * wx, upper = p01[c] * (128 - wx) + p11[c] * wx;
            out[c] = std::uint8_t((lower * (128 - wy) + upper * wy + 8192) >> 14);
        }
    }
};

// The position of each pixel of one row along a direction, p(x) = ux · (x + 0.5) + offset, and the
// runs of pixels of [x0, x1) that lie in a band of positions. Bands are half-open, low ≤ p < high,
// and computed from the thresholds alone, so moving a threshold moves the run monotonically.
class RowProjection {
public:
    RowProjection(double ux, double offset, int x0, int x1);
    double at(int x) const { return ux_ * (x + 0.5) + offset_; }
    PixelRun between(double low, double high) const;

private:
    // The first pixel at or above the threshold (ux > 0) or the first below it (ux < 0).
    int edge(double threshold) const;
    double ux_, offset_;
    int x0_, x1_;
};

// A direction across an area: the unit vector of the angle and the range of positions the area's
// corners take along it.
class Sweep {
public:
    Sweep(const Rect& area, double angleRadians);
    double ux() const { return ux_; }
    double uy() const { return uy_; }
    double low() const { return low_; }
    double length() const { return high_ - low_; }
    // Positions along the direction of the pixels x0 … x1 − 1 of image row y.
    RowProjection row(int y, int x0, int x1) const { return RowProjection(ux_, uy_ * (y + 0.5), x0, x1); }

private:
    double ux_, uy_;
    double low_ = 0, high_ = 0;
};

// One row's worth of scratch for InputView::row, per input.
class RowScratch {
public:
    explicit RowScratch(int width, int rows = 2);
    std::uint8_t* operator[](int i) { return buffers_.data() + std::size_t(i) * rowBytes_; }

private:
    std::size_t rowBytes_;
    std::vector<std::uint8_t> buffers_;
};

// a · (256 − w) + b · w, rounded, for w in 0…256.
inline void mixPixel(const std::uint8_t* a, const std::uint8_t* b, int w, std::uint8_t* out) {
#if defined(__SSE2__)
    std::int32_t pa, pb;
    std::memcpy(&pa, a, 4);
    std::memcpy(&pb, b, 4);
    const __m128i zero = _mm_setzero_si128();
    __m128i va = _mm_mullo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(pa), zero),
                                 _mm_set1_epi16(std::int16_t(256 - w)));
    __m128i vb =
        _mm_mullo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(pb), zero), _mm_set1_epi16(std::int16_t(w)));
    __m128i sum = _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(va, vb), _mm_set1_epi16(128)), 8);
    const std::int32_t packed = _mm_cvtsi128_si32(_mm_packus_epi16(sum, sum));
    std::memcpy(out, &packed, 4);
#else
    for (int c = 0; c < 4; ++c)
        out[c] = std::uint8_t((a[c] * (256 - w) + b[c] * w + 128) >> 8);
#endif
}

// The premultiplied pixel `top` over `p`.
inline void overPixel(std::uint8_t* p, const std::uint8_t* top) {
    if (top[3] == 255) {
        std::memcpy(p, top, 4);
        return;
    }
    if (top[3] == 0) return;
    const std::uint32_t keep = 255u - top[3];
    for (int c = 0; c < 4; ++c) {
        std::uint32_t x = p[c] * keep + 128;
        p[c] = std::uint8_t(top[c] + ((x + (x >> 8)) >> 8));
    }
}

// Lights a premultiplied pixel with premultiplied light as a screen: each colour channel moves
// toward the pixel's alpha by the light's share; alpha is kept.
inline void screenPixel(std::uint8_t* p, const std::uint8_t* light) {
#if defined(__SSE2__)
    std::int32_t pp, pl;
    std::memcpy(&pp, p, 4);
    std::memcpy(&pl, light, 4);
    const __m128i zero = _mm_setzero_si128();
    const __m128i v = _mm_unpacklo_epi8(_mm_cvtsi32_si128(pp), zero);
    // The light's own alpha lane meets alpha − alpha = 0, so alpha is kept.
    const __m128i room = _mm_subs_epu16(_mm_shufflelo_epi16(v, _MM_SHUFFLE(3, 3, 3, 3)), v);
    __m128i x = _mm_add_epi16(_mm_mullo_epi16(room, _mm_unpacklo_epi8(_mm_cvtsi32_si128(pl), zero)),
                              _mm_set1_epi16(128));
    x = _mm_srli_epi16(_mm_add_epi16(x, _mm_srli_epi16(x, 8)), 8);
    const __m128i sum = _mm_add_epi16(v, x);
    const std::int32_t packed = _mm_cvtsi128_si32(_mm_packus_epi16(sum, sum));
    std::memcpy(p, &packed, 4);
#else
    for (int c = 0; c < 3; ++c) {
        std::uint32_t x = std::uint32_t(p[3] > p[c] ? p[3] - p[c] : 0) * light[c] + 128;
        p[c] = std::uint8_t(p[c] + ((x + (x >> 8)) >> 8));
    }
#endif
}

// A shading image read along the middle of its extent, left to right, in 256 steps.
class ShadingTable {
public:
    static constexpr int steps = 256;
    ShadingTable() = default;
    // The row of the view that the shading extent's middle falls in.
    ShadingTable(const InputView& view, double minX, double width, double midY);
    bool isPresent() const { return present_; }
    // The light at u in 0…1 (clamped); none when the table is not present.
    const std::uint8_t* at(double u) const {
        int i = u > 0 ? (u < 1 ? int(u * steps + 0.5) : steps) : 0;
        return light_[std::size_t(i)].data();
    }

private:
    bool present_ = false;
    std::array<std::array<std::uint8_t, 4>, steps + 1> light_{};
};

// The whole-pixel shift of a distance along a unit direction, as points move by it.
struct PixelShift {
    int dx = 0, dy = 0;
};
PixelShift pixelShift(double distance, double ux, double uy);

// The bounding pixel region of a region moved by each of two offsets (image units), grown by a
// margin for bilinear taps.
PixelRegion regionMovedBy(const PixelRegion& region, double dx0, double dy0, double dx1, double dy1,
                          int margin);

} // namespace vtl::detail
