#include "drawing/GeometryFunctions.h"
#include "drawing/MRDrawing_CGContextCreationHelper.h"
#include "drawing/MRDrawing_CGContextDrawingHelper.h"
#include "drawing/MRDrawing_ImagesHelper.h"
#include "platform/foundation/Log.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace vtl {
namespace {

using I = MRDrawing_ImagesHelper;
using D = MRDrawing_CGContextDrawingHelper;

BitmapRef twoByTwo() {
    // Top row: opaque red, transparent; bottom row: opaque green, opaque blue.
    auto b = std::make_shared<Bitmap>(2, 2);
    b->setPixel(0, 0, {0, 0, 255, 255});
    b->setPixel(0, 1, {0, 255, 0, 255});
    b->setPixel(1, 1, {255, 0, 0, 255});
    return b;
}

void writeFile(const std::filesystem::path& p, const std::vector<uint8_t>& data) {
    std::ofstream(p, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()), static_cast<long>(data.size()));
}

TEST(ImagesHelper, OrientationsMoveTheCorners) {
    BitmapRef src = twoByTwo();
    // Where the red top-left pixel ends up.
    struct Case {
        int orientation;
        int x, y;
    };
    const Case cases[] = {{2, 1, 0}, {3, 1, 1}, {4, 0, 1}, {5, 0, 0}, {6, 1, 0}, {7, 1, 1}, {8, 0, 1}};
    for (const Case& c : cases) {
        BitmapRef out = I::applyEXIFOrientation(c.orientation, src);
        EXPECT_EQ(out->pixelAt(c.x, c.y).r, 255) << c.orientation;
    }
    for (int same : {1, 9, 0})
        EXPECT_EQ(I::applyEXIFOrientation(same, src), src);
    auto wide = std::make_shared<Bitmap>(3, 1);
    EXPECT_EQ(I::applyEXIFOrientation(6, wide)->width(), 1);
    EXPECT_EQ(I::applyEXIFOrientation(6, wide)->height(), 3);
}

TEST(ImagesHelper, TintsKeepTheShape) {
    BitmapRef src = twoByTwo();
    BitmapRef filled = I::createColorFilledImage(src, Color::rgb(0, 0, 1));
    ASSERT_TRUE(filled);
    EXPECT_EQ(filled->pixelAt(0, 0), (Bitmap::Pixel{255, 0, 0, 255}));
    EXPECT_EQ(filled->pixelAt(1, 0).a, 0);
    BitmapRef multiplied = I::createColorMultipliedImage(src, Color::rgb(1, 0, 0));
    EXPECT_EQ(multiplied->pixelAt(0, 0).r, 255);
    EXPECT_EQ(multiplied->pixelAt(0, 1).g, 0) << "green times red is black";
    EXPECT_EQ(multiplied->pixelAt(1, 0).a, 0);
    BitmapRef hue = I::createColorHueAdjustImage(src, static_cast<float>(2 * M_PI));
    EXPECT_NEAR(hue->pixelAt(0, 0).r, 255, 2) << "a full turn changes nothing";
}

TEST(ImagesHelper, ScalingCroppingAndOpacity) {
    BitmapRef src = twoByTwo();
    EXPECT_FALSE(I::createScaledImageRefFromImageRef(src, {0, 5}));
    BitmapRef scaled = I::createScaledImageRefFromImageRef(src, {4.4, 3.6});
    ASSERT_TRUE(scaled);
    EXPECT_EQ(scaled->width(), 4);
    EXPECT_EQ(scaled->height(), 4);
    // The top-right pixel of a y-up sub-rectangle (1, 1, 1, 1) is the transparent one.
    BitmapRef sub = I::createSubImageFromImage(src, {1, 1, 1, 1});
    EXPECT_EQ(sub->pixelAt(0, 0).a, 0);
    BitmapRef sub2 = I::createSubImageFromImage(src, {0, 0, 1, 1});
    EXPECT_EQ(sub2->pixelAt(0, 0).g, 255);
    EXPECT_FALSE(I::isCGImageOpaque(src));
    EXPECT_TRUE(I::isCGImageOpaque(std::make_shared<Bitmap>(2, 2, Bitmap::AlphaInfo::NoneSkipFirst)));
    ImageRef platform = I::platformImageFromCGImage(src);
    BitmapRef back = I::createImageRefFromPlattformImage(platform);
    EXPECT_EQ(back->pixelAt(0, 0), src->pixelAt(0, 0));
    EXPECT_EQ(back->pixelAt(1, 1), src->pixelAt(1, 1));
    EXPECT_FALSE(I::createImageRefFromPlattformImage(nullptr));
}

TEST(ImagesHelper, FilesByExtensionAndData) {
    auto dir = std::filesystem::temp_directory_path() / ("vtl-images-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    auto png = I::pngDataFromCGImageRef(twoByTwo());
    writeFile(dir / "a.png", png);
    writeFile(dir / "b.PNG", png);
    writeFile(dir / "c.jpg", png); // PNG bytes behind a jpg name: the data path reads them
    for (const char* name : {"a.png", "b.PNG", "c.jpg"}) {
        BitmapRef b = I::createImageRefFromFile(dir / name);
        ASSERT_TRUE(b) << name;
        EXPECT_EQ(b->pixelAt(0, 1).g, 255) << name;
    }
    EXPECT_FALSE(I::createImageRefFromFile(dir / "missing.png"));
    EXPECT_FALSE(I::createImageRefFromData({}));
    auto jpeg = I::jpegDataFromCGImageRef(twoByTwo());
    EXPECT_TRUE(I::createImageRefFromJPGData(jpeg));
    EXPECT_FALSE(I::createImageRefFromPNGData(jpeg));
    std::filesystem::remove_all(dir);
}

TEST(ImagesHelper, NamedImagesLoadOnceAndLargeOnesAreNotCached) {
    auto dir = std::filesystem::temp_directory_path() / ("vtl-named-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    writeFile(dir / "small.png", Bitmap(511, 511).pngData());
    writeFile(dir / "wide.png", Bitmap(512, 100).pngData());
    I::addImageSearchDirectory(dir);
    int before = I::imageNamedLoadCount();
    ImageRef first = I::imageNamed("small");
    ImageRef second = I::imageNamed("small.png");
    ASSERT_TRUE(first);
    EXPECT_EQ(first, second);
    EXPECT_EQ(I::imageNamedLoadCount(), before + 1);
    ASSERT_TRUE(I::imageNamed("wide"));
    ASSERT_TRUE(I::imageNamed("wide"));
    EXPECT_EQ(I::imageNamedLoadCount(), before + 3) << "the wide image is read each time";
    EXPECT_FALSE(I::imageNamed("no-such-image"));
    std::filesystem::remove_all(dir);
}

TEST(ImagesHelper, DrawingWithCopyReplacesDestinationAlpha) {
    auto ctx = MRDrawing_CGContextCreationHelper::beginCGContextWithSize({2, 2});
    ctx->setFillColor(Color::whiteColor());
    ctx->fillRect({0, 0, 2, 2});
    I::drawPlattformImage(I::platformImageFromCGImage(twoByTwo()), {0, 0, 2, 2}, 0);
    BitmapRef copied = MRDrawing_CGContextCreationHelper::releaseCGContextAndCreateImage(ctx);
    int transparent = 0;
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x)
            transparent += copied->pixelAt(x, y).a == 0;
    EXPECT_EQ(transparent, 1);
}

TEST(Gradients, EndPointsFromAngles) {
    const Rect r{0, 0, 100, 50};
    struct Case {
        double angle;
        Point start, stop;
    };
    const Case cases[] = {
        {0, {0, 50}, {0, 0}},         {M_PI, {100, 0}, {100, 50}},     {5 * M_PI, {100, 0}, {100, 50}},
        {M_PI / 2, {0, 0}, {100, 0}}, {-M_PI / 2, {100, 50}, {0, 50}},
    };
    for (const Case& c : cases) {
        Point start = D::startPointForDrawingGradientInRect(r, c.angle);
        Point stop = D::stopPointForDrawingGradientInRect(r, c.angle);
        EXPECT_NEAR(start.x, c.start.x, 1e-4) << c.angle;
        EXPECT_NEAR(start.y, c.start.y, 1e-4) << c.angle;
        EXPECT_NEAR(stop.x, c.stop.x, 1e-4) << c.angle;
        EXPECT_NEAR(stop.y, c.stop.y, 1e-4) << c.angle;
    }
    int before = assertionFailureCount();
    auto previous = setLogSink([](std::string_view) {});
    EXPECT_EQ(D::intersectionPointForLine1DirectionVector({0, 0}, {1, 1}, {1, 0}, {2, 2}), (Point{0, 0}));
    setLogSink(previous);
    EXPECT_EQ(assertionFailureCount(), before + 1);
}

TEST(Gradients, GlossyStops) {
    Gradient g = D::glossyGradient(Color::white(0.5), 1, true);
    ASSERT_EQ(g.colors.size(), 4u);
    EXPECT_EQ(g.locations, (std::vector<double>{0.0, 0.499, 0.501, 1.0}));
    EXPECT_NEAR(g.colors[3].red, 0.75, 1e-6);
    EXPECT_NEAR(g.colors[3].blue, 0.6, 1e-6);
    EXPECT_NEAR(D::glossyGradient(Color::white(0.5), 1, false).colors[3].blue, 0.75, 1e-6);
    EXPECT_NEAR(g.colors[2].green, 0.45, 1e-6);
}

TEST(Gradients, CountMismatchLogsAndDrawsNothing) {
    auto ctx = GraphicsContext::createBitmapContext(10, 10);
    std::vector<std::string> lines;
    auto previous = setLogSink([&](std::string_view l) { lines.emplace_back(l); });
    D::drawGradientFromPoint({0, 0}, {10, 0}, {Color::black(), Color::redColor(), Color::whiteColor()},
                             {0, 1}, *ctx);
    D::drawRadialGradientFromCenterPoint({5, 5}, {5, 5}, 0, 5, {Color::black()}, {0, 1}, *ctx);
    setLogSink(previous);
    EXPECT_EQ(lines,
              (std::vector<std::string>(2, "Different Count of Colors and Locations passed to gradient")));
    EXPECT_EQ(ctx->makeImage()->pixelAt(5, 5).a, 0);

    D::drawGradientFromPoint({0, 0}, {10, 0}, Color::black(), Color::whiteColor(), *ctx);
    BitmapRef b = ctx->makeImage();
    EXPECT_LT(b->pixelAt(1, 5).r, b->pixelAt(8, 5).r);
}

TEST(Gradients, RectGradientClipsWhenAsked) {
    auto ctx = GraphicsContext::createBitmapContext(20, 20);
    ctx->saveGState();
    D::drawGradient(Gradient({Color::redColor(), Color::redColor()}), {0, 0, 10, 10}, 0, true, *ctx);
    ctx->restoreGState();
    BitmapRef b = ctx->makeImage();
    EXPECT_EQ(b->pixelAt(5, 15).r, 255);
    EXPECT_EQ(b->pixelAt(15, 15).a, 0);
}

TEST(GeometryDrawing, LeftRightOutlineClipsAndGradientRectIsSolid) {
    auto ctx = GraphicsContext::createBitmapContext(40, 20);
    GraphicsContext::setCurrent(ctx);
    appendPathWithRoundedCornersLeftRightInRect(true, false, *ctx, false, {0, 0, 40, 20}, 10);
    EXPECT_FALSE(ctx->isPathEmpty());
    ctx->saveGState();
    appendPathWithRoundedCornersLeftRightInRect(true, false, *ctx, true, {0, 0, 40, 20}, 10);
    EXPECT_TRUE(ctx->isPathEmpty()) << "clipping consumes the path";
    drawGradientInRect(Color::redColor(), Color::rgb(0, 0, 1), {0, 0, 40, 20});
    ctx->restoreGState();
    BitmapRef b = ctx->makeImage();
    EXPECT_EQ(b->pixelAt(0, 0).a, 0) << "rounded left corner";
    EXPECT_EQ(b->pixelAt(39, 0).r, 255) << "square right corner";
    EXPECT_EQ(b->pixelAt(20, 1).r, 255) << "the first colour throughout";
    EXPECT_EQ(b->pixelAt(20, 18).r, 255);
    GraphicsContext::setCurrent(nullptr);
}

} // namespace
} // namespace vtl
