// Every effect of the catalogue, on an object drawn by the container renderer, leaves a picture
// inside the object's rectangle: effects whose output fills the whole plane (tiles) are confined
// to the object and nothing of them reaches the rest of the canvas.

#include "model/EffectFilterDescriptions.h"
#include "model/support/ModelFixture.h"
#include "objects/CompositionRectangularObject.h"
#include "platform/graphics/Bitmap.h"
#include "platform/imaging/CIImage.h"
#include "platform/imaging/pixels/BitmapImage.h"
#include "render/FilterCatalog.h"
#include "render/RasterTargetDrawing.h"
#include "render/VTLObjectsContainerRenderer.h"

#include <gtest/gtest.h>

namespace vtl::test {
namespace {

// An opaque patterned picture, so that distortions and tiles have something to move.
class EffectCatalogObject : public CompositionRectangularObject {
public:
    using CompositionRectangularObject::CompositionRectangularObject;
    Size originalSize() const override { return {360, 260}; }
    CIImage createImageAtTime(const ObjectImageRequest& request) override {
        const int w = int(360 * request.xFactor), h = int(260 * double(request.yFactor));
        auto bitmap = std::make_shared<Bitmap>(w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                bitmap->setPixel(x, y,
                                 {std::uint8_t(60 + x / 2), std::uint8_t(200 - y / 2),
                                  std::uint8_t(((x / 16 + y / 16) & 1) ? 230 : 40), 255});
        return CIImage::imageWithBitmap(bitmap);
    }
};

class EffectCatalogRendering : public ModelFixture {
protected:
    EffectCatalogRendering() { installFilterDescriptionCatalog(FilterCatalog::standard()); }
};

TEST_F(EffectCatalogRendering, EveryEffectDrawsInsideTheObjectAndNothingOutside) {
    // Large enough that the distortions at their default radius leave some of it in place.
    const Rect objectRect(20, 20, 360, 260);
    for (const std::string& name : FilterCatalog::standard()->filterNames()) {
        SCOPED_TRACE(name);
        CompositionDocument document;
        CompositionObjectsContainer* container = document.objectsContainer().get();
        container->setCanvasSize({400, 300});
        container->setBackgroundKind(BackgroundKind::None);
        auto object = makeModelObject<EffectCatalogObject>(container);
        object->setStartTimeEndTime(0, 10);
        object->setRect(objectRect, 0);
        container->addObject(object);
        object->addEffectAtTime(EffectEntry{{"name", PropertyList(name)}}, 1);
        ASSERT_FALSE(object->namesOfActiveEffectsAtTime(1).empty());

        VTLObjectsContainerRenderer renderer(document.objectsContainer());
        renderer.setClearColor(0);
        BitmapImage image(400, 300);
        RasterTargetDrawing drawing(RasterTarget::over(image));
        ContainerDrawingOptions options;
        options.time = 1;
        options.forExport = true;
        options.colorSpace = ColorSpace::deviceRGB();
        renderer.drawObjectsInTargetRect(drawing, Rect(0, 0, 400, 300), {}, options);

        int inside = 0, outside = 0;
        for (int y = 0; y < 300; ++y)
            for (int x = 0; x < 400; ++x) {
                if ((image.pixelAt(std::size_t(x), std::size_t(y)) >> 24) == 0) continue;
                const bool within = x >= 20 && x < 380 && y >= 20 && y < 280;
                (within ? inside : outside)++;
            }
        EXPECT_GT(inside, 360 * 260 / 20) << "the object vanished";
        EXPECT_EQ(outside, 0) << "the effect spread beyond the object";
    }
}

} // namespace
} // namespace vtl::test
