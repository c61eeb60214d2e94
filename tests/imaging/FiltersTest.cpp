#include "ImagingTestSupport.h"
#include "platform/foundation/Localization.h"
#include "platform/foundation/Log.h"
#include "platform/foundation/Resources.h"
#include "platform/graphics/Blur.h"
#include "platform/imaging/ChromaKey.h"
#include "platform/imaging/ColorTransition.h"
#include "platform/imaging/FilterRegistry.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <vector>

using namespace vtl;
using namespace vtl::test;

namespace {

class Filters : public ::testing::Test {
protected:
    void SetUp() override {
        registerBuiltinFilters();
        previous_ = setLogSink([this](std::string_view line) { log_.emplace_back(line); });
    }
    void TearDown() override { setLogSink(previous_); }

    static std::unique_ptr<CIFilter> make(const std::string& name) {
        auto f = CIFilter::filterWithName(name);
        EXPECT_TRUE(f) << name;
        return f;
    }
    // A 4 × 4 square of one colour at the origin.
    static CIImage square(const CIColor& c) {
        return CIImage::imageWithColor(c).imageByCroppingToRect(Rect(0, 0, 4, 4));
    }
    static std::array<int, 4> pixelOf(const CIImage& image) { return render(image, {0, 0, 4, 4}).at(1, 1); }

    std::vector<std::string> log_;
    LogSink previous_;
};

void expectPixel(const std::array<int, 4>& got, const std::array<int, 4>& want, int tolerance,
                 const std::string& what) {
    for (int c = 0; c < 4; ++c)
        EXPECT_NEAR(got[c], want[c], tolerance) << what << " channel " << c;
}

TEST_F(Filters, CompositingMatchesTheFormulas) {
    // Premultiplied B, G, R, A of the inputs and the result.
    const CIColor halfRed(1, 0, 0, 0.5), blue(0, 0, 1, 1), quarterGreen(0, 1, 0, 0.25);
    struct Case {
        const char* filter;
        CIColor image, background;
        std::array<int, 4> expected;
    };
    const Case cases[] = {
        // over: s + d(1 − sa)
        {"CISourceOverCompositing", halfRed, blue, {128, 0, 128, 255}},
        {"CISourceOverCompositing", quarterGreen, halfRed, {0, 64, 96, 160}},
        // out: s(1 − da)
        {"CISourceOutCompositing", halfRed, quarterGreen, {0, 0, 96, 96}},
        {"CISourceOutCompositing", halfRed, blue, {0, 0, 0, 0}},
    };
    for (const Case& k : cases) {
        auto f = make(k.filter);
        f->setValue("inputImage", square(k.image));
        f->setValue("inputBackgroundImage", square(k.background));
        expectPixel(pixelOf(f->outputImage()), k.expected, 1, k.filter);
    }

    // Mask blend: image × mask alpha + background × (1 − mask alpha).
    auto blend = make("CIBlendWithAlphaMask");
    blend->setValue("inputImage", square(CIColor(1, 0, 0, 1)));
    blend->setValue("inputBackgroundImage", square(CIColor(0, 0, 1, 1)));
    blend->setValue("inputMaskImage", square(CIColor(0, 0, 0, 0.25)));
    expectPixel(pixelOf(blend->outputImage()), {191, 0, 64, 255}, 1, "mask blend");
    blend->setValue("inputBackgroundImage", CIImage::emptyImage());
    expectPixel(pixelOf(blend->outputImage()), {0, 0, 64, 64}, 1, "mask blend over nothing");
}

TEST_F(Filters, ColorFiltersMatchTheFormulas) {
    struct Case {
        const char* what;
        const char* filter;
        std::vector<std::pair<std::string, FilterValue>> inputs;
        CIColor input;
        std::array<int, 4> expected;
        int tolerance;
    };
    const Case cases[] = {
        {"alpha vector",
         "CIColorMatrix",
         {{"inputAVector", CIVector{0, 0, 0, 0.25}}},
         CIColor(1, 0.5, 0, 1),
         {0, 32, 64, 64},
         1},
        {"channel swap",
         "CIColorMatrix",
         {{"inputRVector", CIVector{0, 0, 1, 0}}, {"inputBVector", CIVector{1, 0, 0, 0}}},
         CIColor(1, 0.5, 0, 1),
         {255, 128, 0, 255},
         1},
        {"bias",
         "CIColorMatrix",
         {{"inputBiasVector", CIVector{0, 0, 0.5, 0}}},
         CIColor(0, 0, 0, 1),
         {128, 0, 0, 255},
         1},
        // Monochrome tints by luminance: white becomes the colour itself, at full intensity.
        {"monochrome white",
         "CIColorMonochrome",
         {{"inputColor", CIColor(1, 0.5, 0, 1)}, {"inputIntensity", 1.0}},
         CIColor(1, 1, 1, 1),
         {0, 128, 255, 255},
         1},
        {"monochrome half",
         "CIColorMonochrome",
         {{"inputColor", CIColor(0, 0, 0, 1)}, {"inputIntensity", 0.5}},
         CIColor(1, 1, 1, 0.5),
         {64, 64, 64, 128},
         1},
        // False colour with one colour twice: a silhouette of that colour with the input's alpha.
        {"silhouette",
         "CIFalseColor",
         {{"inputColor0", CIColor(0, 0, 1, 1)}, {"inputColor1", CIColor(0, 0, 1, 1)}},
         CIColor(0.3, 0.9, 0.2, 0.5),
         {128, 0, 0, 128},
         1},
        {"false colour ramp",
         "CIFalseColor",
         {{"inputColor0", CIColor(0, 0, 0, 1)}, {"inputColor1", CIColor(1, 1, 1, 1)}},
         CIColor(1, 1, 1, 1),
         {255, 255, 255, 255},
         1},
        {"controls identity", "CIColorControls", {}, CIColor(0.2, 0.6, 0.9, 0.8), {184, 122, 41, 204}, 1},
        {"controls saturation 0",
         "CIColorControls",
         {{"inputSaturation", 0.0}},
         CIColor(1, 0, 0, 1),
         {54, 54, 54, 255},
         1},
    };
    for (const Case& k : cases) {
        auto f = make(k.filter);
        f->setValue("inputImage", square(k.input));
        for (const auto& [key, value] : k.inputs)
            f->setValue(key, value);
        expectPixel(pixelOf(f->outputImage()), k.expected, k.tolerance, k.what);
    }
}

TEST_F(Filters, ConstantColourIsInfiniteUntilCropped) {
    auto f = make("CIConstantColorGenerator");
    f->setValue("inputColor", CIColor(0, 1, 0, 0.5));
    CIImage colour = f->outputImage();
    EXPECT_TRUE(colour.isInfinite());
    CIImage cropped = colour.imageByCroppingToRect(Rect(2, 3, 5, 4));
    EXPECT_EQ(cropped.extent(), Rect(2, 3, 5, 4));
    Rendered r = render(cropped, {0, 0, 10, 10});
    expectPixel(r.at(2, 3), {0, 128, 0, 128}, 0, "inside");
    expectPixel(r.at(6, 6), {0, 128, 0, 128}, 0, "far corner");
    expectPixel(r.at(7, 6), {0, 0, 0, 0}, 0, "right of it");
    expectPixel(r.at(2, 7), {0, 0, 0, 0}, 0, "above it");
}

// The blur against a straightforward separable convolution with the exact kernel (radius ⌈3σ⌉)
// on an opaque card with hard edges.
TEST_F(Filters, BlurFollowsTheExactGaussianAndGrowsTheExtent) {
    for (double sigma : {0.6, 2.5, 10.0}) {
        const int w = 48, h = 40, r = int(std::ceil(3 * sigma));
        CIImage card = CIImage::imageWithBitmap(solidBitmap(w, h, {255, 255, 255, 255}));
        auto f = make("CIGaussianBlur");
        f->setValue("inputImage", card);
        f->setValue("inputRadius", sigma);
        CIImage blurred = f->outputImage();
        EXPECT_EQ(blurred.extent(), Rect(-r, -r, w + 2 * r, h + 2 * r)) << sigma;

        std::vector<double> g(2 * r + 1);
        double total = 0;
        for (int k = -r; k <= r; ++k)
            total += g[k + r] = std::exp(-k * k / (2 * sigma * sigma));
        // Separable: the card's blur is the product of two one-dimensional edge profiles.
        auto profile = [&](int x, int size) {
            double v = 0;
            for (int k = -r; k <= r; ++k)
                if (x + k >= 0 && x + k < size) v += g[k + r] / total;
            return v;
        };
        PixelRegion region = pixelRegionCovering(blurred.extent());
        Rendered out = render(blurred, region);
        double worst = 0;
        for (int y = region.y; y < region.maxY(); ++y)
            for (int x = region.x; x < region.maxX(); ++x)
                worst = std::max(worst, std::fabs(out.alpha(x, y) - 255 * profile(x, w) * profile(y, h)));
        EXPECT_LE(worst, 3.0) << sigma;
    }
}

TEST_F(Filters, ChromaKeyRemovesTheKeyColourWithASoftEdge) {
    auto f = make("ChromaKey");
    EXPECT_EQ(std::get<CIColor>(f->value("inputColor")), CIColor(0, 1, 0, 1));
    f->setValue("inputThreshold", 0.2);
    f->setValue("inputSmoothing", 0.2);
    struct Case {
        CIColor input;
        int alpha;
    };
    // d = |rgb − key| ÷ √3; alpha × smoothstep(0.2, 0.4, d).
    const Case cases[] = {
        {CIColor(0, 1, 0, 1), 0}, // d 0
        {CIColor(0.3 * std::sqrt(3.0) / std::sqrt(2.0), 1 - 0.3 * std::sqrt(3.0) / std::sqrt(2.0), 0, 1),
         128},
        {CIColor(1, 0, 1, 1), 255},   // d 1
        {CIColor(1, 0, 1, 0.5), 128}, // keeps the pixel's own alpha
    };
    for (const Case& k : cases) {
        f->setValue("inputImage", square(k.input));
        // The slope of the soft edge turns the input's 8-bit rounding into a few levels.
        EXPECT_NEAR(pixelOf(f->outputImage())[3], k.alpha, 4) << k.input.red;
    }
}

TEST_F(Filters, TransitionsPassThroughTheirColourAndTheColourIsShared) {
    CIImage source = square(CIColor(1, 0, 0, 1)), destination = square(CIColor(0, 0, 1, 1));
    auto white = make("WhiteTransition");
    white->setValue("sourceImage", source);
    white->setValue("destinationImage", destination);
    struct Case {
        double time;
        std::array<int, 4> expected;
    };
    const Case whiteCases[] = {{0, {0, 0, 255, 255}},           {0.25, {128, 128, 255, 255}},
                               {0.5, {255, 255, 255, 255}},     {0.75, {255, 128, 128, 255}},
                               {1, {255, 0, 0, 255}},           {7, {255, 0, 0, 255}},
                               {std::nan(""), {0, 0, 255, 255}}};
    for (const Case& k : whiteCases) {
        white->setValue("inputTime", k.time);
        expectPixel(pixelOf(white->outputImage()), k.expected, 1, "white at " + std::to_string(k.time));
    }
    // None for the time changes nothing and logs nothing.
    white->setValue("inputTime", 0.5);
    log_.clear();
    white->setValue("inputTime", FilterValue{});
    EXPECT_EQ(std::get<double>(white->value("inputTime")), 0.5);
    EXPECT_TRUE(log_.empty());

    auto a = make("ColorTransition"), b = make("ColorTransition");
    EXPECT_EQ(std::get<CIColor>(b->value("transitionColor")), CIColor(1, 1, 1, 1));
    a->setValue("transitionColor", CIColor(1, 0, 0, 1));
    b->setValue("sourceImage", destination);
    b->setValue("destinationImage", destination);
    b->setValue("inputTime", 0.5);
    expectPixel(pixelOf(b->outputImage()), {0, 0, 255, 255}, 0, "through red");
    EXPECT_EQ(std::get<CIColor>(b->value("transitionColor")), CIColor(1, 0, 0, 1));
    b->setValue("transitionColor", FilterValue{});
    EXPECT_EQ(ColorTransition::transitionColor(), CIColor(1, 0, 0, 1));
    CIImage throughRed = b->outputImage();
    ColorTransition::setTransitionColor(CIColor(1, 1, 1, 1));
    expectPixel(pixelOf(throughRed), {0, 0, 255, 255}, 0, "an image made before keeps its colour");
    expectPixel(pixelOf(b->outputImage()), {255, 255, 255, 255}, 0, "through white again");
    expectPixel(pixelOf(a->outputImage()), {0, 0, 0, 0}, 0, "no source, nothing");
}

TEST_F(Filters, RegistryDescribesFiltersAndRefusesUnknownNames) {
    for (const char* name :
         {"CISourceOverCompositing", "CISourceOutCompositing", "CIBlendWithAlphaMask", "CIColorMatrix",
          "CIColorMonochrome", "CIFalseColor", "CIConstantColorGenerator", "CIGaussianBlur",
          "CIColorControls", "ChromaKey", "WhiteTransition", "ColorTransition"})
        EXPECT_TRUE(FilterRegistry::shared().filterWithName(name)) << name;
    // Those twelve and the video effects.
    EXPECT_GE(FilterRegistry::shared().filterNames("CICategoryVideo").size(), 12u);

    log_.clear();
    EXPECT_FALSE(CIFilter::filterWithName("CINoSuchFilter"));
    EXPECT_EQ(log_.size(), 1u);

    auto chroma = FilterRegistry::shared().attributesOfFilter("ChromaKey");
    ASSERT_TRUE(chroma);
    EXPECT_EQ(chroma->displayName, "Chroma Key");
    EXPECT_TRUE(chroma->hasCategory(filterCategoryStillImage));
    const FilterAttribute* threshold = chroma->input("inputThreshold");
    ASSERT_TRUE(threshold);
    EXPECT_EQ(threshold->attributeClass, filterAttributeClassNumber);
    EXPECT_EQ(std::get<double>(threshold->defaultValue), 0.1);
    EXPECT_EQ(threshold->minimum, 0);
    EXPECT_EQ(threshold->sliderMaximum, 1);
    const FilterAttribute* time =
        FilterRegistry::shared().attributesOfFilter("ColorTransition")->input("inputTime");
    ASSERT_TRUE(time);
    EXPECT_EQ(time->type, FilterAttributeType::Time);
    EXPECT_EQ(std::get<double>(time->defaultValue), 0.5);
    const FilterAttribute* radius =
        FilterRegistry::shared().attributesOfFilter("CIGaussianBlur")->input("inputRadius");
    ASSERT_TRUE(radius);
    EXPECT_EQ(std::get<double>(radius->defaultValue), 10);
    EXPECT_EQ(radius->sliderMaximum, 100);
}

// The transitions' display names are looked up in the string table; a missing entry would be
// logged at every start and shown as the bare key.
TEST_F(Filters, LocalisedDisplayNamesAreInTheStringTable) {
    std::ifstream in(resourcesDirectory() / "strings" / "Localizable.strings", std::ios::binary);
    ASSERT_TRUE(in);
    std::stringstream text;
    text << in.rdbuf();
    std::vector<std::pair<std::string, std::string>> entries;
    ASSERT_TRUE(parseStringsTable(text.str(), entries));
    for (const char* name : {"WhiteTransition", "ColorTransition"}) {
        auto attributes = FilterRegistry::shared().attributesOfFilter(name);
        ASSERT_TRUE(attributes) << name;
        EXPECT_TRUE(std::any_of(entries.begin(), entries.end(),
                                [&](const auto& entry) { return entry.second == attributes->displayName; }))
            << name << ": " << attributes->displayName;
    }
}

TEST_F(Filters, InputsOfTheWrongKindAreIgnored) {
    auto blur = make("CIGaussianBlur");
    log_.clear();
    blur->setValue("inputRadius", CIColor(1, 0, 0, 1));
    blur->setValue("inputNoSuchKey", 3.0);
    blur->setValue("inputImage", 2.0);
    EXPECT_EQ(std::get<double>(blur->value("inputRadius")), 10);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(blur->value("inputImage")));
    EXPECT_EQ(log_.size(), 3u);
    EXPECT_TRUE(blur->outputImage().isNull());
}

} // namespace
