#include "audio/FastMath.h"

#include <cmath>

namespace vtl::fastmath::detail {

const Log2Table log2Table = [] {
    Log2Table made{};
    for (int i = 0; i <= 128; ++i) {
        const double c = 1 + i / 128.0;
        made.logOf[i] = std::log2(c);
        made.inverseOf[i] = 1 / c;
    }
    return made;
}();

} // namespace vtl::fastmath::detail
