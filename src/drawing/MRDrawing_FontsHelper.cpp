#include "drawing/MRDrawing_FontsHelper.h"

#include <cstdio>
#include <cstdlib>

namespace vtl {

namespace {

Font weightedOrFallback(double size, int weight, const char* fallbackName) {
    Font system = Font::systemFont(size);
    Font weighted(system.family(), size, weight);
    if (auto face = Font::withName(weighted.name(), size)) return *face;
    if (auto fallback = Font::withName(fallbackName, size)) return *fallback;
    return system;
}

} // namespace

Font MRDrawing_FontsHelper::defaultUltraLightPlattformFontOfSize(double size) {
    return weightedOrFallback(size, Font::UltraLight, "HelveticaNeue-UltraLight");
}

Font MRDrawing_FontsHelper::defaultLightPlattformFontOfSize(double size) {
    return weightedOrFallback(size, Font::Light, "HelveticaNeue-Light");
}

Font MRDrawing_FontsHelper::defaultPlattformFontOfSize(double size) {
    return Font::systemFont(size);
}
Font MRDrawing_FontsHelper::defaultBoldPlattformFontOfSize(double size) {
    return Font::boldSystemFont(size);
}

std::optional<Font> MRDrawing_FontsHelper::plattformFontWithName(const std::string& name, float size) {
    return Font::withName(name, size);
}

std::optional<Font> MRDrawing_FontsHelper::plattformFontFromString(const std::string& text) {
    auto sep = text.find(';');
    if (sep == std::string::npos || text.find(';', sep + 1) != std::string::npos) return std::nullopt;
    return Font::withName(text.substr(0, sep),
                          static_cast<float>(std::strtod(text.c_str() + sep + 1, nullptr)));
}

std::string MRDrawing_FontsHelper::stringFromPlattformFont(const Font& font) {
    char size[64];
    std::snprintf(size, sizeof size, "%f", font.pointSize());
    return font.name() + ";" + size;
}

std::string MRDrawing_FontsHelper::systemFontName() {
    return Font::systemFont(10).name();
}
std::string MRDrawing_FontsHelper::boldSystemFontName() {
    return Font::boldSystemFont(10).name();
}
Font MRDrawing_FontsHelper::convertPlattformFontToBold(const Font& font) {
    return font.bold();
}
Font MRDrawing_FontsHelper::convertPlattformFontToItalic(const Font& font) {
    return font.italic();
}
Font MRDrawing_FontsHelper::convertPlattformFontToSize(const Font& font, double size) {
    return font.withSize(size);
}
double MRDrawing_FontsHelper::sizeOfPlattformFont(const Font& font) {
    return font.pointSize();
}
std::string MRDrawing_FontsHelper::nameOfPlattformFont(const Font& font) {
    return font.name();
}

} // namespace vtl
