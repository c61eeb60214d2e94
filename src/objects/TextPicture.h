#pragma once
// Lays out, measures and rasterises the text of a text object through the graphics layer: the
// style as plain values (the drawing layer's text types stay out of the model's headers). Free
// functions, callable from render threads.

#include "model/RGBAColor.h"
#include "platform/foundation/Geometry.h"
#include "platform/imaging/CIImage.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace vtl {

struct TextPictureStyle {
    std::string fontName = "Helvetica";
    double pointSize = 54;
    RGBAColor color;
    // Stored numbers: 0 left, 1 centre, 2 right, 3 justified.
    int32_t alignment = 1;
    // 0 top, 1 middle, any other bottom.
    int32_t verticalAlignment = 0;
    float horizontalPadding = 10;
    float verticalPadding = 10;
    bool drawsBackground = false;
    RGBAColor backgroundColor;
    bool drawsShadow = false;
    RGBAColor shadowColor;
    float shadowOpacity = 0;
    float shadowRadius = 0;
    float shadowAngle = 180;
    float shadowDistance = 0;
};

// The size of the whole text drawn as one string, plus the paddings on both sides.
Size requiredTextSize(const std::string& text, const TextPictureStyle& style);

// The text in a rectangle of the size at the scale (fx, fy): background, then the first
// `visibleUnits` UTF-16 units of the text (the layout is that of the whole text), with the shadow
// turned against the object's rotation. None for a size, scale or style value that cannot be drawn.
CIImage renderTextPicture(const std::string& text, std::size_t visibleUnits, Size size,
                          const TextPictureStyle& style, double rotationDegrees, double xFactor,
                          double yFactor, const ColorSpaceRef& colorSpace);

// UTF-16 units of the text.
std::size_t utf16Length(const std::string& text);
// The text's first `units` UTF-16 units, shortened so that no surrogate pair is split.
std::string utf16Prefix(const std::string& text, std::size_t units);

} // namespace vtl
