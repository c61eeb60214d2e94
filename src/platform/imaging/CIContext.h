#pragma once
// Draws images into one destination: a raster target, or a 2-D graphics context (through a bitmap
// it then draws). Made by CIContextWrapper and owned by whoever asked for it; used by one thread at
// a time, under the wrapper's lock.

#include "platform/foundation/Geometry.h"
#include "platform/foundation/Result.h"
#include "platform/imaging/CIImage.h"
#include "platform/imaging/ColorSpace.h"
#include "platform/imaging/Evaluator.h"
#include "platform/imaging/RasterTarget.h"

#include <memory>

namespace vtl {

class GraphicsContext;

struct CIContextOptions {
    // 0: every worker of the pool.
    int workerCount = 0;
    ColorSpaceRef workingColorSpace;
};

class CIContext {
public:
    using Options = CIContextOptions;

    static std::unique_ptr<CIContext> contextWithTarget(const RasterTarget& target,
                                                        const CIContextOptions& options = {});
    static std::unique_ptr<CIContext> contextWithGraphicsContext(std::shared_ptr<GraphicsContext> context,
                                                                 const CIContextOptions& options = {});

    // The part `fromRect` of the image (image space) drawn over the destination's pixels in
    // `inRect` (destination units, y up). An infinite or not-a-number source rectangle is refused.
    Status drawImage(const CIImage& image, const Rect& inRect, const Rect& fromRect);
    // The part `fromRect` of the image as a new bitmap (rows top first).
    Result<BitmapRef> createBitmap(const CIImage& image, const Rect& fromRect);

    Evaluator& evaluator() { return *evaluator_; }
    const ColorSpaceRef& workingColorSpace() const { return colorSpace_; }

private:
    CIContext(std::unique_ptr<Evaluator> evaluator, const Options& options);

    std::unique_ptr<Evaluator> evaluator_;
    ColorSpaceRef colorSpace_;
    RasterTarget target_;
    std::shared_ptr<GraphicsContext> graphicsContext_;
};

} // namespace vtl
