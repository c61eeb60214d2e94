// The transitions that move pixels: the page curl (with or without its shadow) and the ripple.
// Only the pixels on the roll or in the ring are sampled; the rest of each row is copied.

#include "platform/imaging/TransitionKernels.h"
#include "platform/imaging/TransitionRows.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

namespace vtl::detail {

namespace {

// asin on 0…1 and sin(π·x) on 0…1 by linear interpolation between exact values: monotone where the
// functions are, and cheap enough for every pixel of a roll or a ring.
class Table {
public:
    static constexpr int steps = 1024;
    template <class Function> explicit Table(Function f) {
        for (int i = 0; i <= steps; ++i)
            values_[std::size_t(i)] = f(double(i) / steps);
    }
    double operator()(double x) const {
        if (!(x > 0)) return values_[0];
        if (x >= 1) return values_[steps];
        double f = x * steps;
        int i = int(f);
        return values_[std::size_t(i)] + (values_[std::size_t(i) + 1] - values_[std::size_t(i)]) * (f - i);
    }

private:
    std::array<double, steps + 1> values_{};
};

const Table& asinTable() {
    static const Table table([](double v) { return std::asin(v); });
    return table;
}

const Table& sinPiTable() {
    static const Table table([](double v) { return std::sin(M_PI * v); });
    return table;
}

Rect unionOfExtents(const ImageNodeRef& a, const ImageNodeRef& b) {
    return a->extent().unionWith(b->extent());
}

std::vector<ImageNodeRef> listed(std::initializer_list<ImageNodeRef> nodes) {
    std::vector<ImageNodeRef> list;
    for (const ImageNodeRef& n : nodes)
        if (n) list.push_back(n);
    return list;
}

// The rows of the shading image a kernel reads: the one its extent's middle falls in, with the
// neighbours bilinear taps reach.
PixelRegion shadingRows(const ImageNode& shading, const Rect& extent) {
    if (extent.isEmpty() || extent.width() >= 1e299 || extent.height() >= 1e299) return {0, 0, 1, 1};
    PixelRegion all = shading.pixelRegion();
    int middle = int(std::floor(extent.midY() - 0.5));
    return PixelRegion{all.x, middle - 1, all.width, 3}.intersection(all);
}

ShadingTable shadingTable(const InputView& view, const Rect& extent) {
    if (extent.isEmpty() || extent.width() >= 1e299 || extent.height() >= 1e299)
        return ShadingTable(view, 0, 1, 0.5);
    return ShadingTable(view, extent.minX(), extent.width(), extent.midY());
}

// The range of positions along a direction the region's corners take.
std::pair<double, double> projectedRange(const PixelRegion& region, double ux, double uy) {
    const double xs[2] = {double(region.x), double(region.maxX())},
                 ys[2] = {double(region.y), double(region.maxY())};
    double low = HUGE_VAL, high = -HUGE_VAL;
    for (double x : xs)
        for (double y : ys) {
            low = std::min(low, x * ux + y * uy);
            high = std::max(high, x * ux + y * uy);
        }
    return {low, high};
}

void scaleColour(std::uint8_t* p, int keep256) {
    for (int c = 0; c < 3; ++c)
        p[c] = std::uint8_t((p[c] * keep256 + 128) >> 8);
}

// The page rolls round a cylinder of radius R whose axis lies across the direction of travel at
// position a. With d = a − p for a pixel at position p, and e = a − (the area's start) the length
// of page already rolled:
//   d < πR − e        the flat page, not reached yet;
//   πR − e ≤ d < 0    the rolled page's back lying flat on the page (page point a − πR + d);
//   0 ≤ d < R         the roll: its top shows the back (page point a − R(π − asin(d/R))) over its
//                     underside, the front (page point a − R·asin(d/R)), over the target;
//   d ≥ R             the target, darkened by the shadow just beyond the roll.
// A layer exists where its page point lies on the page. Along any line across the roll the pixel
// goes flat page → back or front → target and never returns, so the target only grows.
class PageCurlKernel final : public KernelNode {
public:
    PageCurlKernel(ImageNodeRef source, ImageNodeRef target, ImageNodeRef backside, ImageNodeRef shading,
                   const PageCurlParameters& p)
        : KernelNode(unionOfExtents(source, target),
                     listed({source, target, backside ? backside : source, shading}))
        , sweep_(p.area, p.angleRadians)
        , radius_(p.radiusPixels)
        , shadowLength_(p.shadow ? p.shadowSize * p.radiusPixels : 0)
        , shadowAmount_(p.shadow ? p.shadowAmount : 0)
        , shadowArea_(p.shadowArea)
        , shadingExtent_(p.shadingExtent)
        , hasShading_(bool(shading)) {
        axis_ = sweep_.low() + p.time * (sweep_.length() + radius_ + shadowLength_);
        rolled_ = axis_ - sweep_.low();
    }

    bool isPixelwise() const override { return false; }

    PixelRegion regionOfInput(std::size_t i, const PixelRegion& region) const override {
        PixelRegion r;
        if (i == 1) {
            r = region;
        } else if (i == 3) {
            r = shadingRows(*inputs()[3], shadingExtent_);
        } else {
            auto [low, high] = projectedRange(region, sweep_.ux(), sweep_.uy());
            double dLow = axis_ - high, dHigh = axis_ - low;
            if (i == 0) {
                // The flat page is read in place, the roll's underside a little behind it.
                r = region;
                double from = std::max(dLow, 0.0), to = std::min(dHigh, radius_);
                if (from <= to) r = r.unionWith(moved(region, frontMove(to), frontMove(from)));
            } else {
                double from = std::max(dLow, M_PI * radius_ - rolled_), to = std::min(dHigh, radius_);
                if (from <= to) r = moved(region, backMove(from), backMove(to));
            }
        }
        return r.intersection(inputs()[i]->pixelRegion());
    }

    void compute(const PixelRegion& region, std::span<const ConstPixelSpan> in,
                 PixelSpan out) const override {
        const InputView source{in[0], regionOfInput(0, region)};
        const InputView target{in[1], regionOfInput(1, region)};
        const InputView back{in[2], regionOfInput(2, region)};
        ShadingTable shading;
        if (hasShading_) shading = shadingTable(InputView{in[3], regionOfInput(3, region)}, shadingExtent_);
        // The flat back is lit as the roll's edge is; the shine fades to nothing there.
        const std::uint8_t* edgeLight = shading.isPresent() ? shading.at(1) : nullptr;
        if (edgeLight && !(edgeLight[0] | edgeLight[1] | edgeLight[2])) edgeLight = nullptr;
        RowScratch scratch(region.width);
        const int x0 = region.x, x1 = region.maxX();
        const double r = radius_, ux = sweep_.ux(), uy = sweep_.uy();
        for (int y = 0; y < region.height; ++y) {
            const int iy = region.y + y;
            const double yc = iy + 0.5;
            const RowProjection along = sweep_.row(iy, x0, x1);
            std::uint8_t* o = out.row(y);
            auto copy = [&](const InputView& view, PixelRun run, int slot) {
                if (run.isEmpty()) return;
                std::memcpy(o + (run.begin - x0) * 4,
                            view.row(iy, run.begin, run.end - run.begin, scratch[slot]),
                            std::size_t(run.end - run.begin) * 4);
            };
            copy(target, along.between(-HUGE_VAL, axis_ - r - shadowLength_), 1);
            copy(source, along.between(std::max(axis_, axis_ + rolled_ - M_PI * r), HUGE_VAL), 0);
            if (shadowLength_ > 0) {
                PixelRun shadow = along.between(axis_ - r - shadowLength_, axis_ - r);
                copy(target, shadow, 1);
                for (int x = shadow.begin; x < shadow.end; ++x) {
                    double g = 1 - std::clamp((axis_ - along.at(x) - r) / shadowLength_, 0.0, 1.0);
                    shade(o + (x - x0) * 4, x, iy, shadowAmount_ * g * g);
                }
            }
            // Layers are laid over what lies beneath them: where a folded page point falls outside
            // the picture on this line there is no page, and the layer below shows.
            PixelRun flatBack = along.between(axis_, axis_ + rolled_ - M_PI * r);
            copy(source, flatBack, 0);
            if (!flatBack.isEmpty()) {
                // Lying flat, the back is the page reflected across the line at a − πR/2: its
                // positions step evenly along the row, counted from x = 0 so that every tile
                // reaches the same ones.
                const double k = 2 * axis_ - M_PI * r - 2 * uy * yc - ux;
                const std::int64_t stepX = std::llround((1 - 2 * ux * ux) * 65536),
                                   stepY = std::llround(-2 * ux * uy * 65536);
                const std::int64_t startX = InputView::fixedPosition(0.5 + k * ux),
                                   startY = InputView::fixedPosition(yc + k * uy);
                // Beyond `reading` the back falls outside its picture: no page, the flat page stays.
                const PixelRun reading =
                    back.runReading(flatBack.begin, flatBack.end, startX, stepX, startY, stepY, true);
                const PixelRun inner =
                    back.runReading(reading.begin, reading.end, startX, stepX, startY, stepY, false);
                for (int x = reading.begin; x < reading.end; ++x) {
                    std::uint8_t layer[4];
                    const std::int64_t fx = startX + stepX * x, fy = startY + stepY * x;
                    if (x >= inner.begin && x < inner.end)
                        back.sampleInterior(fx, fy, layer);
                    else
                        back.sampleFixed(fx, fy, layer);
                    if (edgeLight) screenPixel(layer, edgeLight);
                    overPixel(o + (x - x0) * 4, layer);
                }
            }
            PixelRun roll = along.between(axis_ - r, axis_);
            copy(target, roll, 1);
            for (int x = roll.begin; x < roll.end; ++x) {
                const double d = std::clamp(axis_ - along.at(x), 0.0, r);
                const double bend = asin_(d / r);
                std::uint8_t* p = o + (x - x0) * 4;
                std::uint8_t layer[4];
                if (shadowAmount_ > 0) shade(p, x, iy, shadowAmount_);
                if (r * bend <= rolled_) {
                    double move = d - r * bend;
                    source.sample(x + 0.5 + move * ux, yc + move * uy, layer);
                    overPixel(p, layer);
                }
                if (r * (M_PI - bend) <= rolled_) {
                    double move = d - r * (M_PI - bend);
                    back.sample(x + 0.5 + move * ux, yc + move * uy, layer);
                    if (shading.isPresent()) screenPixel(layer, shading.at(1 - bend / (M_PI / 2)));
                    overPixel(p, layer);
                }
            }
        }
    }

private:
    // How far along the direction the page point shown at depth d lies from the pixel.
    double frontMove(double d) const { return d - radius_ * asin_(d / radius_); }
    double backMove(double d) const {
        return d < 0 ? 2 * d - M_PI * radius_ : d - radius_ * (M_PI - asin_(d / radius_));
    }
    PixelRegion moved(const PixelRegion& region, double m0, double m1) const {
        return regionMovedBy(region, m0 * sweep_.ux(), m0 * sweep_.uy(), m1 * sweep_.ux(), m1 * sweep_.uy(),
                             2);
    }
    void shade(std::uint8_t* p, int x, int y, double amount) const {
        if (!shadowArea_.isEmpty() && !shadowArea_.containsPoint({x + 0.5, y + 0.5})) return;
        scaleColour(p, int(std::lround((1 - amount) * 256)));
    }

    Sweep sweep_;
    double radius_;
    double shadowLength_, shadowAmount_;
    Rect shadowArea_, shadingExtent_;
    bool hasShading_;
    double axis_ = 0, rolled_ = 0;
    const Table& asin_ = asinTable();
};

class RippleKernel final : public KernelNode {
public:
    RippleKernel(ImageNodeRef source, ImageNodeRef target, ImageNodeRef shading, const RippleParameters& p)
        : KernelNode(unionOfExtents(source, target), listed({source, target, shading}))
        , center_(p.center)
        , width_(p.widthPixels)
        , scale_(p.scale)
        , shadingExtent_(p.shadingExtent)
        , hasShading_(bool(shading)) {
        double farthest = 0;
        if (!p.area.isEmpty())
            for (double x : {p.area.minX(), p.area.maxX()})
                for (double y : {p.area.minY(), p.area.maxY()})
                    farthest = std::max(farthest, std::hypot(x - center_.x, y - center_.y));
        outer_ = p.time * (farthest + width_);
        inner_ = outer_ - width_;
        reach_ = int(std::ceil(std::fabs(scale_))) + 2;
        perWidth_ = 1 / width_;
    }

    bool isPixelwise() const override { return false; }

    PixelRegion regionOfInput(std::size_t i, const PixelRegion& region) const override {
        if (i == 2) return shadingRows(*inputs()[2], shadingExtent_);
        return region.grownBy(reach_).intersection(inputs()[i]->pixelRegion());
    }

    void compute(const PixelRegion& region, std::span<const ConstPixelSpan> in,
                 PixelSpan out) const override {
        const InputView source{in[0], regionOfInput(0, region)};
        const InputView target{in[1], regionOfInput(1, region)};
        ShadingTable shading;
        if (hasShading_) shading = shadingTable(InputView{in[2], regionOfInput(2, region)}, shadingExtent_);
        RowScratch scratch(region.width);
        const int x0 = region.x, x1 = region.maxX();
        for (int y = 0; y < region.height; ++y) {
            const int iy = region.y + y;
            const double dy = iy + 0.5 - center_.y;
            const PixelRun outside = within(outer_, dy, x0, x1), inside = within(inner_, dy, x0, x1);
            std::uint8_t* o = out.row(y);
            auto copy = [&](const InputView& view, int begin, int end, int slot) {
                if (end > begin)
                    std::memcpy(o + (begin - x0) * 4, view.row(iy, begin, end - begin, scratch[slot]),
                                std::size_t(end - begin) * 4);
            };
            if (outside.isEmpty()) {
                copy(source, x0, x1, 0);
                continue;
            }
            copy(source, x0, outside.begin, 0);
            copy(source, outside.end, x1, 0);
            int ringEnd = inside.isEmpty() ? outside.end : inside.begin;
            ring(o, x0, outside.begin, ringEnd, dy, source, target, shading);
            if (!inside.isEmpty()) {
                copy(target, inside.begin, inside.end, 1);
                ring(o, x0, inside.end, outside.end, dy, source, target, shading);
            }
        }
    }

private:
    // Pixels of the row whose centres lie closer to the centre than `radius`.
    PixelRun within(double radius, double dy, int x0, int x1) const {
        double h2 = radius * radius - dy * dy;
        if (!(radius > 0) || !(h2 > 0)) return {x0, x0};
        double h = std::sqrt(h2);
        auto clampX = [&](double v) { return v <= x0 ? x0 : v >= x1 ? x1 : int(v); };
        return {clampX(std::floor(center_.x - h - 0.5) + 1), clampX(std::ceil(center_.x + h - 0.5))};
    }

    void ring(std::uint8_t* o, int x0, int begin, int end, double dy, const InputView& source,
              const InputView& target, const ShadingTable& shading) const {
        for (int x = begin; x < end; ++x) {
            const double dx = x + 0.5 - center_.x;
            const double distance = std::sqrt(dx * dx + dy * dy);
            // 0 at the ring's outer edge, 1 at its inner edge.
            const double q = std::clamp((outer_ - distance) * perWidth_, 0.0, 1.0);
            const double push = scale_ * sinPi_(q);
            const double f = distance > 1e-9 ? (distance - push) / distance : 1.0;
            const double sx = center_.x + dx * f, sy = center_.y + dy * f;
            std::uint8_t s[4], t[4];
            InputView::samplePair(source, target, InputView::fixedPosition(sx), InputView::fixedPosition(sy),
                                  s, t);
            std::uint8_t* p = o + (x - x0) * 4;
            mixPixel(s, t, int(q * 256 + 0.5), p);
            if (shading.isPresent()) screenPixel(p, shading.at(q));
        }
    }

    Point center_;
    double width_, scale_, perWidth_ = 1;
    Rect shadingExtent_;
    bool hasShading_;
    double outer_ = 0, inner_ = 0;
    int reach_ = 2;
    const Table& sinPi_ = sinPiTable();
};

} // namespace

ImageNodeRef makePageCurlNode(ImageNodeRef source, ImageNodeRef target, ImageNodeRef backside,
                              ImageNodeRef shading, const PageCurlParameters& parameters) {
    return std::make_shared<PageCurlKernel>(std::move(source), std::move(target), std::move(backside),
                                            std::move(shading), parameters);
}

ImageNodeRef makeRippleNode(ImageNodeRef source, ImageNodeRef target, ImageNodeRef shading,
                            const RippleParameters& parameters) {
    return std::make_shared<RippleKernel>(std::move(source), std::move(target), std::move(shading),
                                          parameters);
}

} // namespace vtl::detail
