#include "drawing/MRDrawing_GeometryHelper.h"

#include "platform/foundation/Log.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vtl {

namespace {
constexpr float kFloatMax = std::numeric_limits<float>::max();
}

float MRDrawing_GeometryHelper::angleOfRay(Point v) {
    if (v.x > 0) return static_cast<float>(std::atan(v.y / std::max(v.x, 1e-6)));
    float a = static_cast<float>(std::atan(v.y / std::min(v.x, -1e-6)));
    return static_cast<float>(v.y >= 0 ? a + M_PI : a - M_PI);
}

float MRDrawing_GeometryHelper::dotProductWithPoint(Point a, Point b) {
    return static_cast<float>(a.x * b.x + a.y * b.y);
}

float MRDrawing_GeometryHelper::distanceOfPointToLine(Point p, Point o, Point d) {
    float dx = static_cast<float>(d.x - o.x), dy = static_cast<float>(d.y - o.y);
    if (dx == 0 && dy == 0) return kFloatMax;
    float px = static_cast<float>(p.x - o.x), py = static_cast<float>(p.y - o.y);
    float t = (px * dx + py * dy) / (dx * dx + dy * dy);
    float qx, qy;
    if (t < 0)
        qx = static_cast<float>(o.x), qy = static_cast<float>(o.y);
    else if (t > 1)
        qx = static_cast<float>(d.x), qy = static_cast<float>(d.y);
    else
        qx = static_cast<float>(o.x + t * dx), qy = static_cast<float>(o.y + t * dy);
    float ex = static_cast<float>(p.x) - qx, ey = static_cast<float>(p.y) - qy;
    return std::sqrt(ex * ex + ey * ey);
}

float MRDrawing_GeometryHelper::distanceOfPointToPoint(Point a, Point b) {
    float dx = static_cast<float>(a.x - b.x), dy = static_cast<float>(a.y - b.y);
    return std::sqrt(dx * dx + dy * dy);
}

Point MRDrawing_GeometryHelper::nearestPointInArray(const std::vector<Point>& points, Point p) {
    if (points.empty()) {
        logMessage("No Points for distance measuring specified!");
        return {};
    }
    Point best = points.front();
    float bestDistance = distanceOfPointToPoint(best, p);
    for (const Point& q : points) {
        float dist = distanceOfPointToPoint(q, p);
        if (dist < bestDistance) best = q, bestDistance = dist;
    }
    return best;
}

Point MRDrawing_GeometryHelper::intersectLine(Point a1, Point a2, Point b1, Point b2) {
    float ax = static_cast<float>(a2.x - a1.x), ay = static_cast<float>(a2.y - a1.y);
    float bx = static_cast<float>(b2.x - b1.x), by = static_cast<float>(b2.y - b1.y);
    float cx = static_cast<float>(a1.x - b1.x), cy = static_cast<float>(a1.y - b1.y);
    float den = ax * by - ay * bx;
    if (den == 0) return {};
    float s = (ax * cy - ay * cx) / den;
    float t = (cy * bx - cx * by) / den;
    if (s >= 0 && s <= 1 && t >= 0 && t <= 1) return {a1.x + t * (a2.x - a1.x), a1.y + t * (a2.y - a1.y)};
    return {};
}

Point MRDrawing_GeometryHelper::intersectRay(Point a1, Point a2, Point b1, Point b2) {
    float ax = static_cast<float>(a2.x - a1.x), ay = static_cast<float>(a2.y - a1.y);
    float bx = static_cast<float>(b2.x - b1.x), by = static_cast<float>(b2.y - b1.y);
    float cx = static_cast<float>(a1.x - b1.x), cy = static_cast<float>(a1.y - b1.y);
    float den = ax * by - ay * bx;
    if (den == 0) return {kFloatMax, kFloatMax};
    float t = (cy * bx - cx * by) / den;
    return {a1.x + t * (a2.x - a1.x), a1.y + t * (a2.y - a1.y)};
}

Point MRDrawing_GeometryHelper::scaleVector(Point v, float s) {
    return {v.x * s, v.y * s};
}

float MRDrawing_GeometryHelper::length(Point v) {
    if (v.x == 0 && v.y == 0) return 0;
    return std::sqrt(static_cast<float>(v.x * v.x + v.y * v.y));
}

Point MRDrawing_GeometryHelper::normalize(Point v) {
    float l = length(v);
    if (l == 0) return {};
    return {v.x / l, v.y / l};
}

Point MRDrawing_GeometryHelper::flipBy90Degrees(Point v) {
    return {v.y, -v.x};
}
Point MRDrawing_GeometryHelper::multipyVector(Point a, Point b) {
    return {a.x * b.x, a.y * b.y};
}
Point MRDrawing_GeometryHelper::addVector(Point a, Point b) {
    return {a.x + b.x, a.y + b.y};
}

Rect MRDrawing_GeometryHelper::centerRect(const Rect& inner, const Rect& outer) {
    return {outer.origin.x + outer.size.width * 0.5 - inner.size.width * 0.5,
            outer.origin.y + outer.size.height * 0.5 - inner.size.height * 0.5, inner.size.width,
            inner.size.height};
}

Rect MRDrawing_GeometryHelper::scaledRectInBounds(const Rect& bounds, Size size) {
    Size s = proportionallyScaleSize(size, bounds.size);
    return centerRect({0, 0, s.width, s.height}, bounds);
}

Rect MRDrawing_GeometryHelper::fittedRectInBounds(const Rect& bounds, Size size) {
    double W = bounds.size.width, H = bounds.size.height;
    double w = size.width, h = size.height;
    bool adjust = false;
    float r = 0;
    if (w > W) {
        r = static_cast<float>(w / h);
        w = W;
        h = W / r;
        adjust = true;
    } else if (h > H) {
        r = static_cast<float>(w / h);
        adjust = true;
    }
    if (adjust && h > H) {
        w = r * H;
        h = H;
    }
    return centerRect({0, 0, w, h}, bounds);
}

Rect MRDrawing_GeometryHelper::filledRectInBounds(const Rect& bounds, Size size) {
    float f = static_cast<float>(std::max(bounds.size.width / size.width, bounds.size.height / size.height));
    return centerRect({0, 0, size.width * f, size.height * f}, bounds);
}

Size MRDrawing_GeometryHelper::proportionallyScaleSize(Size size, Size target) {
    float r = static_cast<float>(size.width / size.height);
    if (r > static_cast<float>(target.width / target.height)) return {target.width, target.width / r};
    return {r * target.height, target.height};
}

Point MRDrawing_GeometryHelper::rotatePoint(Point p, Point c, double degrees) {
    double a = degrees / 360.0 * 2 * M_PI;
    double dx = p.x - c.x, dy = p.y - c.y;
    return {c.x + dx * std::cos(a) - dy * std::sin(a), c.y + dx * std::sin(a) + dy * std::cos(a)};
}

Rect MRDrawing_GeometryHelper::boundsOfPoints(const std::vector<Point>& points) {
    double minX = 3.4028234663852886e38, minY = minX, maxX = -10000.0, maxY = -10000.0;
    for (const Point& p : points) {
        minX = std::min(minX, p.x), minY = std::min(minY, p.y);
        maxX = std::max(maxX, p.x), maxY = std::max(maxY, p.y);
    }
    return {minX, minY, maxX - minX, maxY - minY};
}

Point MRDrawing_GeometryHelper::findNearestPointOnRectangle(const Rect& r, Point p) {
    if (r.containsPoint(p)) return p;
    return {std::clamp(p.x, r.minX(), std::max(r.minX(), r.maxX())),
            std::clamp(p.y, r.minY(), std::max(r.minY(), r.maxY()))};
}

Rect MRDrawing_GeometryHelper::scaleRect(const Rect& r, float f) {
    return {r.origin.x * f, r.origin.y * f, r.size.width * f, r.size.height * f};
}

Rect MRDrawing_GeometryHelper::roundRect(const Rect& r) {
    auto rd = [](double v) { return static_cast<double>(std::round(static_cast<float>(v))); };
    return {rd(r.origin.x), rd(r.origin.y), rd(r.size.width), rd(r.size.height)};
}

Rect MRDrawing_GeometryHelper::rectFromString(const std::string& s) {
    return vtl::rectFromString(s);
}
std::string MRDrawing_GeometryHelper::stringFromRect(const Rect& r) {
    return vtl::stringFromRect(r);
}
Point MRDrawing_GeometryHelper::pointFromString(const std::string& s) {
    return vtl::pointFromString(s);
}
std::string MRDrawing_GeometryHelper::stringFromPoint(Point p) {
    return vtl::stringFromPoint(p);
}

} // namespace vtl
