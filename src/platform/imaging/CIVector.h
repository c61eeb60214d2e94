#pragma once
// A vector of up to four numbers as image filters take it (a point, a rectangle as x, y, width,
// height, or a row of a colour matrix). Plain value.

#include <array>
#include <cstddef>
#include <initializer_list>

namespace vtl {

struct CIVector {
    std::array<double, 4> values{};
    std::size_t count = 0;

    CIVector() = default;
    CIVector(std::initializer_list<double> list) {
        for (double v : list)
            if (count < values.size()) values[count++] = v;
    }
    // Component i, 0 past the end.
    double at(std::size_t i) const { return i < count ? values[i] : 0.0; }
    double x() const { return at(0); }
    double y() const { return at(1); }
    double z() const { return at(2); }
    double w() const { return at(3); }

    friend bool operator==(const CIVector&, const CIVector&) = default;
};

} // namespace vtl
