#include "platform/foundation/AffineTransform.h"

#include <cmath>
#include <numbers>

namespace vtl {

AffineTransform AffineTransform::rotationRadians(double radians) {
    double s = std::sin(radians), co = std::cos(radians);
    return {co, s, -s, co, 0, 0};
}

AffineTransform AffineTransform::rotationDegrees(double degrees) {
    return rotationRadians(degrees * std::numbers::pi / 180.0);
}

AffineTransform AffineTransform::concatenated(const AffineTransform& t) const {
    return {a * t.a + b * t.c, a * t.b + b * t.d,          c * t.a + d * t.c,
            c * t.b + d * t.d, tx * t.a + ty * t.c + t.tx, tx * t.b + ty * t.d + t.ty};
}

Rect AffineTransform::applyToRect(const Rect& r) const {
    Rect s = r.standardized();
    const Point corners[4] = {apply({s.minX(), s.minY()}), apply({s.maxX(), s.minY()}),
                              apply({s.minX(), s.maxY()}), apply({s.maxX(), s.maxY()})};
    return boundingRectOfPoints(corners);
}

std::optional<AffineTransform> AffineTransform::inverted() const {
    double det = a * d - b * c;
    if (det == 0 || !std::isfinite(det)) return std::nullopt;
    double ia = d / det, ib = -b / det, ic = -c / det, id = a / det;
    return AffineTransform{ia, ib, ic, id, -(tx * ia + ty * ic), -(tx * ib + ty * id)};
}

} // namespace vtl
