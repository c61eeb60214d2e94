#pragma once
// A colour value: calibrated RGB (or grey) components with alpha, optionally a pattern image.
// Conversions to and from HSB and grey live here; no Qt, so model code can hold colours.
// Plain value; the holder owns it.

#include <cstddef>
#include <memory>

namespace vtl {

class Image;

// Hue, saturation and brightness, each 0..1, with alpha.
struct HSBComponents {
    double hue = 0, saturation = 0, brightness = 0, alpha = 1;
};

struct Color {
    // The space the colour was made in. Components are always available as RGB.
    enum class Space { CalibratedRGB, DeviceRGB, CalibratedWhite, Pattern };

    double red = 0, green = 0, blue = 0, alpha = 1;
    Space space = Space::CalibratedRGB;
    // Set only for pattern colours: the image tiled when filling.
    std::shared_ptr<const Image> pattern;

    Color() = default;
    // Explicit, so that a braced list of numbers is never taken for a colour by accident.
    explicit Color(double r, double g, double b, double a = 1.0, Space s = Space::CalibratedRGB,
                   std::shared_ptr<const Image> patternImage = nullptr)
        : red(r)
        , green(g)
        , blue(b)
        , alpha(a)
        , space(s)
        , pattern(std::move(patternImage)) {}

    static Color rgb(double r, double g, double b, double a = 1.0) { return Color(r, g, b, a); }
    static Color deviceRGB(double r, double g, double b, double a = 1.0) {
        return Color(r, g, b, a, Space::DeviceRGB);
    }
    static Color white(double w, double a = 1.0) { return Color(w, w, w, a, Space::CalibratedWhite); }
    static Color hsb(double hue, double saturation, double brightness, double alpha = 1.0);
    static Color hsb(const HSBComponents& c) { return hsb(c.hue, c.saturation, c.brightness, c.alpha); }
    static Color patternImage(std::shared_ptr<const Image> image);

    static Color black() { return white(0); }
    static Color whiteColor() { return white(1); }
    static Color clear() { return white(0, 0); }
    static Color redColor() { return rgb(1, 0, 0); }
    static Color grayColor() { return white(0.5); }

    // Number of components of the colour's own space, alpha included (2 for grey, 4 for RGB).
    int numberOfComponents() const {
        return space == Space::CalibratedWhite ? 2 : space == Space::Pattern ? 0 : 4;
    }
    // The grey level: the components' luminance for RGB colours, the level itself for grey ones.
    double whiteComponent() const;
    HSBComponents hsbComponents() const;
    Color withAlpha(double a) const;
    // The same components in calibrated RGB.
    Color inCalibratedRGB() const;
    // This colour moved toward `other` by fraction (0 keeps this, 1 gives other), alpha included.
    Color blended(const Color& other, double fraction) const;

    // Equal colours give equal hashes (used in cache keys).
    size_t hash() const;

    friend bool operator==(const Color& l, const Color& r) {
        return l.red == r.red && l.green == r.green && l.blue == r.blue && l.alpha == r.alpha &&
               l.space == r.space && l.pattern == r.pattern;
    }
};

} // namespace vtl
