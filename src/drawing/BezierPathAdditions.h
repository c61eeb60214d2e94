#pragma once
// Additions to the path class: rounded and partly rounded rectangles, speech bubble, triangle,
// cloud-like bubble, stars, gradient fills and label plates drawn into the current context, path
// length, trimming by length and arrow heads. Radii and stretch factors are single precision as
// callers expect. Stateless; the fills draw into the thread's current context.

#include "platform/foundation/Geometry.h"
#include "platform/graphics/BezierPath.h"
#include "platform/graphics/Color.h"

#include <array>
#include <cstdint>

namespace vtl {

class BezierPathAdditions {
public:
    using Curve = std::array<Point, 4>;

    // Rounded rectangle; the radius is capped at half the shorter side (a negative one is kept).
    static BezierPath pathWithRect(const Rect& rect, float radius);
    // The same outline appended, with the radius raised to at least 0 first.
    static void appendPathWithRect(BezierPath& path, const Rect& rect, float radius);
    // Only the corners whose flag is set are rounded.
    static BezierPath pathWithRect(const Rect& rect, float radius, bool roundTopRight, bool roundTopLeft,
                                   bool roundBottomRight, bool roundBottomLeft);
    // Direction 0 left, 1 right, 2 down, 3 up; any other logs "unsupported direction" and gives a
    // path of only a close element.
    static BezierPath pathWithTrianglePointingTo(int32_t direction, const Rect& rect);
    static BezierPath bezierPathWithBubbleInRect(const Rect& rect, uint32_t numberOfDents, float dentInset,
                                                 float dentOffset);
    static BezierPath starWithRect(const Rect& rect, uint32_t numberRays, float rayStretch);
    static BezierPath flippedStarWithRect(const Rect& rect, uint32_t numberRays, float rayStretch);
    // A rounded rectangle with a pointer from the tip.
    static void appendSpeechBubbleWithRect(BezierPath& path, const Rect& rect, Point tip, float radius);

    // The path's bounds filled with drawGradientInRect of the two colours, clipped to the path.
    static void fillPath(const BezierPath& path, const Color& first, const Color& second);
    // An axial blend across the path's bounds, left to right or bottom to top; while printing,
    // the path filled with the colours' half-way blend.
    static void fillPath(const BezierPath& path, const Color& first, const Color& second, bool horizontal);
    // The blend of the axial fill: each of r, g, b, a interpolated in single precision.
    static std::array<float, 4> gradientInterpolate(const std::array<float, 8>& colors, float t);
    static void fillRect(const Rect& rect, int radius);
    // A white plate with a soft shadow, then the colour's light-to-dark fill.
    static void fillLabelRect(const Rect& rect, const Color& color);
    // The direction from p1 to p2 in degrees, (−180, 180]; equal points give 180.
    static float getDegreesOfLine(Point p1, Point p2);

    static double lengthWithMaximumError(const BezierPath& path, double error);
    static double length(const BezierPath& path) { return lengthWithMaximumError(path, 0.1); }
    static double lengthOfBezier(const Curve& curve, double error);
    // Splits the curve where its length from the start reaches `length` (within the error).
    static void subdivideBezierAtLength(const Curve& curve, Curve& left, Curve& right, double length,
                                        double error);
    static BezierPath bezierPathByTrimmingToLength(const BezierPath& path, double length, double error = 0.1);
    static BezierPath bezierPathByTrimmingFromLength(const BezierPath& path, double length,
                                                     double error = 0.1);
    // The point of a leading move, else (0, 0).
    static Point firstPoint(const BezierPath& path);
    static void appendBezierPathRemovingInitialMoveToPoint(BezierPath& path, const BezierPath& other);
    // An open two-stroke arrow head whose tip is the path's first (last) point.
    static BezierPath bezierPathWithArrowHeadForStartOfLength(const BezierPath& path, double length,
                                                              float angleDegrees);
    static BezierPath bezierPathWithArrowHeadForEndOfLength(const BezierPath& path, double length,
                                                            float angleDegrees);
};

} // namespace vtl
