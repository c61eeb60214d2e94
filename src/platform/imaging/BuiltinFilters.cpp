#include "platform/foundation/Log.h"
#include "platform/graphics/Blur.h"
#include "platform/imaging/ChromaKey.h"
#include "platform/imaging/ColorTransition.h"
#include "platform/imaging/EffectFilters.h"
#include "platform/imaging/FilterAttributeBuilders.h"
#include "platform/imaging/FilterRegistry.h"
#include "platform/imaging/PixelKernels.h"
#include "platform/imaging/TransitionFilters.h"
#include "platform/imaging/WhiteTransition.h"

#include <cmath>
#include <functional>

namespace vtl {

namespace detail {

double clampedInput(const std::string& filter, const std::string& key, double value, double low,
                    double high) {
    if (value >= low && value <= high) return value;
    logOnce(filter + " " + key + " out of range", "The filter " + filter + " got " + key + " outside " +
                                                      std::to_string(low) + " to " + std::to_string(high) +
                                                      "; the value was clamped.");
    return value > high ? high : low; // NaN counts as the low end
}

} // namespace detail

using namespace detail;

namespace {

// An internal filter: its attributes and how its output is built from the filter's inputs.
class BuiltinFilter final : public CIFilter {
public:
    using Output = std::function<CIImage(const BuiltinFilter&)>;
    BuiltinFilter(std::shared_ptr<const FilterAttributes> attributes, Output output)
        : CIFilter(std::move(attributes))
        , output_(std::move(output)) {}
    CIImage outputImage() const override { return output_(*this); }

    using CIFilter::color;
    using CIFilter::image;
    using CIFilter::number;
    using CIFilter::vector;

    // A number input clamped to its attribute's range.
    double ranged(const std::string& key) const {
        const FilterAttribute* a = attributes().input(key);
        return clampedInput(name(), key, number(key), a && a->minimum ? *a->minimum : -HUGE_VAL,
                            a && a->maximum ? *a->maximum : HUGE_VAL);
    }

private:
    Output output_;
};

void add(const std::string& name, const std::string& displayName, std::vector<std::string> extraCategories,
         std::vector<FilterAttribute> inputs, BuiltinFilter::Output output) {
    FilterAttributes a;
    a.name = name;
    a.displayName = displayName;
    a.categories = std::move(extraCategories);
    a.categories.insert(a.categories.end(),
                        {filterCategoryVideo, filterCategoryStillImage, filterCategoryBuiltIn});
    a.inputs = std::move(inputs);
    auto shared = std::make_shared<const FilterAttributes>(std::move(a));
    FilterRegistry::shared().registerFilter(
        shared, [output](std::shared_ptr<const FilterAttributes> attributes) {
            return std::unique_ptr<CIFilter>(new BuiltinFilter(std::move(attributes), output));
        });
}

CIImage withNode(const CIImage& like, ImageNodeRef node) {
    return CIImage::withNode(std::move(node), like.colorSpace());
}

// Vector components as finite floats (NaN and infinities count as 0, logged once).
float finite(const std::string& filter, double v) {
    if (std::isfinite(v)) return float(std::clamp(v, -1e6, 1e6));
    logOnce(filter + " vector", "The filter " + filter + " got a vector that is not finite; it counts as 0.");
    return 0;
}

// Two-input compositing: a missing image yields the other one unchanged.
CIImage composite(const BuiltinFilter& f, ImageNodeRef (*make)(ImageNodeRef, ImageNodeRef),
                  bool missingBackgroundKeeps) {
    CIImage fg = f.image("inputImage"), bg = f.image("inputBackgroundImage");
    if (fg.isNull()) return {};
    if (bg.isNull()) return missingBackgroundKeeps ? fg : CIImage();
    return withNode(fg, make(fg.node(), bg.node()));
}

void registerInternalFilters() {
    const std::vector<std::string> compositeCategory{"CICategoryCompositeOperation"};
    add("CISourceOverCompositing", "Source Over Compositing", compositeCategory,
        {imageInput("inputImage", "Image"), imageInput("inputBackgroundImage", "Background Image")},
        [](const BuiltinFilter& f) { return composite(f, makeSourceOverNode, true); });
    add("CISourceOutCompositing", "Source Out Compositing", compositeCategory,
        {imageInput("inputImage", "Image"), imageInput("inputBackgroundImage", "Background Image")},
        [](const BuiltinFilter& f) { return composite(f, makeSourceOutNode, true); });
    add("CIBlendWithAlphaMask", "Blend With Alpha Mask", compositeCategory,
        {imageInput("inputImage", "Image"), imageInput("inputBackgroundImage", "Background Image"),
         imageInput("inputMaskImage", "Mask Image")},
        [](const BuiltinFilter& f) {
            CIImage image = f.image("inputImage"), mask = f.image("inputMaskImage");
            CIImage background = f.image("inputBackgroundImage");
            if (image.isNull()) return CIImage();
            if (mask.isNull()) return image;
            return withNode(image, makeBlendWithMaskNode(image.node(),
                                                         background.isNull() ? nullptr : background.node(),
                                                         mask.node()));
        });
    add("CIColorMatrix", "Color Matrix", {"CICategoryColorAdjustment"},
        {imageInput("inputImage", "Image"), vectorInput("inputRVector", "Red Vector", {1, 0, 0, 0}),
         vectorInput("inputGVector", "Green Vector", {0, 1, 0, 0}),
         vectorInput("inputBVector", "Blue Vector", {0, 0, 1, 0}),
         vectorInput("inputAVector", "Alpha Vector", {0, 0, 0, 1}),
         vectorInput("inputBiasVector", "Bias Vector", {0, 0, 0, 0})},
        [](const BuiltinFilter& f) {
            CIImage input = f.image("inputImage");
            if (input.isNull()) return CIImage();
            ColorMatrix m;
            const char* rows[] = {"inputRVector", "inputGVector", "inputBVector", "inputAVector"};
            for (int i = 0; i < 4; ++i) {
                CIVector v = f.vector(rows[i]);
                for (int j = 0; j < 4; ++j)
                    m.rows[i][j] = finite(f.name(), v.at(j));
            }
            CIVector bias = f.vector("inputBiasVector");
            for (int j = 0; j < 4; ++j)
                m.bias[j] = finite(f.name(), bias.at(j));
            return withNode(input, makeColorMatrixNode(input.node(), m));
        });
    add("CIColorMonochrome", "Color Monochrome", {"CICategoryColorEffect"},
        {imageInput("inputImage", "Image"), colorInput("inputColor", "Color", CIColor(0.6, 0.45, 0.3, 1)),
         numberInput("inputIntensity", "Intensity", 1, 0, 1, 0, 1)},
        [](const BuiltinFilter& f) {
            CIImage input = f.image("inputImage");
            if (input.isNull()) return CIImage();
            return withNode(
                input, makeMonochromeNode(input.node(), f.color("inputColor"), f.ranged("inputIntensity")));
        });
    add("CIFalseColor", "False Color", {"CICategoryColorEffect"},
        {imageInput("inputImage", "Image"), colorInput("inputColor0", "Color 1", CIColor(0.3, 0, 0, 1)),
         colorInput("inputColor1", "Color 2", CIColor(1, 0.9, 0.8, 1))},
        [](const BuiltinFilter& f) {
            CIImage input = f.image("inputImage");
            if (input.isNull()) return CIImage();
            return withNode(input,
                            makeFalseColorNode(input.node(), f.color("inputColor0"), f.color("inputColor1")));
        });
    add("CIConstantColorGenerator", "Constant Color", {"CICategoryGenerator"},
        {colorInput("inputColor", "Color", CIColor(1, 0, 0, 1))},
        [](const BuiltinFilter& f) { return CIImage::imageWithColor(f.color("inputColor")); });
    add("CIGaussianBlur", "Gaussian Blur", {"CICategoryBlur"},
        {imageInput("inputImage", "Image"),
         numberInput("inputRadius", "Radius", 10, 0, GaussianBlurKernel::maximumSigma, 0, 100,
                     FilterAttributeType::Distance)},
        [](const BuiltinFilter& f) {
            CIImage input = f.image("inputImage");
            if (input.isNull()) return CIImage();
            double sigma = f.ranged("inputRadius");
            if (sigma == 0 || input.isEmpty()) return input;
            return withNode(input, makeGaussianBlurNode(input.node(), sigma));
        });
    add("CIColorControls", "Color Controls", {"CICategoryColorAdjustment"},
        {imageInput("inputImage", "Image"), numberInput("inputSaturation", "Saturation", 1, 0, 100, 0, 2),
         numberInput("inputBrightness", "Brightness", 0, -1, 1, -1, 1),
         numberInput("inputContrast", "Contrast", 1, 0, 100, 0.25, 4)},
        [](const BuiltinFilter& f) {
            CIImage input = f.image("inputImage");
            if (input.isNull()) return CIImage();
            return withNode(input,
                            makeColorControlsNode(input.node(), f.ranged("inputSaturation"),
                                                  f.ranged("inputBrightness"), f.ranged("inputContrast")));
        });
}

} // namespace

void registerBuiltinFilters() {
    static const bool registered = [] {
        registerInternalFilters();
        ChromaKey::registerFilter();
        WhiteTransition::registerFilter();
        ColorTransition::registerFilter();
        registerEffectFilters();
        registerTransitionFilters();
        return true;
    }();
    (void)registered;
}

} // namespace vtl
