#pragma once
// The shapes of kernel node the effect filters are made of, each parameterised by a small function
// object that does the pixel work: a per-pixel kernel that also knows where the pixel lies, a
// kernel over two inputs read at the same pixel, a neighbourhood kernel that reads a margin around
// each pixel, and a warp that reads each pixel from a mapped point of its input. Internal to the
// imaging layer; the nodes are immutable once made, like every node of a recipe.

#include "platform/imaging/ImageNode.h"
#include "platform/imaging/PixelSampler.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace vtl::detail {

// Whether a rectangle stands for an infinite extent.
inline bool isUnbounded(const Rect& r) {
    return !r.isEmpty() && (r.width() >= 1e299 || r.height() >= 1e299);
}

// The rectangle grown by d on every side; infinite and empty rectangles stay as they are.
inline Rect grownRect(const Rect& r, double dx, double dy) {
    if (r.isEmpty() || isUnbounded(r)) return r;
    return r.insetBy(-dx, -dy);
}

// The extent of a plane-filling result.
inline Rect unboundedRect() {
    return Rect(-1e300, -1e300, 2e300, 2e300);
}

// f(x, y, source, destination, n) fills n pixels of row y starting at column x from the input
// pixels at the same places.
template <class Row> class PositionKernel final : public KernelNode {
public:
    PositionKernel(ImageNodeRef input, Row row)
        : KernelNode(input->extent(), {input})
        , row_(std::move(row)) {}
    void compute(const PixelRegion& region, std::span<const ConstPixelSpan> in,
                 PixelSpan out) const override {
        for (int y = 0; y < region.height; ++y)
            row_(region.x, region.y + y, in[0].row(y), out.row(y), region.width);
    }

private:
    Row row_;
};

template <class Row> ImageNodeRef makePositionKernel(ImageNodeRef input, Row row) {
    return std::make_shared<PositionKernel<Row>>(std::move(input), std::move(row));
}

// f(first, second, destination, n) combines n pixels of two inputs read at the same places.
template <class Row> class PairKernel final : public KernelNode {
public:
    PairKernel(const Rect& extent, ImageNodeRef first, ImageNodeRef second, Row row)
        : KernelNode(extent, {first, second})
        , row_(std::move(row)) {}
    void compute(const PixelRegion& region, std::span<const ConstPixelSpan> in,
                 PixelSpan out) const override {
        for (int y = 0; y < region.height; ++y)
            row_(in[0].row(y), in[1].row(y), out.row(y), region.width);
    }

private:
    Row row_;
};

template <class Row>
ImageNodeRef makePairKernel(const Rect& extent, ImageNodeRef first, ImageNodeRef second, Row row) {
    return std::make_shared<PairKernel<Row>>(extent, std::move(first), std::move(second), std::move(row));
}

// f(input, output, region) fills `output` (covering region) from `input`, which covers the region
// grown by `margin` pixels on every side and is transparent outside the input's extent.
template <class Area> class NeighbourhoodKernel final : public KernelNode {
public:
    NeighbourhoodKernel(const Rect& extent, ImageNodeRef input, int margin, Area area)
        : KernelNode(extent, {input})
        , margin_(margin)
        , area_(std::move(area)) {}
    bool isPixelwise() const override { return false; }
    PixelRegion regionOfInput(std::size_t, const PixelRegion& region) const override {
        return region.grownBy(margin_);
    }
    void compute(const PixelRegion& region, std::span<const ConstPixelSpan> in,
                 PixelSpan out) const override {
        area_(in[0], out, region);
    }

private:
    int margin_;
    Area area_;
};

template <class Area>
ImageNodeRef makeNeighbourhoodKernel(const Rect& extent, ImageNodeRef input, int margin, Area area) {
    return std::make_shared<NeighbourhoodKernel<Area>>(extent, std::move(input), margin, std::move(area));
}

// A map tells, for an output pixel centre (x, y), the input point (u, v) it shows, or false for
// a transparent pixel (`bool operator()(double x, double y, double& u, double& v) const`), and the
// input pixels any point of a region may read (`PixelRegion need(const PixelRegion&) const`).
// Pixels whose centre lies outside `affected` show their own input pixel unchanged.
template <class Map> class WarpKernel final : public KernelNode {
public:
    WarpKernel(const Rect& extent, ImageNodeRef input, const Rect& affected, Map map)
        : KernelNode(extent, {input})
        , affected_(affected)
        , map_(std::move(map)) {}
    bool isPixelwise() const override { return false; }
    PixelRegion regionOfInput(std::size_t, const PixelRegion& region) const override {
        return map_.need(region).unionWith(region).intersection(inputs()[0]->pixelRegion());
    }
    void compute(const PixelRegion& region, std::span<const ConstPixelSpan> in,
                 PixelSpan out) const override {
        const PixelSampler sampler(in[0], regionOfInput(0, region));
        for (int j = 0; j < region.height; ++j) {
            const int y = region.y + j;
            const double cy = y + 0.5;
            std::uint8_t* d = out.row(j);
            // The columns whose centres lie in the affected band of this row.
            int from = region.width, to = region.width;
            if (cy >= affected_.minY() && cy < affected_.maxY()) {
                double a = std::ceil(std::max(affected_.minX() - 0.5, -1e9)) - region.x;
                double b = std::ceil(std::min(affected_.maxX() - 0.5, 1e9)) - region.x;
                from = int(std::clamp(a, 0.0, double(region.width)));
                to = int(std::clamp(b, double(from), double(region.width)));
            }
            copyUnaffected(sampler, region.x, y, 0, from, d);
            for (int i = from; i < to; ++i) {
                double u, v;
                if (map_(region.x + i + 0.5, cy, u, v))
                    sampler.bilinear(u, v, d + std::ptrdiff_t(i) * 4);
                else
                    std::memset(d + std::ptrdiff_t(i) * 4, 0, 4);
            }
            copyUnaffected(sampler, region.x, y, to, region.width, d);
        }
    }

private:
    static void copyUnaffected(const PixelSampler& sampler, int x0, int y, int from, int to,
                               std::uint8_t* d) {
        if (from >= to) return;
        const PixelRegion& r = sampler.region();
        int a = from, b = to;
        if (y >= r.y && y < r.maxY()) {
            a = std::clamp(r.x - x0, from, to);
            b = std::clamp(r.maxX() - x0, a, to);
            if (b > a)
                std::memcpy(d + std::ptrdiff_t(a) * 4, sampler.pixel(x0 + a, y), std::size_t(b - a) * 4);
        } else {
            a = b = to;
        }
        std::memset(d + std::ptrdiff_t(from) * 4, 0, std::size_t(a - from) * 4);
        std::memset(d + std::ptrdiff_t(b) * 4, 0, std::size_t(to - b) * 4);
    }

    Rect affected_;
    Map map_;
};

template <class Map>
ImageNodeRef makeWarpKernel(const Rect& extent, ImageNodeRef input, const Rect& affected, Map map) {
    return std::make_shared<WarpKernel<Map>>(extent, std::move(input), affected, std::move(map));
}

} // namespace vtl::detail
