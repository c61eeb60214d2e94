#include "platform/imaging/TransitionKernels.h"

#include "platform/imaging/TransitionRows.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace vtl::detail {

namespace {

// s + round((d − s) · w / 2^15), w in 0…32767: the same rounding as the vector path's mulhrs.
void dissolveScalar(const std::uint8_t* s, const std::uint8_t* d, std::uint8_t* out, int from, int n, int w) {
    for (int i = from * 4; i < n * 4; ++i)
        out[i] = std::uint8_t(s[i] + (((int(d[i]) - int(s[i])) * w + 16384) >> 15));
}

#if defined(__x86_64__)
__attribute__((target("avx2"))) int dissolveAvx2(const std::uint8_t* s, const std::uint8_t* d,
                                                 std::uint8_t* out, int n, int w) {
    const __m256i weight = _mm256_set1_epi16(std::int16_t(w));
    const __m256i zero = _mm256_setzero_si256();
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(s + i * 4));
        __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d + i * 4));
        __m256i aLo = _mm256_unpacklo_epi8(a, zero), aHi = _mm256_unpackhi_epi8(a, zero);
        __m256i bLo = _mm256_unpacklo_epi8(b, zero), bHi = _mm256_unpackhi_epi8(b, zero);
        __m256i lo = _mm256_add_epi16(aLo, _mm256_mulhrs_epi16(_mm256_sub_epi16(bLo, aLo), weight));
        __m256i hi = _mm256_add_epi16(aHi, _mm256_mulhrs_epi16(_mm256_sub_epi16(bHi, aHi), weight));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i * 4), _mm256_packus_epi16(lo, hi));
    }
    return i;
}

bool hasAvx2() {
    static const bool supported = __builtin_cpu_supports("avx2");
    return supported;
}
#endif

void dissolveRow(const std::uint8_t* s, const std::uint8_t* d, std::uint8_t* out, int n, int w) {
    int done = 0;
#if defined(__x86_64__)
    if (hasAvx2()) done = dissolveAvx2(s, d, out, n, w);
#endif
    dissolveScalar(s, d, out, done, n, w);
}

Rect unionOfExtents(const ImageNodeRef& a, const ImageNodeRef& b) {
    return a->extent().unionWith(b->extent());
}

// A kernel over the source and the target that reads them at the pixels it computes.
class TwoPictureKernel : public KernelNode {
public:
    TwoPictureKernel(ImageNodeRef source, ImageNodeRef target)
        : KernelNode(unionOfExtents(source, target), {source, target}) {}

    PixelRegion regionOfInput(std::size_t i, const PixelRegion& region) const override {
        return region.intersection(inputs()[i]->pixelRegion());
    }

protected:
    // Input i as compute receives it for `region`.
    InputView view(std::span<const ConstPixelSpan> in, std::size_t i, const PixelRegion& region) const {
        return {in[i], regionOfInput(i, region)};
    }
};

class DissolveKernel final : public TwoPictureKernel {
public:
    DissolveKernel(ImageNodeRef source, ImageNodeRef target, double time)
        : TwoPictureKernel(std::move(source), std::move(target))
        , time_(time)
        , weight_(int(std::clamp(std::lround(time * 32768), 0L, 32767L))) {}

    void compute(const PixelRegion& region, std::span<const ConstPixelSpan> in,
                 PixelSpan out) const override {
        const InputView source = view(in, 0, region), target = view(in, 1, region);
        RowScratch scratch(region.width);
        const std::size_t bytes = std::size_t(region.width) * 4;
        for (int y = 0; y < region.height; ++y) {
            const int iy = region.y + y;
            if (time_ <= 0) {
                std::memcpy(out.row(y), source.row(iy, region.x, region.width, scratch[0]), bytes);
            } else if (time_ >= 1) {
                std::memcpy(out.row(y), target.row(iy, region.x, region.width, scratch[1]), bytes);
            } else {
                dissolveRow(source.row(iy, region.x, region.width, scratch[0]),
                            target.row(iy, region.x, region.width, scratch[1]), out.row(y), region.width,
                            weight_);
            }
        }
    }

private:
    double time_;
    int weight_;
};

class CopyMachineKernel final : public TwoPictureKernel {
public:
    CopyMachineKernel(ImageNodeRef source, ImageNodeRef target, const CopyMachineParameters& p)
        : TwoPictureKernel(std::move(source), std::move(target))
        , sweep_(p.area, p.angleRadians)
        , width_(p.widthPixels) {
        lead_ = sweep_.low() + p.time * (sweep_.length() + width_);
        // The light across the bar, from its trailing edge (0) to its leading edge (1): brightest
        // in the middle, none at the edges, so the bar meets both pictures without a seam.
        const CIColor c = p.color.clamped();
        for (int i = 0; i <= ShadingTable::steps; ++i) {
            double k = p.opacity * std::sin(M_PI * i / ShadingTable::steps) * c.alpha;
            auto byte = [](double v) { return std::uint8_t(std::lround(std::clamp(v, 0.0, 1.0) * 255)); };
            light_[std::size_t(i)] = {byte(c.blue * k), byte(c.green * k), byte(c.red * k), byte(k)};
        }
    }

    void compute(const PixelRegion& region, std::span<const ConstPixelSpan> in,
                 PixelSpan out) const override {
        const InputView source = view(in, 0, region), target = view(in, 1, region);
        RowScratch scratch(region.width);
        const int x0 = region.x;
        for (int y = 0; y < region.height; ++y) {
            const int iy = region.y + y;
            const RowProjection along = sweep_.row(iy, x0, region.maxX());
            const std::uint8_t* s = source.row(iy, x0, region.width, scratch[0]);
            const std::uint8_t* t = target.row(iy, x0, region.width, scratch[1]);
            std::uint8_t* o = out.row(y);
            auto copy = [&](const std::uint8_t* from, PixelRun run) {
                if (!run.isEmpty())
                    std::memcpy(o + (run.begin - x0) * 4, from + (run.begin - x0) * 4,
                                std::size_t(run.end - run.begin) * 4);
            };
            copy(t, along.between(-HUGE_VAL, lead_ - width_));
            copy(s, along.between(lead_, HUGE_VAL));
            PixelRun bar = along.between(lead_ - width_, lead_);
            for (int x = bar.begin; x < bar.end; ++x) {
                double q = std::clamp((along.at(x) - (lead_ - width_)) / width_, 0.0, 1.0);
                int w = int(q * 256 + 0.5);
                std::uint8_t* p = o + (x - x0) * 4;
                mixPixel(t + (x - x0) * 4, s + (x - x0) * 4, w, p);
                const auto& light = light_[std::size_t(w)];
                p[3] = std::uint8_t(std::min(255, p[3] + light[3]));
                for (int c = 0; c < 3; ++c)
                    p[c] = std::uint8_t(std::min<int>(p[3], p[c] + light[std::size_t(c)]));
            }
        }
    }

private:
    Sweep sweep_;
    double width_;
    double lead_ = 0;
    std::array<std::array<std::uint8_t, 4>, ShadingTable::steps + 1> light_{};
};

class BarsSwipeKernel final : public TwoPictureKernel {
public:
    BarsSwipeKernel(ImageNodeRef source, ImageNodeRef target, const BarsSwipeParameters& p)
        : TwoPictureKernel(std::move(source), std::move(target))
        , sweep_(p.area, p.angleRadians)
        , across_(p.area, p.angleRadians + M_PI / 2)
        , barWidth_(p.barWidthPixels) {
        const double travel = p.time * (sweep_.length() + p.barOffsetPixels);
        const double distances[2] = {travel, std::max(0.0, travel - p.barOffsetPixels)};
        for (int k = 0; k < 2; ++k) {
            shift_[k] = pixelShift(distances[k], sweep_.ux(), sweep_.uy());
            // How far the whole-pixel shift carries a point along the direction.
            threshold_[k] = sweep_.low() + shift_[k].dx * sweep_.ux() + shift_[k].dy * sweep_.uy();
        }
    }

    bool isPixelwise() const override { return false; }

    PixelRegion regionOfInput(std::size_t i, const PixelRegion& region) const override {
        if (i == 1) return TwoPictureKernel::regionOfInput(1, region);
        return regionMovedBy(region, -shift_[0].dx, -shift_[0].dy, -shift_[1].dx, -shift_[1].dy, 0)
            .intersection(inputs()[0]->pixelRegion());
    }

    void compute(const PixelRegion& region, std::span<const ConstPixelSpan> in,
                 PixelSpan out) const override {
        const InputView source = view(in, 0, region), target = view(in, 1, region);
        RowScratch scratch(region.width);
        const int x0 = region.x, x1 = region.maxX();
        for (int y = 0; y < region.height; ++y) {
            const int iy = region.y + y;
            const RowProjection along = sweep_.row(iy, x0, x1), across = across_.row(iy, x0, x1);
            const std::uint8_t* t = target.row(iy, x0, region.width, scratch[1]);
            std::uint8_t* o = out.row(y);
            auto copyTarget = [&](int begin, int end) {
                if (end > begin)
                    std::memcpy(o + (begin - x0) * 4, t + (begin - x0) * 4, std::size_t(end - begin) * 4);
            };
            // The bars this row crosses: every bar index the row's ends fall in, and one either side.
            double a = across.at(x0) - across_.low(), b = across.at(x1 - 1) - across_.low();
            double first = std::floor(std::min(a, b) / barWidth_) - 1,
                   last = std::floor(std::max(a, b) / barWidth_) + 1;
            int covered0 = x1, covered1 = x0;
            for (double j = first; j <= last; ++j) {
                PixelRun bar =
                    across.between(across_.low() + j * barWidth_, across_.low() + (j + 1) * barWidth_);
                if (bar.isEmpty()) continue;
                covered0 = std::min(covered0, bar.begin);
                covered1 = std::max(covered1, bar.end);
                const int k = std::fmod(std::fabs(j), 2.0) == 1 ? 1 : 0;
                PixelRun shown = along.between(threshold_[k], HUGE_VAL);
                int from = std::max(bar.begin, shown.begin), to = std::min(bar.end, shown.end);
                if (to <= from) {
                    copyTarget(bar.begin, bar.end);
                    continue;
                }
                copyTarget(bar.begin, from);
                copyTarget(to, bar.end);
                const std::uint8_t* s =
                    source.row(iy - shift_[k].dy, from - shift_[k].dx, to - from, scratch[0]);
                std::memcpy(o + (from - x0) * 4, s, std::size_t(to - from) * 4);
            }
            if (covered1 <= covered0) {
                copyTarget(x0, x1);
            } else {
                copyTarget(x0, covered0);
                copyTarget(covered1, x1);
            }
        }
    }

private:
    Sweep sweep_, across_;
    double barWidth_;
    PixelShift shift_[2];
    double threshold_[2] = {0, 0};
};

} // namespace

ImageNodeRef makeDissolveNode(ImageNodeRef source, ImageNodeRef target, double time) {
    return std::make_shared<DissolveKernel>(std::move(source), std::move(target), time);
}

ImageNodeRef makeCopyMachineNode(ImageNodeRef source, ImageNodeRef target,
                                 const CopyMachineParameters& parameters) {
    return std::make_shared<CopyMachineKernel>(std::move(source), std::move(target), parameters);
}

ImageNodeRef makeBarsSwipeNode(ImageNodeRef source, ImageNodeRef target,
                               const BarsSwipeParameters& parameters) {
    return std::make_shared<BarsSwipeKernel>(std::move(source), std::move(target), parameters);
}

} // namespace vtl::detail
