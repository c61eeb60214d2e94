#include "drawing/ColorAdditions.h"

namespace vtl {

Color rgbColor(const Color& color) {
    return color.blended(Color::redColor(), 0.00001);
}

Color colorByAddingHue(const Color& color, float hue, float saturation, float brightness, float alpha) {
    HSBComponents c = rgbColor(color).hsbComponents();
    return Color::hsb(static_cast<float>(c.hue) + hue, static_cast<float>(c.saturation) + saturation,
                      static_cast<float>(c.brightness) + brightness, static_cast<float>(c.alpha) + alpha);
}

Color colorWithAlpha(const Color& color, float alpha) {
    return Color::deviceRGB(color.red, color.green, color.blue, alpha);
}

Color ciColor(const Color& color) {
    Color rgb = rgbColor(color);
    return Color::deviceRGB(rgb.red, rgb.green, rgb.blue, 1.0);
}

Color colorFromCIColor(const Color& c) {
    return Color::deviceRGB(c.red, c.green, c.blue, 1.0);
}

Color colorBySwappingRedAndBlue(const Color& color) {
    Color c = color.blended(Color::whiteColor(), 0.0001);
    return Color::deviceRGB(static_cast<float>(c.blue), static_cast<float>(c.green),
                            static_cast<float>(c.red), static_cast<float>(c.alpha));
}

} // namespace vtl
