#include "platform/imaging/ImageNode.h"

#include <cmath>

namespace vtl::detail {

ImageNode::ImageNode(ImageNodeKind kind, const Rect& extent, std::vector<ImageNodeRef> inputs)
    : kind_(kind)
    , extent_(extent.isEmpty() ? Rect() : extent)
    , pixelRegion_(pixelRegionCovering(extent_))
    , inputs_(std::move(inputs)) {}

RasterNode::RasterNode(ConstPixelSpan pixels, const PixelRegion& region, std::shared_ptr<const void> owner)
    : ImageNode(ImageNodeKind::Raster, region.rect(), {})
    , pixels_(pixels)
    , owner_(std::move(owner)) {}

namespace {
// Bounded far inside the limits of double so that unions and transforms of it stay finite.
constexpr double infiniteOrigin = -1e300;
constexpr double infiniteSize = 2e300;
} // namespace

ConstantNode::ConstantNode(std::uint32_t pixel)
    : ImageNode(ImageNodeKind::Constant, Rect(infiniteOrigin, infiniteOrigin, infiniteSize, infiniteSize), {})
    , pixel_(pixel) {}

CropNode::CropNode(ImageNodeRef input, const Rect& rect)
    : ImageNode(ImageNodeKind::Crop, input->extent().intersection(rect), {input}) {}

TransformNode::TransformNode(ImageNodeRef input, const AffineTransform& transform, const Rect& extent)
    : ImageNode(ImageNodeKind::Transform, extent, {std::move(input)})
    , transform_(transform)
    , inverse_(transform.inverted().value_or(AffineTransform::identity())) {
    if (transform.a == 1 && transform.b == 0 && transform.c == 0 && transform.d == 1 &&
        transform.tx == std::round(transform.tx) && transform.ty == std::round(transform.ty) &&
        std::fabs(transform.tx) < double(1 << 30) && std::fabs(transform.ty) < double(1 << 30)) {
        wholePixelMove_ = true;
        moveX_ = int(transform.tx);
        moveY_ = int(transform.ty);
    }
}

KernelNode::KernelNode(const Rect& extent, std::vector<ImageNodeRef> inputs)
    : ImageNode(ImageNodeKind::Kernel, extent, std::move(inputs)) {}

} // namespace vtl::detail
