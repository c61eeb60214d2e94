#pragma once
// What the model knows of image filters: for a filter name, its attributes with class, default,
// range and display name. The rendering layer installs the catalog at start-up (the model cannot
// depend on it); until then no filter is known. The installed catalog is read-only and shared.

#include "model/RGBAColor.h"
#include "platform/foundation/PropertyList.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vtl {

// Attribute classes as stored documents name them.
inline constexpr const char* kFilterAttributeClassNumber = "NSNumber";
inline constexpr const char* kFilterAttributeClassColor = "CIColor";
inline constexpr const char* kFilterAttributeClassVector = "CIVector";
inline constexpr const char* kFilterAttributeClassImage = "CIImage";

struct FilterAttributeDescription {
    std::string name;
    std::string attributeClass;
    // A number for numeric attributes, colour text ("r g b a") for colours, vector text "[x y]".
    PropertyList defaultValue;
    std::optional<double> minimum;
    std::optional<double> maximum;
    std::optional<double> sliderMinimum;
    std::optional<double> sliderMaximum;
    std::string displayName;
};

struct FilterDescription {
    std::string name;
    std::string displayName;
    // Ascending by attribute name.
    std::vector<FilterAttributeDescription> attributes;

    const FilterAttributeDescription* attribute(const std::string& attributeName) const {
        for (const auto& attribute : attributes) {
            if (attribute.name == attributeName) return &attribute;
        }
        return nullptr;
    }
};

class FilterDescriptionCatalog {
public:
    virtual ~FilterDescriptionCatalog() = default;
    // Null for a filter the catalog does not know.
    virtual const FilterDescription* descriptionForFilter(const std::string& name) const = 0;
};

// Reserved attribute names of every effect: its mask rectangle and centre point (stored as text).
inline constexpr const char* kEffectMaskAttribute = "**VTLEEffectMaskName";
inline constexpr const char* kEffectCenterAttribute = "**VTLEEffectCenterName";

// Colour values of effects are stored as text "red green blue alpha".
std::string effectColorText(const RGBAColor& color);
std::optional<RGBAColor> effectColorFromText(const std::string& text);

// Installs the process-wide catalog (null removes it). Call at start-up, before any document.
void installFilterDescriptionCatalog(std::shared_ptr<const FilterDescriptionCatalog> catalog);
// The description of a filter, or null (logged once per name) when it is unknown.
const FilterDescription* filterDescriptionNamed(const std::string& name);
// The description of one attribute of a filter, or null.
const FilterAttributeDescription* filterAttributeDescription(const std::string& filterName,
                                                             const std::string& attribute);

} // namespace vtl
