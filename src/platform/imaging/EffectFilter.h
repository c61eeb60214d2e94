#pragma once
// The filter class behind the catalogue of video effects: its inputs are described by its
// registered attributes and its output is built by a plain function of the filter. At render,
// numbers outside their attribute's range are clamped and NaN takes the default, so a value from a
// document can never push a kernel outside what it was made for. Made by the registry; the caller
// owns each filter. Internal to the imaging layer.

#include "platform/foundation/Geometry.h"
#include "platform/imaging/CIFilter.h"
#include "platform/imaging/ImageNode.h"

#include <string>
#include <vector>

namespace vtl::detail {

class EffectFilter final : public CIFilter {
public:
    // Builds the output from an input image that is neither none nor empty.
    using Output = CIImage (*)(const EffectFilter&, const CIImage& input);

    EffectFilter(std::shared_ptr<const FilterAttributes> attributes, Output output);

    // None without an input image; the input itself when it is empty.
    CIImage outputImage() const override;

    // A number input for rendering: clamped into its attribute's range, the default for NaN.
    double ranged(const std::string& key) const;
    // "inputCenter" as a point: components that are not finite take the default's.
    Point center() const;

    // An image of the node in the input's colour space.
    static CIImage imageOf(const CIImage& like, ImageNodeRef node) {
        return CIImage::withNode(std::move(node), like.colorSpace());
    }

private:
    Output output_;
};

// Adds an effect to the registry with the categories of every video effect plus `category`.
void registerEffect(const std::string& name, const std::string& displayName, const std::string& category,
                    std::vector<FilterAttribute> inputs, EffectFilter::Output output);

// Input descriptions the effects share.
FilterAttribute effectImageInput();
FilterAttribute centerInput();
FilterAttribute angleInput(double value, double minimum, double maximum,
                           const std::string& name = "inputAngle", const std::string& displayName = "Angle");

// The groups of the catalogue, each in its own file.
void registerColorEffects();
void registerBlurEffects();
void registerStylizeEffects();
void registerDistortionEffects();
void registerTileEffects();

} // namespace vtl::detail
