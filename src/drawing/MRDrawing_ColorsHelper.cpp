#include "drawing/MRDrawing_ColorsHelper.h"

#include "drawing/PreferencesTextStore.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/SinglePrecision.h"
#include "platform/graphics/GraphicsContext.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <sstream>

namespace vtl {

namespace {

std::vector<std::string> split(const std::string& text, char sep) {
    std::vector<std::string> parts;
    std::string cur;
    for (char c : text) {
        if (c == sep) {
            parts.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    parts.push_back(cur);
    return parts;
}

// The leading number of a text, 0 when there is none (the lenient reading stored texts expect).
double floatValue(const std::string& s) {
    return std::strtod(s.c_str(), nullptr);
}
long intValue(const std::string& s) {
    return std::strtol(s.c_str(), nullptr, 10);
}

// A component as a byte value: truncates like a plain conversion, but components far outside
// 0…1 (or NaN) from parsed text must not overflow the integer.
int byteChannel(double component) {
    const double value = component * 255;
    if (!(value == value)) return 0;
    return static_cast<int>(
        std::clamp(value, double(std::numeric_limits<int>::min()), double(std::numeric_limits<int>::max())));
}

std::string format(const char* fmt, double a, double b, double c = 0, double d = 0) {
    char buf[160];
    std::snprintf(buf, sizeof buf, fmt, a, b, c, d);
    return buf;
}

} // namespace

Color MRDrawing_ColorsHelper::plattformColorWithRed(float r, float g, float b, float a) {
    return Color::rgb(r, g, b, a);
}

Color MRDrawing_ColorsHelper::plattformColorWithByteRed(int r, int g, int b, float a) {
    return Color::rgb(static_cast<float>(r) / 255.0f, static_cast<float>(g) / 255.0f,
                      static_cast<float>(b) / 255.0f, a);
}

Color MRDrawing_ColorsHelper::plattformColorBrightness(float brightness, float alpha) {
    return plattformColorWithRed(brightness, brightness, brightness, alpha);
}

Color MRDrawing_ColorsHelper::plattformColorBlendedWithColor(const Color& first, const Color& second,
                                                             float fraction) {
    return first.blended(second, fraction);
}

Color MRDrawing_ColorsHelper::plattformColorWithPatternPlattformImage(ImageRef image) {
    return Color::patternImage(std::move(image));
}

Color MRDrawing_ColorsHelper::plattformColorWithAlpa(const Color& color, float alpha) {
    return color.withAlpha(alpha);
}

Color MRDrawing_ColorsHelper::plattformColorWithHue(float hue, float saturation, float brightness,
                                                    float alpha) {
    return Color::hsb(hue, saturation, brightness, alpha);
}

std::optional<Color> MRDrawing_ColorsHelper::plattformColorForNameFromPreferences(const std::string& key) {
    auto text = PreferencesTextStore::standard().stringForKey(key);
    if (!text) return std::nullopt;
    auto color = plattformColorFromString(*text);
    if (!color) return std::nullopt;
    return color->inCalibratedRGB();
}

void MRDrawing_ColorsHelper::setPlattformColorForNameInPreferences(const Color& color,
                                                                   const std::string& key) {
    Color rgb = color.inCalibratedRGB();
    // The four-field form keeps the alpha of opaque colours explicit.
    PreferencesTextStore::standard().setString(
        key, format("%f;%f;%f;%f", rgb.red, rgb.green, rgb.blue, rgb.alpha));
}

std::optional<Color> MRDrawing_ColorsHelper::plattformColorFromString(const std::string& text) {
    if (text.empty()) return std::nullopt;
    auto parts = split(text, ';');
    if (parts.size() == 4)
        return Color::rgb(floatValue(parts[0]), floatValue(parts[1]), floatValue(parts[2]),
                          floatValue(parts[3]));
    if (parts.size() == 3)
        return Color::rgb(floatValue(parts[0]), floatValue(parts[1]), floatValue(parts[2]), 1.0);
    logMessage("Error parsing Color: " + text);
    return std::nullopt;
}

std::string MRDrawing_ColorsHelper::stringFromPlattformColor(const Color& color) {
    Color c = color.inCalibratedRGB();
    if (c.alpha >= 1.0) return format("%f;%f;%f", c.red, c.green, c.blue);
    return format("%f;%f;%f;%f", c.red, c.green, c.blue, c.alpha);
}

std::optional<Color> MRDrawing_ColorsHelper::plattformColorFromHexString(const std::string& text) {
    std::string hex;
    for (char c : text)
        if (c != '#') hex += c;
    if (hex.size() != 3 && hex.size() != 6) return std::nullopt;
    if (hex.size() == 3) hex = std::string{hex[0], hex[0], hex[1], hex[1], hex[2], hex[2]};
    char* end = nullptr;
    unsigned long value = std::strtoul(hex.c_str(), &end, 16);
    if (end == hex.c_str()) return std::nullopt;
    return Color::rgb(((value >> 16) & 0xff) / 255.0, ((value >> 8) & 0xff) / 255.0, (value & 0xff) / 255.0,
                      1.0);
}

std::string MRDrawing_ColorsHelper::hexStringFromPlattformColor(const Color& color) {
    Color c = color.inCalibratedRGB();
    char buf[16];
    std::snprintf(buf, sizeof buf, "#%.2X%.2X%.2X", static_cast<unsigned>(byteChannel(c.red)),
                  static_cast<unsigned>(byteChannel(c.green)), static_cast<unsigned>(byteChannel(c.blue)));
    return buf;
}

std::optional<Color> MRDrawing_ColorsHelper::plattformColorFromCSSRGBAString(const std::string& text) {
    if (text.empty()) return std::nullopt;
    std::string t = text;
    for (const std::string& token : {std::string("rgba("), std::string(")")}) {
        for (size_t pos; (pos = t.find(token)) != std::string::npos;)
            t.erase(pos, token.size());
    }
    auto parts = split(t, ',');
    if (parts.size() != 4) return std::nullopt;
    auto channel = [](const std::string& s) { return singlePrecision(intValue(s) / 255.0); };
    return Color::rgb(channel(parts[0]), channel(parts[1]), channel(parts[2]), floatValue(parts[3]));
}

std::string MRDrawing_ColorsHelper::CSSRGBAStringFromPlattformColor(const Color& color) {
    char buf[128];
    std::snprintf(buf, sizeof buf, "rgba(%d,%d,%d,%f)", byteChannel(color.red), byteChannel(color.green),
                  byteChannel(color.blue), color.alpha);
    return buf;
}

void MRDrawing_ColorsHelper::setPlattformColorInCurrentContext(const Color& color) {
    if (GraphicsContext* c = GraphicsContext::current()) {
        c->setFillColor(color);
        c->setStrokeColor(color);
    }
}

bool MRDrawing_ColorsHelper::getRGBAComponents(std::array<double, 4>& components, const Color& color) {
    Color c = color.inCalibratedRGB();
    components = {c.red, c.green, c.blue, c.alpha};
    return true;
}

Color MRDrawing_ColorsHelper::createCGColorRefWithRed(float r, float g, float b, float a) {
    return Color::deviceRGB(r, g, b, a);
}

std::optional<Color>
MRDrawing_ColorsHelper::createCGColorRefFromPlattformColor(const std::optional<Color>& color) {
    if (!color) return std::nullopt;
    if (color->numberOfComponents() >= 3 && color->space != Color::Space::CalibratedWhite)
        return Color::deviceRGB(color->red, color->green, color->blue, color->alpha);
    return Color::white(color->whiteComponent(), color->alpha);
}

std::optional<Color> MRDrawing_ColorsHelper::plattformColorFromCGColorRef(const std::optional<Color>& color) {
    return color;
}

std::optional<std::string> MRDrawing_ColorsHelper::stringFromCGColorRef(const std::optional<Color>& color) {
    if (!color) return std::nullopt;
    if (color->numberOfComponents() == 2) return format("%f;%f", color->whiteComponent(), color->alpha);
    if (color->numberOfComponents() == 4)
        return format("%f;%f;%f;%f", color->red, color->green, color->blue, color->alpha);
    return std::nullopt;
}

std::optional<Color> MRDrawing_ColorsHelper::createCGColorRefFromString(const std::string& text) {
    auto parts = split(text, ';');
    if (parts.size() == 4)
        return createCGColorRefWithRed(
            static_cast<float>(floatValue(parts[0])), static_cast<float>(floatValue(parts[1])),
            static_cast<float>(floatValue(parts[2])), static_cast<float>(floatValue(parts[3])));
    if (parts.size() == 2) {
        float w = static_cast<float>(floatValue(parts[0]));
        return createCGColorRefWithRed(w, w, w, static_cast<float>(floatValue(parts[1])));
    }
    return std::nullopt;
}

std::vector<Color> MRDrawing_ColorsHelper::generateRandomPlattformColors(int count) {
    std::vector<Color> list;
    if (count <= 0) return list;
    int rows = count <= 100 ? 1 : count / 100 + 1;
    double step = count <= 100 ? 1.0 / count : 0.01;
    for (int i = 0; i < rows && static_cast<int>(list.size()) < count; ++i) {
        float brightness = 1.0f - 0.5f * (static_cast<float>(i) / static_cast<float>(rows));
        for (double h = 0; h < 1; h += step) {
            if (static_cast<int>(list.size()) >= count) break;
            list.push_back(Color::hsb(h, 1, brightness, 1));
        }
    }
    std::vector<Color> result;
    result.reserve(list.size());
    while (!list.empty()) {
        size_t index = static_cast<size_t>(std::rand()) % list.size();
        result.push_back(list[index]);
        list.erase(list.begin() + static_cast<long>(index));
    }
    return result;
}

} // namespace vtl
