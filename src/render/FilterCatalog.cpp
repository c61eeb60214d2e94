#include "render/FilterCatalog.h"

#include <algorithm>
#include <cctype>
#include <numbers>

namespace vtl {

namespace {

constexpr double kPi = std::numbers::pi;

// "inputNoiseLevel" → "Noise Level".
std::string displayNameOf(const std::string& attribute) {
    std::string bare = attribute.rfind("input", 0) == 0 ? attribute.substr(5) : attribute;
    std::string out;
    for (std::size_t i = 0; i < bare.size(); ++i) {
        if (i > 0 && std::isupper(static_cast<unsigned char>(bare[i])) &&
            !std::isupper(static_cast<unsigned char>(bare[i - 1])))
            out += ' ';
        out += bare[i];
    }
    return out;
}

FilterAttributeDescription number(const std::string& name, double value, double minimum, double maximum) {
    FilterAttributeDescription d;
    d.name = name;
    d.attributeClass = kFilterAttributeClassNumber;
    d.defaultValue = PropertyList(value);
    d.minimum = minimum;
    d.maximum = maximum;
    d.sliderMinimum = minimum;
    d.sliderMaximum = maximum;
    d.displayName = displayNameOf(name);
    return d;
}

FilterAttributeDescription color(const std::string& name, const std::string& value) {
    FilterAttributeDescription d;
    d.name = name;
    d.attributeClass = kFilterAttributeClassColor;
    d.defaultValue = PropertyList(value);
    d.displayName = displayNameOf(name);
    return d;
}

FilterAttributeDescription center() {
    FilterAttributeDescription d;
    d.name = "inputCenter";
    d.attributeClass = kFilterAttributeClassVector;
    d.defaultValue = PropertyList(std::string("[150 150]"));
    d.displayName = "Center";
    return d;
}

FilterAttributeDescription image() {
    FilterAttributeDescription d;
    d.name = "inputImage";
    d.attributeClass = kFilterAttributeClassImage;
    d.displayName = "Image";
    return d;
}

} // namespace

FilterCatalog::FilterCatalog() {
    auto add = [this](const std::string& name, const std::string& displayName,
                      std::vector<FilterAttributeDescription> attributes) {
        attributes.push_back(image());
        std::sort(attributes.begin(), attributes.end(),
                  [](const auto& a, const auto& b) { return a.name < b.name; });
        filters_[name] = FilterDescription{name, displayName, std::move(attributes)};
    };
    auto screen = [&](const std::string& name, const std::string& displayName) {
        add(name, displayName,
            {center(), number("inputAngle", 0, -kPi, kPi), number("inputWidth", 6, 1, 50),
             number("inputSharpness", 0.7, 0, 1)});
    };
    auto tile = [&](const std::string& name, const std::string& displayName) {
        add(name, displayName,
            {center(), number("inputAngle", 0, -kPi, kPi), number("inputWidth", 100, 1, 200)});
    };

    add("CIMotionBlur", "Motion Blur",
        {number("inputRadius", 20, 0, 100), number("inputAngle", 0, -kPi, kPi)});
    add("CIVortexDistortion", "Vortex Distortion",
        {center(), number("inputRadius", 300, 0, 800), number("inputAngle", 56.55, -94.25, 94.25)});
    add("CIBumpDistortion", "Bump Distortion",
        {center(), number("inputRadius", 300, 0, 600), number("inputScale", 0.5, -1, 1)});
    add("CIBloom", "Bloom", {number("inputRadius", 10, 0, 100), number("inputIntensity", 0.5, 0, 1)});
    add("CIGloom", "Gloom", {number("inputRadius", 10, 0, 100), number("inputIntensity", 0.5, 0, 1)});
    add("CIVignette", "Vignette", {number("inputIntensity", 0, -1, 1), number("inputRadius", 1, 0, 2)});
    screen("CICircularScreen", "Circular Screen");
    add("CICircularWrap", "Circular Wrap Distortion",
        {center(), number("inputRadius", 150, 0, 600), number("inputAngle", 0, -kPi, kPi)});
    add("CITwirlDistortion", "Twirl Distortion",
        {center(), number("inputRadius", 300, 0, 500), number("inputAngle", kPi, -4 * kPi, 4 * kPi)});
    add("CIKaleidoscope", "Kaleidoscope",
        {center(), number("inputCount", 6, 1, 64), number("inputAngle", 0, -kPi, kPi)});
    add("CIParallelogramTile", "Parallelogram Tile",
        {center(), number("inputAngle", 0, -kPi, kPi), number("inputAcuteAngle", kPi / 2, -kPi, kPi),
         number("inputWidth", 100, 1, 200)});
    add("CINoiseReduction", "Noise Reduction",
        {number("inputNoiseLevel", 0.02, 0, 0.1), number("inputSharpness", 0.4, 0, 2)});
    add("CIPinchDistortion", "Pinch Distortion",
        {center(), number("inputRadius", 300, 0, 1000), number("inputScale", 0.5, 0, 2)});
    tile("CITriangleTile", "Triangle Tile");
    add("CIUnsharpMask", "Unsharp Mask",
        {number("inputRadius", 2.5, 0, 100), number("inputIntensity", 0.5, 0, 1)});
    add("CIVignetteEffect", "Vignette Effect",
        {center(), number("inputRadius", 150, 0, 2000), number("inputIntensity", 1, -1, 1),
         number("inputFalloff", 0.5, 0, 1)});
    add("CITorusLensDistortion", "Torus Lens Distortion",
        {center(), number("inputRadius", 160, 0, 500), number("inputWidth", 80, 0, 200),
         number("inputRefraction", 1.7, 0, 5)});
    add("CIBumpDistortionLinear", "Bump Distortion Linear",
        {center(), number("inputRadius", 300, 0, 600), number("inputAngle", 0, -kPi, kPi),
         number("inputScale", 0.5, -1, 1)});
    screen("CIDotScreen", "Dot Screen");
    screen("CIHatchedScreen", "Hatched Screen");
    screen("CILineScreen", "Line Screen");
    add("CIColorControls", "Color Controls",
        {number("inputSaturation", 1, 0, 2), number("inputBrightness", 0, -1, 1),
         number("inputContrast", 1, 0.25, 4)});
    add("CIComicEffect", "Comic Effect", {});
    add("CIColorInvert", "Color Invert", {});
    add("CIMaskToAlpha", "Mask to Alpha", {});
    add("CIMedianFilter", "Median", {});
    add("ChromaKey", "Chroma Key",
        {color("inputColor", "0 1 0 1"), number("inputThreshold", 0.4, 0, 1),
         number("inputSmoothing", 0.1, 0, 1)});
    add("CIGaussianBlur", "Gaussian Blur", {number("inputRadius", 10, 0, 100)});
    add("CIBoxBlur", "Box Blur", {number("inputRadius", 10, 1, 100)});
    add("CIDiscBlur", "Disc Blur", {number("inputRadius", 8, 0, 100)});
    add("CIZoomBlur", "Zoom Blur", {center(), number("inputAmount", 20, 0, 200)});
    add("CISepiaTone", "Sepia Tone", {number("inputIntensity", 1, 0, 1)});
    add("CIColorMonochrome", "Color Monochrome",
        {color("inputColor", "0.6 0.45 0.3 1"), number("inputIntensity", 1, 0, 1)});
    add("CIPixellate", "Pixellate", {center(), number("inputScale", 8, 1, 100)});
    add("CICrystallize", "Crystallize", {center(), number("inputRadius", 20, 1, 100)});
    add("CIPointillize", "Pointillize", {center(), number("inputRadius", 20, 1, 100)});
    add("CIHueAdjust", "Hue Adjust", {number("inputAngle", 0, -kPi, kPi)});
    add("CIExposureAdjust", "Exposure Adjust", {number("inputEV", 0, -10, 10)});
    add("CIGammaAdjust", "Gamma Adjust", {number("inputPower", 1, 0.25, 4)});
    add("CIVibrance", "Vibrance", {number("inputAmount", 0, -1, 1)});
    add("CIColorPosterize", "Color Posterize", {number("inputLevels", 6, 2, 30)});
    add("CIEdges", "Edges", {number("inputIntensity", 1, 0, 10)});
    add("CISharpenLuminance", "Sharpen Luminance", {number("inputSharpness", 0.4, 0, 2)});
}

std::shared_ptr<const FilterCatalog> FilterCatalog::standard() {
    static const std::shared_ptr<const FilterCatalog> catalog = std::make_shared<FilterCatalog>();
    return catalog;
}

const FilterDescription* FilterCatalog::descriptionForFilter(const std::string& name) const {
    auto found = filters_.find(name);
    return found == filters_.end() ? nullptr : &found->second;
}

std::vector<std::string> FilterCatalog::filterNames() const {
    std::vector<std::string> names;
    for (const auto& [name, description] : filters_)
        names.push_back(name);
    return names;
}

} // namespace vtl
