#pragma once
// Answers layout questions about a plain string drawn with text attributes: does it fit a box at a
// font size, the largest font size between two bounds at which it fits, and its height at a
// width. Stateless; one shared instance serves all callers.

#include "platform/foundation/Geometry.h"
#include "platform/graphics/Font.h"
#include "platform/graphics/Text.h"

#include <functional>
#include <optional>
#include <string>

namespace vtl {

class VTLTextMeasurer {
public:
    static VTLTextMeasurer& sharedInstance();

    // Whether the text at the font size fits the box (a measure equal to the box fits). No text fits any box.
    bool textFitsInSize(const std::optional<std::string>& text, Size box, const Font& font, float fontSize,
                        const TextAttributes& attributes) const;
    // The largest font size in [minimumSize, maximumSize], within one point, at which the text fits.
    // A size above the minimum is returned only when it was tested and fits; otherwise the
    // minimum is returned (even when the text does not fit at it).
    float maximumFontSizeForText(const std::optional<std::string>& text, Size box, const Font& font,
                                 const TextAttributes& attributes, float minimumSize,
                                 float maximumSize) const;
    // The height the text needs at the width, measured with the attributes as given (their font).
    float requiredHeightForText(const std::optional<std::string>& text, float width, const Font& font,
                                const TextAttributes& attributes) const;

    // The bisection behind maximumFontSizeForText, over any fit test.
    static float largestFittingSize(float minimumSize, float maximumSize,
                                    const std::function<bool(float)>& fits);
};

} // namespace vtl
