#include "drawing/MRDrawing_ColorsHelper.h"
#include "drawing/MRDrawing_FontsHelper.h"
#include "drawing/PreferencesTextStore.h"
#include "platform/foundation/Log.h"

#include <cmath>
#include <gtest/gtest.h>
#include <set>

namespace vtl {
namespace {

using C = MRDrawing_ColorsHelper;

void expectColor(const std::optional<Color>& c, double r, double g, double b, double a) {
    ASSERT_TRUE(c);
    EXPECT_NEAR(c->red, r, 1e-6);
    EXPECT_NEAR(c->green, g, 1e-6);
    EXPECT_NEAR(c->blue, b, 1e-6);
    EXPECT_NEAR(c->alpha, a, 1e-6);
}

TEST(ColorsHelper, TextForms) {
    EXPECT_EQ(C::stringFromPlattformColor(Color::rgb(1, 0, 0)), "1.000000;0.000000;0.000000");
    EXPECT_EQ(C::stringFromPlattformColor(Color::rgb(1, 0, 0, 0.5)), "1.000000;0.000000;0.000000;0.500000");
    expectColor(C::plattformColorFromString("0.5;0.25;1"), 0.5, 0.25, 1, 1);
    expectColor(C::plattformColorFromString("0.5;0.25;1;0.1"), 0.5, 0.25, 1, 0.1);
    EXPECT_FALSE(C::plattformColorFromString(""));

    std::vector<std::string> lines;
    auto previous = setLogSink([&](std::string_view l) { lines.emplace_back(l); });
    EXPECT_FALSE(C::plattformColorFromString("1;2"));
    setLogSink(previous);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "Error parsing Color: 1;2");
}

TEST(ColorsHelper, HexAndCssForms) {
    expectColor(C::plattformColorFromHexString("#f80"), 1, 136 / 255.0, 0, 1);
    expectColor(C::plattformColorFromHexString("FF8800"), 1, 136 / 255.0, 0, 1);
    for (const char* bad : {"#12345", "", "##", "zzzzzz"})
        EXPECT_FALSE(C::plattformColorFromHexString(bad)) << bad;
    EXPECT_EQ(C::hexStringFromPlattformColor(Color::rgb(1, 0.5, 0.0)), "#FF7F00");
    expectColor(C::plattformColorFromCSSRGBAString("rgba(255,128,0,0.5)"), 1, static_cast<float>(128 / 255.0),
                0, 0.5);
    EXPECT_FALSE(C::plattformColorFromCSSRGBAString("rgba(1,2,3)"));
    EXPECT_FALSE(C::plattformColorFromCSSRGBAString(""));
    EXPECT_EQ(C::CSSRGBAStringFromPlattformColor(Color::rgb(1, 0.5, 0, 0.25)), "rgba(255,127,0,0.250000)");
    // Components parsed from outside text can be far out of range; writing them must not overflow.
    EXPECT_EQ(C::CSSRGBAStringFromPlattformColor(Color::rgb(1e30, -1e30, 0, 1)),
              "rgba(2147483647,-2147483648,0,1.000000)");
    EXPECT_EQ(C::hexStringFromPlattformColor(*C::plattformColorFromString("1e30;nan;0")), "#7FFFFFFF0000");
}

TEST(ColorsHelper, DrawingColoursAndTheirTexts) {
    auto grey = C::createCGColorRefFromPlattformColor(Color::white(0.4, 0.5));
    ASSERT_TRUE(grey);
    EXPECT_EQ(grey->numberOfComponents(), 2);
    EXPECT_EQ(*C::stringFromCGColorRef(grey), "0.400000;0.500000");
    auto rgb = C::createCGColorRefFromPlattformColor(Color::rgb(0.1, 0.2, 0.3));
    EXPECT_EQ(*C::stringFromCGColorRef(rgb), "0.100000;0.200000;0.300000;1.000000");
    EXPECT_FALSE(C::createCGColorRefFromPlattformColor(std::nullopt));
    EXPECT_FALSE(C::stringFromCGColorRef(Color::patternImage(nullptr)));
    expectColor(C::createCGColorRefFromString("0.3;0.6"), 0.3, 0.3, 0.3, 0.6);
    EXPECT_FALSE(C::createCGColorRefFromString("0.3;0.6;1"));
    expectColor(C::plattformColorWithByteRed(255, 51, 0, 1), 1, 0.2, 0, 1);
    EXPECT_TRUE(C::isPlattformColor(std::any(Color::black())));
    EXPECT_FALSE(C::isPlattformColor(std::any(std::string("0;0;0"))));
    EXPECT_FALSE(C::isPlattformColor(std::any()));
}

TEST(ColorsHelper, PreferencesKeepTheTextForm) {
    auto store = std::make_shared<MemoryPreferencesTextStore>();
    PreferencesTextStore::setStandard(store);
    EXPECT_FALSE(C::plattformColorForNameFromPreferences("tint"));
    C::setPlattformColorForNameInPreferences(Color::rgb(0.25, 0.5, 0.75, 0.5), "tint");
    EXPECT_EQ(*store->stringForKey("tint"), "0.250000;0.500000;0.750000;0.500000");
    expectColor(C::plattformColorForNameFromPreferences("tint"), 0.25, 0.5, 0.75, 0.5);
    PreferencesTextStore::setStandard(nullptr);
}

TEST(ColorsHelper, RandomColoursComeInBrightnessRows) {
    EXPECT_TRUE(C::generateRandomPlattformColors(0).empty());
    auto colors = C::generateRandomPlattformColors(250);
    ASSERT_EQ(colors.size(), 250u);
    std::multiset<long> rows;
    for (const Color& c : colors)
        rows.insert(std::lround(c.hsbComponents().brightness * 10000));
    EXPECT_EQ(rows.count(10000), 100u);
    EXPECT_EQ(rows.count(8333), 100u);
    EXPECT_EQ(rows.count(6667), 50u);
    EXPECT_EQ(C::generateRandomPlattformColors(7).size(), 7u);
}

TEST(FontsHelper, TextFormsAndFallbacks) {
    using F = MRDrawing_FontsHelper;
    Font system = F::defaultPlattformFontOfSize(11);
    std::string text = F::stringFromPlattformFont(system);
    EXPECT_EQ(text, system.name() + ";11.000000");
    auto back = F::plattformFontFromString(text);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, system);
    EXPECT_FALSE(F::plattformFontFromString("a;b;c"));
    EXPECT_FALSE(F::plattformFontFromString(system.name()));
    EXPECT_TRUE(F::defaultBoldPlattformFontOfSize(10).isBold());
    // Whatever face serves, the light forms always give a font of the size.
    EXPECT_EQ(F::defaultUltraLightPlattformFontOfSize(17).pointSize(), 17);
    EXPECT_EQ(F::defaultLightPlattformFontOfSize(17).pointSize(), 17);
    EXPECT_EQ(F::convertPlattformFontToSize(system, 30).pointSize(), 30);
    EXPECT_TRUE(F::convertPlattformFontToItalic(system).isItalic());
    EXPECT_EQ(F::systemFontName(), system.name());
}

} // namespace
} // namespace vtl
