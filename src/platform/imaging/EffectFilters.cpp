#include "platform/imaging/EffectFilters.h"

#include "platform/imaging/EffectFilter.h"

namespace vtl {

const std::vector<std::string>& effectFilterNames() {
    static const std::vector<std::string> names{
        // The picker's, in its order.
        "ChromaKey", "CIGammaAdjust", "CIGaussianBlur", "CIZoomBlur", "CIMotionBlur", "CISharpenLuminance",
        "CIUnsharpMask", "CICrystallize", "CIPointillize", "CIPixellate", "CIHexagonalPixellate",
        "CIKaleidoscope", "CIBumpDistortionLinear", "CIHoleDistortion", "CITwirlDistortion",
        "CIVortexDistortion", "CIVignette", "CIBloom", "CIGloom", "CISepiaTone", "CIComicEffect",
        "CIColorInvert", "CIColorControls", "CIExposureAdjust", "CIColorPosterize", "CICircularScreen",
        "CIDotScreen", "CIHatchedScreen", "CILineScreen", "CIMedianFilter",
        // Those the inspectors know besides.
        "CIBumpDistortion", "CICircularWrap", "CIParallelogramTile", "CINoiseReduction", "CIPinchDistortion",
        "CITriangleTile", "CIVignetteEffect", "CITorusLensDistortion", "CIMaskToAlpha",
        // Colour filters the drawing code uses, which documents may name as well.
        "CIHueAdjust", "CIColorMonochrome"};
    return names;
}

void registerEffectFilters() {
    static const bool registered = [] {
        detail::registerColorEffects();
        detail::registerBlurEffects();
        detail::registerStylizeEffects();
        detail::registerDistortionEffects();
        detail::registerTileEffects();
        return true;
    }();
    (void)registered;
}

} // namespace vtl
