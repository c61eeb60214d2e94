#include "platform/imaging/CIContextWrapper.h"

#include "platform/graphics/GraphicsContext.h"

namespace vtl {

CIContextWrapper& CIContextWrapper::sharedCIContextWrapper() {
    static auto* wrapper = new CIContextWrapper();
    return *wrapper;
}

std::unique_ptr<CIContext> CIContextWrapper::newCIContextWithTarget(const RasterTarget& target,
                                                                    const CIContext::Options& options) {
    MutexLock lock(contextMutex_);
    return CIContext::contextWithTarget(target, options);
}

std::unique_ptr<CIContext>
CIContextWrapper::newCIContextWithGraphicsContext(std::shared_ptr<GraphicsContext> context,
                                                  const CIContext::Options& options) {
    MutexLock lock(contextMutex_);
    return CIContext::contextWithGraphicsContext(std::move(context), options);
}

void CIContextWrapper::releaseCIContext(std::unique_ptr<CIContext> context) {
    MutexLock lock(contextMutex_);
    context.reset();
}

Status CIContextWrapper::drawCIImage(const CIImage& image, CIContext& context, const Rect& inRect,
                                     const Rect& fromRect) {
    MutexLock lock(contextMutex_);
    return context.drawImage(image, inRect, fromRect);
}

Status CIContextWrapper::drawCIImage(const CIImage& image, const Rect& inRect, const Rect& fromRect) {
    std::shared_ptr<GraphicsContext> current = GraphicsContext::currentShared();
    if (!current) return fail("There is no current graphics context to draw the image into.");
    std::unique_ptr<CIContext> context = newCIContextWithGraphicsContext(current);
    Status drawn = drawCIImage(image, *context, inRect, fromRect);
    releaseCIContext(std::move(context));
    return drawn;
}

} // namespace vtl
