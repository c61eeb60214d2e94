#pragma once
// What a filter says about itself and its inputs: name, display name, categories, and per input
// its class ("NSNumber", "CIColor", "CIVector", "CIImage"), kind, default, range, slider range and
// display name. Shared immutable values, registered once per filter name.

#include "platform/imaging/CIColor.h"
#include "platform/imaging/CIImage.h"
#include "platform/imaging/CIVector.h"

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace vtl {

// A filter input's value; monostate is "none".
using FilterValue = std::variant<std::monostate, double, CIColor, CIVector, CIImage>;

inline constexpr const char* filterAttributeClassNumber = "NSNumber";
inline constexpr const char* filterAttributeClassColor = "CIColor";
inline constexpr const char* filterAttributeClassVector = "CIVector";
inline constexpr const char* filterAttributeClassImage = "CIImage";

inline constexpr const char* filterCategoryVideo = "CICategoryVideo";
inline constexpr const char* filterCategoryStillImage = "CICategoryStillImage";
inline constexpr const char* filterCategoryBuiltIn = "CICategoryBuiltIn";

// What a number or colour means, for inspectors choosing a control.
enum class FilterAttributeType {
    Scalar,
    Distance,
    Angle,
    Time,
    Color,
    OpaqueColor,
    Image,
    Position,
    Offset,
    Vector
};

struct FilterAttribute {
    std::string name;
    std::string attributeClass;
    FilterAttributeType type = FilterAttributeType::Scalar;
    FilterValue defaultValue;
    std::optional<double> minimum, maximum, sliderMinimum, sliderMaximum;
    std::string displayName;
};

struct FilterAttributes {
    std::string name;
    std::string displayName;
    std::vector<std::string> categories;
    // In the order the filter lists its inputs.
    std::vector<FilterAttribute> inputs;

    const FilterAttribute* input(const std::string& key) const {
        for (const FilterAttribute& a : inputs)
            if (a.name == key) return &a;
        return nullptr;
    }
    bool hasCategory(const std::string& category) const {
        for (const std::string& c : categories)
            if (c == category) return true;
        return false;
    }
};

} // namespace vtl
