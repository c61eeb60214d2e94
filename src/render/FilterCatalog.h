#pragma once
// The catalog of the image filters that compositions may name in their effects: for each filter,
// its attributes with class, default, range and display name. Immutable after construction and
// safe to read from any thread; install it for the model with installFilterDescriptionCatalog.

#include "model/EffectFilterDescriptions.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace vtl {

class FilterCatalog : public FilterDescriptionCatalog {
public:
    FilterCatalog();

    // The catalog every program installs at start-up.
    static std::shared_ptr<const FilterCatalog> standard();

    const FilterDescription* descriptionForFilter(const std::string& name) const override;
    std::vector<std::string> filterNames() const;

private:
    std::map<std::string, FilterDescription, std::less<>> filters_;
};

} // namespace vtl
