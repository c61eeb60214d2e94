#include "drawing/MRDrawing_CGContextCreationHelper.h"

#include "drawing/MRDrawing_ImagesHelper.h"

namespace vtl {

GraphicsContextRef MRDrawing_CGContextCreationHelper::beginCGContextWithSize(Size size,
                                                                             bool hasAlphaChannel) {
    auto context = GraphicsContext::createBitmapContext(pixelCount(size.width), pixelCount(size.height),
                                                        hasAlphaChannel);
    if (context) beginPlattformContextWithCGContext(context, true);
    return context;
}

void MRDrawing_CGContextCreationHelper::beginPlattformContextWithCGContext(const GraphicsContextRef& context,
                                                                           bool flipped) {
    GraphicsContext::saveCurrentGraphicsState();
    if (context) context->setFlipped(flipped);
    GraphicsContext::setCurrent(context);
}

void MRDrawing_CGContextCreationHelper::endPlattformContextWithCGContext(const GraphicsContextRef&) {
    GraphicsContext::restoreCurrentGraphicsState();
}

BitmapRef MRDrawing_CGContextCreationHelper::releaseCGContextAndCreateImage(GraphicsContextRef context) {
    if (!context) return nullptr;
    BitmapRef image = context->makeImage();
    endPlattformContextWithCGContext(context);
    return image;
}

ImageRef
MRDrawing_CGContextCreationHelper::releaseContextAndCreatePlattformImage(GraphicsContextRef context) {
    return MRDrawing_ImagesHelper::platformImageFromCGImage(
        releaseCGContextAndCreateImage(std::move(context)));
}

} // namespace vtl
