#pragma once
// Points, vectors, rectangles and sizes for drawing code. Several results are single precision on
// purpose (angles, lengths, distances, dot products): callers rely on that rounding. Stateless.

#include "platform/foundation/Geometry.h"

#include <string>
#include <vector>

namespace vtl {

class MRDrawing_GeometryHelper {
public:
    // Radians in (−π, π]; (0, 0) gives π.
    static float angleOfRay(Point v);
    static float dotProductWithPoint(Point a, Point b);
    // Distance from p to the segment o–d; the largest float for a zero-length segment.
    static float distanceOfPointToLine(Point p, Point origin, Point destination);
    static float distanceOfPointToPoint(Point a, Point b);
    // The nearest point (the first of equal ones); logs and gives (0, 0) for no points.
    static Point nearestPointInArray(const std::vector<Point>& points, Point p);
    // Intersection of two segments, (0, 0) when they do not meet or are parallel.
    static Point intersectLine(Point a1, Point a2, Point b1, Point b2);
    // Intersection of two infinite lines; the largest float on both axes when parallel.
    static Point intersectRay(Point a1, Point a2, Point b1, Point b2);
    static Point scaleVector(Point v, float s);
    static float length(Point v);
    static Point normalize(Point v);
    static Point flipBy90Degrees(Point v);
    static Point multipyVector(Point a, Point b);
    static Point addVector(Point a, Point b);
    static Rect centerRect(const Rect& inner, const Rect& outer);
    static Rect scaledRectInBounds(const Rect& bounds, Size size);
    // Scaled down (never up) to fit, centred.
    static Rect fittedRectInBounds(const Rect& bounds, Size size);
    static Rect filledRectInBounds(const Rect& bounds, Size size);
    // Scaled up or down to fit, keeping the aspect ratio.
    static Size proportionallyScaleSize(Size size, Size target);
    // Counter-clockwise for positive degrees in y-up space.
    static Point rotatePoint(Point p, Point center, double degrees);
    static Rect boundsOfPoints(const std::vector<Point>& points);
    static Point findNearestPointOnRectangle(const Rect& r, Point p);
    static Rect scaleRect(const Rect& r, float factor);
    static Rect roundRect(const Rect& r);
    static Rect rectFromString(const std::string& s);
    static std::string stringFromRect(const Rect& r);
    static Point pointFromString(const std::string& s);
    static std::string stringFromPoint(Point p);
};

} // namespace vtl
