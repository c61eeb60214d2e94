#include "platform/imaging/VTLImageWrapper.h"

#include "platform/graphics/GraphicsContext.h"

namespace vtl {

VTLImageWrapper::~VTLImageWrapper() {
    if (stateSaved_) GraphicsContext::restoreCurrentGraphicsState();
}

std::shared_ptr<GraphicsContext> VTLImageWrapper::beginContextWithSize(Size size, ColorSpaceRef colorSpace,
                                                                       bool flipped) {
    if (stateSaved_) return bitmapCtx_;
    imageSize_ = size;
    colorSpace_ = colorSpace ? std::move(colorSpace) : ColorSpace::deviceRGB();
    bitmapCtx_ =
        GraphicsContext::createBitmapContext(pixelCount(size.width), pixelCount(size.height), true, flipped);
    if (!bitmapCtx_) return nullptr;
    GraphicsContext::saveCurrentGraphicsState();
    GraphicsContext::setCurrent(bitmapCtx_);
    stateSaved_ = true;
    return bitmapCtx_;
}

CIImage VTLImageWrapper::releaseContextAndCreateCIImage() {
    if (!stateSaved_ || !bitmapCtx_) return {};
    GraphicsContext::restoreCurrentGraphicsState();
    stateSaved_ = false;
    ciImage_ = CIImage::imageWithBitmap(bitmapCtx_->makeImage(), colorSpace_);
    bitmapCtx_.reset();
    return ciImage_;
}

} // namespace vtl
