#include "drawing/MRDrawing_CGContextPathHelper.h"

#include "drawing/MRDrawing_GeometryHelper.h"

#include <cmath>

namespace vtl {

void MRDrawing_CGContextPathHelper::appendRoundRectPathInCGContext(GraphicsContext& context, const Rect& rect,
                                                                   float radius) {
    double r = radius;
    context.beginPath();
    context.moveTo({rect.minX() + r, rect.minY()});
    context.addArc({rect.maxX() - r, rect.minY() + r}, r, 3 * M_PI / 2, 0, false);
    context.addArc({rect.maxX() - r, rect.maxY() - r}, r, 0, M_PI / 2, false);
    context.addArc({rect.minX() + r, rect.maxY() - r}, r, M_PI / 2, M_PI, false);
    context.addArc({rect.minX() + r, rect.minY() + r}, r, M_PI, 3 * M_PI / 2, false);
    context.closePath();
}

BezierPath MRDrawing_CGContextPathHelper::bezierPathFromCGPath(const std::vector<PathElement>& elements) {
    BezierPath path;
    for (const PathElement& e : elements) {
        const auto& p = e.points;
        switch (e.type) {
        case 0:
            path.moveTo(p[0]);
            break;
        case 1:
            path.lineTo(p[0]);
            break;
        case 2: {
            Point cur = path.currentPoint();
            Point c1{(2 * p[0].x + cur.x) / 3, (2 * p[0].y + cur.y) / 3};
            Point c2{(2 * p[0].x + p[1].x) / 3, (2 * p[0].y + p[1].y) / 3};
            path.curveTo(p[1], c1, c2);
            break;
        }
        case 3:
            path.curveTo(p[2], p[0], p[1]);
            break;
        case 4:
            path.closePath();
            break;
        default:
            break;
        }
    }
    return path;
}

BezierPath MRDrawing_CGContextPathHelper::starPathWithFrame(const Rect& frame, float innerWidth,
                                                            int numberOfSides, float innerSideSpacing,
                                                            float outerSideWidth) {
    BezierPath path;
    if (numberOfSides <= 0) {
        path.appendCloseElement();
        return path;
    }
    float step = 360.0f / static_cast<float>(numberOfSides);
    double cx = frame.midX(), cy = frame.midY();
    auto pointAt = [&](double radius, double degrees) {
        Point p = MRDrawing_GeometryHelper::rotatePoint({0, radius}, {0, 0}, degrees);
        return Point{p.x * frame.width() * 0.5 + cx, p.y * frame.height() * 0.5 + cy};
    };
    double u = innerSideSpacing, o = outerSideWidth, f = innerWidth;
    for (int i = 0; i < numberOfSides; ++i) {
        double a0 = i * step, a1 = (i + 1) * step;
        double mid = (a0 + a1 - step * u) * 0.5;
        Point first = pointAt(f, a0);
        if (path.isEmpty())
            path.moveTo(first);
        else
            path.lineTo(first);
        path.lineTo(pointAt(1, mid - step * o * 0.5));
        if (o > 0) path.lineTo(pointAt(1, mid + step * o * 0.5));
        path.lineTo(pointAt(f, a1 - step * u));
        if (u > 0) path.lineTo(pointAt(f, a1));
    }
    path.closePath();
    return path;
}

} // namespace vtl
