#pragma once
// Draws and measures text for drawing code: plain strings with a font, colour, alignment,
// line-break mode and maximum line height (through a process-wide cache of attribute sets),
// embossed labels, attributed strings broken into lines and stacked, and text along a circular arc.
// Stateless apart from the attribute cache, which has its own lock.

#include "platform/foundation/Geometry.h"
#include "platform/graphics/Color.h"
#include "platform/graphics/Font.h"
#include "platform/graphics/GraphicsContext.h"
#include "platform/graphics/Text.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vtl {

class MRDrawing_StringDrawingHelper {
public:
    // Alignment: 0 left, 1 centre, 2 right, other: default. Word wrap: 1 character wrapping,
    // 2 clipping, 3/4/5 truncating head/tail/middle, other: wrapping at words. A maximum line
    // height applies when above 0. Draws into the current context.
    static void drawString(const std::string& text, const Rect& rect, const Font& font,
                           const std::optional<Color>& color, int alignment, int wordWrap,
                           float maximumLineHeight);
    static void drawString(const std::string& text, const Rect& rect, const Font& font) {
        drawString(text, rect, font, std::nullopt, 0, 0, 0);
    }
    static void drawString(const std::string& text, const Rect& rect, const Font& font, int alignment) {
        drawString(text, rect, font, std::nullopt, alignment, 0, 0);
    }
    static void drawString(const std::string& text, const Rect& rect, const Font& font, int alignment,
                           int wordWrap) {
        drawString(text, rect, font, std::nullopt, alignment, wordWrap, 0);
    }
    static void drawString(const std::string& text, const Rect& rect, const Font& font,
                           const std::optional<Color>& color, int alignment, int wordWrap) {
        drawString(text, rect, font, color, alignment, wordWrap, 0);
    }

    // Black text over a white shadow one point below (while drawing to the screen and strength > 0).
    static void drawBlackEmbossedString(const std::string& text, const Rect& rect, const Font& font,
                                        int alignment, int wordWrap, float embossStrength = 0.75f,
                                        float opacity = 1.0f, float maximumLineHeight = 0);
    // White text over a black shadow one point above.
    static void drawWhiteEmbossedString(const std::string& text, const Rect& rect, const Font& font,
                                        int alignment, int wordWrap, float embossStrength = 0.75f,
                                        float opacity = 1.0f, float maximumLineHeight = 0);

    static Size sizeOfString(const std::string& text, const Font& font, float maximumLineHeight,
                             Size constrainedToSize);
    static Size sizeOfString(const std::string& text, const Font& font, Size constrainedToSize) {
        return sizeOfString(text, font, 0, constrainedToSize);
    }
    static Size sizeOfString(const std::string& text, const Font& font);

    static std::vector<TextLine> createArrayWithCTLinesFromTypesetter(const Typesetter& typesetter,
                                                                      const AttributedString& string,
                                                                      float width);
    static int heightOfAttributedString(const AttributedString& string, int width, GraphicsContext& context);
    static void drawAttributedString(const AttributedString& string, const Rect& rect, int alignment,
                                     GraphicsContext& context);
    static int heightOfAttribtedStringOnArc(const AttributedString& string, float startAngle, float endAngle,
                                            float radius, bool flipped, GraphicsContext& context);
    static void drawAttributedStringOnArc(const AttributedString& string, float startAngle, float endAngle,
                                          float radius, bool flipped, GraphicsContext& context);
    static void drawAttributedStringOnArc(const AttributedString& string, float startAngle, float endAngle,
                                          float radius, float maxRadius, float minRadius, bool flipped,
                                          GraphicsContext& context);

    // The cached attribute set for the settings (built on first use of a combination).
    static std::shared_ptr<const TextAttributes> attributes(const Font& font,
                                                            const std::optional<Color>& color, int alignment,
                                                            int wordWrap, float maximumLineHeight);
    // How many attribute sets the cache has built so far.
    static int attributesBuildCount();
};

} // namespace vtl
