#pragma once
// Frames of on-screen windows, as the system's code sees them: global points with y up from the
// bottom-left of the primary screen.

#include "platform/foundation/Geometry.h"

#include <cstdint>
#include <optional>

namespace vtl {

// The frame of the window with this number (its X11 window id) while it is on screen; nullopt
// when there is no display, no such window, it is not viewable, or it is a desktop element.
std::optional<Rect> onScreenWindowFrame(std::uint32_t windowNumber, const char* displayName = nullptr);

} // namespace vtl
