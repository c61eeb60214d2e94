#include "platform/imaging/CIColor.h"

#include <algorithm>
#include <cmath>

namespace vtl {

namespace {
double unit(double v) {
    return v > 0 ? std::min(v, 1.0) : 0.0;
}
std::uint32_t byteOf(double v) {
    return std::uint32_t(std::lround(unit(v) * 255));
}
} // namespace

CIColor CIColor::clamped() const {
    return {unit(red), unit(green), unit(blue), unit(alpha)};
}

std::uint32_t CIColor::premultipliedPixel() const {
    CIColor c = clamped();
    std::uint32_t a = byteOf(c.alpha);
    auto premultiplied = [&](double v) { return std::min(a, byteOf(v * c.alpha)); };
    return premultiplied(c.blue) | premultiplied(c.green) << 8 | premultiplied(c.red) << 16 | a << 24;
}

} // namespace vtl
