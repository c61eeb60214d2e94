#pragma once
// Asks the window manager to keep a window of this program on every virtual desktop, where the
// recorder's desktop cover must stay whichever desktop is shown.

#include <cstdint>

namespace vtl {

// `windowID`: the X11 window. Nothing happens without a display or window manager.
void keepWindowOnAllDesktops(std::uint32_t windowID, const char* displayName = nullptr);

} // namespace vtl
