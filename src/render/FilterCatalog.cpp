#include "render/FilterCatalog.h"

#include "platform/foundation/Log.h"
#include "platform/imaging/EffectFilters.h"
#include "platform/imaging/FilterRegistry.h"

#include <algorithm>
#include <charconv>

namespace vtl {

namespace {

// A number in its shortest exact text.
std::string numberText(double v) {
    char text[32];
    auto [end, error] = std::to_chars(text, text + sizeof text, v);
    return error == std::errc() ? std::string(text, end) : std::string("0");
}

// The default as the model stores values: numbers, colour text, vector text "[x y]".
PropertyList storedDefault(const FilterValue& value) {
    if (auto number = std::get_if<double>(&value)) return PropertyList(*number);
    if (auto color = std::get_if<CIColor>(&value))
        return PropertyList(
            effectColorText(RGBAColor::device(color->red, color->green, color->blue, color->alpha)));
    if (auto vector = std::get_if<CIVector>(&value)) {
        std::string text = "[";
        for (std::size_t i = 0; i < vector->count; ++i)
            text += (i ? " " : "") + numberText(vector->values[i]);
        return PropertyList(text + "]");
    }
    return {};
}

FilterDescription describe(const FilterAttributes& filter) {
    FilterDescription d;
    d.name = filter.name;
    d.displayName = filter.displayName;
    for (const FilterAttribute& input : filter.inputs) {
        FilterAttributeDescription a;
        a.name = input.name;
        a.attributeClass = input.attributeClass;
        a.defaultValue = storedDefault(input.defaultValue);
        a.minimum = input.minimum;
        a.maximum = input.maximum;
        a.sliderMinimum = input.sliderMinimum;
        a.sliderMaximum = input.sliderMaximum;
        a.displayName = input.displayName;
        d.attributes.push_back(std::move(a));
    }
    std::sort(d.attributes.begin(), d.attributes.end(),
              [](const auto& a, const auto& b) { return a.name < b.name; });
    return d;
}

} // namespace

FilterCatalog::FilterCatalog() {
    registerBuiltinFilters();
    for (const std::string& name : effectFilterNames()) {
        std::shared_ptr<const FilterAttributes> attributes =
            FilterRegistry::shared().attributesOfFilter(name);
        VTL_ASSERT(attributes, "Every video effect is registered.");
        if (attributes) filters_[name] = describe(*attributes);
    }
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
