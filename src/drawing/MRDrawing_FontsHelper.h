#pragma once
// Makes and converts fonts for drawing code; the text form of a font is "name;size". Stateless.

#include "platform/graphics/Font.h"

#include <optional>
#include <string>

namespace vtl {

class MRDrawing_FontsHelper {
public:
    // The system family's ultra-light (light) face when it has one, else the named fallback face,
    // else the system font.
    static Font defaultUltraLightPlattformFontOfSize(double size);
    static Font defaultLightPlattformFontOfSize(double size);
    static Font defaultPlattformFontOfSize(double size);
    static Font defaultBoldPlattformFontOfSize(double size);
    static std::optional<Font> plattformFontWithName(const std::string& name, float size);
    static std::optional<Font> plattformFontFromString(const std::string& text);
    static std::string stringFromPlattformFont(const Font& font);
    static std::string systemFontName();
    static std::string boldSystemFontName();
    static Font convertPlattformFontToBold(const Font& font);
    static Font convertPlattformFontToItalic(const Font& font);
    static Font convertPlattformFontToSize(const Font& font, double size);
    static double sizeOfPlattformFont(const Font& font);
    static std::string nameOfPlattformFont(const Font& font);
};

} // namespace vtl
