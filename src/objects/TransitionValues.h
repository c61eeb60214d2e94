#pragma once
// The parameter values of transitions as documents store them (numbers, colours as "r g b a",
// vectors as "[x y …]") and as filters take them, and the making of a transition's filters from
// its type and stored values. Shared by the transition's model and rendering files.

#include "objects/CompositionTransition.h"
#include "platform/foundation/PropertyList.h"
#include "platform/imaging/CIFilter.h"

#include <cstdint>
#include <memory>
#include <optional>

namespace vtl::detail {

// Whether a value may be stored: a finite number, or text whose numbers are all finite.
bool isStorableTransitionValue(const PropertyList& value);
// The stored form of a filter value; none for images and none.
PropertyList storedFormOfFilterValue(const FilterValue& value);
// The value the input takes, from its stored form; none when it is not of the input's kind or
// not finite.
std::optional<FilterValue> filterValueFromStoredForm(const PropertyList& stored,
                                                     const FilterAttribute& input);

// Whether making a filter sets the program-wide colour of colour transitions from the values.
enum class ColourHandling { Apply, Skip };
// The type's render filter with its defaults, the type's presets, then every stored value the
// filter has an input for; null when the filter is unknown.
std::unique_ptr<CIFilter> makeTransitionFilter(const TransitionTypeDescription& description, int32_t type,
                                               const PlistDictionary& values, ColourHandling colour);
// The type's helper filter with its presets; null without one.
std::unique_ptr<CIFilter> makeTransitionHelperFilter(const TransitionTypeDescription& description);

} // namespace vtl::detail
