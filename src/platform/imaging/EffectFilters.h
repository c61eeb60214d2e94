#pragma once
// The catalogue of video effects a user can put on an object: which filters it holds, in the
// order the effect picker shows them, and their registration. Every entry is a filter of the
// registry with a complete description of its inputs (class, default, range, slider range,
// display name). Numbers are clamped to their range at render; angles are in radians, counted
// anticlockwise; centres and lengths are in pixels of the image the effect is applied to.

#include <string>
#include <vector>

namespace vtl {

// The effect names: the picker's thirty first, then those only documents and inspectors name.
const std::vector<std::string>& effectFilterNames();

// Registers the catalogue's filters that are not registered otherwise; registerBuiltinFilters
// calls it. Calling it again changes nothing.
void registerEffectFilters();

} // namespace vtl
