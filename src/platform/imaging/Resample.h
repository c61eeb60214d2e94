#pragma once
// Bilinear resampling of pixels in memory through an affine transform (Qt's raster painter does
// the sampling), shared by the tile evaluator. Internal to the imaging layer.

#include "platform/foundation/AffineTransform.h"
#include "platform/imaging/PixelSpan.h"

namespace vtl::detail {

// Draws the source pixels (covering sourceRegion of image space) moved by `transform` into the
// destination view (covering destinationRegion), over its pixels or replacing them. The source's
// edge is anti-aliased, as pixels outside it are transparent.
void drawTransformed(ConstPixelSpan source, const PixelRegion& sourceRegion, const AffineTransform& transform,
                     PixelSpan destination, const PixelRegion& destinationRegion, bool over);

} // namespace vtl::detail
