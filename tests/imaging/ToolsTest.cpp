#include "ImagingTestSupport.h"
#include "platform/graphics/GraphicsContext.h"
#include "platform/imaging/CIImageTools.h"
#include "platform/imaging/FilterRegistry.h"
#include "platform/imaging/VTLImageWrapper.h"

#include <cmath>
#include <gtest/gtest.h>

using namespace vtl;
using namespace vtl::test;
using namespace vtl::vtltools;

namespace {

CIImage squareOf(const CIColor& c, const Rect& r) {
    return CIImage::imageWithColor(c).imageByCroppingToRect(r);
}

TEST(ImageTools, StacksAlphaAndTheirShortcuts) {
    EXPECT_TRUE(imageFromImages({}).isNull());
    CIImage red = squareOf(CIColor(1, 0, 0, 1), Rect(0, 0, 10, 10));
    const CIImage one[] = {red};
    EXPECT_TRUE(imageFromImages(one).isSameImage(red));
    const CIImage three[] = {red, squareOf(CIColor(0, 1, 0, 1), Rect(0, 0, 10, 10)),
                             squareOf(CIColor(0, 0, 1, 1), Rect(5, 0, 10, 10))};
    Rendered r = render(imageFromImages(three), {0, 0, 15, 10});
    EXPECT_EQ(r.at(7, 5), (std::array<int, 4>{255, 0, 0, 255})); // third on top
    EXPECT_EQ(r.at(2, 5), (std::array<int, 4>{0, 255, 0, 255}));

    EXPECT_TRUE(imageWithAlpha(red, 1).isSameImage(red));
    EXPECT_NEAR(render(imageWithAlpha(red, 0.25), {0, 0, 10, 10}).alpha(3, 3), 64, 1);
}

// A mask keeps the image where it is opaque, drops it where it is transparent and weakens it in
// between; the background shows nothing.
TEST(ImageTools, MaskImageKeepsTheImageByTheMasksAlpha) {
    CIImage red = squareOf(CIColor(1, 0, 0, 1), Rect(0, 0, 20, 10));
    const CIImage masks[] = {squareOf(CIColor(0, 0, 0, 1), Rect(0, 0, 10, 10)),
                             squareOf(CIColor(0, 0, 0, 0.5), Rect(10, 0, 5, 10))};
    Rendered r = render(imageFromImageMaskImage(red, imageFromImages(masks)), {0, 0, 20, 10});
    EXPECT_EQ(r.at(3, 5), (std::array<int, 4>{0, 0, 255, 255}));
    EXPECT_NEAR(r.alpha(12, 5), 128, 1);
    EXPECT_EQ(r.alpha(17, 5), 0);
    EXPECT_TRUE(imageFromImageMaskImage(red, CIImage()).isSameImage(red)) << "no mask: the image";
    EXPECT_TRUE(imageFromImageMaskImage(CIImage(), red).isNull());
}

// An image with one marked pixel in its top-left corner: turned clockwise by 90° about its
// centre, the mark moves to the top-right corner.
TEST(ImageTools, RotationTurnsClockwiseAboutTheCentre) {
    auto bitmap = solidBitmap(20, 20, {0, 0, 0, 255});
    auto marked = std::make_shared<Bitmap>(*bitmap);
    for (int row = 0; row < 4; ++row)
        for (int x = 0; x < 4; ++x)
            marked->setPixel(x, row, {255, 255, 255, 255});
    CIImage image = CIImage::imageWithBitmap(marked);
    EXPECT_TRUE(imageByRotatingByDegrees(image, 0, 1, nullptr).isSameImage(image));

    Rect correction(0, 0, 20, 20);
    CIImage turned = imageByRotatingByDegrees(image, 90, &correction);
    EXPECT_NEAR(turned.extent().minX(), 0, 1e-9);
    EXPECT_NEAR(turned.extent().width(), 20, 1e-9);
    Rendered r = render(turned, {0, 0, 20, 20});
    EXPECT_GT(r.at(18, 18)[0], 200); // top right now
    EXPECT_LT(r.at(1, 18)[0], 50);   // top left no longer
    EXPECT_NEAR(correction.width(), 20, 1e-9);

    // A 45° turn grows the extent; the correction grows with it, without the scaling.
    Rect grown(0, 0, 20, 20);
    CIImage half = imageByRotatingByDegrees(image, 45, 0.5, &grown);
    EXPECT_NEAR(grown.width(), 20 * std::sqrt(2.0), 1e-9);
    EXPECT_NEAR(half.extent().width(), 10 * std::sqrt(2.0), 1e-9);
}

TEST(ImageTools, CuttingOutKeepsThePiecesAround) {
    CIImage image = squareOf(CIColor(1, 1, 1, 1), Rect(0, 0, 300, 300));
    CIImage cut = imageByCuttingOutRect(image, Rect(100, 0, 100, 300));
    EXPECT_EQ(cut.extent(), Rect(0, 0, 300, 300));
    Rendered r = render(cut, {0, 0, 300, 300});
    EXPECT_EQ(r.alpha(50, 150), 255);
    EXPECT_EQ(r.alpha(150, 150), 0);
    EXPECT_EQ(r.alpha(250, 150), 255);
    // Two pieces: the stack is one compositing of left and right.
    ASSERT_EQ(cut.node()->inputs().size(), 2u);

    EXPECT_TRUE(imageByCuttingOutRect(image, Rect(-10, -10, 400, 400)).isNull());
    CIImage framed = imageByCuttingOutRect(image, Rect(100.5, 100, 100, 99.5));
    Rendered f = render(framed, {0, 0, 300, 300});
    EXPECT_EQ(f.alpha(150, 50), 255);  // bottom
    EXPECT_EQ(f.alpha(150, 250), 255); // top
    EXPECT_EQ(f.alpha(150, 150), 0);
}

TEST(ImageTools, DrawnShapesAndHoles) {
    // A frame 4 wide on 100 × 50 is stroked along (2, 2, 96, 46).
    Rendered frame =
        render(imageWithRoundedFrameOfSize(Size{100, 50}, 0, 4, Color::black()), {0, 0, 100, 50});
    EXPECT_EQ(frame.alpha(1, 25), 255);
    EXPECT_EQ(frame.alpha(3, 25), 255);
    EXPECT_EQ(frame.alpha(5, 25), 0);
    EXPECT_EQ(frame.alpha(50, 48), 255);
    EXPECT_EQ(frame.alpha(50, 45), 0);

    Rendered rounded =
        render(imageWithRoundedRectOfSize(Size{40, 40}, 10, Color::rgb(1, 0, 0), 0.5), {0, 0, 40, 40});
    EXPECT_NEAR(rounded.alpha(20, 20), 128, 1);
    EXPECT_EQ(rounded.alpha(0, 0), 0); // the corner is cut

    Rendered hole =
        render(imageOfSize(Size{40, 30}, Point{10, 10}, 5, Color::rgb(1, 1, 1, 0.5), 1), {0, 0, 40, 30});
    EXPECT_EQ(hole.alpha(10, 10), 0);
    EXPECT_NEAR(hole.alpha(30, 20), 128, 1);
    EXPECT_EQ(hole.at(30, 20)[2], 0); // black

    CIImage clear = transparentImageOfRect(Rect(5, 6, 30, 20));
    EXPECT_EQ(clear.extent(), Rect(5, 6, 30, 20));
    Rendered c = render(clear, {0, 0, 40, 30});
    for (std::uint8_t b : c.bytes)
        EXPECT_EQ(b, 0);
}

TEST(ImageTools, ShadowLiesUnderTheImageAndCorrectsTheExtent) {
    registerBuiltinFilters();
    CIImage square = squareOf(CIColor(1, 1, 1, 1), Rect(0, 0, 20, 20));
    Rect correction(0, 0, 20, 20);
    CIImage shadowed =
        imageByAddingShadowWithRadius(square, 2, CIColor(0, 0, 0, 1), Size{10, -10}, 1, &correction);
    // The blur grows the shadow by 6 on each side to (4, -16, 32, 32) after the move; the union
    // with the image is the new extent.
    EXPECT_EQ(shadowed.extent(), Rect(0, -16, 36, 36));
    EXPECT_EQ(correction, Rect(0, -16, 36, 36));
    Rendered r = render(shadowed, {-10, -20, 50, 50});
    EXPECT_EQ(r.at(5, 5), (std::array<int, 4>{255, 255, 255, 255}));
    EXPECT_EQ(r.at(20, 0), (std::array<int, 4>{0, 0, 0, 255}));
}

TEST(ImageTools, ImageWrapperMakesAnImageOfWhatWasDrawn) {
    VTLImageWrapper wrapper;
    auto context = wrapper.beginContextWithSize(Size{30.7, 20.2});
    ASSERT_TRUE(context);
    EXPECT_EQ(GraphicsContext::current(), context.get());
    context->setFillColor(Color::rgb(0, 1, 0));
    context->fillRect(Rect(0, 0, 10, 5)); // flipped: the top-left corner
    CIImage image = wrapper.releaseContextAndCreateCIImage();
    EXPECT_NE(GraphicsContext::current(), context.get());
    EXPECT_EQ(image.extent(), Rect(0, 0, 30, 20));
    EXPECT_TRUE(wrapper.ciImage().isSameImage(image));
    Rendered r = render(image, {0, 0, 30, 20});
    EXPECT_EQ(r.at(2, 18)[1], 255);
    EXPECT_EQ(r.at(2, 2)[1], 0);
}

} // namespace
