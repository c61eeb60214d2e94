#pragma once
// A transition from the source image through one colour (time 0 to 0.5) to the destination image
// (0.5 to 1). The colour is one value for the whole program: setting "transitionColor" on any
// colour transition changes it for all of them. The caller owns each filter.

#include "platform/imaging/CIFilter.h"

namespace vtl {

class ColorTransition final : public CIFilter {
public:
    ColorTransition();
    explicit ColorTransition(std::shared_ptr<const FilterAttributes> attributes);
    static std::unique_ptr<CIFilter> filterWithName(const std::string& name = "ColorTransition");
    static std::shared_ptr<const FilterAttributes> filterAttributes();
    static void registerFilter();

    // The program-wide colour, opaque white until set; its alpha is not used.
    static CIColor transitionColor();
    static void setTransitionColor(const CIColor& color);

    CIImage outputImage() const override;
    FilterValue value(const std::string& key) const override;

protected:
    void setNilValueForKey(const std::string& key) override;
    void storeValue(const std::string& key, FilterValue value) override;
};

} // namespace vtl
