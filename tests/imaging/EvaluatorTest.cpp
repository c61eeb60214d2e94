#include "ImagingTestSupport.h"
#include "platform/foundation/Log.h"
#include "platform/imaging/CIContextWrapper.h"
#include "platform/imaging/CIImageTools.h"
#include "platform/imaging/FilterRegistry.h"

#include <algorithm>
#include <cmath>
#include <gtest/gtest.h>

using namespace vtl;
using namespace vtl::test;

namespace {

// A bitmap whose pixel (x, row) encodes its position, rows top first as stored.
BitmapRef gradientBitmap(int w, int h) {
    auto b = std::make_shared<Bitmap>(w, h);
    for (int row = 0; row < h; ++row)
        for (int x = 0; x < w; ++x)
            b->setPixel(x, row, {std::uint8_t(x * 7), std::uint8_t(row * 5), 40, 255});
    return b;
}

TEST(ImageSpace, StoredRowsTopFirstMapToImageRowsFromTheBottom) {
    EXPECT_EQ(storedRowForImageY(0, 10), 9);
    EXPECT_EQ(storedRowForImageY(9, 10), 0);
    std::uint8_t pixels[3 * 8] = {};
    pixels[0] = 1;  // stored row 0: the top
    pixels[16] = 3; // stored row 2: the bottom
    ConstPixelSpan span = spanOverTopFirstRows<const std::uint8_t>(pixels, 2, 3, 8);
    EXPECT_EQ(span.row(0)[0], 3);
    EXPECT_EQ(span.row(2)[0], 1);

    // A bitmap's top row is the top of the image's extent.
    CIImage image = CIImage::imageWithBitmap(gradientBitmap(6, 4));
    EXPECT_EQ(image.extent(), Rect(0, 0, 6, 4));
    Rendered r = render(image, {0, 0, 6, 4});
    EXPECT_EQ(r.at(2, 3)[1], 0);  // stored row 0
    EXPECT_EQ(r.at(2, 0)[1], 15); // stored row 3
}

TEST(ImageSpace, ContextsDrawIntoTargetsRowsTopFirst) {
    Bitmap target(8, 6);
    CIImage red = CIImage::imageWithColor(CIColor(1, 0, 0, 1));
    auto context =
        CIContextWrapper::sharedCIContextWrapper().newCIContextWithTarget(RasterTarget::over(target));
    ASSERT_TRUE(CIContextWrapper::sharedCIContextWrapper().drawCIImage(red, *context, Rect(0, 0, 2, 1),
                                                                       Rect(0, 0, 2, 1)));
    EXPECT_EQ(target.pixelAt(0, 5), (Bitmap::Pixel{0, 0, 255, 255})); // bottom row as stored last
    EXPECT_EQ(target.pixelAt(0, 0), Bitmap::Pixel{});
    EXPECT_EQ(target.pixelAt(2, 5), Bitmap::Pixel{});

    // Source-over onto what is there; a source rectangle scales onto the destination.
    CIImage halfBlue = CIImage::imageWithColor(CIColor(0, 0, 1, 0.5));
    ASSERT_TRUE(context->drawImage(halfBlue, Rect(0, 0, 8, 6), Rect(0, 0, 1, 1)));
    EXPECT_EQ(target.pixelAt(0, 5), (Bitmap::Pixel{128, 0, 127, 255}));
    EXPECT_EQ(target.pixelAt(7, 0), (Bitmap::Pixel{128, 0, 0, 128}));

    // Refused: an infinite image needs a finite source rectangle.
    Status refused = context->drawImage(red, Rect(0, 0, 8, 6), red.extent());
    EXPECT_FALSE(refused);
    EXPECT_FALSE(context->drawImage(red, Rect(0, 0, 8, 6), Rect(0, 0, NAN, 1)));
    CIContextWrapper::sharedCIContextWrapper().releaseCIContext(std::move(context));
}

// A recipe with every kind of node, rendered with 1, 2 and 8 workers.
TEST(Evaluator, OutputIsTheSameForAnyNumberOfWorkers) {
    registerBuiltinFilters();
    CIImage card = CIImage::imageWithBitmap(gradientBitmap(300, 200));
    auto blur = CIFilter::filterWithName("CIGaussianBlur");
    blur->setValue("inputImage", card);
    blur->setValue("inputRadius", 4.0);
    CIImage turned = vtltools::imageByRotatingByDegrees(blur->outputImage(), 33, 0.8, nullptr);
    auto matrix = CIFilter::filterWithName("CIColorMatrix");
    matrix->setValue("inputImage", turned);
    matrix->setValue("inputRVector", CIVector{0.2, 0.7, 0.1, 0});
    CIImage shadowed = vtltools::imageByAddingShadowWithRadius(matrix->outputImage(), 6, CIColor(0, 0, 0, 1),
                                                               Size{5, -5}, 0.6);
    const CIImage layers[] = {
        CIImage::imageWithColor(CIColor(0.1, 0.2, 0.3, 1)).imageByCroppingToRect(Rect(-50, -50, 700, 500)),
        shadowed, card.imageByApplyingTransform(AffineTransform::translation(400, 20))};
    CIImage recipe = vtltools::imageFromImages(layers);
    PixelRegion region{-40, -30, 1300, 300};
    Rendered one = render(recipe, region, 1);
    ASSERT_FALSE(one.bytes.empty());
    for (int workers : {2, 8}) {
        Rendered many = render(recipe, region, workers);
        EXPECT_TRUE(one.bytes == many.bytes) << workers;
    }
    // Something was drawn where the turned card lies, and the moved card is exact.
    EXPECT_GT(one.alpha(150, 100), 0);
    EXPECT_EQ(one.at(405, 20 + 199)[0], 35);
}

// Premultiplied pixels with every alpha, clear and opaque among them, as stored rows.
std::shared_ptr<Bitmap> patternedBitmap(int w, int h, int seed) {
    auto b = std::make_shared<Bitmap>(w, h);
    for (int row = 0; row < h; ++row)
        for (int x = 0; x < w; ++x) {
            int a = (x * 3 + row * 5 + seed) & 255;
            auto c = [&](int k) { return std::uint8_t((x * k + row + seed) % (a + 1)); };
            b->setPixel(x, row, {c(7), c(11), c(13), std::uint8_t(a)});
        }
    return b;
}

// An over of pictures straight from memory, across bands and tiles and in both row orders, is the
// exact premultiplied over for any number of workers.
TEST(Evaluator, OverOfPicturesInMemoryIsExactForAnyWorkers) {
    constexpr int w = 700, h = 150;
    BitmapRef pictures = patternedBitmap(w + 20, h + 10, 1);
    CIImage stored = CIImage::imageWithBitmap(pictures);
    CPUTileEvaluator evaluator(1);
    Result<CIImage> bottomFirst = materialize(stored, evaluator); // rows run upwards in memory
    ASSERT_TRUE(bottomFirst);
    struct Case {
        const char* name;
        CIImage image;
        int dx, dy; // where the image's pixel lands in the target, image space
        bool exact;
    };
    const Case cases[] = {
        {"stored rows", stored, 0, 0, true},
        {"rows bottom first", *bottomFirst, 0, 0, true},
        {"cropped", stored.imageByCroppingToRect(Rect(30, 12, 500, 100)), 0, 0, true},
        {"moved by whole pixels", stored.imageByApplyingTransform(AffineTransform::translation(-13, 7)), -13,
         7, true},
        {"turned", vtltools::imageByRotatingByDegrees(stored, 21, 0.9, nullptr), 0, 0, false},
    };
    for (const Case& c : cases) {
        std::vector<std::vector<std::uint8_t>> results;
        for (int workers : {1, 2, 8}) {
            std::shared_ptr<Bitmap> target = patternedBitmap(w, h, 77);
            auto context = CIContext::contextWithTarget(RasterTarget::over(*target), {workers, nullptr});
            ASSERT_TRUE(context->drawImage(c.image, Rect(0, 0, w, h), Rect(0, 0, w, h))) << c.name;
            results.emplace_back(target->data(), target->data() + target->bytesPerRow() * std::size_t(h));
            if (!c.exact || workers != 1) continue;
            Rendered source = render(c.image, {0, 0, w, h}, 1);
            BitmapRef before = patternedBitmap(w, h, 77);
            int wrong = 0;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    std::array<int, 4> s = source.at(x, y);
                    Bitmap::Pixel d = before->pixelAt(x, storedRowForImageY(y, h));
                    Bitmap::Pixel o = target->pixelAt(x, storedRowForImageY(y, h));
                    const std::uint8_t dc[4] = {d.b, d.g, d.r, d.a}, oc[4] = {o.b, o.g, o.r, o.a};
                    for (int k = 0; k < 4; ++k)
                        wrong +=
                            oc[k] != std::min(255, s[k] + int(std::lround(dc[k] * (255 - s[3]) / 255.0)));
                }
            EXPECT_EQ(wrong, 0) << c.name;
        }
        EXPECT_TRUE(results[0] == results[1]) << c.name;
        EXPECT_TRUE(results[0] == results[2]) << c.name;
    }
}

// An evaluator keeps its intermediate pictures for the next draws: what it drew before never shows
// through, whatever the sizes drawn in between.
TEST(Evaluator, DrawingAgainGivesWhatAFreshEvaluatorGives) {
    registerBuiltinFilters();
    CPUTileEvaluator reused(2);
    struct Case {
        int width, height, seed;
        const char* filter;
    };
    const Case cases[] = {
        {300, 200, 1, "CIZoomBlur"},    {120, 90, 2, "CIGaussianBlur"}, {300, 200, 3, "CIZoomBlur"},
        {640, 60, 4, "CIGaussianBlur"}, {300, 200, 5, "CIZoomBlur"},
    };
    for (const Case& c : cases) {
        auto f = CIFilter::filterWithName(c.filter);
        f->setValue("inputImage", CIImage::imageWithBitmap(patternedBitmap(c.width, c.height, c.seed)));
        const CIImage image = f->outputImage();
        const PixelRegion region{0, 0, c.width, c.height};
        auto drawWith = [&](CPUTileEvaluator& evaluator) {
            std::vector<std::uint8_t> pixels(std::size_t(c.width) * c.height * 4, 0xab);
            PixelSpan span{pixels.data(), std::ptrdiff_t(c.width) * 4, c.width, c.height};
            EXPECT_TRUE(evaluator.draw(image, region, span, DrawMode::Copy)) << c.filter << " " << c.seed;
            return pixels;
        };
        CPUTileEvaluator fresh(2);
        EXPECT_TRUE(drawWith(reused) == drawWith(fresh)) << c.filter << " " << c.seed;
    }
}

TEST(Evaluator, MaterializedImagesHoldTheSamePixels) {
    registerBuiltinFilters();
    CPUTileEvaluator evaluator(2);
    CIImage card = CIImage::imageWithBitmap(gradientBitmap(40, 30));
    CIImage recipe =
        vtltools::imageWithAlpha(card, 0.5).imageByApplyingTransform(AffineTransform::translation(3, 4));
    Result<CIImage> computed = materialize(recipe, evaluator);
    ASSERT_TRUE(computed);
    EXPECT_EQ(computed->extent(), Rect(3, 4, 40, 30));
    EXPECT_EQ(computed->node()->kind(), detail::ImageNodeKind::Raster);
    PixelRegion region{0, 0, 50, 40};
    EXPECT_TRUE(render(*computed, region).bytes == render(recipe, region).bytes);

    CIImage infinite = CIImage::imageWithColor(CIColor(1, 1, 1, 1));
    EXPECT_FALSE(materialize(infinite, evaluator));
    Result<CIImage> part = materialize(infinite, evaluator, Rect(0, 0, 3, 3));
    ASSERT_TRUE(part);
    EXPECT_EQ(part->extent(), Rect(0, 0, 3, 3));
}

// Bad numbers from documents: no crash, no allocation beyond the limits, a defined result.
TEST(Evaluator, BadNumbersGiveEmptyOrClampedImages) {
    registerBuiltinFilters();
    LogSink previous = setLogSink([](std::string_view) {});
    CIImage card = CIImage::imageWithBitmap(gradientBitmap(20, 20));
    const double bad[] = {std::nan(""), HUGE_VAL, -HUGE_VAL, 1e300, -1e300, 1e12, -5};
    for (double v : bad) {
        SCOPED_TRACE(v);
        // Transforms with the number in every place.
        for (int place = 0; place < 6; ++place) {
            AffineTransform t;
            double* terms[] = {&t.a, &t.b, &t.c, &t.d, &t.tx, &t.ty};
            *terms[place] = v;
            CIImage moved = card.imageByApplyingTransform(t);
            EXPECT_FALSE(moved.isNull());
            Rendered r = render(moved, {-10, -10, 60, 60});
            EXPECT_FALSE(r.bytes.empty());
        }
        CIImage cropped = card.imageByCroppingToRect(Rect(v, 0, 10, v));
        EXPECT_FALSE(render(cropped, {0, 0, 20, 20}).bytes.empty());

        auto blur = CIFilter::filterWithName("CIGaussianBlur");
        blur->setValue("inputImage", card);
        blur->setValue("inputRadius", v);
        CIImage blurred = blur->outputImage();
        EXPECT_FALSE(render(blurred, {0, 0, 20, 20}).bytes.empty());

        CIImage frame = vtltools::imageWithRoundedFrameOfSize(Size{v, 30}, v, v, Color::black());
        EXPECT_FALSE(frame.isNull());
        CIImage rect = vtltools::imageWithRoundedRectOfSize(Size{40, v}, v, Color::black(), v);
        EXPECT_FALSE(rect.isNull());
        CIImage alpha = vtltools::imageWithAlpha(card, v);
        EXPECT_FALSE(render(alpha, {0, 0, 20, 20}).bytes.empty());
        CIImage turned = vtltools::imageByRotatingByDegrees(card, v, v, nullptr);
        EXPECT_FALSE(render(turned, {0, 0, 20, 20}).bytes.empty());
        CIImage hole = vtltools::imageOfSize(Size{30, 30}, Point{v, 5}, v, Color::black(), 1);
        EXPECT_FALSE(render(hole, {0, 0, 30, 30}).bytes.empty());
        CIImage shadow = vtltools::imageByAddingShadowWithRadius(card, v, CIColor(0, 0, 0, 1), Size{v, v}, v);
        EXPECT_FALSE(render(shadow, {0, 0, 20, 20}).bytes.empty());
    }
    // Regions beyond the limits are refused, not allocated.
    CPUTileEvaluator evaluator(2);
    std::uint8_t pixel[4];
    EXPECT_FALSE(
        evaluator.draw(card, {0, 0, 1 << 20, 1 << 20}, {pixel, 4, 1 << 20, 1 << 20}, DrawMode::Copy));
    CIImage tiny = CIImage::imageWithColor(CIColor(1, 0, 0, 1))
                       .imageByCroppingToRect(Rect(0, 0, 1e9, 1e9))
                       .imageByApplyingTransform(AffineTransform::scale(1e-5, 1e-5));
    Bitmap target(16, 16);
    auto context = CIContext::contextWithTarget(RasterTarget::over(target));
    EXPECT_FALSE(context->drawImage(tiny, Rect(0, 0, 16, 16), Rect(0, 0, 16, 16)));
    setLogSink(previous);
}

} // namespace
