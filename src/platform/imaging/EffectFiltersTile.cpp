// Tile and wrap effects: every pixel is folded back into one piece of the input around the centre
// (a wedge, a parallelogram, a triangle) or the picture is bent around a circle. The tiles fill
// the plane, so their results have an infinite extent: crop them to the area wanted.

#include "platform/imaging/EffectFilter.h"
#include "platform/imaging/EffectKernelNodes.h"
#include "platform/imaging/EffectPixels.h"
#include "platform/imaging/FilterAttributeBuilders.h"

#include <array>
#include <cmath>
#include <numbers>
#include <vector>

namespace vtl::detail {

namespace {

constexpr double pi = std::numbers::pi;
const std::string tileCategory = "CICategoryTileEffect";
const std::string distortionCategory = "CICategoryDistortionEffect";

double farthestCorner(Point c, const Rect& r) {
    return std::max({std::hypot(r.minX() - c.x, r.minY() - c.y), std::hypot(r.maxX() - c.x, r.minY() - c.y),
                     std::hypot(r.minX() - c.x, r.maxY() - c.y), std::hypot(r.maxX() - c.x, r.maxY() - c.y)});
}

double nearestPoint(Point c, const Rect& r) {
    double dx = std::max({r.minX() - c.x, 0.0, c.x - r.maxX()}),
           dy = std::max({r.minY() - c.y, 0.0, c.y - r.maxY()});
    return std::hypot(dx, dy);
}

PixelRegion boxAround(Point c, double radius) {
    return pixelRegionCovering(Rect(c.x - radius, c.y - radius, 2 * radius, 2 * radius)).grownBy(2);
}

// Wedges of 2π / count around the centre, each mirrored from the half-wedge after the angle.
// Within one half-wedge a pixel's source is a fixed linear map of its offset from the centre, so
// each pixel finds its half-wedge by the sides of two boundary rays, starting from its left
// neighbour's (a row crosses the rays in order), and reads through that half-wedge's matrix.
// Which half-wedge a pixel is in depends on its own offset alone, whichever tile computes it.
class KaleidoscopeKernel final : public KernelNode {
public:
    KaleidoscopeKernel(const Rect& extent, ImageNodeRef input, Point center, int count, double angle)
        : KernelNode(extent, {input})
        , c_(center)
        , halfWedges_(2 * count)
        , halfSectorsPerRadian_(count / pi)
        , angle_(angle) {
        const double sector = 2 * pi / count;
        for (int h = 0; h < halfWedges_; ++h) {
            const double boundary = angle + h * sector / 2;
            rays_.push_back({std::cos(boundary), std::sin(boundary)});
            // Even: wedge k turned back by k sectors. Odd: that, mirrored across the wedge's
            // middle, which together is one reflection (its matrix has cos 2θ, sin 2θ).
            const int k = h / 2;
            if (h % 2 == 0) {
                const double t = -k * sector;
                maps_.push_back({std::cos(t), -std::sin(t), std::sin(t), std::cos(t)});
            } else {
                const double twice = 2 * angle + (k + 1) * sector;
                maps_.push_back({std::cos(twice), std::sin(twice), std::sin(twice), -std::cos(twice)});
            }
        }
    }

    bool isPixelwise() const override { return false; }
    PixelRegion regionOfInput(std::size_t, const PixelRegion& region) const override {
        return boxAround(c_, farthestCorner(c_, region.rect()))
            .unionWith(region)
            .intersection(inputs()[0]->pixelRegion());
    }

    void compute(const PixelRegion& region, std::span<const ConstPixelSpan> in,
                 PixelSpan out) const override {
        const PixelSampler sampler(in[0], regionOfInput(0, region));
        for (int j = 0; j < region.height; ++j) {
            const double dy = region.y + j + 0.5 - c_.y;
            std::uint8_t* d = out.row(j);
            int h = -1;
            for (int i = 0; i < region.width; ++i, d += 4) {
                const double dx = region.x + i + 0.5 - c_.x;
                if (dx == 0 && dy == 0) {
                    sampler.bilinear(c_.x, c_.y, d);
                    continue;
                }
                if (h < 0) h = firstGuess(dx, dy);
                h = halfWedgeOf(dx, dy, h);
                const auto& m = maps_[std::size_t(h)];
                sampler.bilinear(c_.x + m[0] * dx + m[1] * dy, c_.y + m[2] * dx + m[3] * dy, d);
            }
        }
    }

private:
    int firstGuess(double dx, double dy) const {
        const double phi = fastAtan2(dy, dx) - angle_;
        const int h = floorToInt(phi * halfSectorsPerRadian_);
        return ((h % halfWedges_) + halfWedges_) % halfWedges_;
    }
    // Whether (dx, dy) lies on or counterclockwise of boundary ray h (within a half turn).
    bool onOrAfter(int h, double dx, double dy) const {
        const auto& e = rays_[std::size_t(h)];
        return e[0] * dy - e[1] * dx >= 0;
    }
    // The half-wedge holding the offset: on or after its first ray and before the next. With one
    // wedge an offset on the line through the centre satisfies neither half, but there both maps
    // agree, so the bounded search may stop on either.
    int halfWedgeOf(double dx, double dy, int h) const {
        for (int step = 0; step < halfWedges_; ++step) {
            if (!onOrAfter(h, dx, dy))
                h = h == 0 ? halfWedges_ - 1 : h - 1;
            else if (onOrAfter(h + 1 == halfWedges_ ? 0 : h + 1, dx, dy))
                h = h + 1 == halfWedges_ ? 0 : h + 1;
            else
                break;
        }
        return h;
    }

    Point c_;
    int halfWedges_;
    double halfSectorsPerRadian_, angle_;
    std::vector<std::array<double, 2>> rays_;
    std::vector<std::array<double, 4>> maps_;
};

CIImage kaleidoscope(const EffectFilter& f, const CIImage& input) {
    const Point c = f.center();
    const int count = int(std::max(1.0, std::round(f.ranged("inputCount"))));
    const double angle = f.ranged("inputAngle");
    const Rect e = input.extent();
    const Rect extent = isUnbounded(e) ? e : boxAround(c, farthestCorner(c, e)).rect();
    return EffectFilter::imageOf(input,
                                 std::make_shared<KaleidoscopeKernel>(extent, input.node(), c, count, angle));
}

// The picture bent around the circle of the radius: its rows become circles (the centre's row on
// the circle itself, rows above outside it) and its columns run clockwise from the top, the
// centre's column at the angle.
CIImage circularWrap(const EffectFilter& f, const CIImage& input) {
    const Point c = f.center();
    const double radius = f.ranged("inputRadius");
    struct Map {
        Point c;
        double radius, angle;
        bool operator()(double x, double y, double& u, double& v) const {
            const double dx = x - c.x, dy = y - c.y, d = std::sqrt(dx * dx + dy * dy);
            double a = fastAtan2(dy, dx) - pi / 2 - angle;
            a -= floorToInt((a + pi) / (2 * pi)) * 2 * pi;
            u = c.x - radius * a;
            v = c.y + d - radius;
            return true;
        }
        PixelRegion need(const PixelRegion& region) const {
            const Rect r = region.rect();
            const double low = nearestPoint(c, r) - radius, high = farthestCorner(c, r) - radius;
            return pixelRegionCovering(Rect(c.x - pi * radius, c.y + low, 2 * pi * radius, high - low))
                .grownBy(2);
        }
    };
    const Rect e = input.extent();
    Rect extent = e;
    if (!isUnbounded(e)) {
        const double reach = radius + e.maxY() - c.y;
        if (!(reach > 0)) return CIImage::emptyImage();
        extent = boxAround(c, reach).rect();
    }
    return EffectFilter::imageOf(
        input, makeWarpKernel(extent, input.node(), unboundedRect(), Map{c, radius, f.ranged("inputAngle")}));
}

// Mirror-repeats the parallelogram at the centre with sides of the width along the angle and the
// acute angle beyond it.
CIImage parallelogramTile(const EffectFilter& f, const CIImage& input) {
    const Point c = f.center();
    const double angle = f.ranged("inputAngle"), acute = f.ranged("inputAcuteAngle"),
                 width = f.ranged("inputWidth");
    struct Map {
        Point c;
        double e1x, e1y, e2x, e2y, inverseDet;
        static double fold(double s) {
            s -= 2.0 * floorToInt(s / 2);
            return s > 1 ? 2 - s : s;
        }
        bool operator()(double x, double y, double& u, double& v) const {
            const double dx = x - c.x, dy = y - c.y;
            const double s = fold((e2y * dx - e2x * dy) * inverseDet),
                         t = fold((e1x * dy - e1y * dx) * inverseDet);
            u = c.x + s * e1x + t * e2x;
            v = c.y + s * e1y + t * e2y;
            return true;
        }
        PixelRegion need(const PixelRegion&) const {
            const std::array<Point, 4> corners{Point{c.x, c.y}, Point{c.x + e1x, c.y + e1y},
                                               Point{c.x + e2x, c.y + e2y},
                                               Point{c.x + e1x + e2x, c.y + e1y + e2y}};
            return pixelRegionCovering(boundingRectOfPoints(corners)).grownBy(2);
        }
    };
    Map map{c,
            width * std::cos(angle),
            width * std::sin(angle),
            width * std::cos(angle + acute),
            width * std::sin(angle + acute),
            0};
    map.inverseDet = 1 / (map.e1x * map.e2y - map.e1y * map.e2x);
    return EffectFilter::imageOf(input, makeWarpKernel(unboundedRect(), input.node(), unboundedRect(), map));
}

// Mirror-repeats the equilateral triangle with a corner at the centre and its first side, of the
// width, along the angle: the tiling its own mirror images make.
CIImage triangleTile(const EffectFilter& f, const CIImage& input) {
    const Point c = f.center();
    const double angle = f.ranged("inputAngle"), width = f.ranged("inputWidth");
    struct Map {
        Point c;
        double w, cs, sn, h, inverseStep, inverseRise; // 1 / (3w/2), 1 / 2h
        bool operator()(double x, double y, double& u, double& v) const {
            const double dx = x - c.x, dy = y - c.y;
            // Into the triangle's frame: corners (0, 0), (w, 0), (w/2, h).
            double qx = dx * cs + dy * sn, qy = dy * cs - dx * sn;
            // Away by whole periods of the tiling first: q = a (0, 2h) + b (3w/2, −h) with a and b
            // taken modulo 1.
            const double b0 = qx * inverseStep, a0 = (qy + b0 * h) * inverseRise;
            const double a = a0 - floorToInt(a0), b = b0 - floorToInt(b0);
            qx = b * 1.5 * w;
            qy = (2 * a - b) * h;
            // Then mirrored across the sides it lies beyond, until it lies inside.
            constexpr double r3 = 0.8660254037844386; // √3 / 2, the sides' normals (0, −1), (r3, ½), (−r3, ½)
            const double slack = 1e-9 * w;
            for (int round = 0; round < 32; ++round) {
                bool moved = false;
                if (-qy > slack) {
                    qy = -qy;
                    moved = true;
                }
                if (const double beyond = r3 * qx + 0.5 * qy - h; beyond > slack) {
                    qx -= 2 * beyond * r3;
                    qy -= beyond;
                    moved = true;
                }
                if (const double beyond = 0.5 * qy - r3 * qx; beyond > slack) {
                    qx += 2 * beyond * r3;
                    qy -= beyond;
                    moved = true;
                }
                if (!moved) break;
            }
            u = c.x + qx * cs - qy * sn;
            v = c.y + qx * sn + qy * cs;
            return true;
        }
        PixelRegion need(const PixelRegion&) const {
            const std::array<Point, 3> corners{Point{c.x, c.y}, Point{c.x + w * cs, c.y + w * sn},
                                               Point{c.x + w / 2 * cs - h * sn, c.y + w / 2 * sn + h * cs}};
            return pixelRegionCovering(boundingRectOfPoints(corners)).grownBy(2);
        }
    };
    return EffectFilter::imageOf(
        input, makeWarpKernel(unboundedRect(), input.node(), unboundedRect(),
                              Map{c, width, std::cos(angle), std::sin(angle), width * std::sqrt(3.0) / 2,
                                  1 / (1.5 * width), 1 / (width * std::sqrt(3.0))}));
}

} // namespace

void registerTileEffects() {
    const FilterAttribute image = effectImageInput();
    registerEffect(
        "CIKaleidoscope", "Kaleidoscope", tileCategory,
        {image, centerInput(), numberInput("inputCount", "Count", 6, 1, 64, 1, 64), angleInput(0, -pi, pi)},
        kaleidoscope);
    registerEffect("CICircularWrap", "Circular Wrap Distortion", distortionCategory,
                   {image, centerInput(),
                    numberInput("inputRadius", "Radius", 40, 0, 600, 0, 600, FilterAttributeType::Distance),
                    angleInput(0, -pi, pi)},
                   circularWrap);
    registerEffect("CIParallelogramTile", "Parallelogram Tile", tileCategory,
                   {image, centerInput(), angleInput(0, -pi, pi),
                    angleInput(pi / 2, 0.1, pi - 0.1, "inputAcuteAngle", "Acute Angle"),
                    numberInput("inputWidth", "Width", 100, 1, 200, 1, 200, FilterAttributeType::Distance)},
                   parallelogramTile);
    registerEffect("CITriangleTile", "Triangle Tile", tileCategory,
                   {image, centerInput(), angleInput(0, -pi, pi),
                    numberInput("inputWidth", "Width", 100, 1, 200, 1, 200, FilterAttributeType::Distance)},
                   triangleTile);
}

} // namespace vtl::detail
