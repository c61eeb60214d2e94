#include "platform/imaging/PixelKernels.h"

#include "platform/graphics/Blur.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace vtl::detail {

namespace {

// Exact round(x / 255) for 0 ≤ x ≤ 65535.
inline std::uint32_t div255(std::uint32_t x) {
    x += 128;
    return (x + (x >> 8)) >> 8;
}

struct Rgba {
    float r = 0, g = 0, b = 0, a = 0;
};

inline Rgba load(const std::uint8_t* p) {
    if (p[3] == 0) return {};
    float a = p[3] * (1.0f / 255);
    float inv = 1.0f / p[3];
    return {p[2] * inv, p[1] * inv, p[0] * inv, a};
}

inline float unit(float v) {
    return v > 0 ? (v < 1 ? v : 1) : 0; // NaN → 0
}

inline void store(std::uint8_t* p, Rgba c) {
    float a = unit(c.a);
    auto alpha = std::uint8_t(std::lround(a * 255));
    auto channel = [&](float v) { return std::min(alpha, std::uint8_t(std::lround(unit(v) * a * 255))); };
    p[0] = channel(c.b);
    p[1] = channel(c.g);
    p[2] = channel(c.r);
    p[3] = alpha;
}

inline float luminance(const Rgba& c) {
    return 0.2125f * c.r + 0.7154f * c.g + 0.0721f * c.b;
}

void sourceOverScalar(const std::uint8_t* s, std::uint8_t* d, int from, int n) {
    for (int i = from; i < n; ++i) {
        const std::uint8_t* sp = s + i * 4;
        std::uint8_t* dp = d + i * 4;
        std::uint32_t keep = 255 - sp[3];
        if (keep == 0) {
            std::memcpy(dp, sp, 4);
            continue;
        }
        for (int c = 0; c < 4; ++c)
            dp[c] = std::uint8_t(std::min<std::uint32_t>(255, sp[c] + div255(dp[c] * keep)));
    }
}

#if defined(__x86_64__)
// Channels at even and odd bytes in separate 16-bit lanes (no unpacking), one alpha shuffle for
// both, and exact rounding of x/255: x + 128 and its high byte, shifted down.
__attribute__((target("avx2"))) inline __m256i sourceOverEight(__m256i src, __m256i dst) {
    const __m256i alphaShuffle = _mm256_setr_epi8(3, -1, 3, -1, 7, -1, 7, -1, 11, -1, 11, -1, 15, -1, 15, -1,
                                                  3, -1, 3, -1, 7, -1, 7, -1, 11, -1, 11, -1, 15, -1, 15, -1);
    const __m256i full = _mm256_set1_epi16(255);
    const __m256i half = _mm256_set1_epi16(128);
    const __m256i high = _mm256_set1_epi16(short(0xff00));
    __m256i keep = _mm256_sub_epi16(full, _mm256_shuffle_epi8(src, alphaShuffle));
    __m256i even = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_andnot_si256(high, dst), keep), half);
    __m256i odd = _mm256_add_epi16(_mm256_mullo_epi16(_mm256_srli_epi16(dst, 8), keep), half);
    even = _mm256_srli_epi16(_mm256_add_epi16(even, _mm256_srli_epi16(even, 8)), 8);
    odd = _mm256_and_si256(_mm256_add_epi16(odd, _mm256_srli_epi16(odd, 8)), high);
    return _mm256_adds_epu8(src, _mm256_or_si256(even, odd));
}

__attribute__((target("avx2"))) int sourceOverAvx2(const std::uint8_t* s, std::uint8_t* d, int n) {
    int i = 0;
    for (; i + 16 <= n; i += 16) {
        auto sp = reinterpret_cast<const __m256i*>(s + i * 4);
        auto dp = reinterpret_cast<__m256i*>(d + i * 4);
        __m256i a = sourceOverEight(_mm256_loadu_si256(sp), _mm256_loadu_si256(dp));
        __m256i b = sourceOverEight(_mm256_loadu_si256(sp + 1), _mm256_loadu_si256(dp + 1));
        _mm256_storeu_si256(dp, a);
        _mm256_storeu_si256(dp + 1, b);
    }
    for (; i + 8 <= n; i += 8) {
        auto dp = reinterpret_cast<__m256i*>(d + i * 4);
        _mm256_storeu_si256(dp,
                            sourceOverEight(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i * 4)),
                                            _mm256_loadu_si256(dp)));
    }
    return i;
}

bool hasAvx2() {
    static const bool supported = __builtin_cpu_supports("avx2");
    return supported;
}
#endif

Rect unionOf(const ImageNodeRef& a, const ImageNodeRef& b) {
    if (!a) return b ? b->extent() : Rect();
    if (!b) return a->extent();
    return a->extent().unionWith(b->extent());
}

// A kernel that maps each pixel of one input through a colour function.
template <class Function> class ColorKernel final : public KernelNode {
public:
    ColorKernel(ImageNodeRef input, Function function, bool keepsTransparent = true)
        : KernelNode(input->extent(), {input})
        , function_(std::move(function))
        , keepsTransparent_(keepsTransparent) {}

    void compute(const PixelRegion& region, std::span<const ConstPixelSpan> in,
                 PixelSpan out) const override {
        for (int y = 0; y < region.height; ++y) {
            const std::uint8_t* s = in[0].row(y);
            std::uint8_t* d = out.row(y);
            for (int x = 0; x < region.width; ++x) {
                if (keepsTransparent_ && s[x * 4 + 3] == 0) {
                    std::memset(d + x * 4, 0, 4);
                    continue;
                }
                store(d + x * 4, function_(load(s + x * 4)));
            }
        }
    }

private:
    Function function_;
    bool keepsTransparent_;
};

template <class Function>
ImageNodeRef colorKernel(ImageNodeRef input, Function f, bool keepsTransparent = true) {
    return std::make_shared<ColorKernel<Function>>(std::move(input), std::move(f), keepsTransparent);
}

class SourceOverKernel final : public KernelNode {
public:
    SourceOverKernel(ImageNodeRef fg, ImageNodeRef bg)
        : KernelNode(unionOf(fg, bg), {fg, bg}) {}
    void compute(const PixelRegion& region, std::span<const ConstPixelSpan> in,
                 PixelSpan out) const override {
        for (int y = 0; y < region.height; ++y) {
            std::memcpy(out.row(y), in[1].row(y), std::size_t(region.width) * 4);
            sourceOverRow(in[0].row(y), out.row(y), region.width);
        }
    }
};

class SourceOutKernel final : public KernelNode {
public:
    SourceOutKernel(ImageNodeRef fg, ImageNodeRef bg)
        : KernelNode(fg->extent(), {fg, bg}) {}
    void compute(const PixelRegion& region, std::span<const ConstPixelSpan> in,
                 PixelSpan out) const override {
        for (int y = 0; y < region.height; ++y) {
            const std::uint8_t *s = in[0].row(y), *b = in[1].row(y);
            std::uint8_t* d = out.row(y);
            for (int x = 0; x < region.width * 4; ++x)
                d[x] = std::uint8_t(div255(s[x] * (255u - b[(x & ~3) + 3])));
        }
    }
};

class BlendWithMaskKernel final : public KernelNode {
public:
    BlendWithMaskKernel(ImageNodeRef image, ImageNodeRef background, ImageNodeRef mask)
        : KernelNode(image->extent()
                         .intersection(mask->extent())
                         .unionWith(background ? background->extent() : Rect()),
                     background ? std::vector<ImageNodeRef>{image, mask, background}
                                : std::vector<ImageNodeRef>{image, mask}) {}
    void compute(const PixelRegion& region, std::span<const ConstPixelSpan> in,
                 PixelSpan out) const override {
        for (int y = 0; y < region.height; ++y) {
            const std::uint8_t *s = in[0].row(y), *m = in[1].row(y);
            const std::uint8_t* b = in.size() > 2 ? in[2].row(y) : nullptr;
            std::uint8_t* d = out.row(y);
            for (int x = 0; x < region.width * 4; ++x) {
                std::uint32_t alpha = m[(x & ~3) + 3];
                std::uint32_t v = div255(s[x] * alpha) + (b ? div255(b[x] * (255 - alpha)) : 0);
                d[x] = std::uint8_t(std::min<std::uint32_t>(255, v));
            }
        }
    }
};

class GaussianBlurKernelNode final : public KernelNode {
public:
    GaussianBlurKernelNode(ImageNodeRef input, double sigma)
        : KernelNode(grown(input->extent(), GaussianBlurKernel::radiusForSigma(sigma)), {input})
        , kernel_(GaussianBlurKernel::forSigma(sigma)) {}
    bool isPixelwise() const override { return false; }
    PixelRegion regionOfInput(std::size_t, const PixelRegion& region) const override {
        return region.grownBy(kernel_.radius);
    }
    void compute(const PixelRegion& region, std::span<const ConstPixelSpan> in,
                 PixelSpan out) const override {
        gaussianBlurBand(kernel_, in[0].origin, in[0].stride, out.origin, out.stride, region.width, 0,
                         region.height);
    }

private:
    static Rect grown(const Rect& extent, int r) {
        if (isInfinite(extent) || extent.isEmpty()) return extent;
        return extent.insetBy(-r, -r);
    }
    static bool isInfinite(const Rect& e) { return e.width() >= 1e299 || e.height() >= 1e299; }
    GaussianBlurKernel kernel_;
};

class TransitionKernel final : public KernelNode {
public:
    TransitionKernel(ImageNodeRef source, ImageNodeRef destination, double time, const CIColor& through)
        : KernelNode(extentFor(source->extent()), {source, destination})
        , time_(float(time))
        , through_(through.clamped()) {}
    void compute(const PixelRegion& region, std::span<const ConstPixelSpan> in,
                 PixelSpan out) const override {
        // Premultiplied mixing: the colour is opaque, so mixing premultiplied values is exact.
        const float to = time_ < 0.5f ? time_ * 2 : (time_ - 0.5f) * 2;
        const bool first = time_ < 0.5f;
        const float colour[4] = {float(through_.blue) * 255, float(through_.green) * 255,
                                 float(through_.red) * 255, 255};
        for (int y = 0; y < region.height; ++y) {
            const std::uint8_t* s = in[first ? 0 : 1].row(y);
            std::uint8_t* d = out.row(y);
            for (int x = 0; x < region.width; ++x)
                for (int c = 0; c < 4; ++c) {
                    float image = s[x * 4 + c];
                    float v = first ? image + (colour[c] - image) * to : colour[c] + (image - colour[c]) * to;
                    d[x * 4 + c] = std::uint8_t(std::lround(std::clamp(v, 0.0f, 255.0f)));
                }
        }
    }

private:
    static Rect extentFor(const Rect& source) {
        if (source.isEmpty()) return Rect();
        if (source.width() >= 1e299 || source.height() >= 1e299) return source;
        return Rect(0, 0, source.width(), source.height());
    }
    float time_;
    CIColor through_;
};

} // namespace

void sourceOverRow(const std::uint8_t* src, std::uint8_t* dst, int n) {
    int done = 0;
#if defined(__x86_64__)
    if (hasAvx2()) {
        // Whole-line stores: a store split over two cache lines costs about twice as much.
        int lead = int((32 - reinterpret_cast<std::uintptr_t>(dst) % 32) % 32);
        lead = lead % 4 == 0 ? std::min(n, lead / 4) : 0;
        sourceOverScalar(src, dst, 0, lead);
        done = lead + sourceOverAvx2(src + lead * 4, dst + lead * 4, n - lead);
    }
#endif
    sourceOverScalar(src, dst, done, n);
}

void sourceOverSpan(ConstPixelSpan src, PixelSpan dst) {
    const int width = std::min(src.width, dst.width), height = std::min(src.height, dst.height);
    // Rows in rising memory order where both views allow it: descending rows defeat the
    // prefetcher, and the over is bound by memory.
    const bool downwards = src.stride < 0 && dst.stride < 0;
    for (int i = 0; i < height; ++i) {
        const int y = downwards ? height - 1 - i : i;
        sourceOverRow(src.row(y), dst.row(y), width);
    }
}

ImageNodeRef makeSourceOverNode(ImageNodeRef foreground, ImageNodeRef background) {
    return std::make_shared<SourceOverKernel>(std::move(foreground), std::move(background));
}

ImageNodeRef makeSourceOutNode(ImageNodeRef foreground, ImageNodeRef background) {
    return std::make_shared<SourceOutKernel>(std::move(foreground), std::move(background));
}

ImageNodeRef makeBlendWithMaskNode(ImageNodeRef image, ImageNodeRef background, ImageNodeRef mask) {
    return std::make_shared<BlendWithMaskKernel>(std::move(image), std::move(background), std::move(mask));
}

ImageNodeRef makeColorMatrixNode(ImageNodeRef input, const ColorMatrix& m) {
    // A bias on alpha makes transparent pixels visible; otherwise they stay transparent.
    bool keepsTransparent = !(m.bias[3] > 0);
    return colorKernel(
        std::move(input),
        [m](Rgba c) {
            float v[4] = {c.r, c.g, c.b, c.a};
            float o[4];
            for (int i = 0; i < 4; ++i)
                o[i] = m.rows[i][0] * v[0] + m.rows[i][1] * v[1] + m.rows[i][2] * v[2] + m.rows[i][3] * v[3] +
                       m.bias[i];
            return Rgba{o[0], o[1], o[2], o[3]};
        },
        keepsTransparent);
}

ImageNodeRef makeMonochromeNode(ImageNodeRef input, const CIColor& color, double intensity) {
    CIColor k = color.clamped();
    float t = float(intensity);
    return colorKernel(std::move(input), [k, t](Rgba c) {
        float l = luminance(c);
        return Rgba{c.r + (l * float(k.red) - c.r) * t, c.g + (l * float(k.green) - c.g) * t,
                    c.b + (l * float(k.blue) - c.b) * t, c.a};
    });
}

ImageNodeRef makeFalseColorNode(ImageNodeRef input, const CIColor& color0, const CIColor& color1) {
    CIColor a = color0.clamped(), b = color1.clamped();
    return colorKernel(std::move(input), [a, b](Rgba c) {
        float l = unit(luminance(c));
        auto mix = [l](double x, double y) { return float(x + (y - x) * l); };
        return Rgba{mix(a.red, b.red), mix(a.green, b.green), mix(a.blue, b.blue),
                    mix(a.alpha, b.alpha) * c.a};
    });
}

// Brightness, contrast and saturation together are one affine map of the straight colour, whose
// channel weights sum to one; applied to premultiplied pixels it needs no division: out = M·p + c·a.
class ColorControlsKernel final : public KernelNode {
public:
    ColorControlsKernel(ImageNodeRef input, float saturation, float brightness, float contrast)
        : KernelNode(input->extent(), {input}) {
        const float weights[3] = {0.0721f, 0.7154f, 0.2125f}; // blue, green, red as stored
        const float s = saturation, k = contrast;
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                m_[i][j] = (i == j ? s * k : 0.0f) + (1 - s) * k * weights[j];
        bias_ = (brightness - 0.5f) * k + 0.5f;
    }

    void compute(const PixelRegion& region, std::span<const ConstPixelSpan> in,
                 PixelSpan out) const override {
        for (int y = 0; y < region.height; ++y) {
            const std::uint8_t* p = in[0].row(y);
            std::uint8_t* d = out.row(y);
            for (int x = 0; x < region.width; ++x, p += 4, d += 4) {
                const float a = p[3];
                const float b = p[0], g = p[1], r = p[2];
                for (int c = 0; c < 3; ++c) {
                    const float v = m_[c][0] * b + m_[c][1] * g + m_[c][2] * r + bias_ * a;
                    // NaN fails both tests and gives 0.
                    d[c] = std::uint8_t(v > 0 ? (v < a ? v + 0.5f : a) : 0);
                }
                d[3] = p[3];
            }
        }
    }

private:
    float m_[3][3];
    float bias_;
};

ImageNodeRef makeColorControlsNode(ImageNodeRef input, double saturation, double brightness,
                                   double contrast) {
    return std::make_shared<ColorControlsKernel>(std::move(input), float(saturation), float(brightness),
                                                 float(contrast));
}

ImageNodeRef makeGaussianBlurNode(ImageNodeRef input, double sigma) {
    return std::make_shared<GaussianBlurKernelNode>(std::move(input), sigma);
}

ImageNodeRef makeChromaKeyNode(ImageNodeRef input, const CIColor& key, double threshold, double smoothing) {
    CIColor k = key.clamped();
    float t = float(threshold), s = float(smoothing);
    return colorKernel(std::move(input), [k, t, s](Rgba c) {
        float dr = c.r - float(k.red), dg = c.g - float(k.green), db = c.b - float(k.blue);
        float d = std::sqrt(dr * dr + dg * dg + db * db) / std::sqrt(3.0f);
        float f;
        if (s <= 0) {
            f = d < t ? 0.0f : 1.0f;
        } else {
            float u = unit((d - t) / s);
            f = u * u * (3 - 2 * u);
        }
        return Rgba{c.r, c.g, c.b, c.a * f};
    });
}

ImageNodeRef makeTransitionNode(ImageNodeRef source, ImageNodeRef destination, double time,
                                const CIColor& through) {
    return std::make_shared<TransitionKernel>(std::move(source), std::move(destination), time, through);
}

} // namespace vtl::detail
