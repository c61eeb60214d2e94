#include "drawing/ImageAdditions.h"

#include "drawing/GeometryFunctions.h"
#include "platform/graphics/Blur.h"
#include "platform/graphics/GraphicsContext.h"

#include <cmath>

namespace vtl {

namespace {

struct RepSize {
    BitmapRef bitmap;
    double w, h;
};

std::vector<RepSize> repSizes(const Image& image) {
    std::vector<RepSize> out;
    for (const auto& rep : image.representations())
        if (rep.bitmap) out.push_back({rep.bitmap, double(rep.pixelsWide()), double(rep.pixelsHigh())});
    return out;
}

// A new image of the same size drawn by `draw` into a bitmap of the best representation's pixels.
template <class F> ImageRef redrawn(const Image& image, F draw) {
    Size s = image.size();
    BitmapRef best = image.bestBitmapForPixelSize(s);
    int w = best ? best->width() : pixelCount(std::ceil(s.width));
    int h = best ? best->height() : pixelCount(std::ceil(s.height));
    auto ctx = GraphicsContext::createBitmapContext(w, h);
    if (!ctx) return nullptr;
    ctx->scaleCTM(w / s.width, h / s.height);
    draw(*ctx, s);
    auto out = std::make_shared<Image>(s);
    out->addRepresentation(ctx->makeImage());
    return out;
}

} // namespace

BitmapRef ciimageWithFactor(const Image& image, float* factor) {
    BitmapRef bitmap = image.bestBitmapForPixelSize(image.size());
    if (factor)
        *factor =
            bitmap && image.size().width > 0 ? static_cast<float>(bitmap->width() / image.size().width) : 0;
    return bitmap;
}

Size sizeOfSmallestRepresentation(const Image& image) {
    auto reps = repSizes(image);
    if (reps.empty()) return {};
    Size best{reps[0].w, reps[0].h};
    for (const RepSize& r : reps)
        if (r.w < best.width && r.h < best.height) best = {r.w, r.h};
    return best;
}

BitmapRef bestRepresentationForSize(const Image& image, Size size) {
    auto reps = repSizes(image);
    if (reps.empty()) return nullptr;
    // Insertion sort: the order is only partial (sizes that are neither smaller nor larger in both
    // sides count as equal), which a library sort may not be given.
    for (size_t i = 1; i < reps.size(); ++i)
        for (size_t j = i; j > 0 && reps[j].w < reps[j - 1].w && reps[j].h < reps[j - 1].h; --j)
            std::swap(reps[j], reps[j - 1]);
    for (const RepSize& r : reps)
        if (r.w >= size.width && r.h >= size.height) return r.bitmap;
    return reps.back().bitmap;
}

BitmapRef bitmapRepresentationWithScalingFactor(const Image& image, float factor) {
    int w = pixelCount(std::ceil(static_cast<float>(image.size().width) * factor));
    int h = pixelCount(std::ceil(static_cast<float>(image.size().height) * factor));
    auto ctx = GraphicsContext::createBitmapContext(w, h);
    if (!ctx) return nullptr;
    image.drawInRect(*ctx, {0, 0, double(w), double(h)}, Rect(), BlendMode::Copy, 1.0);
    return ctx->makeImage();
}

Size sizeOfFirstBitmapRepresentation(const Image& image) {
    for (const auto& rep : image.representations())
        if (rep.bitmap) return {double(rep.pixelsWide()), double(rep.pixelsHigh())};
    return image.size();
}

PlacedBitmap shadowWithBlurRadius(const Image& image, float radius, const Color& color) {
    Size s = image.size();
    double margin = std::ceil(std::max(0.0f, radius) * 3.0);
    auto ctx = GraphicsContext::createBitmapContext(pixelCount(std::ceil(s.width + 2 * margin)),
                                                    pixelCount(std::ceil(s.height + 2 * margin)));
    if (!ctx) return {};
    image.drawInRect(*ctx, {margin, margin, s.width, s.height}, Rect(), BlendMode::SourceOver, 1.0);
    // Every pixel takes the colour, keeping its coverage.
    ctx->setBlendMode(BlendMode::SourceIn);
    ctx->setFillColor(color);
    ctx->fillRect({0, 0, double(ctx->width()), double(ctx->height())});
    auto bitmap = std::make_shared<Bitmap>(*ctx->makeImage());
    gaussianBlur(*bitmap, radius);
    return {bitmap, {-margin, -margin}};
}

PlacedBitmap imageWithShadowWithBlurRadius(const Image& image, float radius, const Color& color, Size offset,
                                           float shadowAlpha) {
    PlacedBitmap shadow = shadowWithBlurRadius(image, radius, color);
    if (!shadow.bitmap) return {};
    Size s = image.size();
    Rect shadowRect(shadow.origin.x + offset.width, shadow.origin.y + offset.height, shadow.bitmap->width(),
                    shadow.bitmap->height());
    Rect all = shadowRect.unionWith({0, 0, s.width, s.height});
    auto ctx = GraphicsContext::createBitmapContext(pixelCount(std::ceil(all.width())),
                                                    pixelCount(std::ceil(all.height())));
    if (!ctx) return {};
    ctx->translateCTM(-all.minX(), -all.minY());
    ctx->drawBitmap(*shadow.bitmap, shadowRect, Rect(), BlendMode::SourceOver, shadowAlpha);
    image.drawInRect(*ctx, {0, 0, s.width, s.height}, Rect(), BlendMode::SourceOver, 1.0);
    return {ctx->makeImage(), all.origin};
}

ImageRef flippedImage(const Image& image) {
    return redrawn(image, [&](GraphicsContext& ctx, Size s) {
        ctx.scaleCTM(1, -1);
        image.drawInRect(ctx, {0, -s.height, s.width, s.height}, Rect(), BlendMode::SourceOver, 1.0);
    });
}

ImageRef imageRotatedByDegrees(const Image& image, float degrees) {
    return redrawn(image, [&](GraphicsContext& ctx, Size s) {
        ctx.concatCTM(rotateAtPointTransform({s.width * 0.5, s.height * 0.5}, degrees));
        image.drawInRect(ctx, {0, 0, s.width, s.height}, Rect(), BlendMode::SourceOver, 1.0);
    });
}

} // namespace vtl
