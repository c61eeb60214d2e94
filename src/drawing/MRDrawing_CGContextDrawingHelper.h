#pragma once
// Gradients drawn into a context: linear and radial from colour lists, two-colour forms, a glossy
// four-stop gradient made from one colour, and a gradient across a rectangle at an angle with its
// end points worked out from the angle. Stateless.

#include "platform/foundation/Geometry.h"
#include "platform/graphics/Color.h"
#include "platform/graphics/Gradient.h"
#include "platform/graphics/GraphicsContext.h"

#include <vector>

namespace vtl {

class MRDrawing_CGContextDrawingHelper {
public:
    // Logs and draws nothing when the counts differ.
    static void drawGradientFromPoint(Point start, Point end, const std::vector<Color>& colors,
                                      const std::vector<double>& locations, GraphicsContext& context,
                                      bool drawsBeforeStartPoint = false, bool drawsAfterStartPoint = false);
    static void drawGradientFromPoint(Point start, Point end, const Color& startColor, const Color& endColor,
                                      GraphicsContext& context);
    static void drawRadialGradientFromCenterPoint(Point startCenter, Point endCenter, float startRadius,
                                                  float endRadius, const std::vector<Color>& colors,
                                                  const std::vector<double>& locations,
                                                  GraphicsContext& context,
                                                  bool drawsBeforeStartPoint = false,
                                                  bool drawsAfterStartPoint = false);
    static void drawRadialGradientFromCenterPoint(Point startCenter, Point endCenter, float startRadius,
                                                  float endRadius, const Color& startColor,
                                                  const Color& endColor, GraphicsContext& context);
    static void drawGlossyGradientFromPoint(Point start, Point end, const Color& color, float glossyStrength,
                                            bool adjustWhitepoint, GraphicsContext& context);
    static void drawGlossyGradientFromPoint(Point start, Point end, const Color& color, float glossyStrength,
                                            GraphicsContext& context) {
        drawGlossyGradientFromPoint(start, end, color, glossyStrength, true, context);
    }
    // The four stops of the glossy gradient of a colour.
    static Gradient glossyGradient(const Color& color, float glossyStrength, bool adjustWhitepoint);

    // Angle in radians: 0 runs toward smaller y, π/2 toward larger x.
    static void drawGradient(const Gradient& gradient, const Rect& rect, double angle, bool clipToRect,
                             GraphicsContext& context);
    static Point startPointForDrawingGradientInRect(const Rect& rect, double angle);
    static Point stopPointForDrawingGradientInRect(const Rect& rect, double angle);
    // Where p1 + t·d1 meets p2 + s·d2, as p2 + s·d2. A zero d1 is a programming error.
    static Point intersectionPointForLine1DirectionVector(Point d1, Point p1, Point d2, Point p2);
};

} // namespace vtl
