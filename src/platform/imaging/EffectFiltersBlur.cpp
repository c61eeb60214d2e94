// Blur, sharpen and neighbourhood effects: each pixel from the pixels around it.

#include "platform/graphics/Blur.h"
#include "platform/imaging/EffectFilter.h"
#include "platform/imaging/EffectKernelNodes.h"
#include "platform/imaging/EffectPixels.h"
#include "platform/imaging/FilterAttributeBuilders.h"
#include "platform/imaging/PixelKernels.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <numbers>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vtl::detail {

namespace {

constexpr double pi = std::numbers::pi;
const std::string blurCategory = "CICategoryBlur";
const std::string sharpenCategory = "CICategorySharpen";
const std::string stylizeCategory = "CICategoryStylize";

// round(sum / n) for the sums of the box kernels, by one multiplication.
struct Divider {
    explicit Divider(std::uint32_t n)
        : multiplier((std::uint64_t(1) << 32) / n + 1) {}
    std::uint8_t operator()(std::uint32_t sum, std::uint32_t half) const {
        return std::uint8_t(std::min<std::uint64_t>(255, ((sum + half) * multiplier) >> 32));
    }
    std::uint64_t multiplier;
};

// Motion blur: the mean of 2r + 1 pixels along a line through each pixel, r counted along the
// line's major axis. The lines are rasterised
// from absolute coordinates (minor = line + round(major · slope)), so a pixel's taps do not depend
// on the tile computing it, and a running sum along each line costs the same for any length.
class MotionBlurKernel final : public KernelNode {
public:
    MotionBlurKernel(ImageNodeRef input, int halfLength, double angle)
        : KernelNode(extentFor(input->extent(), halfLength, angle), {input})
        , r_(halfLength)
        , xMajor_(std::fabs(std::cos(angle)) >= std::fabs(std::sin(angle)))
        , slope_(xMajor_ ? std::tan(angle) : 1 / std::tan(angle))
        , minorReach_(int(std::ceil(r_ * std::fabs(slope_))) + 1) {}

    bool isPixelwise() const override { return false; }
    PixelRegion regionOfInput(std::size_t, const PixelRegion& region) const override {
        PixelRegion r = region;
        int gx = xMajor_ ? r_ : minorReach_, gy = xMajor_ ? minorReach_ : r_;
        return {r.x - gx, r.y - gy, r.width + 2 * gx, r.height + 2 * gy};
    }

    void compute(const PixelRegion& region, std::span<const ConstPixelSpan> in,
                 PixelSpan out) const override {
        const PixelRegion need = regionOfInput(0, region);
        const ConstPixelSpan source = in[0];
        // (major, minor) → pixel pointers of the input and the output.
        auto inputAt = [&](std::int64_t a, std::int64_t b) {
            int x = int(xMajor_ ? a : b) - need.x, y = int(xMajor_ ? b : a) - need.y;
            return source.row(y) + std::ptrdiff_t(x) * 4;
        };
        auto outputAt = [&](std::int64_t a, std::int64_t b) {
            int x = int(xMajor_ ? a : b) - region.x, y = int(xMajor_ ? b : a) - region.y;
            return out.row(y) + std::ptrdiff_t(x) * 4;
        };
        const std::int64_t a0 = xMajor_ ? region.x : region.y, a1 = xMajor_ ? region.maxX() : region.maxY();
        const std::int64_t b0 = xMajor_ ? region.y : region.x, b1 = xMajor_ ? region.maxY() : region.maxX();
        const std::int64_t sFirst = offset(a0), sLast = offset(a1 - 1);
        const std::int64_t sMin = std::min(sFirst, sLast), sMax = std::max(sFirst, sLast);
        const std::uint32_t n = std::uint32_t(2 * r_ + 1);
        const Divider divide(n);
        for (std::int64_t line = b0 - sMax; line < b1 - sMin; ++line) {
            auto [from, to] = segment(line, a0, a1, b0, b1);
            if (from >= to) continue;
            std::uint32_t sum[4] = {0, 0, 0, 0};
            for (std::int64_t k = from - r_; k <= from + r_; ++k) {
                const std::uint8_t* p = inputAt(k, line + offset(k));
                for (int c = 0; c < 4; ++c)
                    sum[c] += p[c];
            }
            for (std::int64_t a = from;; ++a) {
                std::uint8_t* d = outputAt(a, line + offset(a));
                for (int c = 0; c < 4; ++c)
                    d[c] = divide(sum[c], n / 2);
                if (a + 1 >= to) break;
                const std::uint8_t* add = inputAt(a + 1 + r_, line + offset(a + 1 + r_));
                const std::uint8_t* drop = inputAt(a - r_, line + offset(a - r_));
                for (int c = 0; c < 4; ++c)
                    sum[c] += std::uint32_t(add[c]) - drop[c];
            }
        }
    }

private:
    static Rect extentFor(const Rect& e, int r, double angle) {
        const double c = std::fabs(std::cos(angle)), s = std::fabs(std::sin(angle));
        const double minor = r * std::min(c, s) / std::max(c, s) + 1;
        return c >= s ? grownRect(e, r, minor) : grownRect(e, minor, r);
    }
    std::int64_t offset(std::int64_t a) const { return floorToInt(double(a) * slope_ + 0.5); }
    // The major coordinates in [a0, a1) at which the line lies within minor [b0, b1).
    std::pair<std::int64_t, std::int64_t> segment(std::int64_t line, std::int64_t a0, std::int64_t a1,
                                                  std::int64_t b0, std::int64_t b1) const {
        auto inside = [&](std::int64_t a) {
            std::int64_t b = line + offset(a);
            return b >= b0 && b < b1;
        };
        if (slope_ == 0) return inside(a0) ? std::pair{a0, a1} : std::pair{a0, a0};
        // The band's edges where the line crosses them, then settled exactly on the rasterisation.
        double e0 = (double(b0 - line) - 0.5) / slope_, e1 = (double(b1 - line) - 0.5) / slope_;
        double lo = std::min(e0, e1), hi = std::max(e0, e1);
        std::int64_t from =
            std::clamp<std::int64_t>(std::int64_t(std::ceil(std::max(lo, -4e18))) - 1, a0, a1);
        std::int64_t to = std::clamp<std::int64_t>(std::int64_t(std::floor(std::min(hi, 4e18))) + 2, a0, a1);
        while (from < to && !inside(from))
            ++from;
        while (to > from && !inside(to - 1))
            --to;
        return {from, to};
    }

    int r_;
    bool xMajor_;
    double slope_;
    int minorReach_;
};

CIImage motionBlur(const EffectFilter& f, const CIImage& input) {
    // The taps step one pixel along the major axis, so the blur's length along the angle is the
    // radius when the count of taps is the radius projected on that axis.
    const double angle = f.ranged("inputAngle");
    const double major = std::max(std::fabs(std::cos(angle)), std::fabs(std::sin(angle)));
    const int r = int(std::lround(f.ranged("inputRadius") * major));
    if (r == 0) return input;
    return EffectFilter::imageOf(input, std::make_shared<MotionBlurKernel>(input.node(), r, angle));
}

// One pass of a zoom blur: each pixel the mean of the points at the pass's scales of the way from
// the centre to it (scale 1, the pixel itself, first). Passes whose scales are the powers
// q⁰ … q^(k−1), then q^k … (q^k)^(k−1), and so on, together average every power of q up to the
// last, spread evenly (in ratio) along the line to the centre; each pass is one intermediate
// picture, so a few passes of several points each cost less than many of two.
class ZoomPassKernel final : public KernelNode {
public:
    // `scales` holds a power-of-two count of scales, the first of them 1.
    ZoomPassKernel(ImageNodeRef input, Point center, std::vector<double> scales)
        : KernelNode(extentFor(input->extent(), center, scales.back()), {input})
        , c_(center)
        , scales_(std::move(scales))
        , shift_(std::countr_zero(scales_.size())) {}

    bool isPixelwise() const override { return false; }
    PixelRegion regionOfInput(std::size_t, const PixelRegion& region) const override {
        // Scaling about the centre moves every point along a line towards it, so the points of
        // all scales lie within the box of the region and its smallest scaling.
        const Rect r = region.rect();
        const double m = scales_.back();
        const Rect scaled(c_.x + (r.minX() - c_.x) * m, c_.y + (r.minY() - c_.y) * m, r.width() * m,
                          r.height() * m);
        return region.unionWith(pixelRegionCovering(scaled).grownBy(1))
            .intersection(inputs()[0]->pixelRegion());
    }

    void compute(const PixelRegion& region, std::span<const ConstPixelSpan> in,
                 PixelSpan out) const override {
        const PixelRegion need = regionOfInput(0, region);
        const PixelSampler own(in[0], need);
        thread_local std::vector<std::uint16_t> blended;
        thread_local std::vector<std::uint32_t> sums;
        blended.assign(std::size_t(need.width + 2) * 4, 0);
        sums.resize(std::size_t(region.width) * 4);
        std::uint16_t* b = blended.data() + 4; // one transparent pixel on either side
        // Locals, so the byte loops below need not reload them after every store.
        const int shift = shift_, bytes = region.width * 4;
        const std::uint32_t half = std::uint32_t(scales_.size() / 2);
        std::uint32_t* sum = sums.data();
        for (int j = 0; j < region.height; ++j) {
            const int y = region.y + j;
            // The input's part of the row as it is, transparent either side.
            std::fill(sum, sum + bytes, 0u);
            if (y >= need.y && y < need.maxY()) {
                const int from = std::clamp(need.x - region.x, 0, region.width);
                const int to = std::clamp(need.maxX() - region.x, from, region.width);
                const std::uint8_t* p = own.pixel(region.x + from, y);
                for (int i = from * 4; p && i < to * 4; ++i)
                    sum[i] = p[i - from * 4];
            }
            for (std::size_t k = 1; k < scales_.size(); ++k)
                addScaled(scales_[k], region, need, own, y, b, sum);
            std::uint8_t* d = out.row(j);
            for (int i = 0; i < bytes; ++i)
                d[i] = std::uint8_t((sum[i] + half) >> shift);
        }
    }

private:
    // Adds to `sums` the row y of the input scaled by m about the centre: the scaled row meets two
    // input rows, blended once (7-bit weights), then read at each pixel's scaled column (8-bit
    // weights). Columns are found in 32.32 fixed point from the absolute column, so a pixel reads
    // the same places whichever tile computes it.
    void addScaled(double m, const PixelRegion& region, const PixelRegion& need, const PixelSampler& own,
                   int y, std::uint16_t* b, std::uint32_t* sums) const {
        const double fy = std::clamp(c_.y + (y + 0.5 - c_.y) * m - 0.5, -1e9, 1e9);
        int y0 = floorToInt(fy);
        auto ty = std::uint32_t((fy - y0) * 128 + 0.5);
        if (ty == 128) {
            ty = 0;
            ++y0;
        }
        const std::uint8_t* r0 = own.pixel(need.x, y0);
        const std::uint8_t* r1 = own.pixel(need.x, y0 + 1);
        if (!r0 && !r1) return;
        // Absolute column of pixel x, in 1/2³² pixel: start + x · step.
        const auto step = std::int64_t(std::llround(std::ldexp(m, 32)));
        const auto start =
            std::int64_t(std::llround(std::ldexp(c_.x * (1 - m) + 0.5 * m - 0.5 - need.x, 32)));
        auto columnOf = [&](int x) { return start + std::int64_t(x) * step; };
        const int from = std::clamp(int(columnOf(region.x) >> 32), 0, need.width);
        const int to = std::clamp(int(columnOf(region.maxX() - 1) >> 32) + 2, from, need.width);
        blendRows(r0, r1, 128 - ty, ty, b, from, to);
        for (int i = 0; i < region.width; ++i) {
            // In 1/256 pixel, rounded: the whole pixel and the weight of the next one.
            const std::int64_t t = (columnOf(region.x + i) + (std::int64_t(1) << 23)) >> 24;
            const std::int64_t ix = t >> 8;
            if (ix < -1 || ix >= need.width) continue;
            addInterpolated(b + ix * 4, std::uint32_t(t & 255), sums + std::size_t(i) * 4);
        }
    }

    // b[from … to) = r0 · w0 + r1 · w1 per byte (w0 + w1 = 128); a missing row counts as transparent.
    static void blendRows(const std::uint8_t* r0, const std::uint8_t* r1, std::uint32_t w0, std::uint32_t w1,
                          std::uint16_t* b, int from, int to) {
        static const std::uint8_t none[64] = {};
        int i = from * 4;
        const int end = to * 4;
#if defined(__SSE2__)
        const __m128i zero = _mm_setzero_si128(), v0 = _mm_set1_epi16(short(w0)),
                      v1 = _mm_set1_epi16(short(w1));
        for (; i + 8 <= end; i += 8) {
            const __m128i a = _mm_unpacklo_epi8(
                _mm_loadl_epi64(reinterpret_cast<const __m128i*>((r0 ? r0 + i : none))), zero);
            const __m128i c = _mm_unpacklo_epi8(
                _mm_loadl_epi64(reinterpret_cast<const __m128i*>((r1 ? r1 + i : none))), zero);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(b + i),
                             _mm_add_epi16(_mm_mullo_epi16(a, v0), _mm_mullo_epi16(c, v1)));
        }
#endif
        for (; i < end; ++i)
            b[i] = std::uint16_t((r0 ? r0[i] * w0 : 0) + (r1 ? r1[i] * w1 : 0));
        // The pixels either side of the run read as transparent.
        if (from > 0) std::memset(b + (from - 1) * 4, 0, 4 * sizeof(std::uint16_t));
        std::memset(b + end, 0, 4 * sizeof(std::uint16_t));
    }

    // sums += (q · (256 − t) + q' · t) / 2¹⁵ for the four channels of blended pixels q and q'.
    static void addInterpolated(const std::uint16_t* q, std::uint32_t t, std::uint32_t* sums) {
#if defined(__SSE2__)
        const __m128i pairs = _mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(q)),
                                                 _mm_loadl_epi64(reinterpret_cast<const __m128i*>(q + 4)));
        const __m128i weights = _mm_set1_epi32(int((t << 16) | (256 - t)));
        const __m128i value =
            _mm_srli_epi32(_mm_add_epi32(_mm_madd_epi16(pairs, weights), _mm_set1_epi32(1 << 14)), 15);
        __m128i* s = reinterpret_cast<__m128i*>(sums);
        _mm_storeu_si128(s, _mm_add_epi32(_mm_loadu_si128(s), value));
#else
        for (int c = 0; c < 4; ++c)
            sums[c] += (q[c] * (256 - t) + q[c + 4] * t + (1u << 14)) >> 15;
#endif
    }

    static Rect extentFor(const Rect& e, Point c, double m) {
        if (e.isEmpty() || isUnbounded(e)) return e;
        Rect grown(c.x + (e.minX() - c.x) / m, c.y + (e.minY() - c.y) / m, e.width() / m, e.height() / m);
        return e.unionWith(grown).insetBy(-1, -1);
    }
    Point c_;
    std::vector<double> scales_;
    int shift_;
};

CIImage zoomBlur(const EffectFilter& f, const CIImage& input) {
    // The amount is the percentage of the way to the centre that the streaks reach, halved.
    const double reach = std::min(f.ranged("inputAmount") / 200, 0.98);
    if (reach <= 0) return input;
    const Point c = f.center();
    const Rect e = input.extent();
    double farthest = 4096;
    if (!isUnbounded(e))
        farthest = std::max(
            {std::hypot(e.minX() - c.x, e.minY() - c.y), std::hypot(e.maxX() - c.x, e.minY() - c.y),
             std::hypot(e.minX() - c.x, e.maxY() - c.y), std::hypot(e.maxX() - c.x, e.maxY() - c.y)});
    // 2^bits points in all, so that neighbouring points of the longest streak lie at most two
    // pixels apart (their bilinear reads fill the gaps), in passes of at most four points.
    const double streak = reach * std::min(farthest, 1e5);
    const int bits = std::clamp(int(std::ceil(std::log2(std::max(streak / 2, 2.0)))), 1, 9);
    const int passes = (bits + 1) / 2;
    const double points = std::ldexp(1.0, bits);
    ImageNodeRef node = input.node();
    for (int pass = 0, done = 0; pass < passes; ++pass) {
        const int own = (bits - done) / (passes - pass);
        std::vector<double> scales;
        for (int k = 0; k < (1 << own); ++k)
            scales.push_back(std::pow(1 - reach, std::ldexp(double(k), done) / points));
        node = std::make_shared<ZoomPassKernel>(node, c, std::move(scales));
        done += own;
    }
    return EffectFilter::imageOf(input, node);
}

CIImage unsharpMask(const EffectFilter& f, const CIImage& input) {
    const double radius = f.ranged("inputRadius");
    const float k = float(f.ranged("inputIntensity"));
    if (radius == 0 || k == 0) return input;
    ImageNodeRef blurred = makeGaussianBlurNode(input.node(), radius);
    return EffectFilter::imageOf(
        input, makePairKernel(input.extent(), input.node(), blurred,
                              [k](const std::uint8_t* s, const std::uint8_t* b, std::uint8_t* d, int n) {
                                  for (int i = 0; i < n; ++i, s += 4, b += 4, d += 4) {
                                      for (int c = 0; c < 3; ++c)
                                          d[c] = std::uint8_t(
                                              std::clamp(s[c] + (s[c] - b[c]) * k + 0.5f, 0.0f, float(s[3])));
                                      d[3] = s[3];
                                  }
                              }));
}

// Bloom: the picture screened with its blur, so bright parts glow past their edges.
CIImage bloom(const EffectFilter& f, const CIImage& input) {
    const double radius = f.ranged("inputRadius");
    const auto k = std::uint32_t(std::lround(f.ranged("inputIntensity") * 256));
    if (k == 0) return input;
    ImageNodeRef blurred = radius > 0 ? makeGaussianBlurNode(input.node(), radius) : input.node();
    return EffectFilter::imageOf(
        input, makePairKernel(blurred->extent(), input.node(), blurred,
                              [k](const std::uint8_t* s, const std::uint8_t* b, std::uint8_t* d, int n) {
                                  auto screen = [k](std::uint32_t x, std::uint32_t y) {
                                      std::uint32_t q = (y * k + 128) >> 8;
                                      return std::uint8_t(x + q - divideBy255(x * q));
                                  };
                                  for (int i = 0; i < n; ++i, s += 4, b += 4, d += 4) {
                                      d[3] = screen(s[3], b[3]);
                                      for (int c = 0; c < 3; ++c)
                                          d[c] = std::min(d[3], screen(s[c], b[c]));
                                  }
                              }));
}

// Gloom: the picture multiplied by its blur's colour, so dark parts spread into the light.
CIImage gloom(const EffectFilter& f, const CIImage& input) {
    const double radius = f.ranged("inputRadius");
    const float k = float(f.ranged("inputIntensity"));
    if (k == 0) return input;
    ImageNodeRef blurred = radius > 0 ? makeGaussianBlurNode(input.node(), radius) : input.node();
    return EffectFilter::imageOf(
        input, makePairKernel(input.extent(), input.node(), blurred,
                              [k](const std::uint8_t* s, const std::uint8_t* b, std::uint8_t* d, int n) {
                                  for (int i = 0; i < n; ++i, s += 4, b += 4, d += 4) {
                                      const float inverse = b[3] ? 1.0f / b[3] : 0.0f;
                                      for (int c = 0; c < 3; ++c) {
                                          float shade = b[3] ? 1 - k + k * b[c] * inverse : 1;
                                          d[c] = std::uint8_t(std::min(float(s[3]), s[c] * shade + 0.5f));
                                      }
                                      d[3] = s[3];
                                  }
                              }));
}

// A value per pixel of a neighbourhood kernel's input (the region grown by one pixel), worked out
// once per pixel instead of once per neighbour. Scratch of the calling thread.
template <class T> class PlaneOf {
public:
    template <class Value> PlaneOf(const ConstPixelSpan& in, Value value) {
        width_ = in.width;
        thread_local std::vector<T> storage;
        storage.resize(std::size_t(in.width) * std::size_t(in.height));
        for (int y = 0; y < in.height; ++y) {
            const std::uint8_t* p = in.row(y);
            T* row = storage.data() + std::size_t(y) * std::size_t(width_);
            for (int x = 0; x < in.width; ++x, p += 4)
                row[x] = value(p);
        }
        values_ = storage.data();
    }
    // The value at (dx, dy) from output pixel (i, j), dx and dy each −1 … 1.
    T at(int i, int j, int dx, int dy) const {
        return values_[std::size_t(j + 1 + dy) * std::size_t(width_) + std::size_t(i + 1 + dx)];
    }

private:
    const T* values_ = nullptr;
    int width_ = 0;
};

// The input pixel at (dx, dy) from output pixel (i, j).
inline const std::uint8_t* neighbour(const ConstPixelSpan& in, int i, int j, int dx, int dy) {
    return in.row(j + 1 + dy) + std::ptrdiff_t(i + 1 + dx) * 4;
}

// Sharpening of luminance only: each pixel moves away from the mean luminance around it.
struct SharpenLuminance {
    float k;
    void operator()(const ConstPixelSpan& in, PixelSpan out, const PixelRegion& region) const {
        const PlaneOf<int> luminance(in, byteLuminance256);
        for (int j = 0; j < region.height; ++j) {
            std::uint8_t* d = out.row(j);
            for (int i = 0; i < region.width; ++i, d += 4) {
                int sum = 0;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx)
                        sum += luminance.at(i, j, dx, dy);
                const std::uint8_t* s = neighbour(in, i, j, 0, 0);
                const float delta = k * (luminance.at(i, j, 0, 0) - sum / 9.0f) / 256;
                for (int c = 0; c < 3; ++c)
                    d[c] = std::uint8_t(std::clamp(s[c] + delta + 0.5f, 0.0f, float(s[3])));
                d[3] = s[3];
            }
        }
    }
};

CIImage sharpenLuminance(const EffectFilter& f, const CIImage& input) {
    const float k = float(f.ranged("inputSharpness"));
    if (k == 0) return input;
    return EffectFilter::imageOf(
        input, makeNeighbourhoodKernel(input.extent(), input.node(), 1, SharpenLuminance{k}));
}

// Noise reduction: each pixel takes the mean of the neighbours whose luminance lies within the
// noise level of its own, so edges stay; then the detail the smoothing took is given back by the
// sharpness.
struct NoiseReduction {
    int threshold; // in luminance units of 1/256 of a byte step
    float sharpness;
    void operator()(const ConstPixelSpan& in, PixelSpan out, const PixelRegion& region) const {
        const PlaneOf<int> luminance(in, byteLuminance256);
        // Sums of each column's three pixels, so the sum of all nine costs three additions.
        thread_local std::vector<int> columns;
        columns.resize(std::size_t(in.width) * 4);
        for (int j = 0; j < region.height; ++j) {
            const std::uint8_t *r0 = in.row(j), *r1 = in.row(j + 1), *r2 = in.row(j + 2);
            for (int k = 0; k < in.width * 4; ++k)
                columns[std::size_t(k)] = r0[k] + r1[k] + r2[k];
            std::uint8_t* d = out.row(j);
            for (int i = 0; i < region.width; ++i, d += 4) {
                const int centre = luminance.at(i, j, 0, 0);
                int all[4], similar[4];
                for (int c = 0; c < 4; ++c)
                    similar[c] = all[c] = columns[std::size_t(i) * 4 + std::size_t(c)] +
                                          columns[std::size_t(i + 1) * 4 + std::size_t(c)] +
                                          columns[std::size_t(i + 2) * 4 + std::size_t(c)];
                // Neighbours too different from the pixel leave the smoothing.
                int count = 9;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        if (std::abs(luminance.at(i, j, dx, dy) - centre) < threshold || (dx == 0 && dy == 0))
                            continue;
                        const std::uint8_t* p = neighbour(in, i, j, dx, dy);
                        for (int c = 0; c < 4; ++c)
                            similar[c] -= p[c];
                        --count;
                    }
                const std::uint8_t* s = neighbour(in, i, j, 0, 0);
                const float share = 1.0f / float(count);
                for (int c = 0; c < 3; ++c) {
                    const float v = float(similar[c]) * share + sharpness * (s[c] - all[c] * (1.0f / 9));
                    d[c] = std::uint8_t(std::clamp(v + 0.5f, 0.0f, float(s[3])));
                }
                d[3] = s[3];
            }
        }
    }
};

CIImage noiseReduction(const EffectFilter& f, const CIImage& input) {
    const int threshold = int(std::lround(f.ranged("inputNoiseLevel") * 255 * 256));
    const float sharpness = float(f.ranged("inputSharpness"));
    if (threshold == 0 && sharpness == 0) return input;
    return EffectFilter::imageOf(input, makeNeighbourhoodKernel(input.extent(), input.node(), 1,
                                                                NoiseReduction{threshold, sharpness}));
}

// Element by element, the smaller value to `low` and the larger to `high`.
void sortPairs(std::uint8_t* low, std::uint8_t* high, int count) {
    int k = 0;
#if defined(__SSE2__)
    for (; k + 16 <= count; k += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(low + k));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(high + k));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(low + k), _mm_min_epu8(a, b));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(high + k), _mm_max_epu8(a, b));
    }
#endif
    for (; k < count; ++k) {
        const std::uint8_t a = low[k], b = high[k];
        low[k] = std::min(a, b);
        high[k] = std::max(a, b);
    }
}

// The median of each channel over 3 × 3 pixels, by a sorting network run on whole runs of bytes
// at once. Premultiplied channels stay within alpha: every colour value is at most its pixel's
// alpha, so each order statistic is too.
struct Median {
    void operator()(const ConstPixelSpan& in, PixelSpan out, const PixelRegion& region) const {
        constexpr int chunk = 256;
        static constexpr int network[19][2] = {{1, 2}, {4, 5}, {7, 8}, {0, 1}, {3, 4}, {6, 7}, {1, 2},
                                               {4, 5}, {7, 8}, {0, 3}, {5, 8}, {4, 7}, {3, 6}, {1, 4},
                                               {2, 5}, {4, 7}, {4, 2}, {6, 4}, {4, 2}};
        alignas(32) std::uint8_t v[9][chunk];
        const int bytes = region.width * 4;
        for (int j = 0; j < region.height; ++j)
            for (int from = 0; from < bytes; from += chunk) {
                const int count = std::min(chunk, bytes - from);
                for (int dy = 0; dy < 3; ++dy)
                    for (int dx = 0; dx < 3; ++dx)
                        std::memcpy(v[dy * 3 + dx], in.row(j + dy) + from + dx * 4, std::size_t(count));
                for (const auto& pair : network)
                    sortPairs(v[pair[0]], v[pair[1]], count);
                std::memcpy(out.row(j) + from, v[4], std::size_t(count));
            }
    }
};

CIImage medianFilter(const EffectFilter&, const CIImage& input) {
    return EffectFilter::imageOf(input, makeNeighbourhoodKernel(input.extent(), input.node(), 1, Median{}));
}

// A comic look: flat colours in few bands under dark lines where the luminance changes fast. The
// lines follow the colours, not the outline: transparent neighbours count as the pixel itself.
struct Comic {
    void operator()(const ConstPixelSpan& in, PixelSpan out, const PixelRegion& region) const {
        const PlaneOf<float> luminance(
            in, [](const std::uint8_t* p) { return p[3] ? unitLuminance(unitColorOf(p)) : -1.0f; });
        for (int j = 0; j < region.height; ++j) {
            std::uint8_t* d = out.row(j);
            for (int i = 0; i < region.width; ++i, d += 4) {
                const std::uint8_t* s = neighbour(in, i, j, 0, 0);
                if (s[3] == 0) {
                    std::memset(d, 0, 4);
                    continue;
                }
                const float own = luminance.at(i, j, 0, 0);
                auto l = [&](int dx, int dy) {
                    const float v = luminance.at(i, j, dx, dy);
                    return v < 0 ? own : v;
                };
                const float gx = l(1, -1) + 2 * l(1, 0) + l(1, 1) - l(-1, -1) - 2 * l(-1, 0) - l(-1, 1);
                const float gy = l(-1, 1) + 2 * l(0, 1) + l(1, 1) - l(-1, -1) - 2 * l(0, -1) - l(1, -1);
                const float ink = 1 - float(smoothStep(0.1, 0.3, std::sqrt(gx * gx + gy * gy) / 4));
                UnitColor c = unitColorOf(s);
                for (float* v : {&c.r, &c.g, &c.b}) {
                    const float boosted = clampUnit(own + (*v - own) * 1.4f);
                    *v = float(floorToInt(boosted * 4 + 0.5f)) / 4 * ink;
                }
                storeUnitColor(d, c);
            }
        }
    }
};

CIImage comicEffect(const EffectFilter&, const CIImage& input) {
    return EffectFilter::imageOf(input, makeNeighbourhoodKernel(input.extent(), input.node(), 1, Comic{}));
}

} // namespace

void registerBlurEffects() {
    const FilterAttribute image = effectImageInput();
    registerEffect("CIMotionBlur", "Motion Blur", blurCategory,
                   {image,
                    numberInput("inputRadius", "Radius", 20, 0, 100, 0, 100, FilterAttributeType::Distance),
                    angleInput(0, -pi, pi)},
                   motionBlur);
    registerEffect("CIZoomBlur", "Zoom Blur", blurCategory,
                   {image, centerInput(),
                    numberInput("inputAmount", "Amount", 20, 0, 200, 0, 200, FilterAttributeType::Distance)},
                   zoomBlur);
    registerEffect("CIUnsharpMask", "Unsharp Mask", sharpenCategory,
                   {image,
                    numberInput("inputRadius", "Radius", 2.5, 0, 100, 0, 100, FilterAttributeType::Distance),
                    numberInput("inputIntensity", "Intensity", 0.5, 0, 1, 0, 1)},
                   unsharpMask);
    registerEffect("CISharpenLuminance", "Sharpen Luminance", sharpenCategory,
                   {image, numberInput("inputSharpness", "Sharpness", 0.4, 0, 2, 0, 2)}, sharpenLuminance);
    registerEffect("CINoiseReduction", "Noise Reduction", blurCategory,
                   {image, numberInput("inputNoiseLevel", "Noise Level", 0.02, 0, 0.1, 0, 0.1),
                    numberInput("inputSharpness", "Sharpness", 0.4, 0, 2, 0, 2)},
                   noiseReduction);
    registerEffect("CIMedianFilter", "Median", blurCategory, {image}, medianFilter);
    registerEffect("CIBloom", "Bloom", stylizeCategory,
                   {image,
                    numberInput("inputRadius", "Radius", 10, 0, 100, 0, 100, FilterAttributeType::Distance),
                    numberInput("inputIntensity", "Intensity", 0.5, 0, 1, 0, 1)},
                   bloom);
    registerEffect("CIGloom", "Gloom", stylizeCategory,
                   {image,
                    numberInput("inputRadius", "Radius", 10, 0, 100, 0, 100, FilterAttributeType::Distance),
                    numberInput("inputIntensity", "Intensity", 0.5, 0, 1, 0, 1)},
                   gloom);
    registerEffect("CIComicEffect", "Comic Effect", stylizeCategory, {image}, comicEffect);
}

} // namespace vtl::detail
