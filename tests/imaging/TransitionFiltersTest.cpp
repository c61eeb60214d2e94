#include "ImagingTestSupport.h"
#include "platform/foundation/Log.h"
#include "platform/imaging/FilterRegistry.h"
#include "platform/imaging/TransitionShading.h"

#include <cmath>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using namespace vtl;
using namespace vtl::test;

namespace {

using Inputs = std::vector<std::pair<std::string, FilterValue>>;

// An opaque picture whose pixel at image-space (x, y) is given by `colour`.
CIImage picture(int w, int h, const std::function<Bitmap::Pixel(int, int)>& colour) {
    auto b = std::make_shared<Bitmap>(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            b->setPixel(x, h - 1 - y, colour(x, y));
    return CIImage::imageWithBitmap(b);
}

// Source and target never share a pixel value: the source's red is at least 150, the target's 0.
CIImage sourcePicture(int w, int h) {
    return picture(w, h, [](int x, int y) {
        return Bitmap::Pixel{0, std::uint8_t(x * 5), std::uint8_t(150 + (x * 7 + y * 3) % 100), 255};
    });
}
CIImage targetPicture(int w, int h) {
    return picture(w, h, [](int x, int y) {
        return Bitmap::Pixel{std::uint8_t(100 + (x * 3 + y * 5) % 150), std::uint8_t(y * 11), 0, 255};
    });
}

class TransitionFilters : public ::testing::Test {
protected:
    void SetUp() override {
        registerBuiltinFilters();
        previous_ = setLogSink([this](std::string_view line) { log_.emplace_back(line); });
    }
    void TearDown() override { setLogSink(previous_); }

    static std::unique_ptr<CIFilter> make(const std::string& name, const CIImage& source,
                                          const CIImage& target, const Inputs& inputs = {}) {
        auto f = CIFilter::filterWithName(name);
        EXPECT_TRUE(f) << name;
        if (!f) return nullptr;
        f->setValue("inputImage", source);
        f->setValue("inputTargetImage", target);
        for (const auto& [key, value] : inputs)
            f->setValue(key, value);
        return f;
    }
    static CIImage at(CIFilter& f, double time) {
        f.setValue("inputTime", time);
        return f.outputImage();
    }

    std::vector<std::string> log_;
    LogSink previous_;
};

// Every filter with inputs that fit pictures of about 100 × 64.
struct Configured {
    const char* filter;
    Inputs inputs;
};
const std::vector<Configured>& configuredFilters() {
    static const std::vector<Configured> filters = {
        {"CIDissolveTransition", {}},
        {"CICopyMachineTransition",
         {{"inputExtent", CIVector{0, 0, 112, 64}}, {"inputWidth", 20.0}, {"inputAngle", 0.3}}},
        {"CIPageCurlTransition",
         {{"inputExtent", CIVector{0, 0, 112, 64}},
          {"inputRadius", 10.0},
          {"inputAngle", 1.0471976},
          {"inputShadingImage", restrictedShineImage()}}},
        {"CIPageCurlWithShadowTransition", {{"inputRadius", 12.0}, {"inputAngle", -2.5}}},
        {"CIRippleTransition",
         {{"inputCenter", CIVector{50, 30}},
          {"inputExtent", CIVector{0, 0, 112, 64}},
          {"inputWidth", 16.0},
          {"inputScale", 6.0},
          {"inputShadingImage", restrictedShineImage()}}},
        {"CIBarsSwipeTransition", {{"inputWidth", 8.0}, {"inputBarOffset", 5.0}, {"inputAngle", 2.2}}},
    };
    return filters;
}

bool samePixels(const Rendered& a, const Rendered& b) {
    return !a.bytes.empty() && a.bytes == b.bytes;
}

TEST_F(TransitionFilters, KeysDefaultsAndSliderRanges) {
    struct Case {
        const char* filter;
        const char* key;
        double value, sliderMinimum, sliderMaximum;
    };
    const Case numbers[] = {
        {"CICopyMachineTransition", "inputAngle", 0, -M_PI, M_PI},
        {"CICopyMachineTransition", "inputWidth", 200, 0.1, 500},
        {"CICopyMachineTransition", "inputOpacity", 1.3, 0, 3},
        {"CIPageCurlTransition", "inputAngle", 0, -M_PI, M_PI},
        {"CIPageCurlTransition", "inputRadius", 100, 0.01, 400},
        {"CIPageCurlWithShadowTransition", "inputAngle", 0, -M_PI, M_PI},
        {"CIPageCurlWithShadowTransition", "inputRadius", 100, 0.01, 400},
        {"CIPageCurlWithShadowTransition", "inputShadowSize", 0.5, 0, 1},
        {"CIPageCurlWithShadowTransition", "inputShadowAmount", 0.7, 0, 1},
        {"CIRippleTransition", "inputWidth", 100, 1, 1000},
        {"CIRippleTransition", "inputScale", 50, -50, 50},
        {"CIBarsSwipeTransition", "inputAngle", M_PI, 0, 2 * M_PI},
        {"CIBarsSwipeTransition", "inputWidth", 30, 2, 300},
        {"CIBarsSwipeTransition", "inputBarOffset", 10, 1, 100},
    };
    for (const Case& k : numbers) {
        auto attributes = FilterRegistry::shared().attributesOfFilter(k.filter);
        ASSERT_TRUE(attributes) << k.filter;
        const FilterAttribute* a = attributes->input(k.key);
        ASSERT_TRUE(a) << k.filter << " " << k.key;
        EXPECT_EQ(a->attributeClass, filterAttributeClassNumber);
        EXPECT_NEAR(std::get<double>(a->defaultValue), k.value, 1e-12) << k.filter << " " << k.key;
        EXPECT_NEAR(a->sliderMinimum.value_or(NAN), k.sliderMinimum, 1e-12) << k.filter << " " << k.key;
        EXPECT_NEAR(a->sliderMaximum.value_or(NAN), k.sliderMaximum, 1e-12) << k.filter << " " << k.key;
    }

    struct Other {
        const char* filter;
        const char* key;
        FilterValue value; // none for image inputs
    };
    const Other others[] = {
        {"CICopyMachineTransition", "inputExtent", CIVector{0, 0, 300, 300}},
        {"CICopyMachineTransition", "inputColor", CIColor(0.6, 1, 1, 1)},
        {"CIPageCurlTransition", "inputExtent", CIVector{0, 0, 300, 300}},
        {"CIPageCurlTransition", "inputBacksideImage", {}},
        {"CIPageCurlTransition", "inputShadingImage", {}},
        {"CIPageCurlWithShadowTransition", "inputExtent", CIVector{0, 0, 0, 0}},
        {"CIPageCurlWithShadowTransition", "inputShadowExtent", CIVector{0, 0, 0, 0}},
        {"CIPageCurlWithShadowTransition", "inputBacksideImage", {}},
        {"CIRippleTransition", "inputCenter", CIVector{150, 150}},
        {"CIRippleTransition", "inputExtent", CIVector{0, 0, 300, 300}},
        {"CIRippleTransition", "inputShadingImage", {}},
    };
    for (const Other& k : others) {
        auto attributes = FilterRegistry::shared().attributesOfFilter(k.filter);
        ASSERT_TRUE(attributes) << k.filter;
        const FilterAttribute* a = attributes->input(k.key);
        ASSERT_TRUE(a) << k.filter << " " << k.key;
        if (std::holds_alternative<std::monostate>(k.value)) {
            EXPECT_EQ(a->attributeClass, filterAttributeClassImage) << k.key;
        } else if (auto v = std::get_if<CIVector>(&k.value)) {
            EXPECT_EQ(std::get<CIVector>(a->defaultValue), *v) << k.filter << " " << k.key;
        } else {
            EXPECT_EQ(std::get<CIColor>(a->defaultValue), std::get<CIColor>(k.value))
                << k.filter << " " << k.key;
        }
    }
    // The shadowed curl has no shading: its roll is lit by nothing but its shadow.
    EXPECT_FALSE(FilterRegistry::shared()
                     .attributesOfFilter("CIPageCurlWithShadowTransition")
                     ->input("inputShadingImage"));

    for (const Configured& c : configuredFilters()) {
        auto attributes = FilterRegistry::shared().attributesOfFilter(c.filter);
        ASSERT_TRUE(attributes) << c.filter;
        for (const char* key : {"inputImage", "inputTargetImage", "inputTime"})
            EXPECT_TRUE(attributes->input(key)) << c.filter << " " << key;
        const FilterAttribute* time = attributes->input("inputTime");
        EXPECT_EQ(std::get<double>(time->defaultValue), 0.0) << c.filter;
        EXPECT_EQ(time->minimum, 0.0);
        EXPECT_EQ(time->maximum, 1.0);
        EXPECT_TRUE(attributes->hasCategory("CICategoryTransition")) << c.filter;
        EXPECT_TRUE(attributes->hasCategory(filterCategoryBuiltIn)) << c.filter;
    }
}

// Exactly the source at 0 (and for times that are out of range or not a number), exactly the
// target at 1, over the union of the two extents.
TEST_F(TransitionFilters, StartExactlyAtTheSourceAndEndExactlyAtTheTarget) {
    const CIImage source = sourcePicture(96, 64), target = targetPicture(112, 64);
    const PixelRegion all{0, 0, 112, 64};
    const Rendered wholeSource = render(source, all), wholeTarget = render(target, all);
    for (const Configured& c : configuredFilters()) {
        auto f = make(c.filter, source, target, c.inputs);
        ASSERT_TRUE(f);
        EXPECT_EQ(at(*f, 0.5).extent(), Rect(0, 0, 112, 64)) << c.filter;
        for (double start : {0.0, -3.0, double(NAN)})
            EXPECT_TRUE(samePixels(render(at(*f, start), all), wholeSource)) << c.filter << " at " << start;
        for (double end : {1.0, 7.0})
            EXPECT_TRUE(samePixels(render(at(*f, end), all), wholeTarget)) << c.filter << " at " << end;
    }
}

// Pixels that show the target keep showing it as time rises. A page curl's roll carries the
// page's picture along, as a real page would, so where the source leaves part of the union
// uncovered the roll may pass over target already shown there: the curls are held to it only
// with a source that covers the union.
TEST_F(TransitionFilters, TheTargetOnlyGrows) {
    struct Pair {
        const char* what;
        CIImage source, target;
        bool curls;
    };
    const Pair pairs[] = {
        {"covering source", sourcePicture(112, 64), targetPicture(112, 64), true},
        {"narrower source", sourcePicture(96, 64), targetPicture(112, 64), false},
    };
    const PixelRegion all{0, 0, 112, 64};
    for (const Pair& pair : pairs) {
        const Rendered wholeTarget = render(pair.target, all);
        for (const Configured& c : configuredFilters()) {
            if (!pair.curls && std::string(c.filter).find("PageCurl") != std::string::npos) continue;
            auto f = make(c.filter, pair.source, pair.target, c.inputs);
            ASSERT_TRUE(f);
            std::vector<bool> wasTarget(std::size_t(all.pixelCount()), false);
            int previousCount = 0, changed = 0, left = 0;
            for (int step = 1; step < 40; ++step) {
                Rendered r = render(at(*f, step / 40.0), all);
                ASSERT_FALSE(r.bytes.empty()) << c.filter;
                int count = 0;
                for (int y = 0; y < all.height; ++y)
                    for (int x = 0; x < all.width; ++x) {
                        bool isTarget = r.at(x, y) == wholeTarget.at(x, y);
                        std::size_t i = std::size_t(y) * all.width + x;
                        left += wasTarget[i] && !isTarget;
                        wasTarget[i] = isTarget;
                        count += isTarget;
                    }
                EXPECT_GE(count, previousCount) << pair.what << " " << c.filter << " step " << step;
                changed += count != previousCount;
                previousCount = count;
            }
            EXPECT_EQ(left, 0) << pair.what << " " << c.filter << ": pixels went back from the target";
            if (std::string(c.filter) != "CIDissolveTransition") {
                EXPECT_GT(changed, 5) << c.filter << " should uncover the target bit by bit";
            }
        }
    }
}

// The tile grid follows the region drawn and the workers share the tiles: neither may change a
// pixel. Pictures wider than one tile, drawn whole on 1 and 3 workers and in an offset window.
TEST_F(TransitionFilters, PixelsDoNotDependOnWorkersOrTiles) {
    const CIImage source = sourcePicture(700, 150), target = targetPicture(700, 150);
    const PixelRegion all{0, 0, 700, 150}, window{333, 37, 300, 90};
    for (const Configured& c : configuredFilters()) {
        Inputs inputs = c.inputs;
        inputs.emplace_back("inputExtent", CIVector{0, 0, 700, 150});
        auto f = make(c.filter, source, target, inputs);
        ASSERT_TRUE(f);
        CIImage image = at(*f, 0.45);
        Rendered one = render(image, all, 1), three = render(image, all, 3), part = render(image, window, 2);
        EXPECT_TRUE(samePixels(one, three)) << c.filter;
        ASSERT_FALSE(part.bytes.empty());
        bool same = true;
        for (int y = window.y; y < window.maxY() && same; ++y)
            for (int x = window.x; x < window.maxX() && same; ++x)
                same = part.at(x, y) == one.at(x, y);
        EXPECT_TRUE(same) << c.filter;
    }
}

TEST_F(TransitionFilters, DissolveIsTheMixWithinOneLevel) {
    // Translucent pictures 37 pixels wide, so the rows end off the vector width.
    CIImage a = picture(37, 9, [](int x, int y) {
        auto alpha = std::uint8_t(40 + x * 5);
        return Bitmap::Pixel{std::uint8_t(alpha * y / 9), std::uint8_t(alpha / 2), alpha, alpha};
    });
    CIImage b = picture(37, 9, [](int x, int y) {
        auto alpha = std::uint8_t(255 - x * 3);
        return Bitmap::Pixel{alpha, std::uint8_t(alpha * x / 40), std::uint8_t(y * 7 % alpha), alpha};
    });
    const PixelRegion all{0, 0, 37, 9};
    Rendered ra = render(a, all), rb = render(b, all);
    auto f = make("CIDissolveTransition", a, b);
    for (double t : {0.01, 0.25, 0.5, 0.77, 0.999}) {
        Rendered r = render(at(*f, t), all);
        double worst = 0;
        for (int y = 0; y < all.height; ++y)
            for (int x = 0; x < all.width; ++x)
                for (int c = 0; c < 4; ++c)
                    worst = std::max(
                        worst, std::fabs(r.at(x, y)[c] - (ra.at(x, y)[c] * (1 - t) + rb.at(x, y)[c] * t)));
        EXPECT_LE(worst, 1.0) << t;
    }
}

TEST_F(TransitionFilters, RippleIsSymmetricAboutItsCentre) {
    // Pictures that are themselves symmetric about (50, 40): rings of colour.
    auto rings = [](int shift) {
        return picture(100, 80, [shift](int x, int y) {
            double d = std::hypot(x + 0.5 - 50, y + 0.5 - 40);
            auto v = std::uint8_t(int(d * 9 + shift) % 256);
            return Bitmap::Pixel{v, std::uint8_t(255 - v), std::uint8_t(shift), 255};
        });
    };
    for (bool shaded : {false, true}) {
        Inputs inputs = {{"inputCenter", CIVector{50, 40}},
                         {"inputExtent", CIVector{0, 0, 100, 80}},
                         {"inputWidth", 20.0},
                         {"inputScale", 9.0}};
        if (shaded) inputs.emplace_back("inputShadingImage", restrictedShineImage());
        auto f = make("CIRippleTransition", rings(0), rings(120), inputs);
        Rendered r = render(at(*f, 0.4), {0, 0, 100, 80});
        Rendered target = render(rings(120), {0, 0, 100, 80}), source = render(rings(0), {0, 0, 100, 80});
        EXPECT_EQ(r.at(50, 40), target.at(50, 40));
        EXPECT_EQ(r.at(0, 0), source.at(0, 0));
        int worst = 0;
        for (int y = 0; y < 80; ++y)
            for (int x = 0; x < 100; ++x)
                for (int c = 0; c < 4; ++c)
                    worst = std::max(worst, std::abs(r.at(x, y)[c] - r.at(99 - x, 79 - y)[c]));
        // Bilinear weights are rounded down on both sides of the centre.
        EXPECT_LE(worst, 2) << (shaded ? "shaded" : "plain");
    }
}

// Which end of the picture the target shows first: the sweeps and slides travel along the angle.
TEST_F(TransitionFilters, SweepsTravelAlongTheAngle) {
    const CIImage source = sourcePicture(100, 60), target = targetPicture(100, 60);
    const PixelRegion all{0, 0, 100, 60};
    const Rendered wholeTarget = render(target, all);
    struct Case {
        double angle;
        int leadX, leadY;   // shows the target early
        int trailX, trailY; // still the source
    };
    const Case cases[] = {
        {0, 1, 30, 98, 30}, {M_PI, 98, 30, 1, 30}, {M_PI / 2, 50, 1, 50, 58}, {-M_PI / 2, 50, 58, 50, 1}};
    for (const char* filter : {"CICopyMachineTransition", "CIPageCurlTransition",
                               "CIPageCurlWithShadowTransition", "CIBarsSwipeTransition"}) {
        for (const Case& k : cases) {
            auto f = make(filter, source, target,
                          {{"inputAngle", k.angle},
                           {"inputExtent", CIVector{0, 0, 100, 60}},
                           {"inputWidth", 10.0},
                           {"inputRadius", 8.0},
                           {"inputBarOffset", 3.0}});
            Rendered r = render(at(*f, 0.3), all);
            EXPECT_EQ(r.at(k.leadX, k.leadY), wholeTarget.at(k.leadX, k.leadY))
                << filter << " angle " << k.angle;
            // The source's red is at least 150 wherever it shows, moved or not; the target has none.
            EXPECT_GE(r.at(k.trailX, k.trailY)[2], 150) << filter << " angle " << k.angle;
        }
    }
}

// Bars lie along the angle: at angle 0 they are horizontal bands sliding right, each band's
// content moved as a whole, every other band `offset` pixels behind.
TEST_F(TransitionFilters, BarsSlideAlongTheAngleAlternateOnesBehind) {
    const int w = 120, h = 40, width = 10, offset = 6;
    const CIImage source = sourcePicture(w, h), target = targetPicture(w, h);
    const PixelRegion all{0, 0, w, h};
    const Rendered wholeTarget = render(target, all), wholeSource = render(source, all);
    auto f = make("CIBarsSwipeTransition", source, target,
                  {{"inputAngle", 0.0}, {"inputWidth", double(width)}, {"inputBarOffset", double(offset)}});
    const double time = 0.4;
    Rendered r = render(at(*f, time), all);
    const double travel = time * (w + offset);
    for (int y = 0; y < h; ++y) {
        const int shift = int(std::lround((y / width) % 2 ? travel - offset : travel));
        for (int x = 0; x < w; ++x) {
            if (x < shift)
                EXPECT_EQ(r.at(x, y), wholeTarget.at(x, y)) << x << ", " << y;
            else
                EXPECT_EQ(r.at(x, y), wholeSource.at(x - shift, y)) << x << ", " << y;
        }
    }
}

TEST_F(TransitionFilters, CopyMachineBarIsTheMixLitByItsColour) {
    const CIImage source = sourcePicture(100, 20), target = targetPicture(100, 20);
    const PixelRegion all{0, 0, 100, 20};
    const Rendered s = render(source, all), t = render(target, all);
    const Inputs base = {{"inputAngle", 0.0}, {"inputExtent", CIVector{0, 0, 100, 20}}, {"inputWidth", 20.0}};
    // Lead at 0 + 0.5 · (100 + 20) = 60: the bar spans x 40 … 60.
    auto plain = make("CICopyMachineTransition", source, target, base);
    plain->setValue("inputOpacity", 0.0);
    Rendered unlit = render(at(*plain, 0.5), all);
    for (int x : {41, 45, 50, 55, 59}) {
        double q = (x + 0.5 - 40) / 20;
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(unlit.at(x, 10)[c], t.at(x, 10)[c] * (1 - q) + s.at(x, 10)[c] * q, 1.5) << x;
    }
    EXPECT_EQ(unlit.at(39, 10), t.at(39, 10));
    EXPECT_EQ(unlit.at(60, 10), s.at(60, 10));

    auto lit = make("CICopyMachineTransition", source, target, base);
    lit->setValue("inputColor", CIColor(1, 0, 0, 1));
    Rendered red = render(at(*lit, 0.5), all);
    for (int x : {45, 50, 55}) {
        EXPECT_GT(red.at(x, 10)[2], unlit.at(x, 10)[2]) << x;
        EXPECT_EQ(red.at(x, 10)[0], unlit.at(x, 10)[0]) << x;
    }
}

// The roll's back is the backside picture mirrored through the fold: with the colour-controlled
// source as backside (as the transition object sets it) its pixels are the controlled colours of
// the page points that folded over them.
TEST_F(TransitionFilters, CurlBackIsTheColourControlledSourceMirrored) {
    const int w = 200, h = 20;
    const double radius = 10;
    const CIImage source = picture(w, h, [](int x, int) {
        return Bitmap::Pixel{40, std::uint8_t(x), 220, 255};
    });
    const CIImage target = targetPicture(w, h);
    auto controls = CIFilter::filterWithName("CIColorControls");
    controls->setValue("inputImage", source);
    controls->setValue("inputSaturation", 0.22);
    controls->setValue("inputBrightness", -0.35);
    controls->setValue("inputContrast", 0.25);
    const CIImage back = controls->outputImage();
    const PixelRegion all{0, 0, w, h};
    const Rendered controlled = render(back, all), front = render(source, all);

    auto f = make("CIPageCurlTransition", source, target,
                  {{"inputAngle", 0.0},
                   {"inputRadius", radius},
                   {"inputExtent", CIVector{0, 0, w, h}},
                   {"inputBacksideImage", back}});
    const double time = 0.5;
    Rendered r = render(at(*f, time), all);
    // The roll's axis stands at 0.5 · (200 + 10) = 105 and 105 pixels of page are rolled: the back
    // lies flat from the axis to 105 + 105 − 10π, showing page point 2 · 105 − 10π − p.
    const double axis = 105, flatEnd = axis + 105 - M_PI * radius;
    int checked = 0;
    for (int x = int(axis) + 2; x < int(flatEnd) - 2; ++x) {
        double pagePoint = 2 * axis - M_PI * radius - (x + 0.5);
        int px = int(std::lround(pagePoint - 0.5));
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(r.at(x, 10)[c], controlled.at(px, 10)[c], 2) << x;
        ++checked;
    }
    EXPECT_GT(checked, 30);
    // Beyond the flat back the page lies as it was; behind the roll the target shows.
    EXPECT_EQ(r.at(int(flatEnd) + 2, 10), front.at(int(flatEnd) + 2, 10));
    EXPECT_EQ(r.at(int(axis - radius) - 2, 10), render(target, all).at(int(axis - radius) - 2, 10));

    // Without a backside picture the back is the page itself, mirrored; the shading lights it.
    auto own = make("CIPageCurlTransition", source, target,
                    {{"inputAngle", 0.0}, {"inputRadius", radius}, {"inputExtent", CIVector{0, 0, w, h}}});
    Rendered mirrored = render(at(*own, time), all);
    EXPECT_NEAR(mirrored.at(int(axis) + 10, 10)[1], 2 * axis - M_PI * radius - (axis + 10.5) - 0.5, 1);
    own->setValue("inputShadingImage", restrictedShineImage());
    Rendered shaded = render(at(*own, time), all);
    int brighter = 0;
    for (int x = int(axis - radius); x < int(axis); ++x) {
        for (int c = 0; c < 3; ++c)
            EXPECT_GE(shaded.at(x, 10)[c], mirrored.at(x, 10)[c]) << x;
        brighter += shaded.at(x, 10)[0] > mirrored.at(x, 10)[0] + 20;
    }
    EXPECT_GT(brighter, 0) << "the highlight lies on top of the roll";
}

TEST_F(TransitionFilters, CurlShadowDarkensTheTargetBesideTheRoll) {
    const int w = 200, h = 20;
    const CIImage source = sourcePicture(w, h);
    const CIImage white = picture(w, h, [](int, int) { return Bitmap::Pixel{255, 255, 255, 255}; });
    const PixelRegion all{0, 0, w, h};
    struct Case {
        const char* what;
        double amount;
        CIVector shadowExtent;
        bool darkened;
    };
    const Case cases[] = {
        {"default shadow", 0.7, CIVector{0, 0, 0, 0}, true},
        {"no amount", 0.0, CIVector{0, 0, 0, 0}, false},
        {"outside its extent", 0.7, CIVector{0, 0, 50, 20}, false},
    };
    for (const Case& k : cases) {
        auto f = make("CIPageCurlWithShadowTransition", source, white,
                      {{"inputAngle", 0.0},
                       {"inputRadius", 20.0},
                       {"inputShadowSize", 1.0},
                       {"inputShadowAmount", k.amount},
                       {"inputShadowExtent", k.shadowExtent}});
        // Axis at 0.5 · (200 + 20 + 20) = 120: the shadow spans 80 … 100, darkest at the roll.
        Rendered r = render(at(*f, 0.5), all);
        EXPECT_EQ(r.at(70, 10), (std::array<int, 4>{255, 255, 255, 255})) << k.what;
        if (k.darkened) {
            EXPECT_LT(r.at(98, 10)[0], r.at(90, 10)[0]) << k.what;
            EXPECT_LT(r.at(90, 10)[0], r.at(82, 10)[0]) << k.what;
            EXPECT_NEAR(r.at(99, 10)[0], 255 * (1 - 0.7 * 0.975 * 0.975), 2) << k.what;
            EXPECT_EQ(r.at(99, 10)[3], 255) << k.what;
        } else {
            EXPECT_EQ(r.at(95, 10), (std::array<int, 4>{255, 255, 255, 255})) << k.what;
        }
    }
}

// Values from outside (archives, pasted settings) may be anything: a number that is not finite
// counts as the input's default, a missing source gives no image, a missing target counts as
// transparent, and pictures without bounds still render.
TEST_F(TransitionFilters, BadInputsFallBackToSoundValues) {
    const CIImage source = sourcePicture(96, 64), target = targetPicture(96, 64);
    const PixelRegion all{0, 0, 96, 64};
    for (const Configured& c : configuredFilters()) {
        auto reference = make(c.filter, source, target, c.inputs);
        auto attributes = FilterRegistry::shared().attributesOfFilter(c.filter);
        for (const FilterAttribute& a : attributes->inputs) {
            if (a.attributeClass != filterAttributeClassNumber || a.name == "inputTime") continue;
            auto f = make(c.filter, source, target, c.inputs);
            f->setValue(a.name, std::get<double>(a.defaultValue));
            reference->setValue(a.name, std::get<double>(a.defaultValue));
            Rendered expected = render(at(*reference, 0.5), all);
            for (double bad : {double(NAN), HUGE_VAL, -HUGE_VAL}) {
                f->setValue(a.name, bad);
                EXPECT_TRUE(samePixels(render(at(*f, 0.5), all), expected))
                    << c.filter << " " << a.name << " " << bad;
            }
            reference = make(c.filter, source, target, c.inputs);
        }
        // Huge lengths are capped, not turned into infinities.
        auto huge = make(c.filter, source, target, c.inputs);
        for (const char* key : {"inputWidth", "inputRadius", "inputScale", "inputBarOffset"})
            if (huge->hasInput(key)) huge->setValue(key, 1e300);
        EXPECT_FALSE(render(at(*huge, 0.5), all).bytes.empty()) << c.filter;

        auto noSource = make(c.filter, CIImage(), target, c.inputs);
        EXPECT_TRUE(at(*noSource, 0.5).isNull()) << c.filter;
        auto noTarget = make(c.filter, source, CIImage(), c.inputs);
        Rendered alone = render(at(*noTarget, 1), all);
        ASSERT_FALSE(alone.bytes.empty()) << c.filter;
        EXPECT_EQ(alone.at(10, 10), (std::array<int, 4>{0, 0, 0, 0})) << c.filter;

        auto endless = make(c.filter, CIImage::imageWithColor(CIColor(1, 0, 0, 1)),
                            CIImage::imageWithColor(CIColor(0, 0, 1, 1)), c.inputs);
        CIImage image = at(*endless, 0.5);
        EXPECT_TRUE(image.isInfinite()) << c.filter;
        EXPECT_FALSE(render(image, {-20, -20, 150, 100}).bytes.empty()) << c.filter;
    }
    EXPECT_FALSE(log_.empty());
}

TEST_F(TransitionFilters, ShineIsASoftWhiteHighlight) {
    CIImage shine = restrictedShineImage();
    ASSERT_FALSE(shine.isEmpty());
    Rect e = shine.extent();
    EXPECT_GE(e.width(), 64);
    Rendered r = render(shine, pixelRegionCovering(e));
    int y = int(e.midY()), w = int(e.width());
    EXPECT_LE(r.alpha(0, y), 2);
    EXPECT_LE(r.alpha(w - 1, y), 2);
    EXPECT_GT(r.alpha(w / 2, y), 150);
    int previous = -1;
    for (int x = 0; x <= w / 2; ++x) {
        auto p = r.at(x, y);
        EXPECT_EQ(p[0], p[3]) << "white";
        EXPECT_GE(p[3], previous) << "rises softly to the middle";
        previous = p[3];
    }
}

} // namespace
