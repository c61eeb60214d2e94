#include "platform/graphics/BezierPath.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace vtl {

void BezierPath::moveTo(Point p) {
    elements_.push_back({ElementType::MoveTo, {p}});
    current_ = subpathStart_ = p;
    hasCurrent_ = true;
}

void BezierPath::lineTo(Point p) {
    if (!hasCurrent_) moveTo(p);
    elements_.push_back({ElementType::LineTo, {p}});
    current_ = p;
}

void BezierPath::curveTo(Point end, Point control1, Point control2) {
    if (!hasCurrent_) moveTo(control1);
    elements_.push_back({ElementType::CurveTo, {control1, control2, end}});
    current_ = end;
}

void BezierPath::closePath() {
    if (!hasCurrent_) return;
    elements_.push_back({ElementType::ClosePath, {}});
    current_ = subpathStart_;
}

void BezierPath::appendCloseElement() {
    if (hasCurrent_) {
        closePath();
        return;
    }
    elements_.push_back({ElementType::ClosePath, {}});
}

void BezierPath::appendPath(const BezierPath& other) {
    for (const Element& e : other.elements_) {
        switch (e.type) {
        case ElementType::MoveTo:
            moveTo(e.points[0]);
            break;
        case ElementType::LineTo:
            lineTo(e.points[0]);
            break;
        case ElementType::CurveTo:
            curveTo(e.points[2], e.points[0], e.points[1]);
            break;
        case ElementType::ClosePath:
            closePath();
            break;
        }
    }
}

void BezierPath::removeAllPoints() {
    elements_.clear();
    current_ = subpathStart_ = {};
    hasCurrent_ = false;
}

void BezierPath::transform(const AffineTransform& t) {
    for (Element& e : elements_) {
        for (int i = 0; i < pointCount(e.type); ++i)
            e.points[i] = t.apply(e.points[i]);
    }
    current_ = t.apply(current_);
    subpathStart_ = t.apply(subpathStart_);
}

Rect BezierPath::controlPointBounds() const {
    std::vector<Point> points;
    points.reserve(elements_.size() * 3);
    for (const Element& e : elements_)
        points.insert(points.end(), e.points.begin(), e.points.begin() + pointCount(e.type));
    return boundingRectOfPoints(points);
}

} // namespace vtl

#include <cmath>

namespace vtl {

namespace {

void extendCubic(double p0, double p1, double p2, double p3, double& lo, double& hi) {
    // Roots of the derivative a·t² + b·t + c.
    double a = -p0 + 3 * p1 - 3 * p2 + p3;
    double b = 2 * (p0 - 2 * p1 + p2);
    double c = p1 - p0;
    auto at = [&](double t) {
        double u = 1 - t;
        return u * u * u * p0 + 3 * u * u * t * p1 + 3 * u * t * t * p2 + t * t * t * p3;
    };
    auto consider = [&](double t) {
        if (t > 0 && t < 1) {
            double v = at(t);
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    };
    if (std::abs(a) < 1e-12) {
        if (std::abs(b) > 1e-12) consider(-c / b);
        return;
    }
    double disc = b * b - 4 * a * c;
    if (disc < 0) return;
    double sq = std::sqrt(disc);
    consider((-b + sq) / (2 * a));
    consider((-b - sq) / (2 * a));
}

} // namespace

Rect BezierPath::bounds() const {
    bool any = false;
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    Point cur;
    auto add = [&](Point p) {
        if (!any) {
            x0 = x1 = p.x;
            y0 = y1 = p.y;
            any = true;
        }
        x0 = std::min(x0, p.x), x1 = std::max(x1, p.x), y0 = std::min(y0, p.y), y1 = std::max(y1, p.y);
    };
    Point start;
    for (const Element& e : elements_) {
        switch (e.type) {
        case ElementType::MoveTo:
            add(e.points[0]);
            cur = start = e.points[0];
            break;
        case ElementType::LineTo:
            add(e.points[0]);
            cur = e.points[0];
            break;
        case ElementType::CurveTo:
            add(e.points[2]);
            extendCubic(cur.x, e.points[0].x, e.points[1].x, e.points[2].x, x0, x1);
            extendCubic(cur.y, e.points[0].y, e.points[1].y, e.points[2].y, y0, y1);
            cur = e.points[2];
            break;
        case ElementType::ClosePath:
            cur = start;
            break;
        }
    }
    return {x0, y0, x1 - x0, y1 - y0};
}

void BezierPath::appendArc(Point c, double radius, double startDegrees, double endDegrees, bool clockwise) {
    // Angles can come from stored values: a huge or infinite one must not spin the turn count
    // below forever (or reach an integer conversion as NaN).
    if (!std::isfinite(startDegrees) || !std::isfinite(endDegrees)) return;
    double sweep = endDegrees - startDegrees;
    if (clockwise) {
        if (sweep > 0) sweep = std::fmod(sweep, 360.0);
        if (sweep > 0) sweep -= 360;
        sweep = std::max(sweep, -360.0);
    } else {
        if (sweep < 0) sweep = std::fmod(sweep, 360.0);
        if (sweep < 0) sweep += 360;
        sweep = std::min(sweep, 360.0);
    }
    double a0 = startDegrees * M_PI / 180.0;
    Point first{c.x + radius * std::cos(a0), c.y + radius * std::sin(a0)};
    if (hasCurrent_)
        lineTo(first);
    else
        moveTo(first);
    int segments = std::max(1, static_cast<int>(std::ceil(std::abs(sweep) / 90.0 - 1e-9)));
    if (sweep == 0) return;
    double step = sweep * M_PI / 180.0 / segments;
    double k = 4.0 / 3.0 * std::tan(step / 4.0);
    for (int i = 0; i < segments; ++i) {
        double s = a0 + i * step, e = s + step;
        Point p0{c.x + radius * std::cos(s), c.y + radius * std::sin(s)};
        Point p3{c.x + radius * std::cos(e), c.y + radius * std::sin(e)};
        Point c1{p0.x - k * radius * std::sin(s), p0.y + k * radius * std::cos(s)};
        Point c2{p3.x + k * radius * std::sin(e), p3.y - k * radius * std::cos(e)};
        curveTo(p3, c1, c2);
    }
}

void BezierPath::appendRect(const Rect& r) {
    moveTo({r.minX(), r.minY()});
    lineTo({r.maxX(), r.minY()});
    lineTo({r.maxX(), r.maxY()});
    lineTo({r.minX(), r.maxY()});
    closePath();
}

void BezierPath::appendOvalInRect(const Rect& r) {
    const double k = 0.5522847498307936;
    double cx = r.midX(), cy = r.midY(), rx = r.width() * 0.5, ry = r.height() * 0.5;
    moveTo({cx + rx, cy});
    curveTo({cx, cy + ry}, {cx + rx, cy + k * ry}, {cx + k * rx, cy + ry});
    curveTo({cx - rx, cy}, {cx - k * rx, cy + ry}, {cx - rx, cy + k * ry});
    curveTo({cx, cy - ry}, {cx - rx, cy - k * ry}, {cx - k * rx, cy - ry});
    curveTo({cx + rx, cy}, {cx + k * rx, cy - ry}, {cx + rx, cy - k * ry});
    closePath();
}

BezierPath BezierPath::reversed() const {
    // Split into subpaths; each is traced from its last point back to its move.
    BezierPath out;
    size_t i = 0;
    while (i < elements_.size()) {
        size_t begin = i;
        size_t end = i + 1;
        while (end < elements_.size() && elements_[end].type != ElementType::MoveTo)
            ++end;
        // Points along the subpath and the segments between them.
        std::vector<Point> pts;
        std::vector<const Element*> segs;
        bool closed = false;
        Point start = elements_[begin].type == ElementType::MoveTo ? elements_[begin].points[0] : Point{};
        pts.push_back(start);
        for (size_t k = begin + (elements_[begin].type == ElementType::MoveTo ? 1 : 0); k < end; ++k) {
            const Element& e = elements_[k];
            if (e.type == ElementType::ClosePath) {
                closed = true;
                continue;
            }
            segs.push_back(&e);
            pts.push_back(e.type == ElementType::CurveTo ? e.points[2] : e.points[0]);
        }
        if (closed && !(pts.back() == start)) {
            // The closing segment becomes an explicit line when reversed.
            segs.push_back(nullptr);
            pts.push_back(start);
        }
        out.moveTo(pts.back());
        for (size_t s = segs.size(); s-- > 0;) {
            const Element* e = segs[s];
            Point target = pts[s];
            if (e && e->type == ElementType::CurveTo)
                out.curveTo(target, e->points[1], e->points[0]);
            else
                out.lineTo(target);
        }
        if (closed) out.closePath();
        i = end;
    }
    return out;
}

} // namespace vtl
