#pragma once
// An object with a picture of its own for the image-pipeline and effect tests: a 200 × 100
// natural size drawn as a patterned opaque bitmap at the request's factors, a picture stamp the
// test changes by hand, and a count of pictures made. Drawn for a real renderer of the container.

#include "imaging/ImagingTestSupport.h"
#include "model/EffectFilterDescriptions.h"
#include "objects/ObjectsFixture.h"
#include "platform/imaging/CIFilter.h"
#include "platform/imaging/CIImage.h"
#include "render/FilterCatalog.h"
#include "render/VTLObjectsContainerRenderer.h"

#include <cmath>

namespace vtl::test {

class PictureObject : public CompositionRectangularObject {
public:
    using CompositionRectangularObject::CompositionRectangularObject;
    Size originalSize() const override { return natural; }
    bool wantsRectSetInsteadOfScaling() const override { return rectInsteadOfScaling; }
    CIImage createImageAtTime(const ObjectImageRequest& request) override {
        ++picturesMade;
        if (!drawsPicture) return {};
        const int w = int(std::ceil(natural.width * request.xFactor));
        const int h = int(std::ceil(natural.height * double(request.yFactor)));
        auto bitmap = std::make_shared<Bitmap>(w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x)
                bitmap->setPixel(x, y,
                                 {std::uint8_t(x * 7 % 256), std::uint8_t(y * 13 % 256),
                                  std::uint8_t((x ^ y) * 5 % 256), 255});
        return CIImage::imageWithBitmap(bitmap);
    }
    std::optional<std::uint64_t> pictureStampAtTime(const ObjectImageRequest&) const override {
        return pictureVersion;
    }
    Size natural{200, 100};
    bool rectInsteadOfScaling = false;
    bool drawsPicture = true;
    std::uint64_t pictureVersion = 1;
    int picturesMade = 0;
};

class PictureObjectFixture : public ObjectsFixture {
protected:
    PictureObjectFixture() {
        installFilterDescriptionCatalog(FilterCatalog::standard());
        object = add<PictureObject>(0, 10);
        object->setRect(Rect(0, 0, 200, 100), 0);
        renderer = std::make_unique<VTLObjectsContainerRenderer>(document.objectsContainer());
    }

    ObjectImageRequest request(double time = 1, double xFactor = 1, float yFactor = 1) {
        ObjectImageRequest r;
        r.compositionTime = time;
        r.renderer = renderer.get();
        r.xFactor = xFactor;
        r.yFactor = yFactor;
        return r;
    }

    static Rendered pixelsOf(const CIImage& image, const PixelRegion& region = {0, 0, 200, 100}) {
        return render(image, region);
    }

    std::shared_ptr<PictureObject> object;
    std::unique_ptr<VTLObjectsContainerRenderer> renderer;
};

} // namespace vtl::test
