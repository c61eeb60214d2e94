#include "platform/graphics/Color.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace vtl {

Color Color::hsb(double hue, double saturation, double brightness, double alpha) {
    // An infinite or NaN hue has no sector; read it as red rather than convert NaN to an index.
    double h = std::isfinite(hue) ? hue - std::floor(hue) : 0.0;
    double s = std::clamp(saturation, 0.0, 1.0);
    double v = brightness;
    double r = v, g = v, b = v;
    if (s > 0) {
        double sector = h * 6.0;
        int i = std::clamp(static_cast<int>(std::floor(sector)), 0, 6) % 6;
        double f = sector - std::floor(sector);
        double p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
        switch (i) {
        case 0:
            r = v, g = t, b = p;
            break;
        case 1:
            r = q, g = v, b = p;
            break;
        case 2:
            r = p, g = v, b = t;
            break;
        case 3:
            r = p, g = q, b = v;
            break;
        case 4:
            r = t, g = p, b = v;
            break;
        default:
            r = v, g = p, b = q;
            break;
        }
    }
    return rgb(r, g, b, alpha);
}

Color Color::patternImage(std::shared_ptr<const Image> image) {
    return Color(0, 0, 0, 1, Space::Pattern, std::move(image));
}

double Color::whiteComponent() const {
    if (space == Space::CalibratedWhite) return red;
    return 0.299 * red + 0.587 * green + 0.114 * blue;
}

HSBComponents Color::hsbComponents() const {
    double mx = std::max({red, green, blue});
    double mn = std::min({red, green, blue});
    double delta = mx - mn;
    HSBComponents out;
    out.brightness = mx;
    out.alpha = alpha;
    out.saturation = mx > 0 ? delta / mx : 0;
    if (delta > 0) {
        double h;
        if (mx == red)
            h = (green - blue) / delta;
        else if (mx == green)
            h = 2 + (blue - red) / delta;
        else
            h = 4 + (red - green) / delta;
        h /= 6.0;
        if (h < 0) h += 1;
        out.hue = h;
    }
    return out;
}

Color Color::withAlpha(double a) const {
    Color c = *this;
    c.alpha = a;
    return c;
}

Color Color::inCalibratedRGB() const {
    Color c = *this;
    if (c.space != Space::Pattern) c.space = Space::CalibratedRGB;
    return c;
}

Color Color::blended(const Color& other, double fraction) const {
    double f = std::clamp(fraction, 0.0, 1.0);
    auto mix = [f](double a, double b) { return a * (1 - f) + b * f; };
    return rgb(mix(red, other.red), mix(green, other.green), mix(blue, other.blue), mix(alpha, other.alpha));
}

size_t Color::hash() const {
    size_t h = std::hash<double>{}(red);
    auto combine = [&h](size_t v) { h ^= v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2); };
    combine(std::hash<double>{}(green));
    combine(std::hash<double>{}(blue));
    combine(std::hash<double>{}(alpha));
    combine(static_cast<size_t>(space));
    combine(std::hash<const void*>{}(pattern.get()));
    return h;
}

} // namespace vtl
