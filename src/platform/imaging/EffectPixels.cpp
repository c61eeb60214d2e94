#include "platform/imaging/EffectPixels.h"

#include <numbers>

namespace vtl::detail {

const std::array<double, cosineTableSteps + 1> cosineTable = [] {
    std::array<double, cosineTableSteps + 1> t{};
    for (int i = 0; i <= cosineTableSteps; ++i)
        t[std::size_t(i)] = std::cos(2 * std::numbers::pi * i / cosineTableSteps);
    return t;
}();

} // namespace vtl::detail
