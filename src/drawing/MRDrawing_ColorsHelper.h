#pragma once
// Makes, converts, stores and prints colours: the platform colour (calibrated RGB) and the
// drawing colour (device RGB or grey) are both vtl::Color here, told apart by their space.
// Text forms: "r;g;b[;a]" with "%f" numbers, "#RRGGBB" and "rgba(r,g,b,a)". Stateless.

#include "platform/graphics/Color.h"
#include "platform/graphics/Image.h"

#include <any>
#include <array>
#include <optional>
#include <string>
#include <vector>

namespace vtl {

class MRDrawing_ColorsHelper {
public:
    static Color plattformColorWithRed(float r, float g, float b, float a);
    static Color plattformColorWithByteRed(int r, int g, int b, float a);
    static Color plattformColorBrightness(float brightness, float alpha);
    static Color plattformColorBlendedWithColor(const Color& first, const Color& second, float fraction);
    static Color plattformColorWithPatternPlattformImage(ImageRef image);
    static Color plattformColorWithAlpa(const Color& color, float alpha);
    static Color plattformColorWithHue(float hue, float saturation, float brightness, float alpha);

    // Stored as the colour's text form in the preferences (PreferencesTextStore).
    static std::optional<Color> plattformColorForNameFromPreferences(const std::string& key);
    static void setPlattformColorForNameInPreferences(const Color& color, const std::string& key);

    // "r;g;b" (alpha 1) or "r;g;b;a"; none for an empty text, logged for another count.
    static std::optional<Color> plattformColorFromString(const std::string& text);
    static std::string stringFromPlattformColor(const Color& color);
    static std::optional<Color> plattformColorFromHexString(const std::string& text);
    static std::string hexStringFromPlattformColor(const Color& color);
    static std::optional<Color> plattformColorFromCSSRGBAString(const std::string& text);
    static std::string CSSRGBAStringFromPlattformColor(const Color& color);

    // Fill and stroke colour of the thread's current context.
    static void setPlattformColorInCurrentContext(const Color& color);
    // Whether a loosely typed value (a property-list or archive value) holds a colour.
    static bool isPlattformColor(const std::any& object) { return object.type() == typeid(Color); }
    static bool getRGBAComponents(std::array<double, 4>& components, const Color& color);

    static Color createCGColorRefWithRed(float r, float g, float b, float a);
    // Generic RGB for colours of three or more components (not grey), else generic grey.
    static std::optional<Color> createCGColorRefFromPlattformColor(const std::optional<Color>& color);
    static std::optional<Color> plattformColorFromCGColorRef(const std::optional<Color>& color);
    // "w;a" for grey, "r;g;b;a" for RGB, none otherwise.
    static std::optional<std::string> stringFromCGColorRef(const std::optional<Color>& color);
    static std::optional<Color> createCGColorRefFromString(const std::string& text);

    // N colours of spread hues in rows of brightness, shuffled with rand().
    static std::vector<Color> generateRandomPlattformColors(int count);
};

} // namespace vtl
