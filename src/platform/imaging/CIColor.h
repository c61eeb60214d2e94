#pragma once
// A colour as image filters take it: red, green, blue and alpha, not premultiplied, device RGB.
// Plain value.

#include "platform/graphics/Color.h"

#include <cstdint>

namespace vtl {

struct CIColor {
    double red = 0, green = 0, blue = 0, alpha = 1;

    CIColor() = default;
    constexpr CIColor(double r, double g, double b, double a = 1)
        : red(r)
        , green(g)
        , blue(b)
        , alpha(a) {}
    // The colour's RGB components (a pattern colour gives its fallback components).
    static CIColor fromColor(const Color& color) { return {color.red, color.green, color.blue, color.alpha}; }
    Color color() const { return Color::deviceRGB(red, green, blue, alpha); }

    // Components clamped to 0…1, NaN counted as 0.
    CIColor clamped() const;
    // The premultiplied pixel as stored: bytes B, G, R, A read as one little-endian word.
    std::uint32_t premultipliedPixel() const;

    friend bool operator==(const CIColor&, const CIColor&) = default;
};

} // namespace vtl
