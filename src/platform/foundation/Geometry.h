#pragma once
// Points, sizes and rectangles in double precision with the original platform's conventions
// (origin at the bottom-left unless a view is flipped), and their stored text forms
// "{x, y}", "{w, h}" and "{{x, y}, {w, h}}". Plain values; nobody owns them.

#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vtl {

struct Point {
    double x = 0;
    double y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

struct Size {
    double width = 0;
    double height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

struct Rect {
    Point origin;
    Size size;

    constexpr Rect() = default;
    constexpr Rect(Point o, Size s)
        : origin(o)
        , size(s) {}
    constexpr Rect(double x, double y, double w, double h)
        : origin{x, y}
        , size{w, h} {}

    double minX() const { return origin.x; }
    double minY() const { return origin.y; }
    double maxX() const { return origin.x + size.width; }
    double maxY() const { return origin.y + size.height; }
    double midX() const { return origin.x + size.width * 0.5; }
    double midY() const { return origin.y + size.height * 0.5; }
    double width() const { return size.width; }
    double height() const { return size.height; }
    Point center() const { return {midX(), midY()}; }
    // Empty: no area (zero or negative width or height).
    bool isEmpty() const { return !(size.width > 0) || !(size.height > 0); }

    // The same rectangle with non-negative width and height.
    Rect standardized() const;
    Rect insetBy(double dx, double dy) const;
    Rect offsetBy(double dx, double dy) const;
    // Smallest rectangle with integral edges that contains this one.
    Rect integral() const;
    bool containsPoint(Point p) const;
    bool containsRect(const Rect& other) const;
    bool intersects(const Rect& other) const;
    // The overlap, or an empty rectangle at the origin when there is none.
    Rect intersection(const Rect& other) const;
    // The smallest rectangle holding both; an empty operand is ignored.
    Rect unionWith(const Rect& other) const;

    friend bool operator==(const Rect&, const Rect&) = default;
};

// The smallest rectangle holding every point; the zero rectangle when there are none.
Rect boundingRectOfPoints(std::span<const Point> points);

// Text forms. Numbers are written in their shortest exact form, so a value read back is equal.
std::string stringFromPoint(Point p);
std::string stringFromSize(Size s);
std::string stringFromRect(const Rect& r);

// Strict parsers: nullopt unless the text has the expected braces and numbers.
std::optional<Point> parsePoint(std::string_view text);
std::optional<Size> parseSize(std::string_view text);
std::optional<Rect> parseRect(std::string_view text);

// Lenient forms, as stored files expect: the numbers found in order, missing ones zero.
Point pointFromString(std::string_view text);
Size sizeFromString(std::string_view text);
Rect rectFromString(std::string_view text);

} // namespace vtl
