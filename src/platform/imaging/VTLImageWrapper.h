#pragma once
// A bitmap drawing context that turns what was drawn into it with the 2-D drawing calls into an
// image. Used once: begin (the bitmap becomes the thread's current graphics context), draw,
// releaseContextAndCreateCIImage; owned by the code that draws.

#include "platform/foundation/Geometry.h"
#include "platform/imaging/CIImage.h"
#include "platform/imaging/ColorSpace.h"

#include <memory>

namespace vtl {

class GraphicsContext;

class VTLImageWrapper {
public:
    VTLImageWrapper() = default;
    ~VTLImageWrapper();
    VTLImageWrapper(const VTLImageWrapper&) = delete;
    VTLImageWrapper& operator=(const VTLImageWrapper&) = delete;

    // A transparent bitmap of ⌊width⌋ × ⌊height⌋ pixels made current after saving the graphics
    // state (flipped coordinates by default); null for an empty or impossible size.
    std::shared_ptr<GraphicsContext> beginContextWithSize(Size size, ColorSpaceRef colorSpace = nullptr,
                                                          bool flipped = true);
    // Restores the saved graphics state and makes the image (extent (0, 0, ⌊width⌋, ⌊height⌋)).
    // None when no context was begun.
    CIImage releaseContextAndCreateCIImage();
    const CIImage& ciImage() const { return ciImage_; }
    Size imageSize() const { return imageSize_; }
    const ColorSpaceRef& colorSpace() const { return colorSpace_; }

private:
    std::shared_ptr<GraphicsContext> bitmapCtx_;
    ColorSpaceRef colorSpace_;
    Size imageSize_;
    CIImage ciImage_;
    bool stateSaved_ = false;
};

} // namespace vtl
