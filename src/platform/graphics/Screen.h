#pragma once
// The displays as the system's code sees them: frames in global points with y up from the
// bottom-left of the primary screen, the primary screen first. Values; read them when needed.

#include "platform/foundation/Geometry.h"

#include <string>
#include <vector>

namespace vtl {

struct Screen {
    std::string name;
    Rect frame;
    Rect visibleFrame;
    double backingScaleFactor = 1.0;

    // The screens of the running application (empty without a window system connection).
    static std::vector<Screen> screens();
    // A y-down rectangle of the window system (origin at the primary screen's top-left) in global
    // y-up points, for a primary screen of the given height.
    static Rect globalRectFromWindowSystem(const Rect& yDown, double primaryHeight);
};

} // namespace vtl
