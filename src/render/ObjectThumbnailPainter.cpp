#include "render/ObjectThumbnailPainter.h"

#include "model/CompositionObjectsContainer.h"
#include "objects/CompositionRectangularObject.h"
#include "objects/ObjectThumbnail.h"
#include "platform/foundation/Log.h"
#include "render/RasterTargetDrawing.h"
#include "render/VTLObjectsContainerRenderer.h"

namespace vtl {

namespace {

// Canvases larger than this a side get no thumbnail rather than a huge scratch picture.
constexpr double maximumCanvasSide = 16384;

BitmapImage paintThumbnail(CompositionRectangularObject& object, double time, const Rect& visible, int width,
                           int height) {
    const CompositionObjectsContainer* container = object.compositionObjectsContainer();
    auto self = std::static_pointer_cast<CompositionBaseObject>(
        std::const_pointer_cast<CompositionUndoObject>(object.weak_from_this().lock()));
    if (!container || !self) return {};
    const Size canvas = container->canvasSize();
    if (!(canvas.width >= 1 && canvas.height >= 1 && canvas.width <= maximumCanvasSide &&
          canvas.height <= maximumCanvasSide))
        return {};
    BitmapImage whole{std::size_t(canvas.width), std::size_t(canvas.height)};
    BitmapImage thumbnail{std::size_t(width), std::size_t(height)};
    if (whole.isEmpty() || thumbnail.isEmpty()) return {};
    {
        VTLObjectsContainerRenderer renderer(nullptr);
        renderer.setClearColor(0);
        RasterTargetDrawing drawing(RasterTarget::over(whole));
        ContainerDrawingOptions options;
        options.time = time;
        options.colorSpace = ColorSpace::deviceRGB();
        renderer.drawObjects({self}, {}, drawing, Rect(0, 0, double(whole.width()), double(whole.height())),
                             canvas, options, IncludeBackground::No);
    }
    RasterTargetDrawing drawing(RasterTarget::over(thumbnail));
    drawing.clear(0);
    const CIImage picture = CIImage::imageWithBitmapImage(whole, ColorSpace::deviceRGB());
    if (Status drawn = drawing.drawImage(picture, Rect(0, 0, width, height), visible); !drawn) {
        logMessage("A thumbnail could not be drawn: " + drawn.error());
        return {};
    }
    return thumbnail;
}

} // namespace

void installObjectThumbnailPainter() {
    ObjectThumbnail::setPainter(paintThumbnail);
}

} // namespace vtl
