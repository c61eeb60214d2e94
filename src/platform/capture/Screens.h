#pragma once
// The screens of the X display and their frames, as the system's code sees them: global points
// with y up from the bottom-left of the primary screen, and a backing scale factor (1.0 on X11).

#include "platform/foundation/Geometry.h"
#include "platform/foundation/Result.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vtl {

struct ScreenDescription {
    std::uint32_t displayID = 0; // stable while the X server runs; what a display stream is opened with
    std::string name;
    Rect frame;    // global points, y up from the bottom-left of the primary screen
    Rect x11Frame; // the same area in X11 root pixels, y down
    double backingScaleFactor = 1.0;
    bool isPrimary = false;
};

// The screens, primary first; fails when no X display can be reached. A server without RANDR
// monitors gives one screen covering the root window.
Result<std::vector<ScreenDescription>> listScreens(const char* displayName = nullptr);

} // namespace vtl
