#pragma once
// Paths for drawing code: a rounded rectangle built into a context's current path, conversion of
// element lists (with quadratic curves) into cubic paths, and a many-sided star. Stateless.

#include "platform/foundation/Geometry.h"
#include "platform/graphics/BezierPath.h"
#include "platform/graphics/GraphicsContext.h"

#include <array>
#include <vector>

namespace vtl {

class MRDrawing_CGContextPathHelper {
public:
    // One element of a path as the original's element visitor reports it; kinds 0 move, 1 line,
    // 2 quadratic curve (control, end), 3 cubic curve (control 1, control 2, end), 4 close.
    struct PathElement {
        int type = 0;
        std::array<Point, 3> points{};
    };

    // Begins a new path in the context: a rectangle with arcs of radius r at its corners. Neither fills nor
    // strokes.
    static void appendRoundRectPathInCGContext(GraphicsContext& context, const Rect& rect, float radius);
    // Moves, lines and cubic curves copied; quadratic curves raised to cubics; unknown kinds ignored.
    static BezierPath bezierPathFromCGPath(const std::vector<PathElement>& elements);
    static BezierPath bezierPathFromCGPath(const BezierPath& path) { return path; }
    // A star of n sides in the frame's ellipse; inner points at radius factor f.
    static BezierPath starPathWithFrame(const Rect& frame, float innerWidth, int numberOfSides,
                                        float innerSideSpacing, float outerSideWidth);
};

} // namespace vtl
