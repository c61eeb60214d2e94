#include "platform/graphics/BezierPath.h"

#include <algorithm>

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

void BezierPath::appendPath(const BezierPath& other) {
    for (const Element& e : other.elements_) {
        switch (e.type) {
        case ElementType::MoveTo: moveTo(e.points[0]); break;
        case ElementType::LineTo: lineTo(e.points[0]); break;
        case ElementType::CurveTo: curveTo(e.points[2], e.points[0], e.points[1]); break;
        case ElementType::ClosePath: closePath(); break;
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
        int n = e.type == ElementType::CurveTo ? 3 : e.type == ElementType::ClosePath ? 0 : 1;
        for (int i = 0; i < n; ++i) e.points[i] = t.apply(e.points[i]);
    }
    current_ = t.apply(current_);
    subpathStart_ = t.apply(subpathStart_);
}

Rect BezierPath::controlPointBounds() const {
    bool any = false;
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    for (const Element& e : elements_) {
        int n = e.type == ElementType::CurveTo ? 3 : e.type == ElementType::ClosePath ? 0 : 1;
        for (int i = 0; i < n; ++i) {
            const Point& p = e.points[i];
            if (!any) {
                x0 = x1 = p.x;
                y0 = y1 = p.y;
                any = true;
            }
            x0 = std::min(x0, p.x);
            x1 = std::max(x1, p.x);
            y0 = std::min(y0, p.y);
            y1 = std::max(y1, p.y);
        }
    }
    return {x0, y0, x1 - x0, y1 - y0};
}

} // namespace vtl
