#include "platform/imaging/TransitionShading.h"

#include <cmath>
#include <memory>

namespace vtl {

namespace {

constexpr int shineWidthPixels = 256;
constexpr int shineHeightPixels = 16;
// The brightest the highlight gets: a sheen, never a white-out.
constexpr double shinePeak = 0.8;

BitmapRef makeShine() {
    auto bitmap = std::make_shared<Bitmap>(shineWidthPixels, shineHeightPixels);
    for (int x = 0; x < shineWidthPixels; ++x) {
        double u = (x + 0.5) / shineWidthPixels;
        double s = std::sin(M_PI * u);
        auto level = std::uint8_t(std::lround(shinePeak * s * s * 255));
        for (int y = 0; y < shineHeightPixels; ++y)
            bitmap->setPixel(x, y, {level, level, level, level});
    }
    return bitmap;
}

} // namespace

CIImage restrictedShineImage() {
    static const CIImage shine = CIImage::imageWithBitmap(makeShine());
    return shine;
}

} // namespace vtl
