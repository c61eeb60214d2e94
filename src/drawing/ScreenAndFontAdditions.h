#pragma once
// Additions for screens and fonts: the reference screen (the one at the global origin), a sort
// key for screens from left to right, and a font by name that falls back to the system font.

#include "platform/graphics/Font.h"
#include "platform/graphics/Screen.h"

#include <optional>
#include <string>
#include <vector>

namespace vtl {

// The first screen whose frame origin is exactly (0, 0), else the first screen; none for no screens.
std::optional<Screen> referenceScreen(const std::vector<Screen>& screens);
std::optional<Screen> referenceScreen();
float xPositionOfScreen(const Screen& screen);
Font systemFontFallbackFontWithName(const std::string& name, double size);

} // namespace vtl
