#pragma once
// A transition from the source image through white (time 0 to 0.5) to the destination image
// (0.5 to 1). Registered like the other own filters; the caller owns each filter.

#include "platform/imaging/CIFilter.h"

namespace vtl {

class WhiteTransition final : public CIFilter {
public:
    WhiteTransition();
    explicit WhiteTransition(std::shared_ptr<const FilterAttributes> attributes);
    static std::unique_ptr<CIFilter> filterWithName(const std::string& name = "WhiteTransition");
    static std::shared_ptr<const FilterAttributes> filterAttributes();
    static void registerFilter();

    CIImage outputImage() const override;

protected:
    void setNilValueForKey(const std::string& key) override;
};

} // namespace vtl
