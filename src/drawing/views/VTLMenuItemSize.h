#pragma once
// The sizes of pop-up menu items and the side of the bubble that carries the pointer.

#include <cstdint>

namespace vtl {

// 60 × 64, 72 × 80 and 96 × 112 points with labels of 10, 12 and 14 points.
enum class VTLMenuItemSize : std::int32_t { Small = 0, Medium = 1, Large = 2 };

// The edge of the bubble that carries the pointer (in the bubble's y-up coordinates), which places
// the bubble on the other side of the anchor.
enum class VTLMenuOrigin : std::int32_t {
    PointerLeft = 0,   // bubble to the right of the anchor
    PointerRight = 1,  // bubble to the left
    PointerTop = 2,    // bubble below
    PointerBottom = 3, // bubble above
};

} // namespace vtl
