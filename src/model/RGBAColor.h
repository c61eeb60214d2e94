#pragma once
// A colour held by model values (keyframe frame, shadow and background colours): RGBA components
// in 0 … 1 and whether they are device RGB. Plain value, owned by its holder; kept here so the
// model needs no drawing library.

namespace vtl {

struct RGBAColor {
    double red = 0;
    double green = 0;
    double blue = 0;
    double alpha = 1;
    bool deviceRGB = true;

    static RGBAColor device(double r, double g, double b, double a = 1.0) { return {r, g, b, a, true}; }

    friend bool operator==(const RGBAColor&, const RGBAColor&) = default;
};

} // namespace vtl
