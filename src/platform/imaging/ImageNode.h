#pragma once
// The nodes of an image recipe: immutable, shared by every image value that refers to them, and
// read by the evaluator from any number of threads. Filters build kernel nodes; the image value
// builds the others. Kernels compute pixels only for the region they are asked for.

#include "platform/foundation/AffineTransform.h"
#include "platform/foundation/Geometry.h"
#include "platform/imaging/PixelSpan.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

namespace vtl::detail {

class ImageNode;
using ImageNodeRef = std::shared_ptr<const ImageNode>;

enum class ImageNodeKind { Raster, Constant, Crop, Transform, Kernel };

class ImageNode {
public:
    ImageNode(ImageNodeKind kind, const Rect& extent, std::vector<ImageNodeRef> inputs);
    virtual ~ImageNode() = default;
    ImageNode(const ImageNode&) = delete;
    ImageNode& operator=(const ImageNode&) = delete;

    ImageNodeKind kind() const { return kind_; }
    // Exact extent in image space (y up); possibly infinite, possibly empty.
    const Rect& extent() const { return extent_; }
    // The whole pixels the extent touches; every pixel outside it is transparent.
    const PixelRegion& pixelRegion() const { return pixelRegion_; }
    const std::vector<ImageNodeRef>& inputs() const { return inputs_; }

private:
    ImageNodeKind kind_;
    Rect extent_;
    PixelRegion pixelRegion_;
    std::vector<ImageNodeRef> inputs_;
};

// Pixels in memory, kept alive by `owner` (a bitmap, a pool buffer, a materialized render).
class RasterNode final : public ImageNode {
public:
    RasterNode(ConstPixelSpan pixels, const PixelRegion& region, std::shared_ptr<const void> owner);
    ConstPixelSpan pixels() const { return pixels_; }
    // The view of a region inside pixelRegion().
    ConstPixelSpan pixelsIn(const PixelRegion& region) const {
        return pixels_.sub(region.x - pixelRegion().x, region.y - pixelRegion().y, region.width,
                           region.height);
    }

private:
    ConstPixelSpan pixels_;
    std::shared_ptr<const void> owner_;
};

// One premultiplied pixel everywhere (infinite extent).
class ConstantNode final : public ImageNode {
public:
    explicit ConstantNode(std::uint32_t pixel);
    std::uint32_t pixel() const { return pixel_; }

private:
    std::uint32_t pixel_;
};

// The input limited to the whole pixels its rectangle touches.
class CropNode final : public ImageNode {
public:
    CropNode(ImageNodeRef input, const Rect& rect);
};

// The input moved by an affine transform; resampled bilinearly unless it is a whole-pixel move.
class TransformNode final : public ImageNode {
public:
    TransformNode(ImageNodeRef input, const AffineTransform& transform, const Rect& extent);
    const AffineTransform& transform() const { return transform_; }
    const AffineTransform& inverse() const { return inverse_; }
    bool isWholePixelMove() const { return wholePixelMove_; }
    int moveX() const { return moveX_; }
    int moveY() const { return moveY_; }

private:
    AffineTransform transform_;
    AffineTransform inverse_;
    bool wholePixelMove_ = false;
    int moveX_ = 0, moveY_ = 0;
};

// A filter's pixel operation over its inputs.
class KernelNode : public ImageNode {
public:
    KernelNode(const Rect& extent, std::vector<ImageNodeRef> inputs);

    // Pixel-wise kernels read each input only at the pixel they compute.
    virtual bool isPixelwise() const { return true; }
    // The region of input i needed to compute `region`.
    virtual PixelRegion regionOfInput(std::size_t, const PixelRegion& region) const { return region; }
    // Fills `out` (covering `region`, which lies inside pixelRegion()) from views of the inputs,
    // each covering regionOfInput(i, region) and transparent outside its input's extent.
    virtual void compute(const PixelRegion& region, std::span<const ConstPixelSpan> inputs,
                         PixelSpan out) const = 0;
};

} // namespace vtl::detail
