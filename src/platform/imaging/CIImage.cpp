#include "platform/imaging/CIImage.h"

#include "platform/foundation/Log.h"
#include "platform/imaging/PixelKernels.h"

#include <cmath>
#include <cstring>

namespace vtl {

using namespace detail;

bool isInfiniteRect(const Rect& rect) {
    return !rect.isEmpty() && (rect.width() >= 1e299 || rect.height() >= 1e299);
}

namespace {

bool isFiniteTransform(const AffineTransform& t) {
    for (double v : {t.a, t.b, t.c, t.d, t.tx, t.ty})
        if (!std::isfinite(v)) return false;
    return true;
}

// Coordinates beyond this are treated as degenerate: no picture reaches that far.
constexpr double maximumCoordinate = 1e15;

} // namespace

CIImage CIImage::withNode(ImageNodeRef node, ColorSpaceRef colorSpace) {
    CIImage image;
    image.node_ = std::move(node);
    image.colorSpace_ = colorSpace ? std::move(colorSpace) : ColorSpace::deviceRGB();
    return image;
}

CIImage CIImage::emptyImage() {
    static const ImageNodeRef empty =
        std::make_shared<RasterNode>(ConstPixelSpan{}, PixelRegion{}, std::shared_ptr<const void>());
    return withNode(empty);
}

CIImage CIImage::imageWithColor(const CIColor& color) {
    return withNode(std::make_shared<ConstantNode>(color.premultipliedPixel()));
}

CIImage CIImage::imageWithPixels(ConstPixelSpan pixels, const PixelRegion& region,
                                 std::shared_ptr<const void> owner, ColorSpaceRef colorSpace) {
    if (!pixels.origin || region.isEmpty() || pixels.width < region.width || pixels.height < region.height)
        return emptyImage();
    return withNode(std::make_shared<RasterNode>(pixels, region, std::move(owner)), std::move(colorSpace));
}

CIImage CIImage::imageWithBitmap(BitmapRef bitmap, ColorSpaceRef colorSpace) {
    if (!bitmap) return {};
    if (bitmap->isNull()) return emptyImage();
    if (!bitmap->hasAlpha()) {
        auto opaque = std::make_shared<Bitmap>(*bitmap);
        std::uint8_t* p = opaque->data();
        for (std::size_t i = 3; i < opaque->byteCount(); i += 4)
            p[i] = 255;
        bitmap = opaque;
    }
    ConstPixelSpan span =
        spanOverTopFirstRows(bitmap->data(), bitmap->width(), bitmap->height(), bitmap->bytesPerRow());
    PixelRegion region{0, 0, bitmap->width(), bitmap->height()};
    return imageWithPixels(span, region, bitmap, std::move(colorSpace));
}

CIImage CIImage::imageWithBitmapImage(const BitmapImage& bitmap, ColorSpaceRef colorSpace) {
    if (bitmap.isEmpty()) return emptyImage();
    if (bitmap.width() > std::size_t(maximumRegionSidePixels) ||
        bitmap.height() > std::size_t(maximumRegionSidePixels)) {
        logMessage("An image larger than the imaging layer's limit was left empty.");
        return emptyImage();
    }
    int w = int(bitmap.width()), h = int(bitmap.height());
    // The copy shares the pixels and keeps them alive as long as the image lives.
    auto keeper = std::make_shared<BitmapImage>(bitmap);
    ConstPixelSpan span = spanOverTopFirstRows(keeper->data(), w, h, keeper->bytesPerRow());
    return imageWithPixels(span, {0, 0, w, h}, keeper, std::move(colorSpace));
}

CIImage CIImage::imageByCroppingToRect(const Rect& rect) const {
    if (!node_) return {};
    Rect r = rect.standardized();
    if (std::isnan(r.origin.x) || std::isnan(r.origin.y) || std::isnan(r.size.width) ||
        std::isnan(r.size.height)) {
        logMessage("An image was cropped to a rectangle that is not a number; the result is empty.");
        return emptyImage();
    }
    Rect e = node_->extent();
    Rect inside = e.intersection(r);
    if (inside.isEmpty()) return withNode(emptyImage().node(), colorSpace_);
    if (inside == e && !isInfiniteRect(e)) return *this;
    return withNode(std::make_shared<CropNode>(node_, r), colorSpace_);
}

CIImage CIImage::imageByApplyingTransform(const AffineTransform& t) const {
    if (!node_) return {};
    if (t.isIdentity()) return *this;
    double det = t.a * t.d - t.b * t.c;
    if (!isFiniteTransform(t) || !(std::fabs(det) > 1e-12) || !std::isfinite(det)) {
        logMessage(
            "An image was given a transform that is not finite or not invertible; the result is empty.");
        return withNode(emptyImage().node(), colorSpace_);
    }
    if (isEmpty()) return *this;
    if (node_->kind() == ImageNodeKind::Constant) return *this;
    // Moving a move composes into one transform, so a chain resamples once.
    ImageNodeRef source = node_;
    AffineTransform combined = t;
    if (node_->kind() == ImageNodeKind::Transform) {
        auto inner = static_cast<const TransformNode*>(node_.get());
        source = inner->inputs()[0];
        combined = inner->transform().concatenated(t);
        if (combined.isIdentity()) return withNode(source, colorSpace_);
    }
    Rect extent = source->extent();
    if (!isInfiniteRect(extent)) {
        extent = combined.applyToRect(extent);
        if (!(std::fabs(extent.minX()) < maximumCoordinate && std::fabs(extent.maxX()) < maximumCoordinate &&
              std::fabs(extent.minY()) < maximumCoordinate && std::fabs(extent.maxY()) < maximumCoordinate)) {
            logMessage(
                "An image was moved beyond the imaging layer's coordinate range; the result is empty.");
            return withNode(emptyImage().node(), colorSpace_);
        }
    }
    return withNode(std::make_shared<TransformNode>(source, combined, extent), colorSpace_);
}

CIImage CIImage::imageByCompositingOverImage(const CIImage& background) const {
    if (isNull()) return background;
    if (background.isNull()) return *this;
    return withNode(makeSourceOverNode(node_, background.node()), colorSpace_);
}

} // namespace vtl
