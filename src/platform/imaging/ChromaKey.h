#pragma once
// Keys out a colour: pixels near the key colour become transparent, with a soft edge.
// alpha × smoothstep(threshold, threshold + smoothing, d), d = distance of the un-premultiplied
// colour to the key colour ÷ √3. An object effect; the caller owns each filter.

#include "platform/imaging/CIFilter.h"

namespace vtl {

class ChromaKey final : public CIFilter {
public:
    ChromaKey();
    explicit ChromaKey(std::shared_ptr<const FilterAttributes> attributes);
    // A new filter; the name is not looked at.
    static std::unique_ptr<CIFilter> filterWithName(const std::string& name = "ChromaKey");
    static std::shared_ptr<const FilterAttributes> filterAttributes();
    static void registerFilter();

    CIImage outputImage() const override;
};

} // namespace vtl
