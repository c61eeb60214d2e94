#pragma once
// A path of move, line, cubic-curve and close elements, inspectable element by element.
// It stands for both path kinds of the original platform (the path object and the mutable
// graphics path). Plain value; the holder owns it.

#include "platform/foundation/AffineTransform.h"
#include "platform/foundation/Geometry.h"

#include <array>
#include <vector>

namespace vtl {

class BezierPath {
public:
    enum class ElementType { MoveTo, LineTo, CurveTo, ClosePath };
    struct Element {
        ElementType type;
        // MoveTo, LineTo: points[0]. CurveTo: control 1, control 2, end. ClosePath: none.
        std::array<Point, 3> points{};
        friend bool operator==(const Element&, const Element&) = default;
    };

    void moveTo(Point p);
    // Line and curve elements without a current point start with an implicit move to their first point.
    void lineTo(Point p);
    void curveTo(Point end, Point control1, Point control2);
    void closePath();
    // A close element even when there is no current point (a path of only a close element is how
    // some builders report an empty outline).
    void appendCloseElement();
    void appendPath(const BezierPath& other);
    void removeAllPoints();
    void transform(const AffineTransform& t);

    bool isEmpty() const { return elements_.empty(); }
    size_t elementCount() const { return elements_.size(); }
    const Element& element(size_t index) const { return elements_.at(index); }
    const std::vector<Element>& elements() const { return elements_; }
    bool hasCurrentPoint() const { return hasCurrent_; }
    // The end of the last element; after a close, the start of that subpath. Zero when there is none.
    Point currentPoint() const { return current_; }
    // Bounds of every point of every element, control points included.
    Rect controlPointBounds() const;
    // Tight bounds of the outline (curve extrema, not control points).
    Rect bounds() const;

    // An arc of a circle, angles in degrees; clockwise as seen with y up. Starts with a line from
    // the current point to the arc's start, or a move when there is no current point.
    void appendArc(Point center, double radius, double startDegrees, double endDegrees, bool clockwise);
    // A closed rectangle starting at (x, y), counter-clockwise in y-up space.
    void appendRect(const Rect& r);
    // A closed ellipse inscribed in the rectangle.
    void appendOvalInRect(const Rect& r);
    // The same outline traced backward, subpath by subpath.
    BezierPath reversed() const;

    friend bool operator==(const BezierPath& l, const BezierPath& r) { return l.elements_ == r.elements_; }

private:
    static int pointCount(ElementType type) {
        return type == ElementType::CurveTo ? 3 : type == ElementType::ClosePath ? 0 : 1;
    }

    std::vector<Element> elements_;
    Point current_;
    Point subpathStart_;
    bool hasCurrent_ = false;
};

} // namespace vtl
