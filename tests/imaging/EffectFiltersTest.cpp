// The catalogue of video effects: descriptions, pictures at default values against reviewed golden
// images, identity values, centres, clamping, extents and tiling.
//
// Golden images live in tests/imaging/golden/effects/. They are written only when the test runs
// with VISTREL_UPDATE_EFFECT_GOLDENS=1 (scripts/effect-goldens.sh --regenerate); with
// VISTREL_EFFECT_CONTACT_SHEET=PATH the test also writes all of them side by side for review.

#include "platform/imaging/EffectFilters.h"

#include "ImagingTestSupport.h"
#include "platform/foundation/Log.h"
#include "platform/imaging/EffectPixels.h"
#include "platform/imaging/FilterRegistry.h"

#include <QImage>
#include <QPainter>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <numbers>
#include <random>
#include <set>
#include <string>
#include <vector>

using namespace vtl;
using namespace vtl::test;

namespace {

constexpr int cardWidth = 160, cardHeight = 120;
const PixelRegion cardRegion{0, 0, cardWidth, cardHeight};

// A test card with what effects show differently: a hue sweep darkening downwards, hard-edged
// checks, colour bars, a white disc with a dark rim, a diagonal line, a half-transparent band and
// a transparent corner. Rows are stored top first.
BitmapRef testCard() {
    auto card = std::make_shared<Bitmap>(cardWidth, cardHeight);
    for (int y = 0; y < cardHeight; ++y)
        for (int x = 0; x < cardWidth; ++x) {
            double hue = 6.0 * x / cardWidth, value = 1 - 0.6 * y / cardHeight;
            auto ramp = [&](double offset) {
                double k = std::fmod(hue + offset, 6.0);
                return value * (1 - std::clamp(std::min(k, 4 - k), 0.0, 1.0) * 0.8);
            };
            double r = ramp(5), g = ramp(3), b = ramp(1), a = 1;
            if (x < 48 && y >= 40 && y < 88 && ((x / 8 + y / 8) & 1)) r = g = b = 0.05;
            if (y >= 104) {
                static const double bars[8][3] = {{1, 1, 1}, {1, 1, 0}, {0, 1, 1}, {0, 1, 0},
                                                  {1, 0, 1}, {1, 0, 0}, {0, 0, 1}, {0, 0, 0}};
                const double* bar = bars[x * 8 / cardWidth];
                r = bar[0], g = bar[1], b = bar[2];
            }
            double d = std::hypot(x + 0.5 - 112, y + 0.5 - 56);
            if (d < 22) r = g = b = d > 19 ? 0.1 : 1.0;
            if (std::abs(x - y - 20) < 1 && x > 60 && x < 100) r = g = b = 0;
            if (y < 12) a = 0.5;
            if (x < 12 && y < 12) a = 0;
            auto byte = [&](double v) {
                return std::uint8_t(std::lround(std::clamp(v, 0.0, 1.0) * a * 255));
            };
            card->setPixel(x, y, {byte(b), byte(g), byte(r), std::uint8_t(std::lround(a * 255))});
        }
    return card;
}

CIImage cardImage() {
    static const CIImage card = CIImage::imageWithBitmap(testCard());
    return card;
}

// The filter at its defaults on the image, with the centre (for filters that have one) where an
// object's effects put it by default: the middle of the picture.
std::unique_ptr<CIFilter> effectOn(const std::string& name, const CIImage& image, Point center = {80, 60}) {
    registerBuiltinFilters();
    auto f = CIFilter::filterWithName(name);
    if (!f) return f;
    f->setValue("inputImage", image);
    if (f->hasInput("inputCenter")) f->setValue("inputCenter", CIVector{center.x, center.y});
    return f;
}

int largestDifference(const Rendered& a, const Rendered& b, const PixelRegion& over) {
    int worst = 0;
    for (int y = over.y; y < over.maxY(); ++y)
        for (int x = over.x; x < over.maxX(); ++x)
            for (int c = 0; c < 4; ++c)
                worst = std::max(worst, std::abs(a.at(x, y)[std::size_t(c)] - b.at(x, y)[std::size_t(c)]));
    return worst;
}

std::filesystem::path goldenFolder() {
    return std::filesystem::path(VISTREL_TEST_SOURCE_DIR) / "golden" / "effects";
}

// Rendered pixels as a bitmap (rows top first) and back.
BitmapRef bitmapOf(const Rendered& r) {
    auto b = std::make_shared<Bitmap>(r.region.width, r.region.height);
    for (int y = 0; y < r.region.height; ++y)
        for (int x = 0; x < r.region.width; ++x) {
            auto p = r.at(r.region.x + x, r.region.y + y);
            b->setPixel(x, r.region.height - 1 - y,
                        {std::uint8_t(p[0]), std::uint8_t(p[1]), std::uint8_t(p[2]), std::uint8_t(p[3])});
        }
    return b;
}

Rendered renderedOf(const Bitmap& b) {
    Rendered r{{0, 0, b.width(), b.height()},
               std::vector<std::uint8_t>(std::size_t(b.width()) * b.height() * 4)};
    for (int y = 0; y < b.height(); ++y)
        for (int x = 0; x < b.width(); ++x) {
            Bitmap::Pixel p = b.pixelAt(x, b.height() - 1 - y);
            std::uint8_t* d = r.bytes.data() + (std::size_t(y) * b.width() + x) * 4;
            d[0] = p.b, d[1] = p.g, d[2] = p.r, d[3] = p.a;
        }
    return r;
}

bool envSet(const char* name) {
    const char* v = std::getenv(name);
    return v && *v && std::string(v) != "0";
}

void writeContactSheet(const std::string& path, const std::vector<std::pair<std::string, BitmapRef>>& tiles) {
    const int columns = 6, label = 16, gap = 6;
    const int rows = int(tiles.size() + columns - 1) / columns;
    QImage sheet((cardWidth + gap) * columns + gap, (cardHeight + label + gap) * rows + gap,
                 QImage::Format_ARGB32_Premultiplied);
    sheet.fill(QColor(96, 96, 96));
    QPainter painter(&sheet);
    for (std::size_t i = 0; i < tiles.size(); ++i) {
        const int x = gap + int(i % columns) * (cardWidth + gap),
                  y = gap + int(i / columns) * (cardHeight + label + gap);
        // Checks behind the picture show its transparency.
        for (int cy = 0; cy < cardHeight; cy += 8)
            for (int cx = 0; cx < cardWidth; cx += 8)
                painter.fillRect(x + cx, y + cy, 8, 8,
                                 ((cx + cy) / 8) & 1 ? QColor(200, 200, 200) : QColor(240, 240, 240));
        Bitmap& b = const_cast<Bitmap&>(*tiles[i].second);
        QImage picture(b.data(), b.width(), b.height(), qsizetype(b.bytesPerRow()),
                       QImage::Format_ARGB32_Premultiplied);
        painter.drawImage(x, y, picture);
        painter.setPen(Qt::white);
        painter.drawText(QRect(x, y + cardHeight, cardWidth, label), Qt::AlignCenter,
                         QString::fromStdString(tiles[i].first));
    }
    painter.end();
    sheet.save(QString::fromStdString(path), "PNG");
}

class EffectFilters : public ::testing::Test {
protected:
    void SetUp() override {
        registerBuiltinFilters();
        previous_ = setLogSink([this](std::string_view line) { log_.emplace_back(line); });
    }
    void TearDown() override { setLogSink(previous_); }

    std::vector<std::string> log_;
    LogSink previous_;
};

TEST_F(EffectFilters, EveryEffectIsDescribedCompletelyWithDefaultsInRange) {
    const auto& names = effectFilterNames();
    EXPECT_EQ(names.size(), 41u);
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size()) << "no name twice";
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        auto attributes = FilterRegistry::shared().attributesOfFilter(name);
        ASSERT_TRUE(attributes);
        EXPECT_FALSE(attributes->displayName.empty());
        EXPECT_TRUE(attributes->hasCategory(filterCategoryVideo));
        ASSERT_TRUE(attributes->input("inputImage"));
        for (const FilterAttribute& a : attributes->inputs) {
            SCOPED_TRACE(a.name);
            EXPECT_FALSE(a.displayName.empty());
            if (a.attributeClass == filterAttributeClassNumber) {
                ASSERT_TRUE(a.minimum && a.maximum && a.sliderMinimum && a.sliderMaximum);
                const double value = std::get<double>(a.defaultValue);
                EXPECT_LE(*a.minimum, value);
                EXPECT_LE(value, *a.maximum);
                EXPECT_LE(*a.minimum, *a.sliderMinimum);
                EXPECT_LT(*a.sliderMinimum, *a.sliderMaximum);
                EXPECT_LE(*a.sliderMaximum, *a.maximum);
            } else if (a.attributeClass == filterAttributeClassColor) {
                EXPECT_TRUE(std::holds_alternative<CIColor>(a.defaultValue));
            } else if (a.attributeClass == filterAttributeClassVector) {
                EXPECT_EQ(std::get<CIVector>(a.defaultValue).count, 2u);
            } else {
                EXPECT_EQ(a.attributeClass, filterAttributeClassImage);
            }
        }
    }
    EXPECT_DOUBLE_EQ(
        std::get<double>(
            FilterRegistry::shared().attributesOfFilter("ChromaKey")->input("inputThreshold")->defaultValue),
        0.1);
    for (const char* gone : {"CIBoxBlur", "CIDiscBlur", "CIVibrance", "CIEdges"}) {
        EXPECT_EQ(std::find(names.begin(), names.end(), gone), names.end()) << gone;
        EXPECT_FALSE(CIFilter::filterWithName(gone)) << gone;
    }
}

// Every effect at its defaults on the card, against its reviewed picture.
TEST_F(EffectFilters, DefaultValuesGiveTheGoldenPictures) {
    const bool update = envSet("VISTREL_UPDATE_EFFECT_GOLDENS");
    const char* sheet = std::getenv("VISTREL_EFFECT_CONTACT_SHEET");
    std::vector<std::pair<std::string, BitmapRef>> tiles{{"(card)", testCard()}};
    if (update) std::filesystem::create_directories(goldenFolder());
    for (const std::string& name : effectFilterNames()) {
        SCOPED_TRACE(name);
        auto f = effectOn(name, cardImage());
        ASSERT_TRUE(f);
        Rendered out = render(f->outputImage(), cardRegion);
        ASSERT_FALSE(out.bytes.empty());
        const std::filesystem::path file = goldenFolder() / (name + ".png");
        BitmapRef picture = bitmapOf(out);
        tiles.emplace_back(name, picture);
        if (update) {
            std::vector<std::uint8_t> png = picture->pngData();
            std::ofstream(file, std::ios::binary)
                .write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
            continue;
        }
        std::ifstream in(file, std::ios::binary);
        ASSERT_TRUE(in) << "no golden picture " << file
                        << "; make them with scripts/effect-goldens.sh --regenerate";
        std::vector<std::uint8_t> png((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        BitmapRef golden = Bitmap::fromData(png);
        ASSERT_TRUE(golden && golden->width() == cardWidth && golden->height() == cardHeight);
        EXPECT_LE(largestDifference(out, renderedOf(*golden), cardRegion), 2);
    }
    if (sheet && *sheet) writeContactSheet(sheet, tiles);
}

// Values that leave the picture as it is, and values just beside them, which go through the
// kernels rather than around them.
TEST_F(EffectFilters, IdentityValuesReproduceTheInput) {
    struct Case {
        const char* filter;
        std::map<std::string, double> identity, nearIdentity;
    };
    const Case cases[] = {
        {"ChromaKey", {{"inputThreshold", 0}, {"inputSmoothing", 0}}, {}},
        {"CIGammaAdjust", {{"inputPower", 1}}, {{"inputPower", 1.0001}}},
        {"CIExposureAdjust", {{"inputEV", 0}}, {{"inputEV", 1e-6}}},
        {"CIHueAdjust", {{"inputAngle", 0}}, {{"inputAngle", 1e-6}}},
        {"CISepiaTone", {{"inputIntensity", 0}}, {{"inputIntensity", 1e-6}}},
        {"CIColorControls", {}, {{"inputSaturation", 1.000001}}},
        {"CIGaussianBlur", {{"inputRadius", 0}}, {}},
        {"CIMotionBlur", {{"inputRadius", 0}}, {}},
        {"CIZoomBlur", {{"inputAmount", 0}}, {{"inputAmount", 1e-6}}},
        {"CIUnsharpMask", {{"inputIntensity", 0}}, {{"inputIntensity", 1e-6}}},
        {"CISharpenLuminance", {{"inputSharpness", 0}}, {{"inputSharpness", 1e-6}}},
        {"CINoiseReduction",
         {{"inputNoiseLevel", 0}, {"inputSharpness", 0}},
         {{"inputNoiseLevel", 0}, {"inputSharpness", 1e-6}}},
        {"CIBloom", {{"inputIntensity", 0}}, {{"inputIntensity", 0.002}}},
        {"CIGloom", {{"inputIntensity", 0}}, {{"inputIntensity", 1e-6}}},
        {"CIVignette", {{"inputIntensity", 0}}, {{"inputIntensity", 1e-6}}},
        {"CIVignetteEffect", {{"inputIntensity", 0}}, {{"inputIntensity", 1e-6}}},
        {"CIPixellate", {{"inputScale", 1}}, {}},
        {"CITwirlDistortion", {{"inputAngle", 0}}, {{"inputAngle", 1e-9}}},
        {"CIVortexDistortion", {{"inputAngle", 0}}, {{"inputAngle", 1e-9}}},
        {"CIBumpDistortion", {{"inputScale", 0}}, {{"inputScale", 1e-9}}},
        {"CIBumpDistortionLinear", {{"inputScale", 0}}, {{"inputScale", 1e-9}}},
        {"CIPinchDistortion", {{"inputScale", 0}}, {{"inputScale", 1e-9}}},
        {"CIHoleDistortion", {{"inputRadius", 0}}, {{"inputRadius", 1e-9}}},
        {"CITorusLensDistortion", {{"inputRefraction", 1}}, {{"inputRefraction", 1.000001}}},
    };
    const Rendered card = render(cardImage(), cardRegion);
    for (const Case& k : cases)
        for (const auto* values : {&k.identity, &k.nearIdentity}) {
            if (values == &k.nearIdentity && values->empty()) continue;
            SCOPED_TRACE(std::string(k.filter) + (values == &k.identity ? " identity" : " near identity"));
            auto f = effectOn(k.filter, cardImage());
            ASSERT_TRUE(f);
            for (const auto& [key, value] : *values)
                f->setValue(key, value);
            EXPECT_LE(largestDifference(render(f->outputImage(), cardRegion), card, cardRegion), 1);
        }
}

// Filters with a centre lay their pattern or distortion out from it: moving picture and centre
// together moves the result with them, and moving the centre alone changes it.
TEST_F(EffectFilters, CentreFiltersFollowTheirCentre) {
    const int dx = 37, dy = -21;
    const CIImage moved = cardImage().imageByApplyingTransform(AffineTransform::translation(dx, dy));
    int checked = 0;
    for (const std::string& name : effectFilterNames()) {
        auto f = effectOn(name, cardImage());
        if (!f->hasInput("inputCenter")) continue;
        SCOPED_TRACE(name);
        ++checked;
        const Rendered here = render(f->outputImage(), cardRegion);
        auto g = effectOn(name, moved, {80 + dx, 60 + dy});
        const PixelRegion there = cardRegion.offsetBy(dx, dy);
        Rendered shifted = render(g->outputImage(), there);
        shifted.region = cardRegion; // read back in the card's coordinates
        EXPECT_LE(largestDifference(here, shifted, cardRegion), 1);

        auto h = effectOn(name, cardImage(), {50, 70});
        EXPECT_GT(largestDifference(render(h->outputImage(), cardRegion), here, cardRegion), 8)
            << "the centre is used";
    }
    EXPECT_EQ(checked, 21);
}

// Out-of-range numbers render as their nearest bound, NaN as the default, each logged once.
TEST_F(EffectFilters, ValuesOutsideTheirRangeAreClampedAndNaNTakesTheDefault) {
    struct Case {
        const char* filter;
        const char* key;
        double given, rendersAs;
    };
    const double nan = std::nan("");
    const Case cases[] = {
        {"CITwirlDistortion", "inputAngle", 100, 4 * std::numbers::pi},
        {"CIGammaAdjust", "inputPower", 0, 0.25},
        {"CIPixellate", "inputScale", -5, 1},
        {"CIKaleidoscope", "inputCount", 1000, 64},
        {"CIMotionBlur", "inputRadius", HUGE_VAL, 100},
        {"CIBloom", "inputRadius", nan, 10},
        {"CIHexagonalPixellate", "inputScale", nan, 8},
        {"ChromaKey", "inputThreshold", 2, 1},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(std::string(k.filter) + " " + k.key);
        auto given = effectOn(k.filter, cardImage()), expected = effectOn(k.filter, cardImage());
        given->setValue(k.key, k.given);
        expected->setValue(k.key, k.rendersAs);
        log_.clear();
        Rendered out = render(given->outputImage(), cardRegion);
        EXPECT_EQ(largestDifference(out, render(expected->outputImage(), cardRegion), cardRegion), 0);
        EXPECT_EQ(log_.size(), 1u);
        render(given->outputImage(), cardRegion);
        EXPECT_EQ(log_.size(), 1u) << "logged once";
    }
}

// The same pixels whatever the number of workers and whatever region is asked for; and the extent
// says where the pixels are: the effect on the card inside a larger transparent picture shows
// nothing outside the extent it has on the card alone.
TEST_F(EffectFilters, PixelsDoNotDependOnTilingAndExtentsHoldThem) {
    auto blank = std::make_shared<Bitmap>(420, 380);
    const CIImage padded = cardImage().imageByCompositingOverImage(
        CIImage::imageWithBitmap(blank).imageByApplyingTransform(AffineTransform::translation(-130, -130)));
    const PixelRegion around{-130, -130, 420, 380};
    for (const std::string& name : effectFilterNames()) {
        SCOPED_TRACE(name);
        CIImage out = effectOn(name, cardImage())->outputImage();
        const PixelRegion wide{-8, -70, 176, 200}; // more than one row of tiles
        const Rendered one = render(out, wide, 1), three = render(out, wide, 3);
        EXPECT_EQ(one.bytes, three.bytes);
        const PixelRegion part{37, -3, 61, 45};
        EXPECT_EQ(largestDifference(render(out, part, 2), one, part), 0);

        // Vignettes and the zoom blur take their geometry from the input's extent.
        if (name == "CIVignette" || name == "CIZoomBlur") continue;
        Rendered alone = render(out, around);
        Rendered inside = render(effectOn(name, padded)->outputImage(), around);
        EXPECT_LE(largestDifference(alone, inside, around), 1);
    }
}

TEST_F(EffectFilters, MotionBlurDrawsAPointIntoALineAlongTheAngle) {
    auto dot = std::make_shared<Bitmap>(1, 1);
    dot->setPixel(0, 0, {255, 255, 255, 255});
    const CIImage point =
        CIImage::imageWithBitmap(dot).imageByApplyingTransform(AffineTransform::translation(100, 100));
    for (double angle : {0.0, std::numbers::pi / 2, std::numbers::pi / 4, -std::numbers::pi / 4, 2.5}) {
        SCOPED_TRACE(angle);
        auto f = effectOn("CIMotionBlur", point);
        f->setValue("inputRadius", 10.0);
        f->setValue("inputAngle", angle);
        const Rendered out = render(f->outputImage(), {70, 70, 61, 61});
        // A line of 2n + 1 equal pixels, ten pixels long on either side of the point.
        const int endX = int(std::lround(10 * std::cos(angle))),
                  endY = int(std::lround(10 * std::sin(angle)));
        const int n = std::max(std::abs(endX), std::abs(endY));
        int lit = 0;
        for (int y = 70; y < 131; ++y)
            for (int x = 70; x < 131; ++x)
                if (int a = out.alpha(x, y)) {
                    ++lit;
                    EXPECT_NEAR(a, 255.0 / (2 * n + 1), 1) << x << ", " << y;
                }
        EXPECT_EQ(lit, 2 * n + 1);
        EXPECT_GT(out.alpha(100 + endX, 100 + endY), 0);
        EXPECT_GT(out.alpha(100 - endX, 100 - endY), 0);
    }
}

// The kaleidoscope against the plain construction: each pixel's angle from the centre by the
// library's atan2, turned back into the first wedge and mirrored into its first half, read with
// bilinear weights in floating point. One wedge, two, many; centres on a pixel centre and between.
TEST_F(EffectFilters, KaleidoscopeMirrorsEveryPixelIntoTheFirstHalfWedge) {
    const Rendered in = render(cardImage(), cardRegion);
    auto bilinearAt = [&](double u, double v, int c) {
        const double fx = u - 0.5, fy = v - 0.5;
        const int x0 = int(std::floor(fx)), y0 = int(std::floor(fy));
        const double wx = fx - x0, wy = fy - y0;
        return (in.at(x0, y0)[std::size_t(c)] * (1 - wx) + in.at(x0 + 1, y0)[std::size_t(c)] * wx) *
                   (1 - wy) +
               (in.at(x0, y0 + 1)[std::size_t(c)] * (1 - wx) + in.at(x0 + 1, y0 + 1)[std::size_t(c)] * wx) *
                   wy;
    };
    const double pi = std::numbers::pi;
    for (const Point centre : {Point{80, 60}, Point{30.5, 100.5}})
        for (const int count : {1, 2, 3, 6, 64})
            for (const double angle : {0.0, 0.7, -2.5, pi}) {
                SCOPED_TRACE(std::to_string(count) + " wedges at " + std::to_string(angle) + " about " +
                             std::to_string(centre.x) + ", " + std::to_string(centre.y));
                auto f = effectOn("CIKaleidoscope", cardImage(), centre);
                f->setValue("inputCount", double(count));
                f->setValue("inputAngle", angle);
                const Rendered out = render(f->outputImage(), cardRegion);
                ASSERT_FALSE(out.bytes.empty());
                const double sector = 2 * pi / count;
                double worst = 0;
                for (int y = 0; y < cardHeight; ++y)
                    for (int x = 0; x < cardWidth; ++x) {
                        const double dx = x + 0.5 - centre.x, dy = y + 0.5 - centre.y;
                        const double ax = dx * std::cos(angle) + dy * std::sin(angle),
                                     ay = dy * std::cos(angle) - dx * std::sin(angle);
                        const double phi = std::atan2(ay, ax);
                        const double k = std::floor(phi / sector);
                        double turned = phi - k * sector;
                        if (turned > sector / 2) turned = sector - turned;
                        const double r = std::hypot(ax, ay);
                        const double u = centre.x + r * std::cos(turned + angle),
                                     v = centre.y + r * std::sin(turned + angle);
                        for (int c = 0; c < 4; ++c)
                            worst = std::max(worst,
                                             std::fabs(out.at(x, y)[std::size_t(c)] - bilinearAt(u, v, c)));
                    }
                EXPECT_LE(worst, 2.0);
            }
}

// Crystals against a plain search: each pixel the colour of the input under the nearest of the
// jittered points of the 3 × 3 cells around its own, on and beyond the card, for crystals from one
// pixel wide to wider than the card and a centre between pixels.
TEST_F(EffectFilters, CrystallizeTakesTheColourUnderTheNearestPoint) {
    const PixelRegion around{-30, -20, 220, 160};
    const Rendered in = render(cardImage(), around);
    for (const Point centre : {Point{80, 60}, Point{13.25, 97.5}})
        for (const double radius : {1.0, 2.5, 20.0, 100.0}) {
            SCOPED_TRACE("radius " + std::to_string(radius) + " about " + std::to_string(centre.x) + ", " +
                         std::to_string(centre.y));
            auto f = effectOn("CICrystallize", cardImage(), centre);
            f->setValue("inputRadius", radius);
            const Rendered out = render(f->outputImage(), around);
            ASSERT_FALSE(out.bytes.empty());
            auto cellOf = [&](double v, double origin) { return std::floor((v - origin) / radius); };
            int wrong = 0;
            for (int y = around.y; y < around.maxY(); ++y)
                for (int x = around.x; x < around.maxX(); ++x) {
                    const double px = x + 0.5, py = y + 0.5;
                    const double ci = cellOf(px, centre.x), cj = cellOf(py, centre.y);
                    double best = HUGE_VAL, bestX = 0, bestY = 0;
                    for (double j = cj - 1; j <= cj + 1; ++j)
                        for (double i = ci - 1; i <= ci + 1; ++i) {
                            double jx, jy;
                            detail::cellJitter(std::int64_t(i), std::int64_t(j), jx, jy);
                            const double qx = centre.x + (i + jx) * radius, qy = centre.y + (j + jy) * radius;
                            const double dx = qx - px, dy = qy - py, d = dx * dx + dy * dy;
                            if (d < best) best = d, bestX = qx, bestY = qy;
                        }
                    if (out.at(x, y) != in.at(int(std::floor(bestX)), int(std::floor(bestY)))) ++wrong;
                }
            EXPECT_EQ(wrong, 0);
        }
}

// The median against a plain sort of each 3 × 3 neighbourhood, on random premultiplied pixels.
TEST_F(EffectFilters, MedianIsTheMiddleOfEachNeighbourhood) {
    const int w = 70, h = 9;
    auto noise = std::make_shared<Bitmap>(w, h);
    std::mt19937 random(7);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            auto a = std::uint8_t(random() % 256);
            auto c = [&] { return std::uint8_t(a ? random() % (a + 1u) : 0); };
            noise->setPixel(x, y, {c(), c(), c(), a});
        }
    const CIImage image = CIImage::imageWithBitmap(noise);
    const Rendered in = render(image, {0, 0, w, h});
    const Rendered out = render(effectOn("CIMedianFilter", image)->outputImage(), {0, 0, w, h});
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (std::size_t c = 0; c < 4; ++c) {
                std::vector<int> v;
                for (int j = -1; j <= 1; ++j)
                    for (int i = -1; i <= 1; ++i)
                        v.push_back(in.at(x + i, y + j)[c]);
                std::nth_element(v.begin(), v.begin() + 4, v.end());
                ASSERT_EQ(out.at(x, y)[c], v[4]) << x << ", " << y << " channel " << c;
            }
}

TEST_F(EffectFilters, TableTrigonometryIsCloseToTheLibrary) {
    double worstAngle = 0, worstCosine = 0;
    for (int i = -500; i <= 500; ++i)
        for (int j = -500; j <= 500; j += 7) {
            worstAngle = std::max(worstAngle, std::fabs(detail::fastAtan2(j, i) - std::atan2(j, i)));
            const double t = i * 0.0137 + j * 0.00011;
            worstCosine = std::max(worstCosine,
                                   std::fabs(detail::cosineOfTurns(t) - std::cos(2 * std::numbers::pi * t)));
        }
    EXPECT_LT(worstAngle, 1e-5);
    EXPECT_LT(worstCosine, 1e-6);
}

} // namespace
