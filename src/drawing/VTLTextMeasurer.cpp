#include "drawing/VTLTextMeasurer.h"

#include <limits>

namespace vtl {

VTLTextMeasurer& VTLTextMeasurer::sharedInstance() {
    static VTLTextMeasurer instance;
    return instance;
}

bool VTLTextMeasurer::textFitsInSize(const std::optional<std::string>& text, Size box, const Font& font,
                                     float fontSize, const TextAttributes& attributes) const {
    TextAttributes copy = attributes;
    copy.font = font.withSize(fontSize);
    Rect measured =
        text ? boundingRectForString(*text, box, copy, StringDrawingUsesLineFragmentOrigin) : Rect();
    return !(measured.width() > box.width) && !(measured.height() > box.height);
}

float VTLTextMeasurer::largestFittingSize(float minimumSize, float maximumSize,
                                          const std::function<bool(float)>& fits) {
    float lo = minimumSize, hi = maximumSize;
    std::optional<float> largestFit;
    while (true) {
        float mid = (lo + hi) * 0.5f;
        if (!(hi - lo > 1.0f)) {
            // The middle of the last interval is used only when it is known to fit.
            if (fits(mid)) return mid;
            // With nothing tested fitting, the minimum is the answer whether it fits or not.
            return largestFit ? *largestFit : minimumSize;
        }
        if (fits(mid)) {
            largestFit = mid;
            lo = mid;
        } else if (fits(lo)) {
            largestFit = lo;
            hi = mid;
        } else {
            return minimumSize;
        }
    }
}

float VTLTextMeasurer::maximumFontSizeForText(const std::optional<std::string>& text, Size box,
                                              const Font& font, const TextAttributes& attributes,
                                              float minimumSize, float maximumSize) const {
    return largestFittingSize(minimumSize, maximumSize,
                              [&](float size) { return textFitsInSize(text, box, font, size, attributes); });
}

float VTLTextMeasurer::requiredHeightForText(const std::optional<std::string>& text, float width, const Font&,
                                             const TextAttributes& attributes) const {
    if (!text) return 0;
    Size limit{width, std::numeric_limits<float>::max()};
    return static_cast<float>(
        boundingRectForString(*text, limit, attributes, StringDrawingUsesLineFragmentOrigin).height());
}

} // namespace vtl
