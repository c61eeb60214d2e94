#pragma once
// An image as a recipe: an immutable graph of sources, crops, transforms and filter kernels with
// an extent in image space (y up, origin lower left), which may be infinite or empty. Nothing is
// computed until a context draws the image or `materialize` turns it into pixels. Shared by value:
// copies share the recipe, which any thread may read.
//
// A default-constructed image is "none" (what an operation with nothing to show returns); the
// empty image is a real image with an empty extent.

#include "platform/foundation/AffineTransform.h"
#include "platform/foundation/Geometry.h"
#include "platform/graphics/Bitmap.h"
#include "platform/imaging/CIColor.h"
#include "platform/imaging/ColorSpace.h"
#include "platform/imaging/ImageNode.h"
#include "platform/imaging/pixels/BitmapImage.h"

#include <memory>

namespace vtl {

// Whether a rectangle stands for an infinite extent (as a constant colour has).
bool isInfiniteRect(const Rect& rect);

class CIImage {
public:
    CIImage() = default;

    static CIImage emptyImage();
    // The colour everywhere: an infinite extent.
    static CIImage imageWithColor(const CIColor& color);
    // The bitmap's pixels without a copy, extent (0, 0, width, height); its top row lies at the top
    // of the extent. A bitmap without alpha is copied once to make it opaque. None for a null bitmap.
    static CIImage imageWithBitmap(BitmapRef bitmap, ColorSpaceRef colorSpace = nullptr);
    static CIImage imageWithBitmapImage(const BitmapImage& bitmap, ColorSpaceRef colorSpace = nullptr);
    // Pixels someone keeps alive through `owner`, covering `region` of image space.
    static CIImage imageWithPixels(ConstPixelSpan pixels, const PixelRegion& region,
                                   std::shared_ptr<const void> owner, ColorSpaceRef colorSpace = nullptr);

    bool isNull() const { return !node_; }
    // The zero rectangle for none.
    Rect extent() const { return node_ ? node_->extent() : Rect(); }
    bool isEmpty() const { return !node_ || node_->extent().isEmpty(); }
    bool isInfinite() const { return node_ && isInfiniteRect(node_->extent()); }
    // Device RGB unless the source said otherwise; a tag only.
    const ColorSpaceRef& colorSpace() const { return colorSpace_; }

    // Only the part inside the rectangle (whole pixels it touches).
    CIImage imageByCroppingToRect(const Rect& rect) const;
    // The image moved by the transform (points map as the transform maps them). A transform with
    // NaN, infinite or degenerate terms gives the empty image and a log line.
    CIImage imageByApplyingTransform(const AffineTransform& transform) const;
    // This image over the background (source-over).
    CIImage imageByCompositingOverImage(const CIImage& background) const;

    // Whether both share one recipe (the same node), as an unchanged input does.
    bool isSameImage(const CIImage& other) const { return node_ == other.node_; }

    // For filters and the evaluator.
    static CIImage withNode(detail::ImageNodeRef node, ColorSpaceRef colorSpace = nullptr);
    const detail::ImageNodeRef& node() const { return node_; }

private:
    detail::ImageNodeRef node_;
    ColorSpaceRef colorSpace_;
};

} // namespace vtl
