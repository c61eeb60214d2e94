#include "PixelHelpers.h"
#include "platform/graphics/Color.h"
#include "platform/graphics/Font.h"
#include "platform/graphics/GraphicsContext.h"
#include "platform/graphics/Text.h"

#include <cmath>
#include <gtest/gtest.h>

namespace vtl {
namespace {

TEST(Color, HsbRoundTrip) {
    struct Case {
        Color rgb;
        HSBComponents hsb;
    };
    const Case cases[] = {
        {Color::rgb(1, 0, 0), {0, 1, 1, 1}},           {Color::rgb(0, 1, 0), {1.0 / 3, 1, 1, 1}},
        {Color::rgb(0, 0, 0.5), {2.0 / 3, 1, 0.5, 1}}, {Color::rgb(0.5, 0.5, 0.5, 0.25), {0, 0, 0.5, 0.25}},
        {Color::rgb(1, 0, 1), {5.0 / 6, 1, 1, 1}},
    };
    for (const Case& c : cases) {
        HSBComponents h = c.rgb.hsbComponents();
        EXPECT_NEAR(h.hue, c.hsb.hue, 1e-9);
        EXPECT_NEAR(h.saturation, c.hsb.saturation, 1e-9);
        EXPECT_NEAR(h.brightness, c.hsb.brightness, 1e-9);
        Color back = Color::hsb(c.hsb);
        EXPECT_NEAR(back.red, c.rgb.red, 1e-9);
        EXPECT_NEAR(back.green, c.rgb.green, 1e-9);
        EXPECT_NEAR(back.blue, c.rgb.blue, 1e-9);
        EXPECT_EQ(back.alpha, c.rgb.alpha);
    }
}

TEST(Color, HueWithoutAFiniteValueReadsAsRed) {
    for (double hue : {std::nan(""), HUGE_VAL, -HUGE_VAL}) {
        Color c = Color::hsb(hue, 1, 1, 1);
        EXPECT_EQ(c.red, 1) << hue;
        EXPECT_EQ(c.green, 0) << hue;
        EXPECT_EQ(c.blue, 0) << hue;
    }
}

TEST(Color, GreyBlendAndHash) {
    EXPECT_EQ(Color::white(0.3).whiteComponent(), 0.3);
    EXPECT_EQ(Color::white(0.3).numberOfComponents(), 2);
    Color mid = Color::black().blended(Color::whiteColor(), 0.25);
    EXPECT_DOUBLE_EQ(mid.red, 0.25);
    EXPECT_EQ(Color::rgb(0.1, 0.2, 0.3).hash(), Color::rgb(0.1, 0.2, 0.3).hash());
    EXPECT_NE(Color::rgb(0.1, 0.2, 0.3).hash(), Color::rgb(0.1, 0.2, 0.4).hash());
}

TEST(Font, NamesRoundTripAndUnknownNamesFail) {
    Font system = Font::systemFont(13);
    ASSERT_FALSE(system.family().empty());
    auto byName = Font::withName(system.name(), 13);
    ASSERT_TRUE(byName);
    EXPECT_EQ(*byName, system);
    auto bold = Font::withName(system.bold().name(), 9);
    ASSERT_TRUE(bold);
    EXPECT_TRUE(bold->isBold());
    EXPECT_EQ(bold->pointSize(), 9);
    EXPECT_FALSE(Font::withName("NoSuchFamilyAnywhere", 12));
    EXPECT_FALSE(Font::withName("", 12));
    EXPECT_GT(system.ascender(), 0);
    // A point is a unit of user space: a 13-point face is about 13 units from top to bottom.
    EXPECT_GT(system.lineHeight(), 13 * 0.9);
    EXPECT_LT(system.lineHeight(), 13 * 1.35);
    EXPECT_LT(system.descender(), 0);
}

TEST(Text, MeasuringWrapsAtTheWidth) {
    TextAttributes a{Font::systemFont(12), std::nullopt, std::nullopt};
    EXPECT_EQ(boundingRectForString("", {100, 100}, a, StringDrawingUsesLineFragmentOrigin), Rect());
    Rect one =
        boundingRectForString("one two three four", {1e9, 1e9}, a, StringDrawingUsesLineFragmentOrigin);
    Rect wrapped = boundingRectForString("one two three four", {one.width() * 0.6, 1e9}, a,
                                         StringDrawingUsesLineFragmentOrigin);
    EXPECT_GT(one.width(), 0);
    EXPECT_GT(wrapped.height(), one.height() * 1.5);
    EXPECT_LE(wrapped.width(), one.width() * 0.6);
    Rect twoLines = boundingRectForString("a\nb", {1e9, 1e9}, a, StringDrawingUsesLineFragmentOrigin);
    EXPECT_NEAR(twoLines.height(), 2 * one.height(), 0.01);

    TextAttributes capped = a;
    capped.paragraphStyle = ParagraphStyle{TextAlignment::Natural, LineBreakMode::WordWrapping, 5};
    EXPECT_NEAR(
        boundingRectForString("a\nb", {1e9, 1e9}, capped, StringDrawingUsesLineFragmentOrigin).height(), 10,
        0.01);
}

TEST(Text, DrawingStartsAtTheVisualTopAndAligns) {
    TextAttributes a{Font::systemFont(14), Color::black(), ParagraphStyle{TextAlignment::Right}};
    for (bool flipped : {false, true}) {
        auto c = GraphicsContext::createBitmapContext(100, 60, true, flipped);
        drawString(*c, "MMM", {0, 0, 100, 60}, a, StringDrawingUsesLineFragmentOrigin);
        BitmapRef b = c->makeImage();
        int inkTop = 0, inkBottom = 0, inkLeft = 0, inkRight = 0;
        for (int y = 0; y < 60; ++y)
            for (int x = 0; x < 100; ++x) {
                if (b->pixelAt(x, y).a < 128) continue;
                (y < 30 ? inkTop : inkBottom)++;
                (x < 50 ? inkLeft : inkRight)++;
            }
        EXPECT_GT(inkTop, 0) << flipped;
        EXPECT_EQ(inkBottom, 0) << flipped;
        EXPECT_EQ(inkLeft, 0) << "right aligned";
    }
}

// Columns that hold ink, and rows (stored, 0 at the top).
struct InkBox {
    int minX = 1 << 30, maxX = -1, minY = 1 << 30, maxY = -1;
};
InkBox inkBox(const Bitmap& b) {
    InkBox box;
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x)
            if (b.pixelAt(x, y).a > 100) {
                box.minX = std::min(box.minX, x), box.maxX = std::max(box.maxX, x);
                box.minY = std::min(box.minY, y), box.maxY = std::max(box.maxY, y);
            }
    return box;
}

TEST(Text, TruncatingAndClippingKeepLinesInsideTheWidth) {
    const std::string longText = "a long line of text that cannot fit";
    for (LineBreakMode mode :
         {LineBreakMode::TruncatingTail, LineBreakMode::TruncatingHead, LineBreakMode::Clipping}) {
        TextAttributes a{Font::systemFont(12), Color::black(), ParagraphStyle{TextAlignment::Left, mode}};
        Rect measured = boundingRectForString(longText, {60, 1000}, a, StringDrawingUsesLineFragmentOrigin);
        EXPECT_LT(measured.height(), Font::systemFont(12).lineHeight() * 1.5) << "one line";
        auto c = GraphicsContext::createBitmapContext(200, 40, true, true);
        drawString(*c, longText, {10, 0, 60, 40}, a, StringDrawingUsesLineFragmentOrigin);
        InkBox box = inkBox(*c->makeImage());
        EXPECT_GE(box.minX, 10) << int(mode);
        EXPECT_LE(box.maxX, 71) << int(mode);
    }
    // Wrapped text taller than the rectangle: the last visible line ends with the rest cut.
    TextAttributes wrap{Font::systemFont(12), Color::black(), std::nullopt};
    auto c = GraphicsContext::createBitmapContext(200, 20, true, true);
    drawString(*c, longText + " " + longText, {0, 0, 60, 18}, wrap,
               StringDrawingUsesLineFragmentOrigin | StringDrawingTruncatesLastVisibleLine);
    InkBox box = inkBox(*c->makeImage());
    EXPECT_LE(box.maxX, 61);
    EXPECT_LT(box.maxY, 18);
}

TEST(Text, DrawingAtAPointPlacesTheBlockCorner) {
    TextAttributes a{Font::systemFont(12), Color::black(), std::nullopt};
    auto up = GraphicsContext::createBitmapContext(100, 60);
    drawStringAtPoint(*up, AttributedString("Mg", a), {10, 5});
    InkBox upBox = inkBox(*up->makeImage());
    EXPECT_GE(upBox.minX, 10);
    EXPECT_LE(upBox.maxY, 60 - 5) << "above the point";
    EXPECT_GT(upBox.maxY, 60 - 5 - 8) << "near it";
    auto down = GraphicsContext::createBitmapContext(100, 60, true, true);
    drawStringAtPoint(*down, AttributedString("Mg", a), {10, 5});
    InkBox downBox = inkBox(*down->makeImage());
    EXPECT_GE(downBox.minY, 5) << "below the point";
    EXPECT_LT(downBox.minY, 5 + 8);
}

TEST(Text, TypesetterBreaksAtWordsAndLinesCarryGlyphs) {
    TextAttributes a{Font::systemFont(12), std::nullopt, std::nullopt};
    Typesetter setter(AttributedString("hello world", a));
    TextLine whole = setter.createLine(0, 11);
    ASSERT_FALSE(whole.glyphRuns().empty());
    EXPECT_EQ(whole.glyphRuns()[0].glyphs.size(), 11u);
    size_t n = setter.suggestLineBreak(0, whole.width() * 0.7);
    EXPECT_EQ(n, 6u) << "breaks after the space";
    EXPECT_EQ(setter.suggestLineBreak(6, 1e6), 5u);
    EXPECT_GT(whole.imageBounds().height(), 0);
    EXPECT_GT(whole.imageBounds().maxY(), 0) << "glyphs rise above the baseline";
    EXPECT_GE(setter.suggestLineBreak(0, 0.1), 1u) << "always progresses";
}

} // namespace
} // namespace vtl
