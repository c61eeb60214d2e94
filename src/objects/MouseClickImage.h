#pragma once
// The ring pattern that makes a recorded mouse click visible: `drawMouseClick` draws the rings of
// one click into the thread's current graphics context, `mouseClickImage` renders them into an
// image centred on the click point. Plain functions; any thread (each draws into its own bitmap).
//
// Style values come from stored packages and are not trusted: the ring count and the size are
// clamped, and the image side is capped, so a damaged style cannot ask for a huge bitmap.

#include "platform/foundation/Geometry.h"
#include "platform/graphics/Color.h"
#include "platform/imaging/CIImage.h"

#include <cstdint>

namespace vtl {

// Bounds on untrusted style values.
inline constexpr std::int32_t kMaximumMouseClickStrength = 16;
inline constexpr float kMaximumMouseClickSize = 256.0f;
// Largest side of a click image in pixels; larger rings are cut at its edge.
inline constexpr int kMaximumMouseClickImageSide = 2048;

// `strength` rings of radius (j + 1) × size × fraction × scale about `center`, all in `color` at
// alpha 1 − fraction; ring j has line width (strength − j) × scale (the innermost the
// thickest). Filled ovals instead of strokes when `filled`. Nothing for strength < 1, a fraction
// outside [0, 1] or NaN.
void drawMouseClick(std::int32_t strength, const Color& color, bool filled, float fraction, Point center,
                    float size, float scale);

// The rings in an image of side 8 × size × scale (capped) whose centre lies on `point`; rings
// larger than half the side are cut at the image's edge. None when the side is below one pixel.
CIImage mouseClickImage(std::int32_t strength, const Color& color, bool filled, float fraction, Point point,
                        float size, float scale);

// The side in pixels of the click image for those values (clamped as drawn).
int mouseClickImageSide(float size, float scale);

} // namespace vtl
