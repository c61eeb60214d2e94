// Compositing a container onto a raster target: stacking, disabled tracks, opacity, rotation,
// masks and their editor ghosts, display scaling in and out of playback, the after-drawing block
// and the canvas background. Probes allow 2/255 on flat colour and a pixel on edges.

#include "model/support/ModelFixture.h"
#include "objects/CompositionRectangularObject.h"
#include "platform/imaging/CIColor.h"
#include "platform/imaging/CIImage.h"
#include "platform/imaging/pixels/BitmapImage.h"
#include "render/RasterTargetDrawing.h"
#include "render/VTLObjectsContainerRenderer.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <optional>

namespace vtl::test {
namespace {

// A flat colour of a natural size, the simplest picture with a size.
class CompositingSolidObject : public CompositionRectangularObject {
public:
    using CompositionRectangularObject::CompositionRectangularObject;
    CIColor color{1, 0, 0, 1};
    // When set, the right half of the picture.
    std::optional<CIColor> rightColor;
    Size naturalSize{40, 20};

    Size originalSize() const override { return naturalSize; }
    CIImage createImageAtTime(const ObjectImageRequest& request) override {
        const double w = naturalSize.width * request.xFactor, h = naturalSize.height * request.yFactor;
        CIImage whole = CIImage::imageWithColor(color).imageByCroppingToRect(Rect(0, 0, w, h));
        if (!rightColor) return whole;
        return CIImage::imageWithColor(*rightColor)
            .imageByCroppingToRect(Rect(w / 2, 0, w / 2, h))
            .imageByCompositingOverImage(whole);
    }
};

struct CompositingColor {
    int r, g, b, a;
};

// The pixel at column x of row y (rows counted from the top), premultiplied.
CompositingColor compositingPixel(const BitmapImage& image, int x, int yFromTop) {
    const std::uint32_t p = image.pixelAt(std::size_t(x), std::size_t(yFromTop));
    return {int((p >> 16) & 255), int((p >> 8) & 255), int(p & 255), int(p >> 24)};
}

::testing::AssertionResult compositingNear(const BitmapImage& image, int x, int yFromTop,
                                           CompositingColor want) {
    const CompositingColor got = compositingPixel(image, x, yFromTop);
    if (std::abs(got.r - want.r) <= 2 && std::abs(got.g - want.g) <= 2 && std::abs(got.b - want.b) <= 2 &&
        std::abs(got.a - want.a) <= 2)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure()
           << "pixel (" << x << ", " << yFromTop << " from top) is (" << got.r << ", " << got.g << ", "
           << got.b << ", " << got.a << "), want (" << want.r << ", " << want.g << ", " << want.b << ", "
           << want.a << ")";
}

constexpr CompositingColor compositingClear{0, 0, 0, 0};
constexpr CompositingColor compositingRed{255, 0, 0, 255};
constexpr CompositingColor compositingBlue{0, 0, 255, 255};

class ContainerCompositing : public ModelFixture {
protected:
    ContainerCompositing()
        : renderer(document.objectsContainer()) {
        container()->setCanvasSize({200, 100});
        container()->setBackgroundKind(BackgroundKind::None);
        renderer.setClearColor(0);
    }

    std::shared_ptr<CompositingSolidObject> add(const Rect& rect, CIColor color = {1, 0, 0, 1}) {
        auto object = makeModelObject<CompositingSolidObject>(container());
        object->color = color;
        object->naturalSize = rect.size;
        object->setStartTimeEndTime(0, 10);
        object->setRect(rect, 0);
        container()->addObject(object);
        return object;
    }

    struct Pass {
        Size target{200, 100};
        bool playback = false;
        bool exporting = false;
        ObjectList masks;
        AfterDrawingBlock after;
    };

    BitmapImage render(const Pass& pass) {
        BitmapImage image(std::size_t(pass.target.width), std::size_t(pass.target.height));
        RasterTargetDrawing drawing(RasterTarget::over(image));
        ContainerDrawingOptions options;
        options.time = 1;
        options.forPlayback = pass.playback;
        options.forExport = pass.exporting;
        options.colorSpace = ColorSpace::deviceRGB();
        options.afterObjects = pass.after;
        renderer.drawObjectsInTargetRect(drawing, Rect(0, 0, pass.target.width, pass.target.height),
                                         pass.masks, options);
        return image;
    }
    BitmapImage render() { return render(Pass{}); }

    VTLObjectsContainerRenderer renderer;
};

TEST_F(ContainerCompositing, ObjectsStackInTrackOrderAndTheCanvasYGrowsUpwards) {
    add(Rect(10, 10, 100, 50), {1, 0, 0, 1});
    add(Rect(60, 40, 100, 50), {0, 0, 1, 1});
    const BitmapImage image = render();
    // Canvas y = 10..60 is rows 40..90 from the top.
    EXPECT_TRUE(compositingNear(image, 20, 85, compositingRed));
    EXPECT_TRUE(compositingNear(image, 80, 55, compositingBlue)) << "the upper track covers the lower";
    EXPECT_TRUE(compositingNear(image, 150, 15, compositingBlue));
    EXPECT_TRUE(compositingNear(image, 5, 5, compositingClear)) << "clear colour 0 is transparent";
    // Edges within a pixel.
    EXPECT_TRUE(compositingNear(image, 10, 85, compositingRed));
    EXPECT_TRUE(compositingNear(image, 8, 85, compositingClear));
}

TEST_F(ContainerCompositing, ClearColourIsTransparentOrOpaqueWhite) {
    renderer.setClearColor(255);
    EXPECT_TRUE(compositingNear(render(), 5, 5, {255, 255, 255, 255}));
    renderer.setClearColor(0);
    EXPECT_TRUE(compositingNear(render(), 5, 5, compositingClear));
}

TEST_F(ContainerCompositing, NothingIsDrawnWithoutAColourSpace) {
    add(Rect(0, 0, 200, 100));
    BitmapImage image(200, 100);
    std::fill(image.mutableData(), image.mutableData() + image.byteCount(), std::uint8_t(77));
    RasterTargetDrawing drawing(RasterTarget::over(image));
    renderer.drawObjectsInTargetRect(drawing, Rect(0, 0, 200, 100), {}, ContainerDrawingOptions{});
    EXPECT_TRUE(compositingNear(image, 50, 50, {77, 77, 77, 77})) << "not even cleared";
}

TEST_F(ContainerCompositing, DisabledTracksAreNotDrawn) {
    auto lower = add(Rect(0, 0, 200, 100), {1, 0, 0, 1});
    auto upper = add(Rect(0, 0, 100, 100), {0, 0, 1, 1});
    ASSERT_TRUE(upper->containerTrack());
    upper->containerTrack()->setDisabled(true);
    const BitmapImage image = render();
    EXPECT_TRUE(compositingNear(image, 50, 50, compositingRed));

    // Also when the caller's list holds the object.
    BitmapImage listed(200, 100);
    RasterTargetDrawing drawing(RasterTarget::over(listed));
    ContainerDrawingOptions options;
    options.time = 1;
    options.colorSpace = ColorSpace::deviceRGB();
    renderer.drawObjects({lower, upper}, {}, drawing, Rect(0, 0, 200, 100), {200, 100}, options,
                         IncludeBackground::No);
    EXPECT_TRUE(compositingNear(listed, 50, 50, compositingRed));
}

TEST_F(ContainerCompositing, HalfOpacityBlendsPremultiplied) {
    add(Rect(0, 0, 200, 100), {0, 0, 1, 1});
    auto half = add(Rect(0, 0, 100, 100), {1, 0, 0, 1});
    half->setOpacity(0.5f, 1);
    const BitmapImage image = render();
    EXPECT_TRUE(compositingNear(image, 50, 50, {128, 0, 128, 255}));
    renderer.setClearColor(0);
    container()->removeObject(container()->transitionsAndObjects().front().get());
    EXPECT_TRUE(compositingNear(render(), 50, 50, {128, 0, 0, 128}))
        << "over nothing: premultiplied half red";
}

TEST_F(ContainerCompositing, RotationTurnsClockwiseAboutTheCentre) {
    // A 100 × 20 bar centred at (100, 50), blue on its right half: turned 90° clockwise it stands
    // upright with the blue half below the centre.
    auto bar = add(Rect(50, 40, 100, 20), {1, 0, 0, 1});
    bar->rightColor = CIColor(0, 0, 1, 1);
    const BitmapImage unturned = render();
    EXPECT_TRUE(compositingNear(unturned, 60, 50, compositingRed));
    EXPECT_TRUE(compositingNear(unturned, 140, 50, compositingBlue));
    bar->setRotation(90, 1);
    const BitmapImage image = render();
    EXPECT_TRUE(compositingNear(image, 100, 10, compositingRed)) << "the left end turned upwards";
    EXPECT_TRUE(compositingNear(image, 100, 90, compositingBlue)) << "the right end turned downwards";
    EXPECT_TRUE(compositingNear(image, 60, 50, compositingClear)) << "no longer lying down";
    EXPECT_TRUE(compositingNear(image, 88, 30, compositingClear));
    EXPECT_TRUE(compositingNear(image, 92, 30, compositingRed));
    EXPECT_TRUE(compositingNear(image, 108, 30, compositingRed));
    EXPECT_TRUE(compositingNear(image, 112, 30, compositingClear));
}

TEST_F(ContainerCompositing, MasksCutOutTheirObject) {
    auto masked = add(Rect(0, 0, 200, 100), {1, 0, 0, 1});
    auto mask = add(Rect(50, 25, 100, 50), {0, 1, 0, 1});
    masked->setMaskObject(mask);
    mask->setMaskForObject(masked);

    struct Case {
        const char* name;
        bool playback, exporting, listMask;
        CompositingColor inside, outside;
    };
    // Inside the mask (but off its ghost) the object shows; outside it does not. The ghost (black at
    // 25 %) only appears outside playback and export, with the mask listed.
    const Case cases[] = {
        {"preview, mask listed", false, false, true, compositingRed, compositingClear},
        {"preview, mask not listed", false, false, false, compositingRed, compositingClear},
        {"playback", true, false, true, compositingRed, compositingClear},
        {"export", false, true, true, compositingRed, compositingClear},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Pass pass;
        pass.playback = c.playback;
        pass.exporting = c.exporting;
        if (c.listMask) pass.masks = {mask};
        const BitmapImage image = render(pass);
        EXPECT_TRUE(compositingNear(image, 10, 10, c.outside));
        const bool ghost = c.listMask && !c.playback && !c.exporting;
        // The ghost lies over the masked picture: 25 % black over red.
        EXPECT_TRUE(compositingNear(image, 100, 50, ghost ? CompositingColor{191, 0, 0, 255} : c.inside));
    }
}

TEST_F(ContainerCompositing, AMaskOnADisabledTrackHidesItsObject) {
    auto masked = add(Rect(0, 0, 200, 100), {1, 0, 0, 1});
    auto mask = add(Rect(50, 25, 100, 50), {0, 1, 0, 1});
    masked->setMaskObject(mask);
    mask->setMaskForObject(masked);
    mask->containerTrack()->setDisabled(true);
    EXPECT_TRUE(compositingNear(render(), 100, 50, compositingClear));
}

TEST_F(ContainerCompositing, AMaskNotDrawnAtTheTimeLeavesItsObjectWhole) {
    auto masked = add(Rect(0, 0, 200, 100), {1, 0, 0, 1});
    auto mask = add(Rect(50, 25, 100, 50), {0, 1, 0, 1});
    mask->setStartTimeEndTime(5, 8);
    masked->setMaskObject(mask);
    mask->setMaskForObject(masked);
    const BitmapImage image = render();
    EXPECT_TRUE(compositingNear(image, 10, 10, compositingRed));
    EXPECT_TRUE(compositingNear(image, 100, 50, compositingRed));
}

TEST_F(ContainerCompositing, AListedMaskIsGhostedEvenOutsideTheObjectList) {
    auto masked = add(Rect(0, 0, 100, 100), {1, 0, 0, 1});
    auto mask = makeModelObject<CompositingSolidObject>(container());
    mask->naturalSize = {200, 100};
    mask->setStartTimeEndTime(0, 10);
    mask->setRect(Rect(0, 0, 200, 100), 0);
    masked->setMaskObject(mask);
    mask->setMaskForObject(masked);
    Pass pass;
    pass.masks = {mask};
    const BitmapImage image = render(pass);
    EXPECT_TRUE(compositingNear(image, 150, 50, {0, 0, 0, 64})) << "black at a quarter";
}

TEST_F(ContainerCompositing, DisplayScalingAppliesOnceInAndOutOfPlayback) {
    add(Rect(50, 25, 100, 50), {1, 0, 0, 1});
    for (bool playback : {false, true}) {
        SCOPED_TRACE(playback ? "playback" : "editing");
        Pass pass;
        pass.target = {100, 50};
        pass.playback = playback;
        const BitmapImage image = render(pass);
        ASSERT_EQ(image.width(), 100u);
        // The object covers x 25..75, rows 12.5..37.5 of the half-size target.
        EXPECT_TRUE(compositingNear(image, 50, 25, compositingRed));
        EXPECT_TRUE(compositingNear(image, 26, 14, compositingRed));
        EXPECT_TRUE(compositingNear(image, 23, 25, compositingClear));
        EXPECT_TRUE(compositingNear(image, 77, 25, compositingClear));
        EXPECT_TRUE(compositingNear(image, 50, 10, compositingClear));
        EXPECT_TRUE(compositingNear(image, 50, 40, compositingClear));
    }
}

TEST_F(ContainerCompositing, TheAfterDrawingBlockDrawsInCanvasUnits) {
    for (bool playback : {false, true}) {
        SCOPED_TRACE(playback ? "playback" : "editing");
        int calls = 0;
        Pass pass;
        pass.target = {100, 50};
        pass.playback = playback;
        pass.after = [&](RasterTargetDrawing& drawing) {
            ++calls;
            const CIImage blue =
                CIImage::imageWithColor(CIColor(0, 0, 1, 1)).imageByCroppingToRect(Rect(0, 0, 1, 1));
            // The canvas's right half, in canvas units.
            ASSERT_TRUE(drawing.drawImage(blue, Rect(100, 0, 100, 100), blue.extent()));
        };
        const BitmapImage image = render(pass);
        EXPECT_EQ(calls, 1);
        EXPECT_TRUE(compositingNear(image, 75, 25, compositingBlue));
        EXPECT_TRUE(compositingNear(image, 25, 25, compositingClear));
    }
}

TEST_F(ContainerCompositing, PerObjectTimesDecideWhatDraws) {
    auto early = add(Rect(0, 0, 100, 100), {1, 0, 0, 1});
    early->setStartTimeEndTime(0, 2);
    auto late = add(Rect(100, 0, 100, 100), {0, 0, 1, 1});
    late->setStartTimeEndTime(5, 8);
    BitmapImage image(200, 100);
    RasterTargetDrawing drawing(RasterTarget::over(image));
    ContainerDrawingOptions options;
    options.time = 1;
    options.colorSpace = ColorSpace::deviceRGB();
    const std::vector<double> times = {1, 6};
    renderer.drawObjects({early, late}, {}, drawing, Rect(0, 0, 200, 100), {200, 100}, options,
                         IncludeBackground::No, &times);
    EXPECT_TRUE(compositingNear(image, 50, 50, compositingRed));
    EXPECT_TRUE(compositingNear(image, 150, 50, compositingBlue));
}

TEST_F(ContainerCompositing, TheBackgroundGradientRunsFromTopToBottomAndIsKeptUntilItChanges) {
    container()->setBackgroundColor1(RGBAColor::device(1, 0, 0, 1));
    container()->setBackgroundColor2(RGBAColor::device(0, 0, 1, 1));
    container()->setBackgroundKind(BackgroundKind::LinearGradient);
    const BitmapImage linear = render();
    EXPECT_TRUE(compositingNear(linear, 100, 0, {254, 0, 1, 255}));
    EXPECT_TRUE(compositingNear(linear, 100, 99, {1, 0, 254, 255}));
    EXPECT_TRUE(compositingNear(linear, 100, 50, {127, 0, 128, 255}));
    render();
    EXPECT_EQ(renderer.backgroundBuildCount(), 1u) << "rebuilt only when a value changes";

    container()->setBackgroundKind(BackgroundKind::RadialGradient);
    const BitmapImage radial = render();
    EXPECT_TRUE(compositingNear(radial, 100, 50, {255, 0, 0, 255})) << "first colour at the centre";
    EXPECT_TRUE(compositingNear(radial, 0, 0, {1, 0, 254, 255})) << "second at the corners";

    container()->setCanvasSize({0, 0});
    EXPECT_FALSE(renderer.backgroundImage(*container()).isNull()) << "an empty canvas keeps the last picture";
    container()->setCanvasSize({200, 100});
    container()->setBackgroundKind(BackgroundKind::None);
    EXPECT_TRUE(compositingNear(render(), 100, 50, compositingClear));
}

} // namespace
} // namespace vtl::test
