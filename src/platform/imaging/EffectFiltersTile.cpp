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
// Points are turned back into the first wedge by a table of turns, not by trigonometry.
CIImage kaleidoscope(const EffectFilter& f, const CIImage& input) {
    const Point c = f.center();
    const int count = int(std::max(1.0, std::round(f.ranged("inputCount"))));
    const double angle = f.ranged("inputAngle");
    struct Map {
        Point c;
        double sector, inverseSector, cosAngle, sinAngle, cosSector, sinSector;
        std::vector<std::array<double, 2>> turnsBack; // (cos, sin) of −k · sector
        bool operator()(double x, double y, double& u, double& v) const {
            const double dx = x - c.x, dy = y - c.y;
            // Into the frame of the first wedge's start, back into the first wedge, mirrored into
            // its first half, and out again.
            const double ax = dx * cosAngle + dy * sinAngle, ay = dy * cosAngle - dx * sinAngle;
            const double phi = fastAtan2(ay, ax);
            const int k = floorToInt(phi * inverseSector);
            // φ lies in −π … π, so k lies within one count of the table.
            const int count = int(turnsBack.size());
            const auto& turn = turnsBack[std::size_t(k < 0 ? k + count : k >= count ? k - count : k)];
            double bx = ax * turn[0] - ay * turn[1], by = ax * turn[1] + ay * turn[0];
            if (phi - k * sector > sector / 2) {
                const double mx = bx * cosSector + by * sinSector, my = bx * sinSector - by * cosSector;
                bx = mx;
                by = my;
            }
            u = c.x + bx * cosAngle - by * sinAngle;
            v = c.y + bx * sinAngle + by * cosAngle;
            return true;
        }
        PixelRegion need(const PixelRegion& region) const {
            return boxAround(c, farthestCorner(c, region.rect()));
        }
    };
    Map map{c,
            2 * pi / count,
            count / (2 * pi),
            std::cos(angle),
            std::sin(angle),
            std::cos(2 * pi / count),
            std::sin(2 * pi / count),
            {}};
    for (int k = 0; k < count; ++k)
        map.turnsBack.push_back({std::cos(-k * map.sector), std::sin(-k * map.sector)});
    const Rect e = input.extent();
    const Rect extent = isUnbounded(e) ? e : boxAround(c, farthestCorner(c, e)).rect();
    return EffectFilter::imageOf(input,
                                 makeWarpKernel(extent, input.node(), unboundedRect(), std::move(map)));
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
