#pragma once
// A raster target with the drawing state a compositing pass needs: clearing, premultiplied
// "over" drawing of images through the shared context lock, and a stack of placements (moves and
// scales) that map the caller's units onto the target's pixels. The preview, the offscreen
// generator, thumbnails and tests draw through one of these. Owned by whoever draws; the pixels
// are not owned. One thread at a time.

#include "platform/foundation/AffineTransform.h"
#include "platform/foundation/Geometry.h"
#include "platform/foundation/Result.h"
#include "platform/imaging/CIContext.h"
#include "platform/imaging/RasterTarget.h"

#include <memory>
#include <vector>

namespace vtl {

class CIImage;

class RasterTargetDrawing {
public:
    // workerCount 0: every worker of the pool.
    explicit RasterTargetDrawing(const RasterTarget& target, int workerCount = 0);
    ~RasterTargetDrawing();
    RasterTargetDrawing(const RasterTargetDrawing&) = delete;
    RasterTargetDrawing& operator=(const RasterTargetDrawing&) = delete;

    const RasterTarget& target() const { return target_; }
    bool isValid() const { return target_.isValid(); }

    // Every pixel to the value in all four channels: 0 transparent, 1 and above opaque white.
    void clear(int value);

    // --- Placement: units of the caller → target pixels (y up). Only moves and scales, so a
    // rectangle stays a rectangle.
    void pushTransform();
    // Unbalanced pops are ignored.
    void popTransform();
    void translate(double dx, double dy);
    void scale(double sx, double sy);
    const AffineTransform& transform() const { return transform_; }
    // The rectangle in target pixels.
    Rect mapRect(const Rect& rect) const;

    // The image's `fromRect` part drawn over the target in `inRect` (caller's units), under the
    // shared context lock.
    Status drawImage(const CIImage& image, const Rect& inRect, const Rect& fromRect);

private:
    RasterTarget target_;
    std::unique_ptr<CIContext> context_;
    AffineTransform transform_;
    std::vector<AffineTransform> saved_;
};

} // namespace vtl
