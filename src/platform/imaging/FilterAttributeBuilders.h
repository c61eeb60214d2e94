#pragma once
// Shorthands for describing filter inputs, shared by the imaging layer's own filters.

#include "platform/imaging/FilterAttributes.h"

#include <cmath>
#include <string>

namespace vtl::detail {

inline FilterAttribute imageInput(const std::string& name, const std::string& displayName) {
    FilterAttribute a;
    a.name = name;
    a.attributeClass = filterAttributeClassImage;
    a.type = FilterAttributeType::Image;
    a.displayName = displayName;
    return a;
}

inline FilterAttribute numberInput(const std::string& name, const std::string& displayName, double value,
                                   double minimum, double maximum, double sliderMinimum, double sliderMaximum,
                                   FilterAttributeType type = FilterAttributeType::Scalar) {
    FilterAttribute a;
    a.name = name;
    a.attributeClass = filterAttributeClassNumber;
    a.type = type;
    a.defaultValue = value;
    a.minimum = minimum;
    a.maximum = maximum;
    a.sliderMinimum = sliderMinimum;
    a.sliderMaximum = sliderMaximum;
    a.displayName = displayName;
    return a;
}

inline FilterAttribute colorInput(const std::string& name, const std::string& displayName, CIColor value,
                                  FilterAttributeType type = FilterAttributeType::Color) {
    FilterAttribute a;
    a.name = name;
    a.attributeClass = filterAttributeClassColor;
    a.type = type;
    a.defaultValue = value;
    a.displayName = displayName;
    return a;
}

inline FilterAttribute vectorInput(const std::string& name, const std::string& displayName, CIVector value) {
    FilterAttribute a;
    a.name = name;
    a.attributeClass = filterAttributeClassVector;
    a.type = FilterAttributeType::Vector;
    a.defaultValue = value;
    a.displayName = displayName;
    return a;
}

// A number from an input clamped into [low, high]; NaN gives `low`. Out-of-range values are logged.
double clampedInput(const std::string& filter, const std::string& key, double value, double low, double high);

} // namespace vtl::detail
