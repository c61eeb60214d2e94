#include "objects/ImageCacheKey.h"

#include <cmath>

namespace vtl {

void ImageCacheKey::addScaled(double value, double scale) {
    const double scaled = value * scale;
    if (std::isnan(scaled)) {
        add(0x7ff8000000000001ULL);
    } else if (!(std::fabs(scaled) < 9.0e18)) {
        add(scaled > 0 ? 0x7ff0000000000001ULL : 0xfff0000000000001ULL);
    } else {
        add(static_cast<std::uint64_t>(static_cast<std::int64_t>(std::trunc(scaled))));
    }
}

void ImageCacheKey::addText(std::string_view text) {
    add(text.size());
    std::uint64_t word = 0;
    int filled = 0;
    for (unsigned char c : text) {
        word = (word << 8) | c;
        if (++filled == 8) {
            add(word);
            word = 0;
            filled = 0;
        }
    }
    if (filled) add(word);
}

} // namespace vtl
