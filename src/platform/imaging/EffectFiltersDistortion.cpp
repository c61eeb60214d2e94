// Distortions: each pixel shows the input at another point, found by a map around the centre.
// Inside their radius the maps move points smoothly and meet the identity at the edge; outside it
// pixels are copied unchanged.

#include "platform/imaging/EffectFilter.h"
#include "platform/imaging/EffectKernelNodes.h"
#include "platform/imaging/EffectPixels.h"
#include "platform/imaging/FilterAttributeBuilders.h"

#include <cmath>
#include <numbers>

namespace vtl::detail {

namespace {

constexpr double pi = std::numbers::pi;
const std::string distortionCategory = "CICategoryDistortionEffect";

Rect squareAround(Point c, double radius) {
    return Rect(c.x - radius, c.y - radius, 2 * radius, 2 * radius);
}

// The input pixels read by a map whose points stay within `box`: the box, when the region meets it.
PixelRegion boxNeed(const PixelRegion& region, const Rect& box) {
    if (!region.rect().intersects(box)) return {};
    return pixelRegionCovering(box).grownBy(2);
}

// A map that turns points about the centre by an angle depending on their distance.
template <class Turn> struct TurnMap {
    Point c;
    double radius;
    Turn turn; // radians for t = distance / radius in [0, 1)

    bool operator()(double x, double y, double& u, double& v) const {
        const double dx = x - c.x, dy = y - c.y, d = std::sqrt(dx * dx + dy * dy);
        u = x;
        v = y;
        if (d >= radius) return true;
        const double turns = -turn(d / radius) / (2 * pi);
        const double cs = cosineOfTurns(turns), sn = sineOfTurns(turns);
        u = c.x + dx * cs - dy * sn;
        v = c.y + dx * sn + dy * cs;
        return true;
    }
    PixelRegion need(const PixelRegion& region) const { return boxNeed(region, squareAround(c, radius)); }
};

// A map that moves points along the line from the centre by a factor of their distance.
template <class Factor> struct RadialMap {
    Point c;
    double radius;
    Factor factor; // for t = distance / radius in [0, 1); the source stays within the radius

    bool operator()(double x, double y, double& u, double& v) const {
        const double dx = x - c.x, dy = y - c.y, d = std::sqrt(dx * dx + dy * dy);
        u = x;
        v = y;
        if (d >= radius) return true;
        const double k = factor(d / radius);
        u = c.x + dx * k;
        v = c.y + dy * k;
        return true;
    }
    PixelRegion need(const PixelRegion& region) const { return boxNeed(region, squareAround(c, radius)); }
};

template <class Map> CIImage discWarp(const CIImage& input, Point c, double radius, double reach, Map map) {
    const Rect affected = squareAround(c, radius);
    const Rect extent = input.extent().unionWith(squareAround(c, reach));
    return EffectFilter::imageOf(input, makeWarpKernel(extent, input.node(), affected, std::move(map)));
}

CIImage twirlDistortion(const EffectFilter& f, const CIImage& input) {
    const double radius = f.ranged("inputRadius"), angle = f.ranged("inputAngle");
    if (radius == 0 || angle == 0) return input;
    auto turn = [angle](double t) { return angle * (1 - t) * (1 - t); };
    return discWarp(input, f.center(), radius, radius, TurnMap<decltype(turn)>{f.center(), radius, turn});
}

// A vortex turns the middle far more than a twirl and lets the turn die away faster.
CIImage vortexDistortion(const EffectFilter& f, const CIImage& input) {
    const double radius = f.ranged("inputRadius"), angle = f.ranged("inputAngle");
    if (radius == 0 || angle == 0) return input;
    auto turn = [angle](double t) { return angle * (1 - t) * (1 - t) * (1 - t); };
    return discWarp(input, f.center(), radius, radius, TurnMap<decltype(turn)>{f.center(), radius, turn});
}

// A bump magnifies the middle (a negative scale shrinks it).
CIImage bumpDistortion(const EffectFilter& f, const CIImage& input) {
    const double radius = f.ranged("inputRadius"), scale = f.ranged("inputScale");
    if (radius == 0 || scale == 0) return input;
    auto factor = [scale](double t) { return 1 - scale * (1 - t) * (1 - t); };
    return discWarp(input, f.center(), radius, radius,
                    RadialMap<decltype(factor)>{f.center(), radius, factor});
}

// A pinch draws the picture in towards the centre.
CIImage pinchDistortion(const EffectFilter& f, const CIImage& input) {
    const double radius = f.ranged("inputRadius"), scale = f.ranged("inputScale");
    if (radius == 0 || scale == 0) return input;
    auto factor = [scale](double t) { return 1 + scale * (1 - t) * (1 - t); };
    return discWarp(input, f.center(), radius, radius,
                    RadialMap<decltype(factor)>{f.center(), radius, factor});
}

// A ring-shaped lens along the circle of the radius: inside its band points bend towards the
// band's middle line (away from it for a refraction below 1).
CIImage torusLensDistortion(const EffectFilter& f, const CIImage& input) {
    const double radius = f.ranged("inputRadius"), width = f.ranged("inputWidth");
    const double refraction = f.ranged("inputRefraction");
    if (width == 0 || refraction == 1) return input;
    const double k = (refraction - 1) / (refraction + 1), half = width / 2;
    const Point c = f.center();
    struct Map {
        Point c;
        double radius, half, k;
        bool operator()(double x, double y, double& u, double& v) const {
            const double dx = x - c.x, dy = y - c.y, d = std::sqrt(dx * dx + dy * dy);
            u = x;
            v = y;
            const double s = (d - radius) / half;
            if (!(s > -1 && s < 1) || d == 0) return true;
            const double moved = d - k * 2 * half * s * std::sqrt(1 - s * s);
            u = c.x + dx * moved / d;
            v = c.y + dy * moved / d;
            return true;
        }
        PixelRegion need(const PixelRegion& region) const {
            return boxNeed(region, squareAround(c, radius + 2 * half));
        }
    };
    const Rect affected = squareAround(c, radius + half);
    const Rect extent = input.extent().unionWith(affected);
    return EffectFilter::imageOf(input,
                                 makeWarpKernel(extent, input.node(), affected, Map{c, radius, half, k}));
}

// A linear bump: the band within the radius of the line through the centre at the angle is
// magnified across the line.
CIImage bumpDistortionLinear(const EffectFilter& f, const CIImage& input) {
    const double radius = f.ranged("inputRadius"), scale = f.ranged("inputScale");
    if (radius == 0 || scale == 0) return input;
    const double angle = f.ranged("inputAngle");
    struct Map {
        Point c;
        double radius, scale, nx, ny; // the unit normal of the line
        bool operator()(double x, double y, double& u, double& v) const {
            const double across = (x - c.x) * nx + (y - c.y) * ny;
            u = x;
            v = y;
            const double t = std::fabs(across) / radius;
            if (t >= 1) return true;
            const double moved = across * (1 - scale * (1 - t) * (1 - t)) - across;
            u = x + nx * moved;
            v = y + ny * moved;
            return true;
        }
        PixelRegion need(const PixelRegion& region) const {
            return region.grownBy(int(std::ceil(radius)) + 2);
        }
    };
    const Rect extent = grownRect(input.extent(), radius + 1, radius + 1);
    return EffectFilter::imageOf(
        input, makeWarpKernel(extent, input.node(), unboundedRect(),
                              Map{f.center(), radius, scale, -std::sin(angle), std::cos(angle)}));
}

// A hole of the radius around the centre: the picture is pushed out of it, compressed near its rim.
CIImage holeDistortion(const EffectFilter& f, const CIImage& input) {
    const double radius = f.ranged("inputRadius");
    if (radius == 0) return input;
    struct Map {
        Point c;
        double radius;
        bool operator()(double x, double y, double& u, double& v) const {
            const double dx = x - c.x, dy = y - c.y, d2 = dx * dx + dy * dy;
            if (d2 < radius * radius) return false;
            const double k = 1 - radius * radius / d2;
            u = c.x + dx * k;
            v = c.y + dy * k;
            return true;
        }
        PixelRegion need(const PixelRegion& region) const {
            return region.grownBy(int(std::ceil(radius)) + 2);
        }
    };
    const Rect extent = grownRect(input.extent(), radius + 1, radius + 1);
    return EffectFilter::imageOf(
        input, makeWarpKernel(extent, input.node(), unboundedRect(), Map{f.center(), radius}));
}

} // namespace

void registerDistortionEffects() {
    const FilterAttribute image = effectImageInput();
    auto radius = [](double value, double maximum) {
        return numberInput("inputRadius", "Radius", value, 0, maximum, 0, maximum,
                           FilterAttributeType::Distance);
    };
    registerEffect("CITwirlDistortion", "Twirl Distortion", distortionCategory,
                   {image, centerInput(), radius(300, 500), angleInput(pi, -4 * pi, 4 * pi)},
                   twirlDistortion);
    registerEffect("CIVortexDistortion", "Vortex Distortion", distortionCategory,
                   {image, centerInput(), radius(300, 800), angleInput(56.55, -94.25, 94.25)},
                   vortexDistortion);
    registerEffect(
        "CIBumpDistortion", "Bump Distortion", distortionCategory,
        {image, centerInput(), radius(300, 600), numberInput("inputScale", "Scale", 0.5, -1, 1, -1, 1)},
        bumpDistortion);
    registerEffect("CIBumpDistortionLinear", "Bump Distortion Linear", distortionCategory,
                   {image, centerInput(), radius(300, 600), angleInput(0, -pi, pi),
                    numberInput("inputScale", "Scale", 0.5, -1, 1, -1, 1)},
                   bumpDistortionLinear);
    registerEffect(
        "CIPinchDistortion", "Pinch Distortion", distortionCategory,
        {image, centerInput(), radius(300, 1000), numberInput("inputScale", "Scale", 0.5, 0, 2, 0, 2)},
        pinchDistortion);
    registerEffect("CIHoleDistortion", "Hole Distortion", distortionCategory,
                   {image, centerInput(), radius(50, 1000)}, holeDistortion);
    registerEffect("CITorusLensDistortion", "Torus Lens Distortion", distortionCategory,
                   {image, centerInput(), radius(100, 500),
                    numberInput("inputWidth", "Width", 60, 0, 200, 0, 200, FilterAttributeType::Distance),
                    numberInput("inputRefraction", "Refraction", 1.7, 0, 5, 0, 5)},
                   torusLensDistortion);
}

} // namespace vtl::detail
