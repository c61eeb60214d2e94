#include "drawing/MRDrawing_CGContextDrawingHelper.h"

#include "drawing/MRDrawing_ColorsHelper.h"
#include "platform/foundation/Log.h"

#include <cmath>

namespace vtl {

namespace {

constexpr const char* kCountMessage = "Different Count of Colors and Locations passed to gradient";

Gradient gradientOf(const std::vector<Color>& colors, const std::vector<double>& locations) {
    std::vector<Color> cg;
    for (const Color& c : colors)
        cg.push_back(*MRDrawing_ColorsHelper::createCGColorRefFromPlattformColor(c));
    return Gradient(std::move(cg), locations);
}

unsigned optionsOf(bool before, bool after) {
    return (before ? GradientDrawsBeforeStartLocation : 0u) | (after ? GradientDrawsAfterEndLocation : 0u);
}

// The angle brought into [0, 2π] as the original reduces it.
double normalizedAngle(double angle) {
    double a = angle;
    const double full = 2 * M_PI;
    if (a > full) a -= full * std::floor(static_cast<float>(a / full));
    if (a < 0) a = a - full * std::ceil(a / full) + full;
    return a;
}

} // namespace

void MRDrawing_CGContextDrawingHelper::drawGradientFromPoint(Point start, Point end,
                                                             const std::vector<Color>& colors,
                                                             const std::vector<double>& locations,
                                                             GraphicsContext& context, bool before,
                                                             bool after) {
    if (colors.size() != locations.size()) {
        logMessage(kCountMessage);
        return;
    }
    context.drawLinearGradient(gradientOf(colors, locations), start, end, optionsOf(before, after));
}

void MRDrawing_CGContextDrawingHelper::drawGradientFromPoint(Point start, Point end, const Color& startColor,
                                                             const Color& endColor,
                                                             GraphicsContext& context) {
    context.drawLinearGradient(gradientOf({startColor, endColor}, {}), start, end, 0);
}

void MRDrawing_CGContextDrawingHelper::drawRadialGradientFromCenterPoint(
    Point c0, Point c1, float r0, float r1, const std::vector<Color>& colors,
    const std::vector<double>& locations, GraphicsContext& context, bool before, bool after) {
    if (colors.size() != locations.size()) {
        logMessage(kCountMessage);
        return;
    }
    context.drawRadialGradient(gradientOf(colors, locations), c0, r0, c1, r1, optionsOf(before, after));
}

void MRDrawing_CGContextDrawingHelper::drawRadialGradientFromCenterPoint(Point c0, Point c1, float r0,
                                                                         float r1, const Color& startColor,
                                                                         const Color& endColor,
                                                                         GraphicsContext& context) {
    context.drawRadialGradient(gradientOf({startColor, endColor}, {}), c0, r0, c1, r1, 0);
}

Gradient MRDrawing_CGContextDrawingHelper::glossyGradient(const Color& color, float s,
                                                          bool adjustWhitepoint) {
    Color c = color.inCalibratedRGB();
    auto shifted = [&](double dr, double dg, double db) {
        return Color::rgb(c.red + dr * s, c.green + dg * s, c.blue + db * s, c.alpha);
    };
    double k = adjustWhitepoint ? 0.1 : 0.25;
    return Gradient({shifted(0.1, 0.1, 0.1), shifted(0.05, 0.05, 0.05), shifted(-0.05, -0.05, -0.05),
                     shifted(0.25, 0.25, k)},
                    {0.0, 0.499, 0.501, 1.0});
}

void MRDrawing_CGContextDrawingHelper::drawGlossyGradientFromPoint(Point start, Point end, const Color& color,
                                                                   float strength, bool adjustWhitepoint,
                                                                   GraphicsContext& context) {
    Gradient g = glossyGradient(color, strength, adjustWhitepoint);
    drawGradientFromPoint(start, end, g.colors, g.locations, context);
}

void MRDrawing_CGContextDrawingHelper::drawGradient(const Gradient& gradient, const Rect& rect, double angle,
                                                    bool clipToRect, GraphicsContext& context) {
    if (clipToRect) {
        context.addRect(rect);
        context.clip();
    }
    context.drawLinearGradient(gradient, startPointForDrawingGradientInRect(rect, angle),
                               stopPointForDrawingGradientInRect(rect, angle), 0);
}

Point MRDrawing_CGContextDrawingHelper::startPointForDrawingGradientInRect(const Rect& r, double angle) {
    double a = normalizedAngle(angle);
    if (a < M_PI / 2) return {r.minX(), r.maxY()};
    if (a < M_PI) return {r.minX(), r.minY()};
    if (a < 3 * M_PI / 2) return {r.maxX(), r.minY()};
    if (a < 2 * M_PI) return {r.maxX(), r.maxY()};
    return {};
}

Point MRDrawing_CGContextDrawingHelper::stopPointForDrawingGradientInRect(const Rect& r, double angle) {
    double a = normalizedAngle(angle);
    Point corner;
    if (a < M_PI / 2)
        corner = {r.maxX(), r.minY()};
    else if (a < M_PI)
        corner = {r.maxX(), r.maxY()};
    else if (a < 3 * M_PI / 2)
        corner = {r.minX(), r.maxY()};
    else if (a < 2 * M_PI)
        corner = {r.minX(), r.minY()};
    else
        return {};
    float s = std::sin(static_cast<float>(a)), c = std::cos(static_cast<float>(a));
    return intersectionPointForLine1DirectionVector({s, -c}, startPointForDrawingGradientInRect(r, angle),
                                                    {-c, -s}, corner);
}

Point MRDrawing_CGContextDrawingHelper::intersectionPointForLine1DirectionVector(Point d1, Point p1, Point d2,
                                                                                 Point p2) {
    double s;
    if (d1.x != 0) {
        s = (p2.y - p1.y - d1.y * (p2.x - p1.x) / d1.x) / (d1.y * d2.x / d1.x - d2.y);
    } else if (d1.y != 0) {
        s = (p1.x - p2.x) / d2.x;
    } else {
        assertionFailure("MRDrawing_CGContextDrawingHelper_Gradients", __LINE__,
                         "Direction could not have length 0!");
        return {};
    }
    return {p2.x + s * d2.x, p2.y + s * d2.y};
}

} // namespace vtl
