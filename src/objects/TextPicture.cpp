#include "objects/TextPicture.h"

#include "platform/graphics/Font.h"
#include "platform/graphics/GraphicsContext.h"
#include "platform/graphics/Text.h"
#include "platform/imaging/VTLImageWrapper.h"

#include <algorithm>
#include <cmath>

namespace vtl {

namespace {

Color textColor(const RGBAColor& c) {
    return Color(c.red, c.green, c.blue, c.alpha,
                 c.deviceRGB ? Color::Space::DeviceRGB : Color::Space::CalibratedRGB);
}

TextAlignment textAlignment(int32_t stored) {
    switch (stored) {
    case 0:
        return TextAlignment::Left;
    case 1:
        return TextAlignment::Center;
    case 2:
        return TextAlignment::Right;
    case 3:
        return TextAlignment::Justified;
    default:
        return TextAlignment::Natural;
    }
}

// The named face, or the family the font configuration substitutes for the name.
TextAttributes attributesFor(const TextPictureStyle& style) {
    const double size = std::isfinite(style.pointSize) && style.pointSize > 0 ? style.pointSize : 12;
    TextAttributes attributes;
    attributes.font = Font::withName(style.fontName, size).value_or(Font(style.fontName, size));
    attributes.foregroundColor = textColor(style.color);
    ParagraphStyle paragraph;
    paragraph.alignment = textAlignment(style.alignment);
    attributes.paragraphStyle = paragraph;
    return attributes;
}

// Number of bytes of the UTF-8 sequence that starts with the byte.
size_t sequenceLength(unsigned char lead) {
    if (lead < 0x80) return 1;
    if ((lead >> 5) == 0x6) return 2;
    if ((lead >> 4) == 0xe) return 3;
    if ((lead >> 3) == 0x1e) return 4;
    return 1;
}

} // namespace

std::size_t utf16Length(const std::string& text) {
    std::size_t units = 0;
    for (size_t i = 0; i < text.size();) {
        const size_t n = sequenceLength(static_cast<unsigned char>(text[i]));
        units += n == 4 ? 2 : 1;
        i += n;
    }
    return units;
}

std::string utf16Prefix(const std::string& text, std::size_t units) {
    size_t i = 0, counted = 0;
    while (i < text.size()) {
        const size_t n = sequenceLength(static_cast<unsigned char>(text[i]));
        const size_t width = n == 4 ? 2 : 1;
        // Half a surrogate pair shows nothing: the character waits for its second unit.
        if (counted + width > units) break;
        counted += width;
        i = std::min(text.size(), i + n);
    }
    return text.substr(0, i);
}

Size requiredTextSize(const std::string& text, const TextPictureStyle& style) {
    // Every line of the text, none wrapped.
    const Rect bounds = boundingRectForString(text, Size{1.0e6, 0}, attributesFor(style),
                                              StringDrawingUsesLineFragmentOrigin);
    return Size{bounds.size.width + 2.0 * style.horizontalPadding,
                bounds.size.height + 2.0 * style.verticalPadding};
}

CIImage renderTextPicture(const std::string& text, std::size_t visibleUnits, Size size,
                          const TextPictureStyle& style, double rotationDegrees, double xFactor,
                          double yFactor, const ColorSpaceRef& colorSpace) {
    const double w = size.width, h = size.height;
    for (double v : {w, h, xFactor, yFactor, rotationDegrees, static_cast<double>(style.horizontalPadding),
                     static_cast<double>(style.verticalPadding)})
        if (!std::isfinite(v)) return {};
    if (w <= 0 || h <= 0 || xFactor <= 0 || yFactor <= 0) return {};

    VTLImageWrapper wrapper;
    std::shared_ptr<GraphicsContext> context =
        wrapper.beginContextWithSize(Size{std::ceil(w * xFactor), std::ceil(h * yFactor)}, colorSpace, false);
    if (!context) return {};
    context->scaleCTM(xFactor, yFactor);
    if (style.drawsBackground) {
        context->setFillColor(textColor(style.backgroundColor));
        context->fillRect(Rect(0, 0, w, h));
    }

    Rect box = Rect(0, 0, w, h).insetBy(style.horizontalPadding, style.verticalPadding).insetBy(-2.0, -2.0);
    box.size.width = std::ceil(box.size.width);
    box.size.height = std::ceil(box.size.height);
    const TextAttributes attributes = attributesFor(style);
    if (box.size.width > 0 && box.size.height > 0 && visibleUnits > 0) {
        const double textHeight =
            boundingRectForString(text, box.size, attributes, StringDrawingUsesLineFragmentOrigin)
                .size.height;
        // The text block sits on the box's bottom edge and is lifted by the alignment.
        if (style.verticalAlignment == 0) {
            box.origin.y += box.size.height - textHeight;
        } else if (style.verticalAlignment == 1) {
            box.origin.y += (box.size.height - textHeight) / 2;
        }
        box.size.height = std::ceil(textHeight);
        box.origin.x = std::ceil(box.origin.x);
        box.origin.y = std::ceil(box.origin.y);
        if (style.drawsShadow) {
            const double a = (style.shadowAngle - rotationDegrees) * 0.017453292;
            const double m = std::max(xFactor, yFactor) * style.shadowDistance;
            RGBAColor shade = style.shadowColor;
            shade.alpha = style.shadowOpacity;
            if (std::isfinite(a) && std::isfinite(m) && std::isfinite(style.shadowRadius))
                context->setShadow(Size{std::sin(a) * m, std::cos(a) * m}, std::max(0.0f, style.shadowRadius),
                                   textColor(shade));
        }
        const std::string shown = visibleUnits >= utf16Length(text) ? text : utf16Prefix(text, visibleUnits);
        drawString(*context, shown, box, attributes, StringDrawingUsesLineFragmentOrigin);
    }
    return wrapper.releaseContextAndCreateCIImage();
}

} // namespace vtl
