#include "drawing/BezierPathAdditions.h"

#include "drawing/GeometryFunctions.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/SinglePrecision.h"
#include "platform/graphics/GraphicsContext.h"

#include <algorithm>
#include <cmath>

namespace vtl {

namespace {

using ET = BezierPath::ElementType;

// Deeper halving cannot change a length measured in single-precision steps.
constexpr int kMaxLengthDepth = 24;

float cappedRadius(const Rect& rect, float radius) {
    double half = std::min(rect.width(), rect.height()) * 0.5;
    if (radius > half) return static_cast<float>(half);
    return radius;
}

void roundedOutline(BezierPath& path, const Rect& rect, double r, bool tr, bool tl, bool br, bool bl) {
    double x = rect.minX(), y = rect.minY(), mx = rect.maxX(), my = rect.maxY();
    path.moveTo({x, y + (bl ? r : 0)});
    path.lineTo({x, my - (tl ? r : 0)});
    if (tl) path.appendArc({x + r, my - r}, r, 180, 90, true);
    path.lineTo({mx - (tr ? r : 0), my});
    if (tr) path.appendArc({mx - r, my - r}, r, 90, 0, true);
    path.lineTo({mx, y + (br ? r : 0)});
    if (br) path.appendArc({mx - r, y + r}, r, 0, 270, true);
    path.lineTo({x + (bl ? r : 0), y});
    if (bl) path.appendArc({x + r, y + r}, r, 270, 180, true);
    path.closePath();
}

double segmentLength(Point a, Point b) {
    float dx = static_cast<float>(b.x - a.x), dy = static_cast<float>(b.y - a.y);
    return std::sqrt(static_cast<double>(dx * dx + dy * dy));
}

Point lerp(Point a, Point b, double t) {
    return {a.x + (b.x - a.x) * t, a.y + (b.y - a.y) * t};
}

void split(const BezierPathAdditions::Curve& c, double t, BezierPathAdditions::Curve& left,
           BezierPathAdditions::Curve& right) {
    Point p01 = lerp(c[0], c[1], t), p12 = lerp(c[1], c[2], t), p23 = lerp(c[2], c[3], t);
    Point p012 = lerp(p01, p12, t), p123 = lerp(p12, p23, t);
    Point mid = lerp(p012, p123, t);
    left = {c[0], p01, p012, mid};
    right = {mid, p123, p23, c[3]};
}

double lengthOfBezierAt(const BezierPathAdditions::Curve& c, double error, int depth) {
    double polygon = segmentLength(c[0], c[1]) + segmentLength(c[1], c[2]) + segmentLength(c[2], c[3]);
    double chord = segmentLength(c[0], c[3]);
    if (polygon - chord > error && depth < kMaxLengthDepth) {
        BezierPathAdditions::Curve left, right;
        split(c, 0.5, left, right);
        return lengthOfBezierAt(left, error, depth + 1) + lengthOfBezierAt(right, error, depth + 1);
    }
    return (polygon + chord) * 0.5;
}

Point pointOn(const BezierPath::Element& e) {
    return e.type == ET::CurveTo ? e.points[2] : e.points[0];
}

} // namespace

BezierPath BezierPathAdditions::pathWithRect(const Rect& rect, float radius) {
    BezierPath path;
    float r = cappedRadius(rect, radius);
    roundedOutline(path, rect, r, true, true, true, true);
    return path;
}

void BezierPathAdditions::appendPathWithRect(BezierPath& path, const Rect& rect, float radius) {
    float r = cappedRadius(rect, std::max(0.0f, radius));
    roundedOutline(path, rect, r, true, true, true, true);
}

BezierPath BezierPathAdditions::pathWithRect(const Rect& rect, float radius, bool roundTopRight,
                                             bool roundTopLeft, bool roundBottomRight, bool roundBottomLeft) {
    BezierPath path;
    float r = cappedRadius(rect, radius);
    roundedOutline(path, rect, r, roundTopRight, roundTopLeft, roundBottomRight, roundBottomLeft);
    return path;
}

BezierPath BezierPathAdditions::pathWithTrianglePointingTo(int32_t direction, const Rect& rect) {
    auto f = [](double v) { return singlePrecision(v); };
    double x = f(rect.minX()), y = f(rect.minY()), mx = f(rect.maxX()), my = f(rect.maxY());
    double midX = f(rect.minX() + rect.width() * 0.5), midY = f(rect.minY() + rect.height() * 0.5);
    BezierPath path;
    std::array<Point, 3> p;
    switch (direction) {
    case 0:
        p = {Point{mx, my}, Point{mx, y}, Point{x, midY}};
        break;
    case 1:
        p = {Point{x, my}, Point{x, y}, Point{mx, midY}};
        break;
    case 2:
        p = {Point{x, my}, Point{mx, my}, Point{midX, y}};
        break;
    case 3:
        p = {Point{x, y}, Point{mx, y}, Point{midX, my}};
        break;
    default:
        logMessage("unsupported direction");
        path.appendCloseElement();
        return path;
    }
    path.moveTo(p[0]);
    path.lineTo(p[1]);
    path.lineTo(p[2]);
    path.closePath();
    return path;
}

BezierPath BezierPathAdditions::bezierPathWithBubbleInRect(const Rect& rect, uint32_t numberOfDents,
                                                           float dentInset, float dentOffset) {
    BezierPath path;
    if (numberOfDents == 0) {
        path.appendCloseElement();
        return path;
    }
    Rect inner = rect.insetBy(2.0 * dentInset, 2.0 * dentInset);
    double cx = rect.midX(), cy = rect.midY();
    double phase = std::min(std::max(0.0f, dentOffset), 1.0f) * 2 * M_PI;
    double step = 2 * M_PI / numberOfDents;
    double ax = singlePrecision(inner.width() * 0.5), ay = singlePrecision(inner.height() * 0.5);
    double bx = singlePrecision(rect.width() * 0.5), by = singlePrecision(rect.height() * 0.5);
    auto at = [&](double a, double rx, double ry) {
        return Point{cx + std::sin(a) * rx, cy + std::cos(a) * ry};
    };
    Point start = at(phase, ax, ay);
    path.moveTo({singlePrecision(start.x), singlePrecision(start.y)});
    for (uint32_t i = 0; i < numberOfDents; ++i) {
        path.curveTo(at((i + 1) * step + phase, ax, ay), at((i + 0.1) * step + phase, bx, by),
                     at((i + 1 - 0.1) * step + phase, bx, by));
    }
    path.closePath();
    return path;
}

namespace {

BezierPath star(const Rect& rect, uint32_t rays, float stretch, bool flipped) {
    float w = static_cast<float>(rect.width()), h = static_cast<float>(rect.height());
    float s = stretch;
    if (s > std::min(w, h)) s = 0.8f * std::min(w, h);
    uint32_t m = rays < 4 ? 8 : 2 * rays;
    double cx = rect.minX() + w * 0.5, cy = rect.minY() + h * 0.5;
    double orx = w * 0.5, ory = h * 0.5, irx = (w - s) * 0.5, iry = (h - s) * 0.5;
    BezierPath path;
    path.moveTo({cx, flipped ? rect.minY() : rect.maxY()});
    for (uint32_t k = 0; k < m; ++k) {
        double a = k * 2 * M_PI / m;
        bool outer = k % 2 == 0;
        double rx = outer ? orx : irx, ry = outer ? ory : iry;
        path.lineTo({cx + std::sin(a) * rx, cy + (flipped ? -std::cos(a) : std::cos(a)) * ry});
    }
    path.closePath();
    return path;
}

} // namespace

BezierPath BezierPathAdditions::starWithRect(const Rect& rect, uint32_t rays, float stretch) {
    return star(rect, rays, stretch, false);
}

BezierPath BezierPathAdditions::flippedStarWithRect(const Rect& rect, uint32_t rays, float stretch) {
    return star(rect, rays, stretch, true);
}

void BezierPathAdditions::appendSpeechBubbleWithRect(BezierPath& path, const Rect& rect, Point tip,
                                                     float radius) {
    double r = cappedRadius(rect, std::max(0.0f, radius));
    double x = rect.minX(), y = rect.minY(), mx = rect.maxX(), my = rect.maxY();
    path.moveTo(tip);
    path.lineTo({x, y + r});
    path.appendArc({x + r, y + r}, r, 180, 270, false);
    path.lineTo({mx - r, y});
    path.appendArc({mx - r, y + r}, r, 270, 360, false);
    path.lineTo({mx, my - r});
    path.appendArc({mx - r, my - r}, r, 0, 90, false);
    path.lineTo({x + r, my});
    path.appendArc({x + r, my - r}, r, 90, 180, false);
    path.closePath();
}

void BezierPathAdditions::fillPath(const BezierPath& path, const Color& first, const Color& second) {
    GraphicsContext* context = GraphicsContext::current();
    if (!context) return;
    context->saveGState();
    context->clipToPath(path);
    drawGradientInRect(first, second, path.isEmpty() ? Rect() : path.bounds());
    context->restoreGState();
}

std::array<float, 4> BezierPathAdditions::gradientInterpolate(const std::array<float, 8>& c, float t) {
    std::array<float, 4> out{};
    for (int i = 0; i < 4; ++i)
        out[i] = c[i] * (1.0f - t) + c[4 + i] * t;
    return out;
}

void BezierPathAdditions::fillPath(const BezierPath& path, const Color& first, const Color& second,
                                   bool horizontal) {
    GraphicsContext* context = GraphicsContext::current();
    if (!context) return;
    if (!context->isDrawingToScreen()) {
        context->setFillColor(first.blended(second, 0.5));
        context->fill(path);
        return;
    }
    Rect b = path.isEmpty() ? Rect() : path.bounds();
    context->saveGState();
    context->clipToPath(path);
    // Two stops at the ends interpolate each component linearly, as the blend function does.
    Gradient g({Color::deviceRGB(first.red, first.green, first.blue, first.alpha),
                Color::deviceRGB(second.red, second.green, second.blue, second.alpha)},
               {0.0, 1.0});
    Point end = horizontal ? Point{b.maxX(), b.minY()} : Point{b.minX(), b.maxY()};
    context->drawLinearGradient(g, b.origin, end,
                                GradientDrawsBeforeStartLocation | GradientDrawsAfterEndLocation);
    context->restoreGState();
}

void BezierPathAdditions::fillRect(const Rect& rect, int radius) {
    if (GraphicsContext* context = GraphicsContext::current())
        context->fill(pathWithRect(rect, static_cast<float>(radius)));
}

void BezierPathAdditions::fillLabelRect(const Rect& rect, const Color& color) {
    GraphicsContext* context = GraphicsContext::current();
    if (!context) return;
    Color c = color.withAlpha(0.6);
    BezierPath path = pathWithRect(rect, 5.0f);
    context->setShadow({2, -2}, 1.0, Color::black().withAlpha(0.4));
    context->setFillColor(Color::whiteColor());
    context->fill(path);
    context->setShadow({2, -2}, 1.0, std::nullopt);
    fillPath(path, c.blended(Color::whiteColor(), 0.3), c.blended(Color::black(), 0.3));
}

float BezierPathAdditions::getDegreesOfLine(Point p1, Point p2) {
    float dx = static_cast<float>(p2.x - p1.x), dy = static_cast<float>(p2.y - p1.y);
    double a;
    if (dx > 0) {
        a = std::atan(dy / std::max(dx, 1e-6f));
    } else {
        a = std::atan(dy / std::min(dx, -1e-6f));
        a += dy >= 0 ? M_PI : -M_PI;
    }
    return static_cast<float>(a * 180.0 / M_PI);
}

double BezierPathAdditions::lengthOfBezier(const Curve& curve, double error) {
    return lengthOfBezierAt(curve, error, 0);
}

void BezierPathAdditions::subdivideBezierAtLength(const Curve& curve, Curve& left, Curve& right,
                                                  double length, double error) {
    float t = 0.5f, lo = 0, hi = 1;
    while (true) {
        split(curve, t, left, right);
        double measured = lengthOfBezier(left, error * 0.5);
        if (std::abs(length - measured) < error) return;
        float next;
        if (measured < length) {
            lo = t;
            next = (t + hi) * 0.5f;
        } else {
            hi = t;
            next = (t + lo) * 0.5f;
        }
        if (next == t) return;
        t = next;
    }
}

double BezierPathAdditions::lengthWithMaximumError(const BezierPath& path, double error) {
    double total = 0;
    Point cur, start;
    for (const auto& e : path.elements()) {
        switch (e.type) {
        case ET::MoveTo:
            cur = start = e.points[0];
            break;
        case ET::LineTo:
            total += segmentLength(cur, e.points[0]);
            cur = e.points[0];
            break;
        case ET::CurveTo:
            total += lengthOfBezier({cur, e.points[0], e.points[1], e.points[2]}, error);
            cur = e.points[2];
            break;
        case ET::ClosePath:
            total += segmentLength(cur, start);
            cur = start;
            break;
        }
    }
    return total;
}

BezierPath BezierPathAdditions::bezierPathByTrimmingToLength(const BezierPath& path, double length,
                                                             double error) {
    BezierPath out;
    double remaining = length;
    Point cur, start;
    for (const auto& e : path.elements()) {
        switch (e.type) {
        case ET::MoveTo:
            out.moveTo(e.points[0]);
            cur = start = e.points[0];
            break;
        case ET::LineTo:
        case ET::ClosePath: {
            Point target = e.type == ET::LineTo ? e.points[0] : start;
            double segment = segmentLength(cur, target);
            if (segment > remaining) {
                out.lineTo(lerp(cur, target, segment > 0 ? remaining / segment : 0));
                return out;
            }
            remaining -= segment;
            if (e.type == ET::LineTo)
                out.lineTo(target);
            else
                out.closePath();
            cur = target;
            break;
        }
        case ET::CurveTo: {
            Curve c{cur, e.points[0], e.points[1], e.points[2]};
            double segment = lengthOfBezier(c, error);
            if (segment > remaining) {
                Curve left, right;
                subdivideBezierAtLength(c, left, right, remaining, error);
                out.curveTo(left[3], left[1], left[2]);
                return out;
            }
            remaining -= segment;
            out.curveTo(e.points[2], e.points[0], e.points[1]);
            cur = e.points[2];
            break;
        }
        }
    }
    return out;
}

BezierPath BezierPathAdditions::bezierPathByTrimmingFromLength(const BezierPath& path, double length,
                                                               double error) {
    BezierPath out;
    double remaining = length;
    bool crossed = !(remaining > 0);
    Point cur, start;
    for (const auto& e : path.elements()) {
        if (e.type == ET::MoveTo) {
            out.moveTo(e.points[0]);
            cur = start = e.points[0];
            continue;
        }
        Point end = e.type == ET::ClosePath ? start : pointOn(e);
        if (crossed) {
            if (!out.hasCurrentPoint()) out.moveTo(cur);
            switch (e.type) {
            case ET::LineTo:
                out.lineTo(end);
                break;
            case ET::CurveTo:
                out.curveTo(end, e.points[0], e.points[1]);
                break;
            case ET::ClosePath:
                out.closePath();
                break;
            default:
                break;
            }
            cur = end;
            continue;
        }
        if (e.type == ET::CurveTo) {
            Curve c{cur, e.points[0], e.points[1], e.points[2]};
            double segment = lengthOfBezier(c, error);
            if (segment <= remaining) {
                remaining -= segment;
            } else {
                Curve left, right;
                subdivideBezierAtLength(c, left, right, remaining, error);
                out.moveTo(right[0]);
                out.curveTo(right[3], right[1], right[2]);
                remaining = 0;
            }
        } else {
            double segment = segmentLength(cur, end);
            if (segment <= remaining) {
                remaining -= segment;
            } else {
                out.moveTo(lerp(cur, end, remaining / segment));
                out.lineTo(end);
                remaining = 0;
            }
        }
        bool wasCrossed = crossed;
        crossed = !(remaining > 0);
        // Dropped up to exactly the length: what follows starts from this element's end.
        if (crossed && !wasCrossed && out.currentPoint() != end) out.moveTo(end);
        cur = end;
    }
    return out;
}

Point BezierPathAdditions::firstPoint(const BezierPath& path) {
    if (path.isEmpty() || path.element(0).type != ET::MoveTo) return {};
    return path.element(0).points[0];
}

void BezierPathAdditions::appendBezierPathRemovingInitialMoveToPoint(BezierPath& path,
                                                                     const BezierPath& other) {
    for (size_t i = 0; i < other.elementCount(); ++i) {
        const auto& e = other.element(i);
        if (i == 0 && e.type == ET::MoveTo) continue;
        switch (e.type) {
        case ET::MoveTo:
            path.moveTo(e.points[0]);
            break;
        case ET::LineTo:
            path.lineTo(e.points[0]);
            break;
        case ET::CurveTo:
            path.curveTo(e.points[2], e.points[0], e.points[1]);
            break;
        case ET::ClosePath:
            path.closePath();
            break;
        }
    }
}

BezierPath BezierPathAdditions::bezierPathWithArrowHeadForStartOfLength(const BezierPath& path, double length,
                                                                        float angleDegrees) {
    BezierPath s = bezierPathByTrimmingToLength(path, length);
    BezierPath t = s.reversed();
    Point p = firstPoint(path);
    s.transform(rotateAtPointTransform(p, angleDegrees));
    t.transform(rotateAtPointTransform(p, -angleDegrees));
    appendBezierPathRemovingInitialMoveToPoint(t, s);
    return t;
}

BezierPath BezierPathAdditions::bezierPathWithArrowHeadForEndOfLength(const BezierPath& path, double length,
                                                                      float angleDegrees) {
    return bezierPathWithArrowHeadForStartOfLength(path.reversed(), length, angleDegrees);
}

} // namespace vtl
