#include "platform/foundation/AffineTransform.h"

#include <algorithm>
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
    return {a * t.a + b * t.c,         a * t.b + b * t.d,         c * t.a + d * t.c,
            c * t.b + d * t.d,         tx * t.a + ty * t.c + t.tx, tx * t.b + ty * t.d + t.ty};
}

Rect AffineTransform::applyToRect(const Rect& r) const {
    Rect s = r.standardized();
    Point corners[4] = {apply({s.minX(), s.minY()}), apply({s.maxX(), s.minY()}), apply({s.minX(), s.maxY()}),
                        apply({s.maxX(), s.maxY()})};
    double x0 = corners[0].x, x1 = corners[0].x, y0 = corners[0].y, y1 = corners[0].y;
    for (const Point& p : corners) {
        x0 = std::min(x0, p.x);
        x1 = std::max(x1, p.x);
        y0 = std::min(y0, p.y);
        y1 = std::max(y1, p.y);
    }
    return {x0, y0, x1 - x0, y1 - y0};
}

std::optional<AffineTransform> AffineTransform::inverted() const {
    double det = a * d - b * c;
    if (det == 0 || !std::isfinite(det)) return std::nullopt;
    double ia = d / det, ib = -b / det, ic = -c / det, id = a / det;
    return AffineTransform{ia, ib, ic, id, -(tx * ia + ty * ic), -(tx * ib + ty * id)};
}

} // namespace vtl
