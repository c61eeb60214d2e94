#pragma once
// Stateless rectangle, rounded-outline and transform helpers used throughout both programs.
// Radii, scale factors and angles are single precision on purpose: callers rely on the exact
// rounding of every rule below. Safe from any thread.

#include "platform/foundation/AffineTransform.h"
#include "platform/foundation/Geometry.h"
#include "platform/graphics/BezierPath.h"
#include "platform/graphics/Color.h"
#include "platform/graphics/GraphicsContext.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace vtl {

// The rectangle centred on p with half width hw and half height hh.
Rect rectFromPoint(Point p, float hw, float hh);
// The normalised rectangle spanned by a and b (size never negative).
Rect rectEnclosingPoints(Point a, Point b);
// (x, y), (maxX, y), (x, maxY), (maxX, maxY): bottom row, then top row.
std::array<Point, 4> pointsFromRect(const Rect& r);
// An image of the given size centred in r without scaling (sticking out equally when larger).
Rect centeredRectForImageInRect(Size imageSize, const Rect& r);
// The inner size centred in the outer rectangle; when too wide, alignRight keeps the right edges
// inside, alignLeft the left edges, neither clamps to the outer width, both overflow both sides.
Rect centeredRectInRect(bool alignRightWhenTooWide, bool alignLeftWhenTooWide, const Rect& inner,
                        const Rect& outer);

// Options of rectInRectWithOptions.
enum RectInRectOption : int32_t {
    RectInRectAspectFill = 0,
    RectInRectAspectFit = 1,
    RectInRectStretch = 2,
    RectInRectCenter = 3,
};
// The inner size fitted into the outer rectangle by the option; unknown options give the zero rectangle.
Rect rectInRectWithOptions(int32_t option, const Rect& inner, const Rect& outer);
// Whether v lies within (1 ± t)·c, bounds rounded to single precision. False for NaN.
bool valueIsWithinVicinity(float v, float c, float t);

// Closed rounded rectangle with corner inset r.
BezierPath bezierpathWithRoundedCornersInRect(const Rect& rect, float r);
BezierPath createCGPathWithRoundedCornersInRect(const Rect& rect, float r);
// Appends a closed rounded rectangle with corner inset 2·r, starting with a move.
void appendBezierpathWithRoundedCornersInRect(BezierPath& path, const Rect& rect, float r);
// Continues from the current point through the bottom-right, top-right and top-left corners
// (inset 2·r) and closes; the bottom-left corner is the subpath's start.
void appendBezierpathWithRoundedCornersInRectOmittingBottomLeft(BezierPath& path, const Rect& rect, float r);
// The outline of appendPathWithRoundedCornersLeftRightInRect, rounding only the chosen sides
// (corner inset r); the drawing module builds it into a context and clips when asked.
BezierPath pathWithRoundedCornersLeftRightInRect(bool roundLeft, bool roundRight, const Rect& rect, float r);
// Makes that outline the context's current path (replacing any), and clips to it when asked
// (which consumes the path). Neither fills nor strokes.
void appendPathWithRoundedCornersLeftRightInRect(bool roundLeft, bool roundRight, GraphicsContext& context,
                                                 bool clip, const Rect& rect, float r);
// Fills the rectangle of the current context with a gradient of the two colours at 90 degrees.
// Both colours stand at location 1.0, so the fill is the first colour throughout (kept as callers expect).
void drawGradientInRect(const Color& first, const Color& second, const Rect& rect);

// Maps `from` onto `to`: translate by −from.origin, scale, translate by to.origin.
AffineTransform CGAffineTransformFromRectToRect(const Rect& from, const Rect& to);
// The same mapping with the scale factors rounded to single precision first.
AffineTransform transformFromRectToRect(const Rect& from, const Rect& to);
// Uniform scale by s about p.
AffineTransform scaleAtPointAffineTransform(Point p, float s);
AffineTransform scaleAtPointTransform(Point p, float sx, float sy);
// Rotation by +angle degrees about p.
AffineTransform rotateAtPointTransform(Point p, float angleDegrees);
// Scale then rotation by −angle degrees about p; nullopt for exactly sx = sy = 1 and angle 0.
std::optional<AffineTransform> scaleAndRotateAtPointTransform(Point p, float sx, float sy,
                                                              float angleDegrees);
// Scale about the origin, then rotation by −angle about the scaled point; nullopt for the identity case.
std::optional<AffineTransform> scaleAtZeroAndRotateAtPointTransform(Point p, float sx, float sy,
                                                                    float angleDegrees);
std::optional<AffineTransform> scaleAndRotateForRectTransform(const Rect& r, float sx, float sy,
                                                              float angleDegrees);
// Bounding rectangle of r under the transform; no transform stands for the all-zero matrix.
Rect applyTransformToRect(const std::optional<AffineTransform>& t, const Rect& r);
// The matrix of a transform object; no transform gives all zeros.
AffineTransform cgAffineTransform(const std::optional<AffineTransform>& t);
// Bounding rectangle of the four transformed corners of r.
Rect boundingRectOfTransformedRect(const AffineTransform& t, const Rect& r);
// Bounding rectangle of the points; the zero rectangle when there are none.
Rect boundsOfPoints(const std::vector<Point>& points);

} // namespace vtl
