#include "platform/imaging/CIContext.h"

#include "platform/graphics/GraphicsContext.h"

#include <cmath>

namespace vtl {

namespace {

bool isUsableRect(const Rect& r) {
    for (double v : {r.origin.x, r.origin.y, r.size.width, r.size.height})
        if (!std::isfinite(v)) return false;
    return !isInfiniteRect(r);
}

// The transform that maps `from` onto `to`: translate by −from origin, scale, translate by the
// destination origin.
AffineTransform placing(const Rect& from, const Rect& to) {
    if (from.isEmpty()) return AffineTransform::identity();
    return AffineTransform::translation(-from.minX(), -from.minY())
        .concatenated(AffineTransform::scale(to.width() / from.width(), to.height() / from.height()))
        .concatenated(AffineTransform::translation(to.minX(), to.minY()));
}

} // namespace

CIContext::CIContext(std::unique_ptr<Evaluator> evaluator, const Options& options)
    : evaluator_(std::move(evaluator))
    , colorSpace_(options.workingColorSpace ? options.workingColorSpace : ColorSpace::deviceRGB()) {}

std::unique_ptr<CIContext> CIContext::contextWithTarget(const RasterTarget& target, const Options& options) {
    std::unique_ptr<CIContext> context(new CIContext(makeDefaultEvaluator(), options));
    context->evaluator_->setWorkerCount(options.workerCount);
    context->target_ = target;
    return context;
}

std::unique_ptr<CIContext> CIContext::contextWithGraphicsContext(std::shared_ptr<GraphicsContext> graphics,
                                                                 const Options& options) {
    if (!graphics) return nullptr;
    std::unique_ptr<CIContext> context(new CIContext(makeDefaultEvaluator(), options));
    context->evaluator_->setWorkerCount(options.workerCount);
    context->graphicsContext_ = std::move(graphics);
    return context;
}

Status CIContext::drawImage(const CIImage& image, const Rect& inRect, const Rect& fromRect) {
    if (!isUsableRect(fromRect) || !isUsableRect(inRect))
        return fail("An image can only be drawn from and into finite rectangles.");
    if (image.isEmpty() || fromRect.isEmpty() || inRect.isEmpty()) return {};
    CIImage placed =
        image.imageByCroppingToRect(fromRect).imageByApplyingTransform(placing(fromRect, inRect));
    if (graphicsContext_) {
        PixelRegion region = pixelRegionCovering(inRect.intersection(placed.extent()));
        if (region.isEmpty()) return {};
        Result<BitmapRef> bitmap = createBitmap(placed, region.rect());
        if (!bitmap) return bitmap.asFailure();
        graphicsContext_->drawBitmap(**bitmap, region.rect(), Rect(), BlendMode::SourceOver, 1.0);
        return {};
    }
    if (!target_.isValid()) return fail("The context has no destination to draw into.");
    PixelRegion bounds{0, 0, target_.width, target_.height};
    PixelRegion region = pixelRegionCovering(inRect).intersection(bounds);
    if (region.isEmpty()) return {};
    PixelSpan all = target_.span();
    return evaluator_->draw(placed, region, all.sub(region.x, region.y, region.width, region.height),
                            DrawMode::SourceOver);
}

Result<BitmapRef> CIContext::createBitmap(const CIImage& image, const Rect& fromRect) {
    if (!isUsableRect(fromRect)) return fail("An image can only be drawn from a finite rectangle.");
    PixelRegion region = pixelRegionCovering(fromRect);
    if (region.isEmpty()) return fail("The rectangle to draw is empty.");
    if (region.width > maximumRegionSidePixels || region.height > maximumRegionSidePixels ||
        region.pixelCount() > maximumRegionPixels)
        return fail("The region to draw is larger than the imaging layer allows.");
    auto bitmap = std::make_shared<Bitmap>(region.width, region.height);
    PixelSpan span =
        spanOverTopFirstRows(bitmap->data(), bitmap->width(), bitmap->height(), bitmap->bytesPerRow());
    if (Status drawn = evaluator_->draw(image, region, span, DrawMode::Copy); !drawn)
        return drawn.asFailure();
    return BitmapRef(bitmap);
}

} // namespace vtl
