#include "drawing/MRDrawing_StringDrawingHelper.h"
#include "drawing/VTLTextMeasurer.h"

#include <cmath>
#include <gtest/gtest.h>
#include <vector>

namespace vtl {
namespace {

using S = MRDrawing_StringDrawingHelper;

struct Ink {
    int count = 0;
    int minX = 1 << 30, maxX = -1, minY = 1 << 30, maxY = -1; // stored rows, 0 at the top
};

Ink inkOf(const Bitmap& b, int threshold = 100) {
    Ink ink;
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x)
            if (b.pixelAt(x, y).a > threshold) {
                ++ink.count;
                ink.minX = std::min(ink.minX, x), ink.maxX = std::max(ink.maxX, x);
                ink.minY = std::min(ink.minY, y), ink.maxY = std::max(ink.maxY, y);
            }
    return ink;
}

class CurrentContext : public ::testing::Test {
protected:
    GraphicsContextRef make(int w, int h, bool flipped = true) {
        auto c = GraphicsContext::createBitmapContext(w, h, true, flipped);
        GraphicsContext::setCurrent(c);
        return c;
    }
    void TearDown() override { GraphicsContext::setCurrent(nullptr); }
};

TEST_F(CurrentContext, AttributeSetsAreCachedPerCombination) {
    make(50, 20);
    Font font = Font::systemFont(11);
    int before = S::attributesBuildCount();
    S::drawString("one", {0, 0, 50, 20}, font, Color::black(), 1, 0, 0);
    S::drawString("two", {0, 0, 50, 20}, font, Color::black(), 1, 0, 0);
    EXPECT_EQ(S::attributesBuildCount(), before + 1);
    EXPECT_EQ(S::attributes(font, Color::black(), 1, 0, 0), S::attributes(font, Color::black(), 1, 0, 0));
    S::drawString("three", {0, 0, 50, 20}, font, Color::black(), 1, 0, 12);
    EXPECT_EQ(S::attributesBuildCount(), before + 2) << "another maximum line height";

    struct Case {
        int alignment, wordWrap;
        TextAlignment expectedAlignment;
        LineBreakMode expectedMode;
    };
    const Case cases[] = {{0, 0, TextAlignment::Left, LineBreakMode::WordWrapping},
                          {1, 1, TextAlignment::Center, LineBreakMode::CharWrapping},
                          {2, 4, TextAlignment::Right, LineBreakMode::TruncatingTail},
                          {3, 5, TextAlignment::Natural, LineBreakMode::TruncatingMiddle},
                          {-1, 9, TextAlignment::Natural, LineBreakMode::WordWrapping}};
    for (const Case& c : cases) {
        auto a = S::attributes(font, std::nullopt, c.alignment, c.wordWrap, 0);
        ASSERT_TRUE(a->paragraphStyle);
        EXPECT_EQ(a->paragraphStyle->alignment, c.expectedAlignment) << c.alignment;
        EXPECT_EQ(a->paragraphStyle->lineBreakMode, c.expectedMode) << c.wordWrap;
        EXPECT_FALSE(a->foregroundColor);
    }
}

TEST_F(CurrentContext, AlignmentPlacesTheText) {
    Font font = Font::systemFont(14);
    std::vector<Ink> inks;
    for (int alignment : {0, 1, 2}) {
        auto c = make(120, 30);
        S::drawString("MM", {0, 0, 120, 30}, font, Color::black(), alignment, 0, 0);
        inks.push_back(inkOf(*c->makeImage()));
        ASSERT_GT(inks.back().count, 0) << alignment;
    }
    EXPECT_LT(inks[0].maxX, 60);
    EXPECT_NEAR((inks[1].minX + inks[1].maxX) * 0.5, 60, 3);
    EXPECT_GT(inks[2].minX, 60);
}

TEST_F(CurrentContext, EmbossShadowOnlyOnScreenWithStrength) {
    Font font = Font::boldSystemFont(16);
    auto whiteInk = [&](bool screen, float strength) {
        auto c = make(80, 30);
        c->setDrawingToScreen(screen);
        S::drawBlackEmbossedString("HH", {0, 0, 80, 30}, font, 0, 0, strength);
        EXPECT_EQ(c->gStateDepth(), 0);
        BitmapRef b = c->makeImage();
        int white = 0;
        for (int y = 0; y < b->height(); ++y)
            for (int x = 0; x < b->width(); ++x)
                white += b->pixelAt(x, y).r > 100;
        return white;
    };
    EXPECT_GT(whiteInk(true, 0.75f), 0);
    EXPECT_EQ(whiteInk(true, 0), 0);
    EXPECT_EQ(whiteInk(false, 0.75f), 0) << "no shadow while printing";
}

TEST(StringMeasure, SizesOfStrings) {
    Font font = Font::systemFont(12);
    EXPECT_EQ(S::sizeOfString("", font), (Size{0, 0}));
    Size one = S::sizeOfString("word", font);
    EXPECT_GT(one.width, 0);
    EXPECT_GT(one.height, 0);
    Size narrow = S::sizeOfString("word word word", font, {one.width * 1.5, 1000});
    EXPECT_GT(narrow.height, one.height * 2.5);
    EXPECT_NEAR(S::sizeOfString("a\nb\nc", font, 6, {1000, 1000}).height, 18, 0.01);
}

TEST(StringLines, LinesHeightsAndEmptyStrings) {
    TextAttributes a{Font::systemFont(12), std::nullopt, std::nullopt};
    AttributedString empty("", a);
    Typesetter emptySetter(empty);
    EXPECT_TRUE(S::createArrayWithCTLinesFromTypesetter(emptySetter, empty, 100).empty());

    AttributedString text("alpha beta gamma delta", a);
    Typesetter setter(text);
    auto lines = S::createArrayWithCTLinesFromTypesetter(setter, text, 60);
    ASSERT_GT(lines.size(), 1u);
    size_t covered = 0;
    for (const auto& l : lines) {
        EXPECT_EQ(l.start(), covered);
        covered += l.length();
    }
    EXPECT_EQ(covered, text.length());
    auto ctx = GraphicsContext::createBitmapContext(10, 10);
    int tall = S::heightOfAttributedString(text, 60, *ctx);
    int flat = S::heightOfAttributedString(text, 1000, *ctx);
    EXPECT_GT(tall, flat * 2);
    EXPECT_EQ(S::heightOfAttribtedStringOnArc(AttributedString("", a), 0, 90, 50, false, *ctx), 0);
}

TEST(StringLines, AttributedStringDrawsInAFlippedContextAndArcsDrawGlyphs) {
    TextAttributes a{Font::systemFont(14), std::nullopt, std::nullopt};
    auto ctx = GraphicsContext::createBitmapContext(100, 60, true, true);
    S::drawAttributedString(AttributedString("Hello", a), {0, 10, 100, 40}, 1, *ctx);
    EXPECT_EQ(ctx->textPosition(), (Point{0, 0}));
    Ink ink = inkOf(*ctx->makeImage());
    ASSERT_GT(ink.count, 0);
    EXPECT_NEAR((ink.minX + ink.maxX) * 0.5, 50, 4) << "centred";

    auto arc = GraphicsContext::createBitmapContext(200, 200, true, true);
    arc->translateCTM(100, 100);
    S::drawAttributedStringOnArc(AttributedString("ARC TEXT", a), 45, 135, 60, false, *arc);
    Ink arcInk = inkOf(*arc->makeImage());
    EXPECT_GT(arcInk.count, 0);
    EXPECT_EQ(arc->gStateDepth(), 0);
}

// Ink centre and the centre of the ink's bounds, in screen terms: x to the right, y up.
struct InkBalance {
    int count = 0;
    double massX = 0, massY = 0, boxX = 0, boxY = 0;
};

InkBalance balanceOf(const Bitmap& b) {
    InkBalance out;
    Ink ink = inkOf(b);
    double sx = 0, sy = 0;
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x)
            if (b.pixelAt(x, y).a > 100) sx += x, sy += y, ++out.count;
    if (out.count == 0) return out;
    out.massX = sx / out.count, out.massY = -sy / out.count;
    out.boxX = (ink.minX + ink.maxX) * 0.5, out.boxY = -(ink.minY + ink.maxY) * 0.5;
    return out;
}

// Text on an arc must read like ordinary text turned along the circle: glyphs never mirrored and
// laid out in reading order, whichever way up the context's user space is. An "L" shows both (its
// ink sits at its own bottom-left), and "W...." shows the order (the heavy glyph comes first).
TEST(StringLines, TextOnAnArcReadsInOrderAndUnmirrored) {
    struct Case {
        const char* name;
        bool flippedContext, flag;
        float start, end;
        bool onTopHalf;
        int glyphUp; // +1: the glyphs' tops point up the screen, -1: down
    };
    const Case cases[] = {
        {"y-up, outside, top", false, false, 45, 135, true, +1},
        {"y-up, outside, bottom", false, false, -135, -45, false, -1},
        {"y-up, inside, bottom", false, true, -135, -45, false, +1},
        {"flipped, outside, top", true, false, -135, -45, true, +1},
        {"flipped, inside, bottom", true, true, 45, 135, false, +1},
        {"flipped, inside, top", true, true, -135, -45, true, -1},
    };
    TextAttributes a{Font::systemFont(24), std::nullopt, std::nullopt};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto draw = [&](const char* text) {
            auto ctx = GraphicsContext::createBitmapContext(240, 240, true, c.flippedContext);
            ctx->translateCTM(120, 120);
            S::drawAttributedStringOnArc(AttributedString(text, a), c.start, c.end, 80, c.flag, *ctx);
            return balanceOf(*ctx->makeImage());
        };
        // Reading direction on the screen: the glyphs' up turned a quarter clockwise.
        const double up = c.glyphUp, right = c.glyphUp;

        InkBalance l = draw("L");
        ASSERT_GT(l.count, 0);
        EXPECT_EQ(l.boxY > -120, c.onTopHalf) << "where on the circle";
        EXPECT_LT((l.massY - l.boxY) * up, -1) << "an L's foot is at its bottom";
        EXPECT_LT((l.massX - l.boxX) * right, -1) << "an L's stem is at its left";

        InkBalance w = draw("W....");
        ASSERT_GT(w.count, 0);
        EXPECT_LT((w.massX - w.boxX) * right, -2) << "the first glyph comes first";
    }

    for (float radius : {std::nanf(""), 0.0f, HUGE_VALF}) {
        auto ctx = GraphicsContext::createBitmapContext(100, 100);
        S::drawAttributedStringOnArc(AttributedString("ARC", a), 0, 90, radius, false, *ctx);
        EXPECT_EQ(inkOf(*ctx->makeImage()).count, 0) << "no circle to draw on: " << radius;
        EXPECT_EQ(ctx->gStateDepth(), 0);
    }
}

TEST(TextMeasurer, BisectionCases) {
    struct Case {
        const char* name;
        float min, max, fitsUpTo, expected;
    };
    const Case cases[] = {
        {"fits everywhere", 8, 72, 1000, 71.5f},
        {"fits nowhere", 8, 72, 0, 8},
        {"narrow interval fitting", 10, 10.8f, 1000, 10.4f},
        {"narrow interval not fitting at the middle", 10, 10.8f, 10.2f, 10},
        {"last middle too large", 8, 72, 40.2f, 40},
    };
    for (const Case& c : cases) {
        std::vector<float> tested;
        float got = VTLTextMeasurer::largestFittingSize(c.min, c.max, [&](float s) {
            tested.push_back(s);
            return s <= c.fitsUpTo;
        });
        EXPECT_FLOAT_EQ(got, c.expected) << c.name;
        bool gotWasTestedAndFits = false;
        for (float t : tested)
            gotWasTestedAndFits |= (t == got && t <= c.fitsUpTo);
        if (got != c.min) {
            EXPECT_TRUE(gotWasTestedAndFits) << c.name;
        }
    }
}

TEST(TextMeasurer, FitsAndHeights) {
    auto& m = VTLTextMeasurer::sharedInstance();
    EXPECT_EQ(&m, &VTLTextMeasurer::sharedInstance());
    Font font = Font::systemFont(12);
    TextAttributes attrs{font, std::nullopt, std::nullopt};
    EXPECT_TRUE(m.textFitsInSize(std::nullopt, {0, 0}, font, 12, attrs));
    EXPECT_EQ(m.requiredHeightForText(std::nullopt, 100, font, attrs), 0);

    Rect exact =
        boundingRectForString("Fits exactly", {1e6, 1e6}, attrs, StringDrawingUsesLineFragmentOrigin);
    EXPECT_TRUE(m.textFitsInSize("Fits exactly", exact.size, font, 12, attrs));
    EXPECT_FALSE(m.textFitsInSize("Fits exactly", {exact.width(), exact.height() - 1}, font, 12, attrs));

    Size box{200, 40};
    float best = m.maximumFontSizeForText("Some words to fit", box, font, attrs, 6, 80);
    EXPECT_TRUE(m.textFitsInSize("Some words to fit", box, font, best, attrs));
    EXPECT_FALSE(m.textFitsInSize("Some words to fit", box, font, best + 1.5f, attrs));

    float h = m.requiredHeightForText("one two three four five six", 40, font, attrs);
    EXPECT_GT(h, 3 * font.lineHeight() - 0.5);
}

} // namespace
} // namespace vtl
