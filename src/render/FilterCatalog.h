#pragma once
// The catalog of the image filters that compositions may name in their effects, as the model sees
// them: a read-only view of the imaging layer's registry over the video effects' names, so the
// model's defaults and ranges are those the renderer clamps to. For each filter, its attributes
// with class, default, range and display name, sorted by attribute name. Immutable after
// construction and safe to read from any thread; install it for the model with
// installFilterDescriptionCatalog.

#include "model/EffectFilterDescriptions.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vtl {

class FilterCatalog : public FilterDescriptionCatalog {
public:
    // Registers the imaging layer's filters when that has not happened yet, then reads them.
    FilterCatalog();

    // The catalog every program installs at start-up.
    static std::shared_ptr<const FilterCatalog> standard();

    const FilterDescription* descriptionForFilter(const std::string& name) const override;
    // Sorted.
    std::vector<std::string> filterNames() const;

private:
    std::map<std::string, FilterDescription, std::less<>> filters_;
};

} // namespace vtl
