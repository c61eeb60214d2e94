#pragma once
// The single owner of the lock under which every image context of the program is created,
// released and drawn with, so no two image draws run at the same time (a draw uses every worker
// of the pool itself). Renderers that draw through their own context take `contextMutex()` around
// each draw; where a generator's draw mutex is also taken, that one comes first. The shared
// instance lives for the whole run.

#include "platform/foundation/ThreadAnnotations.h"
#include "platform/imaging/CIContext.h"

#include <memory>

namespace vtl {

class GraphicsContext;

class CIContextWrapper {
public:
    static CIContextWrapper& sharedCIContextWrapper();

    // A context drawing into the target (the preview's and export's frames), owned by the caller.
    std::unique_ptr<CIContext> newCIContextWithTarget(const RasterTarget& target,
                                                      const CIContextOptions& options = {});
    // A context drawing into a 2-D graphics context, owned by the caller.
    std::unique_ptr<CIContext> newCIContextWithGraphicsContext(std::shared_ptr<GraphicsContext> context,
                                                               const CIContextOptions& options = {});
    void releaseCIContext(std::unique_ptr<CIContext> context);

    // The context's draw of the image's `fromRect` part into `inRect`, under the lock.
    Status drawCIImage(const CIImage& image, CIContext& context, const Rect& inRect, const Rect& fromRect);
    // The same into the calling thread's current graphics context, through a context made and
    // released for this draw. Fails when the thread has no current context.
    Status drawCIImage(const CIImage& image, const Rect& inRect, const Rect& fromRect);

    Mutex& contextMutex() { return contextMutex_; }

private:
    CIContextWrapper() = default;
    Mutex contextMutex_;
};

} // namespace vtl
