#include "platform/graphics/GraphicsContext.h"

#include "PixelHelpers.h"
#include "platform/graphics/Blur.h"
#include "platform/graphics/Image.h"

#include <cmath>
#include <gtest/gtest.h>
#include <limits>

namespace vtl {
namespace {

using test::pixelUp;

GraphicsContextRef context(int w = 20, int h = 20, bool flipped = false) {
    auto c = GraphicsContext::createBitmapContext(w, h, true, flipped);
    EXPECT_TRUE(c);
    return c;
}

TEST(GraphicsContext, EmptySizeGivesNoContext) {
    EXPECT_FALSE(GraphicsContext::createBitmapContext(0, 10));
    EXPECT_FALSE(GraphicsContext::createBitmapContext(10, -1));
    // Sizes worked out from documents can be absurd: they fail instead of reserving the memory.
    EXPECT_FALSE(GraphicsContext::createBitmapContext(std::numeric_limits<int>::max(), 10));
    EXPECT_FALSE(GraphicsContext::createBitmapContext(30000, 30000));
    EXPECT_TRUE(GraphicsContext::createBitmapContext(32767, 1));
    for (double length : {std::nan(""), -1e300, 1e300, HUGE_VAL})
        EXPECT_FALSE(GraphicsContext::createBitmapContext(pixelCount(length), 10)) << length;
    EXPECT_EQ(pixelCount(6.9), 6);
}

TEST(GraphicsContext, UserSpaceIsYUpUnlessFlipped) {
    for (bool flipped : {false, true}) {
        auto c = context(20, 20, flipped);
        EXPECT_EQ(c->isFlipped(), flipped);
        c->setFillColor(Color::redColor());
        c->fillRect({0, 0, 5, 5});
        BitmapRef b = c->makeImage();
        // Stored row 0 is the top of the picture.
        Bitmap::Pixel top = b->pixelAt(1, 1), bottom = b->pixelAt(1, 18);
        EXPECT_EQ(flipped ? top.r : bottom.r, 255) << flipped;
        EXPECT_EQ(flipped ? bottom.a : top.a, 0) << flipped;
    }
}

TEST(GraphicsContext, ClipLimitsFillsAndRestoreLiftsIt) {
    auto c = context();
    c->saveGState();
    c->clipToRect({0, 0, 10, 20});
    c->setFillColor(Color::rgb(0, 0, 1));
    c->fillRect({0, 0, 20, 20});
    c->restoreGState();
    BitmapRef b = c->makeImage();
    EXPECT_EQ(pixelUp(*b, 5, 10).b, 255);
    EXPECT_EQ(pixelUp(*b, 15, 10).a, 0);

    c->fillRect({0, 0, 20, 20});
    EXPECT_EQ(pixelUp(*c->makeImage(), 15, 10).a, 255) << "the clip went with the restored state";
    EXPECT_EQ(c->fillColor(), Color::black()) << "so did the fill colour";
}

TEST(GraphicsContext, FillRulesDifferForNestedSquares) {
    BezierPath nested;
    nested.appendRect({2, 2, 16, 16});
    nested.appendRect({6, 6, 8, 8});
    for (FillRule rule : {FillRule::Winding, FillRule::EvenOdd}) {
        auto c = context();
        c->fill(nested, rule);
        BitmapRef b = c->makeImage();
        EXPECT_EQ(pixelUp(*b, 3, 3).a, 255);
        EXPECT_EQ(pixelUp(*b, 10, 10).a, rule == FillRule::Winding ? 255 : 0);
    }
}

TEST(GraphicsContext, ShadowIsOffsetInDeviceSpaceAndBlurred) {
    // Sharp shadow: the square moved right and down by 4 (offset y is up).
    auto c = context(40, 40);
    c->setShadow({4, -4}, 0, Color::black());
    c->setFillColor(Color::whiteColor());
    c->fillRect({10, 20, 10, 10});
    BitmapRef b = c->makeImage();
    EXPECT_EQ(pixelUp(*b, 15, 25).r, 255) << "the shape itself";
    Bitmap::Pixel shadow = pixelUp(*b, 22, 18);
    EXPECT_EQ(shadow.a, 255);
    EXPECT_EQ(shadow.r, 0);
    EXPECT_EQ(pixelUp(*b, 8, 25).a, 0) << "nothing on the other side";

    // A blurred shadow falls off with distance from the moved shape's edge.
    auto blurred = context(60, 60);
    blurred->setShadow({0, 0}, 8, Color::black());
    blurred->fillRect({20, 20, 20, 20});
    BitmapRef bb = blurred->makeImage();
    int near = pixelUp(*bb, 42, 30).a, far = pixelUp(*bb, 46, 30).a, farther = pixelUp(*bb, 50, 30).a;
    EXPECT_GT(near, far);
    EXPECT_GT(far, farther);
    EXPECT_GT(near, 0);
}

// Colours and shadow radii can come from stored texts: NaN and absurd sizes must draw defined
// pixels and finish.
TEST(GraphicsContext, OutOfRangeColoursAndBlursStayDefined) {
    auto c = context();
    c->setFillColor(Color::rgb(std::nan(""), 1, 0, 1));
    c->fillRect({0, 0, 20, 20});
    Bitmap::Pixel p = pixelUp(*c->makeImage(), 10, 10);
    EXPECT_EQ(p.r, 0);
    EXPECT_EQ(p.g, 255);
    EXPECT_EQ(p.a, 255);

    struct Case {
        double sigma;
        int minCentre, maxCentre;
    };
    const Case cases[] = {
        {std::nan(""), 255, 255}, // no blur at all
        {1e12, 0, 40},            // spread far beyond the image
        {HUGE_VAL, 0, 40},
    };
    for (const Case& k : cases) {
        Bitmap square(21, 21);
        for (int y = 8; y <= 12; ++y)
            for (int x = 8; x <= 12; ++x)
                square.setPixel(x, y, {255, 255, 255, 255});
        gaussianBlur(square, k.sigma);
        EXPECT_GE(square.pixelAt(10, 10).a, k.minCentre) << k.sigma;
        EXPECT_LE(square.pixelAt(10, 10).a, k.maxCentre) << k.sigma;
    }
}

TEST(GraphicsContext, GlobalAlphaScalesCoverage) {
    auto c = context();
    c->setAlpha(0.5);
    c->fillRect({0, 0, 20, 20});
    EXPECT_NEAR(pixelUp(*c->makeImage(), 10, 10).a, 128, 1);
}

TEST(GraphicsContext, LinearGradientExtendsOnlyWhenAsked) {
    Gradient g({Color::redColor(), Color::rgb(0, 0, 1)});
    for (unsigned options :
         {0u, unsigned(GradientDrawsBeforeStartLocation | GradientDrawsAfterEndLocation)}) {
        auto c = context(40, 10);
        c->drawLinearGradient(g, {10, 5}, {30, 5}, options);
        BitmapRef b = c->makeImage();
        Bitmap::Pixel before = pixelUp(*b, 5, 5), after = pixelUp(*b, 35, 5), start = pixelUp(*b, 11, 5);
        EXPECT_GT(start.r, 200);
        if (options) {
            EXPECT_EQ(before.r, 255);
            EXPECT_EQ(after.b, 255);
        } else {
            EXPECT_EQ(before.a, 0);
            EXPECT_EQ(after.a, 0);
        }
    }
}

TEST(GraphicsContext, GradientLocationsOutsideTheRangeAreClamped) {
    struct Case {
        const char* name;
        double first, second;
    };
    const Case cases[] = {{"in range", 0, 1}, {"NaN first", std::nan(""), 1}, {"beyond", -5, 7}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        auto c = context(40, 10);
        c->drawLinearGradient(Gradient({Color::redColor(), Color::rgb(0, 0, 1)}, {k.first, k.second}), {0, 5},
                              {40, 5});
        BitmapRef b = c->makeImage();
        EXPECT_GT(pixelUp(*b, 1, 5).r, 240);
        EXPECT_GT(pixelUp(*b, 38, 5).b, 240);
        EXPECT_NEAR(pixelUp(*b, 20, 5).r, 128, 12) << "halfway";
    }
}

TEST(GraphicsContext, RadialGradientStaysInsideItsCircles) {
    auto c = context(40, 40);
    c->drawRadialGradient(Gradient({Color::whiteColor(), Color::black()}), {20, 20}, 0, {20, 20}, 10);
    BitmapRef b = c->makeImage();
    EXPECT_GT(pixelUp(*b, 20, 20).r, 200);
    EXPECT_EQ(pixelUp(*b, 20, 20).a, 255);
    EXPECT_EQ(pixelUp(*b, 2, 2).a, 0);
}

TEST(GraphicsContext, ImagesDrawUprightAndCopyReplacesAlpha) {
    // A 2 × 2 bitmap whose top row is red, bottom row transparent.
    Bitmap src(2, 2);
    src.setPixel(0, 0, {0, 0, 255, 255});
    src.setPixel(1, 0, {0, 0, 255, 255});
    auto c = context(10, 10);
    c->setFillColor(Color::rgb(0, 1, 0));
    c->fillRect({0, 0, 10, 10});
    c->drawBitmap(src, {0, 0, 10, 10}, {}, BlendMode::Copy, 1.0);
    BitmapRef b = c->makeImage();
    EXPECT_EQ(pixelUp(*b, 5, 8).r, 255) << "the image's top row lands at maxY";
    EXPECT_EQ(pixelUp(*b, 5, 1).a, 0) << "copy replaced the green with transparency";

    auto over = context(10, 10);
    over->setFillColor(Color::rgb(0, 1, 0));
    over->fillRect({0, 0, 10, 10});
    over->drawBitmap(src, {0, 0, 10, 10}, {}, BlendMode::SourceOver, 1.0);
    EXPECT_EQ(pixelUp(*over->makeImage(), 5, 1).g, 255);
}

TEST(GraphicsContext, MaskClipUsesImageCoverage) {
    Bitmap mask(2, 1);
    mask.setPixel(0, 0, {255, 255, 255, 255});
    auto c = context(10, 10);
    c->clipToMask({0, 0, 10, 10}, mask);
    c->fillRect({0, 0, 10, 10});
    BitmapRef b = c->makeImage();
    EXPECT_EQ(pixelUp(*b, 2, 5).a, 255);
    EXPECT_EQ(pixelUp(*b, 8, 5).a, 0);
}

TEST(GraphicsContext, StrokesUseLineWidthInUserSpace) {
    auto c = context(20, 20);
    c->scaleCTM(2, 2);
    c->setLineWidth(2);
    c->beginPath();
    c->moveTo({0, 5});
    c->addLineTo({10, 5});
    c->strokePath();
    EXPECT_TRUE(c->isPathEmpty());
    BitmapRef b = c->makeImage();
    EXPECT_EQ(pixelUp(*b, 10, 9).a, 255) << "2 user units are 4 pixels: rows 8..11";
    EXPECT_EQ(pixelUp(*b, 10, 11).a, 255);
    EXPECT_EQ(pixelUp(*b, 10, 6).a, 0);
    EXPECT_EQ(pixelUp(*b, 10, 13).a, 0);
}

TEST(GraphicsContext, CurrentContextStackRestoresThePreviousContext) {
    auto first = context();
    GraphicsContext::setCurrent(first);
    first->setAlpha(0.7);
    GraphicsContext::saveCurrentGraphicsState();
    auto second = context();
    GraphicsContext::setCurrent(second);
    first->setAlpha(0.2);
    EXPECT_EQ(GraphicsContext::current(), second.get());
    GraphicsContext::restoreCurrentGraphicsState();
    EXPECT_EQ(GraphicsContext::current(), first.get());
    EXPECT_DOUBLE_EQ(first->alpha(), 0.7);
    GraphicsContext::setCurrent(nullptr);
}

TEST(GraphicsContext, ColorBlendKeepsDestinationLuminosity) {
    auto c = context(4, 4);
    c->setFillColor(Color::white(0.5));
    c->fillRect({0, 0, 4, 4});
    c->setBlendMode(BlendMode::Color);
    c->setFillColor(Color::redColor());
    c->fillRect({0, 0, 4, 4});
    Bitmap::Pixel p = pixelUp(*c->makeImage(), 1, 1);
    EXPECT_GT(p.r, p.g);
    EXPECT_NEAR(0.3 * p.r + 0.59 * p.g + 0.11 * p.b, 128, 3);
}

TEST(Image, BestRepresentationAndDrawingFromPoints) {
    Image image({16, 16});
    image.addRepresentation(std::make_shared<Bitmap>(16, 16));
    image.addRepresentation(std::make_shared<Bitmap>(32, 32));
    EXPECT_EQ(image.bestBitmapForPixelSize({20, 20})->width(), 32);
    EXPECT_EQ(image.bestBitmapForPixelSize({64, 64})->width(), 32);
    EXPECT_EQ(image.bestBitmapForPixelSize({8, 8})->width(), 16);
}

TEST(Bitmap, PngRoundTripKeepsPixels) {
    Bitmap b(3, 2);
    b.setPixel(2, 1, {10, 20, 30, 255});
    auto back = Bitmap::fromData(b.pngData());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->width(), 3);
    EXPECT_EQ(back->pixelAt(2, 1), (Bitmap::Pixel{10, 20, 30, 255}));
    EXPECT_FALSE(Bitmap::fromData(std::vector<uint8_t>{1, 2, 3}));
    EXPECT_FALSE(Bitmap::fromDataWithFormat(b.pngData(), "JPG"));
}

} // namespace
} // namespace vtl

#include "platform/graphics/QtBridge.h"

#include <QImage>
#include <QPainter>

namespace vtl {
namespace {

// The shadowed draw done the plain way over the whole picture: the drawing's coverage filled
// with the shadow colour, blurred, drawn at the offset, and the drawing over it.
QImage plainShadowed(const QImage& background, const QImage& drawing, Size offset, double blurRadius,
                     const Color& shade, const QRect* clip) {
    QImage shadow = drawing.copy();
    {
        QPainter sp(&shadow);
        sp.setCompositionMode(QPainter::CompositionMode_SourceIn);
        sp.fillRect(shadow.rect(), qt::toQColor(shade));
    }
    gaussianBlurPixels(shadow.bits(), shadow.width(), shadow.height(), std::size_t(shadow.bytesPerLine()),
                       blurRadius * 0.5);
    QImage out = background.copy();
    QPainter p(&out);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    if (clip) p.setClipRect(*clip);
    p.drawImage(QPointF(offset.width, -offset.height), shadow);
    p.drawImage(0, 0, drawing);
    return out;
}

TEST(GraphicsContext, ShadowMatchesTheWholePictureTintedAndBlurred) {
    struct Case {
        const char* what;
        int width, height;
        Rect shape;
        Size offset;
        double blurRadius;
        Color shade;
        bool clipped, overBackground;
    };
    const Case cases[] = {
        {"small shape on a large picture",
         300,
         200,
         {40.5, 60.25, 30, 20},
         {3.3, -2.7},
         3,
         Color::rgb(0.2, 0, 0.4, 0.5),
         false,
         false},
        {"shape over the picture's edge",
         120,
         80,
         {-10, 50, 60, 40},
         {-4, 6},
         6,
         Color::black(),
         false,
         false},
        {"sharp shadow", 100, 100, {20, 20, 30.5, 30}, {5, -5}, 0, Color::white(0, 0.6), false, false},
        // Half-pixel offsets on either side of zero: the shadow lands where a single draw puts it.
        {"half-pixel offset", 200, 150, {40, 30, 50, 60}, {0.5, -0.5}, 2, Color::black(), false, false},
        {"negative half-pixel offset",
         200,
         150,
         {40, 30, 50, 60},
         {-1.5, 2.5},
         2,
         Color::black(),
         false,
         false},
        // Wide enough that the blur lifts empty pixels far from the shape as well.
        {"wide blur", 400, 300, {20, 20, 10, 10}, {2, -2}, 80, Color::black(), false, false},
        {"blur wider than the picture", 64, 64, {20, 20, 10, 10}, {2, -2}, 150, Color::black(), false, false},
        {"clipped", 100, 100, {10, 10, 60, 60}, {8, -8}, 4, Color::black(), true, false},
        {"over a background", 100, 100, {30, 30, 30, 30}, {4, -4}, 5, Color::rgb(0, 0, 0, 0.7), false, true},
    };
    for (const Case& c : cases) {
        auto paint = [&](GraphicsContext& g) {
            if (c.clipped) g.clipToRect({0, 0, 50, 100});
            g.setFillColor(Color::rgb(0.9, 0.6, 0.1));
            g.fillEllipseInRect(c.shape);
        };
        auto paintBackground = [&](GraphicsContext& g) {
            if (!c.overBackground) return;
            g.setFillColor(Color::rgb(0.1, 0.5, 0.9, 0.8));
            g.fillRect({0, 0, double(c.width), double(c.height / 2)});
        };
        auto background = context(c.width, c.height);
        paintBackground(*background);
        auto drawing = context(c.width, c.height);
        paint(*drawing);
        auto shadowed = context(c.width, c.height);
        paintBackground(*shadowed);
        shadowed->setShadow(c.offset, c.blurRadius, c.shade);
        paint(*shadowed);

        const QRect clip(0, 0, 50, 100);
        const QImage expected =
            plainShadowed(qt::wrap(*background->makeImage()), qt::wrap(*drawing->makeImage()), c.offset,
                          c.blurRadius, c.shade, c.clipped ? &clip : nullptr);
        BitmapRef gotBitmap = shadowed->makeImage();
        const QImage got = qt::wrap(*gotBitmap);
        int differing = 0;
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x)
                if (got.pixel(x, y) != expected.pixel(x, y)) ++differing;
        EXPECT_EQ(differing, 0) << c.what;
    }
}

TEST(GraphicsContext, OverAnOutsidePainterWithFlippedCoordinates) {
    QImage target(20, 20, QImage::Format_ARGB32_Premultiplied);
    target.fill(Qt::transparent);
    QPainter painter(&target);
    auto c = GraphicsContext::createOverPainter(&painter, 20, 20, true);
    ASSERT_TRUE(c);
    EXPECT_FALSE(c->makeImage());
    c->setShadow({3, -3}, 0, Color::black());
    c->setFillColor(Color::redColor());
    c->fillRect({0, 0, 5, 5});
    painter.end();
    EXPECT_EQ(qRed(target.pixel(1, 1)), 255) << "flipped: the top-left corner";
    EXPECT_EQ(qAlpha(target.pixel(6, 6)), 255) << "the shadow, 3 right and 3 down";
    EXPECT_EQ(qRed(target.pixel(6, 6)), 0);
    EXPECT_FALSE(GraphicsContext::createOverPainter(nullptr, 5, 5, false));
}

} // namespace
} // namespace vtl
