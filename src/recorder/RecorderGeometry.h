#pragma once
// The recorder's own geometry helpers: fitting a picture into a screen for the desktop cover,
// scaling between points and a screen's pixels, and a few rectangle and transform rules. Plain
// functions, any thread. Single precision where the rules say so: callers rely on that rounding.

#include "platform/capture/Screens.h"
#include "platform/foundation/AffineTransform.h"
#include "platform/foundation/Geometry.h"

namespace vtl {

// How a picture is fitted into a rectangle ("desktopImageStretchMode").
enum class RecorderStretchMode : int { Fill = 0, Fit = 1, Stretch = 2, Center = 3 };

// 0 fill (the larger axis ratio), 1 fit (the smaller), both centred; 2 the outer rectangle; 3 the
// inner size unscaled and centred; other options the zero rectangle.
Rect rectInRectWithOptionsForRecorder(int option, Size inner, const Rect& outer);

float backingScaleOfScreen(const ScreenDescription& screen);
// Size (and the origin only with `scaleOrigin`) times the screen's backing scale factor.
Rect scaledRectForScreen(const ScreenDescription& screen, bool scaleOrigin, const Rect& rect);
Rect unscaledRectForScreen(const ScreenDescription& screen, bool scaleOrigin, const Rect& rect);
Point scaledPointForScreen(const ScreenDescription& screen, Point point);
Point unscaledPointForScreen(const ScreenDescription& screen, Point point);
// Times the factor; unchanged when it is exactly 1.
Rect scaledRectByFactor(float factor, const Rect& rect);
Point scaledPointByFactor(float factor, Point point);
// Identity when both scales are 1 and the angle 0; else scale and rotation by −angle degrees
// about the point.
AffineTransform scaleAndRotateAtPointTransformForRecorder(Point point, float xScale, float yScale,
                                                          float angleDegrees);
// (1 − tolerance) × reference ≤ value ≤ (1 + tolerance) × reference, in single precision.
bool valueIsNear(float value, float reference, float tolerance);
// The rectangle's bounding box under the transform.
Rect transformedRect(const AffineTransform& transform, const Rect& rect);
// The normalised rectangle spanned by the two points.
Rect rectFromTwoPoints(Point a, Point b);

} // namespace vtl
