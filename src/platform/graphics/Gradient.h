#pragma once
// A colour gradient: colours at locations 0..1 (spread evenly when no locations are given).
// Plain value; the holder owns it.

#include "platform/graphics/Color.h"

#include <vector>

namespace vtl {

struct Gradient {
    std::vector<Color> colors;
    // Empty: the colours are spread evenly from 0 to 1.
    std::vector<double> locations;

    Gradient() = default;
    Gradient(std::vector<Color> c, std::vector<double> l = {})
        : colors(std::move(c))
        , locations(std::move(l)) {}
    // The location of colour i, whether given or spread evenly.
    double locationAt(size_t i) const {
        if (i < locations.size()) return locations[i];
        return colors.size() < 2 ? 0.0 : static_cast<double>(i) / static_cast<double>(colors.size() - 1);
    }
};

// Whether a gradient paints beyond its start and end.
enum GradientDrawingOptions : unsigned {
    GradientDrawsBeforeStartLocation = 1u << 0,
    GradientDrawsAfterEndLocation = 1u << 1,
};

} // namespace vtl
