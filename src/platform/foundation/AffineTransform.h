#pragma once
// A 2-D affine transform as six doubles (a, b, c, d, tx, ty) mapping a point (x, y) to
// (a·x + c·y + tx, b·x + d·y + ty). It stands for both the value type and the transform object
// of the original platform: `concatenated` composes like the value type, `append`/`prepend` and
// the in-place builders like the object. Plain value; nobody owns it.

#include "platform/foundation/Geometry.h"

#include <optional>

namespace vtl {

struct AffineTransform {
    double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;

    static constexpr AffineTransform identity() { return {}; }
    static constexpr AffineTransform zero() { return {0, 0, 0, 0, 0, 0}; }
    static constexpr AffineTransform translation(double dx, double dy) { return {1, 0, 0, 1, dx, dy}; }
    static constexpr AffineTransform scale(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }
    // Counter-clockwise in y-up coordinates.
    static AffineTransform rotationRadians(double radians);
    static AffineTransform rotationDegrees(double degrees);

    // This transform first, then `then`.
    AffineTransform concatenated(const AffineTransform& then) const;
    // In-place composition: append applies `t` after this one, prepend before it.
    AffineTransform& append(const AffineTransform& t) { return *this = concatenated(t); }
    AffineTransform& prepend(const AffineTransform& t) { return *this = t.concatenated(*this); }
    // Builders of the transform object: each applies its step before the existing transform.
    AffineTransform& translateBy(double dx, double dy) { return prepend(translation(dx, dy)); }
    AffineTransform& scaleBy(double sx, double sy) { return prepend(scale(sx, sy)); }
    AffineTransform& rotateByDegrees(double degrees) { return prepend(rotationDegrees(degrees)); }

    Point apply(Point p) const { return {a * p.x + c * p.y + tx, b * p.x + d * p.y + ty}; }
    Size applyToSize(Size s) const { return {a * s.width + c * s.height, b * s.width + d * s.height}; }
    // Bounding rectangle of the rectangle's four transformed corners.
    Rect applyToRect(const Rect& r) const;
    // nullopt when the matrix is singular.
    std::optional<AffineTransform> inverted() const;
    bool isIdentity() const { return *this == identity(); }

    friend bool operator==(const AffineTransform&, const AffineTransform&) = default;
};

} // namespace vtl
