#include "platform/foundation/Geometry.h"

#include "platform/foundation/StringConcat.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <vector>

namespace vtl {

Rect Rect::standardized() const {
    Rect r = *this;
    if (r.size.width < 0) {
        r.origin.x += r.size.width;
        r.size.width = -r.size.width;
    }
    if (r.size.height < 0) {
        r.origin.y += r.size.height;
        r.size.height = -r.size.height;
    }
    return r;
}

Rect Rect::insetBy(double dx, double dy) const {
    return {origin.x + dx, origin.y + dy, size.width - 2 * dx, size.height - 2 * dy};
}

Rect Rect::offsetBy(double dx, double dy) const {
    return {origin.x + dx, origin.y + dy, size.width, size.height};
}

Rect Rect::integral() const {
    Rect r = standardized();
    double x0 = std::floor(r.minX()), y0 = std::floor(r.minY());
    double x1 = std::ceil(r.maxX()), y1 = std::ceil(r.maxY());
    return {x0, y0, x1 - x0, y1 - y0};
}

bool Rect::containsPoint(Point p) const {
    Rect r = standardized();
    return p.x >= r.minX() && p.x < r.maxX() && p.y >= r.minY() && p.y < r.maxY();
}

bool Rect::containsRect(const Rect& other) const {
    Rect a = standardized(), b = other.standardized();
    return b.minX() >= a.minX() && b.maxX() <= a.maxX() && b.minY() >= a.minY() && b.maxY() <= a.maxY();
}

bool Rect::intersects(const Rect& other) const {
    return !intersection(other).isEmpty();
}

Rect Rect::intersection(const Rect& other) const {
    Rect a = standardized(), b = other.standardized();
    double x0 = std::max(a.minX(), b.minX()), y0 = std::max(a.minY(), b.minY());
    double x1 = std::min(a.maxX(), b.maxX()), y1 = std::min(a.maxY(), b.maxY());
    if (!(x1 > x0) || !(y1 > y0)) return {};
    return {x0, y0, x1 - x0, y1 - y0};
}

Rect Rect::unionWith(const Rect& other) const {
    if (isEmpty()) return other.standardized();
    if (other.isEmpty()) return standardized();
    Rect a = standardized(), b = other.standardized();
    double x0 = std::min(a.minX(), b.minX()), y0 = std::min(a.minY(), b.minY());
    double x1 = std::max(a.maxX(), b.maxX()), y1 = std::max(a.maxY(), b.maxY());
    return {x0, y0, x1 - x0, y1 - y0};
}

Rect boundingRectOfPoints(std::span<const Point> points) {
    if (points.empty()) return {};
    double x0 = points[0].x, x1 = x0, y0 = points[0].y, y1 = y0;
    for (const Point& p : points) {
        x0 = std::min(x0, p.x);
        x1 = std::max(x1, p.x);
        y0 = std::min(y0, p.y);
        y1 = std::max(y1, p.y);
    }
    return {x0, y0, x1 - x0, y1 - y0};
}

namespace {

std::string number(double v) {
    if (v == 0) v = 0; // no "-0" in stored text
    std::array<char, 32> buf{};
    auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), v);
    if (ec != std::errc()) return "0";
    return std::string(buf.data(), end);
}

// Reads every number in the text, in order, skipping anything else.
std::vector<double> numbersIn(std::string_view text) {
    std::vector<double> values;
    const char* p = text.data();
    const char* end = p + text.size();
    while (p < end) {
        if ((*p >= '0' && *p <= '9') || *p == '-' || *p == '+' || *p == '.') {
            const char* start = (*p == '+') ? p + 1 : p;
            double v = 0;
            auto [next, ec] = std::from_chars(start, end, v);
            if (ec == std::errc() && next > start) {
                values.push_back(v);
                p = next;
                continue;
            }
        }
        ++p;
    }
    return values;
}

// Strict reader for "{a, b}" and "{{a, b}, {c, d}}": braces, commas and spaces in place, numbers only.
class StrictReader {
public:
    explicit StrictReader(std::string_view t)
        : text_(t) {}
    bool expect(char c) {
        skipSpaces();
        if (pos_ < text_.size() && text_[pos_] == c) {
            ++pos_;
            return true;
        }
        return false;
    }
    std::optional<double> number() {
        skipSpaces();
        const char* begin = text_.data() + pos_;
        const char* end = text_.data() + text_.size();
        if (begin < end && *begin == '+') ++begin;
        double v = 0;
        auto [next, ec] = std::from_chars(begin, end, v);
        if (ec != std::errc() || next == begin) return std::nullopt;
        pos_ = static_cast<size_t>(next - text_.data());
        return v;
    }
    std::optional<std::array<double, 2>> pair() {
        if (!expect('{')) return std::nullopt;
        auto a = number();
        if (!a || !expect(',')) return std::nullopt;
        auto b = number();
        if (!b || !expect('}')) return std::nullopt;
        return std::array<double, 2>{*a, *b};
    }
    bool atEnd() {
        skipSpaces();
        return pos_ == text_.size();
    }

private:
    void skipSpaces() {
        while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\n'))
            ++pos_;
    }
    std::string_view text_;
    size_t pos_ = 0;
};

} // namespace

std::string stringFromPoint(Point p) {
    return concat({"{", number(p.x), ", ", number(p.y), "}"});
}
std::string stringFromSize(Size s) {
    return concat({"{", number(s.width), ", ", number(s.height), "}"});
}
std::string stringFromRect(const Rect& r) {
    return concat({"{", stringFromPoint(r.origin), ", ", stringFromSize(r.size), "}"});
}

std::optional<Point> parsePoint(std::string_view text) {
    StrictReader reader(text);
    auto p = reader.pair();
    if (!p || !reader.atEnd()) return std::nullopt;
    return Point{(*p)[0], (*p)[1]};
}

std::optional<Size> parseSize(std::string_view text) {
    auto p = parsePoint(text);
    if (!p) return std::nullopt;
    return Size{p->x, p->y};
}

std::optional<Rect> parseRect(std::string_view text) {
    StrictReader reader(text);
    if (!reader.expect('{')) return std::nullopt;
    auto o = reader.pair();
    if (!o || !reader.expect(',')) return std::nullopt;
    auto s = reader.pair();
    if (!s || !reader.expect('}') || !reader.atEnd()) return std::nullopt;
    return Rect{(*o)[0], (*o)[1], (*s)[0], (*s)[1]};
}

Point pointFromString(std::string_view text) {
    auto v = numbersIn(text);
    v.resize(2, 0.0);
    return {v[0], v[1]};
}

Size sizeFromString(std::string_view text) {
    auto v = numbersIn(text);
    v.resize(2, 0.0);
    return {v[0], v[1]};
}

Rect rectFromString(std::string_view text) {
    auto v = numbersIn(text);
    v.resize(4, 0.0);
    return {v[0], v[1], v[2], v[3]};
}

} // namespace vtl
