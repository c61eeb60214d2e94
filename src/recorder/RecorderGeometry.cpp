#include "recorder/RecorderGeometry.h"

#include <algorithm>
#include <cmath>

namespace vtl {

Rect rectInRectWithOptionsForRecorder(int option, Size inner, const Rect& outer) {
    auto centred = [&](double width, double height) {
        float x = static_cast<float>(outer.minX()) +
                  (static_cast<float>(outer.width()) - static_cast<float>(width)) / 2.0f;
        float y = static_cast<float>(outer.minY()) +
                  (static_cast<float>(outer.height()) - static_cast<float>(height)) / 2.0f;
        return Rect(x, y, width, height);
    };
    if (option == 2) return outer;
    if (option == 3) return centred(inner.width, inner.height);
    if (option != 0 && option != 1) return Rect();
    if (inner.width <= 0 || inner.height <= 0) return Rect();
    double xRatio = outer.width() / inner.width, yRatio = outer.height() / inner.height;
    double ratio = option == 0 ? std::max(xRatio, yRatio) : std::min(xRatio, yRatio);
    return centred(inner.width * ratio, inner.height * ratio);
}

float backingScaleOfScreen(const ScreenDescription& screen) {
    return static_cast<float>(screen.backingScaleFactor);
}

Rect scaledRectForScreen(const ScreenDescription& screen, bool scaleOrigin, const Rect& rect) {
    float f = backingScaleOfScreen(screen);
    double x = scaleOrigin ? static_cast<float>(rect.minX()) * f : rect.minX();
    double y = scaleOrigin ? static_cast<float>(rect.minY()) * f : rect.minY();
    return Rect(x, y, static_cast<float>(rect.width()) * f, static_cast<float>(rect.height()) * f);
}

Rect unscaledRectForScreen(const ScreenDescription& screen, bool scaleOrigin, const Rect& rect) {
    float f = backingScaleOfScreen(screen);
    if (f == 0) return rect;
    double x = scaleOrigin ? static_cast<float>(rect.minX()) / f : rect.minX();
    double y = scaleOrigin ? static_cast<float>(rect.minY()) / f : rect.minY();
    return Rect(x, y, static_cast<float>(rect.width()) / f, static_cast<float>(rect.height()) / f);
}

Point scaledPointForScreen(const ScreenDescription& screen, Point point) {
    double f = screen.backingScaleFactor;
    return Point{point.x * f, point.y * f};
}

Point unscaledPointForScreen(const ScreenDescription& screen, Point point) {
    double f = screen.backingScaleFactor;
    if (f == 0) return point;
    return Point{point.x / f, point.y / f};
}

Rect scaledRectByFactor(float factor, const Rect& rect) {
    if (factor == 1.0f) return rect;
    return Rect(rect.minX() * factor, rect.minY() * factor, rect.width() * factor, rect.height() * factor);
}

Point scaledPointByFactor(float factor, Point point) {
    if (factor == 1.0f) return point;
    return Point{point.x * factor, point.y * factor};
}

AffineTransform scaleAndRotateAtPointTransformForRecorder(Point point, float xScale, float yScale,
                                                          float angleDegrees) {
    if (xScale == 1.0f && yScale == 1.0f && angleDegrees == 0.0f) return AffineTransform::identity();
    return AffineTransform::translation(-point.x, -point.y)
        .concatenated(AffineTransform::rotationDegrees(-angleDegrees))
        .concatenated(AffineTransform::scale(xScale, yScale))
        .concatenated(AffineTransform::translation(point.x, point.y));
}

bool valueIsNear(float value, float reference, float tolerance) {
    float low = (1.0f - tolerance) * reference, high = (1.0f + tolerance) * reference;
    return low <= value && value <= high;
}

Rect transformedRect(const AffineTransform& transform, const Rect& rect) {
    return transform.applyToRect(rect);
}

Rect rectFromTwoPoints(Point a, Point b) {
    return Rect(std::min(a.x, b.x), std::min(a.y, b.y), std::abs(a.x - b.x), std::abs(a.y - b.y));
}

} // namespace vtl
