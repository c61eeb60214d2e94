#include "drawing/GeometryFunctions.h"

#include "platform/foundation/SinglePrecision.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vtl {

Rect rectFromPoint(Point p, float hw, float hh) {
    return {p.x - hw, p.y - hh, 2.0 * hw, 2.0 * hh};
}

Rect rectEnclosingPoints(Point a, Point b) {
    double dx = b.x - a.x, dy = b.y - a.y;
    Rect r;
    if (dx >= 0) {
        r.origin.x = a.x;
        r.size.width = dx;
    } else {
        r.origin.x = b.x;
        r.size.width = a.x - b.x;
    }
    if (dy >= 0) {
        r.origin.y = a.y;
        r.size.height = dy;
    } else {
        r.origin.y = b.y;
        r.size.height = a.y - b.y;
    }
    return r;
}

std::array<Point, 4> pointsFromRect(const Rect& r) {
    return {Point{r.minX(), r.minY()}, Point{r.maxX(), r.minY()}, Point{r.minX(), r.maxY()},
            Point{r.maxX(), r.maxY()}};
}

Rect centeredRectForImageInRect(Size imageSize, const Rect& r) {
    float dx = roundedToFloat(r.size.width - imageSize.width);
    float dy = roundedToFloat(r.size.height - imageSize.height);
    return {r.origin.x + dx / 2.0f, r.origin.y + dy / 2.0f, r.size.width - dx, r.size.height - dy};
}

Rect centeredRectInRect(bool alignRight, bool alignLeft, const Rect& inner, const Rect& outer) {
    double w1 = inner.size.width, h1 = inner.size.height;
    double x2 = outer.origin.x, y2 = outer.origin.y, w2 = outer.size.width, h2 = outer.size.height;
    double cx = x2 - w1 * 0.5 + w2 * 0.5;
    double cy = y2 - h1 * 0.5 + h2 * 0.5;
    Rect result{cx, cy, w1, h1};
    if (!alignRight && !alignLeft) {
        if (w1 > w2) {
            result.origin.x = x2;
            result.size.width = w2;
        }
    } else if (alignRight && !alignLeft) {
        if (cx + w1 > x2 + w2) result.origin.x = x2 + w2 - w1;
    } else if (alignLeft && !alignRight) {
        if (cx < x2) result.origin.x = x2;
    }
    return result;
}

Rect rectInRectWithOptions(int32_t option, const Rect& inner, const Rect& outer) {
    if (static_cast<uint32_t>(option) > 3) return {};
    double w1 = inner.size.width, h1 = inner.size.height;
    if (option == RectInRectStretch) return outer;
    Size size{w1, h1};
    if (option != RectInRectCenter) {
        double rx = outer.size.width / w1, ry = outer.size.height / h1;
        double s = option == RectInRectAspectFill ? std::max(rx, ry) : std::min(rx, ry);
        size = {w1 * s, h1 * s};
    }
    float dx = roundedToFloat(outer.size.width - size.width);
    float dy = roundedToFloat(outer.size.height - size.height);
    return {outer.origin.x + dx * 0.5f, outer.origin.y + dy * 0.5f, size.width, size.height};
}

bool valueIsWithinVicinity(float v, float c, float t) {
    float lo = roundedToFloat((1.0 - static_cast<double>(t)) * c);
    float hi = roundedToFloat((1.0 + static_cast<double>(t)) * c);
    return lo <= v && v <= hi;
}

namespace {

// A corner curve: both control points on the rectangle's corner.
void corner(BezierPath& path, Point cornerPoint, Point end) {
    path.curveTo(end, cornerPoint, cornerPoint);
}

// Steps 2 to 4 of the rounded outline: bottom-right, top-right and top-left corners.
void threeCorners(BezierPath& path, const Rect& r, double k) {
    path.lineTo({r.maxX() - k, r.minY()});
    corner(path, {r.maxX(), r.minY()}, {r.maxX(), r.minY() + k});
    path.lineTo({r.maxX(), r.maxY() - k});
    corner(path, {r.maxX(), r.maxY()}, {r.maxX() - k, r.maxY()});
    path.lineTo({r.minX() + k, r.maxY()});
    corner(path, {r.minX(), r.maxY()}, {r.minX(), r.maxY() - k});
}

void roundedOutline(BezierPath& path, const Rect& r, double k) {
    path.moveTo({r.minX() + k, r.minY()});
    threeCorners(path, r, k);
    path.lineTo({r.minX(), r.minY() + k});
    corner(path, {r.minX(), r.minY()}, {r.minX() + k, r.minY()});
    path.closePath();
}

} // namespace

BezierPath bezierpathWithRoundedCornersInRect(const Rect& rect, float r) {
    BezierPath path;
    roundedOutline(path, rect, r);
    return path;
}

BezierPath createCGPathWithRoundedCornersInRect(const Rect& rect, float r) {
    return bezierpathWithRoundedCornersInRect(rect, r);
}

void appendBezierpathWithRoundedCornersInRect(BezierPath& path, const Rect& rect, float r) {
    float k = r * 2.0f;
    roundedOutline(path, rect, k);
}

void appendBezierpathWithRoundedCornersInRectOmittingBottomLeft(BezierPath& path, const Rect& rect, float r) {
    float k = r * 2.0f;
    threeCorners(path, rect, k);
    path.closePath();
}

BezierPath pathWithRoundedCornersLeftRightInRect(bool roundLeft, bool roundRight, const Rect& r,
                                                 float radius) {
    double k = radius;
    BezierPath path;
    path.moveTo(roundLeft ? Point{r.minX() + k, r.minY()} : Point{r.minX(), r.minY()});
    if (roundRight) {
        path.lineTo({r.maxX() - k, r.minY()});
        corner(path, {r.maxX(), r.minY()}, {r.maxX(), r.minY() + k});
        path.lineTo({r.maxX(), r.maxY() - k});
        corner(path, {r.maxX(), r.maxY()}, {r.maxX() - k, r.maxY()});
    } else {
        path.lineTo({r.maxX(), r.minY()});
        path.lineTo({r.maxX(), r.maxY()});
    }
    if (roundLeft) {
        path.lineTo({r.minX() + k, r.maxY()});
        corner(path, {r.minX(), r.maxY()}, {r.minX(), r.maxY() - k});
        path.lineTo({r.minX(), r.minY() + k});
        corner(path, {r.minX(), r.minY()}, {r.minX() + k, r.minY()});
    } else {
        path.lineTo({r.minX(), r.maxY()});
        path.lineTo({r.minX(), r.minY()});
    }
    path.closePath();
    return path;
}

AffineTransform CGAffineTransformFromRectToRect(const Rect& from, const Rect& to) {
    return AffineTransform::translation(-from.origin.x, -from.origin.y)
        .concatenated(
            AffineTransform::scale(to.size.width / from.size.width, to.size.height / from.size.height))
        .concatenated(AffineTransform::translation(to.origin.x, to.origin.y));
}

AffineTransform transformFromRectToRect(const Rect& from, const Rect& to) {
    double sx = singlePrecision(to.size.width / from.size.width);
    double sy = singlePrecision(to.size.height / from.size.height);
    return AffineTransform::scale(sx, sy).concatenated(
        AffineTransform::translation(to.origin.x - sx * from.origin.x, to.origin.y - sy * from.origin.y));
}

AffineTransform scaleAtPointAffineTransform(Point p, float s) {
    return AffineTransform::translation(-p.x, -p.y)
        .concatenated(AffineTransform::scale(s, s))
        .concatenated(AffineTransform::translation(p.x, p.y));
}

AffineTransform scaleAtPointTransform(Point p, float sx, float sy) {
    AffineTransform t;
    t.append(AffineTransform::translation(-p.x, -p.y));
    t.append(AffineTransform::scale(sx, sy));
    t.append(AffineTransform::translation(p.x, p.y));
    return t;
}

AffineTransform rotateAtPointTransform(Point p, float angleDegrees) {
    AffineTransform t;
    t.append(AffineTransform::translation(-p.x, -p.y));
    t.append(AffineTransform::rotationDegrees(angleDegrees));
    t.append(AffineTransform::translation(p.x, p.y));
    return t;
}

namespace {
bool isIdentityRequest(float sx, float sy, float angle) {
    return sx == 1.0f && sy == 1.0f && angle == 0.0f;
}
} // namespace

std::optional<AffineTransform> scaleAndRotateAtPointTransform(Point p, float sx, float sy,
                                                              float angleDegrees) {
    if (isIdentityRequest(sx, sy, angleDegrees)) return std::nullopt;
    AffineTransform t;
    t.append(AffineTransform::translation(-p.x, -p.y));
    t.append(AffineTransform::scale(sx, sy));
    t.append(AffineTransform::rotationDegrees(-static_cast<double>(angleDegrees)));
    t.append(AffineTransform::translation(p.x, p.y));
    return t;
}

std::optional<AffineTransform> scaleAtZeroAndRotateAtPointTransform(Point p, float sx, float sy,
                                                                    float angleDegrees) {
    if (isIdentityRequest(sx, sy, angleDegrees)) return std::nullopt;
    AffineTransform t;
    t.append(AffineTransform::scale(sx, sy));
    t.append(AffineTransform::translation(-p.x * sx, -p.y * sy));
    t.append(AffineTransform::rotationDegrees(-static_cast<double>(angleDegrees)));
    t.append(AffineTransform::translation(p.x * sx, p.y * sy));
    return t;
}

std::optional<AffineTransform> scaleAndRotateForRectTransform(const Rect& r, float sx, float sy,
                                                              float angleDegrees) {
    return scaleAndRotateAtPointTransform({r.origin.x + r.size.width * 0.5, r.origin.y + r.size.height * 0.5},
                                          sx, sy, angleDegrees);
}

Rect applyTransformToRect(const std::optional<AffineTransform>& t, const Rect& r) {
    return cgAffineTransform(t).applyToRect(r);
}

AffineTransform cgAffineTransform(const std::optional<AffineTransform>& t) {
    return t ? *t : AffineTransform::zero();
}

Rect boundingRectOfTransformedRect(const AffineTransform& t, const Rect& r) {
    return boundsOfPoints({t.apply({r.minX(), r.minY()}), t.apply({r.minX(), r.maxY()}),
                           t.apply({r.maxX(), r.maxY()}), t.apply({r.maxX(), r.minY()})});
}

Rect boundsOfPoints(const std::vector<Point>& points) {
    return boundingRectOfPoints(points);
}

} // namespace vtl

namespace vtl {

void appendPathWithRoundedCornersLeftRightInRect(bool roundLeft, bool roundRight, GraphicsContext& context,
                                                 bool clip, const Rect& rect, float r) {
    context.beginPath();
    context.addPath(pathWithRoundedCornersLeftRightInRect(roundLeft, roundRight, rect, r));
    if (clip) context.clip();
}

void drawGradientInRect(const Color& first, const Color& second, const Rect& rect) {
    GraphicsContext* context = GraphicsContext::current();
    if (!context) return;
    Gradient gradient({first, second}, {1.0, 1.0});
    context->saveGState();
    context->clipToRect(rect);
    // At 90 degrees the gradient runs from the bottom edge to the top edge.
    context->drawLinearGradient(gradient, {rect.minX(), rect.minY()}, {rect.minX(), rect.maxY()},
                                GradientDrawsBeforeStartLocation | GradientDrawsAfterEndLocation);
    context->restoreGState();
}

} // namespace vtl
