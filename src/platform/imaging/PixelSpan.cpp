#include "platform/imaging/PixelSpan.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vtl {

PixelRegion PixelRegion::intersection(const PixelRegion& o) const {
    if (isEmpty() || o.isEmpty()) return {};
    int x0 = std::max(x, o.x), y0 = std::max(y, o.y);
    int x1 = std::min(maxX(), o.maxX()), y1 = std::min(maxY(), o.maxY());
    if (x1 <= x0 || y1 <= y0) return {};
    return {x0, y0, x1 - x0, y1 - y0};
}

PixelRegion PixelRegion::unionWith(const PixelRegion& o) const {
    if (o.isEmpty()) return *this;
    if (isEmpty()) return o;
    int x0 = std::min(x, o.x), y0 = std::min(y, o.y);
    return {x0, y0, std::max(maxX(), o.maxX()) - x0, std::max(maxY(), o.maxY()) - y0};
}

PixelRegion PixelRegion::grownBy(int pixels) const {
    if (isEmpty()) return {};
    return pixelRegionCovering(Rect(double(x) - pixels, double(y) - pixels, double(width) + 2.0 * pixels,
                                    double(height) + 2.0 * pixels));
}

PixelRegion pixelRegionCovering(const Rect& rect) {
    constexpr double limit = double(1 << 29);
    if (rect.isEmpty() || std::isnan(rect.origin.x) || std::isnan(rect.origin.y)) return {};
    double x0 = std::clamp(std::floor(rect.minX()), -limit, limit);
    double y0 = std::clamp(std::floor(rect.minY()), -limit, limit);
    double x1 = std::clamp(std::ceil(rect.maxX()), -limit, limit);
    double y1 = std::clamp(std::ceil(rect.maxY()), -limit, limit);
    if (!(x1 > x0) || !(y1 > y0)) return {};
    return {int(x0), int(y0), int(x1 - x0), int(y1 - y0)};
}

void fillSpan(PixelSpan span, std::uint32_t bgraPixel) {
    for (int y = 0; y < span.height; ++y) {
        std::uint8_t* row = span.row(y);
        if (bgraPixel == 0) {
            std::memset(row, 0, std::size_t(span.width) * 4);
            continue;
        }
        for (int x = 0; x < span.width; ++x)
            std::memcpy(row + std::size_t(x) * 4, &bgraPixel, 4);
    }
}

void copySpan(ConstPixelSpan from, PixelSpan to) {
    int w = std::min(from.width, to.width), h = std::min(from.height, to.height);
    for (int y = 0; y < h; ++y)
        std::memcpy(to.row(y), from.row(y), std::size_t(w) * 4);
}

} // namespace vtl
